#include "logs/HostLog.h"

#include "support/StationChips.h"
#include "common/ActionBase.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace station {

namespace {

constexpr size_t kUnreadShown = 5;
constexpr size_t kColumns = vantor::kReportColumns;

// The columns of a report line, split at commas; false unless exactly 17.
bool splitColumns(std::string_view s, std::string_view* cols) {
    const char* from = s.data();
    const char* const end = from + s.size();
    size_t n = 0;
    for (const char* p = from; p != end; ++p) {
        if (*p != ',')
            continue;
        if (n + 1 == kColumns)
            return false; // an 18th column
        cols[n++] = std::string_view(from, static_cast<size_t>(p - from));
        from = p + 1;
    }
    cols[n++] = std::string_view(from, static_cast<size_t>(end - from));
    return n == kColumns;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool same(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Where `text` (two characters or more) first occurs in `s` at or after
// `from`, or npos: a plain loop, as the C runtime's memchr and memcmp are
// byte loops behind a call on Windows.
size_t findText(std::string_view s, std::string_view text, size_t from = 0) {
    if (s.size() < text.size())
        return std::string_view::npos;
    const char* p = s.data();
    const char a = text[0], b = text[1];
    for (size_t i = from, last = s.size() - text.size(); i <= last; ++i)
        if (p[i] == a && p[i + 1] == b && same(p + i + 2, text.data() + 2, text.size() - 2))
            return i;
    return std::string_view::npos;
}

// [-]digits with at most 18 digits, so that it cannot overflow.
bool plainInteger(std::string_view s, long long* out) {
    size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
    if (s.size() == i || s.size() - i > 18)
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (!isDigit(s[i]))
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = s[0] == '-' ? -v : v;
    return true;
}

// A quotient of two doubles rounds once where expressions are evaluated in
// double (not on the x87, which rounds to its wider format first).
constexpr bool kOneRounding = FLT_EVAL_METHOD == 0;

// [-]digits[.digits] whose digits make an integer of at most 2^53 with at
// most 22 decimals: the integer and the power of ten are both doubles, so
// their quotient is the correctly rounded value, strtod's. False for any
// other form, left to strtod.
bool plainDecimal(std::string_view s, double* out) {
    static constexpr double kTens[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!kOneRounding)
        return false;
    const char* p = s.data();
    const char* const end = p + s.size();
    const bool negative = p != end && *p == '-';
    if (negative)
        ++p;
    uint64_t digits = 0;
    int count = 0;
    const char* const whole = p;
    for (; p != end && isDigit(*p); ++p) {
        if (++count > 19)
            return false;
        digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (p == whole)
        return false;
    size_t decimals = 0;
    if (p != end) {
        if (*p != '.')
            return false;
        const char* const fraction = ++p;
        for (; p != end && isDigit(*p); ++p) {
            if (++count > 19)
                return false;
            digits = digits * 10 + static_cast<uint64_t>(*p - '0');
        }
        decimals = static_cast<size_t>(p - fraction);
        if (p != end || decimals == 0 || decimals >= sizeof kTens / sizeof kTens[0])
            return false;
    }
    if (digits > (uint64_t{1} << 53))
        return false;
    const double v = static_cast<double>(digits) / kTens[decimals];
    *out = negative ? -v : v;
    return true;
}

// Columns counted from 0.
bool dashes(const std::string_view* cols, size_t from, size_t to) {
    for (size_t i = from; i <= to; ++i)
        if (cols[i].size() != 1 || cols[i][0] != '-')
            return false;
    return true;
}

// The band of a PFER line's band column (a vantor::BandName), or -1.
int bandOf(std::string_view name) {
    for (int32_t b = 0; b < 4; ++b)
        if (name == vantor::BandName(b))
            return b;
    return -1;
}

} // namespace

bool ParseLoggedLong(std::string_view s, long low, long high, long* out) {
    if (s.empty() || s.size() > 20)
        return false;
    long long plain = 0;
    if (plainInteger(s, &plain)) {
        if (plain < low || plain > high)
            return false;
        *out = static_cast<long>(plain);
        return true;
    }
    char buf[24];
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = '\0';
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(buf, &end, 10);
    if (errno != 0 || end != buf + s.size() || v < low || v > high || buf[0] == ' ' ||
        buf[0] == '+')
        return false;
    *out = v;
    return true;
}

bool ParseLoggedDouble(std::string_view s, double* out) {
    if (s.empty() || s.size() > 40)
        return false;
    if (plainDecimal(s, out))
        return true;
    char buf[48];
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = '\0';
    char* end = nullptr;
    double v = std::strtod(buf, &end);
    if (end != buf + s.size() || !std::isfinite(v) || buf[0] == ' ')
        return false;
    *out = v;
    return true;
}

class UnitReader::Impl {
public:
    Impl(HostLog* log, std::function<void(LoggedUnit&)> done, const PrefixTemplate& prefix)
        : m_log(log), m_done(std::move(done)), m_result(std::string(vantor::kNvStructName) + "."),
          m_prefix(prefix) {
        for (sim::Chip chip : AllChips())
            m_names.push_back(ActionName(chip));
        std::string error;
        if (m_prefix.Empty() && !PrefixTemplate::Parse(kHostPrefix, &m_prefix, &error))
            m_prefix = PrefixTemplate();      // cannot happen: the host prefix is a template
        m_slots.emplace_back(m_names.size()); // the units of lines that name no station
    }

    void Line(std::string_view line, long number) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        // Blank when only spaces and tabs were left (the trailing ones are gone).
        if (line.empty() || line[0] == ' ' || line[0] == '\t') {
            size_t i = 0;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i == line.size())
                return;
        }
        // A line without the prefix is read as before: the library text anywhere in it.
        PrefixFields fields;
        size_t rest = 0;
        const std::string_view text =
            m_prefix.Match(line, &fields, &rest) ? line.substr(rest) : line;
        if (!pfer(text, fields, number) && !result(text, fields.station))
            unread(line, number);
    }

    void Finish() {
        // In the order of their first lines.
        for (;;) {
            Slot* first = nullptr;
            size_t chip = 0;
            for (Slot& s : m_slots)
                for (size_t c = 0; s.open > 0 && c < s.units.size(); ++c)
                    if (s.isOpen[c] &&
                        (first == nullptr || s.units[c].firstLine < first->units[chip].firstLine)) {
                        first = &s;
                        chip = c;
                    }
            if (first == nullptr)
                return;
            close(*first, chip);
        }
    }

    long Cut() {
        long open = 0;
        for (Slot& s : m_slots) {
            for (size_t c = 0; c < s.isOpen.size(); ++c)
                s.isOpen[c] = false;
            open += static_cast<long>(s.open);
            s.open = 0;
        }
        return open;
    }

private:
    // One station's open unit of each chip: stations whose lines interleave
    // in one log do not cut each other's units.
    struct Slot {
        explicit Slot(size_t chips)
            : units(chips), isOpen(chips, false), next(chips, 0), lastPfer(chips, -1) {}
        std::string name; // the prefix's station; empty: lines that name none
        std::vector<LoggedUnit> units;
        std::vector<bool> isOpen;
        std::vector<long> next, lastPfer;
        size_t open = 0;
    };

    // Stations beyond it take over one whose units are all closed; a log
    // that keeps more open at once than a line has stations is not a line's.
    static constexpr size_t kMostStations = 4096;

    // The station's slot, or null when it has none and `make` is false (or
    // no slot can be had).
    Slot* slotOf(std::string_view station, bool make) {
        if (m_slots[m_last].name == station)
            return &m_slots[m_last];
        for (size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i].name == station) {
                m_last = i;
                return &m_slots[i];
            }
        if (!make)
            return nullptr;
        size_t i = m_slots.size();
        if (i >= kMostStations) {
            i = 1;
            while (i < m_slots.size() && m_slots[i].open > 0)
                ++i;
            if (i == m_slots.size())
                return nullptr;
        } else {
            m_slots.emplace_back(m_names.size());
        }
        Slot& s = m_slots[i];
        s.name.assign(station.data(), station.size());
        for (LoggedUnit& u : s.units)
            u.station = s.name;
        m_last = i;
        return &s;
    }

    // "<action>_PFER_<n>,band,ch,ch,pcl,D,-,A,B,cdac,cafc,C,-,fe,-,Hz,-"
    bool pfer(std::string_view line, const PrefixFields& fields, long number) {
        using namespace vantor;
        size_t c = 0, at = 0;
        if (!pferTag(line, &c, &at))
            return false;
        const sim::Chip chip = AllChips()[c];
        std::string_view cols[kColumns];
        if (!splitColumns(line.substr(at), cols))
            return false;
        long n = 0, cdac = 0, cafc = 0;
        PferPoint p;
        if (!ParseLoggedLong(cols[kPferCounter], 0, 0x7FFFFFFF, &n) ||
            !ParseLoggedLong(cols[kPferCdac], 0, 65535, &cdac) ||
            !ParseLoggedLong(cols[kPferCafc], 0, 65535, &cafc) ||
            !ParseLoggedDouble(cols[kPferFe], &p.feHz) || cols[kPferUnitColumn] != kPferUnit)
            return false;
        for (size_t empty : kPferEmptyColumns)
            if (!dashes(cols, empty, empty))
                return false;
        p.cdac = static_cast<int>(cdac);
        p.cafc = static_cast<int>(cafc);
        Slot* s = slotOf(fields.station, n == 0);
        if (s == nullptr)
            return false; // a station with no open unit: out of sequence
        LoggedUnit& u = s->units[c];
        if (n == 0) {
            if (s->isOpen[c])
                close(*s, c);
            u.chip = chip;
            u.firstLine = number;
            u.band = bandOf(cols[kPferBand]);
            long ch = 0;
            u.channel =
                ParseLoggedLong(cols[kPferChannel], 0, 65535, &ch) ? static_cast<int>(ch) : 0;
            u.time = fields.time;
            u.serial.assign(fields.serial.data(), fields.serial.size());
            u.attempt = fields.attempt;
            u.points.clear();
            for (size_t f = 0; f < kNvFieldCount; ++f) {
                u.hasResult[f] = false;
                u.result[f] = 0;
            }
            s->isOpen[c] = true;
            ++s->open;
        } else if (!s->isOpen[c] || s->next[c] != n || u.AnyResult()) {
            return false; // out of sequence: no unit it can belong to
        }
        u.points.push_back(p);
        s->next[c] = n + 1;
        s->lastPfer[c] = number;
        ++m_log->libraryLines;
        return true;
    }

    // The first chip in the registry's order whose "<action>_PFER_" the line
    // holds, and where its first one ends; false when it holds none.
    bool pferTag(std::string_view line, size_t* chip, size_t* end) const {
        constexpr std::string_view tag = vantor::kPferTag;
        size_t found = m_names.size();
        for (size_t at = findText(line, tag); at != std::string_view::npos;
             at = findText(line, tag, at + 1))
            for (size_t c = 0; c < found; ++c) {
                const std::string_view name = m_names[c];
                if (at >= name.size() &&
                    same(line.data() + at - name.size(), name.data(), name.size())) {
                    found = c;
                    *end = at + tag.size();
                    break;
                }
            }
        *chip = found;
        return found < m_names.size();
    }

    // "<NV struct>.<field>,-,...,-,<value>,-,-,-"; a line that names its
    // station belongs to that station's units, one that names none to any.
    bool result(std::string_view line, std::string_view station) {
        const std::string& token = m_result;
        size_t at = findText(line, token);
        if (at == std::string_view::npos)
            return false;
        std::string_view cols[kColumns];
        if (!splitColumns(line.substr(at + token.size()), cols))
            return false;
        using namespace vantor;
        int field = -1;
        for (size_t f = 0; f < kNvFieldCount; ++f)
            if (cols[kResultFieldColumn] == kNvFieldNames[f])
                field = static_cast<int>(f);
        long value = 0;
        if (field < 0 || !dashes(cols, kResultFieldColumn + 1, kResultValueColumn - 1) ||
            !ParseLoggedLong(cols[kResultValueColumn], -32768, 32767, &value) ||
            !dashes(cols, kResultValueColumn + 1, kColumns - 1))
            return false;
        // The unit of the latest PFER line whose next result line this is:
        // a run that passed has all its PFER points, and sends its lines in
        // its chip's order.
        Slot* named = station.empty() ? nullptr : slotOf(station, false);
        if (!station.empty() && named == nullptr)
            return false;
        Slot* bestSlot = nullptr;
        long bestLine = -1;
        size_t bestChip = 0;
        for (Slot& s : m_slots) {
            if ((named != nullptr && &s != named) || s.open == 0)
                continue;
            for (size_t c = 0; c < s.units.size(); ++c) {
                if (!s.isOpen[c] || s.lastPfer[c] <= bestLine)
                    continue;
                const LoggedUnit& u = s.units[c];
                if (!passingPoints(u) || nextField(u) != field)
                    continue;
                bestSlot = &s;
                bestChip = c;
                bestLine = s.lastPfer[c];
            }
        }
        if (bestSlot == nullptr)
            return false;
        LoggedUnit& best = bestSlot->units[bestChip];
        best.hasResult[field] = true;
        best.result[field] = static_cast<int>(value);
        ++m_log->libraryLines;
        if (best.Passed())
            close(*bestSlot, bestChip); // nothing more can join it
        return true;
    }

    void close(Slot& s, size_t c) {
        s.isOpen[c] = false;
        --s.open;
        m_done(s.units[c]);
    }

    static bool passingPoints(const LoggedUnit& u) {
        return Row(u.chip).points.Passing(u.points.size());
    }

    // The field of the unit's next result line (a vantor::NvIndex) in its
    // chip's order, or -1 when it has them all.
    static int nextField(const LoggedUnit& u) {
        const vantor::ChipRow& row = Row(u.chip);
        for (size_t i = 0; i < row.lineCount; ++i)
            if (!u.hasResult[vantor::NvIndex(row.lines[i])])
                return static_cast<int>(vantor::NvIndex(row.lines[i]));
        return -1;
    }

    void unread(std::string_view line, long number) {
        ++m_log->unread;
        if (m_log->unreadExamples.size() < kUnreadShown)
            m_log->unreadExamples.push_back({number, Printable(line.substr(0, 160))});
    }

    HostLog* m_log;
    std::function<void(LoggedUnit&)> m_done;
    std::vector<std::string_view> m_names; // the chips' action names
    std::string m_result;
    PrefixTemplate m_prefix; // the host prefix unless a template was given
    std::vector<Slot> m_slots;
    size_t m_last = 0; // the slot the last station-named line found
};

UnitReader::UnitReader(std::function<void(LoggedUnit&)> done, const PrefixTemplate& prefix)
    : m_counts(std::make_unique<HostLog>()),
      m_impl(std::make_unique<Impl>(m_counts.get(), std::move(done), prefix)) {}

UnitReader::~UnitReader() = default;

void UnitReader::Line(std::string_view line, long number) {
    m_impl->Line(line, number);
}

void UnitReader::Finish() {
    m_impl->Finish();
}

long UnitReader::Cut() {
    return m_impl->Cut();
}

const HostLog& UnitReader::Counts() const {
    return *m_counts;
}

bool StartsUnit(std::string_view line) {
    static const std::string first = std::string(vantor::kPferTag) + "0,";
    size_t at = line.find(first);
    return at != std::string_view::npos && at >= 6;
}

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

const char* ActionName(sim::Chip chip) {
    return Row(chip).shortName;
}

void AppendHostLog(std::string* out, const UnitResult& r) {
    for (const Line& l : r.lines) {
        *out += l.text;
        *out += '\n';
    }
}

HostLog ReadHostLog(const std::string& text) {
    std::vector<LoggedUnit> units;
    UnitReader reader([&](LoggedUnit& u) { units.push_back(u); });
    long lines = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        ++lines;
        reader.Line(std::string_view(text).substr(pos, end - pos), lines);
        pos = end + 1;
    }
    reader.Finish();
    HostLog log = reader.Counts();
    log.lines = lines;
    // Units of several chips close out of order: back in the order of the log.
    std::stable_sort(units.begin(), units.end(), [](const LoggedUnit& a, const LoggedUnit& b) {
        return a.firstLine < b.firstLine;
    });
    log.units = std::move(units);
    return log;
}

} // namespace station
