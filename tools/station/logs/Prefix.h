// What a host writes before each library line it logs: the time, the
// station, the unit's serial and the attempt. The station's own line writes
// kHostPrefix; a foreign host's prefix is read through a template.
#pragma once

#include "support/Time.h"

#include <string>
#include <string_view>
#include <vector>

namespace station {

// "2026-12-07T06:00:00.000 station-01 356938035643809 1 " before every line.
constexpr const char* kHostPrefix = "{time} {station} {serial} {attempt} ";

// The prefix of one line as the station's line writes it.
void AppendHostPrefix(std::string* out, TimeMs t, const std::string& station,
                      const std::string& serial, int attempt);

// The fields a prefix gave; a field the template lacks stays empty (kNoTime, 0).
struct PrefixFields {
    TimeMs time = kNoTime;
    std::string_view station, serial;
    int attempt = 0;
};

// A prefix template: literal text and the fields {time} (or {time:FORMAT}
// with %Y %m %d %H %M %S and %f), {station}, {serial}, {attempt} and {skip};
// a field ends where the template's next literal text begins.
class PrefixTemplate {
public:
    // False with *error saying what in the text cannot be a template.
    static bool Parse(const std::string& text, PrefixTemplate* out, std::string* error);
    // The fields of a line that begins with the prefix, and where the rest of
    // the line begins; false when the line does not begin with it.
    bool Match(std::string_view line, PrefixFields* fields, size_t* rest) const;
    bool Empty() const { return m_pieces.empty(); }
    bool HasStation() const;
    const std::string& Text() const { return m_text; }

    struct Piece {
        enum Kind { Literal, Time, Station, Serial, Attempt, Skip } kind = Literal;
        std::string text; // the literal, or the time's format
    };

private:
    std::string m_text;
    std::vector<Piece> m_pieces;
};

} // namespace station
