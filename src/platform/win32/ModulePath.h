// The file name of a loaded module, however long its path: the one place the
// library, the setup window, the host and the tests ask Windows for it.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

namespace win32 {

// The full file name of a module (null: the program's executable), in the
// system's code page (char) or in UTF-16 (wchar_t); empty when it cannot be had.
template <typename Char> std::basic_string<Char> ModuleFileName(HMODULE module) {
    static_assert(std::is_same_v<Char, char> || std::is_same_v<Char, wchar_t>,
                  "a module's file name is narrow or wide text");
    std::vector<Char> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        DWORD n = 0;
        if constexpr (std::is_same_v<Char, wchar_t>)
            n = ::GetModuleFileNameW(module, buffer.data(), size);
        else
            n = ::GetModuleFileNameA(module, buffer.data(), size);
        if (n == 0)
            return {};
        if (n < size) // a full buffer means the name was cut: try a larger one
            return std::basic_string<Char>(buffer.data(), n);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

// The module that holds the code or data at an address (its reference count
// untouched), e.g. the library itself from one of its own functions.
inline HMODULE ModuleOfAddress(const void* address) {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module);
    return module;
}

} // namespace win32
