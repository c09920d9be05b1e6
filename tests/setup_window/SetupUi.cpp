#include "SetupUi.h"

#include "Handles.h"
#include "WindowText.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace setupui {

namespace {

constexpr int kPaneFirst = 0xE900; // splitter, and the bar in pane (0, 0)
constexpr int kPagesPane = 0xE901; // the visible page of pane (0, 1)
constexpr int kPlaceholder = 8002; // only the setup window has it
constexpr int kFolderButton = 22;  // bar folder button height
constexpr int kFolderCount = 2;

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = {};
    ::GetClassNameW(w, name, 64);
    return name;
}

// A named callback: a lambda would not have the stdcall convention that
// 32-bit Windows calls it with.
BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD thread) {
    std::vector<HWND> out;
    ::EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = ::GetWindow(parent, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

bool IsDialogWindow(HWND w) {
    return ClassOf(w) == L"#32770" && ::IsWindowVisible(w);
}

LPARAM Point(POINT p) {
    return MAKELPARAM(p.x, p.y);
}

} // namespace

const char* PageName(Page page) {
    switch (page) {
    case Page::Parameters:
        return "parameters";
    case Page::HtmlHelp:
        return "html help";
    case Page::About:
        return "about";
    default:
        return "none";
    }
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    for (int waited = 0;; waited += 20) {
        if (condition())
            return true;
        if (waited >= timeoutMs)
            return false;
        ::Sleep(20);
    }
}

bool Ui::Attach(int timeoutMs) {
    bool found = WaitFor(
        [&] {
            for (HWND w : ThreadWindows(thread_))
                if (IsDialogWindow(w) && ::GetDlgItem(w, kPlaceholder) != nullptr) {
                    dialog_ = w;
                    return true;
                }
            return false;
        },
        timeoutMs);
    if (!found)
        return false;
    splitter_ = ::GetDlgItem(dialog_, kPaneFirst);
    if (splitter_ != nullptr)
        for (HWND c : Children(splitter_))
            if (::GetDlgCtrlID(c) == kPaneFirst)
                bar_ = c;
    // Let creation and the first paints finish.
    ::Sleep(200);
    return true;
}

bool Ui::WaitClosed(int timeoutMs) const {
    return WaitFor([&] { return !DialogAlive(); }, timeoutMs);
}

std::wstring Ui::Title() const {
    return fw::WindowText(dialog_);
}

Page Ui::VisiblePage() const {
    if (splitter_ == nullptr)
        return Page::None;
    for (HWND c : Children(splitter_)) {
        if (!::IsWindowVisible(c) || ::GetDlgCtrlID(c) != kPagesPane)
            continue;
        if (::GetDlgItem(c, 14001) != nullptr && ::GetDlgItem(c, 14002) != nullptr)
            return Page::Parameters;
        if (::GetDlgItem(c, 8010) != nullptr && ::GetDlgItem(c, 8009) != nullptr)
            return Page::About;
        return Page::HtmlHelp;
    }
    return Page::None;
}

bool Ui::WaitPage(Page page, int timeoutMs) const {
    return WaitFor([&] { return VisiblePage() == page; }, timeoutMs);
}

HWND Ui::ParamPage() const {
    if (splitter_ != nullptr)
        for (HWND c : Children(splitter_))
            if (::GetDlgItem(c, 14001) != nullptr && ::GetDlgItem(c, 14002) != nullptr)
                return c;
    return nullptr;
}

HWND Ui::HelpPage() const {
    if (splitter_ != nullptr)
        for (HWND c : Children(splitter_))
            if (::GetDlgItem(c, 8010) != nullptr && ::GetDlgItem(c, 8009) != nullptr)
                return c;
    return nullptr;
}

std::wstring Ui::FieldText(int id) const {
    return fw::WindowText(Field(id));
}

void Ui::SetField(int id, const std::wstring& text) const {
    ::SendMessageW(Field(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

HWND Ui::FocusedWindow() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(thread_, &info))
        return nullptr;
    return info.hwndFocus;
}

void Ui::Press(int buttonId) const {
    ::PostMessageW(::GetDlgItem(dialog_, buttonId), BM_CLICK, 0, 0);
}

HWND Ui::WaitMessageBox(int timeoutMs) const {
    HWND box = nullptr;
    WaitFor(
        [&] {
            for (HWND w : ThreadWindows(thread_))
                if (w != dialog_ && IsDialogWindow(w) && ::GetDlgItem(w, kPlaceholder) == nullptr) {
                    box = w;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return box;
}

std::wstring Ui::MessageBoxText(HWND box) {
    std::wstring text;
    for (HWND c : Children(box))
        if (ClassOf(c) == L"Static")
            text += fw::WindowText(c);
    return text;
}

bool Ui::CloseMessageBox(HWND box) {
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return WaitFor([&] { return ::IsWindow(box) == FALSE; });
}

std::wstring Ui::AnswerMessageBox(int timeoutMs) const {
    HWND box = WaitMessageBox(timeoutMs);
    if (box == nullptr)
        return L"";
    std::wstring text = MessageBoxText(box);
    CloseMessageBox(box);
    return text;
}

int Ui::LabelHeight(const std::wstring& text) const {
    RECT client{};
    ::GetClientRect(bar_, &client);
    fw::WindowDC dc = fw::AcquireDC(bar_);
    fw::SelectedObject font(dc.get(), ::GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, client.right, 0};
    ::DrawTextW(dc.get(), text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    return r.bottom - r.top;
}

POINT Ui::ItemPoint(int current, int k) const {
    RECT client{};
    ::GetClientRect(bar_, &client);
    // Every item text of the setup window is four characters: one height.
    const int label = LabelHeight(L"\x7B97\x6CD5\x4ECB\x7ECD");
    const int whole = 32 + 3 + label + 8;
    const int top = client.top + kFolderButton * (current + 1) - 1;
    const int y = top + k * (whole + 8);
    return POINT{(client.right - client.left) / 2, y + 8 - 3 + 16};
}

POINT Ui::FolderButtonPoint(int current, int folder) const {
    RECT client{};
    ::GetClientRect(bar_, &client);
    const int x = (client.right - client.left) / 2;
    if (folder > current)
        return POINT{x,
                     client.bottom - kFolderButton * (kFolderCount - folder) + kFolderButton / 2};
    return POINT{x, client.top + kFolderButton * folder - 1 + kFolderButton / 2};
}

POINT Ui::BelowItems(int current) const {
    RECT client{};
    ::GetClientRect(bar_, &client);
    const int bottom = client.bottom - kFolderButton * (kFolderCount - current - 1);
    return POINT{(client.right - client.left) / 2, bottom - 10};
}

std::vector<uint32_t> Ui::ItemIconPixels(int current, int k) const {
    const POINT middle = ItemPoint(current, k);
    const int left = middle.x - 16, top = middle.y - 16;
    std::vector<uint32_t> pixels;
    fw::WindowDC dc = fw::AcquireDC(bar_);
    for (int y = top; y < top + 32; ++y)
        for (int x = left; x < left + 32; ++x)
            pixels.push_back(::GetPixel(dc.get(), x, y));
    return pixels;
}

void Ui::ClickBar(POINT at) const {
    ::PostMessageW(bar_, WM_MOUSEMOVE, 0, Point(at));
    ::PostMessageW(bar_, WM_LBUTTONDOWN, MK_LBUTTON, Point(at));
    ::PostMessageW(bar_, WM_LBUTTONUP, 0, Point(at));
}

void Ui::DragBar(POINT from, POINT off, POINT to) const {
    ::PostMessageW(bar_, WM_MOUSEMOVE, 0, Point(from));
    ::PostMessageW(bar_, WM_LBUTTONDOWN, MK_LBUTTON, Point(from));
    ::PostMessageW(bar_, WM_MOUSEMOVE, MK_LBUTTON, Point(off));
    ::PostMessageW(bar_, WM_MOUSEMOVE, MK_LBUTTON, Point(to));
    ::PostMessageW(bar_, WM_LBUTTONUP, 0, Point(to));
}

void Ui::ForceClose() const {
    WaitFor(
        [&] {
            bool any = false;
            for (HWND w : ThreadWindows(thread_)) {
                if (!IsDialogWindow(w))
                    continue;
                any = true;
                if (::GetDlgItem(w, kPlaceholder) == nullptr)
                    ::PostMessageW(w, WM_COMMAND, IDOK, 0);
                else
                    ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
            }
            return !any;
        },
        10000);
}

void DrawOwnFrames() {
    // Under Xvfb no window manager draws captions; Wine draws them itself
    // when this program's windows are not "decorated".
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Wine\\AppDefaults\\test_setup_window.exe\\X11 Driver", 0,
                          nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t no[] = L"N";
    ::RegSetValueExW(key, L"Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>(no), sizeof no);
    ::RegCloseKey(key);
}

bool Ui::SaveScreenshot(const std::string& path, HWND also) const {
    ::RedrawWindow(dialog_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    ::Sleep(400);
    RECT r{};
    ::GetWindowRect(dialog_, &r);
    RECT other{};
    if (also != nullptr && ::GetWindowRect(also, &other))
        ::UnionRect(&r, &r, &other);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    fw::WindowDC screen = fw::AcquireDC(nullptr);
    fw::OwnedDC mem(::CreateCompatibleDC(screen.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h; // bottom-up, as the file wants it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::Bitmap dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || bits == nullptr || !mem)
        return false;
    bool ok;
    {
        fw::SelectedObject selected(mem.get(), dib.get());
        ok = ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY) != FALSE;
        ::GdiFlush();
    }
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    std::unique_ptr<FILE, int (*)(FILE*)> f(ok ? std::fopen(path.c_str(), "wb") : nullptr,
                                            &std::fclose);
    ok = f != nullptr && std::fwrite(&fh, sizeof fh, 1, f.get()) == 1 &&
         std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f.get()) == 1 &&
         std::fwrite(bits, 1, size, f.get()) == size;
    return ok;
}

} // namespace setupui
