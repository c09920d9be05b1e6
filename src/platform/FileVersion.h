// The library's version as its version resource gives it, and the rule that
// splits the FileVersion text into version and build.
#pragma once

#include <string>

namespace platform {

// Splits a FileVersion text ("1, 0, 1, 5") at its last point into the version
// ("1.0.1") and a build printed with four digits ("0005"): commas become
// points, blanks go, the build number ends at its first non-digit.
void ParseFileVersion(const std::string& text, std::string* version, std::string* build);

// The FileVersion text of a library file: its version resource on Windows,
// the text behind the "VANTOR_FILEVERSION=" marker elsewhere; empty when the
// file has none.
std::string FileVersionOfFile(const std::string& path);

} // namespace platform
