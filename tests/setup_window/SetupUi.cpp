#include "SetupUi.h"

#include "Handles.h"
#include "WindowText.h"

#include <atomic>
#include <cstdio>
#include <map>
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

// Settle messages carry a serial; the hook on the window's thread records the
// last one that thread took from its queue (posted messages come in order).
std::atomic<WPARAM> gSettlePosted{0};
std::atomic<WPARAM> gSettleTaken{0};

UINT SettleMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"setupui.settle");
    return message;
}

LRESULT CALLBACK SeeSettle(int code, WPARAM removal, LPARAM message) {
    const MSG* msg = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == SettleMessage())
        gSettleTaken.store(msg->wParam);
    return ::CallNextHookEx(nullptr, code, removal, message);
}

BOOL CALLBACK FindPendingPaint(HWND w, LPARAM pending) {
    if (::GetUpdateRect(w, nullptr, FALSE))
        *reinterpret_cast<bool*>(pending) = true;
    return TRUE;
}

// Whether the window or any window inside it still has an area to paint.
bool PaintPending(HWND w) {
    bool pending = ::GetUpdateRect(w, nullptr, FALSE) != FALSE;
    ::EnumChildWindows(w, FindPendingPaint, reinterpret_cast<LPARAM>(&pending));
    return pending;
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
            for (HWND w : ThreadWindows(m_thread))
                if (IsDialogWindow(w) && ::GetDlgItem(w, kPlaceholder) != nullptr) {
                    m_dialog = w;
                    return true;
                }
            return false;
        },
        timeoutMs);
    if (!found)
        return false;
    m_hook.reset(::SetWindowsHookExW(WH_GETMESSAGE, SeeSettle, nullptr, m_thread));
    m_splitter = ::GetDlgItem(m_dialog, kPaneFirst);
    if (m_splitter != nullptr)
        for (HWND c : Children(m_splitter))
            if (::GetDlgCtrlID(c) == kPaneFirst)
                m_bar = c;
    // Creation and the first paints done.
    return Settle();
}

bool Ui::Settle(int timeoutMs) const {
    if (!m_hook)
        return false;
    const WPARAM serial = ++gSettlePosted;
    if (!::PostMessageW(m_dialog, SettleMessage(), serial, 0))
        return false;
    return WaitFor([&] { return gSettleTaken.load() >= serial; }, timeoutMs) &&
           WaitFor([&] { return DialogAlive() && !PaintPending(m_dialog); }, timeoutMs);
}

bool Ui::WaitClosed(int timeoutMs) const {
    return WaitFor([&] { return !DialogAlive(); }, timeoutMs);
}

std::wstring Ui::Title() const {
    return fw::WindowText(m_dialog);
}

Page Ui::VisiblePage() const {
    if (m_splitter == nullptr)
        return Page::None;
    for (HWND c : Children(m_splitter)) {
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
    if (m_splitter != nullptr)
        for (HWND c : Children(m_splitter))
            if (::GetDlgItem(c, 14001) != nullptr && ::GetDlgItem(c, 14002) != nullptr)
                return c;
    return nullptr;
}

HWND Ui::HelpPage() const {
    if (m_splitter != nullptr)
        for (HWND c : Children(m_splitter))
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
    if (!::GetGUIThreadInfo(m_thread, &info))
        return nullptr;
    return info.hwndFocus;
}

void Ui::Press(int buttonId) const {
    ::PostMessageW(::GetDlgItem(m_dialog, buttonId), BM_CLICK, 0, 0);
}

HWND Ui::WaitMessageBox(int timeoutMs) const {
    HWND box = nullptr;
    WaitFor(
        [&] {
            for (HWND w : ThreadWindows(m_thread))
                if (w != m_dialog && IsDialogWindow(w) &&
                    ::GetDlgItem(w, kPlaceholder) == nullptr) {
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
    ::GetClientRect(m_bar, &client);
    fw::WindowDC dc = fw::AcquireDC(m_bar);
    fw::SelectedObject font(dc.get(), ::GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, client.right, 0};
    ::DrawTextW(dc.get(), text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    return r.bottom - r.top;
}

POINT Ui::ItemPoint(int current, int k) const {
    RECT client{};
    ::GetClientRect(m_bar, &client);
    // Every item text of the setup window is four characters: one height.
    const int label = LabelHeight(L"\x7B97\x6CD5\x4ECB\x7ECD");
    const int whole = 32 + 3 + label + 8;
    const int top = client.top + kFolderButton * (current + 1) - 1;
    const int y = top + k * (whole + 8);
    return POINT{(client.right - client.left) / 2, y + 8 - 3 + 16};
}

POINT Ui::FolderButtonPoint(int current, int folder) const {
    RECT client{};
    ::GetClientRect(m_bar, &client);
    const int x = (client.right - client.left) / 2;
    if (folder > current)
        return POINT{x,
                     client.bottom - kFolderButton * (kFolderCount - folder) + kFolderButton / 2};
    return POINT{x, client.top + kFolderButton * folder - 1 + kFolderButton / 2};
}

POINT Ui::BelowItems(int current) const {
    RECT client{};
    ::GetClientRect(m_bar, &client);
    const int bottom = client.bottom - kFolderButton * (kFolderCount - current - 1);
    return POINT{(client.right - client.left) / 2, bottom - 10};
}

std::vector<uint32_t> Ui::ItemIconPixels(int current, int k) const {
    const POINT middle = ItemPoint(current, k);
    const int left = middle.x - 16, top = middle.y - 16;
    std::vector<uint32_t> pixels;
    fw::WindowDC dc = fw::AcquireDC(m_bar);
    for (int y = top; y < top + 32; ++y)
        for (int x = left; x < left + 32; ++x)
            pixels.push_back(::GetPixel(dc.get(), x, y));
    return pixels;
}

void Ui::ClickBar(POINT at) const {
    ::PostMessageW(m_bar, WM_MOUSEMOVE, 0, Point(at));
    ::PostMessageW(m_bar, WM_LBUTTONDOWN, MK_LBUTTON, Point(at));
    ::PostMessageW(m_bar, WM_LBUTTONUP, 0, Point(at));
}

void Ui::DragBar(POINT from, POINT off, POINT to) const {
    ::PostMessageW(m_bar, WM_MOUSEMOVE, 0, Point(from));
    ::PostMessageW(m_bar, WM_LBUTTONDOWN, MK_LBUTTON, Point(from));
    ::PostMessageW(m_bar, WM_MOUSEMOVE, MK_LBUTTON, Point(off));
    ::PostMessageW(m_bar, WM_MOUSEMOVE, MK_LBUTTON, Point(to));
    ::PostMessageW(m_bar, WM_LBUTTONUP, 0, Point(to));
}

void Ui::ForceClose() const {
    WaitFor(
        [&] {
            bool any = false;
            for (HWND w : ThreadWindows(m_thread)) {
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

Shot Ui::Capture(HWND also) const {
    ::RedrawWindow(m_dialog, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    if (!Settle() || (also != nullptr && !WaitFor([&] { return !PaintPending(also); })))
        return Shot{};
    Shot shot;
    RECT r{};
    ::GetWindowRect(m_dialog, &r);
    RECT other{};
    if (also != nullptr && ::GetWindowRect(also, &other))
        ::UnionRect(&r, &r, &other);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return shot;
    fw::WindowDC screen = fw::AcquireDC(nullptr);
    fw::OwnedDC mem(::CreateCompatibleDC(screen.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::Bitmap dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || bits == nullptr || !mem)
        return shot;
    {
        fw::SelectedObject selected(mem.get(), dib.get());
        if (!::BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY))
            return shot;
        ::GdiFlush();
    }
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    shot.pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i)
        shot.pixels.push_back(p[i] & 0xFFFFFFu);
    shot.screen = r;
    return shot;
}

bool Ui::SaveScreenshot(const std::string& path, HWND also) const {
    return Capture(also).SaveBmp(path);
}

uint32_t Shot::At(POINT point) const {
    if (!::PtInRect(&screen, point))
        return 0;
    return pixels[static_cast<size_t>((point.y - screen.top) * Width() + point.x - screen.left)];
}

namespace {
// Calls f with each pixel of the shot inside the screen rectangle.
template <typename F> void EachPixel(const Shot& shot, const RECT& area, F f) {
    RECT in{};
    if (!::IntersectRect(&in, &area, &shot.screen))
        return;
    for (LONG y = in.top; y < in.bottom; ++y)
        for (LONG x = in.left; x < in.right; ++x)
            f(shot.At(POINT{x, y}));
}
} // namespace

uint32_t Shot::MostCommon(const RECT& area) const {
    std::map<uint32_t, size_t> counts;
    EachPixel(*this, area, [&](uint32_t c) { ++counts[c]; });
    uint32_t best = 0;
    size_t most = 0;
    for (const auto& c : counts)
        if (c.second > most) {
            most = c.second;
            best = c.first;
        }
    return best;
}

size_t Shot::PixelsUnlike(const RECT& area, uint32_t colour) const {
    size_t n = 0;
    EachPixel(*this, area, [&](uint32_t c) { n += c != colour; });
    return n;
}

bool Shot::SaveBmp(const std::string& path) const {
    const int w = Width(), h = Height();
    if (w <= 0 || h <= 0 || pixels.size() != static_cast<size_t>(w) * static_cast<size_t>(h))
        return false;
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    const DWORD size = stride * static_cast<DWORD>(h);
    std::vector<unsigned char> rows(size, 0);
    for (int y = 0; y < h; ++y) { // bottom-up, as the file wants it
        unsigned char* out = &rows[static_cast<size_t>(h - 1 - y) * stride];
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pixels[static_cast<size_t>(y * w + x)];
            *out++ = static_cast<unsigned char>(c);
            *out++ = static_cast<unsigned char>(c >> 8);
            *out++ = static_cast<unsigned char>(c >> 16);
        }
    }
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + size;
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    return f != nullptr && std::fwrite(&fh, sizeof fh, 1, f.get()) == 1 &&
           std::fwrite(&ih, sizeof ih, 1, f.get()) == 1 &&
           std::fwrite(rows.data(), 1, size, f.get()) == size;
}

} // namespace setupui
