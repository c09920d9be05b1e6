// The bar as a real window under Wine: driven by the mouse messages a user
// causes, with an owner that records every notification and answers it.
#include "GfxOutBarCtrl.h"
#include "WindowText.h"
#include "platform/win32/ModulePath.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace bar;

namespace {

struct Note {
    WPARAM code = 0;
    LPARAM arg = 0;
    int index = -1;
    std::string text;
    int dragFolder = -1;
    int dragItem = -1;
    // What the owner could read of the bar while answering.
    std::string orderSeen;
};

// The owner's record and reply; one test at a time uses them.
struct Recorder {
    std::vector<Note> notes;
    LRESULT reply = 1;
    CGfxOutBarCtrl* bar = nullptr;
};
Recorder* gRecorder = nullptr;

std::string Order(const CGfxOutBarCtrl& bar) {
    std::string s;
    const FolderEntry* f = bar.Model().Current();
    if (f == nullptr) {
        return s;
    }
    for (const auto& item : f->items) {
        s += item->text ? item->text->substr(item->text->size() - 1) : "?";
    }
    return s;
}

LRESULT CALLBACK OwnerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_BAR_NOTIFY && gRecorder != nullptr) {
        Note n;
        n.code = wp;
        n.arg = lp;
        if (wp == BAR_ITEM_RENAMED || wp == BAR_FOLDER_RENAMED) {
            const auto* r = reinterpret_cast<const BarNotifyRecord*>(lp);
            n.index = r->index;
            n.text = r->text ? r->text : "(null)";
        } else if (wp == BAR_ITEM_DRAGGED) {
            const auto* r = reinterpret_cast<const BarNotifyRecord*>(lp);
            n.dragFolder = r->dragFolder;
            n.dragItem = r->dragItem;
        }
        if (gRecorder->bar != nullptr) {
            n.orderSeen = Order(*gRecorder->bar);
        }
        gRecorder->notes.push_back(n);
        return (wp >= BAR_ITEM_RENAMED && wp <= BAR_ITEM_DRAGGED) ? gRecorder->reply : 0;
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

void RegisterTestClasses() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    WNDCLASSW wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BarTestOwner";
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    ::RegisterClassW(&wc);
}

// Simple icons drawn at run time: a coloured disc with a white ring, one per colour.
fw::ImageList MakeImages(int size) {
    fw::ImageList list(::ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 4, 1));
    const COLORREF colours[] = {RGB(220, 40, 40), RGB(40, 160, 60), RGB(40, 80, 220),
                                RGB(230, 180, 20)};
    fw::WindowDC screen = fw::AcquireDC(nullptr);
    for (COLORREF c : colours) {
        fw::MemoryDC mem(screen.get(), size, size);
        const RECT all{0, 0, size, size};
        fw::Brush key(::CreateSolidBrush(RGB(255, 0, 255)));
        ::FillRect(mem.dc(), &all, key.get());
        fw::Brush fill(::CreateSolidBrush(c));
        fw::Pen ring(::CreatePen(PS_SOLID, size / 8 > 0 ? size / 8 : 1, RGB(255, 255, 255)));
        {
            fw::SelectedObject b(mem.dc(), fill.get());
            fw::SelectedObject p(mem.dc(), ring.get());
            ::Ellipse(mem.dc(), 1, 1, size - 1, size - 1);
        }
        // Leave the DC before handing the bitmap over.
        fw::Bitmap copy(
            static_cast<HBITMAP>(::CopyImage(mem.bitmap(), IMAGE_BITMAP, size, size, 0)));
        ::ImageList_AddMasked(list.get(), copy.get(), RGB(255, 0, 255));
    }
    return list;
}

LPARAM At(POINT p) {
    return MAKELPARAM(p.x, p.y);
}
POINT Centre(const Rect& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Runs the messages the thread has now (paints, posted messages, due timers).
void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!fw::PreTranslateChain(&msg, nullptr)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// Runs the thread's messages, waiting for more, until done() holds; false if
// it still does not after limitMs.
bool PumpUntil(const std::function<bool()>& done, int limitMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        Pump();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void ParkCursor() {
    ::SetCursorPos(1200, 1000);
}

class BarWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        RegisterTestClasses();
        ParkCursor();
        gRecorder = &m_recorder;
        // Shared by all tests: under Wine without a window manager, destroying a
        // shown top-level window waits two seconds for X.
        static HWND owner =
            ::CreateWindowExW(0, L"BarTestOwner", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        static HWND frame =
            ::CreateWindowExW(0, L"BarTestOwner", L"frame", WS_POPUP | WS_VISIBLE, 20, 20, kWidth,
                              kHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        m_owner = owner;
        m_frame = frame;
        ASSERT_NE(m_owner, nullptr);
        ASSERT_NE(m_frame, nullptr);
        m_small = MakeImages(16);
        m_large = MakeImages(32);
    }

    void TearDown() override {
        m_bar.reset();
        // Children a test made beside the bar go with it.
        for (int i = 0; i < 16; ++i) {
            HWND child = ::GetWindow(m_frame, GW_CHILD);
            if (child == nullptr || !::DestroyWindow(child)) {
                break;
            }
        }
        if (::GetCapture() != nullptr) {
            ::ReleaseCapture();
        }
        gRecorder = nullptr;
        Pump();
    }

    // Three folders: 0 with six items, 1 with two, 2 with twelve.
    void MakeBar(DWORD flags) {
        m_bar = std::make_unique<CGfxOutBarCtrl>();
        const RECT r{0, 0, kWidth, kHeight};
        ASSERT_TRUE(m_bar->Create(WS_VISIBLE, r, m_frame, 1234, flags));
        m_bar->SetOwner(m_owner);
        m_bar->SetBarImageList(m_large.get(), 2);
        m_bar->SetBarImageList(m_small.get(), 1);
        m_bar->SetAnimationDelay(0);
        const int counts[] = {6, 2, 12};
        for (int f = 0; f < 3; ++f) {
            m_bar->AppendFolder(("Folder " + std::to_string(f)).c_str(), 0);
            for (int k = 0; k < counts[f]; ++k) {
                const std::string text = "Item " + std::to_string(k);
                m_bar->InsertFolderItem(f, -1, text.c_str(), k % 4, 0);
            }
        }
        m_bar->SelectFolder(0);
        m_recorder.bar = m_bar.get();
        Repaint();
        m_recorder.notes.clear();
    }

    HWND Bar() const { return m_bar->Hwnd(); }
    void Repaint() {
        ::UpdateWindow(m_frame);
        ::RedrawWindow(Bar(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Pump();
    }

    // Posts what follows the press, then presses: the gesture loop finds the
    // rest waiting in the queue.
    void Gesture(POINT down, const std::vector<POINT>& moves, POINT up) {
        Pump();
        for (POINT m : moves) {
            ::PostMessageW(Bar(), WM_MOUSEMOVE, MK_LBUTTON, At(m));
        }
        ::PostMessageW(Bar(), WM_LBUTTONUP, 0, At(up));
        ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(down));
        Pump();
    }
    void Click(POINT p) { Gesture(p, {}, p); }

    Rect FolderButton(int i) const { return *m_bar->Layout().FolderButtonRect(i); }
    POINT ItemPoint(int k) const { return Centre(m_bar->Layout().IconRect(k)); }
    // A point of the content area beside every item (small view items are narrow).
    POINT Beside(int k) const {
        const BarLayout l = m_bar->Layout();
        return POINT{l.ContentRect().right - 8, Centre(l.ItemRect(k)).y};
    }

    std::vector<WPARAM> Codes() const {
        std::vector<WPARAM> c;
        for (const Note& n : m_recorder.notes) {
            c.push_back(n.code);
        }
        return c;
    }

    // Closes the open editor as a user would, by a key, through the loop's
    // pre-translation.
    void KeyToEditor(WPARAM key) {
        ASSERT_NE(m_bar->Editor(), nullptr);
        HWND edit = m_bar->Editor()->Hwnd();
        ::PostMessageW(edit, WM_KEYDOWN, key, 1);
        EXPECT_TRUE(PumpUntil([&] { return m_bar->Editor() == nullptr; })) << "editor still open";
        EXPECT_FALSE(::IsWindow(edit));
    }

    void Screenshot(const char* name);

    static constexpr int kWidth = 160;
    static constexpr int kHeight = 400;
    Recorder m_recorder;
    HWND m_owner = nullptr;
    HWND m_frame = nullptr;
    fw::ImageList m_small;
    fw::ImageList m_large;
    std::unique_ptr<CGfxOutBarCtrl> m_bar;
};

// Writes (x, y, w, h) of a DC as a 24-bit BMP under <build>/screenshots;
// false if the file could not be written.
bool SaveBmp(const char* name, HDC src, int x, int y, int w, int h) {
    std::wstring dir = win32::ModuleFileName<wchar_t>(nullptr);
    dir = dir.substr(0, dir.find_last_of(L"\\/")); // bin
    dir = dir.substr(0, dir.find_last_of(L"\\/")) + L"\\screenshots";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    fw::Bitmap dib(::CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib) {
        return false;
    }
    fw::OwnedDC mem(::CreateCompatibleDC(src));
    {
        fw::SelectedObject sel(mem.get(), dib.get());
        ::BitBlt(mem.get(), 0, 0, w, h, src, x, y, SRCCOPY);
    }
    ::GdiFlush();
    const int stride = ((w * 3) + 3) & ~3;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride * h);
    const std::wstring path = dir + L"\\bar-" + std::wstring(name, name + strlen(name)) + L".bmp";
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f == nullptr) {
        return false;
    }
    fwrite(&fh, sizeof(fh), 1, f);
    fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f);
    fwrite(bits, 1, static_cast<size_t>(stride * h), f);
    return fclose(f) == 0;
}

// What the screen shows of the bar, frame included.
void BarWindowTest::Screenshot(const char* name) {
    RECT wr{};
    ::GetWindowRect(Bar(), &wr);
    fw::WindowDC src = fw::AcquireWindowDC(Bar());
    EXPECT_TRUE(SaveBmp(name, src.get(), 0, 0, wr.right - wr.left, wr.bottom - wr.top)) << name;
}

// Timer procedures that act while a gesture loop runs (it dispatches them).
BarWindowTest* gShot = nullptr;
void CALLBACK PressedShot(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    gShot->Screenshot("large-pressed");
    EXPECT_TRUE(gShot->m_bar->Model().lastDrawnPressed);
    EXPECT_EQ(gShot->m_bar->Model().hotItem, 2);
    ::PostMessageW(gShot->Bar(), WM_LBUTTONUP, 0, At(gShot->ItemPoint(2)));
}
HWND gReleaseTarget = nullptr;
bool gReleaseSent = false;
void CALLBACK LateRelease(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    gReleaseSent = true;
    ::PostMessageW(gReleaseTarget, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
}

// Where the message hook logs the ticks of one of the bar's timers, one test at a time.
struct TickLog {
    HWND bar = nullptr;
    const BarModel* model = nullptr;
    std::vector<int>* ticks = nullptr;
    UINT_PTR timer = 0;
};
TickLog gTickLog;
LRESULT CALLBACK WatchTicks(int code, WPARAM removed, LPARAM lp) {
    const auto* msg = reinterpret_cast<const MSG*>(lp);
    if (code == HC_ACTION && removed == PM_REMOVE && gTickLog.ticks != nullptr &&
        msg->hwnd == gTickLog.bar && msg->message == WM_TIMER && msg->wParam == gTickLog.timer) {
        gTickLog.ticks->push_back(gTickLog.model->firstVisible);
    }
    return ::CallNextHookEx(nullptr, code, removed, lp);
}

// While it lives, logs each tick of the bar's timer the loop takes, with the
// scroll position the tick finds.
struct TickWatch {
    TickWatch(HWND bar, const BarModel& model, UINT_PTR timer)
        : hook(::SetWindowsHookExW(WH_GETMESSAGE, &WatchTicks, nullptr, ::GetCurrentThreadId())) {
        gTickLog = {bar, &model, &ticks, timer};
    }
    ~TickWatch() {
        gTickLog = {};
        if (hook != nullptr) {
            ::UnhookWindowsHookEx(hook);
        }
    }
    TickWatch(const TickWatch&) = delete;
    TickWatch& operator=(const TickWatch&) = delete;
    std::vector<int> ticks;
    HHOOK hook;
};

} // namespace

// --- creation and plain operations ---------------------------------------------------

TEST_F(BarWindowTest, CreateSetsStylesAndFlags) {
    MakeBar(0x1FC);
    EXPECT_TRUE(::GetWindowLongW(Bar(), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_TRUE(::GetWindowLongW(Bar(), GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(::GetDlgCtrlID(Bar()), 1234);
    EXPECT_EQ(m_bar->Model().flags, 0x1FCu);
    EXPECT_FALSE(m_bar->UsesSmallIcons());
    EXPECT_EQ(m_bar->GetFolderCount(), 3);
    EXPECT_EQ(m_bar->GetItemCount(), 6);
    // Painting covers everything, so erasing is refused as done.
    fw::WindowDC dc = fw::AcquireDC(Bar());
    EXPECT_NE(::SendMessageW(Bar(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0), 0);
    // Sizing forgets the arrows until the next paint places them.
    m_bar->Model().downArrowShown = true;
    ::SetWindowPos(Bar(), nullptr, 0, 0, kWidth, kHeight - 10, SWP_NOZORDER);
    EXPECT_FALSE(m_bar->Model().downArrowShown);
}

TEST_F(BarWindowTest, CreatedByClassName) {
    const fw::RuntimeClass* rc = fw::RuntimeClass::FromName("CGfxOutBarCtrl");
    ASSERT_NE(rc, nullptr);
    std::unique_ptr<fw::CWindow> object(rc->CreateObject());
    auto* created = dynamic_cast<CGfxOutBarCtrl*>(object.get());
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetSelectedFolder(), 1);
    EXPECT_TRUE(created->Create(WS_VISIBLE, RECT{0, 0, 50, 50}, m_frame, 7, 0));
}

TEST_F(BarWindowTest, ImageListsAndSelectionAnimation) {
    MakeBar(0x1FC);
    EXPECT_EQ(m_bar->SetBarImageList(nullptr, 3), nullptr);
    EXPECT_EQ(m_bar->SetBarImageList(m_small.get(), 2), m_large.get()); // returns the previous
    EXPECT_EQ(m_bar->SetBarImageList(m_large.get(), 2), m_small.get());
    m_bar->SetSelectionAnimation(40);
    EXPECT_EQ(m_bar->Model().selectAnimPeriod, 40);
    Click(ItemPoint(2));
    const int step = m_bar->Model().selectAnimStep;
    // Ticks arrive while an item is selected.
    EXPECT_TRUE(PumpUntil([&] { return m_bar->Model().selectAnimStep != step; })) << "no tick";
    m_bar->SetSelectionAnimation(0);
    EXPECT_FALSE(::KillTimer(Bar(), TIMER_SELECT_ANIM)); // already gone, and its queued ticks
    const int stopped = m_bar->Model().selectAnimStep;
    Pump();
    EXPECT_EQ(m_bar->Model().selectAnimStep, stopped);
}

TEST_F(BarWindowTest, CursorsComeFromTheModule) {
    for (int id : {IDC_BAR_DRAG, IDC_BAR_FOLDER, IDC_BAR_NODROP}) {
        EXPECT_NE(::LoadCursorW(fw::ResourceModule(), MAKEINTRESOURCEW(id)), nullptr) << id;
    }
    MakeBar(0x1FC);
    // Over a folder button the bar shows its folder cursor.
    POINT p = Centre(FolderButton(1));
    ::ClientToScreen(Bar(), &p);
    ::SetCursorPos(p.x, p.y);
    ::PostMessageW(Bar(), WM_NULL, 0, 0);
    MSG msg;
    ::GetMessageW(&msg, nullptr, 0, 0); // makes the cursor position the message position
    EXPECT_EQ(::SendMessageW(Bar(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Bar()),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(fw::ResourceModule(), MAKEINTRESOURCEW(IDC_BAR_FOLDER)));
    ParkCursor();
}

TEST_F(BarWindowTest, NotifiesTheParentWithoutAnOwner) {
    MakeBar(0x1FC);
    m_bar->SetOwner(nullptr);
    // The frame's class is the recorder's too: the note arrives there.
    m_bar->SelectFolder(1);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(m_recorder.notes[0].arg, 1);
}

TEST_F(BarWindowTest, IndexesOutOfRangeDoNothing) {
    MakeBar(0x1FC);
    m_bar->SelectFolder(3);
    m_bar->SelectFolder(-1);
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(m_bar->GetSelectedFolder(), 0);
    EXPECT_EQ(m_bar->InsertFolderItem(3, 0, "x", 0, 0), -1);
    m_bar->BeginItemRename(6);
    m_bar->BeginFolderRename(3);
    EXPECT_EQ(m_bar->Editor(), nullptr);
    m_bar->DeleteItem(6);
    m_bar->DeleteFolder(-1);
    EXPECT_EQ(m_bar->GetItemCount(), 6);
    EXPECT_EQ(m_bar->GetFolderCount(), 3);
    // A selection left behind by deleted items is never used.
    m_bar->SetSelectionAnimation(20);
    Click(ItemPoint(4));
    EXPECT_EQ(m_bar->Model().selectedItem, 4);
    for (int k = 5; k >= 2; --k) {
        m_bar->DeleteItem(k);
    }
    {
        TickWatch watch(Bar(), m_bar->Model(), TIMER_SELECT_ANIM);
        ASSERT_NE(watch.hook, nullptr);
        // Nudge ticks with a stale selection.
        EXPECT_TRUE(PumpUntil([&] { return watch.ticks.size() >= 2; })) << "no ticks";
    }
    Repaint();
    EXPECT_EQ(m_bar->Model().SelectedItemChecked(), -1);
    // The commands without a context target do nothing.
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_REMOVE, 0);
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_RENAME, 0);
    EXPECT_EQ(m_bar->GetFolderCount(), 3);
    EXPECT_EQ(m_bar->Editor(), nullptr);
}

TEST_F(BarWindowTest, ViewCommandsAndTheirUpdateHandlers) {
    MakeBar(0x1FC);
    EXPECT_EQ(m_bar->UpdateCommandEnabled(ID_BAR_SMALL_ICONS), std::optional<bool>(true));
    EXPECT_EQ(m_bar->UpdateCommandEnabled(ID_BAR_LARGE_ICONS), std::optional<bool>(false));
    EXPECT_FALSE(m_bar->UpdateCommandEnabled(ID_BAR_RENAME).has_value());
    EXPECT_FALSE(m_bar->UpdateCommandEnabled(ID_BAR_REMOVE).has_value());
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_SMALL_ICONS, 0);
    EXPECT_TRUE(m_bar->UsesSmallIcons());
    EXPECT_EQ(m_bar->UpdateCommandEnabled(ID_BAR_SMALL_ICONS), std::optional<bool>(false));
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_LARGE_ICONS, 0);
    EXPECT_FALSE(m_bar->UsesSmallIcons());

    // With a context target, rename and remove act on it.
    m_bar->Model().contextTargetKind = 1;
    m_bar->Model().contextTargetIndex = 0;
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_REMOVE, 0);
    EXPECT_EQ(m_bar->GetItemCount(), 5);
    m_bar->Model().contextTargetKind = 0;
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_RENAME, 0);
    ASSERT_NE(m_bar->Editor(), nullptr);
    EXPECT_EQ(m_bar->Editor()->kind, CBarLabelEdit::kFolder);
    KeyToEditor(VK_ESCAPE);
}

// --- folder buttons ------------------------------------------------------------------

TEST_F(BarWindowTest, PressAndReleaseOnAFolderButtonSelectsIt) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(m_recorder.notes[0].arg, 2);
    EXPECT_EQ(m_bar->GetSelectedFolder(), 2);
    EXPECT_EQ(m_bar->GetItemCount(), 12);
    EXPECT_EQ(::GetCapture(), nullptr);
    // And back up to the first: the slide the other way round.
    Click(Centre(FolderButton(0)));
    EXPECT_EQ(m_bar->GetSelectedFolder(), 0);
    EXPECT_EQ(m_recorder.notes.size(), 2u);
}

TEST_F(BarWindowTest, ReleaseOverAnotherButtonSelectsThatOne) {
    MakeBar(0x1FC);
    const POINT one = Centre(FolderButton(1));
    const POINT two = Centre(FolderButton(2));
    Gesture(one, {POINT{one.x, one.y + 60}, two}, two);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(m_recorder.notes[0].arg, 2);
    EXPECT_EQ(m_bar->GetSelectedFolder(), 2);

    // Released over no button: nothing.
    m_recorder.notes.clear();
    const POINT zero = Centre(FolderButton(0));
    const POINT content = Centre(m_bar->Layout().ContentRect());
    Gesture(zero, {content}, content);
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(m_bar->GetSelectedFolder(), 2);
}

TEST_F(BarWindowTest, ReleaseOnTheCurrentFolderSendsNothing) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(0)));
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(m_bar->GetSelectedFolder(), 0);
}

TEST_F(BarWindowTest, FolderChangesWithoutSlideStillNotify) {
    MakeBar(0x0FC); // no BAR_ANIMATE_FOLDERS
    std::vector<DWORD> pauses;
    m_bar->SetFramePause([&pauses](DWORD ms) { pauses.push_back(ms); });
    Click(Centre(FolderButton(1)));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_TRUE(pauses.empty());
    m_bar->Model().flags |= BAR_ANIMATE_FOLDERS;
    m_bar->SetAnimationDelay(-1);
    Click(Centre(FolderButton(2)));
    EXPECT_EQ(m_recorder.notes.size(), 2u);
    EXPECT_EQ(m_bar->GetSelectedFolder(), 2);
    EXPECT_TRUE(pauses.empty());
    // With a delay the slide moves folder 2's button down one button height
    // per frame until it reaches the bottom, pausing after each frame.
    const int h = m_bar->Model().folderButtonHeight;
    const int bottom = m_bar->Layout().ContentRect().bottom;
    size_t frames = 0;
    for (int y = FolderButton(2).top + 1; y < bottom - h; y += h) {
        ++frames;
    }
    ASSERT_GE(frames, 2u);
    m_bar->SetAnimationDelay(10);
    Click(Centre(FolderButton(0)));
    EXPECT_EQ(pauses, std::vector<DWORD>(frames, 10));
    EXPECT_EQ(m_bar->GetSelectedFolder(), 0);
    // Selecting a folder resets scroll and selection.
    EXPECT_EQ(m_bar->Model().firstVisible, 0);
    EXPECT_EQ(m_bar->Model().selectedItem, -1);
}

// --- items ---------------------------------------------------------------------------

TEST_F(BarWindowTest, ItemClicksNotifyEveryTime) {
    MakeBar(0x1FC);
    Click(ItemPoint(1));
    Click(ItemPoint(1)); // the selected item again
    Click(ItemPoint(2));
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED, BAR_ITEM_CLICKED, BAR_ITEM_CLICKED}));
    EXPECT_EQ(m_recorder.notes[0].arg, 1);
    EXPECT_EQ(m_recorder.notes[1].arg, 1);
    EXPECT_EQ(m_recorder.notes[2].arg, 2);
    EXPECT_EQ(m_bar->Model().selectedItem, 2);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(m_bar->Model().hotItemPressed);
}

TEST_F(BarWindowTest, ReleaseOnAnotherItemIsNoClick) {
    MakeBar(0x1FC);
    Gesture(ItemPoint(1), {ItemPoint(2)}, ItemPoint(2));
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(Order(*m_bar), "012345");
    // Back onto the pressed item before release: a click after all.
    Gesture(ItemPoint(1), {ItemPoint(2), ItemPoint(1)}, ItemPoint(1));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED}));
}

TEST_F(BarWindowTest, NoGestureWhileAnotherWindowHoldsTheCapture) {
    MakeBar(0x1FC);
    ::SetCapture(m_owner);
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(ItemPoint(1)));
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(Centre(FolderButton(2))));
    EXPECT_EQ(::GetCapture(), m_owner);
    ::ReleaseCapture();
    Pump();
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(m_bar->GetSelectedFolder(), 0);
}

// Names a parameterised case by its name field.
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// One drag in the small view (room beside the items to start it): pressed on an
// item, out beside it, then over the items to an item or below the last one.
struct DragCase {
    const char* name;
    int from;
    int via;  // an item passed over first, or -1
    int onto; // an item, or kBelowLast
    LRESULT reply;
    bool notified;
    const char* order; // after the release
};
constexpr int kBelowLast = -1;

class BarDragTest : public BarWindowTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(BarDragTest, MovesWhatTheOwnerAccepts) {
    const DragCase& c = GetParam();
    MakeBar(0x1FD);
    m_recorder.reply = c.reply;
    const BarLayout l = m_bar->Layout();
    const POINT below{Centre(l.ItemRect(5)).x, l.ItemRect(5).bottom + 20};
    ASSERT_LT(below.y, l.ContentRect().bottom);
    const POINT onto = c.onto == kBelowLast ? below : ItemPoint(c.onto);
    std::vector<POINT> moves{Beside(c.from)};
    if (c.via >= 0) {
        moves.push_back(ItemPoint(c.via));
    }
    moves.push_back(onto);
    Gesture(ItemPoint(c.from), moves, onto);
    if (c.notified) {
        ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_DRAGGED}));
        EXPECT_EQ(m_recorder.notes[0].dragFolder, 0);
        EXPECT_EQ(m_recorder.notes[0].dragItem, c.from);
        EXPECT_EQ(m_recorder.notes[0].orderSeen, "012345"); // asked before the move
    } else {
        EXPECT_TRUE(m_recorder.notes.empty()); // neither a drag nor a click
    }
    EXPECT_EQ(Order(*m_bar), c.order);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(m_bar->Model().dropMarkIndex, c.onto == kBelowLast ? 6 : c.onto);
    EXPECT_EQ(m_bar->Model().dropMarkKind, c.onto == kBelowLast ? 2 : c.onto == 0 ? 0 : 1);
}

const DragCase kDrags[] = {
    // Item 1 dropped on item 4 lands at index 3, before it.
    {"OntoALaterItemLandsBeforeIt", 1, 3, 4, 1, true, "023145"},
    {"OntoAnEarlierItemLandsAtItsPlace", 4, -1, 0, 1, true, "401235"},
    {"OntoItselfSendsNothing", 1, -1, 1, 1, false, "012345"},
    {"BelowTheLastItemMovesToTheEnd", 2, -1, kBelowLast, 1, true, "013452"},
    {"RefusedKeepsTheOrder", 1, -1, 4, 0, true, "012345"},
};
INSTANTIATE_TEST_SUITE_P(Drags, BarDragTest, ::testing::ValuesIn(kDrags), CaseName<DragCase>);

TEST_F(BarWindowTest, WithoutDragItemsLeavingTheItemsChangesNothing) {
    MakeBar(0x17D); // small view, no BAR_DRAG_ITEMS
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(4)}, ItemPoint(4));
    EXPECT_TRUE(m_recorder.notes.empty());
    EXPECT_EQ(Order(*m_bar), "012345");
    // Released beside the items: no drop, no click; the press is not a drag.
    Gesture(ItemPoint(1), {Beside(1)}, Beside(1));
    EXPECT_TRUE(m_recorder.notes.empty());
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(1)}, ItemPoint(1));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED}));
}

TEST_F(BarWindowTest, HoverFramesFollowTheMouseAndEndOutside) {
    MakeBar(0x1FC);
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(ItemPoint(2)));
    EXPECT_EQ(m_bar->Model().hotItem, 2);
    EXPECT_EQ(m_bar->Model().hotFolder, -1);
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(Centre(FolderButton(1))));
    EXPECT_EQ(m_bar->Model().hotFolder, 1);
    EXPECT_EQ(m_bar->Model().hotItem, -1);
    ParkCursor(); // the hover timer finds the cursor outside and stops
    EXPECT_TRUE(PumpUntil([&] { return m_bar->Model().hotFolder == -1; })) << "still hot";
    EXPECT_FALSE(::KillTimer(Bar(), TIMER_HOVER));
}

// What the screen shows in a rectangle of the bar's client area.
std::vector<COLORREF> Pixels(HWND window, const Rect& r) {
    fw::WindowDC dc = fw::AcquireDC(window);
    std::vector<COLORREF> px;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            px.push_back(::GetPixel(dc.get(), x, y));
        }
    }
    return px;
}

TEST_F(BarWindowTest, SelectedIconNudgesOnlyWhenWhollyInside) {
    MakeBar(0x1FC);
    m_bar->SetSelectionAnimation(100000); // ticks are sent by hand below
    Click(ItemPoint(1));
    Repaint();
    const Rect around = m_bar->Layout().IconRect(1).Inflate(3, 3);
    const auto rest = Pixels(Bar(), around);
    m_bar->Model().selectAnimStep = -1;
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0); // step 0: left and down
    EXPECT_EQ(m_bar->Model().selectAnimStep, 0);
    EXPECT_NE(Pixels(Bar(), around), rest);
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0); // step 1: back at rest
    EXPECT_EQ(Pixels(Bar(), around), rest);

    // Item 5 is cut by the content area's bottom: its icon never moves.
    const BarLayout l = m_bar->Layout();
    ASSERT_GT(l.ItemRect(5).bottom, l.ContentRect().bottom);
    ASSERT_LT(l.ItemRect(5).top, l.ContentRect().bottom);
    m_bar->Model().selectedItem = 5;
    Rect cut = l.IconRect(5).Inflate(3, 3);
    cut.bottom = std::min(cut.bottom, l.ContentRect().bottom);
    const auto before = Pixels(Bar(), cut);
    m_bar->Model().selectAnimStep = -1;
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0);
    EXPECT_EQ(Pixels(Bar(), cut), before);
}

// --- scroll arrows -------------------------------------------------------------------

TEST_F(BarWindowTest, ArrowClicksScrollOneItemEach) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    Repaint();
    ASSERT_TRUE(m_bar->Model().downArrowShown);
    EXPECT_FALSE(m_bar->Model().upArrowShown);
    const POINT down = Centre(m_bar->Model().downArrowRect);
    Click(down);
    EXPECT_EQ(m_bar->Model().firstVisible, 1);
    Repaint();
    EXPECT_TRUE(m_bar->Model().upArrowShown);
    Click(down);
    EXPECT_EQ(m_bar->Model().firstVisible, 2);
    Repaint();
    Click(Centre(m_bar->Model().upArrowRect));
    EXPECT_EQ(m_bar->Model().firstVisible, 1);
    // Released outside the arrow: no step.
    Repaint();
    Gesture(down, {POINT{5, 200}}, POINT{5, 200});
    EXPECT_EQ(m_bar->Model().firstVisible, 1);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(m_bar->Model().downPressed);
}

TEST_F(BarWindowTest, HeldArrowRepeatsEvery300msUntilTheEnd) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    Repaint();
    ASSERT_TRUE(m_bar->Model().downArrowShown);
    // The repeat reads the cursor position of each tick: hold it over the arrow.
    POINT down = Centre(m_bar->Model().downArrowRect);
    POINT screen = down;
    ::ClientToScreen(Bar(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    Pump();
    // Find where the list ends: the first scroll position at which the last item fits.
    int end = 0;
    {
        BarModel& m = m_bar->Model();
        while (true) {
            m.firstVisible = end;
            if (!m_bar->Layout().CanScrollDown()) {
                break;
            }
            ++end;
        }
        m.firstVisible = 0;
    }
    ASSERT_GE(end, 3);
    std::vector<int> ticks;
    {
        TickWatch watch(Bar(), m_bar->Model(), TIMER_ARROW_REPEAT);
        ASSERT_NE(watch.hook, nullptr);
        // The button stays down: the loop must end by itself at the end of the
        // list. A release far later only guards against a hang.
        gReleaseTarget = Bar();
        gReleaseSent = false;
        const UINT_PTR late = ::SetTimer(nullptr, 0, 300 * (end + 1) + 20000, &LateRelease);
        ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(down));
        ::KillTimer(nullptr, late);
        ticks = watch.ticks;
    }
    EXPECT_FALSE(gReleaseSent);
    EXPECT_EQ(m_bar->Model().firstVisible, end);
    EXPECT_FALSE(m_bar->Layout().CanScrollDown());
    // One step per tick, then one tick that finds the end.
    std::vector<int> expected(static_cast<size_t>(end) + 1);
    for (int i = 0; i <= end; ++i) {
        expected[static_cast<size_t>(i)] = i;
    }
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(::GetCapture(), nullptr);
    Repaint();
    EXPECT_FALSE(m_bar->Model().downArrowShown); // gone at the next paint
    EXPECT_TRUE(m_bar->Model().upArrowShown);
    ParkCursor();
}

// --- rename in place -------------------------------------------------------------------

// An item rename: the editor opens over the label, gets text and is closed by a key.
struct RenameCase {
    const char* name;
    DWORD flags;
    int item;
    const wchar_t* typed;
    WPARAM key;
    LRESULT reply;
    bool notified;
    const char* label; // the item's label afterwards
};

class BarRenameTest : public BarWindowTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(BarRenameTest, ItemRenameEndedByAKey) {
    const RenameCase& c = GetParam();
    MakeBar(c.flags);
    m_recorder.reply = c.reply;
    m_bar->BeginItemRename(c.item);
    ASSERT_NE(m_bar->Editor(), nullptr);
    HWND edit = m_bar->Editor()->Hwnd();
    EXPECT_EQ(::GetFocus(), edit);
    EXPECT_EQ(::GetParent(edit), Bar());
    EXPECT_EQ(::GetDlgCtrlID(edit), 1);
    EXPECT_EQ(m_bar->Editor()->growSingleLine, (c.flags & BAR_SMALL_ICONS) != 0);
    EXPECT_EQ(fw::WindowText(edit), L"Item " + std::to_wstring(c.item));
    ::SetWindowTextW(edit, c.typed);
    KeyToEditor(c.key);
    if (c.notified) {
        ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_RENAMED}));
        EXPECT_EQ(m_recorder.notes[0].index, c.item);
        EXPECT_EQ(std::wstring(c.typed), fw::GbkToWide(m_recorder.notes[0].text.c_str()));
    } else {
        EXPECT_TRUE(m_recorder.notes.empty());
    }
    EXPECT_EQ(*m_bar->Model().Current()->items[static_cast<size_t>(c.item)]->text, c.label);
}

const RenameCase kRenames[] = {
    {"EnterCommits", 0x1FC, 1, L"Renamed", VK_RETURN, 1, true, "Renamed"},
    {"EscapeSendsNothing", 0x1FD, 2, L"Never", VK_ESCAPE, 1, false, "Item 2"},
    {"EmptySendsNothing", 0x1FD, 2, L"", VK_RETURN, 1, false, "Item 2"},
    {"RefusedKeepsTheName", 0x1FC, 0, L"Refused", VK_RETURN, 0, true, "Item 0"},
};
INSTANTIATE_TEST_SUITE_P(Renames, BarRenameTest, ::testing::ValuesIn(kRenames),
                         CaseName<RenameCase>);

TEST_F(BarWindowTest, ASecondRenameCommitsTheFirstAndTakesOver) {
    MakeBar(0x1FC);
    m_bar->BeginFolderRename(1);
    ASSERT_NE(m_bar->Editor(), nullptr);
    HWND first = m_bar->Editor()->Hwnd();
    ::SetWindowTextW(first, L"Tools");
    m_bar->BeginItemRename(2);
    ASSERT_NE(m_bar->Editor(), nullptr);
    EXPECT_EQ(m_bar->Editor()->kind, CBarLabelEdit::kItem);
    EXPECT_EQ(::GetFocus(), m_bar->Editor()->Hwnd());
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_RENAMED}));
    EXPECT_EQ(*m_bar->Model().folders[1]->name, "Tools");
    // Its posted close runs.
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(first); })) << "first editor still there";
    ::SetWindowTextW(m_bar->Editor()->Hwnd(), L"Second");
    KeyToEditor(VK_RETURN);
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_RENAMED, BAR_ITEM_RENAMED}));
    EXPECT_EQ(*m_bar->Model().Current()->items[2]->text, "Second");
}

TEST_F(BarWindowTest, FolderRenameAndRenameEndedByAClickOnTheBar) {
    MakeBar(0x1FC);
    m_bar->BeginFolderRename(2);
    ASSERT_NE(m_bar->Editor(), nullptr);
    EXPECT_TRUE(::GetWindowLongW(m_bar->Editor()->Hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ::SetWindowTextW(m_bar->Editor()->Hwnd(), L"Tools");
    KeyToEditor(VK_RETURN);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_RENAMED}));
    EXPECT_EQ(m_recorder.notes[0].index, 2);
    EXPECT_EQ(*m_bar->Model().folders[2]->name, "Tools");

    // A press on the bar takes the focus from the editor: that commits too.
    m_recorder.notes.clear();
    m_bar->BeginItemRename(3);
    ::SetWindowTextW(m_bar->Editor()->Hwnd(), L"Clicked away");
    const POINT content{5, m_bar->Layout().ContentRect().bottom - 5};
    Click(content);
    EXPECT_TRUE(PumpUntil([&] { return m_bar->Editor() == nullptr; })) << "editor still open";
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_RENAMED}));
    EXPECT_EQ(*m_bar->Model().Current()->items[3]->text, "Clicked away");
}

TEST_F(BarWindowTest, ItemEditorGrowsWithItsText) {
    MakeBar(0x1FD);
    m_bar->BeginItemRename(0);
    HWND edit = m_bar->Editor()->Hwnd();
    RECT before{};
    ::GetWindowRect(edit, &before);
    for (const char* c = "a much longer name"; *c; ++c) {
        ::SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*c), 1);
    }
    RECT after{};
    ::GetWindowRect(edit, &after);
    EXPECT_GT(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    RECT barRect{};
    ::GetWindowRect(Bar(), &barRect);
    EXPECT_LE(after.right, barRect.right);
    KeyToEditor(VK_ESCAPE);
}

// --- what it looks like ---------------------------------------------------------------

TEST_F(BarWindowTest, Screenshots) {
    MakeBar(0x1FC);
    ::SetWindowPos(m_frame, HWND_TOP, 20, 20, kWidth, kHeight, SWP_SHOWWINDOW);
    Repaint();
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(ItemPoint(1)));
    Screenshot("large-hot");
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(Centre(FolderButton(1))));
    Screenshot("large-hot-folder");

    // Pressed: the frame as drawn inside the press loop, caught by a posted probe.
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(POINT{2, 2}));
    m_bar->Model().hotItem = -1;
    // A hover tick inside the press loop would clear the pressed frame: let the
    // hover timer find the parked cursor and stop first.
    ASSERT_TRUE(PumpUntil([&] { return m_bar->Model().hotFolder == -1; })) << "still hot";
    Repaint();
    gShot = this;
    const UINT_PTR probe = ::SetTimer(nullptr, 0, 50, &PressedShot);
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(ItemPoint(2)));
    ::KillTimer(nullptr, probe);
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED}));

    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_SMALL_ICONS, 0);
    Repaint();
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(ItemPoint(3)));
    Screenshot("small-hot");

    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_LARGE_ICONS, 0);
    m_bar->SelectFolder(2);
    Repaint();
    Click(Centre(m_bar->Model().downArrowRect));
    Click(Centre(m_bar->Model().downArrowRect));
    Repaint();
    EXPECT_TRUE(m_bar->Model().upArrowShown);
    EXPECT_TRUE(m_bar->Model().downArrowShown);
    Screenshot("long-list-arrows");

    // Mid-slide frames, caught from the screen in the slide's second pause.
    for (int to : {0, 2}) {
        Repaint();
        m_bar->SetAnimationDelay(60);
        RECT wr{};
        ::GetWindowRect(Bar(), &wr);
        const char* name = to == 0 ? "slide-to-folder0" : "slide-to-folder2";
        int frames = 0;
        bool saved = false;
        m_bar->SetFramePause([&](DWORD ms) {
            // Up to the caught frame the slide pauses as usual: drawn without
            // its pauses, Wine had not put the frames on the screen when read.
            if (++frames <= 2) {
                ::Sleep(ms);
            }
            if (frames == 2) {
                fw::WindowDC screen = fw::AcquireDC(nullptr);
                saved = SaveBmp(name, screen.get(), wr.left, wr.top, wr.right - wr.left,
                                wr.bottom - wr.top);
            }
        });
        m_bar->SelectFolder(to);
        m_bar->SetFramePause({});
        m_bar->SetAnimationDelay(0);
        EXPECT_GT(frames, 2) << name;
        EXPECT_TRUE(saved) << name;
    }

    m_bar->SelectFolder(0);
    Repaint();
    m_bar->BeginItemRename(1);
    Pump();
    Screenshot("rename");
    KeyToEditor(VK_ESCAPE);
}
