#include "Window.h"

#include "platform/win32/ModulePath.h"

#include <cwctype>
#include <vector>

namespace fw {

LRESULT CALLBACK FrameworkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void AttachPending(CWindow* object, HWND window);

namespace {

const wchar_t kObjectProp[] = L"VantorFw.Object";

// The object whose window the current thread is creating; the CBT hook
// attaches it to the first matching window, before any message reaches it.
struct PendingCreate {
    CWindow* object = nullptr;
    HWND parent = nullptr;
};
thread_local PendingCreate tPending;

bool IsImeWindow(const CREATESTRUCTW* cs) {
    if (!cs || !cs->lpszClass || IS_INTRESOURCE(cs->lpszClass))
        return false;
    const wchar_t* n = cs->lpszClass;
    return std::towlower(n[0]) == L'i' && std::towlower(n[1]) == L'm' &&
           std::towlower(n[2]) == L'e' && n[3] == 0;
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && tPending.object) {
        const CBT_CREATEWNDW* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        const CREATESTRUCTW* cs = cbt ? cbt->lpcs : nullptr;
        if (cs && !IsImeWindow(cs) && cs->hwndParent == tPending.parent) {
            CWindow* object = tPending.object;
            tPending.object = nullptr;
            AttachPending(object, reinterpret_cast<HWND>(wParam));
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installs the creation hook for one creation call.
class CreationScope {
public:
    CreationScope(CWindow* object, HWND parent) : saved_(tPending) {
        tPending.object = object;
        tPending.parent = parent;
        hook_ = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    }
    ~CreationScope() {
        if (hook_)
            ::UnhookWindowsHookEx(hook_);
        tPending = saved_;
    }
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;

private:
    PendingCreate saved_;
    HHOOK hook_ = nullptr;
};

bool RegisterFrameworkClass() {
    HINSTANCE module = ResourceModule();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExW(module, kWindowClassName, &wc))
        return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FrameworkWndProc;
    wc.hInstance = module;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClassName;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The head of the process-wide list of creatable classes.
const RuntimeClass*& ClassListHead() {
    static const RuntimeClass* head = nullptr;
    return head;
}

} // namespace

const wchar_t kWindowClassName[] = L"VantorFwWnd";

HINSTANCE ResourceModule() {
    return win32::ModuleOfAddress(reinterpret_cast<const void*>(&ResourceModule));
}

// --- dynamic creation ------------------------------------------------------------

RuntimeClass::RuntimeClass(const char* className, CWindow* (*factory)())
    : name(className), create(factory), next(ClassListHead()) {
    ClassListHead() = this;
}

const RuntimeClass* RuntimeClass::FromName(const char* className) {
    if (!className)
        return nullptr;
    for (const RuntimeClass* c = ClassListHead(); c; c = c->next)
        if (std::string(c->name) == className)
            return c;
    return nullptr;
}

// --- window procedure ------------------------------------------------------------

void AttachPending(CWindow* object, HWND window) {
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
    object->Attach(window, previous);
}

LRESULT CALLBACK FrameworkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindow* object = CWindow::FromHandle(window);
    if (!object)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return object->Dispatch(message, wParam, lParam);
}

CWindow::CWindow() = default;

CWindow::~CWindow() {
    if (hwnd_ && ::IsWindow(hwnd_))
        ::DestroyWindow(hwnd_);
}

CWindow* CWindow::FromHandle(HWND window) {
    if (!window)
        return nullptr;
    return static_cast<CWindow*>(::GetPropW(window, kObjectProp));
}

void CWindow::Attach(HWND window, WNDPROC previous) {
    hwnd_ = window;
    // Our own class already runs FrameworkWndProc: its default is DefWindowProc.
    oldProc_ = (previous == &FrameworkWndProc || !previous) ? ::DefWindowProcW : previous;
    ::SetPropW(window, kObjectProp, this);
}

LRESULT CWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    const MSG saved = current_;
    current_ = MSG{hwnd_, message, wParam, lParam, 0, {0, 0}};
    LRESULT result = WindowProc(message, wParam, lParam);
    current_ = saved;
    if (message == WM_NCDESTROY) {
        HWND window = hwnd_;
        if (window) {
            if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) ==
                    &FrameworkWndProc &&
                oldProc_ != ::DefWindowProcW)
                ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
            ::RemovePropW(window, kObjectProp);
        }
        hwnd_ = nullptr;
        PostNcDestroy(); // may delete this
    }
    return result;
}

bool CWindow::Create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                     const RECT& rect, HWND parent, UINT id, void* createParam) {
    if (hwnd_)
        return false;
    if (!className) {
        if (!RegisterFrameworkClass())
            return false;
        className = kWindowClassName;
    }
    HWND window;
    {
        CreationScope scope(this, parent);
        window = ::CreateWindowExW(exStyle, className, title ? title : L"", style, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                   ResourceModule(), createParam);
    }
    if (!window) {
        hwnd_ = nullptr; // a creation refused by OnCreate has already detached
        return false;
    }
    if (hwnd_ != window) { // the hook could not attach (should not happen): subclass now
        SubclassWindow(window);
    }
    return true;
}

HWND CWindow::CreateDialogAttached(HWND parent, const void* dialogTemplate, DLGPROC proc,
                                   LPARAM param) {
    if (hwnd_)
        return nullptr;
    HWND window;
    {
        CreationScope scope(this, parent);
        window = ::CreateDialogIndirectParamW(
            ResourceModule(), static_cast<const DLGTEMPLATE*>(dialogTemplate), parent, proc, param);
    }
    if (!window) {
        hwnd_ = nullptr;
        return nullptr;
    }
    if (hwnd_ != window)
        SubclassWindow(window);
    return window;
}

bool CWindow::CreateView(HWND parent, UINT id, DWORD style, const RECT& rect, CreateContext*) {
    return Create(0, nullptr, nullptr, style, rect, parent, id);
}

void CWindow::DestroyWindow() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
}

bool CWindow::SubclassWindow(HWND window) {
    if (hwnd_ || !window || !::IsWindow(window) || FromHandle(window))
        return false;
    AttachPending(this, window);
    return true;
}

bool CWindow::SubclassDlgItem(UINT id, HWND parent) {
    return SubclassWindow(::GetDlgItem(parent, static_cast<int>(id)));
}

HWND CWindow::UnsubclassWindow() {
    HWND window = hwnd_;
    if (!window)
        return nullptr;
    if (oldProc_ != ::DefWindowProcW)
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    ::RemovePropW(window, kObjectProp);
    hwnd_ = nullptr;
    oldProc_ = nullptr;
    return window;
}

HWND CWindow::GetOwner() const {
    if (owner_)
        return owner_;
    return hwnd_ ? ::GetParent(hwnd_) : nullptr;
}

bool CWindow::PreTranslateMessage(MSG*) {
    return false;
}

LRESULT CWindow::Default() {
    if (!hwnd_)
        return 0;
    return ::CallWindowProcW(oldProc_ ? oldProc_ : ::DefWindowProcW, hwnd_, current_.message,
                             current_.wParam, current_.lParam);
}

RECT CWindow::ClientRect() const {
    RECT r{};
    if (hwnd_)
        ::GetClientRect(hwnd_, &r);
    return r;
}

RECT CWindow::WindowRectInParent() const {
    RECT r{};
    if (!hwnd_)
        return r;
    ::GetWindowRect(hwnd_, &r);
    HWND parent = ::GetParent(hwnd_);
    if (parent)
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void CWindow::Invalidate(bool erase) const {
    if (hwnd_)
        ::InvalidateRect(hwnd_, nullptr, erase);
}

void CWindow::InvalidateRect(const RECT& rect, bool erase) const {
    if (hwnd_)
        ::InvalidateRect(hwnd_, &rect, erase);
}

int CWindow::GetDlgCtrlID() const {
    return hwnd_ ? ::GetDlgCtrlID(hwnd_) : 0;
}

void CWindow::SetDlgCtrlID(int id) const {
    if (hwnd_)
        ::SetWindowLongPtrW(hwnd_, GWLP_ID, id);
}

HWND CWindow::GetDlgItem(int id) const {
    return hwnd_ ? ::GetDlgItem(hwnd_, id) : nullptr;
}

HWND CWindow::GetParent() const {
    return hwnd_ ? ::GetParent(hwnd_) : nullptr;
}

// --- dispatch --------------------------------------------------------------------------

LRESULT CWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result))
        return result;
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const UINT flags = static_cast<UINT>(wParam);
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_SIZE:
        OnSize(flags, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(flags, point);
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(flags, point);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(flags, point);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(flags, point);
        return 0;
    case WM_RBUTTONDOWN:
        OnRButtonDown(flags, point);
        return 0;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(flags, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CHAR:
        OnChar(flags, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NCHITTEST:
        return OnNcHitTest(point);
    case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        return Default();
    case WM_NOTIFY:
        if (OnNotify(wParam, lParam, result))
            return result;
        return Default();
    case WM_INITIALUPDATE:
        OnInitialUpdate();
        return 0;
    default:
        return Default();
    }
}

bool CWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}
int CWindow::OnCreate(CREATESTRUCTW*) {
    return static_cast<int>(Default());
}
void CWindow::OnDestroy() {
    Default();
}
void CWindow::OnPaint() {
    Default();
}
BOOL CWindow::OnEraseBkgnd(HDC) {
    return static_cast<BOOL>(Default());
}
void CWindow::OnSize(UINT, int, int) {
    Default();
}
void CWindow::OnMouseMove(UINT, POINT) {
    Default();
}
void CWindow::OnLButtonDown(UINT, POINT) {
    Default();
}
void CWindow::OnLButtonUp(UINT, POINT) {
    Default();
}
void CWindow::OnLButtonDblClk(UINT, POINT) {
    Default();
}
void CWindow::OnRButtonDown(UINT, POINT) {
    Default();
}
void CWindow::OnTimer(UINT_PTR) {
    Default();
}
void CWindow::OnKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWindow::OnChar(UINT, UINT, UINT) {
    Default();
}
void CWindow::OnSetFocus(HWND) {
    Default();
}
void CWindow::OnKillFocus(HWND) {
    Default();
}
void CWindow::OnCaptureChanged(HWND) {
    Default();
}
LRESULT CWindow::OnNcHitTest(POINT) {
    return Default();
}
BOOL CWindow::OnSetCursor(HWND, UINT, UINT) {
    return static_cast<BOOL>(Default());
}
bool CWindow::OnCommand(WPARAM, LPARAM) {
    return false;
}
bool CWindow::OnNotify(WPARAM, LPARAM, LRESULT&) {
    return false;
}
void CWindow::OnInitialUpdate() {}
void CWindow::PostNcDestroy() {}

// --- loops -------------------------------------------------------------------------

bool PreTranslateChain(MSG* msg, HWND top) {
    for (HWND w = msg->hwnd; w; w = ::GetParent(w)) {
        if (CWindow* object = CWindow::FromHandle(w))
            if (object->PreTranslateMessage(msg))
                return true;
        if (w == top)
            break;
    }
    return false;
}

void RunMessageLoopUntilDestroyed(HWND window) {
    MSG msg;
    while (::IsWindow(window)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got < 0)
            return;
        if (PreTranslateChain(&msg, window))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// --- text --------------------------------------------------------------------------------

std::wstring GbkToWide(const char* text) {
    if (!text || !*text)
        return std::wstring();
    int n = ::MultiByteToWideChar(936, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(n));
    ::MultiByteToWideChar(936, 0, text, -1, buffer.data(), n);
    return std::wstring(buffer.data());
}

std::string WideToGbk(const wchar_t* text) {
    if (!text || !*text)
        return std::string();
    int n = ::WideCharToMultiByte(936, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(n));
    ::WideCharToMultiByte(936, 0, text, -1, buffer.data(), n, nullptr, nullptr);
    return std::string(buffer.data());
}

} // namespace fw
