#include "logs/LogSource.h"

#include "logs/HostLog.h"

#if defined(STATION_HAS_ZLIB)
#include <zlib.h>
#else
// Without zlib a gzip log is refused; standard input is read as plain text.
using gzFile = FILE*;
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
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

} // namespace

bool ListLogs(const std::vector<std::string>& args, std::vector<LogInput>* logs,
              std::string* error) {
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
    return true;
}

std::vector<LogPart> CutLogs(const std::vector<LogInput>& logs, int parts) {
    long long total = 0;
    for (const LogInput& l : logs)
        total += l.size > 0 ? l.size : 0;
    const long long target = std::max<long long>(total / std::max(parts, 1), 1 << 20);
    std::vector<LogPart> out;
    for (size_t i = 0; i < logs.size(); ++i) {
        long long size = logs[i].size;
        long long n = size > 0 ? (size + target - 1) / target : 1;
        if (size > 0 && size - (n - 1) * target < target / 4 && n > 1)
            --n; // no sliver of a part at the end
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
    gzFile gz = nullptr;
    ~Handle() {
        if (file != nullptr)
            std::fclose(file);
#if defined(STATION_HAS_ZLIB)
        if (gz != nullptr)
            gzclose(gz);
#endif
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
        // gzip, or standard input, which zlib reads through whether packed or not.
        if (m_log.path == "-") {
            int fd = station_dup(station_fileno(stdin));
            m_handle->gz = fd >= 0 ? gzdopen(fd, "rb") : nullptr;
        } else {
            m_handle->gz = gzopen(m_log.path.c_str(), "rb");
        }
        if (m_handle->gz == nullptr) {
            m_error = "cannot read the log '" + m_log.path + "': " + std::strerror(errno);
            return false;
        }
        gzbuffer(m_handle->gz, 1 << 18);
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
    if (m_handle->file != nullptr) {
        n = std::fread(m_buffer.data() + m_filled, 1, room, m_handle->file);
        if (n < room && std::ferror(m_handle->file))
            m_error = "cannot read the log '" + m_log.path + "': " + std::strerror(errno);
    } else {
#if defined(STATION_HAS_ZLIB)
        int r = gzread(m_handle->gz, m_buffer.data() + m_filled, static_cast<unsigned>(room));
        if (r < 0) {
            int code = 0;
            const char* why = gzerror(m_handle->gz, &code);
            m_error = "cannot read the log '" + m_log.path + "': " + (why != nullptr ? why : "");
            r = 0;
        }
        n = static_cast<size_t>(r);
#endif
    }
    m_bytes += static_cast<long long>(n);
    m_filled += n;
    if (n == 0)
        m_eof = true;
    return n > 0;
}

// The next line of the log, whatever part it belongs to.
bool PartReader::rawLine(std::string_view* line) {
    for (;;) {
        const char* begin = m_buffer.data() + m_at;
        const void* nl = m_at < m_filled ? std::memchr(begin, '\n', m_filled - m_at) : nullptr;
        if (nl != nullptr) {
            size_t len = static_cast<size_t>(static_cast<const char*>(nl) - begin);
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
            if (!m_error.empty() || m_at >= m_filled)
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

std::string NoUnitReason(const std::vector<LogInput>& logs, long lines, long unread) {
    std::string names;
    for (const LogInput& l : logs)
        names += (names.empty() ? "" : ", ") + l.path;
    if (lines == 0)
        return "no unit in " + names + ": the log is empty";
    return "no unit in " + names + ": " + std::to_string(lines) + " lines, " +
           std::to_string(unread) + " of them no library line, and no PFER line with counter 0";
}

} // namespace station
