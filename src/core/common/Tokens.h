// The token splitter of the framework's text fields.
#pragma once

#include <cstddef>

namespace vantor {

// Splits text in place at any of the delimiters, like the standard token
// splitter; stops at a token that begins with ';' or '#'. Stores at most
// capacity token addresses and writes their number to count (if not null).
void SplitTokens(char* text, char** tokens, const char* delimiters, int* count, size_t capacity);

} // namespace vantor
