// Wall-clock times as a line's hosts log them: local time without a zone,
// held as milliseconds since 1970-01-01 00:00 of the same clock, and the
// line's shifts (06:00, 14:00 and 22:00).
#pragma once

#include <cstdint>
#include <string>

namespace station {

using TimeMs = long long;
constexpr TimeMs kNoTime = INT64_MIN; // a unit whose log gives no time
constexpr TimeMs kMsPerDay = 86400000LL, kMsPerShift = 8 * 3600000LL;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(int year, unsigned month, unsigned day);
void CivilFromDays(long long days, int* year, unsigned* month, unsigned* day);

// "2026-12-07T06:00:00.000" (milliseconds always written).
std::string FormatTime(TimeMs t);
// "2026-12-07" of the day t falls on.
std::string FormatDate(TimeMs t);
// "2026-12-07T06:00" or with ":SS" and ".fff" (any number of fraction digits,
// milliseconds kept); false for any other text or an impossible date.
bool ParseTime(const std::string& text, TimeMs* t);

// The shift a time falls in, counted from the one that began at 1970-01-01
// 06:00; and its start.
long long ShiftOf(TimeMs t);
TimeMs ShiftStart(long long shift);
// "early" (06:00), "late" (14:00) or "night" (22:00).
const char* ShiftName(long long shift);

} // namespace station
