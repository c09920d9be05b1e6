#include "support/TempFile.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace station {

TempFile::~TempFile() {
    if (!m_path.empty())
        std::remove(m_path.c_str());
}

bool TempFile::make(std::string* error) {
#if defined(_WIN32)
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > MAX_PATH || GetTempFileNameA(folder, "vst", 0, name) == 0) {
        *error = "cannot make a temporary file for " + m_what;
        return false;
    }
    m_path = name;
#else
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/vantor-station-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0) {
        *error = "cannot make a temporary file in " + pattern.substr(0, pattern.rfind('/')) + ": " +
                 std::strerror(errno);
        return false;
    }
    close(fd);
    m_path = buf.data();
#endif
    return true;
}

bool TempFile::Write(const std::string& text, std::string* error) {
    if (m_path.empty() && !make(error))
        return false;
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        *error = "cannot write " + m_what + " to " + m_path;
        return false;
    }
    return true;
}

std::FILE* OpenScratchFile(std::string* error) {
#if defined(_WIN32)
    // tmpfile() of the C runtime writes to the drive's root folder, which a
    // station's user may not write: the user's temporary folder instead,
    // deleted by the system when the file is closed ("D").
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    std::FILE* f = nullptr;
    if (n != 0 && n <= MAX_PATH && GetTempFileNameA(folder, "vsd", 0, name) != 0)
        f = std::fopen(name, "w+bD");
#else
    std::FILE* f = std::tmpfile();
#endif
    if (f == nullptr)
        *error = std::string("cannot make a temporary file: ") + std::strerror(errno);
    return f;
}

} // namespace station
