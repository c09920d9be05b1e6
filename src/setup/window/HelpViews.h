// The chips' HTML help views, created by name by the setup window.
#pragma once

#include "HtmlView.h"

namespace setupwin {

// VT318: Html\AFC\VANTOR\Vt318.htm beside the library.
class CHtmlViewVt318 : public fw::CHtmlView {
    FW_DECLARE_DYNCREATE(CHtmlViewVt318)
protected:
    void OnInitialUpdate() override;
};

// VT300: Html\AFC\VANTOR\VT300.htm beside the library.
class CIntroHtmlView : public fw::CHtmlView {
    FW_DECLARE_DYNCREATE(CIntroHtmlView)
protected:
    void OnInitialUpdate() override;
};

// Opens the help page of the format ("%s" = the library's folder) beside the
// library module in a framed view; a path too long to open is said instead.
void OpenHelpPage(fw::CHtmlView& view, const wchar_t* format);

} // namespace setupwin
