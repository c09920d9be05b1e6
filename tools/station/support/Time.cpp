#include "support/Time.h"

#include <cstdio>

namespace station {

namespace {

constexpr TimeMs kFirstShiftStart = 6 * 3600000LL;

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool digits(const std::string& s, size_t at, size_t n, int* out) {
    if (at + n > s.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

unsigned daysInMonth(int year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

// The civil-date algorithm by eras of 400 years (146097 days each).
long long DaysFromCivil(int year, unsigned month, unsigned day) {
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = floorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = floorDiv(days, 146097);
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

std::string FormatTime(TimeMs t) {
    const long long days = floorDiv(t, kMsPerDay);
    long long ms = t - days * kMsPerDay;
    int y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, &y, &m, &d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lld", y, m, d,
                  ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return buf;
}

std::string FormatDate(TimeMs t) {
    return FormatTime(t).substr(0, 10);
}

bool ParseTime(const std::string& s, TimeMs* t) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!digits(s, 0, 4, &y) || s.size() < 16 || s[4] != '-' || !digits(s, 5, 2, &mo) ||
        s[7] != '-' || !digits(s, 8, 2, &d) || s[10] != 'T' || !digits(s, 11, 2, &h) ||
        s[13] != ':' || !digits(s, 14, 2, &mi))
        return false;
    long long ms = 0;
    size_t at = 16;
    if (at < s.size()) {
        if (s[at] != ':' || !digits(s, at + 1, 2, &sec))
            return false;
        at += 3;
        if (at < s.size()) {
            if (s[at] != '.' || at + 1 == s.size())
                return false;
            long long scale = 100;
            for (size_t i = at + 1; i < s.size(); ++i, scale /= 10) {
                if (s[i] < '0' || s[i] > '9')
                    return false;
                ms += (s[i] - '0') * scale;
            }
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || static_cast<unsigned>(d) > daysInMonth(y, mo) || h > 23 ||
        mi > 59 || sec > 59)
        return false;
    *t = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * kMsPerDay +
         (h * 3600LL + mi * 60LL + sec) * 1000 + ms;
    return true;
}

long long ShiftOf(TimeMs t) {
    return floorDiv(t - kFirstShiftStart, kMsPerShift);
}

TimeMs ShiftStart(long long shift) {
    return kFirstShiftStart + shift * kMsPerShift;
}

const char* ShiftName(long long shift) {
    static const char* const kNames[3] = {"early", "late", "night"};
    return kNames[((shift % 3) + 3) % 3];
}

} // namespace station
