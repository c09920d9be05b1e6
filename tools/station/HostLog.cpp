#include "HostLog.h"

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
constexpr size_t kColumns = 17;

const sim::Chip kChips[] = {sim::Chip::VT300, sim::Chip::VT318, sim::Chip::LN2040};

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

bool dashes(const std::string_view* cols, size_t from, size_t to) {
    for (size_t i = from; i <= to; ++i)
        if (cols[i - 1] != "-")
            return false;
    return true;
}

int bandOf(std::string_view name) {
    static const char* const names[] = {"GSM850M", "EGSM900", "DCS1800", "PCS1900"};
    for (int i = 0; i < 4; ++i)
        if (name == names[i])
            return i;
    return -1;
}

} // namespace

class UnitReader::Impl {
public:
    Impl(HostLog* log, std::function<void(LoggedUnit&)> done)
        : m_log(log), m_done(std::move(done)), m_result(std::string(kNvStructName) + ".") {
        for (sim::Chip chip : kChips)
            m_pfer[static_cast<int>(chip)] = std::string(ActionName(chip)) + "_PFER_";
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
            int first = -1;
            for (int c = 0; c < 3; ++c)
                if (m_isOpen[c] && (first < 0 || m_units[c].firstLine < m_units[first].firstLine))
                    first = c;
            if (first < 0)
                return;
            close(first);
        }
    }

private:
    // "<action>_PFER_<n>,band,ch,ch,pcl,D,-,A,B,cdac,cafc,C,-,fe,-,Hz,-"
    bool pfer(std::string_view line, long number) {
        for (sim::Chip chip : kChips) {
            const std::string& token = m_pfer[static_cast<int>(chip)];
            size_t at = line.find(token);
            if (at == std::string_view::npos)
                continue;
            std::string_view cols[kColumns];
            if (!splitColumns(line.substr(at + token.size()), cols))
                return false;
            long n = 0, cdac = 0, cafc = 0;
            PferPoint p;
            if (!parseLong(cols[0], 0, 0x7FFFFFFF, &n) || !parseLong(cols[9], 0, 65535, &cdac) ||
                !parseLong(cols[10], 0, 65535, &cafc) || !parseDouble(cols[13], &p.feHz) ||
                cols[15] != "Hz" || !dashes(cols, 15, 15) || !dashes(cols, 17, 17) ||
                !dashes(cols, 13, 13) || !dashes(cols, 7, 7))
                return false;
            p.cdac = static_cast<int>(cdac);
            p.cafc = static_cast<int>(cafc);
            int c = static_cast<int>(chip);
            LoggedUnit& u = m_units[c];
            if (n == 0) {
                if (m_isOpen[c])
                    close(c);
                u.chip = chip;
                u.firstLine = number;
                u.band = bandOf(cols[1]);
                long ch = 0;
                u.channel = parseLong(cols[2], 0, 65535, &ch) ? static_cast<int>(ch) : 0;
                u.points.clear();
                for (int f = 0; f < 3; ++f) {
                    u.hasResult[f] = false;
                    u.result[f] = 0;
                }
                m_isOpen[c] = true;
            } else if (!m_isOpen[c] || m_next[c] != n) {
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
        int field = cols[0] == "CAFC"           ? 0
                    : cols[0] == "CDAC"         ? 1
                    : cols[0] == "slope_length" ? 2
                                                : -1;
        long value = 0;
        if (field < 0 || !dashes(cols, 2, 13) || !parseLong(cols[13], -32768, 32767, &value) ||
            !dashes(cols, 15, 17))
            return false;
        // The unit of the latest PFER line whose next result line this is:
        // a run that passed has all its PFER points, and sends its lines in
        // its chip's order.
        LoggedUnit* best = nullptr;
        long bestLine = -1;
        int bestChip = -1;
        for (int c = 0; c < 3; ++c) {
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

    void close(int c) {
        m_isOpen[c] = false;
        m_done(m_units[c]);
    }

    static bool passingPoints(const LoggedUnit& u) {
        size_t n = u.points.size();
        switch (u.chip) {
        case sim::Chip::VT300:
            return n == 2;
        case sim::Chip::VT318:
            return n == 4 || n == 6 || n == 8; // one to three coarse attempts
        case sim::Chip::LN2040:
            return n == 4;
        }
        return false;
    }

    // The field of the unit's next result line (CAFC 0, CDAC 1, slope length
    // 2), or -1 when it has all three.
    static int nextField(const LoggedUnit& u) {
        static const int vt300[3] = {2, 1, 0};
        static const int common[3] = {1, 0, 2};
        const int* order = u.chip == sim::Chip::VT300 ? vt300 : common;
        for (int i = 0; i < 3; ++i)
            if (!u.hasResult[order[i]])
                return order[i];
        return -1;
    }

    void unread(std::string_view line, long number) {
        ++m_log->unread;
        if (m_log->unreadExamples.size() < kUnreadShown)
            m_log->unreadExamples.push_back({number, Printable(line.substr(0, 160))});
    }

    HostLog* m_log;
    std::function<void(LoggedUnit&)> m_done;
    std::string m_pfer[3], m_result;
    LoggedUnit m_units[3];
    bool m_isOpen[3] = {false, false, false};
    long m_next[3] = {0, 0, 0};
    long m_lastPfer[3] = {-1, -1, -1};
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
    size_t at = line.find("_PFER_0,");
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
    switch (chip) {
    case sim::Chip::VT300:
        return "VT300_AFC";
    case sim::Chip::VT318:
        return "VT318_AFC";
    case sim::Chip::LN2040:
        return "LN2040";
    }
    return "?";
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
