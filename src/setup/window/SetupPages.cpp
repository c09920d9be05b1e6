#include "SetupPages.h"

#include "SetupResource.h"
#include "HelpPageLayout.h"
#include "LayoutWindow.h"
#include "library/Library.h"

namespace setupwin {

FW_IMPLEMENT_DYNCREATE(CFormViewVt318)
FW_IMPLEMENT_DYNCREATE(CFormViewSetup)
FW_IMPLEMENT_DYNCREATE(CFormViewHelps)

// --- parameter pages -----------------------------------------------------------

CParamPage::CParamPage(UINT templateId, const ParamPageDef& page)
    : fw::CFormView(templateId), m_page(page) {}

int CParamPage::Load(const char* path) {
    m_values = LoadParamValues(m_page, path);
    UpdateData(false);
    return 1;
}

int CParamPage::Save(const char* path) {
    m_failedControl = nullptr;
    m_lastWrite = SaveOutcome();
    // A failed field has shown its message and taken the focus; the file
    // keeps what it had, so an invalid value never reaches it.
    if (!UpdateData(true)) {
        m_failedControl = ::GetFocus();
        return 0;
    }
    m_lastWrite = SaveParamValues(m_page, m_values, path);
    return m_lastWrite.Complete() ? 1 : 0;
}

void CParamPage::DoDataExchange(fw::CDataExchange& dx) {
    for (int id : m_page.exchangeOrder) {
        const int i = FieldIndexOfControl(m_page, id);
        if (i < 0)
            continue;
        const ParamField& f = m_page.fields[static_cast<size_t>(i)];
        if (m_page.unsignedNumbers) {
            fw::DDX_Text(dx, id, m_values[static_cast<size_t>(i)]);
            if (f.ranged)
                fw::DDV_MinMaxUInt(dx, m_values[static_cast<size_t>(i)],
                                   static_cast<uint32_t>(f.low), static_cast<uint32_t>(f.high));
        } else {
            int32_t v = static_cast<int32_t>(m_values[static_cast<size_t>(i)]);
            fw::DDX_Text(dx, id, v);
            m_values[static_cast<size_t>(i)] = static_cast<uint32_t>(v);
            if (f.ranged)
                fw::DDV_MinMaxInt(dx, v, static_cast<int32_t>(f.low), static_cast<int32_t>(f.high));
        }
    }
}

CFormViewVt318::CFormViewVt318() : CParamPage(IDD_VT318_PAGE, Vt318PageDef()) {}

CFormViewSetup::CFormViewSetup() : CParamPage(IDD_VT300_PAGE, Vt300PageDef()) {}

// --- help page -------------------------------------------------------------------

CFormViewHelps::CFormViewHelps() : fw::CFormView(IDD_HELPS_PAGE) {}

void CFormViewHelps::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Text(dx, IDC_HELPS_HISTORY, m_history);
    fw::DDX_Text(dx, IDC_HELPS_ABOUT, m_about);
}

void CFormViewHelps::OnInitialUpdate() {
    m_history = ReleaseHistory();
    m_about = AboutText(vantor::TheLibrary().Version(), vantor::TheLibrary().Build());
    UpdateData(false);
}

void CFormViewHelps::OnSize(UINT type, int cx, int cy) {
    fw::CFormView::OnSize(type, cx, cy);
    fw::ApplyLayout(Hwnd(), kHelpPageLayout);
}

} // namespace setupwin
