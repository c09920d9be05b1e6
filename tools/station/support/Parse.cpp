#include "support/Parse.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace station {

double ParseNumber(const std::string& option, const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (text.empty() || end == s || *end != '\0' || errno == ERANGE || !std::isfinite(v) ||
        std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(option + " needs a number, not '" + text + "'");
    return v;
}

long long ParseInteger(const std::string& option, const std::string& text, long long low,
                       long long high) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (text.empty() || end == s || *end != '\0' || errno == ERANGE ||
        std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(option + " needs a whole number, not '" + text + "'");
    if (v < low || v > high)
        throw UsageError(option + " must lie between " + std::to_string(low) + " and " +
                         std::to_string(high) + ", not " + text);
    return v;
}

} // namespace station
