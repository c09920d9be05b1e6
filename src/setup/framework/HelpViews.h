// The chips' HTML help views, created by name by the setup window.
#pragma once

#include "HtmlView.h"

namespace fw {

// VT318: Html\AFC\VANTOR\Vt318.htm beside the library.
class CHtmlViewVt318 : public CHtmlView {
    FW_DECLARE_DYNCREATE(CHtmlViewVt318)
protected:
    void OnInitialUpdate() override;
};

// VT300: Html\AFC\VANTOR\VT300.htm beside the library.
class CIntroHtmlView : public CHtmlView {
    FW_DECLARE_DYNCREATE(CIntroHtmlView)
protected:
    void OnInitialUpdate() override;
};

} // namespace fw
