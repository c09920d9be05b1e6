// Hosts' logs as the station reads them at scale: files, folders and standard
// input, plain or gzip, each cut into parts at unit boundaries so that
// workers can read one log side by side.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// One log: one station, named by its file name without the extension.
struct LogInput {
    std::string path;    // "-" for standard input
    std::string station; // "station-01" for station-01.log.gz
    bool gzip = false;   // by its first bytes, not by its name
    long long size = -1; // bytes of a plain regular file, else -1
};

// Every log the arguments name: a file, a folder (its *.log and *.log.gz in
// name order) or "-". False with the reason when one cannot be opened or a
// folder holds no log.
bool ListLogs(const std::vector<std::string>& args, std::vector<LogInput>* logs,
              std::string* error);

// A byte range of one log. A part begins at the first unit that starts at
// or after `begin` (the first part at the log's first byte) and ends before
// the first unit that starts at or after `end` (-1: the end of the log).
struct LogPart {
    size_t log = 0;
    long long begin = 0, end = -1;
    size_t index = 0; // its place among the parts of its log
};

// About `parts` parts of even size over the logs; a gzip log or standard
// input is one part.
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
    // on a read error (Error() set).
    bool Next(std::string_view* line);
    const std::string& Error() const { return m_error; }
    long long BytesRead() const { return m_bytes; }

private:
    bool fill();
    bool rawLine(std::string_view* line);

    const LogInput& m_log;
    LogPart m_part;
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    std::vector<char> m_buffer;
    size_t m_at = 0, m_filled = 0;
    bool m_eof = false, m_started = false, m_done = false;
    long long m_offset = 0; // of m_buffer[0] in the log
    long long m_bytes = 0;
    std::string m_carry; // a line longer than the buffer, or cut by it
    std::string m_error;
};

// Why a run found no unit in its logs: empty, or what their lines were.
std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread);

// Makes the folder unless it is there; false with errno set.
bool MakeFolder(const std::string& path);

} // namespace station
