// A host's log read back: the library's PFER and result lines, whatever the
// host put in front of them, grouped into one record per calibrated unit.
#pragma once

#include "logs/Prefix.h"
#include "session/Session.h"
#include "Simulator.h"
#include "common/ReportVocabulary.h"
#include "support/Time.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// One PFER line: where the crystal was tuned and what it measured.
struct PferPoint {
    int cdac = 0, cafc = 0;
    double feHz = 0;
};

struct LoggedUnit {
    sim::Chip chip = sim::Chip::VT318;
    long firstLine = 0; // 1-based line of its first PFER line
    int band = -1;      // of its first PFER line: 0 GSM850M .. 3 PCS1900, -1 unknown
    int channel = 0;    // its traffic channel
    // From the host's prefix of its first PFER line, where the log has one.
    TimeMs time = kNoTime; // local time
    std::string station;   // empty: the log's own name
    std::string serial;    // the handset's (IMEI); empty: not logged
    int attempt = 0;       // 1 the first test, 2... retests and re-measures; 0 not logged
    std::vector<PferPoint> points;
    // The result lines as the record held them, by vantor::NvIndex.
    bool hasResult[vantor::kNvFieldCount] = {};
    int result[vantor::kNvFieldCount] = {};
    // A unit passed when the library sent all its result lines.
    bool Passed() const {
        for (bool has : hasResult)
            if (!has)
                return false;
        return true;
    }
    bool AnyResult() const {
        for (bool has : hasResult)
            if (has)
                return true;
        return false;
    }
};

struct UnreadLine {
    long number = 0;
    std::string text;
};

struct HostLog {
    std::vector<LoggedUnit> units;
    long lines = 0;                         // lines in the file
    long libraryLines = 0;                  // PFER and result lines taken into units
    long unread = 0;                        // non-blank lines that hold no readable library line
    std::vector<UnreadLine> unreadExamples; // the first few of them
};

// The name a chip's lines carry (its registry row's short name).
const char* ActionName(sim::Chip chip);

// Reads a log line by line and hands each unit over once its lines are over:
// at its chip's next unit, when its last result line came, or at Finish. A
// unit's storage is reused after `done` returns. Each line is first matched
// against `prefix` (empty: kHostPrefix); a unit takes the fields of its first
// PFER line's prefix, and the units of each station the prefixes name are
// kept apart, so stations may share one log.
class UnitReader {
public:
    explicit UnitReader(std::function<void(LoggedUnit&)> done,
                        const PrefixTemplate& prefix = PrefixTemplate());
    ~UnitReader();
    UnitReader(const UnitReader&) = delete;
    UnitReader& operator=(const UnitReader&) = delete;
    // One line (without its line break) and its 1-based number.
    void Line(std::string_view line, long number);
    // The units still open at the end of the log.
    void Finish();
    // The log stopped early: the units still open may have lost their last
    // lines, so none is handed over; how many there were.
    long Cut();
    // What it read so far: libraryLines, unread and unreadExamples (units stays empty).
    const HostLog& Counts() const;

private:
    class Impl;
    std::unique_ptr<HostLog> m_counts;
    std::unique_ptr<Impl> m_impl;
};

// True when the line starts a unit (a PFER line with counter 0); cheap, for
// cutting a log into parts.
bool StartsUnit(std::string_view line);

// A column's number as strtol and strtod read the whole column: no leading
// blank (nor '+' for an integer), within [low, high], finite. The plain
// decimals the library writes are read without them (the same values).
bool ParseLoggedLong(std::string_view text, long low, long high, long* value);
bool ParseLoggedDouble(std::string_view text, double* value);

// A line for a terminal: bytes that are not printable ASCII as \xHH.
std::string Printable(std::string_view text);

// Reads a log from its whole text. Units are told apart per action name by
// the PFER counter starting again at 0; a result line belongs to the unit
// whose PFER line came last among those that have the points of a passed
// run and await that line in their chip's order.
HostLog ReadHostLog(const std::string& text);

// The unit's log lines as a host writes them: one line each, in order.
void AppendHostLog(std::string* out, const UnitResult& r);

} // namespace station
