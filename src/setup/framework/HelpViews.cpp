#include "HelpViews.h"

#include "HelpPath.h"

namespace fw {

FW_IMPLEMENT_DYNCREATE(CHtmlViewVt318)
FW_IMPLEMENT_DYNCREATE(CIntroHtmlView)

void CHtmlViewVt318::OnInitialUpdate() {
    OpenHelpPage(kVt318PageFormat);
}

void CIntroHtmlView::OnInitialUpdate() {
    OpenHelpPage(kVt300PageFormat);
}

} // namespace fw
