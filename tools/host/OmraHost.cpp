#include "OmraHost.h"

#if defined(_WIN32)
// Header-only, so the host needs no library of ours to find itself.
#include "../../src/platform/win32/ModulePath.h"

#include <windows.h>
#else
#include <dlfcn.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <vector>

namespace host {

Library::~Library() {
    Unload();
}

void* Library::Symbol(const char* name) const {
    if (m_handle == nullptr)
        return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
#else
    return dlsym(m_handle, name);
#endif
}

bool Library::Load(const std::string& path) {
    Unload();
#if defined(_WIN32)
    m_handle = LoadLibraryA(path.c_str());
    if (m_handle == nullptr) {
        m_error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
#else
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* e = dlerror();
        m_error = "cannot load " + path + ": " + (e != nullptr ? e : "unknown error");
        return false;
    }
#endif
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(Symbol(name));
        if (fn == nullptr) {
            m_error = std::string("export ") + name + " missing in " + path;
            ok = false;
        }
    };
    get(Startup, "Omra_Startup");
    get(Cleanup, "Omra_Cleanup");
    get(CreateAction, "Omra_CreateAction");
    get(FreeAction, "Omra_FreeAction");
    get(GetActionInfo, "Omra_GetActionInfo");
    get(SetCallBack, "Omra_SetCallBack");
    get(SetDriver, "Omra_SetDriver");
    get(InitAction, "Omra_InitAction");
    get(DoAction, "Omra_DoAction");
    get(Setup, "Omra_Setup");
    get(SetProperty, "Omra_SetProperty");
    get(GetProperty, "Omra_GetProperty");
    if (!ok)
        Unload();
    return ok;
}

void Library::Unload() {
    if (m_handle != nullptr) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(m_handle));
#else
        dlclose(m_handle);
#endif
    }
    m_handle = nullptr;
}

std::string ExecutableFolder() {
#if defined(_WIN32)
    const std::string p = win32::ModuleFileName<char>(nullptr);
    size_t cut = p.find_last_of("\\/");
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string p(buf, n > 0 ? static_cast<size_t>(n) : 0);
    size_t cut = p.rfind('/');
#endif
    return cut == std::string::npos ? std::string(".") : p.substr(0, cut);
}

namespace {
bool IsFile(const std::string& path) {
#if defined(_WIN32)
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}
} // namespace

std::string DefaultLibraryPath() {
#if defined(_WIN32)
    const char* name = "\\VantorCrystal.dll";
#else
    const char* name = "/libVantorCrystal.so";
#endif
    const std::string folder = ExecutableFolder();
    const std::string beside = folder + name;
    // The release package keeps the desk tools one folder below the library.
    const size_t cut = folder.find_last_of("\\/");
    if (!IsFile(beside) && cut != std::string::npos && IsFile(folder.substr(0, cut) + name))
        return folder.substr(0, cut) + name;
    return beside;
}

std::string GbkToUtf8(const std::string& gbk) {
#if defined(_WIN32)
    int wn = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::vector<wchar_t> w(static_cast<size_t>(wn) + 1);
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), wn);
    int un = WideCharToMultiByte(CP_UTF8, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(un), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wn, &out[0], un, nullptr, nullptr);
    return out;
#else
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return gbk;
    std::string in = gbk;
    std::string out(in.size() * 3 + 4, '\0');
    char* src = &in[0];
    size_t srcLeft = in.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
            if (dstLeft == 0)
                break;
            *dst++ = '?'; // a byte that is no GBK character
            --dstLeft;
            ++src;
            --srcLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
#endif
}

} // namespace host
