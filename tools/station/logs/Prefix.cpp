#include "logs/Prefix.h"

namespace station {

namespace {

const char* const kFieldNames = "{time}, {time:FORMAT}, {station}, {serial}, {attempt}, {skip}";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned daysInMonth(int year, int month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Exactly n digits at `at`.
bool fixedDigits(std::string_view s, size_t at, size_t n, int* out) {
    if (at + n > s.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!isDigit(s[i]))
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

// Two digits at p (unchecked length).
inline bool twoDigits(const char* p, int* out) {
    if (!isDigit(p[0]) || !isDigit(p[1]))
        return false;
    *out = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// The time from its fields; false for an impossible one.
bool makeTime(int year, int month, int day, int hour, int minute, int second, long long ms,
              TimeMs* t) {
    if (month < 1 || month > 12 || day < 1 ||
        static_cast<unsigned>(day) > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    *t = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kMsPerDay +
         (hour * 3600LL + minute * 60LL + second) * 1000 + ms;
    return true;
}

// Digits at `at`, any number of them, as a fraction of a second in
// milliseconds; `at` moved past them.
long long fraction(std::string_view s, size_t* at) {
    long long ms = 0, scale = 100;
    for (; *at < s.size() && isDigit(s[*at]); ++*at, scale /= 10)
        ms += (s[*at] - '0') * scale;
    return ms;
}

// "YYYY-MM-DDTHH:MM:SS[.fff]" at `at`: the host prefix's time, read at its
// fixed places as every line of a log has one.
bool matchIso(std::string_view s, size_t at, TimeMs* t, size_t* end) {
    if (s.size() - at < 19)
        return false;
    const char* p = s.data() + at;
    int hi = 0, lo = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (p[4] != '-' || p[7] != '-' || p[10] != 'T' || p[13] != ':' || p[16] != ':' ||
        !twoDigits(p, &hi) || !twoDigits(p + 2, &lo) || !twoDigits(p + 5, &month) ||
        !twoDigits(p + 8, &day) || !twoDigits(p + 11, &hour) || !twoDigits(p + 14, &minute) ||
        !twoDigits(p + 17, &second))
        return false;
    at += 19;
    long long ms = 0;
    if (at + 1 < s.size() && s[at] == '.' && isDigit(s[at + 1])) {
        ++at;
        ms = fraction(s, &at);
    }
    *end = at;
    return makeTime(hi * 100 + lo, month, day, hour, minute, second, ms, t);
}

// A time written as `format` at `at`, and where it ends.
bool matchTime(std::string_view s, size_t at, std::string_view format, TimeMs* t, size_t* end) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long long ms = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            if (at >= s.size() || s[at] != format[i])
                return false;
            ++at;
            continue;
        }
        const char element = format[++i];
        if (element == '%') {
            if (at >= s.size() || s[at] != '%')
                return false;
            ++at;
            continue;
        }
        if (element == 'f') {
            const size_t from = at;
            ms = fraction(s, &at);
            if (at == from)
                return false;
            continue;
        }
        int* field = element == 'Y'   ? &year
                     : element == 'm' ? &month
                     : element == 'd' ? &day
                     : element == 'H' ? &hour
                     : element == 'M' ? &minute
                                      : &second;
        const size_t width = element == 'Y' ? 4 : 2;
        if (!fixedDigits(s, at, width, field))
            return false;
        at += width;
    }
    *end = at;
    return makeTime(year, month, day, hour, minute, second, ms, t);
}

// False with the reason when `format` is not a time format a field can read.
bool checkTimeFormat(const std::string& format, std::string* error) {
    if (format.empty()) {
        *error = "{time:} needs a format, e.g. {time:%d/%m/%Y %H:%M:%S}";
        return false;
    }
    std::string seen;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 == format.size()) {
            *error = "the time format '" + format + "' ends with a lone %";
            return false;
        }
        const char element = format[++i];
        if (element == '%')
            continue;
        if (std::string("YmdHMSf").find(element) == std::string::npos) {
            *error = "unknown %" + std::string(1, element) + " in the time format '" + format +
                     "' (known: %Y %m %d %H %M %S %f, and %% for a %)";
            return false;
        }
        if (seen.find(element) != std::string::npos) {
            *error = "%" + std::string(1, element) + " twice in the time format '" + format + "'";
            return false;
        }
        // Digits after %f would run into its own digits.
        if (element == 'f' && i + 2 < format.size() && format[i + 1] == '%' &&
            format[i + 2] != '%') {
            *error = "%f in the time format '" + format + "' must be followed by other text";
            return false;
        }
        seen += element;
    }
    for (char needed : std::string("YmdHM"))
        if (seen.find(needed) == std::string::npos) {
            *error = "the time format '" + format + "' lacks %" + std::string(1, needed) +
                     " (a time needs %Y %m %d %H and %M)";
            return false;
        }
    return true;
}

// Where `text` first occurs in `s` at or after `from`, or npos.
size_t findFrom(std::string_view s, std::string_view text, size_t from) {
    if (text.size() == 1) {
        const char c = text[0];
        for (size_t i = from; i < s.size(); ++i)
            if (s[i] == c)
                return i;
        return std::string_view::npos;
    }
    return s.find(text, from);
}

} // namespace

void AppendHostPrefix(std::string* out, TimeMs t, const std::string& station,
                      const std::string& serial, int attempt) {
    *out += FormatTime(t);
    *out += ' ';
    *out += station;
    *out += ' ';
    *out += serial;
    *out += ' ';
    *out += std::to_string(attempt);
    *out += ' ';
}

bool PrefixTemplate::Parse(const std::string& text, PrefixTemplate* out, std::string* error) {
    if (text.empty()) {
        *error = "the prefix template is empty";
        return false;
    }
    PrefixTemplate t;
    t.m_text = text;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '{') {
            if (t.m_pieces.empty() || t.m_pieces.back().kind != Piece::Literal)
                t.m_pieces.push_back(Piece());
            t.m_pieces.back().text += text[i++];
            continue;
        }
        const size_t close = text.find('}', i);
        if (close == std::string::npos) {
            *error = "unclosed brace at character " + std::to_string(i + 1) + ": '" +
                     text.substr(i) + "'";
            return false;
        }
        const std::string name = text.substr(i + 1, close - i - 1);
        Piece p;
        if (name == "time") {
            p.kind = Piece::Time;
        } else if (name.compare(0, 5, "time:") == 0) {
            p.kind = Piece::Time;
            p.text = name.substr(5);
            if (!checkTimeFormat(p.text, error))
                return false;
        } else if (name == "station") {
            p.kind = Piece::Station;
        } else if (name == "serial") {
            p.kind = Piece::Serial;
        } else if (name == "attempt") {
            p.kind = Piece::Attempt;
        } else if (name == "skip") {
            p.kind = Piece::Skip;
        } else {
            *error = "unknown field {" + name + "} (known: " + kFieldNames + ")";
            return false;
        }
        const std::string field = text.substr(i, close - i + 1);
        if (!t.m_pieces.empty() && t.m_pieces.back().kind != Piece::Literal) {
            *error = "no text between two fields before " + field +
                     ": where the first one ends cannot be told";
            return false;
        }
        if (p.kind != Piece::Skip)
            for (const Piece& q : t.m_pieces)
                if (q.kind == p.kind) {
                    *error = "the field " + field + " is there twice";
                    return false;
                }
        t.m_pieces.push_back(std::move(p));
        i = close + 1;
    }
    *out = std::move(t);
    return true;
}

bool PrefixTemplate::HasStation() const {
    for (const Piece& p : m_pieces)
        if (p.kind == Piece::Station)
            return true;
    return false;
}

bool PrefixTemplate::Match(std::string_view line, PrefixFields* fields, size_t* rest) const {
    PrefixFields f;
    size_t at = 0;
    for (size_t k = 0; k < m_pieces.size(); ++k) {
        const Piece& p = m_pieces[k];
        const bool last = k + 1 == m_pieces.size();
        if (p.kind == Piece::Literal) {
            const size_t n = p.text.size();
            if (line.size() - at < n ||
                (n == 1 ? line[at] != p.text[0] : line.compare(at, n, p.text) != 0))
                return false;
            at += n;
            continue;
        }
        if (p.kind == Piece::Time) {
            // Its format, not the next text, says where a time ends: it may hold blanks.
            if (!(p.text.empty() ? matchIso(line, at, &f.time, &at)
                                 : matchTime(line, at, p.text, &f.time, &at)))
                return false;
            if (last && at < line.size() && line[at] != ' ')
                return false;
            continue;
        }
        size_t end = last ? findFrom(line, " ", at) : findFrom(line, m_pieces[k + 1].text, at);
        if (end == std::string_view::npos) {
            if (!last)
                return false;
            end = line.size();
        }
        const std::string_view value = line.substr(at, end - at);
        switch (p.kind) {
        case Piece::Station:
        case Piece::Serial:
            if (value.empty())
                return false;
            (p.kind == Piece::Station ? f.station : f.serial) = value;
            break;
        case Piece::Attempt: {
            if (value.empty() || value.size() > 9)
                return false;
            int n = 0;
            for (char c : value) {
                if (!isDigit(c))
                    return false;
                n = n * 10 + (c - '0');
            }
            if (n == 0)
                return false;
            f.attempt = n;
            break;
        }
        default:
            break;
        }
        at = end;
    }
    *fields = f;
    *rest = at;
    return true;
}

} // namespace station
