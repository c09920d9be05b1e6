// Hosts' logs as the station reads them at scale: files, folders and standard
// input, plain or gzip, each cut into parts at unit boundaries so that
// workers can read one log side by side.
#pragma once

#include "logs/Prefix.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// The station's exit status when a log stopped early: the rest is reported.
constexpr int kExitIncomplete = 4;

// How reading a log ended.
enum class LogEnd { Whole, CutShort, Corrupt, ReadError };
// "whole", "cut short", "corrupt", "read error".
const char* LogEndName(LogEnd end);

// Where and why a log stopped: Whole for one read to its end.
struct LogStop {
    LogEnd end = LogEnd::Whole;
    std::string why;     // what the reader met there
    long long byte = -1; // of the file as it lies (gzip: compressed), -1 unknown
    bool Early() const { return end != LogEnd::Whole; }
};

// A log that stopped early, as the reports name it; what was read before
// the stop is kept.
struct IncompleteLog {
    std::string log; // its path
    LogStop stop;
    long line = 0;     // the first line not read whole
    long units = 0;    // units read before the stop
    long cutUnits = 0; // units whose lines the stop cut: counted, not judged
    // "cut short (the file ends inside member 1) at byte 2048, line 31"
    std::string Where() const;
    // The log, where it stopped and what of it the report holds, on one line.
    std::string Summary() const;
};

// Each log that stopped early named on standard error; the exit status the
// run ends with: kExitIncomplete, or 0 when every log was whole.
int WarnIncomplete(const std::vector<IncompleteLog>& logs);

// One log, named by its file name without the extension; the prefixes of
// its lines may name the stations instead (several in one log).
struct LogInput {
    std::string path;      // "-" for standard input
    std::string station;   // "station-01" for station-01.log.gz
    bool gzip = false;     // by its first bytes, not by its name
    long long size = -1;   // bytes of a plain regular file, else -1
    PrefixTemplate prefix; // its lines' prefix; empty: kHostPrefix where a line has it
};

// Every log the arguments name: a file, a folder (its *.log and *.log.gz in
// name order) or "-", each read with `prefix`. False with the reason when one
// cannot be opened or a folder holds no log.
bool ListLogs(const std::vector<std::string>& args, std::vector<LogInput>* logs, std::string* error,
              const PrefixTemplate& prefix = PrefixTemplate());

// A byte range of one log. A part begins at the first unit that starts at
// or after `begin` (the first part at the log's first byte) and ends before
// the first unit that starts at or after `end` (-1: the end of the log).
struct LogPart {
    size_t log = 0;
    long long begin = 0, end = -1;
    size_t index = 0; // its place among the parts of its log
};

// About `parts` parts of even size over the logs; a gzip log or standard
// input is one part, and so is a log whose prefixes name more than one
// station near its start or near a cut (their units interleave, so no unit
// start is a boundary between units).
std::vector<LogPart> CutLogs(const std::vector<LogInput>& logs, int parts);

// Reads the lines of one part.
class PartReader {
public:
    PartReader(const LogInput& log, const LogPart& part);
    ~PartReader();
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;

    // False with Error() set when the log cannot be opened.
    bool Open();
    // The next line without its line break; false at the end of the part or
    // where the log stops early (Stop() says where and why). A line the stop
    // cut is not given.
    bool Next(std::string_view* line);
    const std::string& Error() const { return m_error; }
    const LogStop& Stop() const { return m_stop; }
    long long BytesRead() const { return m_bytes; }

private:
    bool fill();
    bool rawLine(std::string_view* line);

    const LogInput& m_log;
    LogPart m_part;
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    // Not zeroed: a small log touches only the pages it fills.
    struct Buffer {
        std::unique_ptr<char[]> bytes;
        size_t length = 0;
        void resize(size_t n) {
            bytes.reset(new char[n]);
            length = n;
        }
        char* data() { return bytes.get(); }
        size_t size() const { return length; }
    };
    Buffer m_buffer;
    size_t m_at = 0, m_filled = 0;
    bool m_eof = false, m_started = false, m_done = false;
    long long m_offset = 0; // of m_buffer[0] in the log
    long long m_bytes = 0;
    std::string m_carry; // a line longer than the buffer, or cut by it
    std::string m_error;
    LogStop m_stop;
};

// Why a run found no unit in its logs: empty, or what their lines were.
std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread,
                         const std::vector<IncompleteLog>& incomplete);

// Makes the folder unless it is there; false with errno set.
bool MakeFolder(const std::string& path);

} // namespace station
