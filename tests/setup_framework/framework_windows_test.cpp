// The window framework on real windows under Wine: handles, dispatch,
// dialogs with data exchange, the switching splitter, the layout manager on
// a window and the HTML help views.
#include "Dialog.h"
#include "HelpPath.h"
#include "HelpViews.h"
#include "LayoutWindow.h"
#include "Splitter.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace fw;

namespace {

RECT RectInParent(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A top-level window that records what its children send it.
class RecordingFrame : public CWindow {
public:
    std::vector<UINT> commands;
    std::vector<UINT_PTR> notifyCodes;
    LRESULT notifyAnswer = 1234;
    int created = 0;

protected:
    int OnCreate(CREATESTRUCTW* cs) override {
        ++created;
        return CWindow::OnCreate(cs);
    }
    bool OnCommand(WPARAM wParam, LPARAM) override {
        commands.push_back(LOWORD(wParam));
        return true;
    }
    bool OnNotify(WPARAM, LPARAM lParam, LRESULT& result) override {
        notifyCodes.push_back(reinterpret_cast<NMHDR*>(lParam)->code);
        result = notifyAnswer;
        return true;
    }
};

class CTestView : public CWindow {
    FW_DECLARE_DYNCREATE(CTestView)
public:
    int initialUpdates = 0;

protected:
    void OnInitialUpdate() override { ++initialUpdates; }
};
FW_IMPLEMENT_DYNCREATE(CTestView)

class CFailingView : public CWindow {
    FW_DECLARE_DYNCREATE(CFailingView)
public:
    bool CreateView(HWND, UINT, DWORD, const RECT&, CreateContext*) override { return false; }
};
FW_IMPLEMENT_DYNCREATE(CFailingView)

class CTestForm : public CFormView {
    FW_DECLARE_DYNCREATE(CTestForm)
public:
    CTestForm() : CFormView(501) {}
    int32_t value = 77;

protected:
    void DoDataExchange(CDataExchange& dx) override { DDX_Text(dx, 201, value); }
};
FW_IMPLEMENT_DYNCREATE(CTestForm)

class FrameworkWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        ASSERT_TRUE(frame.Create(0, nullptr, L"frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 RECT{0, 0, 500, 300}, nullptr, 0));
        ::ShowWindow(frame.Hwnd(), SW_SHOWNOACTIVATE);
    }
    void TearDown() override {
        frame.DestroyWindow();
        ::CoUninitialize();
    }
    RecordingFrame frame;
};

} // namespace

// --- handles and dispatch -------------------------------------------------------------

namespace {
struct CountingClose {
    int* count;
    void operator()(int) const { ++*count; }
};
} // namespace

TEST(Handles, ClosedOnceAndMovedNotCopied) {
    int closes = 0;
    {
        UniqueHandle<int, CountingClose> a(5, CountingClose{&closes});
        UniqueHandle<int, CountingClose> b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 5);
        UniqueHandle<int, CountingClose> c(7, CountingClose{&closes});
        c = std::move(b); // closes 7, takes 5
        EXPECT_EQ(closes, 1);
        EXPECT_EQ(c.get(), 5);
        EXPECT_EQ(c.release(), 5);
    }
    EXPECT_EQ(closes, 1); // released, so not closed again
    static_assert(!std::is_copy_constructible_v<Font>, "handles are moved, never copied");
}

TEST(Handles, MemoryDCAndSavedDC) {
    WindowDC screen = AcquireDC(nullptr);
    ASSERT_TRUE(screen);
    MemoryDC memory(screen.get(), 20, 10);
    ASSERT_TRUE(memory.ok());
    {
        SavedDC saved(memory.dc());
        ::SetTextColor(memory.dc(), RGB(1, 2, 3));
    }
    EXPECT_NE(::GetTextColor(memory.dc()), RGB(1, 2, 3));
    Brush red(::CreateSolidBrush(RGB(255, 0, 0)));
    RECT all{0, 0, 20, 10};
    ::FillRect(memory.dc(), &all, red.get());
    EXPECT_EQ(::GetPixel(memory.dc(), 19, 9), RGB(255, 0, 0));
}

TEST_F(FrameworkWindows, CreateAttachesBeforeOnCreateAndDetachesOnDestroy) {
    EXPECT_EQ(frame.created, 1);
    EXPECT_EQ(CWindow::FromHandle(frame.Hwnd()), &frame);
    HWND w = frame.Hwnd();
    frame.DestroyWindow();
    EXPECT_EQ(frame.Hwnd(), nullptr);
    EXPECT_EQ(CWindow::FromHandle(w), nullptr);
    EXPECT_TRUE(
        frame.Create(0, nullptr, L"again", WS_OVERLAPPEDWINDOW, RECT{0, 0, 100, 100}, nullptr, 0));
}

TEST_F(FrameworkWindows, DynamicCreationByName) {
    const RuntimeClass* c = RuntimeClass::FromName("CHtmlViewVt318");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c, FW_RUNTIME_CLASS(CHtmlViewVt318));
    EXPECT_NE(RuntimeClass::FromName("CIntroHtmlView"), nullptr);
    EXPECT_EQ(RuntimeClass::FromName("CNoSuchView"), nullptr);
    EXPECT_EQ(RuntimeClass::FromName(nullptr), nullptr);
}

// --- data exchange --------------------------------------------------------------------

namespace {
class ExchangeDialog : public CDialog {
public:
    ExchangeDialog() : CDialog(500) {
        SetValidationReporter([this](HWND, const std::wstring& text) { messages.push_back(text); });
    }
    int32_t pcl = 10;     // 101, signed in [0, 20]
    uint32_t tch = 62;    // 102, unsigned in [0, 1024]
    uint32_t cafc = 7000; // 103, unsigned in [0, 32767]
    std::wstring note = L"注释";
    std::vector<std::wstring> messages;
    bool cancelAtInit = false;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, 101, pcl);
        DDV_MinMaxInt(dx, pcl, 0, 20);
        DDX_Text(dx, 102, tch);
        DDV_MinMaxUInt(dx, tch, 0, 1024);
        DDX_Text(dx, 103, cafc);
        DDV_MinMaxUInt(dx, cafc, 0, 32767);
        DDX_Text(dx, 104, note);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (cancelAtInit)
            ::PostMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return TRUE;
    }
};
} // namespace

TEST(DataExchange, StandardMessagesComeFromTheStringTable) {
    EXPECT_EQ(LoadResourceString(IDS_PARSE_INT), L"请键入一个整数。");
    EXPECT_EQ(LoadResourceString(IDS_PARSE_UINT), L"“请填入一个正整数。”");
    EXPECT_EQ(LoadResourceString(IDS_PARSE_INT_RANGE), L"“请填入一个在%1和%2之间的整数。”");
}

TEST(DataExchange, LoadsMembersIntoControlsAtInit) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    EXPECT_EQ(WindowText(d.GetDlgItem(101)), L"10");
    EXPECT_EQ(WindowText(d.GetDlgItem(103)), L"7000");
    EXPECT_EQ(WindowText(d.GetDlgItem(104)), L"注释");
}

TEST(DataExchange, AllValidSaves) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::SetWindowTextW(d.GetDlgItem(101), L"20");
    ::SetWindowTextW(d.GetDlgItem(102), L" 1024 ");
    ::SetWindowTextW(d.GetDlgItem(104), L"新");
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(d.pcl, 20);
    EXPECT_EQ(d.tch, 1024u);
    EXPECT_EQ(d.note, L"新");
    EXPECT_TRUE(d.messages.empty());
}

TEST(DataExchange, NotAnIntegerStopsAtTheField) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::ShowWindow(d.Hwnd(), SW_SHOW);
    ::SetWindowTextW(d.GetDlgItem(101), L"5");
    ::SetWindowTextW(d.GetDlgItem(102), L"12x");
    ::SetWindowTextW(d.GetDlgItem(103), L"100");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], L"“请填入一个正整数。”");
    EXPECT_EQ(d.pcl, 5);      // before the failing field: copied
    EXPECT_EQ(d.tch, 62u);    // the failing field: unchanged, it was no number
    EXPECT_EQ(d.cafc, 7000u); // after it: untouched
    EXPECT_EQ(::GetFocus(), d.GetDlgItem(102));
}

TEST(DataExchange, SignedFieldMessageAndNegativeUnsigned) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::SetWindowTextW(d.GetDlgItem(101), L"abc");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], L"请键入一个整数。");
    ::SetWindowTextW(d.GetDlgItem(101), L"1");
    ::SetWindowTextW(d.GetDlgItem(102), L"-1");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(d.messages.size(), 2u);
    EXPECT_EQ(d.messages[1], L"“请填入一个正整数。”");
}

TEST(DataExchange, OutOfRangeKeepsTheParsedValueAndNamesTheBounds) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::ShowWindow(d.Hwnd(), SW_SHOW);
    ::SetWindowTextW(d.GetDlgItem(101), L"21");
    ::SetWindowTextW(d.GetDlgItem(102), L"5");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], L"“请填入一个在0和20之间的整数。”");
    EXPECT_EQ(d.pcl, 21);
    EXPECT_EQ(d.tch, 62u);
    EXPECT_EQ(::GetFocus(), d.GetDlgItem(101));

    ::SetWindowTextW(d.GetDlgItem(101), L"0");
    ::SetWindowTextW(d.GetDlgItem(103), L"32768");
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(d.messages.size(), 2u);
    EXPECT_EQ(d.messages[1], L"“请填入一个在0和32767之间的整数。”");
    EXPECT_EQ(d.cafc, 32768u);
    EXPECT_EQ(d.tch, 5u);
}

TEST(DataExchange, ModalLoopEndsWithCancel) {
    ExchangeDialog d;
    d.cancelAtInit = true;
    EXPECT_EQ(d.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(d.Hwnd(), nullptr);
}

TEST(DataExchange, OkWithAFailingFieldStaysOpen) {
    ExchangeDialog d;
    ASSERT_TRUE(d.CreateModeless());
    ::SetWindowTextW(d.GetDlgItem(101), L"99");
    ::SendMessageW(d.Hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(d.Ended());
    ::SetWindowTextW(d.GetDlgItem(101), L"9");
    ::SendMessageW(d.Hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.Result(), IDOK);
    EXPECT_EQ(d.pcl, 9);
}

TEST(DataExchange, MissingTemplateFailsCleanly) {
    CDialog d(4242);
    EXPECT_FALSE(d.CreateModeless());
    EXPECT_EQ(d.DoModal(), -1);
}

// --- splitter ---------------------------------------------------------------------------

namespace {
class SplitterTest : public FrameworkWindows {
protected:
    void SetUp() override {
        FrameworkWindows::SetUp();
        ASSERT_TRUE(splitter.CreateStatic(frame.Hwnd(), 1, 2));
        ::MoveWindow(splitter.Hwnd(), 0, 0, 400, 200, TRUE);
    }
    CSwitchSplitterWnd splitter;
};
} // namespace

TEST_F(SplitterTest, ThreeViewsInOnePaneOnlyTheVisibleOneCarriesThePaneId) {
    const int ids[3] = {splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr),
                        splitter.AddView(0, 1, "CTestView", SIZE{0, 0}, nullptr),
                        splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr)};
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 3);
    CWindow* views[3] = {splitter.GetView(1), splitter.GetView(2), splitter.GetView(3)};
    for (CWindow* v : views) {
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(static_cast<CTestView*>(v)->initialUpdates, 1);
    }
    const int paneId = splitter.IdFromRowCol(0, 1);
    EXPECT_EQ(paneId, 0xE901);
    EXPECT_EQ(views[2]->GetDlgCtrlID(), paneId);
    EXPECT_TRUE(::IsWindowVisible(views[2]->Hwnd()));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(views[i]->GetDlgCtrlID(), 0);
        EXPECT_FALSE(::IsWindowVisible(views[i]->Hwnd()));
    }
    EXPECT_EQ(splitter.GetPane(0, 1), views[2]->Hwnd());

    EXPECT_EQ(splitter.ShowView(1), 1);
    EXPECT_EQ(splitter.VisibleView(0, 1), 1);
    EXPECT_EQ(splitter.GetPane(0, 1), views[0]->Hwnd());
    EXPECT_TRUE(::IsWindowVisible(views[0]->Hwnd()));
    EXPECT_FALSE(::IsWindowVisible(views[2]->Hwnd()));
    EXPECT_EQ(views[2]->GetDlgCtrlID(), 0);

    // Unknown ids change nothing.
    EXPECT_EQ(splitter.ShowView(-1), 0);
    EXPECT_EQ(splitter.ShowView(4), 0);
    EXPECT_EQ(splitter.ShowView(0), 0);
    EXPECT_EQ(splitter.VisibleView(0, 1), 1);
    EXPECT_EQ(splitter.GetPane(0, 1), views[0]->Hwnd());
    EXPECT_EQ(splitter.GetView(-1), nullptr);
    EXPECT_EQ(splitter.GetView(0), nullptr);
}

TEST_F(SplitterTest, LayoutKeepsTheTopMarginAndGivesTheLastColumnTheRest) {
    const int id = splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr);
    ASSERT_EQ(id, 1);
    splitter.SetColumnInfo(0, 100, 0);
    splitter.ShowView(id); // lays out again
    const RECT r = RectInParent(splitter.GetView(id)->Hwnd());
    EXPECT_EQ(r.left, 104);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right, 400);
    EXPECT_EQ(r.bottom, 200);
    EXPECT_EQ(splitter.ColumnWidth(0), 100);
    EXPECT_EQ(splitter.ColumnWidth(1), 296);
    const RECT inside = splitter.GetInsideRect();
    EXPECT_EQ(inside.top, 5);
}

TEST_F(SplitterTest, AFailedViewReturnsMinusOneAndUsesNoId) {
    ASSERT_EQ(splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr), 1);
    CWindow* first = splitter.GetView(1);
    EXPECT_EQ(splitter.AddView(0, 1, FW_RUNTIME_CLASS(CFailingView), SIZE{0, 0}, nullptr), -1);
    EXPECT_EQ(splitter.AddView(0, 1, "CNoSuchView", SIZE{0, 0}, nullptr), -1);
    EXPECT_EQ(
        splitter.AddView(0, 1, static_cast<const RuntimeClass*>(nullptr), SIZE{0, 0}, nullptr), -1);
    EXPECT_EQ(splitter.AddView(0, 5, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr), -1);
    // The pane shows its former view again, with the pane's id.
    EXPECT_EQ(splitter.VisibleView(0, 1), 1);
    EXPECT_EQ(splitter.GetPane(0, 1), first->Hwnd());
    EXPECT_TRUE(::IsWindowVisible(first->Hwnd()));
    EXPECT_EQ(splitter.GetView(2), nullptr);
    EXPECT_EQ(splitter.ShowView(2), 0);
    EXPECT_EQ(splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr), 2);
}

TEST_F(SplitterTest, WithoutTrackingABarNeitherDragsNorChangesTheCursor) {
    ::SetWindowPos(frame.Hwnd(), HWND_TOP, 0, 0, 500, 300, SWP_SHOWWINDOW);
    splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr);
    splitter.SetColumnInfo(0, 100, 0);
    splitter.RecalcLayout();
    POINT bar{101, 50};
    ASSERT_EQ(splitter.HitTest(bar).kind, SplitHitKind::ColumnBar);
    POINT screen = bar;
    ::ClientToScreen(splitter.Hwnd(), &screen);
    const LPARAM screenPos = MAKELPARAM(screen.x, screen.y);
    const LPARAM clientPos = MAKELPARAM(bar.x, bar.y);

    EXPECT_EQ(::SendMessageW(splitter.Hwnd(), WM_NCHITTEST, 0, screenPos), HTCLIENT);

    splitter.EnableTracking(false);
    EXPECT_EQ(::SendMessageW(splitter.Hwnd(), WM_NCHITTEST, 0, screenPos), HTNOWHERE);
    HCURSOR arrow = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HCURSOR sizeWE = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEWE));
    ::SetCursorPos(screen.x, screen.y);
    ::SetCursor(arrow);
    ::SendMessageW(splitter.Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(splitter.Hwnd()),
                   MAKELPARAM(HTNOWHERE, WM_MOUSEMOVE));
    EXPECT_NE(::GetCursor(), sizeWE);
    // Even a press delivered straight to the client area does not start a drag.
    ::SendMessageW(splitter.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, clientPos);
    EXPECT_FALSE(splitter.IsTracking());
    EXPECT_NE(::GetCapture(), splitter.Hwnd());
    ::SendMessageW(splitter.Hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 50));
    ::SendMessageW(splitter.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(150, 50));
    EXPECT_EQ(splitter.ColumnWidth(0), 100);

    // With tracking the same gesture moves the bar.
    splitter.EnableTracking(true);
    ::SendMessageW(splitter.Hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(splitter.Hwnd()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), sizeWE);
    ::SendMessageW(splitter.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, clientPos);
    EXPECT_TRUE(splitter.IsTracking());
    EXPECT_EQ(::GetCapture(), splitter.Hwnd());
    ::SendMessageW(splitter.Hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(151, 50));
    ::SendMessageW(splitter.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(151, 50));
    EXPECT_FALSE(splitter.IsTracking());
    EXPECT_EQ(splitter.ColumnWidth(0), 150);
}

TEST_F(SplitterTest, UnhandledCommandsAndNotificationsGoToTheParent) {
    ::SendMessageW(splitter.Hwnd(), WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), 0);
    ASSERT_EQ(frame.commands.size(), 1u);
    EXPECT_EQ(frame.commands[0], 3u);
    NMHDR hdr{splitter.Hwnd(), 7, static_cast<UINT>(-12)};
    const LRESULT r = ::SendMessageW(splitter.Hwnd(), WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_EQ(r, 1234);
    ASSERT_EQ(frame.notifyCodes.size(), 1u);
    EXPECT_EQ(frame.notifyCodes[0], static_cast<UINT>(-12));
}

TEST_F(SplitterTest, ActivePaneIsTheFocusedPane) {
    splitter.AddView(0, 1, FW_RUNTIME_CLASS(CTestView), SIZE{0, 0}, nullptr);
    ::SetForegroundWindow(frame.Hwnd());
    splitter.SetActivePane(0, 1);
    int row = -1, col = -1;
    CWindow* active = splitter.GetActivePane(&row, &col);
    if (::GetFocus() == splitter.GetView(1)->Hwnd()) {
        EXPECT_EQ(active, splitter.GetView(1));
        EXPECT_EQ(row, 0);
        EXPECT_EQ(col, 1);
    }
    ::SetFocus(frame.Hwnd());
    EXPECT_EQ(splitter.GetActivePane(), nullptr);
}

TEST_F(SplitterTest, FormViewIsFilledAtItsInitialUpdate) {
    const int id = splitter.AddView(0, 1, "CTestForm", SIZE{0, 0}, nullptr);
    ASSERT_EQ(id, 1);
    CWindow* form = splitter.GetView(id);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(WindowText(form->GetDlgItem(201)), L"77");
    EXPECT_EQ(::GetWindowLongW(form->Hwnd(), GWL_STYLE) & WS_CHILD, static_cast<LONG>(WS_CHILD));
    EXPECT_EQ(::GetParent(form->Hwnd()), splitter.Hwnd());
}

// --- HTML help views ------------------------------------------------------------------------

TEST_F(SplitterTest, HelpViewsOpenTheirPageBesideTheLibrary) {
    const int vt318 = splitter.AddView(0, 1, "CHtmlViewVt318", SIZE{0, 0}, nullptr);
    const int vt300 = splitter.AddView(0, 1, "CIntroHtmlView", SIZE{0, 0}, nullptr);
    ASSERT_EQ(vt318, 1);
    ASSERT_EQ(vt300, 2);
    const std::wstring folder = ModuleFolder(ResourceModulePath());
    auto* v318 = static_cast<CHtmlView*>(splitter.GetView(vt318));
    auto* v300 = static_cast<CHtmlView*>(splitter.GetView(vt300));
    EXPECT_EQ(v318->LastLocation(), folder + L"\\Html\\AFC\\VANTOR\\Vt318.htm");
    EXPECT_EQ(v300->LastLocation(), folder + L"\\Html\\AFC\\VANTOR\\VT300.htm");
    EXPECT_TRUE(::GetWindowLongW(v318->Hwnd(), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    // The page the build ships is there.
    EXPECT_NE(::GetFileAttributesW(v318->LastLocation().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW(v300->LastLocation().c_str()), INVALID_FILE_ATTRIBUTES);
    for (CHtmlView* v : {v318, v300}) {
        std::printf("browser control %s\n", v->HasBrowser() ? "present" : "absent: fallback text");
        if (v->HasBrowser())
            continue;
        // No web engine here: a read-only text names the page instead.
        ASSERT_NE(v->FallbackWindow(), nullptr);
        EXPECT_TRUE(::GetWindowLongW(v->FallbackWindow(), GWL_STYLE) & ES_READONLY);
        EXPECT_NE(WindowText(v->FallbackWindow()).find(v->LastLocation()), std::wstring::npos);
        ::MoveWindow(v->Hwnd(), 0, 0, 120, 90, TRUE);
        RECT r{};
        ::GetClientRect(v->FallbackWindow(), &r);
        RECT c{};
        ::GetClientRect(v->Hwnd(), &c);
        EXPECT_EQ(RectInParent(v->FallbackWindow()).right, c.right);
    }
}

TEST_F(FrameworkWindows, HtmlViewWithoutABrowserShowsThePageByItsCodePage) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"<h1>\x3A9 &gt; 1</h1>")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    const struct {
        const wchar_t* name;
        std::string bytes;
        std::wstring heading;
    } pages[] = {
        {L"fw_gbk.htm",
         "<html><head><meta charset=\"gb2312\"><title>t</title></head>"
         "<body><h1>\xCB\xE3\xB7\xA8\xBD\xE9\xC9\xDC</h1><p>a&amp;b</p></body></html>",
         L"\x7B97\x6CD5\x4ECB\x7ECD\r\na&b"},
        {L"fw_utf16.htm", utf16, L"\x3A9 > 1"},
        {L"fw_utf8.htm", "<h1>\xE7\xAE\x97\xE6\xB3\x95</h1>", L"\x7B97\x6CD5"},
    };
    for (const auto& page : pages) {
        const std::wstring path = std::wstring(temp) + page.name;
        {
            FILE* f = _wfopen(path.c_str(), L"wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(page.bytes.data(), 1, page.bytes.size(), f);
            std::fclose(f);
        }
        CHtmlView view;
        ASSERT_TRUE(view.Create(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 300, 200},
                                frame.Hwnd(), 7));
        if (view.HasBrowser())
            return; // a browser shows the pages itself
        EXPECT_FALSE(view.Navigate(path));
        const std::wstring text = WindowText(view.FallbackWindow());
        EXPECT_EQ(text.find(page.heading), 0u) << page.name;
        EXPECT_NE(text.find(path), std::wstring::npos) << page.name;
        ::DeleteFileW(path.c_str());
    }
    // A page that cannot be read says why, with its path.
    CHtmlView view;
    ASSERT_TRUE(view.Create(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 300, 200},
                            frame.Hwnd(), 7));
    const std::wstring missing = std::wstring(temp) + L"fw_no_such_page.htm";
    EXPECT_FALSE(view.Navigate(missing));
    const std::wstring text = WindowText(view.FallbackWindow());
    EXPECT_NE(text.find(SystemErrorText(ERROR_FILE_NOT_FOUND)), std::wstring::npos);
    EXPECT_NE(text.find(missing), std::wstring::npos);
}

TEST_F(FrameworkWindows, MessageCaptionIsTheTopWindowsTitle) {
    CWindow child;
    ASSERT_TRUE(child.Create(0, nullptr, nullptr, WS_CHILD, RECT{0, 0, 10, 10}, frame.Hwnd(), 3));
    EXPECT_EQ(MessageCaption(child.Hwnd()), L"frame");
    // Without a titled window: the library's own name, never the host's.
    ::SetWindowTextW(frame.Hwnd(), L"");
    EXPECT_EQ(MessageCaption(child.Hwnd()), L"test_framework_windows");
    EXPECT_EQ(MessageCaption(nullptr), L"test_framework_windows");
}

// --- layout manager on a window -------------------------------------------------------------

namespace {
class LayoutTest : public FrameworkWindows {
protected:
    HWND Child(int id, int l, int t, int r, int b, const wchar_t* cls = L"STATIC") {
        return ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE, l, t, r - l, b - t, host,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                                 nullptr);
    }
    void SetUp() override {
        FrameworkWindows::SetUp();
        ASSERT_TRUE(hostWindow.Create(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE,
                                      RECT{0, 0, 400, 250}, frame.Hwnd(), 9));
        host = hostWindow.Hwnd();
    }
    std::vector<std::string> messages;
    LayoutMessageSink sink = [this](const std::string& text, const std::string&) {
        messages.push_back(text);
    };
    CWindow hostWindow;
    HWND host = nullptr;
};
} // namespace

TEST_F(LayoutTest, HelpPageTableOnARealWindow) {
    HWND frameCtl = Child(8002, 11, 11, 300, 200);
    HWND icon = Child(8011, 20, 20, 52, 52);
    HWND about = Child(8010, 60, 20, 280, 52);
    HWND line = Child(8012, 11, 60, 300, 61);
    HWND history = Child(8009, 20, 80, 280, 180, L"EDIT");
    HWND loose = Child(77, 3, 4, 13, 14); // no rule touches it
    ASSERT_TRUE(history && loose);
    ::ValidateRect(host, nullptr);
    ::UpdateWindow(loose);
    EXPECT_TRUE(ApplyLayout(host, kHelpPageLayout, sink));
    EXPECT_TRUE(messages.empty());
    const SIZE five = DialogUnitsToPixels(host, 5, 5);
    const SIZE u29 = DialogUnitsToPixels(host, 29, 29);
    ASSERT_GT(five.cx, 0);
    RECT h = RectInParent(history);
    EXPECT_EQ(h.left, five.cx);
    EXPECT_EQ(h.right, 400 - five.cx);
    EXPECT_EQ(h.bottom, 250 - five.cy);
    RECT i = RectInParent(icon);
    EXPECT_EQ(i.left, five.cx);
    EXPECT_EQ(i.right, u29.cx);
    EXPECT_EQ(i.bottom, u29.cy);
    RECT a = RectInParent(about);
    EXPECT_EQ(a.left, u29.cx + five.cx);
    EXPECT_EQ(a.right, 400 - five.cx);
    RECT f = RectInParent(frameCtl);
    EXPECT_EQ(f.right, 400);
    EXPECT_EQ(f.bottom, 250);
    EXPECT_EQ(RectInParent(line).right, 400);
    // Untouched controls keep their place and are not invalidated.
    RECT l = RectInParent(loose);
    EXPECT_EQ(l.left, 3);
    EXPECT_EQ(l.bottom, 14);
    RECT dirty{};
    EXPECT_FALSE(::GetUpdateRect(loose, &dirty, FALSE));
    EXPECT_TRUE(::GetUpdateRect(history, &dirty, FALSE));
}

TEST_F(LayoutTest, DialogUnitsFollowTheFontAndStayNegative) {
    Child(1, 0, 0, 10, 10);
    const SIZE p = DialogUnitsToPixels(host, 4, 8);
    const SIZE n = DialogUnitsToPixels(host, -4, -8);
    EXPECT_GT(p.cx, 0);
    EXPECT_GT(p.cy, 0);
    EXPECT_EQ(n.cx, -p.cx);
    EXPECT_EQ(n.cy, -p.cy);
}

TEST_F(LayoutTest, EmptyTableMovesNothingAndSucceeds) {
    HWND c = Child(5, 10, 10, 20, 20);
    const LayoutRule end[] = {LayoutRule{RULE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    EXPECT_TRUE(ApplyLayout(host, end, sink));
    EXPECT_EQ(RectInParent(c).left, 10);
}

TEST_F(LayoutTest, NoChildrenFailsAndMinimisedSucceeds) {
    EXPECT_FALSE(ApplyLayout(host, kHelpPageLayout, sink));
    ::ShowWindow(frame.Hwnd(), SW_MINIMIZE);
    EXPECT_TRUE(ApplyLayout(frame.Hwnd(), kHelpPageLayout, sink));
    EXPECT_TRUE(messages.empty());
}

TEST_F(LayoutTest, RulesWaitingOnEachOtherMoveNothing) {
    HWND a = Child(10, 10, 10, 20, 20);
    HWND b = Child(20, 50, 10, 70, 20);
    HWND c = Child(30, 0, 100, 10, 110);
    const LayoutRule rules[] = {
        {RULE_STRETCH, LAYOUT_RIGHT, 30, 0, LAYOUT_RIGHT, LAYOUT_CONTAINER_ID, 0, 0, 0, 0},
        {RULE_MOVE, LAYOUT_LEFT, 10, 0, LAYOUT_RIGHT, 20, 0, 0, 0, 0},
        {RULE_MOVE, LAYOUT_LEFT, 20, 0, LAYOUT_RIGHT, 10, 0, 0, 0, 0},
        {RULE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    EXPECT_FALSE(ApplyLayout(host, rules, sink));
    EXPECT_EQ(RectInParent(a).left, 10);
    EXPECT_EQ(RectInParent(b).left, 50);
    EXPECT_EQ(RectInParent(c).right, 10); // its own rule could apply, yet nothing moves
    EXPECT_TRUE(messages.empty());
}

TEST(LayoutCaption, HostPathCutTo127) {
    const std::string caption = LayoutMessageCaption();
    EXPECT_LE(caption.size(), 127u);
    EXPECT_FALSE(caption.empty());
}
