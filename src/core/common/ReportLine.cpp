#include "ReportLine.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace report {
namespace {

// Writes the decimal digits of v ending just before end; returns the first.
char* digitsBefore(char* end, uint64_t v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

// round(|value| * 10^6) with halves to even, exactly; false when it does not
// fit 64 bits.
bool scaledMicro(double magnitude, uint64_t* scaled) {
    if (magnitude == 0.0) {
        *scaled = 0;
        return true;
    }
    int exponent = 0;
    double fraction = std::frexp(magnitude, &exponent);
    // magnitude = mantissa * 2^e with an integer mantissa of at most 53 bits.
    uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    int e = exponent - 53;
    while ((mantissa & 1u) == 0) {
        mantissa >>= 1;
        ++e;
    }
    // 10^6 = 15625 * 2^6.
    constexpr uint64_t kFive6 = 15625;
    if (mantissa > UINT64_MAX / kFive6)
        return false;
    uint64_t product = mantissa * kFive6;
    int shift = e + 6;
    if (shift >= 0) {
        if (shift >= 64 || product > (UINT64_MAX >> shift))
            return false;
        *scaled = product << shift;
        return true;
    }
    int drop = -shift;
    if (drop >= 64) {
        // product < 2^64: at most one unit, and only above an exact half.
        *scaled = (drop == 64 && product > (uint64_t{1} << 63)) ? 1 : 0;
        return true;
    }
    uint64_t quotient = product >> drop;
    uint64_t rest = product & ((uint64_t{1} << drop) - 1);
    uint64_t half = uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (quotient & 1u) != 0))
        ++quotient;
    *scaled = quotient;
    return true;
}

} // namespace

int FormatFixed(double value, char* out, size_t size) {
    uint64_t scaled = 0;
    if (!std::isfinite(value) || std::fegetround() != FE_TONEAREST ||
        !scaledMicro(std::fabs(value), &scaled))
        return std::snprintf(out, size, "%f", value);
    // Sign, at most 14 integer digits, the point and six decimals.
    char text[32];
    char* end = text + sizeof text;
    uint64_t micro = scaled % 1000000;
    for (int i = 0; i < 6; ++i) {
        *--end = static_cast<char>('0' + micro % 10);
        micro /= 10;
    }
    *--end = '.';
    char* begin = digitsBefore(end, scaled / 1000000);
    // printf keeps the sign of a negative value that rounds to zero, and of -0.
    if (std::signbit(value))
        *--begin = '-';
    size_t n = static_cast<size_t>(text + sizeof text - begin);
    if (size > 0) {
        size_t copied = n < size ? n : size - 1;
        std::memcpy(out, begin, copied);
        out[copied] = '\0';
    }
    return static_cast<int>(n);
}

namespace {

void appendInt(std::string* line, long long value) {
    char text[24];
    char* end = text + sizeof text;
    // The magnitude in unsigned arithmetic: the most negative value has no
    // positive counterpart.
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char* begin = digitsBefore(end, magnitude);
    if (value < 0)
        *--begin = '-';
    line->append(begin, static_cast<size_t>(end - begin));
}

void appendFixed(std::string* line, double value) {
    char text[32];
    int n = FormatFixed(value, text, sizeof text);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof text) {
        line->append(text, static_cast<size_t>(n));
        return;
    }
    // A huge value: printf's text, written straight into the line.
    size_t at = line->size();
    line->resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(&(*line)[at], static_cast<size_t>(n) + 1, "%f", value);
    line->resize(at + static_cast<size_t>(n));
}

// Room for any line of the library but one with a huge real.
constexpr size_t kLineRoom = 256;

} // namespace

void FormatArgs(std::string* line, const char* format, const Arg* args, size_t count) {
    line->clear();
    if (line->capacity() < kLineRoom)
        line->reserve(kLineRoom);
    size_t next = 0;
    for (const char* p = format; p != nullptr && *p != '\0'; ++p) {
        if (*p != '%') {
            const char* run = p;
            while (p[1] != '\0' && p[1] != '%')
                ++p;
            line->append(run, static_cast<size_t>(p - run + 1));
            continue;
        }
        ++p;
        while (*p == 'l' || *p == 'h')
            ++p;
        if (*p == '\0')
            break;
        if (*p == '%') {
            line->push_back('%');
            continue;
        }
        if (next >= count)
            continue;
        const Arg& arg = args[next++];
        switch (arg.GetKind()) {
        case Arg::Kind::Int:
            appendInt(line, arg.Int());
            break;
        case Arg::Kind::Real:
            appendFixed(line, arg.Real());
            break;
        case Arg::Kind::Text:
            // As glibc prints a null text.
            line->append(arg.Text() != nullptr ? arg.Text() : "(null)");
            break;
        }
    }
}

} // namespace report
