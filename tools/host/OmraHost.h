// Loads an Omra action library the way a test host does: by file name, with
// the twelve exports found by their undecorated names.
#pragma once

#include "omra/omra.h"

#include <string>

namespace host {

class Library {
public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads the library; false with Error() set when it or an export is missing.
    bool Load(const std::string& path);
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }
    // Looks up any exported symbol (null when absent).
    void* Symbol(const char* name) const;

    PFN_Omra_Startup Startup = nullptr;
    PFN_Omra_Cleanup Cleanup = nullptr;
    PFN_Omra_CreateAction CreateAction = nullptr;
    PFN_Omra_FreeAction FreeAction = nullptr;
    PFN_Omra_GetActionInfo GetActionInfo = nullptr;
    PFN_Omra_SetCallBack SetCallBack = nullptr;
    PFN_Omra_SetDriver SetDriver = nullptr;
    PFN_Omra_InitAction InitAction = nullptr;
    PFN_Omra_DoAction DoAction = nullptr;
    PFN_Omra_Setup Setup = nullptr;
    PFN_Omra_SetProperty SetProperty = nullptr;
    PFN_Omra_GetProperty GetProperty = nullptr;

private:
    void* m_handle = nullptr;
    std::string m_error;
};

// The file name of the action library in the folder of this executable, or
// in the folder above where only that one has it (the release package's
// desk tools).
std::string DefaultLibraryPath();
// The folder of this executable.
std::string ExecutableFolder();
// Text in GBK (code page 936) as UTF-8, for the terminal.
std::string GbkToUtf8(const std::string& gbk);

} // namespace host
