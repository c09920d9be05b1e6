// Where the library has no setup window (Linux), Omra_Setup checks the file
// and opens nothing.
#include "Library.h"

void RunSetupWindow(const char*, int) {}
