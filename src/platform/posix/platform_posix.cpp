// The platform layer on Linux: our INI engine, eventfd events, nanosleep.
#include "platform/ini.h"
#include "platform/platform.h"

#include "omra/omra.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VANTOR_FILE_VERSION
#define VANTOR_FILE_VERSION ""
#endif

// The version resource of the Linux build: the FileVersion text behind a
// marker, so that a host can read it from the file as it would a resource.
extern "C" __attribute__((used, section(".vantor_version"))) const char kVantorVersionResource[] =
    "VANTOR_FILEVERSION=" VANTOR_FILE_VERSION;

namespace platform {
namespace {

// Opens a regular file for reading, or gives -1. The open never blocks: a
// FIFO or a device is refused instead of waited on.
int openRegular(const char* path, struct stat* st) {
    if (path == nullptr || *path == '\0')
        return -1;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readAll(const char* path, std::string* out) {
    struct stat st {};
    int fd = openRegular(path, &st);
    if (fd < 0)
        return false;
    out->clear();
    // The whole file in one allocation when its size holds still.
    if (st.st_size > 0)
        out->reserve(static_cast<size_t>(st.st_size));
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out->append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool writeAll(const char* path, const std::string& text) {
    // Written beside the file and renamed over it, so a failed write never
    // leaves a half file behind.
    std::string tmp = std::string(path) + ".tmp~";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int writeError = n == 0 ? EIO : errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = writeError;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), path) != 0) {
        const int closeError = errno;
        ::unlink(tmp.c_str());
        errno = closeError;
        return false;
    }
    return true;
}

PFN_OmraHost_Sleep hostSleep() {
    // Looked up once: the executable either exports its clock or it does not.
    static const PFN_OmraHost_Sleep fn =
        reinterpret_cast<PFN_OmraHost_Sleep>(dlsym(RTLD_DEFAULT, OMRA_HOST_SLEEP_NAME));
    return fn;
}

} // namespace

// Hosts on Linux are built with compilers of one C++ ABI: a plain throw.
void ThrowToHost(CCFTException* exception) {
    throw exception;
}

// One runtime unwinds everything here: the library's own frames end what
// they hold as the host's exception passes them.
void CallHostCode(void (*fn)(void*) noexcept, void* context, void (*)(void*), void*) {
    fn(context);
}

bool ProbeFile(const char* path, uint64_t* size) {
    struct stat st {};
    int fd = openRegular(path, &st);
    if (fd < 0)
        return false;
    ::close(fd);
    if (size != nullptr)
        *size = static_cast<uint64_t>(st.st_size);
    return true;
}

uint32_t ProfileInt(const char* section, const char* key, int32_t defaultValue, const char* path) {
    std::string text;
    if (section == nullptr || key == nullptr || !readAll(path, &text))
        return static_cast<uint32_t>(defaultValue);
    return ini::ReadInt(text, section, key, defaultValue);
}

std::string ProfileString(const char* section, const char* key, const char* defaultValue,
                          const char* path) {
    std::string text;
    const char* def = defaultValue != nullptr ? defaultValue : "";
    if (section == nullptr || key == nullptr || !readAll(path, &text))
        return def;
    return ini::ReadString(text, section, key, def);
}

ProfileFile::ProfileFile(const char* path) : m_path(path ? path : "") {
    std::string bytes;
    if (readAll(m_path.c_str(), &bytes))
        m_profile = std::make_shared<const ini::Profile>(std::move(bytes));
}

uint32_t ProfileFile::Int(const char* section, const char* key, int32_t defaultValue) const {
    if (section == nullptr || key == nullptr || !m_profile)
        return static_cast<uint32_t>(defaultValue);
    return m_profile->Int(section, key, defaultValue);
}

std::string ProfileFile::String(const char* section, const char* key,
                                const char* defaultValue) const {
    const char* def = defaultValue != nullptr ? defaultValue : "";
    if (section == nullptr || key == nullptr || !m_profile)
        return def;
    return m_profile->String(section, key, def);
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* path,
                        uint32_t* systemError) {
    uint32_t ignored = 0;
    uint32_t& error = systemError != nullptr ? *systemError : ignored;
    if (section == nullptr || key == nullptr || value == nullptr || path == nullptr) {
        error = EINVAL;
        return false;
    }
    std::string text;
    if (!readAll(path, &text)) {
        const int readError = errno;
        struct stat st {};
        if (::stat(path, &st) == 0) {
            error = static_cast<uint32_t>(S_ISREG(st.st_mode) ? readError : EISDIR);
            return false; // exists but cannot be read: never overwrite it
        }
        text.clear();
    }
    if (writeAll(path, ini::WriteKey(text, section, key, value)))
        return true;
    error = static_cast<uint32_t>(errno);
    return false;
}

void Sleep(uint32_t milliseconds) {
    if (PFN_OmraHost_Sleep fn = hostSleep()) {
        fn(milliseconds);
        return;
    }
    timespec ts{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    char resolved[4096];
    if (::realpath(info.dli_fname, resolved) != nullptr)
        return resolved;
    return info.dli_fname;
}

std::string FileVersionText() {
    return kVantorVersionResource + 19;
}

void ComInitialize() {}
void ComUninitialize() {}

namespace {

// Only an eventfd is an event: any other descriptor (a file, a pipe, a
// socket of the host) must never get the counter's bytes.
bool isEventFd(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[64];
    ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    return std::strcmp(target, "anon_inode:[eventfd]") == 0;
}

} // namespace

bool SignalEvent(uintptr_t handle) {
    if (handle > static_cast<uintptr_t>(INT_MAX))
        return false;
    int fd = static_cast<int>(handle);
    if (!isEventFd(fd))
        return false;
    uint64_t one = 1;
    for (;;) {
        ssize_t n = ::write(fd, &one, sizeof one);
        if (n == static_cast<ssize_t>(sizeof one))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

bool IsWindowHandle(uintptr_t) {
    return false;
}
void SendWindowMessage(uintptr_t, uint32_t, uintptr_t, intptr_t) {}
void PostThreadMsg(uint32_t, uint32_t, uintptr_t, intptr_t) {}

bool IsLeadByte(unsigned char) {
    return false;
}

} // namespace platform
