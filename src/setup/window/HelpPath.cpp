#include "HelpPath.h"

namespace setupwin {

std::wstring ModuleFolder(const std::wstring& modulePath) {
    const size_t slash = modulePath.rfind(L'\\');
    return slash == std::wstring::npos ? modulePath : modulePath.substr(0, slash);
}

bool BuildHelpPagePath(const std::wstring& modulePath, const wchar_t* format, std::wstring* path) {
    path->clear();
    if (!format)
        return false;
    const std::wstring folder = ModuleFolder(modulePath);
    std::wstring result;
    const std::wstring f(format);
    const size_t at = f.find(L"%s");
    if (at == std::wstring::npos)
        result = f;
    else
        result = f.substr(0, at) + folder + f.substr(at + 2);
    if (result.size() + 1 > kHelpPathLimit)
        return false; // refused rather than cut: a cut path would open some other file
    *path = result;
    return true;
}

} // namespace setupwin
