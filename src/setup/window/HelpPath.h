// Where the HTML help pages lie: a folder Html\AFC\VANTOR beside the library.
#pragma once

#include <string>

namespace setupwin {

constexpr wchar_t kVt318PageFormat[] = L"%s\\Html\\AFC\\VANTOR\\Vt318.htm";
constexpr wchar_t kVt300PageFormat[] = L"%s\\Html\\AFC\\VANTOR\\VT300.htm";
// The page path, like the system's, must fit a buffer of 260 characters.
constexpr size_t kHelpPathLimit = 260;

// The folder of a module file name: the name cut at its last "\" (a name
// without "\" is used whole).
std::wstring ModuleFolder(const std::wstring& modulePath);

// Fills "%s" of the format with the module's folder. False, with *path
// empty, when the result would not fit kHelpPathLimit characters (with its
// terminating zero).
bool BuildHelpPagePath(const std::wstring& modulePath, const wchar_t* format, std::wstring* path);

} // namespace setupwin
