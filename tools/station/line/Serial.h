// The serials a line prints on its handsets: 15-digit IMEIs, a type
// allocation code (TAC) of 8 digits, a serial number of 6 and the Luhn check
// digit.
#pragma once

#include <string>
#include <string_view>

namespace station {

constexpr long kImeiSerialsPerTac = 1000000;
// The production units' TAC, and the golden units' own, far from it.
constexpr long kProductionTac = 35693803, kGoldenTac = 35300000;

// The Luhn check digit of a string of decimal digits: the digit that makes
// the whole pass the Luhn test.
int LuhnDigit(std::string_view digits);

// The IMEI of the number-th handset (0-based) from a TAC on: once the serial
// numbers of a TAC are used up, the next TAC's follow.
std::string Imei(long tac, long number);

} // namespace station
