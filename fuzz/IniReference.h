// A second, deliberately plain reader of private-profile integers, written
// apart from the engine so that the two can be compared on any bytes.
//
// The file is taken as the system holds it: a UTF-8 byte-order mark skipped,
// UTF-16 with its mark (LE or BE) read by code unit, each one beyond ASCII as
// one byte that is no digit, blank or mark; lines split at CR or LF, blanks
// (tab to CR, Ctrl-Z, space) trimmed around each line, a line opening with
// '[' and holding a later ']' is a section named up to its last ']' (the name
// trimmed; an empty one never matches), other
// lines are keys up to the first '=' (name and value trimmed). Names and
// values are C strings: each ends at its first NUL byte. Names compare
// without ASCII case; the first matching section counts, and in it the first
// matching key. The integer is read from at most 29 characters of the value
// (after the quote rule), skipping bytes up to the blank, with a sign, a
// lower-case 0b/0o/0x prefix and digits of that base, wrapping at 32 bits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

inline bool blank(unsigned char c) {
    return c == ' ' || c == 0x1a || (c >= 0x09 && c <= 0x0d);
}

inline std::string cString(const std::string& s) {
    size_t n = s.find('\0');
    return n == std::string::npos ? s : s.substr(0, n);
}

inline std::string trimmed(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && blank(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && blank(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

inline bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

struct Entry {
    bool isSection = false;
    std::string name;
    bool hasValue = false;
    std::string value;
};

inline std::string decoded(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    bool le = bytes.compare(0, 2, "\xFF\xFE") == 0;
    bool be = bytes.compare(0, 2, "\xFE\xFF") == 0;
    if (!le && !be)
        return bytes;
    std::string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned lo = static_cast<unsigned char>(bytes[le ? i : i + 1]);
        unsigned hi = static_cast<unsigned char>(bytes[le ? i + 1 : i]);
        out += (hi == 0 && lo < 0x80) ? static_cast<char>(lo) : '\x80';
    }
    return out;
}

inline std::vector<Entry> parse(const std::string& bytes) {
    const std::string text = decoded(bytes);
    std::vector<Entry> entries;
    std::string line;
    auto flush = [&] {
        std::string t = trimmed(line);
        line.clear();
        if (t.empty())
            return;
        Entry e;
        size_t close = t.rfind(']');
        if (t[0] == '[' && close != std::string::npos && close > 0) {
            e.isSection = true;
            e.name = cString(trimmed(t.substr(1, close - 1)));
        } else {
            size_t eq = t.find('=');
            if (eq == std::string::npos) {
                e.name = cString(t);
            } else {
                e.name = cString(trimmed(t.substr(0, eq)));
                e.hasValue = true;
                e.value = cString(trimmed(t.substr(eq + 1)));
            }
        }
        entries.push_back(e);
    };
    for (char c : text) {
        if (c == '\r' || c == '\n')
            flush();
        else
            line += c;
    }
    flush();
    return entries;
}

// The 30-character buffer the system reads an integer through.
inline std::string integerBuffer(const std::string& v) {
    const size_t capacity = 30;
    bool quote = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v[v.size() - 1] == v[0];
    std::string rest = quote ? v.substr(1) : v;
    std::string out = rest.substr(0, capacity - 1);
    if (quote && capacity >= rest.size() && !out.empty())
        out.erase(out.size() - 1);
    return out;
}

inline uint32_t parseInteger(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    } else if (i < s.size() && s[i] == '+') {
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == '0') {
        if (s[i + 1] == 'x')
            base = 16;
        else if (s[i + 1] == 'o')
            base = 8;
        else if (s[i + 1] == 'b')
            base = 2;
        if (base != 10)
            i += 2;
    }
    uint64_t total = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        unsigned d = 99;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'z')
            d = static_cast<unsigned>(c - 'a') + 10;
        else if (c >= 'A' && c <= 'Z')
            d = static_cast<unsigned>(c - 'A') + 10;
        if (d >= base)
            break;
        total = (total * base + d) & 0xFFFFFFFFull;
    }
    uint32_t v = static_cast<uint32_t>(total);
    return negative ? static_cast<uint32_t>(0u - v) : v;
}

inline uint32_t readInt(const std::vector<Entry>& entries, const std::string& section,
                        const std::string& key, int32_t def) {
    std::string s = trimmed(section);
    std::string k = trimmed(key);
    if (s.empty())
        return static_cast<uint32_t>(def);
    size_t i = 0;
    while (i < entries.size() && !(entries[i].isSection && sameIgnoringCase(entries[i].name, s)))
        ++i;
    if (i == entries.size())
        return static_cast<uint32_t>(def);
    for (++i; i < entries.size() && !entries[i].isSection; ++i) {
        if (!sameIgnoringCase(entries[i].name, k))
            continue;
        if (!entries[i].hasValue)
            return static_cast<uint32_t>(def);
        std::string buffer = integerBuffer(entries[i].value);
        if (buffer.empty())
            return static_cast<uint32_t>(def);
        return parseInteger(buffer);
    }
    return static_cast<uint32_t>(def);
}

inline uint32_t readInt(const std::string& text, const std::string& section, const std::string& key,
                        int32_t def) {
    return readInt(parse(text), section, key, def);
}

} // namespace reference
