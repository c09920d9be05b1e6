#include "HostLog.h"

#include "StationChips.h"

#include <cerrno>
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

class Reader {
public:
    explicit Reader(HostLog* log)
        : m_log(log), m_result(std::string(vantor::kNvStructName) + "."),
          m_open(AllChips().size(), -1), m_next(AllChips().size(), 0),
          m_lastPfer(AllChips().size(), -1) {
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
            if (n == 0) {
                LoggedUnit u;
                u.chip = chip;
                u.firstLine = number;
                m_log->units.push_back(u);
                m_open[c] = static_cast<long>(m_log->units.size()) - 1;
            } else if (m_open[c] < 0 || m_next[c] != n ||
                       m_log->units[static_cast<size_t>(m_open[c])].AnyResult()) {
                return false; // out of sequence: no unit it can belong to
            }
            m_log->units[static_cast<size_t>(m_open[c])].points.push_back(p);
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
        for (size_t c = 0; c < m_open.size(); ++c) {
            if (m_open[c] < 0 || m_lastPfer[c] <= bestLine)
                continue;
            LoggedUnit& u = m_log->units[static_cast<size_t>(m_open[c])];
            if (!passingPoints(u) || nextField(u) != field)
                continue;
            best = &u;
            bestLine = m_lastPfer[c];
        }
        if (best == nullptr)
            return false;
        best->hasResult[field] = true;
        best->result[field] = static_cast<int>(value);
        ++m_log->libraryLines;
        return true;
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
            m_log->unreadExamples.push_back({number, std::string(line.substr(0, 160))});
    }

    HostLog* m_log;
    std::vector<std::string> m_pfer;
    std::string m_result;
    std::vector<long> m_open, m_next, m_lastPfer;
};

} // namespace

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
    HostLog log;
    Reader reader(&log);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        ++log.lines;
        reader.Line(std::string_view(text).substr(pos, end - pos), log.lines);
        pos = end + 1;
    }
    return log;
}

} // namespace station
