// Report lines and item names built without printf: the bytes printf would
// give, appended to a buffer the caller owns and reuses, so a run formats its
// lines without touching the heap.
#pragma once

#include <cstddef>
#include <string>

namespace report {

// Writes value as printf's "%f" does (the exact binary value rounded to six
// decimals, halves to even) into out, terminated when size > 0. Returns the
// length of the whole text, as snprintf does. NaN, infinities, values from
// about 1.8e13 up and rounding modes other than to-nearest go to snprintf.
int FormatFixed(double value, char* out, size_t size);

// Appends to a line; a line whose capacity suffices never reallocates.
void AppendText(std::string* line, const char* text);
// As "%lld" (and "%d" of every narrower integer) writes it.
void AppendInt(std::string* line, long long value);
// As "%f" writes it.
void AppendFixed(std::string* line, double value);

} // namespace report
