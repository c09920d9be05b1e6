// The bar as a real window under Wine: driven by the mouse messages a user
// causes, with an owner that records every notification and answers it.
#include "GfxOutBarCtrl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
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

// Runs the thread's messages for a while (paints, timers, posted closes).
void Pump(int ms = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG msg;
    do {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!fw::PreTranslateChain(&msg, nullptr)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

void ParkCursor() {
    ::SetCursorPos(1200, 1000);
}

class BarWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        RegisterTestClasses();
        ParkCursor();
        gRecorder = &recorder_;
        // Shared by all tests: under Wine without a window manager, destroying a
        // shown top-level window waits two seconds for X.
        static HWND owner =
            ::CreateWindowExW(0, L"BarTestOwner", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        static HWND frame =
            ::CreateWindowExW(0, L"BarTestOwner", L"frame", WS_POPUP | WS_VISIBLE, 20, 20, kWidth,
                              kHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        owner_ = owner;
        frame_ = frame;
        ASSERT_NE(owner_, nullptr);
        ASSERT_NE(frame_, nullptr);
        small_ = MakeImages(16);
        large_ = MakeImages(32);
    }

    void TearDown() override {
        bar_.reset();
        // Children a test made beside the bar go with it.
        for (int i = 0; i < 16; ++i) {
            HWND child = ::GetWindow(frame_, GW_CHILD);
            if (child == nullptr || !::DestroyWindow(child)) {
                break;
            }
        }
        if (::GetCapture() != nullptr) {
            ::ReleaseCapture();
        }
        gRecorder = nullptr;
        Pump(10);
    }

    // Three folders: 0 with six items, 1 with two, 2 with twelve.
    void MakeBar(DWORD flags) {
        bar_ = std::make_unique<CGfxOutBarCtrl>();
        const RECT r{0, 0, kWidth, kHeight};
        ASSERT_TRUE(bar_->Create(WS_VISIBLE, r, frame_, 1234, flags));
        bar_->SetOwner(owner_);
        bar_->SetBarImageList(large_.get(), 2);
        bar_->SetBarImageList(small_.get(), 1);
        bar_->SetAnimationDelay(0);
        const int counts[] = {6, 2, 12};
        for (int f = 0; f < 3; ++f) {
            bar_->AppendFolder(("Folder " + std::to_string(f)).c_str(), 0);
            for (int k = 0; k < counts[f]; ++k) {
                const std::string text = "Item " + std::to_string(k);
                bar_->InsertFolderItem(f, -1, text.c_str(), k % 4, 0);
            }
        }
        bar_->SelectFolder(0);
        recorder_.bar = bar_.get();
        Repaint();
        recorder_.notes.clear();
    }

    HWND Bar() const { return bar_->Hwnd(); }
    void Repaint() {
        ::UpdateWindow(frame_);
        ::RedrawWindow(Bar(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Pump(20);
    }

    // Posts what follows the press, then presses: the gesture loop finds the
    // rest waiting in the queue.
    void Gesture(POINT down, const std::vector<POINT>& moves, POINT up) {
        Pump(5);
        for (POINT m : moves) {
            ::PostMessageW(Bar(), WM_MOUSEMOVE, MK_LBUTTON, At(m));
        }
        ::PostMessageW(Bar(), WM_LBUTTONUP, 0, At(up));
        ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(down));
        Pump(20);
    }
    void Click(POINT p) { Gesture(p, {}, p); }

    Rect FolderButton(int i) const { return *bar_->Layout().FolderButtonRect(i); }
    POINT ItemPoint(int k) const { return Centre(bar_->Layout().IconRect(k)); }
    // A point of the content area beside every item (small view items are narrow).
    POINT Beside(int k) const {
        const BarLayout l = bar_->Layout();
        return POINT{l.ContentRect().right - 8, Centre(l.ItemRect(k)).y};
    }

    std::vector<WPARAM> Codes() const {
        std::vector<WPARAM> c;
        for (const Note& n : recorder_.notes) {
            c.push_back(n.code);
        }
        return c;
    }

    // Closes the open editor as a user would, by a key, through the loop's
    // pre-translation.
    void KeyToEditor(WPARAM key) {
        ASSERT_NE(bar_->Editor(), nullptr);
        HWND edit = bar_->Editor()->Hwnd();
        ::PostMessageW(edit, WM_KEYDOWN, key, 1);
        for (int i = 0; i < 50 && bar_->Editor() != nullptr; ++i) {
            Pump(10);
        }
        EXPECT_EQ(bar_->Editor(), nullptr);
        EXPECT_FALSE(::IsWindow(edit));
    }

    void Screenshot(const char* name);

    static constexpr int kWidth = 160;
    static constexpr int kHeight = 400;
    Recorder recorder_;
    HWND owner_ = nullptr;
    HWND frame_ = nullptr;
    fw::ImageList small_;
    fw::ImageList large_;
    std::unique_ptr<CGfxOutBarCtrl> bar_;
};

// Copies what the screen shows of the bar into a 24-bit BMP under
// <build>/screenshots.
// Writes (x, y, w, h) of a DC as a 24-bit BMP under <build>/screenshots;
// false if the file could not be written.
bool SaveBmp(const char* name, HDC src, int x, int y, int w, int h) {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe);
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
    EXPECT_TRUE(gShot->bar_->Model().lastDrawnPressed);
    EXPECT_EQ(gShot->bar_->Model().hotItem, 2);
    ::PostMessageW(gShot->Bar(), WM_LBUTTONUP, 0, At(gShot->ItemPoint(2)));
}
HWND gReleaseTarget = nullptr;
void CALLBACK LateRelease(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ::PostMessageW(gReleaseTarget, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
}

} // namespace

// --- creation and plain operations ---------------------------------------------------

TEST_F(BarWindowTest, CreateSetsStylesAndFlags) {
    MakeBar(0x1FC);
    EXPECT_TRUE(::GetWindowLongW(Bar(), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_TRUE(::GetWindowLongW(Bar(), GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(::GetDlgCtrlID(Bar()), 1234);
    EXPECT_EQ(bar_->Model().flags, 0x1FCu);
    EXPECT_FALSE(bar_->UsesSmallIcons());
    EXPECT_EQ(bar_->GetFolderCount(), 3);
    EXPECT_EQ(bar_->GetItemCount(), 6);
    // Painting covers everything, so erasing is refused as done.
    fw::WindowDC dc = fw::AcquireDC(Bar());
    EXPECT_NE(::SendMessageW(Bar(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0), 0);
    // Sizing forgets the arrows until the next paint places them.
    bar_->Model().downArrowShown = true;
    ::SetWindowPos(Bar(), nullptr, 0, 0, kWidth, kHeight - 10, SWP_NOZORDER);
    EXPECT_FALSE(bar_->Model().downArrowShown);
}

TEST_F(BarWindowTest, CreatedByClassName) {
    const fw::RuntimeClass* rc = fw::RuntimeClass::FromName("CGfxOutBarCtrl");
    ASSERT_NE(rc, nullptr);
    std::unique_ptr<fw::CWindow> object(rc->CreateObject());
    auto* created = dynamic_cast<CGfxOutBarCtrl*>(object.get());
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->GetSelectedFolder(), 1);
    EXPECT_TRUE(created->Create(WS_VISIBLE, RECT{0, 0, 50, 50}, frame_, 7, 0));
}

TEST_F(BarWindowTest, ImageListsAndSelectionAnimation) {
    MakeBar(0x1FC);
    EXPECT_EQ(bar_->SetBarImageList(nullptr, 3), nullptr);
    EXPECT_EQ(bar_->SetBarImageList(small_.get(), 2), large_.get()); // returns the previous
    EXPECT_EQ(bar_->SetBarImageList(large_.get(), 2), small_.get());
    bar_->SetSelectionAnimation(40);
    EXPECT_EQ(bar_->Model().selectAnimPeriod, 40);
    Click(ItemPoint(2));
    const int step = bar_->Model().selectAnimStep;
    Pump(300);
    EXPECT_NE(bar_->Model().selectAnimStep, step); // ticks arrive while an item is selected
    bar_->SetSelectionAnimation(0);
    Pump(50);
    const int stopped = bar_->Model().selectAnimStep;
    Pump(200);
    EXPECT_EQ(bar_->Model().selectAnimStep, stopped);
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
    bar_->SetOwner(nullptr);
    // The frame's class is the recorder's too: the note arrives there.
    bar_->SelectFolder(1);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(recorder_.notes[0].arg, 1);
}

TEST_F(BarWindowTest, IndexesOutOfRangeDoNothing) {
    MakeBar(0x1FC);
    bar_->SelectFolder(3);
    bar_->SelectFolder(-1);
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(bar_->GetSelectedFolder(), 0);
    EXPECT_EQ(bar_->InsertFolderItem(3, 0, "x", 0, 0), -1);
    bar_->BeginItemRename(6);
    bar_->BeginFolderRename(3);
    EXPECT_EQ(bar_->Editor(), nullptr);
    bar_->DeleteItem(6);
    bar_->DeleteFolder(-1);
    EXPECT_EQ(bar_->GetItemCount(), 6);
    EXPECT_EQ(bar_->GetFolderCount(), 3);
    // A selection left behind by deleted items is never used.
    bar_->SetSelectionAnimation(20);
    Click(ItemPoint(4));
    EXPECT_EQ(bar_->Model().selectedItem, 4);
    for (int k = 5; k >= 2; --k) {
        bar_->DeleteItem(k);
    }
    Pump(150); // nudge ticks with a stale selection
    Repaint();
    EXPECT_EQ(bar_->Model().SelectedItemChecked(), -1);
    // The commands without a context target do nothing.
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_REMOVE, 0);
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_RENAME, 0);
    EXPECT_EQ(bar_->GetFolderCount(), 3);
    EXPECT_EQ(bar_->Editor(), nullptr);
}

TEST_F(BarWindowTest, ViewCommandsAndTheirUpdateHandlers) {
    MakeBar(0x1FC);
    EXPECT_EQ(bar_->UpdateCommandEnabled(ID_BAR_SMALL_ICONS), std::optional<bool>(true));
    EXPECT_EQ(bar_->UpdateCommandEnabled(ID_BAR_LARGE_ICONS), std::optional<bool>(false));
    EXPECT_FALSE(bar_->UpdateCommandEnabled(ID_BAR_RENAME).has_value());
    EXPECT_FALSE(bar_->UpdateCommandEnabled(ID_BAR_REMOVE).has_value());
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_SMALL_ICONS, 0);
    EXPECT_TRUE(bar_->UsesSmallIcons());
    EXPECT_EQ(bar_->UpdateCommandEnabled(ID_BAR_SMALL_ICONS), std::optional<bool>(false));
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_LARGE_ICONS, 0);
    EXPECT_FALSE(bar_->UsesSmallIcons());

    // With a context target, rename and remove act on it.
    bar_->Model().contextTargetKind = 1;
    bar_->Model().contextTargetIndex = 0;
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_REMOVE, 0);
    EXPECT_EQ(bar_->GetItemCount(), 5);
    bar_->Model().contextTargetKind = 0;
    ::SendMessageW(Bar(), WM_COMMAND, ID_BAR_RENAME, 0);
    ASSERT_NE(bar_->Editor(), nullptr);
    EXPECT_EQ(bar_->Editor()->kind, CBarLabelEdit::kFolder);
    KeyToEditor(VK_ESCAPE);
}

// --- folder buttons ------------------------------------------------------------------

TEST_F(BarWindowTest, PressAndReleaseOnAFolderButtonSelectsIt) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(recorder_.notes[0].arg, 2);
    EXPECT_EQ(bar_->GetSelectedFolder(), 2);
    EXPECT_EQ(bar_->GetItemCount(), 12);
    EXPECT_EQ(::GetCapture(), nullptr);
    // And back up to the first: the slide the other way round.
    Click(Centre(FolderButton(0)));
    EXPECT_EQ(bar_->GetSelectedFolder(), 0);
    EXPECT_EQ(recorder_.notes.size(), 2u);
}

TEST_F(BarWindowTest, ReleaseOverAnotherButtonSelectsThatOne) {
    MakeBar(0x1FC);
    const POINT one = Centre(FolderButton(1));
    const POINT two = Centre(FolderButton(2));
    Gesture(one, {POINT{one.x, one.y + 60}, two}, two);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    EXPECT_EQ(recorder_.notes[0].arg, 2);
    EXPECT_EQ(bar_->GetSelectedFolder(), 2);

    // Released over no button: nothing.
    recorder_.notes.clear();
    const POINT zero = Centre(FolderButton(0));
    const POINT content = Centre(bar_->Layout().ContentRect());
    Gesture(zero, {content}, content);
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(bar_->GetSelectedFolder(), 2);
}

TEST_F(BarWindowTest, ReleaseOnTheCurrentFolderSendsNothing) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(0)));
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(bar_->GetSelectedFolder(), 0);
}

TEST_F(BarWindowTest, FolderChangesWithoutSlideStillNotify) {
    MakeBar(0x0FC); // no BAR_ANIMATE_FOLDERS
    Click(Centre(FolderButton(1)));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_CHANGED}));
    bar_->Model().flags |= BAR_ANIMATE_FOLDERS;
    bar_->SetAnimationDelay(-1);
    const auto start = std::chrono::steady_clock::now();
    Click(Centre(FolderButton(2)));
    EXPECT_EQ(recorder_.notes.size(), 2u);
    EXPECT_EQ(bar_->GetSelectedFolder(), 2);
    // With the default delay a slide takes visible time, frame by frame.
    bar_->SetAnimationDelay(10);
    Click(Centre(FolderButton(0)));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 50);
    EXPECT_EQ(bar_->GetSelectedFolder(), 0);
    // Selecting a folder resets scroll and selection.
    EXPECT_EQ(bar_->Model().firstVisible, 0);
    EXPECT_EQ(bar_->Model().selectedItem, -1);
}

// --- items ---------------------------------------------------------------------------

TEST_F(BarWindowTest, ItemClicksNotifyEveryTime) {
    MakeBar(0x1FC);
    Click(ItemPoint(1));
    Click(ItemPoint(1)); // the selected item again
    Click(ItemPoint(2));
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED, BAR_ITEM_CLICKED, BAR_ITEM_CLICKED}));
    EXPECT_EQ(recorder_.notes[0].arg, 1);
    EXPECT_EQ(recorder_.notes[1].arg, 1);
    EXPECT_EQ(recorder_.notes[2].arg, 2);
    EXPECT_EQ(bar_->Model().selectedItem, 2);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(bar_->Model().hotItemPressed);
}

TEST_F(BarWindowTest, ReleaseOnAnotherItemIsNoClick) {
    MakeBar(0x1FC);
    Gesture(ItemPoint(1), {ItemPoint(2)}, ItemPoint(2));
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(Order(*bar_), "012345");
    // Back onto the pressed item before release: a click after all.
    Gesture(ItemPoint(1), {ItemPoint(2), ItemPoint(1)}, ItemPoint(1));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED}));
}

TEST_F(BarWindowTest, NoGestureWhileAnotherWindowHoldsTheCapture) {
    MakeBar(0x1FC);
    ::SetCapture(owner_);
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(ItemPoint(1)));
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(Centre(FolderButton(2))));
    EXPECT_EQ(::GetCapture(), owner_);
    ::ReleaseCapture();
    Pump(20);
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(bar_->GetSelectedFolder(), 0);
}

TEST_F(BarWindowTest, DragOntoALaterItemLandsBeforeIt) {
    MakeBar(0x1FD); // small view: room beside the items to start a drag
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(3), ItemPoint(4)}, ItemPoint(4));
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_DRAGGED}));
    EXPECT_EQ(recorder_.notes[0].dragFolder, 0);
    EXPECT_EQ(recorder_.notes[0].dragItem, 1);
    EXPECT_EQ(recorder_.notes[0].orderSeen, "012345"); // asked before the move
    EXPECT_EQ(Order(*bar_), "023145");                 // item 1 now at index 3
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(bar_->Model().dropMarkIndex, 4);

    // Onto an earlier item: lands at its place.
    recorder_.notes.clear();
    Gesture(ItemPoint(4), {Beside(4), ItemPoint(0)}, ItemPoint(0));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_DRAGGED}));
    EXPECT_EQ(Order(*bar_), "402315");
}

TEST_F(BarWindowTest, DragOntoItselfSendsNothing) {
    MakeBar(0x1FD);
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(1)}, ItemPoint(1));
    EXPECT_TRUE(recorder_.notes.empty()); // neither a drag nor a click
    EXPECT_EQ(Order(*bar_), "012345");
}

TEST_F(BarWindowTest, DragBelowTheLastItemMovesToTheEnd) {
    MakeBar(0x1FD);
    const BarLayout l = bar_->Layout();
    const POINT below{Centre(l.ItemRect(5)).x, l.ItemRect(5).bottom + 20};
    ASSERT_LT(below.y, l.ContentRect().bottom);
    Gesture(ItemPoint(2), {Beside(2), below}, below);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_DRAGGED}));
    EXPECT_EQ(recorder_.notes[0].dragItem, 2);
    EXPECT_EQ(Order(*bar_), "013452");
    EXPECT_EQ(bar_->Model().dropMarkKind, 2);
}

TEST_F(BarWindowTest, RefusedDragKeepsTheOrder) {
    MakeBar(0x1FD);
    recorder_.reply = 0;
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(4)}, ItemPoint(4));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_DRAGGED}));
    EXPECT_EQ(Order(*bar_), "012345");
}

TEST_F(BarWindowTest, WithoutDragItemsLeavingTheItemsChangesNothing) {
    MakeBar(0x17D); // small view, no BAR_DRAG_ITEMS
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(4)}, ItemPoint(4));
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(Order(*bar_), "012345");
    // Released beside the items: no drop, no click; the press is not a drag.
    Gesture(ItemPoint(1), {Beside(1)}, Beside(1));
    EXPECT_TRUE(recorder_.notes.empty());
    Gesture(ItemPoint(1), {Beside(1), ItemPoint(1)}, ItemPoint(1));
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_CLICKED}));
}

TEST_F(BarWindowTest, HoverFramesFollowTheMouseAndEndOutside) {
    MakeBar(0x1FC);
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(ItemPoint(2)));
    EXPECT_EQ(bar_->Model().hotItem, 2);
    EXPECT_EQ(bar_->Model().hotFolder, -1);
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(Centre(FolderButton(1))));
    EXPECT_EQ(bar_->Model().hotFolder, 1);
    EXPECT_EQ(bar_->Model().hotItem, -1);
    ParkCursor(); // the hover timer finds the cursor outside
    Pump(300);
    EXPECT_EQ(bar_->Model().hotFolder, -1);
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
    bar_->SetSelectionAnimation(100000); // ticks are sent by hand below
    Click(ItemPoint(1));
    Repaint();
    const Rect around = bar_->Layout().IconRect(1).Inflate(3, 3);
    const auto rest = Pixels(Bar(), around);
    bar_->Model().selectAnimStep = -1;
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0); // step 0: left and down
    EXPECT_EQ(bar_->Model().selectAnimStep, 0);
    EXPECT_NE(Pixels(Bar(), around), rest);
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0); // step 1: back at rest
    EXPECT_EQ(Pixels(Bar(), around), rest);

    // Item 5 is cut by the content area's bottom: its icon never moves.
    const BarLayout l = bar_->Layout();
    ASSERT_GT(l.ItemRect(5).bottom, l.ContentRect().bottom);
    ASSERT_LT(l.ItemRect(5).top, l.ContentRect().bottom);
    bar_->Model().selectedItem = 5;
    Rect cut = l.IconRect(5).Inflate(3, 3);
    cut.bottom = std::min(cut.bottom, l.ContentRect().bottom);
    const auto before = Pixels(Bar(), cut);
    bar_->Model().selectAnimStep = -1;
    ::SendMessageW(Bar(), WM_TIMER, TIMER_SELECT_ANIM, 0);
    EXPECT_EQ(Pixels(Bar(), cut), before);
}

// --- scroll arrows -------------------------------------------------------------------

TEST_F(BarWindowTest, ArrowClicksScrollOneItemEach) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    Repaint();
    ASSERT_TRUE(bar_->Model().downArrowShown);
    EXPECT_FALSE(bar_->Model().upArrowShown);
    const POINT down = Centre(bar_->Model().downArrowRect);
    Click(down);
    EXPECT_EQ(bar_->Model().firstVisible, 1);
    Repaint();
    EXPECT_TRUE(bar_->Model().upArrowShown);
    Click(down);
    EXPECT_EQ(bar_->Model().firstVisible, 2);
    Repaint();
    Click(Centre(bar_->Model().upArrowRect));
    EXPECT_EQ(bar_->Model().firstVisible, 1);
    // Released outside the arrow: no step.
    Repaint();
    Gesture(down, {POINT{5, 200}}, POINT{5, 200});
    EXPECT_EQ(bar_->Model().firstVisible, 1);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(bar_->Model().downPressed);
}

TEST_F(BarWindowTest, HeldArrowRepeatsEvery300msUntilTheEnd) {
    MakeBar(0x1FC);
    Click(Centre(FolderButton(2)));
    Repaint();
    ASSERT_TRUE(bar_->Model().downArrowShown);
    // The repeat reads the cursor position of each tick: hold it over the arrow.
    POINT down = Centre(bar_->Model().downArrowRect);
    POINT screen = down;
    ::ClientToScreen(Bar(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    Pump(20);
    // Find where the list ends: the first scroll position at which the last item fits.
    int end = 0;
    {
        BarModel& m = bar_->Model();
        while (true) {
            m.firstVisible = end;
            if (!bar_->Layout().CanScrollDown()) {
                break;
            }
            ++end;
        }
        m.firstVisible = 0;
    }
    ASSERT_GE(end, 3);
    // The button stays down: the loop must end by itself at the end of the
    // list. A release far later only guards against a hang.
    gReleaseTarget = Bar();
    const UINT_PTR late = ::SetTimer(nullptr, 0, 300 * (end + 8), &LateRelease);
    const auto start = std::chrono::steady_clock::now();
    ::SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(down));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    ::KillTimer(nullptr, late);
    EXPECT_EQ(bar_->Model().firstVisible, end);
    EXPECT_FALSE(bar_->Layout().CanScrollDown());
    // One step per 300 ms tick, then one tick that finds the end.
    EXPECT_GE(ms, 300 * end - 100);
    EXPECT_LT(ms, 300 * (end + 1) + 1500);
    EXPECT_EQ(::GetCapture(), nullptr);
    Repaint();
    EXPECT_FALSE(bar_->Model().downArrowShown); // gone at the next paint
    EXPECT_TRUE(bar_->Model().upArrowShown);
    ParkCursor();
}

// --- rename in place -------------------------------------------------------------------

TEST_F(BarWindowTest, ItemRenameEndedByEnter) {
    MakeBar(0x1FC);
    bar_->BeginItemRename(1);
    ASSERT_NE(bar_->Editor(), nullptr);
    EXPECT_EQ(::GetFocus(), bar_->Editor()->Hwnd());
    EXPECT_EQ(::GetParent(bar_->Editor()->Hwnd()), Bar());
    EXPECT_EQ(::GetDlgCtrlID(bar_->Editor()->Hwnd()), 1);
    wchar_t text[64]{};
    ::GetWindowTextW(bar_->Editor()->Hwnd(), text, 64);
    EXPECT_EQ(std::wstring(text), L"Item 1");
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"Renamed");
    KeyToEditor(VK_RETURN);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_RENAMED}));
    EXPECT_EQ(recorder_.notes[0].index, 1);
    EXPECT_EQ(recorder_.notes[0].text, "Renamed");
    EXPECT_EQ(*bar_->Model().Current()->items[1]->text, "Renamed");
}

TEST_F(BarWindowTest, RenameEndedByEscapeOrEmptySendsNothing) {
    MakeBar(0x1FD);
    bar_->BeginItemRename(2);
    ASSERT_NE(bar_->Editor(), nullptr);
    EXPECT_TRUE(bar_->Editor()->growSingleLine);
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"Never");
    KeyToEditor(VK_ESCAPE);
    bar_->BeginItemRename(2);
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"");
    KeyToEditor(VK_RETURN);
    EXPECT_TRUE(recorder_.notes.empty());
    EXPECT_EQ(*bar_->Model().Current()->items[2]->text, "Item 2");
}

TEST_F(BarWindowTest, RefusedRenameKeepsTheName) {
    MakeBar(0x1FC);
    recorder_.reply = 0;
    bar_->BeginItemRename(0);
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"Refused");
    KeyToEditor(VK_RETURN);
    EXPECT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_RENAMED}));
    EXPECT_EQ(*bar_->Model().Current()->items[0]->text, "Item 0");
}

TEST_F(BarWindowTest, FolderRenameAndRenameEndedByAClickOnTheBar) {
    MakeBar(0x1FC);
    bar_->BeginFolderRename(2);
    ASSERT_NE(bar_->Editor(), nullptr);
    EXPECT_TRUE(::GetWindowLongW(bar_->Editor()->Hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"Tools");
    KeyToEditor(VK_RETURN);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_FOLDER_RENAMED}));
    EXPECT_EQ(recorder_.notes[0].index, 2);
    EXPECT_EQ(*bar_->Model().folders[2]->name, "Tools");

    // A press on the bar takes the focus from the editor: that commits too.
    recorder_.notes.clear();
    bar_->BeginItemRename(3);
    ::SetWindowTextW(bar_->Editor()->Hwnd(), L"Clicked away");
    const POINT content{5, bar_->Layout().ContentRect().bottom - 5};
    Click(content);
    Pump(30);
    EXPECT_EQ(bar_->Editor(), nullptr);
    ASSERT_EQ(Codes(), (std::vector<WPARAM>{BAR_ITEM_RENAMED}));
    EXPECT_EQ(*bar_->Model().Current()->items[3]->text, "Clicked away");
}

TEST_F(BarWindowTest, ItemEditorGrowsWithItsText) {
    MakeBar(0x1FD);
    bar_->BeginItemRename(0);
    HWND edit = bar_->Editor()->Hwnd();
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
    ::SetWindowPos(frame_, HWND_TOP, 20, 20, kWidth, kHeight, SWP_SHOWWINDOW);
    Repaint();
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(ItemPoint(1)));
    Screenshot("large-hot");
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(Centre(FolderButton(1))));
    Screenshot("large-hot-folder");

    // Pressed: the frame as drawn inside the press loop, caught by a posted probe.
    ::SendMessageW(Bar(), WM_MOUSEMOVE, 0, At(POINT{2, 2}));
    bar_->Model().hotItem = -1;
    // A hover tick inside the press loop would clear the pressed frame: let the
    // hover timer find the parked cursor and stop first.
    for (int i = 0; i < 100 && bar_->Model().hotFolder >= 0; ++i) {
        Pump(10);
    }
    ASSERT_EQ(bar_->Model().hotFolder, -1);
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
    bar_->SelectFolder(2);
    Repaint();
    Click(Centre(bar_->Model().downArrowRect));
    Click(Centre(bar_->Model().downArrowRect));
    Repaint();
    EXPECT_TRUE(bar_->Model().upArrowShown);
    EXPECT_TRUE(bar_->Model().downArrowShown);
    Screenshot("long-list-arrows");

    // Mid-slide frames, caught from another thread while the bar's thread sleeps
    // between frames.
    for (int to : {0, 2}) {
        Repaint();
        bar_->SetAnimationDelay(60);
        RECT wr{};
        ::GetWindowRect(Bar(), &wr);
        const char* name = to == 0 ? "slide-to-folder0" : "slide-to-folder2";
        bool saved = false;
        std::thread catcher([&] {
            ::Sleep(180);
            fw::WindowDC screen = fw::AcquireDC(nullptr);
            saved = SaveBmp(name, screen.get(), wr.left, wr.top, wr.right - wr.left,
                            wr.bottom - wr.top);
        });
        bar_->SelectFolder(to);
        catcher.join();
        EXPECT_TRUE(saved) << name;
        bar_->SetAnimationDelay(0);
    }

    bar_->SelectFolder(0);
    Repaint();
    bar_->BeginItemRename(1);
    Pump(20);
    Screenshot("rename");
    KeyToEditor(VK_ESCAPE);
}
