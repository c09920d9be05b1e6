// Our INI engine: the private-profile rules of Win32, over the text of a file.
//
// A file that starts with a byte-order mark is read in its encoding: UTF-8
// (the mark skipped) or UTF-16 little- or big-endian (taken as UTF-8 text).
// Lines end at CR or LF. Blanks around a line are dropped. "[name]" opens a
// section (the name runs to the last ']' of the line; blanks around it inside
// the brackets are dropped, inner ones kept). Other lines are "key = value"
// (blanks around key and value dropped) or a key without value. Section and
// key names compare without regard to ASCII case; only the first matching
// section counts, and in it only the first matching key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

// The blanks of the reader: around names and values they do not count.
bool IsBlank(char c);
// Names compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b);

enum class LineKind { Blank, Section, Key };

// One line of the file as the reader sees it; names and values are views
// into the text, trimmed and cut at a NUL byte.
struct Line {
    size_t begin = 0; // first byte of the line
    size_t end = 0;   // end of its content, before the line break
    int number = 0;   // from 1
    LineKind kind = LineKind::Blank;
    std::string_view name;  // section or key name
    std::string_view value; // key value (when hasValue)
    bool hasValue = false;
};

std::vector<Line> SplitLines(std::string_view text);

enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

// A file's bytes as the reader sees them: the text without its byte-order
// mark, UTF-16 as UTF-8; tail keeps an odd last byte of a UTF-16 file.
struct Decoded {
    Encoding encoding = Encoding::Ansi;
    std::string text;
    std::string tail;
};

Decoded Decode(std::string_view bytes);
// The bytes of a decoded file again, mark and encoding as they were.
std::string Encode(const Decoded& file);

// A file read once for many lookups: its text as the reader sees it and its
// lines. The readers below answer as ReadInt and ReadString on the same bytes.
class Profile {
public:
    explicit Profile(std::string bytes);
    Profile(const Profile&) = delete; // the lines view the text
    Profile& operator=(const Profile&) = delete;

    uint32_t Int(std::string_view section, std::string_view key, int32_t defaultValue) const;
    std::string String(std::string_view section, std::string_view key,
                       std::string_view defaultValue) const;
    // The value of a key, as FindValue gives it.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

private:
    std::string m_text;
    std::vector<Line> m_lines;
};

// The readers and the writer below take the file's bytes as they stand.

// The value of a key as the string reader gives it: nullopt when the section
// or key is missing or the key has no '='. Matching quotes around the value
// are removed when keepQuotes is false.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);

// The integer reader: the default for a missing key or an empty value;
// otherwise blanks, an optional sign, a 0x/0o/0b prefix and the digits of
// the first 29 characters, in wrapping 32-bit arithmetic.
uint32_t ReadInt(std::string_view text, std::string_view section, std::string_view key,
                 int32_t defaultValue);

// Parses a value text as the integer reader does (the value already found).
uint32_t ParseInt(std::string_view value);

// The string reader: quotes stripped, the default for a missing key.
std::string ReadString(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view defaultValue);

// The text after setting key = value in section: an existing key's line is
// replaced, a new key goes after the last line of its section, a new section
// goes at the end. Every other line stays as it was.
std::string WriteKey(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

} // namespace ini
