#include "AfcSetupDlg.h"

#include "HelpViews.h"
#include "SetupPages.h"
#include "SetupEntry.h"
#include "SetupResource.h"
#include "SetupRules.h"
#include "library/Library.h"

namespace {

// Bar texts, GBK as everywhere in code; the bar converts them to draw.
const char kFolderAlgorithm[] = "\xCB\xE3\xB7\xA8\xC9\xE8\xD6\xC3"; // 算法设置
const char kItemIntro[] = "\xCB\xE3\xB7\xA8\xBD\xE9\xC9\xDC";       // 算法介绍
const char kItemParams[] = "\xCB\xE3\xB7\xA8\xC5\xE4\xD6\xC3";      // 算法配置
const char kFolderHistory[] = "\xD0\xDE\xB6\xA9\xC0\xFA\xCA\xB7";   // 修订历史

// The failed-save message.
const char kWriteFailed[] = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB\xA3"
                            "\xBA"; // 配置文件无法写入：
const char kKeyNotWritten[] =
    "\xCE\xB4\xD0\xB4\xC8\xEB\xB5\xC4\xCF\xEE\xA3\xA8\xBC\xB0\xC6\xE4\xBA\xF3"
    "\xB8\xF7\xCF\xEE\xA3\xA9\xA3\xBA"; // 未写入的项（及其后各项）：
// 修改仍保留在窗口中，尚未全部保存。请确认该文件可以写入（没有被其他程序占用、不是只读、所在文件夹仍在），然后再按“应用”或“确认”。
const char kEditsKept[] =
    "\xD0\xDE\xB8\xC4\xC8\xD4\xB1\xA3\xC1\xF4\xD4\xDA\xB4\xB0\xBF\xDA\xD6\xD0\xA3\xAC"
    "\xC9\xD0\xCE\xB4\xC8\xAB\xB2\xBF\xB1\xA3\xB4\xE6\xA1\xA3\xC7\xEB\xC8\xB7\xC8\xCF"
    "\xB8\xC3\xCE\xC4\xBC\xFE\xBF\xC9\xD2\xD4\xD0\xB4\xC8\xEB\xA3\xA8\xC3\xBB\xD3\xD0"
    "\xB1\xBB\xC6\xE4\xCB\xFB\xB3\xCC\xD0\xF2\xD5\xBC\xD3\xC3\xA1\xA2\xB2\xBB\xCA\xC7"
    "\xD6\xBB\xB6\xC1\xA1\xA2\xCB\xF9\xD4\xDA\xCE\xC4\xBC\xFE\xBC\xD0\xC8\xD4\xD4\xDA"
    "\xA3\xA9\xA3\xAC\xC8\xBB\xBA\xF3\xD4\xD9\xB0\xB4\xA1\xB0\xD3\xA6\xD3\xC3\xA1\xB1"
    "\xBB\xF2\xA1\xB0\xC8\xB7\xC8\xCF\xA1\xB1\xA1\xA3";

const char kNoReason[] =
    "\xCF\xB5\xCD\xB3\xCE\xB4\xCB\xB5\xC3\xF7\xD4\xAD\xD2\xF2"; // 系统未说明原因

// The host's path is text of the process's code page.
std::wstring AnsiToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

constexpr DWORD kBarFlags = 0x1FC;
constexpr int kBarAnimationDelay = 20;
constexpr int kSelectionPeriod = 200;

fw::Icon LoadSizedIcon(int id, int size) {
    return fw::Icon(static_cast<HICON>(::LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(id),
                                                    IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

RECT ChildRectInClient(HWND parent, HWND child) {
    RECT r{};
    if (child == nullptr)
        return r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

namespace setupwin {

CAfcSetupDlg::CAfcSetupDlg() : fw::CDialog(IDD_AFC_SETUP) {}

CAfcSetupDlg::~CAfcSetupDlg() = default;

CParamPage* CAfcSetupDlg::ParamPage() const {
    if (m_paramViewId < 0)
        return nullptr;
    return dynamic_cast<CParamPage*>(m_splitter.GetView(m_paramViewId));
}

int CAfcSetupDlg::OnCreate(CREATESTRUCTW* create) {
    if (fw::CDialog::OnCreate(create) == -1)
        return -1;
    RECT none{};
    if (!m_splitter.CreateStatic(Hwnd(), 1, 2, WS_CHILD | WS_VISIBLE, fw::AFX_IDW_PANE_FIRST))
        return 0; // no splitter: the window opens without pages
    m_splitter.EnableTracking(false);

    const SIZE empty{0, 0};
    switch (m_chipPage) {
    case 0:
        m_paramViewId = m_splitter.AddView(0, 1, FW_RUNTIME_CLASS(CFormViewSetup), empty, nullptr);
        m_helpViewId = m_splitter.AddView(0, 1, FW_RUNTIME_CLASS(CIntroHtmlView), empty, nullptr);
        break;
    case 1:
        m_paramViewId = m_splitter.AddView(0, 1, FW_RUNTIME_CLASS(CFormViewVt318), empty, nullptr);
        m_helpViewId = m_splitter.AddView(0, 1, FW_RUNTIME_CLASS(CHtmlViewVt318), empty, nullptr);
        break;
    default:
        break;
    }
    m_aboutViewId = m_splitter.AddView(0, 1, FW_RUNTIME_CLASS(CFormViewHelps), empty, nullptr);

    if (CParamPage* page = ParamPage())
        page->Load(m_path.c_str());

    if (!m_bar.Create(WS_CHILD | WS_VISIBLE, none, m_splitter.Hwnd(),
                      static_cast<UINT>(m_splitter.IdFromRowCol(0, 0)), kBarFlags))
        return 0;
    m_bar.SetOwner(Hwnd());
    CreateBar();

    RECT client = ClientRect();
    const ColumnSizes sizes = CreationColumnSizes(client.right - client.left);
    m_splitter.SetColumnInfo(0, sizes.barIdeal, sizes.barMin);
    m_splitter.SetColumnInfo(1, sizes.pagesIdeal, sizes.pagesMin);
    m_splitter.RecalcLayout();
    return 0;
}

void CAfcSetupDlg::CreateBar() {
    m_smallImages.reset(::ImageList_Create(16, 16, ILC_COLORDDB | ILC_MASK, 2, 1));
    m_largeImages.reset(::ImageList_Create(32, 32, ILC_COLORDDB | ILC_MASK, 2, 1));
    for (int id : {IDI_BAR_INTRO, IDI_BAR_PARAMETERS, IDI_BAR_HISTORY}) {
        fw::Icon small = LoadSizedIcon(id, 16);
        fw::Icon large = LoadSizedIcon(id, 32);
        if (m_smallImages && small)
            ::ImageList_AddIcon(m_smallImages.get(), small.get());
        if (m_largeImages && large)
            ::ImageList_AddIcon(m_largeImages.get(), large.get());
    }
    m_bar.SetBarImageList(m_largeImages.get(), 2);
    m_bar.SetBarImageList(m_smallImages.get(), 1);
    m_bar.SetAnimationDelay(kBarAnimationDelay);
    m_bar.SetSelectionAnimation(kSelectionPeriod);

    const int algorithm = m_bar.AppendFolder(kFolderAlgorithm, 0);
    m_bar.InsertFolderItem(algorithm, 0, kItemIntro, 0, 0);
    m_bar.InsertFolderItem(algorithm, 1, kItemParams, 1, 0);
    const int history = m_bar.AppendFolder(kFolderHistory, 0);
    m_bar.InsertFolderItem(history, 0, kFolderHistory, 2, 0);
    m_bar.SelectFolder(0);
}

BOOL CAfcSetupDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();

    m_bigIcon = LoadSizedIcon(IDI_SETUP_WINDOW, ::GetSystemMetrics(SM_CXICON));
    m_smallIcon = LoadSizedIcon(IDI_SETUP_WINDOW, ::GetSystemMetrics(SM_CXSMICON));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.get()));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.get()));

    const RECT place = ChildRectInClient(Hwnd(), GetDlgItem(IDC_SETUP_PLACEHOLDER));
    const int width = place.right - place.left;

    if (m_splitter.Hwnd() != nullptr) {
        m_splitter.ShowView(m_paramViewId);
        const int barWidth = InitialBarWidth(width);
        m_splitter.SetColumnInfo(0, barWidth, barWidth);
        ::MoveWindow(m_splitter.Hwnd(), place.left, place.top, width, place.bottom - place.top,
                     TRUE);
    }

    if (const char* text = ChipTitleText(m_chipPage)) {
        m_title = WindowTitle(text, m_path.c_str());
        ::SetWindowTextA(Hwnd(), m_title.c_str());
    }
    return TRUE;
}

void CAfcSetupDlg::OnPaint() {
    fw::PaintDC paint(Hwnd());
    if (paint.dc() != nullptr)
        PaintCaption(paint.dc());
}

void CAfcSetupDlg::PaintCaption(HDC dc) const {
    const RECT place = ChildRectInClient(Hwnd(), GetDlgItem(IDC_SETUP_PLACEHOLDER));
    const RECT ok = ChildRectInClient(Hwnd(), GetDlgItem(IDOK));
    RECT band{place.left, ok.top, ok.left, ok.bottom};

    fw::Font font(::CreateFontW(24, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, L"Arial"));
    fw::SavedDC saved(dc);
    if (font)
        ::SelectObject(dc, font.get());
    ::SetBkMode(dc, TRANSPARENT);
    const std::wstring caption = fw::GbkToWide(CompanyCaption());
    const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE;

    // Light copy one pixel down-right, dark copy in place: engraved.
    RECT shifted = band;
    ::OffsetRect(&shifted, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    ::DrawTextW(dc, caption.c_str(), -1, &shifted, format);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNSHADOW));
    ::DrawTextW(dc, caption.c_str(), -1, &band, format);
}

bool CAfcSetupDlg::SaveParams() {
    CParamPage* page = ParamPage();
    if (page == nullptr || (m_chipPage != 0 && m_chipPage != 1))
        return true;
    if (page->Save(m_path.c_str()))
        return true;
    if (page->FailedControl() == nullptr && !page->LastWrite().Complete()) {
        ShowWriteFailure(*page);
        return false;
    }
    // The failed field must be visible to be corrected.
    m_splitter.ShowView(m_paramViewId);
    if (HWND field = page->FailedControl())
        ::SetFocus(field);
    return false;
}

void CAfcSetupDlg::ShowWriteFailure(const CParamPage& page) const {
    const SaveOutcome& write = page.LastWrite();
    std::wstring text = fw::GbkToWide(kWriteFailed) + L"\r\n" + AnsiToWide(m_path) + L"\r\n\r\n" +
                        (write.systemError != 0 ? fw::SystemErrorText(write.systemError)
                                                : fw::GbkToWide(kNoReason)) +
                        L"\r\n\r\n";
    if (write.written < page.Page().fields.size()) {
        const ParamField& key = page.Page().fields[write.written];
        text += fw::GbkToWide(kKeyNotWritten) + L"[" + AnsiToWide(key.section) + L"] " +
                AnsiToWide(key.key) + L"\r\n\r\n";
    }
    text += fw::GbkToWide(kEditsKept);
    fw::ShowMessage(Hwnd(), text, MB_OK | MB_ICONERROR);
}

void CAfcSetupDlg::OnOK() {
    if (!SaveParams())
        return; // an invalid field or a failed write keeps the window open
    EndDialog(IDOK);
}

bool CAfcSetupDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_SETUP_APPLY && HIWORD(wParam) == BN_CLICKED) {
        SaveParams();
        return true;
    }
    return fw::CDialog::OnCommand(wParam, lParam);
}

bool CAfcSetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == bar::WM_BAR_NOTIFY) {
        result = OnBarNotify(wParam, lParam);
        return true;
    }
    return fw::CDialog::OnMessage(message, wParam, lParam, result);
}

LRESULT CAfcSetupDlg::OnBarNotify(WPARAM code, LPARAM arg) {
    if (code == bar::BAR_ITEM_CLICKED) {
        const int folder = m_bar.GetSelectedFolder();
        switch (PageForBarItem(folder, static_cast<int>(arg))) {
        case SetupPage::HtmlHelp:
            m_splitter.ShowView(m_helpViewId);
            break;
        case SetupPage::Parameters:
            m_splitter.ShowView(m_paramViewId);
            break;
        case SetupPage::About:
            m_splitter.ShowView(m_aboutViewId);
            break;
        case SetupPage::None:
            break;
        }
        return 0;
    }
    return BarNotifyReply(static_cast<int>(code));
}

} // namespace setupwin

void RunSetupWindow(const char* path, int chipPage) {
    setupwin::CAfcSetupDlg dialog;
    dialog.SetConfigPath(path);
    dialog.SetChipPage(chipPage);
    dialog.DoModal(nullptr);
}
