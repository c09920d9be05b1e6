// The Windows DLL's composition: the library opens the setup window that this
// build links in.
#include "SetupEntry.h"
#include "library/Library.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // The CRT has constructed the library object before this first call.
    if (reason == DLL_PROCESS_ATTACH)
        vantor::TheLibrary().SetSetupWindow(&RunSetupWindow);
    return TRUE;
}
