#include "ini.h"

#include <vector>

namespace ini {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool IsBlank(char c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' ';
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

namespace {

// The system holds names and values as C strings: each ends at a NUL byte.
std::string_view cString(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    // One allocation: a line ends at every CR or LF, and one more may follow.
    size_t breaks = 1;
    for (char c : text)
        breaks += (c == '\n' || c == '\r') ? 1 : 0;
    lines.reserve(breaks);
    size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        line.number = static_cast<int>(lines.size()) + 1;
        size_t e = pos;
        while (e < text.size() && text[e] != '\n' && text[e] != '\r')
            ++e;
        line.end = e;
        if (e < text.size() && text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n')
            pos = e + 2;
        else
            pos = e + 1;
        std::string_view content = trim(text.substr(line.begin, line.end - line.begin));
        if (content.empty()) {
            lines.push_back(line);
            continue;
        }
        if (content[0] == '[') {
            size_t close = content.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                line.kind = LineKind::Section;
                line.name = cString(trim(content.substr(1, close - 1)));
                lines.push_back(line);
                continue;
            }
        }
        line.kind = LineKind::Key;
        size_t eq = content.find('=');
        if (eq == std::string_view::npos) {
            line.name = cString(content);
        } else {
            line.name = cString(trim(content.substr(0, eq)));
            line.value = cString(trim(content.substr(eq + 1)));
            line.hasValue = true;
        }
        lines.push_back(line);
    }
    return lines;
}

namespace {

void appendUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 code units as UTF-8; a lone surrogate keeps its value in three
// bytes, so that encoding the text again gives the same units.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t n = bytes.size() / 2;
    auto unit = [&](size_t i) {
        unsigned char a = static_cast<unsigned char>(bytes[2 * i]);
        unsigned char b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? static_cast<uint32_t>(a << 8 | b) : static_cast<uint32_t>(b << 8 | a);
    };
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(&out, c);
    }
    return out;
}

void appendUnit(std::string* out, uint32_t u, bool bigEndian) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    *out += bigEndian ? hi : lo;
    *out += bigEndian ? lo : hi;
}

// The reverse of utf16ToUtf8; a byte that starts no sequence is taken as the
// code unit of its value.
std::string utf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t len = b < 0x80             ? 1
                     : (b & 0xE0) == 0xC0 ? 2
                     : (b & 0xF0) == 0xE0 ? 3
                     : (b & 0xF8) == 0xF0 ? 4
                                          : 0;
        bool ok = len != 0 && i + len <= text.size();
        uint32_t c = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3Fu);
        }
        if (!ok) {
            appendUnit(&out, b, bigEndian);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            appendUnit(&out, 0xD800 + ((c - 0x10000) >> 10), bigEndian);
            appendUnit(&out, 0xDC00 + ((c - 0x10000) & 0x3FF), bigEndian);
        } else {
            appendUnit(&out, c, bigEndian);
        }
        i += len;
    }
    return out;
}

} // namespace

namespace {

Encoding encodingOf(std::string_view bytes) {
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8;
    if (startsWith("\xFF\xFE"))
        return Encoding::Utf16Le;
    if (startsWith("\xFE\xFF"))
        return Encoding::Utf16Be;
    return Encoding::Ansi;
}

} // namespace

Decoded Decode(std::string_view bytes) {
    Decoded d;
    d.encoding = encodingOf(bytes);
    if (d.encoding == Encoding::Utf8) {
        d.text.assign(bytes.substr(3));
    } else if (d.encoding != Encoding::Ansi) {
        bool big = d.encoding == Encoding::Utf16Be;
        std::string_view units = bytes.substr(2, (bytes.size() - 2) & ~static_cast<size_t>(1));
        d.text = utf16ToUtf8(units, big);
        d.tail.assign(bytes.substr(2 + units.size()));
    } else {
        d.text.assign(bytes);
    }
    return d;
}

std::string Encode(const Decoded& file) {
    switch (file.encoding) {
    case Encoding::Utf8:
        return "\xEF\xBB\xBF" + file.text;
    case Encoding::Utf16Le:
        return "\xFF\xFE" + utf8ToUtf16(file.text, false) + file.tail;
    case Encoding::Utf16Be:
        return "\xFE\xFF" + utf8ToUtf16(file.text, true) + file.tail;
    case Encoding::Ansi:
        break;
    }
    return file.text;
}

namespace {

// Index of the first section line with the name, or npos.
size_t findSection(const std::vector<Line>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == LineKind::Section && SameName(lines[i].name, section))
            return i;
    return std::string_view::npos;
}

// Index of the first key line with the name in the section opened at s.
size_t findKey(const std::vector<Line>& lines, size_t s, std::string_view key) {
    for (size_t i = s + 1; i < lines.size() && lines[i].kind != LineKind::Section; ++i)
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, key))
            return i;
    return std::string_view::npos;
}

const Line* lookup(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    // No section answers to an empty name, "[]" included.
    std::string_view name = trim(section);
    size_t s = name.empty() ? std::string_view::npos : findSection(lines, name);
    if (s == std::string_view::npos)
        return nullptr;
    size_t k = findKey(lines, s, trim(key));
    return k == std::string_view::npos ? nullptr : &lines[k];
}

bool quoted(std::string_view v) {
    return v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
}

// The value copied into a buffer of `capacity` characters, as the system's
// string reader does it: an opening quote is skipped and, when the rest fits,
// its last character (the closing quote) dropped.
std::string copyEntry(std::string_view v, size_t capacity) {
    bool strip = quoted(v);
    std::string_view rest = strip ? v.substr(1) : v;
    std::string out(rest.substr(0, capacity - 1));
    if (strip && capacity >= rest.size() && !out.empty())
        out.pop_back();
    return out;
}

std::string_view lineBreakOf(std::string_view text) {
    size_t n = text.find('\n');
    if (n != std::string_view::npos)
        return (n > 0 && text[n - 1] == '\r') ? "\r\n" : "\n";
    return text.find('\r') != std::string_view::npos ? "\r" : "\r\n";
}

} // namespace

Profile::Profile(std::string bytes) {
    // A file without a mark is its own text: no copy.
    if (encodingOf(bytes) == Encoding::Ansi)
        m_text = std::move(bytes);
    else
        m_text = Decode(bytes).text;
    m_lines = SplitLines(m_text);
}

std::optional<std::string> Profile::Value(std::string_view section, std::string_view key) const {
    const Line* line = lookup(m_lines, section, key);
    if (line == nullptr || !line->hasValue)
        return std::nullopt;
    return std::string(line->value);
}

uint32_t Profile::Int(std::string_view section, std::string_view key, int32_t defaultValue) const {
    const Line* line = lookup(m_lines, section, key);
    if (line == nullptr || !line->hasValue)
        return static_cast<uint32_t>(defaultValue);
    // The system reads integers through a 30-character string buffer.
    std::string buffer = copyEntry(line->value, 30);
    if (buffer.empty())
        return static_cast<uint32_t>(defaultValue);
    return ParseInt(buffer);
}

std::string Profile::String(std::string_view section, std::string_view key,
                            std::string_view defaultValue) const {
    const Line* line = lookup(m_lines, section, key);
    if (line == nullptr || !line->hasValue)
        return std::string(defaultValue);
    return copyEntry(line->value, line->value.size() + 1);
}

std::optional<std::string> FindValue(std::string_view bytes, std::string_view section,
                                     std::string_view key) {
    return Profile(std::string(bytes)).Value(section, key);
}

uint32_t ParseInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    bool minus = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        minus = s[i] == '-';
        ++i;
    }
    uint32_t base = 10;
    if (s.size() - i >= 2 && s[i] == '0') {
        if (s[i + 1] == 'b') {
            base = 2;
            i += 2;
        } else if (s[i + 1] == 'o') {
            base = 8;
            i += 2;
        } else if (s[i + 1] == 'x') {
            base = 16;
            i += 2;
        }
    }
    uint32_t total = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'Z')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'z')
            digit = c - 'a' + 10;
        if (digit < 0 || static_cast<uint32_t>(digit) >= base)
            break;
        total = total * base + static_cast<uint32_t>(digit);
    }
    return minus ? 0u - total : total;
}

uint32_t ReadInt(std::string_view bytes, std::string_view section, std::string_view key,
                 int32_t defaultValue) {
    return Profile(std::string(bytes)).Int(section, key, defaultValue);
}

std::string ReadString(std::string_view bytes, std::string_view section, std::string_view key,
                       std::string_view defaultValue) {
    return Profile(std::string(bytes)).String(section, key, defaultValue);
}

namespace {

std::string writeKeyInText(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value);

} // namespace

std::string WriteKey(std::string_view bytes, std::string_view section, std::string_view key,
                     std::string_view value) {
    // The file keeps its mark and encoding.
    Decoded file = Decode(bytes);
    file.text = writeKeyInText(file.text, section, key, value);
    return Encode(file);
}

namespace {

std::string writeKeyInText(std::string_view text, std::string_view section, std::string_view key,
                           std::string_view value) {
    std::vector<Line> lines = SplitLines(text);
    std::string_view br = lineBreakOf(text);
    std::string_view sec = trim(section);
    std::string_view k = trim(key);
    std::string entry = std::string(k) + "=" + std::string(value);

    size_t s = findSection(lines, sec);
    std::string out;
    if (s == std::string_view::npos) {
        out.assign(text);
        if (!out.empty() && out.back() != '\n' && out.back() != '\r')
            out += br;
        out += "[" + std::string(sec) + "]" + std::string(br) + entry + std::string(br);
        return out;
    }
    size_t found = findKey(lines, s, k);
    if (found != std::string_view::npos) {
        // The key keeps its spelling in the file; the value is replaced.
        const Line& l = lines[found];
        out.assign(text.substr(0, l.begin));
        out += std::string(l.name) + "=" + std::string(value);
        out.append(text.substr(l.end));
        return out;
    }
    // After the last non-blank line of the section.
    size_t last = s;
    for (size_t i = s + 1; i < lines.size() && lines[i].kind != LineKind::Section; ++i)
        if (lines[i].kind != LineKind::Blank)
            last = i;
    const Line& l = lines[last];
    out.assign(text.substr(0, l.end));
    out += br;
    out += entry;
    if (l.end == text.size())
        out += br;
    out.append(text.substr(l.end));
    return out;
}

} // namespace

} // namespace ini
