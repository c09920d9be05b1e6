#include "Dialog.h"

#include "TextRules.h"
#include "WindowText.h"
#include "platform/win32/ModulePath.h"

#include <cstring>
#include <vector>

namespace fw {

namespace {

// The dialog template, copied so that a form view can be patched into a child.
bool LoadTemplate(UINT id, std::vector<DWORD>* out) {
    HINSTANCE module = ResourceModule();
    HRSRC info =
        ::FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    if (!info)
        return false;
    const DWORD size = ::SizeofResource(module, info);
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size < sizeof(DLGTEMPLATE))
        return false;
    out->assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    memcpy(out->data(), bytes, size);
    return true;
}

DWORD* TemplateStyle(std::vector<DWORD>& tmpl) {
    const WORD* words = reinterpret_cast<const WORD*>(tmpl.data());
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    return extended ? &tmpl[3]
                    : &tmpl[0]; // DLGTEMPLATEEX: version, signature, helpID, exStyle, style
}

// The file name of the module without folder and extension.
std::wstring ModuleTitle(HMODULE module) {
    std::wstring name = win32::ModuleFileName<wchar_t>(module);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

} // namespace

std::wstring LoadResourceString(UINT id) {
    wchar_t buffer[512];
    const int n = ::LoadStringW(ResourceModule(), id, buffer, 512);
    return n > 0 ? std::wstring(buffer, static_cast<size_t>(n)) : std::wstring();
}

std::wstring MessageCaption(HWND owner) {
    HWND root = owner ? ::GetAncestor(owner, GA_ROOT) : nullptr;
    const std::wstring title = root ? WindowText(root) : std::wstring();
    return title.empty() ? ModuleTitle(ResourceModule()) : title;
}

int ShowMessage(HWND owner, const std::wstring& text, UINT type) {
    HWND root = owner ? ::GetAncestor(owner, GA_ROOT) : nullptr;
    return ::MessageBoxW(root, text.c_str(), MessageCaption(owner).c_str(), type);
}

void DefaultValidationReporter(HWND owner, const std::wstring& text) {
    ShowMessage(owner, text, MB_OK | MB_ICONEXCLAMATION);
}

// --- data exchange -------------------------------------------------------------------

CDataExchange::CDataExchange(HWND dialog, bool save, ValidationReporter reporter)
    : saveAndValidate(save), dialog_(dialog), reporter_(std::move(reporter)) {}

HWND CDataExchange::PrepareCtrl(int id) {
    last_ = ::GetDlgItem(dialog_, id);
    return last_;
}

void CDataExchange::Fail(const std::wstring& message) {
    failed_ = true;
    if (reporter_)
        reporter_(dialog_, message);
    if (last_) {
        ::SetFocus(last_);
        ::SendMessageW(last_, EM_SETSEL, 0, -1);
    }
}

namespace {

// One exchange for both integer kinds: they differ in the parser and in the
// message a text that is no such number gets.
template <class Int, class Parse>
void exchangeInteger(CDataExchange& dx, int id, Int& value, Parse parse, UINT parseMessage) {
    if (dx.failed())
        return;
    HWND control = dx.PrepareCtrl(id);
    if (!control)
        return;
    if (!dx.saveAndValidate) {
        ::SetWindowTextW(control, std::to_wstring(value).c_str());
        return;
    }
    Int parsed;
    if (!parse(WindowText(control), &parsed)) {
        dx.Fail(LoadResourceString(parseMessage));
        return;
    }
    value = parsed;
}

} // namespace

void DDX_Text(CDataExchange& dx, int id, int32_t& value) {
    exchangeInteger(dx, id, value, ParseSignedDecimal, IDS_PARSE_INT);
}

void DDX_Text(CDataExchange& dx, int id, uint32_t& value) {
    exchangeInteger(dx, id, value, ParseUnsignedDecimal, IDS_PARSE_UINT);
}

void DDX_Text(CDataExchange& dx, int id, std::wstring& text) {
    if (dx.failed())
        return;
    HWND control = dx.PrepareCtrl(id);
    if (!control)
        return;
    if (dx.saveAndValidate)
        text = WindowText(control);
    else
        ::SetWindowTextW(control, text.c_str());
}

void DDX_Text(CDataExchange& dx, int id, std::string& text) {
    std::wstring wide = GbkToWide(text.c_str());
    DDX_Text(dx, id, wide);
    if (dx.saveAndValidate && !dx.failed())
        text = WideToGbk(wide.c_str());
}

void DDV_MinMaxInt(CDataExchange& dx, int32_t value, int32_t minValue, int32_t maxValue) {
    if (!dx.saveAndValidate || dx.failed())
        return;
    if (value < minValue || value > maxValue)
        dx.Fail(FillBounds(LoadResourceString(IDS_PARSE_INT_RANGE), std::to_wstring(minValue),
                           std::to_wstring(maxValue)));
}

void DDV_MinMaxUInt(CDataExchange& dx, uint32_t value, uint32_t minValue, uint32_t maxValue) {
    if (!dx.saveAndValidate || dx.failed())
        return;
    if (value < minValue || value > maxValue)
        dx.Fail(FillBounds(LoadResourceString(IDS_PARSE_INT_RANGE), std::to_wstring(minValue),
                           std::to_wstring(maxValue)));
}

// --- dialogs ---------------------------------------------------------------------------

bool CDialogBase::UpdateData(bool saveAndValidate) {
    if (!Hwnd())
        return false;
    CDataExchange dx(Hwnd(), saveAndValidate, reporter_);
    DoDataExchange(dx);
    return !dx.failed();
}

void CDialogBase::DoDataExchange(CDataExchange&) {}

BOOL CDialogBase::OnInitDialog() {
    return TRUE;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialogBase* self = reinterpret_cast<CDialogBase*>(lParam);
    if (!self)
        return FALSE;
    if (!CWindow::FromHandle(window))
        self->SubclassWindow(window);
    return self->OnInitDialog();
}

bool CDialogBase::CreateFromTemplate(HWND parent, bool asChild) {
    if (Hwnd())
        return false;
    std::vector<DWORD> tmpl;
    if (!LoadTemplate(templateId_, &tmpl))
        return false;
    if (asChild) {
        DWORD* style = TemplateStyle(tmpl);
        *style &= ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU |
                                      DS_MODALFRAME | WS_VISIBLE | DS_CENTER);
        *style |= WS_CHILD | DS_CONTROL;
    }
    HWND window = CreateDialogAttached(parent, tmpl.data(), &CDialogBase::DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

// --- CDialog -----------------------------------------------------------------------------

bool CDialog::CreateModeless(HWND owner) {
    ended_ = false;
    modal_ = false;
    return CreateFromTemplate(owner, false);
}

INT_PTR CDialog::DoModal(HWND owner) {
    ended_ = false;
    modal_ = true;
    result_ = -1;
    if (!CreateFromTemplate(owner, false)) {
        modal_ = false;
        return -1;
    }
    HWND window = Hwnd();
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    if (!ended_)
        ::ShowWindow(window, SW_SHOW);
    MSG msg;
    while (!ended_ && ::IsWindow(window)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam)); // leave WM_QUIT to the outer loop
            break;
        }
        if (got < 0)
            break;
        if (PreTranslateChain(&msg, window))
            continue;
        if (::IsDialogMessageW(window, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (disableOwner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    DestroyWindow();
    modal_ = false;
    return result_;
}

void CDialog::EndDialog(INT_PTR result) {
    result_ = result;
    ended_ = true;
    if (Hwnd()) {
        if (!modal_)
            ::ShowWindow(Hwnd(), SW_HIDE);
        ::PostMessageW(Hwnd(), WM_NULL, 0, 0); // wakes the modal loop
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return false;
    }
}

// --- CFormView ---------------------------------------------------------------------------

bool CFormView::CreateView(HWND parent, UINT id, DWORD style, const RECT& rect, CreateContext*) {
    if (!CreateFromTemplate(parent, true))
        return false;
    HWND window = Hwnd();
    ::SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(id));
    ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (style & WS_VISIBLE)
        ::ShowWindow(window, SW_SHOWNA);
    return true;
}

void CFormView::OnInitialUpdate() {
    UpdateData(false);
}

BOOL CFormView::OnInitDialog() {
    return FALSE;
}

} // namespace fw
