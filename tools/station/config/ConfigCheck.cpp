#include "config/ConfigCheck.h"

#include "support/StationChips.h"
#include "core/common/ActionBase.h"
#include "core/common/ConfigTable.h"
#include "platform/ini.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace station {

int ConfigReport::Warnings() const {
    int n = 0;
    for (const Finding& f : findings)
        n += f.level == Finding::Warning ? 1 : 0;
    return n;
}

namespace {

// How the action cuts the 32-bit reading to the field it keeps.
using config::Field;

struct KeyDef {
    const char* name;
    int32_t def;
    Field field;
    bool ranged;
    long long low, high;
    const char* rangeName; // "the setup page's range", ...
};

struct SectionDef {
    const char* name;
    std::vector<KeyDef> keys;
};

const std::vector<SectionDef>& knownSections() {
    // Every key of the tables once, by section in the tables' order. PCL and
    // TCH: their ranges depend on the chip's page (checkChip).
    static const std::vector<SectionDef> sections = [] {
        std::vector<SectionDef> all;
        for (const config::Facts& table : vantor::ConfigTables())
            for (const config::KeyFact& f : table) {
                auto s = std::find_if(all.begin(), all.end(), [&](const SectionDef& d) {
                    return std::strcmp(d.name, f.section) == 0;
                });
                if (s == all.end())
                    s = all.insert(all.end(), SectionDef{f.section, {}});
                bool known = std::any_of(s->keys.begin(), s->keys.end(), [&](const KeyDef& k) {
                    return std::strcmp(k.name, f.key) == 0;
                });
                if (known)
                    continue;
                const bool common = std::strcmp(f.section, config::kAfcCommonPcl.section) == 0;
                const config::Range r = common ? config::Range{} : config::CheckedRange(f);
                s->keys.push_back({f.key, f.actionDefault, f.field, r.Known(), r.low, r.high,
                                   r.Known() ? r.name : ""});
            }
        return all;
    }();
    return sections;
}

// The name with blanks, '-', '_' and '.' taken out, in lower case: names
// alike here are easily taken for each other.
std::string canonical(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!ini::IsBlank(c) && c != '-' && c != '_' && c != '.')
            out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// Edits between two names, a swap of neighbours counting as one.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

struct Entry {
    int line;
    std::string name, value;
    bool hasValue;
};

struct Section {
    int line;
    std::string name;
    std::vector<Entry> entries;
};

bool comment(std::string_view name) {
    return !name.empty() && (name[0] == ';' || name[0] == '#');
}

bool plainInteger(const std::string& v) {
    size_t i = 0;
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        ++i;
    if (i == v.size())
        return false;
    for (; i < v.size(); ++i)
        if (v[i] < '0' || v[i] > '9')
            return false;
    return true;
}

// A plain integer whose digits exceed 32 bits: the reader wraps it.
bool wraps(const std::string& v) {
    size_t i = (v[0] == '+' || v[0] == '-') ? 1 : 0;
    while (i + 1 < v.size() && v[i] == '0')
        ++i;
    std::string digits = v.substr(i);
    return digits.size() > 10 || (digits.size() == 10 && digits > "4294967295");
}

// "hexadecimal" for "0x1F", "-0b101" and the like, read whole by the reader.
const char* prefixedBase(const std::string& v) {
    size_t i = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? 1 : 0;
    if (v.size() < i + 3 || v[i] != '0')
        return nullptr;
    char p = v[i + 1];
    int base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 0;
    if (base == 0)
        return nullptr;
    for (size_t k = i + 2; k < v.size(); ++k) {
        char c = v[k];
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'z') ? c - 'a' + 10
                : (c >= 'A' && c <= 'Z') ? c - 'A' + 10
                                         : 99;
        if (d >= base)
            return nullptr;
    }
    return base == 16 ? "hexadecimal" : base == 8 ? "octal" : "binary";
}

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

std::string bracket(const std::string& s) {
    return "[" + s + "]";
}

class Checker {
public:
    Checker(const std::string& bytes, sim::Chip chip) : m_chip(chip) {
        m_text = ReaderText(bytes, &m_encoding);
        m_bytes = &bytes;
    }

    ConfigReport Run() {
        if (m_bytes->empty())
            note(0, "the file is empty: every key takes its default");
        std::vector<Section> sections = parse();
        checkEncoding(sections);
        std::map<std::string, int> seenSections;
        for (const Section& s : sections) {
            const SectionDef* def = findSection(s.name);
            if (def == nullptr) {
                if (const SectionDef* likely = nearSection(s.name))
                    warn(s.line, "section " + bracket(s.name) +
                                     " is not read by any action: did you mean " +
                                     bracket(likely->name) + "? (blanks, '-' and '_' count)");
                continue;
            }
            auto first = seenSections.find(def->name);
            if (first != seenSections.end()) {
                warn(s.line, "section " + bracket(s.name) + " appears again (first at line " +
                                 std::to_string(first->second) +
                                 "): the actions read only the first one");
                continue;
            }
            seenSections[def->name] = s.line;
            checkKeys(s, *def);
        }
        checkDiagControl();
        checkChip();
        return m_report;
    }

private:
    void warn(int line, std::string text) {
        m_report.findings.push_back({Finding::Warning, line, std::move(text)});
    }
    void note(int line, std::string text) {
        m_report.findings.push_back({Finding::Note, line, std::move(text)});
    }

    // The file split into sections the way the reader splits it; keys before
    // the first section are reported, as no action can read them.
    std::vector<Section> parse() {
        std::vector<Section> sections;
        for (const ini::Line& l : ini::SplitLines(m_text)) {
            if (l.kind == ini::LineKind::Section) {
                sections.push_back({l.number, std::string(l.name), {}});
                continue;
            }
            if (l.kind == ini::LineKind::Blank || l.name.empty() || comment(l.name))
                continue;
            if (sections.empty()) {
                warn(l.number, "key " + quote(std::string(l.name)) +
                                   " stands before any section: no action reads it");
                continue;
            }
            sections.back().entries.push_back(
                {l.number, std::string(l.name), std::string(l.value), l.hasValue});
        }
        return sections;
    }

    void checkEncoding(const std::vector<Section>& sections) {
        std::string first = sections.empty() ? std::string("(none)") : bracket(sections[0].name);
        switch (m_encoding) {
        case TextEncoding::Utf8Bom:
            warn(1, "the file starts with a UTF-8 byte-order mark: the system reader skips it "
                    "and reads the first section " +
                        first +
                        "; a reader that keeps the mark loses that section. Save the file as "
                        "plain text without the mark");
            break;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            note(1, std::string("the file is UTF-16 ") +
                        (m_encoding == TextEncoding::Utf16Le ? "little" : "big") +
                        "-endian text with a byte-order mark: the system reader reads it as "
                        "text, and the action uses the values shown here (characters beyond "
                        "ASCII read as '?')");
            break;
        case TextEncoding::Plain: {
            size_t nuls = 0;
            for (char c : *m_bytes)
                nuls += c == '\0';
            if (nuls > 0 && nuls * 4 >= m_bytes->size())
                warn(0, "the file holds NUL bytes (UTF-16 text without a byte-order mark?): the "
                        "system reader reads it as 8-bit text in which every name ends at its "
                        "first NUL, finds no section and every key takes its default");
            break;
        }
        }
    }

    static const SectionDef* findSection(const std::string& name) {
        for (const SectionDef& d : knownSections())
            if (ini::SameName(name, d.name))
                return &d;
        return nullptr;
    }
    // The known section closest to the name, if it is close enough to be a slip.
    static const SectionDef* nearSection(const std::string& name) {
        std::string c = canonical(name);
        const SectionDef* best = nullptr;
        size_t bestDistance = 3;
        for (const SectionDef& d : knownSections()) {
            std::string k = canonical(d.name);
            size_t distance = c == k ? 0 : k.size() >= 5 ? editDistance(c, k) : 3;
            if (distance < bestDistance) {
                best = &d;
                bestDistance = distance;
            }
        }
        return best;
    }

    void checkKeys(const Section& s, const SectionDef& def) {
        std::map<std::string, int> seen;
        for (const Entry& e : s.entries) {
            const KeyDef* exact = nullptr;
            const KeyDef* likely = nullptr;
            for (const KeyDef& k : def.keys) {
                if (ini::SameName(e.name, k.name))
                    exact = &k;
                else if (canonical(e.name) == canonical(k.name))
                    likely = &k;
            }
            if (exact == nullptr) {
                if (likely != nullptr)
                    warn(e.line, "key " + quote(e.name) + " in " + bracket(def.name) +
                                     " is not read: did you mean " + quote(likely->name) +
                                     "? (blanks count, case does not)");
                else
                    note(e.line, "key " + quote(e.name) + " in " + bracket(def.name) +
                                     " is not read by any action");
                continue;
            }
            auto first = seen.find(exact->name);
            if (first != seen.end()) {
                warn(e.line, "key " + quote(e.name) + " in " + bracket(def.name) +
                                 " appears again (first at line " + std::to_string(first->second) +
                                 "): only the first is read");
                continue;
            }
            seen[exact->name] = e.line;
            if (!e.hasValue) {
                warn(e.line, "key " + quote(e.name) + " in " + bracket(def.name) +
                                 " has no '=': it is not read and its default applies");
                continue;
            }
            checkValue(e, def, *exact);
        }
    }

    // What the action makes of one value: the engine's reading, then the cut
    // to the field the action keeps.
    void checkValue(const Entry& e, const SectionDef& s, const KeyDef& k) {
        uint32_t raw = ini::ReadInt(m_text, s.name, k.name, k.def);
        int32_t asInt = static_cast<int32_t>(raw);
        long long used = k.field == Field::U16   ? static_cast<long long>(raw & 0xFFFFu)
                         : k.field == Field::U32 ? static_cast<long long>(raw)
                                                 : static_cast<long long>(asInt);
        const std::string reads =
            "the action reads " + std::to_string(k.field == Field::U32 ? used : asInt);
        const std::string& v = e.value;
        bool quoted = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
        std::string body = quoted ? v.substr(1, v.size() - 2) : v;
        const std::string what = "value " + quote(v) + " of " + quote(k.name);
        if (body.empty()) {
            warn(e.line, "key " + quote(e.name) + " in " + bracket(s.name) +
                             " is empty: its default applies");
            return;
        }
        if (plainInteger(body)) {
            if (body.size() > 29)
                warn(e.line,
                     what + " is longer than the 29 characters the integer reader takes: " + reads);
            else if (wraps(body))
                warn(e.line, what + " does not fit in 32 bits and wraps: " + reads);
            else if (quoted)
                note(e.line, what + " is in quotes: the reader drops them and " + reads);
        } else if (const char* base = prefixedBase(body)) {
            note(e.line, what + " is read as a " + base + " number: " + reads);
        } else {
            warn(e.line, what + " is not a plain whole number: " + reads);
        }
        bool cut = used != static_cast<long long>(asInt) && k.field != Field::I32;
        std::string takes = " the action takes it as " + std::to_string(used);
        if (k.ranged && (asInt < k.low || asInt > k.high))
            warn(e.line, quote(k.name) + " = " + std::to_string(asInt) + " is outside " +
                             k.rangeName + " " + std::to_string(k.low) + " to " +
                             std::to_string(k.high) + (cut ? " (" + takes.substr(1) + ")" : ""));
        else if (cut)
            warn(e.line, quote(k.name) + " = " + std::to_string(asInt) + " does not fit its " +
                             (k.field == Field::U16 ? "16-bit field:" : "unsigned field:") + takes);
    }

    // A key as the action reads it, at its default when missing.
    uint32_t readRaw(const config::KeyFact& f) const {
        return ini::ReadInt(m_text, f.section, f.key, f.actionDefault);
    }
    long long read(const config::KeyFact& f) const { return static_cast<int32_t>(readRaw(f)); }
    long long readU32(const config::KeyFact& f) const { return readRaw(f); }

    void checkDiagControl() {
        if (readU32(config::Fact(config::Diag::ThrowDiagException)) == 0) {
            m_report.ignoresCommandFailures = true;
            warn(0, "'Throw  Diag. Exception' is 0: a unit whose handset command fails (AFC mode "
                    "on or off, a flash write) still passes, with values measured outside AFC "
                    "mode or never written to flash; the station marks such units \"passed with "
                    "an ignored command failure\"");
        }
        long long interval = readU32(config::Fact(config::Diag::ResendIntervalTime));
        if (readU32(config::Fact(config::Diag::ResendDiagCommand)) != 0 &&
            interval > CActionBase::kMaxResendInterval)
            warn(0, "'Resend Interval Time' is " + std::to_string(interval) +
                        " ms: every repeated handset command waits that long first");
    }

    void checkChip() {
        long long pcl = read(config::kAfcCommonPcl);
        long long tch = read(config::kAfcCommonTch);
        const vantor::ChipRow& row = Row(m_chip);
        if (row.setupPage != vantor::kNoSetupPage) {
            const config::Facts page = row.facts;
            const config::Range pclRange = page[config::kPclIndex].pageRange;
            const config::Range tchRange = page[config::kTchIndex].pageRange;
            if (pcl < pclRange.low || pcl > pclRange.high)
                warn(0, "PCL = " + std::to_string(pcl) + " is outside the " + row.label +
                            " setup page's range " + std::to_string(pclRange.low) + " to " +
                            std::to_string(pclRange.high));
            if (tch < tchRange.low || tch > tchRange.high)
                warn(0, "TCH = " + std::to_string(tch) + " is outside " + tchRange.name + " " +
                            std::to_string(tchRange.low) + " to " + std::to_string(tchRange.high));
        }
        // The chip's windows and what its settings do, as the library computes them.
        const vantor::KeyReader reader{&readKey, this};
        const vantor::ChipLimits limits = row.limits(reader);
        m_report.cdac = shown(limits.windows.cdac);
        m_report.cafc = shown(limits.windows.cafc);
        m_report.slope = shown(limits.windows.slope);
        m_report.attempts = limits.windows.attempts;
        for (const vantor::LimitNote& n : limits.notes) {
            if (n.warning)
                warn(0, n.text);
            else
                note(0, n.text);
        }
    }

    static uint32_t readKey(const void* context, const char* section, const char* key,
                            int32_t fallback) {
        return ini::ReadInt(static_cast<const Checker*>(context)->m_text, section, key, fallback);
    }

    static Window shown(const vantor::Span& s) {
        Window w;
        w.known = s.known;
        w.low = static_cast<double>(s.low);
        w.high = static_cast<double>(s.high);
        return w;
    }

    const std::string* m_bytes = nullptr;
    std::string m_text;
    TextEncoding m_encoding = TextEncoding::Plain;
    sim::Chip m_chip;
    ConfigReport m_report;
};

} // namespace

ConfigReport CheckConfig(const std::string& bytes, sim::Chip chip) {
    return Checker(bytes, chip).Run();
}

} // namespace station
