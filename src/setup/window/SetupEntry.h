// The setup window's entry point, which the DLL registers with the library.
#pragma once

// Opens the setup window of a chip page (0 VT300, 1 VT318) on the
// configuration file and returns when it closes.
void RunSetupWindow(const char* path, int chipPage);
