// Report lines and item names built without printf: the bytes printf would
// give, appended to a buffer the caller owns and reuses, so a run formats its
// lines without touching the heap.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>

namespace report {

// Writes value as printf's "%f" does (the exact binary value rounded to six
// decimals, halves to even) into out, terminated when size > 0. Returns the
// length of the whole text, as snprintf does. NaN, infinities, values from
// about 1.8e13 up and rounding modes other than to-nearest go to snprintf.
int FormatFixed(double value, char* out, size_t size);

// One argument of a line: an integer, a real or a text.
class Arg {
public:
    enum class Kind { Int, Real, Text };
    template <class T, std::enable_if_t<std::is_integral<T>::value, int> = 0>
    Arg(T value) : m_kind(Kind::Int), m_int(static_cast<long long>(value)) {}
    Arg(double value) : m_kind(Kind::Real), m_real(value) {}
    Arg(const char* value) : m_kind(Kind::Text), m_text(value) {}
    Kind GetKind() const { return m_kind; }
    long long Int() const { return m_int; }
    double Real() const { return m_real; }
    const char* Text() const { return m_text; }

private:
    Kind m_kind;
    long long m_int = 0;
    double m_real = 0;
    const char* m_text = nullptr;
};

// Writes over *line what snprintf would of a format made of text, "%%" and
// the conversions "%d" (any integer, "l" and "h" allowed), "%s" and "%f", each
// taking the next argument as it is. The line keeps its capacity from one
// call to the next, so a reused line allocates only the first time.
void FormatArgs(std::string* line, const char* format, const Arg* args, size_t count);

template <class... Args> void Format(std::string* line, const char* format, const Args&... args) {
    const Arg list[] = {Arg(args)..., Arg(0)};
    FormatArgs(line, format, list, sizeof...(Args));
}

} // namespace report
