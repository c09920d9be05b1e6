// A window's text as UTF-16, whatever its length.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// Empty for a window without text (or no window).
inline std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

} // namespace fw
