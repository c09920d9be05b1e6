#include "logs/LogSource.h"

#include "logs/HostLog.h"

#if defined(STATION_HAS_ZLIB)
#include "logs/GzipStream.h"
#endif
// Without zlib a gzip log is refused; standard input is read as plain text.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define station_dup _dup
#define station_fileno _fileno
#define station_fdopen _fdopen
#else
#include <unistd.h>
#define station_dup dup
#define station_fileno fileno
#define station_fdopen fdopen
#endif

namespace station {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBufferBytes = 1 << 22;

// The first line break in [p, end), or end: eight bytes a step, as the C
// runtime's memchr is a byte loop behind a call on Windows.
const char* findLineBreak(const char* p, const char* const end) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    constexpr uint64_t breaks = ones * '\n';
    for (; end - p >= 8; p += 8) {
        uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        const uint64_t x = word ^ breaks; // a zero byte where a break is
        // The lowest flagged byte is the first zero byte (a borrow flags only later ones).
        const uint64_t zeros = (x - ones) & ~x & highs;
        if (zeros != 0)
            return p + __builtin_ctzll(zeros) / 8;
    }
#endif
    while (p != end && *p != '\n')
        ++p;
    return p;
}

bool endsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::string stationName(const fs::path& path) {
    std::string name = path.filename().string();
    for (const char* ext : {".log.gz", ".gz", ".log"})
        if (endsWith(name, ext) && name.size() > std::strlen(ext))
            return name.substr(0, name.size() - std::strlen(ext));
    return name;
}

bool addFile(const fs::path& path, std::vector<LogInput>* logs, std::string* error) {
    LogInput in;
    in.path = path.string();
    in.station = stationName(path);
    FILE* f = std::fopen(in.path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot read the log '" + in.path + "': " + std::strerror(errno);
        return false;
    }
    unsigned char magic[2] = {0, 0};
    size_t n = std::fread(magic, 1, 2, f);
    std::fclose(f);
    in.gzip = n == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    std::error_code ec;
    if (!in.gzip && fs::is_regular_file(path, ec))
        in.size = static_cast<long long>(fs::file_size(path, ec));
    if (ec)
        in.size = -1;
    logs->push_back(in);
    return true;
}

// Bytes read around a cut to see which stations a log's prefixes name.
constexpr size_t kStationSample = 64 * 1024;

// True when the whole lines of the log's bytes from `offset` (the first
// kStationSample of them) name more than one station in their prefixes.
bool namesStations(const LogInput& log, const PrefixTemplate& prefix, long long offset) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(log.path.c_str(), "rb"), &std::fclose);
    if (!file)
        return false; // the reader names the error
#if defined(_WIN32)
    if (_fseeki64(file.get(), offset, SEEK_SET) != 0)
        return false;
#else
    if (fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
#endif
    std::string bytes(kStationSample, '\0');
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file.get()));
    std::string_view text(bytes);
    size_t at = 0;
    if (offset > 0) {
        at = text.find('\n'); // the line the offset fell in is cut
        at = at == std::string_view::npos ? text.size() : at + 1;
    }
    std::string first;
    bool named = false;
    for (size_t end; (end = text.find('\n', at)) != std::string_view::npos; at = end + 1) {
        PrefixFields fields;
        size_t rest = 0;
        if (!prefix.Match(text.substr(at, end - at), &fields, &rest) || fields.station.empty())
            continue;
        if (!named) {
            first.assign(fields.station.data(), fields.station.size());
            named = true;
        } else if (fields.station != first) {
            return true;
        }
    }
    return false;
}

} // namespace

const char* LogEndName(LogEnd end) {
    switch (end) {
    case LogEnd::Whole:
        return "whole";
    case LogEnd::CutShort:
        return "cut short";
    case LogEnd::Corrupt:
        return "corrupt";
    case LogEnd::ReadError:
        return "read error";
    }
    return "?";
}

std::string IncompleteLog::Where() const {
    std::string at = std::string(LogEndName(stop.end)) + " (" + stop.why + ")";
    if (stop.byte >= 0)
        at += " at byte " + std::to_string(stop.byte);
    return at + (stop.byte >= 0 ? ", line " : " at line ") + std::to_string(line);
}

std::string IncompleteLog::Summary() const {
    auto count = [](long n, const char* one) {
        return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
    };
    std::string text =
        log + ": " + Where() + "; the " + count(units, "unit") + " read before it are kept";
    if (cutUnits > 0)
        text += ", " + count(cutUnits, "unit") + " it cut " + (cutUnits == 1 ? "is" : "are") +
                " not judged";
    return text;
}

int WarnIncomplete(const std::vector<IncompleteLog>& logs) {
    for (const IncompleteLog& l : logs)
        std::fprintf(stderr, "vantor-station: incomplete input: %s\n", l.Summary().c_str());
    return logs.empty() ? 0 : kExitIncomplete;
}

bool ListLogs(const std::vector<std::string>& args, std::vector<LogInput>* logs, std::string* error,
              const PrefixTemplate& prefix) {
    logs->clear();
    for (const std::string& arg : args) {
        if (arg == "-") {
            LogInput in;
            in.path = "-";
            in.station = "stdin";
            logs->push_back(in);
            continue;
        }
        std::error_code ec;
        fs::path path(arg);
        if (!fs::is_directory(path, ec)) {
            if (!addFile(path, logs, error))
                return false;
            continue;
        }
        std::vector<fs::path> files;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            if ((endsWith(name, ".log") || endsWith(name, ".log.gz")) &&
                !fs::is_directory(it->path(), ec))
                files.push_back(it->path());
        }
        if (ec) {
            *error = "cannot read the folder '" + arg + "': " + ec.message();
            return false;
        }
        if (files.empty()) {
            *error = "the folder '" + arg + "' holds no *.log or *.log.gz file";
            return false;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files)
            if (!addFile(f, logs, error))
                return false;
    }
    for (LogInput& l : *logs)
        l.prefix = prefix;
    return true;
}

std::vector<LogPart> CutLogs(const std::vector<LogInput>& logs, int parts) {
    long long total = 0;
    for (const LogInput& l : logs)
        total += l.size > 0 ? l.size : 0;
    const long long target = std::max<long long>(total / std::max(parts, 1), 1 << 20);
    PrefixTemplate host;
    std::string error;
    PrefixTemplate::Parse(kHostPrefix, &host, &error);
    std::vector<LogPart> out;
    for (size_t i = 0; i < logs.size(); ++i) {
        long long size = logs[i].size;
        long long n = size > 0 ? (size + target - 1) / target : 1;
        if (size > 0 && size - (n - 1) * target < target / 4 && n > 1)
            --n; // no sliver of a part at the end
        const PrefixTemplate& prefix = logs[i].prefix.Empty() ? host : logs[i].prefix;
        for (long long k = 0; n > 1 && k < n && prefix.HasStation(); ++k)
            if (namesStations(logs[i], prefix, size * k / n))
                n = 1;
        for (long long k = 0; k < n; ++k) {
            LogPart p;
            p.log = i;
            p.index = static_cast<size_t>(k);
            p.begin = size > 0 ? size * k / n : 0;
            p.end = k + 1 < n ? size * (k + 1) / n : -1;
            out.push_back(p);
        }
    }
    return out;
}

struct PartReader::Handle {
    FILE* file = nullptr;
#if defined(STATION_HAS_ZLIB)
    std::unique_ptr<GzipStream> gz; // reads `file`
#endif
    ~Handle() {
#if defined(STATION_HAS_ZLIB)
        gz.reset();
#endif
        if (file != nullptr)
            std::fclose(file);
    }
};

PartReader::PartReader(const LogInput& log, const LogPart& part)
    : m_log(log), m_part(part), m_handle(std::make_unique<Handle>()) {}

PartReader::~PartReader() = default;

bool PartReader::Open() {
    const bool plain = !m_log.gzip && m_log.path != "-";
    if (plain) {
        m_handle->file = std::fopen(m_log.path.c_str(), "rb");
        if (m_handle->file == nullptr) {
            m_error = "cannot read the log '" + m_log.path + "': " + std::strerror(errno);
            return false;
        }
    } else {
#if !defined(STATION_HAS_ZLIB)
        if (m_log.gzip) {
            m_error = "cannot read the log '" + m_log.path + "': this station reads no gzip";
            return false;
        }
        m_handle->file =
            stdin == nullptr ? nullptr : station_fdopen(station_dup(station_fileno(stdin)), "rb");
        if (m_handle->file == nullptr) {
            m_error = "cannot read standard input: " + std::string(std::strerror(errno));
            return false;
        }
#else
        // gzip, or standard input, which the stream reads through whether packed or not.
        if (m_log.path == "-") {
            int fd = stdin == nullptr ? -1 : station_dup(station_fileno(stdin));
#if defined(_WIN32)
            if (fd >= 0)
                _setmode(fd, _O_BINARY); // gzip bytes, not text
#endif
            m_handle->file = fd >= 0 ? station_fdopen(fd, "rb") : nullptr;
        } else {
            m_handle->file = std::fopen(m_log.path.c_str(), "rb");
        }
        if (m_handle->file == nullptr) {
            m_error = "cannot read the log '" + m_log.path + "': " + std::strerror(errno);
            return false;
        }
        m_handle->gz = std::make_unique<GzipStream>(m_handle->file);
#endif
    }
    m_buffer.resize(kBufferBytes);
    if (m_part.begin > 0 && plain) {
        // From the byte before, so that a line starting at `begin` is the first whole one.
#if defined(_WIN32)
        int r = _fseeki64(m_handle->file, m_part.begin - 1, SEEK_SET);
#else
        int r = fseeko(m_handle->file, static_cast<off_t>(m_part.begin - 1), SEEK_SET);
#endif
        if (r != 0) {
            m_error = "cannot read the log '" + m_log.path + "': " + std::strerror(errno);
            return false;
        }
        m_offset = m_part.begin - 1;
        std::string_view partial;
        rawLine(&partial);
    }
    return m_error.empty();
}

bool PartReader::fill() {
    if (m_eof)
        return false;
    if (m_at > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_at, m_filled - m_at);
        m_offset += static_cast<long long>(m_at);
        m_filled -= m_at;
        m_at = 0;
    }
    size_t room = m_buffer.size() - m_filled;
    size_t n = 0;
#if defined(STATION_HAS_ZLIB)
    if (m_handle->gz) {
        n = m_handle->gz->Read(m_buffer.data() + m_filled, room);
        if (n == 0)
            m_stop = m_handle->gz->Stop();
    } else
#endif
    {
        errno = 0;
        n = std::fread(m_buffer.data() + m_filled, 1, room, m_handle->file);
        if (n < room && std::ferror(m_handle->file)) {
            m_stop.end = LogEnd::ReadError;
            m_stop.why = errno != 0 ? std::strerror(errno) : "the system gave no reason";
            m_stop.byte = m_offset + static_cast<long long>(m_filled + n);
        }
    }
    m_bytes += static_cast<long long>(n);
    m_filled += n;
    if (n == 0 || m_stop.Early())
        m_eof = true;
    return n > 0;
}

// The next line of the log, whatever part it belongs to.
bool PartReader::rawLine(std::string_view* line) {
    for (;;) {
        const char* begin = m_buffer.data() + m_at;
        const char* end = m_buffer.data() + m_filled;
        const char* nl = m_at < m_filled ? findLineBreak(begin, end) : end;
        if (nl != end) {
            size_t len = static_cast<size_t>(nl - begin);
            *line = std::string_view(begin, len);
            m_at += len + 1;
            return true;
        }
        if (m_at == 0 && m_filled == m_buffer.size()) {
            // A line longer than the buffer: taken as it is, cut.
            *line = std::string_view(begin, m_filled);
            m_at = m_filled;
            return true;
        }
        if (!fill()) {
            // A line the log's early stop cut is no line.
            if (m_stop.Early() || m_at >= m_filled)
                return false;
            *line = std::string_view(m_buffer.data() + m_at, m_filled - m_at);
            m_at = m_filled;
            return true;
        }
    }
}

bool PartReader::Next(std::string_view* line) {
    if (m_done)
        return false;
    for (;;) {
        long long start = m_offset + static_cast<long long>(m_at);
        if (!rawLine(line)) {
            m_done = true;
            return false;
        }
        if (!m_started) {
            // Lines before the part's first unit belong to the part before.
            if (m_part.begin > 0 && !StartsUnit(*line))
                continue;
            m_started = true;
            return true;
        }
        if (m_part.end >= 0 && start >= m_part.end && StartsUnit(*line)) {
            m_done = true;
            return false;
        }
        return true;
    }
}

bool MakeFolder(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return true;
    if (fs::create_directories(path, ec))
        return true;
    errno = ec.value() != 0 ? ec.value() : EEXIST;
    return false;
}

std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread,
                         const std::vector<IncompleteLog>& incomplete) {
    std::string names;
    for (const LogInput& l : logs)
        names += (names.empty() ? "" : ", ") + l.path;
    std::string reason = "no unit in " + names + ": ";
    if (lines == 0)
        reason += incomplete.empty() ? "the log is empty" : "no line could be read";
    else
        reason += std::to_string(lines) + " lines, " + std::to_string(unread) +
                  " of them no library line, and no PFER line with counter 0";
    for (const IncompleteLog& l : incomplete)
        reason += "; " + l.log + " " + l.Where();
    return reason;
}

} // namespace station
