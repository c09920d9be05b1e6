// Plain text rules of the framework's data exchange: number parsing and the
// filling of message patterns. No window code, so they are tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace fw {

// A signed decimal integer: blanks around it, an optional sign, digits, and
// nothing else; false for an empty text, other characters or a value beyond
// 32 bits.
bool ParseSignedDecimal(const std::wstring& text, int32_t* value);
// An unsigned decimal integer: blanks around it, an optional "+", digits; a
// minus sign, other characters or a value beyond 32 bits fail.
bool ParseUnsignedDecimal(const std::wstring& text, uint32_t* value);

// Replaces every "%1" and "%2" of the pattern by the two texts.
std::wstring FillBounds(const std::wstring& pattern, const std::wstring& first,
                        const std::wstring& second);

} // namespace fw
