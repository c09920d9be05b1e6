// Small text helpers of the action framework: fixed fields, printf into a
// string, a source file's base name.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vantor {

// Copies text into a fixed field, cut so that the terminator always fits; the
// rest of the field is zero.
inline void CopyField(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    if (text == nullptr)
        return;
    size_t n = strnlen(text, size - 1);
    std::memcpy(field, text, n);
}

inline std::string VFormat(const char* format, va_list args) {
    if (format == nullptr)
        return std::string();
    // One pass when the text fits the stack buffer, as names and lines do.
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    return std::string(buf.data(), static_cast<size_t>(n));
}

// The part of a path after its last '\\' or '/'.
inline const char* BaseName(const char* path) {
    if (path == nullptr)
        return "";
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return name;
}

} // namespace vantor
