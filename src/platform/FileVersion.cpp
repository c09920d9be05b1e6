#include "FileVersion.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace platform {

void ParseFileVersion(const std::string& text, std::string* version, std::string* build) {
    std::string t;
    for (char c : text) {
        if (c == ',')
            t += '.';
        else if (c != ' ')
            t += c;
    }
    size_t dot = t.rfind('.');
    std::string number = dot == std::string::npos ? t : t.substr(dot + 1);
    *version = dot == std::string::npos ? std::string() : t.substr(0, dot);
    long long n = 0;
    for (char c : number) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + (c - '0');
        if (n > std::numeric_limits<int>::max())
            n = std::numeric_limits<int>::max();
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(n));
    *build = buf;
}

std::string FileVersionOfFile(const std::string& path) {
#if defined(_WIN32)
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return std::string();
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return std::string();
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* tr = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr),
                        &len) ||
        len < sizeof(Translation))
        return std::string();
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", tr->language,
                  tr->codePage);
    char* value = nullptr;
    if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &len) ||
        value == nullptr)
        return std::string();
    return std::string(value, strnlen(value, len));
#else
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Built at run time, so that this reader's own code holds no copy of the
    // marker for a search to find.
    const std::string marker = std::string("VANTOR_") + "FILEVERSION=";
    for (size_t at = bytes.find(marker); at != std::string::npos; at = bytes.find(marker, at + 1)) {
        size_t begin = at + marker.size();
        size_t end = bytes.find('\0', begin);
        if (end != std::string::npos && end > begin && end - begin <= 64)
            return bytes.substr(begin, end - begin);
    }
    return std::string();
#endif
}

} // namespace platform
