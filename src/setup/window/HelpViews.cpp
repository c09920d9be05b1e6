#include "HelpViews.h"

#include "HelpPath.h"

namespace setupwin {

namespace {
const char kPathTooLong[] =
    "\xB0\xEF\xD6\xFA\xCE\xC4\xBC\xFE\xB5\xC4\xC2\xB7\xBE\xB6\xB3\xAC\xB9\xFD 259 \xB8\xF6\xD7\xD6"
    "\xB7\xFB\xA3\xAC\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xA1\xA3\xBF\xE2\xCB\xF9\xD4\xDA\xB5\xC4\xCE"
    "\xC4"
    "\xBC\xFE\xBC\xD0\xA3\xBA"; // 帮助文件的路径超过 259 个字符，无法打开。库所在的文件夹：
} // namespace

FW_IMPLEMENT_DYNCREATE(CHtmlViewVt318)
FW_IMPLEMENT_DYNCREATE(CIntroHtmlView)

void OpenHelpPage(fw::CHtmlView& view, const wchar_t* format) {
    const std::wstring module = fw::ResourceModulePath();
    std::wstring path;
    if (BuildHelpPagePath(module, format, &path))
        view.OpenFramedPage(path);
    else
        view.ShowFramedNotice(fw::GbkToWide(kPathTooLong), ModuleFolder(module));
}

void CHtmlViewVt318::OnInitialUpdate() {
    OpenHelpPage(*this, kVt318PageFormat);
}

void CIntroHtmlView::OnInitialUpdate() {
    OpenHelpPage(*this, kVt300PageFormat);
}

} // namespace setupwin
