// The one narrow interface through which the core reaches the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CCFTException;

namespace ini {
class Profile;
} // namespace ini

namespace platform {

// --- Files -----------------------------------------------------------------

// Opens an existing file for reading (read sharing allowed), learns its size
// and closes it. False when it cannot be opened (missing, a directory,
// unreadable).
bool ProbeFile(const char* path, uint64_t* size);

// --- Profile (INI) files, with the private-profile rules ---------------------

// The integer reader: the default for a missing file, section, key or empty
// value, else the leading number of the value (see ini.h for the rules).
uint32_t ProfileInt(const char* section, const char* key, int32_t defaultValue, const char* path);
// The string reader: the value, or the default when the key is missing.
std::string ProfileString(const char* section, const char* key, const char* defaultValue,
                          const char* path);
// One configuration file as one load reads it: every key of an
// initialisation goes through the same object. Our engine (posix) takes the
// file in once, at construction, and answers every key from that text; on
// Windows each key is the system reader's, GetPrivateProfile* on the path,
// whose rules (and registry mappings of profile files) only it knows.
class ProfileFile {
public:
    explicit ProfileFile(const char* path);
    uint32_t Int(const char* section, const char* key, int32_t defaultValue) const;
    std::string String(const char* section, const char* key, const char* defaultValue) const;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
#if !defined(_WIN32)
    // The file as read at construction; null when it could not be read.
    // Shared, so that copies answer from the same text.
    std::shared_ptr<const ini::Profile> m_profile;
#endif
};

#if defined(_WIN32)
inline ProfileFile::ProfileFile(const char* path) : m_path(path ? path : "") {}
inline uint32_t ProfileFile::Int(const char* section, const char* key, int32_t defaultValue) const {
    return ProfileInt(section, key, defaultValue, m_path.c_str());
}
inline std::string ProfileFile::String(const char* section, const char* key,
                                       const char* defaultValue) const {
    return ProfileString(section, key, defaultValue, m_path.c_str());
}
#endif

// Replaces or adds one key; every other line of the file stays. False when
// the file cannot be written, with the system's error number (GetLastError,
// errno) in *systemError when it is given.
bool WriteProfileString(const char* section, const char* key, const char* value, const char* path,
                        uint32_t* systemError = nullptr);

// --- Time --------------------------------------------------------------------

// Pauses the calling thread. A host executable that exports OmraHost_Sleep
// gets the call instead (a simulated line runs on its own clock).
void Sleep(uint32_t milliseconds);

// --- The library module ----------------------------------------------------

// Full file name of the module that holds this code (empty when unknown).
std::string ModulePath();
// The FileVersion text of the module's version resource ("1, 0, 1, 5");
// empty when there is none.
std::string FileVersionText();

// --- COM ---------------------------------------------------------------------

void ComInitialize();
void ComUninitialize();

// --- Notification targets ----------------------------------------------------

// Signals an event handle (Windows) or writes 1 to an eventfd (Linux).
bool SignalEvent(uintptr_t handle);
// True when the handle names a window (always false where there are none).
bool IsWindowHandle(uintptr_t handle);
// Sends a message and waits until the window has handled it.
void SendWindowMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Posts a message to a thread's queue and returns at once.
void PostThreadMsg(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam);

// --- Text --------------------------------------------------------------------

// True when the byte leads a double-byte character of the active code page.
bool IsLeadByte(unsigned char c);

// --- The library boundary -----------------------------------------------------

// Hands a failed run's exception to the host in the form its compiler
// catches. Called from the outermost frame of an export, after everything
// of the library on the stack is destroyed.
[[noreturn]] void ThrowToHost(CCFTException* exception);

// Calls into the host's own code (a driver, a table entry, a function
// target): fn(context). Should the host's runtime unwind past the call
// without the library's frames (an MSVC-built host's exception cuts the
// frames of g++ code), onUnwind(unwindContext) runs first, while the stack is
// still whole, so the library can end what those frames would have ended.
// fn must not throw.
void CallHostCode(void (*fn)(void*) noexcept, void* context, void (*onUnwind)(void*),
                  void* unwindContext);

} // namespace platform
