#include "TextRules.h"

namespace fw {

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Digits between blanks, with the sign handed back; false for anything else.
bool SplitNumber(const std::wstring& text, bool* negative, uint64_t* magnitude) {
    size_t i = 0, n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    *negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) {
        *negative = text[i] == L'-';
        ++i;
    }
    const size_t digitsStart = i;
    uint64_t v = 0;
    while (i < n && text[i] >= L'0' && text[i] <= L'9') {
        v = v * 10 + static_cast<uint64_t>(text[i] - L'0');
        if (v > 0xFFFFFFFFull)
            return false; // beyond 32 bits: stop before the accumulator can overflow
        ++i;
    }
    if (i == digitsStart)
        return false;
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    *magnitude = v;
    return true;
}

} // namespace

bool ParseSignedDecimal(const std::wstring& text, int32_t* value) {
    bool negative;
    uint64_t magnitude;
    if (!SplitNumber(text, &negative, &magnitude))
        return false;
    if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull)
        return false;
    *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                      : static_cast<int32_t>(magnitude);
    return true;
}

bool ParseUnsignedDecimal(const std::wstring& text, uint32_t* value) {
    bool negative;
    uint64_t magnitude;
    if (!SplitNumber(text, &negative, &magnitude) || negative)
        return false;
    *value = static_cast<uint32_t>(magnitude);
    return true;
}

std::wstring FillBounds(const std::wstring& pattern, const std::wstring& first,
                        const std::wstring& second) {
    std::wstring out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == L'1' || pattern[i + 1] == L'2')) {
            out += pattern[i + 1] == L'1' ? first : second;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace fw
