#include "line/Serial.h"

#include <cstdio>

namespace station {

int LuhnDigit(std::string_view digits) {
    int sum = 0;
    bool twice = true; // the digit left of the check digit is doubled
    for (size_t i = digits.size(); i-- > 0; twice = !twice) {
        int d = digits[i] - '0';
        if (twice)
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return (10 - sum % 10) % 10;
}

std::string Imei(long tac, long number) {
    char body[24];
    std::snprintf(body, sizeof body, "%08ld%06ld", tac + number / kImeiSerialsPerTac,
                  number % kImeiSerialsPerTac);
    std::string imei = body;
    imei += static_cast<char>('0' + LuhnDigit(imei));
    return imei;
}

} // namespace station
