#include "logs/HostLog.h"

#include "support/StationChips.h"
#include "common/ActionBase.h"

#include <algorithm>
#include <cerrno>
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
    size_t n = 0;
    size_t pos = 0;
    while (true) {
        size_t comma = s.find(',', pos);
        if (n == kColumns)
            return false;
        cols[n++] = s.substr(pos, comma == std::string_view::npos ? s.npos : comma - pos);
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return n == kColumns;
}

bool parseLong(std::string_view s, long low, long high, long* out) {
    if (s.empty() || s.size() > 20)
        return false;
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

bool parseDouble(std::string_view s, double* out) {
    if (s.empty() || s.size() > 40)
        return false;
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

// Columns counted from 0.
bool dashes(const std::string_view* cols, size_t from, size_t to) {
    for (size_t i = from; i <= to; ++i)
        if (cols[i] != "-")
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

class UnitReader::Impl {
public:
    Impl(HostLog* log, std::function<void(LoggedUnit&)> done)
        : m_log(log), m_done(std::move(done)), m_result(std::string(vantor::kNvStructName) + "."),
          m_units(AllChips().size()), m_isOpen(AllChips().size(), false),
          m_next(AllChips().size(), 0), m_lastPfer(AllChips().size(), -1) {
        for (sim::Chip chip : AllChips())
            m_pfer.push_back(std::string(ActionName(chip)) + vantor::kPferTag);
    }

    void Line(std::string_view line, long number) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            return;
        if (!pfer(line, number) && !result(line))
            unread(line, number);
    }

    void Finish() {
        // In the order of their first lines.
        for (;;) {
            size_t first = m_units.size();
            for (size_t c = 0; c < m_units.size(); ++c)
                if (m_isOpen[c] &&
                    (first == m_units.size() || m_units[c].firstLine < m_units[first].firstLine))
                    first = c;
            if (first == m_units.size())
                return;
            close(first);
        }
    }

private:
    // "<action>_PFER_<n>,band,ch,ch,pcl,D,-,A,B,cdac,cafc,C,-,fe,-,Hz,-"
    bool pfer(std::string_view line, long number) {
        using namespace vantor;
        for (sim::Chip chip : AllChips()) {
            const size_t c = ChipIndex(chip);
            const std::string& token = m_pfer[c];
            size_t at = line.find(token);
            if (at == std::string_view::npos)
                continue;
            std::string_view cols[kColumns];
            if (!splitColumns(line.substr(at + token.size()), cols))
                return false;
            long n = 0, cdac = 0, cafc = 0;
            PferPoint p;
            if (!parseLong(cols[kPferCounter], 0, 0x7FFFFFFF, &n) ||
                !parseLong(cols[kPferCdac], 0, 65535, &cdac) ||
                !parseLong(cols[kPferCafc], 0, 65535, &cafc) ||
                !parseDouble(cols[kPferFe], &p.feHz) || cols[kPferUnitColumn] != kPferUnit)
                return false;
            for (size_t empty : kPferEmptyColumns)
                if (!dashes(cols, empty, empty))
                    return false;
            p.cdac = static_cast<int>(cdac);
            p.cafc = static_cast<int>(cafc);
            LoggedUnit& u = m_units[c];
            if (n == 0) {
                if (m_isOpen[c])
                    close(c);
                u.chip = chip;
                u.firstLine = number;
                u.band = bandOf(cols[kPferBand]);
                long ch = 0;
                u.channel = parseLong(cols[kPferChannel], 0, 65535, &ch) ? static_cast<int>(ch) : 0;
                u.points.clear();
                for (size_t f = 0; f < kNvFieldCount; ++f) {
                    u.hasResult[f] = false;
                    u.result[f] = 0;
                }
                m_isOpen[c] = true;
            } else if (!m_isOpen[c] || m_next[c] != n || u.AnyResult()) {
                return false; // out of sequence: no unit it can belong to
            }
            u.points.push_back(p);
            m_next[c] = n + 1;
            m_lastPfer[c] = number;
            ++m_log->libraryLines;
            return true;
        }
        return false;
    }

    // "<NV struct>.<field>,-,...,-,<value>,-,-,-"
    bool result(std::string_view line) {
        const std::string& token = m_result;
        size_t at = line.find(token);
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
            !parseLong(cols[kResultValueColumn], -32768, 32767, &value) ||
            !dashes(cols, kResultValueColumn + 1, kColumns - 1))
            return false;
        // The unit of the latest PFER line whose next result line this is:
        // a run that passed has all its PFER points, and sends its lines in
        // its chip's order.
        LoggedUnit* best = nullptr;
        long bestLine = -1;
        size_t bestChip = 0;
        for (size_t c = 0; c < m_units.size(); ++c) {
            if (!m_isOpen[c] || m_lastPfer[c] <= bestLine)
                continue;
            LoggedUnit& u = m_units[c];
            if (!passingPoints(u) || nextField(u) != field)
                continue;
            best = &u;
            bestChip = c;
            bestLine = m_lastPfer[c];
        }
        if (best == nullptr)
            return false;
        best->hasResult[field] = true;
        best->result[field] = static_cast<int>(value);
        ++m_log->libraryLines;
        if (best->Passed())
            close(bestChip); // nothing more can join it
        return true;
    }

    void close(size_t c) {
        m_isOpen[c] = false;
        m_done(m_units[c]);
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
    std::vector<std::string> m_pfer;
    std::string m_result;
    std::vector<LoggedUnit> m_units; // the open unit of each chip
    std::vector<bool> m_isOpen;
    std::vector<long> m_next, m_lastPfer;
};

UnitReader::UnitReader(std::function<void(LoggedUnit&)> done)
    : m_counts(std::make_unique<HostLog>()),
      m_impl(std::make_unique<Impl>(m_counts.get(), std::move(done))) {}

UnitReader::~UnitReader() = default;

void UnitReader::Line(std::string_view line, long number) {
    m_impl->Line(line, number);
}

void UnitReader::Finish() {
    m_impl->Finish();
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
