// The configuration as a file: the embedded default, the bytes of a file
// read without blocking on it, and those bytes as the profile reader takes
// them.
#include "config/ConfigCheck.h"

#include "chips/ChipRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace station {

const char* DefaultConfigText() {
    // Every section once, in the order the tables first name it, with each of
    // its keys once at the action's default.
    static const std::string text = [] {
        std::vector<std::pair<std::string, std::string>> sections; // name, lines
        for (const config::Facts& table : vantor::ConfigTables())
            for (const config::KeyFact& f : table) {
                auto it = std::find_if(sections.begin(), sections.end(),
                                       [&](const auto& s) { return s.first == f.section; });
                if (it == sections.end())
                    it = sections.insert(sections.end(), {f.section, ""});
                const std::string line =
                    std::string(f.key) + "=" + std::to_string(f.actionDefault) + "\r\n";
                if (it->second.find("\n" + line) == std::string::npos &&
                    it->second.compare(0, line.size(), line) != 0)
                    it->second += line;
            }
        std::string t =
            "; VantorCrystal station: the default configuration of the three AFC actions.\r\n";
        for (size_t i = 0; i < sections.size(); ++i)
            t += (i > 0 ? "\r\n[" : "[") + sections[i].first + "]\r\n" + sections[i].second;
        return t;
    }();
    return text.c_str();
}

bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
    const std::string cannotOpen = "cannot open the configuration file '" + path + "': ";
#if defined(_WIN32)
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = cannotOpen + std::strerror(errno);
        return false;
    }
    // Devices (NUL, CON, COM1) and pipes open like files but are none.
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (GetFileType(h) != FILE_TYPE_DISK) {
        std::fclose(f);
        *error = cannotOpen + "not a regular file";
        return false;
    }
#else
    // Without O_NONBLOCK a FIFO would wait here for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = cannotOpen + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        *error = cannotOpen + (folder ? "a folder, not a regular file" : "not a regular file");
        return false;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        *error = cannotOpen + std::strerror(errno);
        ::close(fd);
        return false;
    }
#endif
    std::string data;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    bool failed = std::ferror(f) != 0;
    int readErrno = errno;
    std::fclose(f);
    if (failed) {
        *error = "cannot read the configuration file '" + path + "': " + std::strerror(readErrno);
        return false;
    }
    *text = std::move(data);
    return true;
}

std::string ReaderText(const std::string& bytes, TextEncoding* encoding) {
    auto starts = [&](const char* mark, size_t n) { return bytes.compare(0, n, mark, n) == 0; };
    *encoding = TextEncoding::Plain;
    if (starts("\xEF\xBB\xBF", 3)) {
        *encoding = TextEncoding::Utf8Bom;
        return bytes.substr(3);
    }
    bool le = starts("\xFF\xFE", 2);
    if (!le && !starts("\xFE\xFF", 2))
        return bytes;
    *encoding = le ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned lo = static_cast<unsigned char>(bytes[le ? i : i + 1]);
        unsigned hi = static_cast<unsigned char>(bytes[le ? i + 1 : i]);
        unsigned unit = hi << 8 | lo;
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

bool ReadRunConfig(const std::string& path, std::string* text, std::string* label,
                   std::string* error) {
    if (path.empty()) {
        *text = DefaultConfigText();
        *label = "embedded default configuration";
        return true;
    }
    *label = path;
    return ReadTextFile(path, text, error);
}

} // namespace station
