#include "ConfigCheck.h"

#include "platform/ini.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace station {

const char* DefaultConfigText() {
    return "; VantorCrystal station: the default configuration of the three AFC actions.\r\n"
           "[DIAG CONTROL]\r\n"
           "TxOff=1\r\n"
           "Resend Diag. Command=0\r\n"
           "Resend Interval Time=200\r\n"
           "Throw  Diag. Exception=1\r\n"
           "\r\n"
           "[AFC-COMMON]\r\n"
           "PCL=10\r\n"
           "TCH=62\r\n"
           "\r\n"
           "[CRYSTAL_VT300]\r\n"
           "Default CDAC=3\r\n"
           "Default CAFC=4000\r\n"
           "Next CAFC Distance=1000\r\n"
           "Freq. Offset Limit=20000\r\n"
           "Max CAFC Slope=16\r\n"
           "Min CAFC Slope=4\r\n"
           "Freq. Error Limit=13000\r\n"
           "\r\n"
           "[CRYSTAL_VT318]\r\n"
           "Default CDAC=55\r\n"
           "Default CAFC=7000\r\n"
           "CDAC    Range=15\r\n"
           "CAFC    Range=1000\r\n"
           "Delta   CAFC=1000\r\n"
           "Slope Range=3\r\n"
           "\r\n"
           "[LN2040 AFC]\r\n"
           "DEFAULT_CDAC=39\r\n"
           "DEFAULT_CDAC_STEP=4\r\n"
           "CALI_CDAC_MIN=32\r\n"
           "CALI_CDAC_MAX=47\r\n"
           "DEFAULT_CAFC=9000\r\n"
           "DEFAULT_CAFC_STEP=1500\r\n"
           "CALI_CAFC_MIN=5500\r\n"
           "CALI_CAFC_MAX=12500\r\n"
           "CALI_CAFC_SLOPE_MIN=3\r\n"
           "CALI_CAFC_SLOPE_MAX=8\r\n";
}

int ConfigReport::Warnings() const {
    int n = 0;
    for (const Finding& f : findings)
        n += f.level == Finding::Warning ? 1 : 0;
    return n;
}

bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot open the configuration file '" + path + "'";
        return false;
    }
    std::string data;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    bool failed = std::ferror(f) != 0; // a folder opens but does not read
    std::fclose(f);
    if (failed) {
        *error = "cannot read the configuration file '" + path + "'";
        return false;
    }
    *text = std::move(data);
    return true;
}

namespace {

struct KeyDef {
    const char* name;
    bool ranged;
    long long low, high; // the setup page's accepted range
};

struct SectionDef {
    const char* name;
    std::vector<KeyDef> keys;
};

const std::vector<SectionDef>& knownSections() {
    static const std::vector<SectionDef> sections = {
        {"DIAG CONTROL",
         {{"TxOff", false, 0, 0},
          {"Resend Diag. Command", false, 0, 0},
          {"Resend Interval Time", false, 0, 0},
          {"Throw  Diag. Exception", false, 0, 0}}},
        {"AFC-COMMON", {{"PCL", false, 0, 0}, {"TCH", false, 0, 0}}},
        {"CRYSTAL_VT300",
         {{"Default CDAC", false, 0, 0},
          {"Default CAFC", false, 0, 0},
          {"Next CAFC Distance", false, 0, 0},
          {"Freq. Offset Limit", false, 0, 0},
          {"Max CAFC Slope", false, 0, 0},
          {"Min CAFC Slope", false, 0, 0},
          {"Freq. Error Limit", false, 0, 0}}},
        {"CRYSTAL_VT318",
         {{"Default CDAC", true, 0, 63},
          {"Default CAFC", true, 0, 32768},
          {"CDAC    Range", true, 0, 63},
          {"CAFC    Range", true, 0, 32768},
          {"Delta   CAFC", true, 0, 32767},
          {"Slope Range", true, 0, 32768}}},
        {"LN2040 AFC",
         {{"DEFAULT_CDAC", false, 0, 0},
          {"DEFAULT_CDAC_STEP", false, 0, 0},
          {"CALI_CDAC_MIN", false, 0, 0},
          {"CALI_CDAC_MAX", false, 0, 0},
          {"DEFAULT_CAFC", false, 0, 0},
          {"DEFAULT_CAFC_STEP", false, 0, 0},
          {"CALI_CAFC_MIN", false, 0, 0},
          {"CALI_CAFC_MAX", false, 0, 0},
          {"CALI_CAFC_SLOPE_MIN", false, 0, 0},
          {"CALI_CAFC_SLOPE_MAX", false, 0, 0}}},
    };
    return sections;
}

bool sameName(const std::string& a, const std::string& b) {
    return ini::SameName(a, b);
}

// The name with its blanks taken out, in lower case: two names alike here
// differ only in blanks (and case) and are easily taken for each other.
std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!ini::IsBlank(c))
            out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
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

// The file split into sections the way the reader splits it.
std::vector<Section> parse(const std::string& text) {
    std::vector<Section> sections;
    for (const ini::Line& l : ini::SplitLines(text)) {
        if (l.kind == ini::LineKind::Section) {
            sections.push_back({l.number, std::string(l.name), {}});
            continue;
        }
        if (l.kind == ini::LineKind::Blank || l.name.empty() || l.name[0] == ';' ||
            l.name[0] == '#' || sections.empty())
            continue; // a comment, or text before the first section: never read
        sections.back().entries.push_back(
            {l.number, std::string(l.name), std::string(l.value), l.hasValue});
    }
    return sections;
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

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

class Checker {
public:
    Checker(const std::string& text, sim::Chip chip) : m_text(text), m_chip(chip) {}

    ConfigReport Run() {
        if (m_text.empty())
            note(0, "the file is empty: every key takes its default");
        std::vector<Section> sections = parse(m_text);
        std::map<std::string, int> seenSections;
        for (const Section& s : sections) {
            const SectionDef* def = findSection(s.name);
            if (def == nullptr) {
                if (const SectionDef* near = nearSection(s.name))
                    warn(s.line, "section [" + s.name +
                                     "] is not read by any action: did you mean [" + near->name +
                                     "]? (blanks count)");
                continue;
            }
            auto first = seenSections.find(squeeze(def->name));
            if (first != seenSections.end()) {
                warn(s.line, "section [" + s.name + "] appears again (first at line " +
                                 std::to_string(first->second) +
                                 "): the actions read only the first one");
                continue;
            }
            seenSections[squeeze(def->name)] = s.line;
            checkKeys(s, *def);
        }
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

    static const SectionDef* findSection(const std::string& name) {
        for (const SectionDef& d : knownSections())
            if (sameName(name, d.name))
                return &d;
        return nullptr;
    }
    static const SectionDef* nearSection(const std::string& name) {
        for (const SectionDef& d : knownSections())
            if (squeeze(name) == squeeze(d.name))
                return &d;
        return nullptr;
    }

    void checkKeys(const Section& s, const SectionDef& def) {
        std::map<std::string, int> seen;
        for (const Entry& e : s.entries) {
            const KeyDef* exact = nullptr;
            const KeyDef* near = nullptr;
            for (const KeyDef& k : def.keys) {
                if (sameName(e.name, k.name))
                    exact = &k;
                else if (squeeze(e.name) == squeeze(k.name))
                    near = &k;
            }
            if (exact == nullptr) {
                if (near != nullptr)
                    warn(e.line, "key " + quote(e.name) + " in [" + def.name +
                                     "] is not read: did you mean " + quote(near->name) +
                                     "? (blanks count, case does not)");
                else
                    note(e.line, "key " + quote(e.name) + " in [" + def.name +
                                     "] is not read by any action");
                continue;
            }
            std::string id = squeeze(exact->name) + "|" + exact->name;
            auto first = seen.find(id);
            if (first != seen.end()) {
                warn(e.line, "key " + quote(e.name) + " in [" + def.name +
                                 "] appears again (first at line " + std::to_string(first->second) +
                                 "): only the first is read");
                continue;
            }
            seen[id] = e.line;
            if (!e.hasValue) {
                warn(e.line, "key " + quote(e.name) + " in [" + def.name +
                                 "] has no '=': it is not read and its default applies");
                continue;
            }
            if (e.value.empty()) {
                warn(e.line, "key " + quote(e.name) + " in [" + def.name +
                                 "] is empty: its default applies");
                continue;
            }
            int32_t v = static_cast<int32_t>(ini::ParseInt(e.value));
            if (!plainInteger(e.value))
                warn(e.line, "value " + quote(e.value) + " of " + quote(e.name) +
                                 " is not a plain whole number: the action reads " +
                                 std::to_string(v));
            if (exact->ranged && (v < exact->low || v > exact->high))
                warn(e.line, quote(exact->name) + " = " + std::to_string(v) +
                                 " is outside the setup page's range " +
                                 std::to_string(exact->low) + " to " + std::to_string(exact->high));
        }
    }

    long long read(const char* section, const char* key, int32_t def) const {
        return static_cast<int32_t>(ini::ReadInt(m_text, section, key, def));
    }

    void window(Window* w, long long low, long long high, const std::string& what) {
        w->known = true;
        w->low = static_cast<double>(low);
        w->high = static_cast<double>(high);
        if (low > high)
            warn(0, what + " window [" + std::to_string(low) + ", " + std::to_string(high) +
                        "] has its lower bound above the upper: no unit can pass");
    }

    void checkChip() {
        long long pcl = read("AFC-COMMON", "PCL", 10);
        long long tch = read("AFC-COMMON", "TCH", 62);
        if (m_chip != sim::Chip::LN2040) {
            long long pclHigh = m_chip == sim::Chip::VT318 ? 19 : 20;
            if (pcl < 0 || pcl > pclHigh)
                warn(0, "PCL = " + std::to_string(pcl) + " is outside the " +
                            (m_chip == sim::Chip::VT318 ? "VT318" : "VT300") +
                            " setup page's range 0 to " + std::to_string(pclHigh));
            if (tch < 0 || tch > 1024)
                warn(0, "TCH = " + std::to_string(tch) +
                            " is outside the setup page's range 0 to 1024");
        }
        if (m_chip == sim::Chip::VT318)
            checkVt318();
        else if (m_chip == sim::Chip::VT300)
            checkVt300();
        else
            checkLn2040();
    }

    void checkVt318() {
        const char* s = "CRYSTAL_VT318";
        long long cdac = static_cast<uint16_t>(read(s, "Default CDAC", 55));
        long long cafc = static_cast<uint16_t>(read(s, "Default CAFC", 7000));
        long long cdacRange = read(s, "CDAC    Range", 15);
        long long cafcRange = read(s, "CAFC    Range", 1000);
        long long delta = static_cast<uint16_t>(read(s, "Delta   CAFC", 1000));
        long long slopeRange = read(s, "Slope Range", 3);
        window(&m_report.cdac, cdac - cdacRange, cdac + cdacRange, "the CDAC");
        if (cdac - cdacRange > 63 && cdacRange >= 0)
            warn(0, "the CDAC window [" + std::to_string(cdac - cdacRange) + ", " +
                        std::to_string(cdac + cdacRange) +
                        "] lies above 63, the highest CDAC: no unit can pass");
        window(&m_report.slope, 7 - slopeRange, 7 + slopeRange, "the CAFC slope");
        window(&m_report.cafc, cafc - cafcRange, cafc + cafcRange, "the CAFC");
        if (delta == 0)
            warn(0, "'Delta   CAFC' is 0: both fine points coincide and every run fails with "
                    "\"CAFC Slope is zero!\"");
    }

    void checkVt300() {
        const char* s = "CRYSTAL_VT300";
        long long maxSlope = static_cast<uint16_t>(read(s, "Max CAFC Slope", 16));
        long long minSlope = static_cast<uint16_t>(read(s, "Min CAFC Slope", 4));
        long long errorLimit = static_cast<uint32_t>(read(s, "Freq. Error Limit", 13000));
        long long distance = static_cast<uint16_t>(read(s, "Next CAFC Distance", 1000));
        window(&m_report.slope, minSlope, maxSlope, "the CAFC slope");
        // Both headroom checks hold at best in the middle of the CAFC scale.
        if (maxSlope >= minSlope && errorLimit > maxSlope * 4095)
            warn(0, "'Freq. Error Limit' " + std::to_string(errorLimit) +
                        " exceeds the headroom any CAFC can have at the highest slope (" +
                        std::to_string(maxSlope * 4095) + "): no unit can pass");
        if (maxSlope > 0 && maxSlope >= minSlope) {
            long long low = (errorLimit + maxSlope - 1) / maxSlope;
            long long high = 8191 - low;
            if (low <= high) {
                m_report.cafc.known = true;
                m_report.cafc.low = static_cast<double>(low);
                m_report.cafc.high = static_cast<double>(high);
            }
        }
        if (distance == 0 && minSlope > 0)
            warn(0, "'Next CAFC Distance' is 0: both points coincide and every run fails the "
                    "slope check");
    }

    void checkLn2040() {
        const char* s = "LN2040 AFC";
        window(&m_report.cdac, read(s, "CALI_CDAC_MIN", 32), read(s, "CALI_CDAC_MAX", 47),
               "the CDAC");
        window(&m_report.cafc, read(s, "CALI_CAFC_MIN", 5500), read(s, "CALI_CAFC_MAX", 12500),
               "the CAFC");
        window(&m_report.slope, read(s, "CALI_CAFC_SLOPE_MIN", 3),
               read(s, "CALI_CAFC_SLOPE_MAX", 8), "the CAFC slope");
        if (read(s, "DEFAULT_CAFC_STEP", 1500) == 0)
            warn(0, "DEFAULT_CAFC_STEP is 0: both CAFC points coincide and every run fails the "
                    "slope check");
        if (read(s, "DEFAULT_CDAC_STEP", 4) == 0)
            warn(0, "DEFAULT_CDAC_STEP is 0: both CDAC points coincide and no CDAC can be "
                    "computed");
    }

    const std::string& m_text;
    sim::Chip m_chip;
    ConfigReport m_report;
};

} // namespace

ConfigReport CheckConfig(const std::string& text, sim::Chip chip) {
    return Checker(text, chip).Run();
}

} // namespace station
