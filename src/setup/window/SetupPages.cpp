#include "SetupPages.h"

#include "SetupResource.h"
#include "LayoutWindow.h"
#include "library/Library.h"

using setupwin::ParamPageDef;

FW_IMPLEMENT_DYNCREATE(CFormViewVt318)
FW_IMPLEMENT_DYNCREATE(CFormViewSetup)
FW_IMPLEMENT_DYNCREATE(CFormViewHelps)

// --- parameter pages -----------------------------------------------------------

CParamPage::CParamPage(UINT templateId, const ParamPageDef& page)
    : fw::CFormView(templateId), page_(page) {}

int CParamPage::Load(const char* path) {
    values_ = setupwin::LoadParamValues(page_, path);
    UpdateData(false);
    return 1;
}

int CParamPage::Save(const char* path) {
    failedControl_ = nullptr;
    lastWrite_ = setupwin::SaveOutcome();
    // A failed field has shown its message and taken the focus; the file
    // keeps what it had, so an invalid value never reaches it.
    if (!UpdateData(true)) {
        failedControl_ = ::GetFocus();
        return 0;
    }
    lastWrite_ = setupwin::SaveParamValues(page_, values_, path);
    return lastWrite_.Complete() ? 1 : 0;
}

void CParamPage::DoDataExchange(fw::CDataExchange& dx) {
    for (int id : page_.exchangeOrder) {
        const int i = setupwin::FieldIndexOfControl(page_, id);
        if (i < 0)
            continue;
        const setupwin::ParamField& f = page_.fields[static_cast<size_t>(i)];
        if (page_.unsignedNumbers) {
            fw::DDX_Text(dx, id, values_[static_cast<size_t>(i)]);
            if (f.ranged)
                fw::DDV_MinMaxUInt(dx, values_[static_cast<size_t>(i)],
                                   static_cast<uint32_t>(f.low), static_cast<uint32_t>(f.high));
        } else {
            int32_t v = static_cast<int32_t>(values_[static_cast<size_t>(i)]);
            fw::DDX_Text(dx, id, v);
            values_[static_cast<size_t>(i)] = static_cast<uint32_t>(v);
            if (f.ranged)
                fw::DDV_MinMaxInt(dx, v, static_cast<int32_t>(f.low), static_cast<int32_t>(f.high));
        }
    }
}

CFormViewVt318::CFormViewVt318() : CParamPage(IDD_VT318_PAGE, setupwin::Vt318PageDef()) {}

CFormViewSetup::CFormViewSetup() : CParamPage(IDD_VT300_PAGE, setupwin::Vt300PageDef()) {}

// --- help page -------------------------------------------------------------------

CFormViewHelps::CFormViewHelps() : fw::CFormView(IDD_HELPS_PAGE) {}

void CFormViewHelps::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Text(dx, IDC_HELPS_HISTORY, history_);
    fw::DDX_Text(dx, IDC_HELPS_ABOUT, about_);
}

void CFormViewHelps::OnInitialUpdate() {
    history_ = setupwin::ReleaseHistory();
    about_ = setupwin::AboutText(TheLibrary().Version(), TheLibrary().Build());
    UpdateData(false);
}

void CFormViewHelps::OnSize(UINT type, int cx, int cy) {
    fw::CFormView::OnSize(type, cx, cy);
    fw::ApplyLayout(Hwnd(), fw::kHelpPageLayout);
}
