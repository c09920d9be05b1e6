// The platform layer on Windows: kernel32 and user32.
#include "platform/platform.h"
#include "platform/FileVersion.h"
#include "platform/win32/Handles.h"
#include "platform/win32/ModulePath.h"

#include "omra/omra.h"

#include <windows.h>
#include <objbase.h>

// <windows.h> maps WriteProfileString to WriteProfileStringA; ours must keep
// its own name or callers without <windows.h> find no definition.
#undef WriteProfileString

#include <vector>

namespace platform {
namespace {

HMODULE thisModule() {
    return win32::ModuleOfAddress(reinterpret_cast<const void*>(&thisModule));
}

// The profile functions look for a relative file in the Windows folder; the
// library checks the file relative to the working folder, so both must name
// the same file.
std::string fullPath(const char* path) {
    char buf[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path, sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf)
        return path;
    return std::string(buf, n);
}

PFN_OmraHost_Sleep hostSleep() {
    static const PFN_OmraHost_Sleep fn = reinterpret_cast<PFN_OmraHost_Sleep>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), OMRA_HOST_SLEEP_NAME)));
    return fn;
}

} // namespace

bool ProbeFile(const char* path, uint64_t* size) {
    if (path == nullptr || *path == '\0')
        return false;
    // Overlapped, so that opening a pipe or a device never waits on it.
    const HANDLE opened = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    const win32::KernelHandle file(opened);
    // Only a file on a disk is a configuration file; a pipe's reader would block.
    LARGE_INTEGER li{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &li))
        return false;
    if (size != nullptr)
        *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

uint32_t ProfileInt(const char* section, const char* key, int32_t defaultValue, const char* path) {
    if (section == nullptr || key == nullptr || path == nullptr)
        return static_cast<uint32_t>(defaultValue);
    return GetPrivateProfileIntA(section, key, defaultValue, fullPath(path).c_str());
}

std::string ProfileString(const char* section, const char* key, const char* defaultValue,
                          const char* path) {
    const char* def = defaultValue != nullptr ? defaultValue : "";
    if (section == nullptr || key == nullptr || path == nullptr)
        return def;
    std::vector<char> buf(4096);
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(),
                                       static_cast<DWORD>(buf.size()), fullPath(path).c_str());
    return std::string(buf.data(), n);
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* path,
                        uint32_t* systemError) {
    if (section == nullptr || key == nullptr || value == nullptr || path == nullptr) {
        if (systemError != nullptr)
            *systemError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const std::string full = fullPath(path);
    if (WritePrivateProfileStringA(section, key, value, full.c_str()) != FALSE)
        return true;
    if (systemError != nullptr)
        *systemError = GetLastError();
    return false;
}

void Sleep(uint32_t milliseconds) {
    if (PFN_OmraHost_Sleep fn = hostSleep()) {
        fn(milliseconds);
        return;
    }
    ::Sleep(milliseconds);
}

std::string ModulePath() {
    return win32::ModuleFileName<char>(thisModule());
}

std::string FileVersionText() {
    std::string path = ModulePath();
    return path.empty() ? std::string() : FileVersionOfFile(path);
}

void ComInitialize() {
    CoInitialize(nullptr);
}
void ComUninitialize() {
    CoUninitialize();
}

bool SignalEvent(uintptr_t handle) {
    return SetEvent(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool IsWindowHandle(uintptr_t handle) {
    return IsWindow(reinterpret_cast<HWND>(handle)) != FALSE;
}

void SendWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    SendMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
}

void PostThreadMsg(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PostThreadMessageA(threadId, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

bool IsLeadByte(unsigned char c) {
    return IsDBCSLeadByte(c) != FALSE;
}

} // namespace platform
