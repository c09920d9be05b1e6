// The setup window as a host opens it: Omra_Setup runs the modal window on
// this thread while a watcher thread clicks, types and presses buttons; then
// the configuration file is read back, also through the actions themselves.
#include "ExportCall.h"
#include "OmraHost.h"
#include "SetupUi.h"
#include "afc/VantorAfc.h"
#include "afc/Vt318.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include "Handles.h"
#include "WindowText.h"
#include "platform/win32/ModulePath.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using setupui::Page;
using setupui::Ui;

namespace {

// Edit ids of the two pages.
enum Vt318Field {
    kV318DefaultCdac = 14001,
    kV318DefaultCafc = 14002,
    kV318CdacRange = 14006,
    kV318CafcRange = 14007,
    kV318DeltaCafc = 14009,
    kV318SlopeRange = 14011,
    kV318Pcl = 14014,
    kV318Tch = 14016,
};
enum Vt300Field {
    kV300Tch = 14001,
    kV300DefaultCdac = 14002,
    kV300MaxSlope = 14003,
    kV300DefaultCafc = 14004,
    kV300Distance = 14005,
    kV300OffsetLimit = 14006,
    kV300Pcl = 14007,
    kV300MinSlope = 14008,
};
constexpr int kApply = 3;

// The framework's validation texts.
const std::wstring kNotUnsigned =
    L"\x201C\x8BF7\x586B\x5165\x4E00\x4E2A\x6B63\x6574\x6570\x3002\x201D";
const std::wstring kNotInteger = L"\x8BF7\x952E\x5165\x4E00\x4E2A\x6574\x6570\x3002";
std::wstring RangeText(const wchar_t* low, const wchar_t* high) {
    return std::wstring(L"\x201C\x8BF7\x586B\x5165\x4E00\x4E2A\x5728") + low + L"\x548C" + high +
           L"\x4E4B\x95F4\x7684\x6574\x6570\x3002\x201D";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w)
        s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

// The lines of a file without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

int IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line)
            return static_cast<int>(i);
    return -1;
}

std::string ScreenshotFolder() {
    std::string folder = host::ExecutableFolder() + "\\..\\screenshots";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

class OwnFrames : public ::testing::Environment {
public:
    void SetUp() override { setupui::DrawOwnFrames(); }
};
const auto* const kOwnFrames = ::testing::AddGlobalTestEnvironment(new OwnFrames);

class SetupWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load(host::DefaultLibraryPath())) << lib.Error();
        folder = testing::TempDir();
    }
    void TearDown() override { lib.Cleanup(); }

    std::string File(const char* name, const std::string& text) {
        std::string path = folder + name;
        WriteFile(path, text);
        return path;
    }

    // Omra_Setup on this thread; the script drives the window from a watcher
    // thread and must close it. Whatever it leaves open is closed for it.
    uint32_t RunSetup(uint32_t id, const std::string& path,
                      const std::function<void(Ui&)>& script) {
        const DWORD self = ::GetCurrentThreadId();
        std::thread watcher([&] {
            Ui ui(self);
            if (!ui.Attach()) {
                ADD_FAILURE() << "the setup window did not open";
                ui.ForceClose();
                return;
            }
            script(ui);
            if (ui.DialogAlive()) {
                ADD_FAILURE() << "the script left the setup window open";
                ui.ForceClose();
            }
        });
        uint32_t result = lib.Setup(id, path.c_str());
        watcher.join();
        return result;
    }

    host::Library lib;
    std::string folder;
};

// --- VT318 page ------------------------------------------------------------

TEST_F(SetupWindow, Vt318LoadsTheFileAndOkWritesEveryKeyInOrder) {
    const std::string path =
        File("vt318_ok.ini", "; station settings\r\n[DIAG CONTROL]\r\nTxOff=0\r\n"
                             "[AFC-COMMON]\r\nPCL=5\r\n[CRYSTAL_VT318]\r\nDefault CDAC=40\r\n"
                             "Comment line\r\n[Other]\r\nX=1\r\n");
    uint32_t r = RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        EXPECT_EQ(Page::Parameters, ui.VisiblePage());
        EXPECT_EQ(L"5", ui.FieldText(kV318Pcl));
        EXPECT_EQ(L"62", ui.FieldText(kV318Tch));
        EXPECT_EQ(L"40", ui.FieldText(kV318DefaultCdac));
        EXPECT_EQ(L"7000", ui.FieldText(kV318DefaultCafc));
        EXPECT_EQ(L"15", ui.FieldText(kV318CdacRange));
        EXPECT_EQ(L"1000", ui.FieldText(kV318CafcRange));
        EXPECT_EQ(L"1000", ui.FieldText(kV318DeltaCafc));
        EXPECT_EQ(L"3", ui.FieldText(kV318SlopeRange));
        ui.Press(IDOK);
        EXPECT_TRUE(ui.WaitClosed());
    });
    EXPECT_EQ(0u, r);
    std::vector<std::string> l = Lines(ReadFile(path));
    for (const char* kept :
         {"; station settings", "[DIAG CONTROL]", "TxOff=0", "Comment line", "[Other]", "X=1"})
        EXPECT_GE(IndexOf(l, kept), 0) << kept;
    // Existing keys in place, missing ones added in key order in their section.
    int pcl = IndexOf(l, "PCL=5"), tch = IndexOf(l, "TCH=62");
    EXPECT_GE(pcl, 0);
    EXPECT_EQ(pcl + 1, tch);
    int at = IndexOf(l, "[CRYSTAL_VT318]");
    ASSERT_GE(at, 0);
    EXPECT_EQ(at + 1, IndexOf(l, "Default CDAC=40"));
    int last = at + 1;
    for (const char* key : {"Default CAFC=7000", "CDAC    Range=15", "CAFC    Range=1000",
                            "Delta   CAFC=1000", "Slope Range=3"}) {
        int i = IndexOf(l, key);
        EXPECT_GT(i, last) << key;
        EXPECT_LT(i, IndexOf(l, "[Other]")) << key;
        last = i;
    }
}

TEST_F(SetupWindow, Vt318ApplyThenCancelKeepsWhatApplySaved) {
    const std::string path = File("vt318_apply.ini", "[AFC-COMMON]\r\nPCL=5\r\n");
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        ui.SetField(kV318Pcl, L"7");
        ui.SetField(kV318SlopeRange, L"9");
        ui.Press(kApply);
        EXPECT_TRUE(
            setupui::WaitFor([&] { return ReadFile(path).find("PCL=7") != std::string::npos; }));
        EXPECT_TRUE(ui.DialogAlive()) << "Apply leaves the window open";
        ui.SetField(kV318Pcl, L"8");
        ui.SetField(kV318Tch, L"100");
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
    std::vector<std::string> l = Lines(ReadFile(path));
    EXPECT_GE(IndexOf(l, "PCL=7"), 0);
    EXPECT_GE(IndexOf(l, "TCH=62"), 0);
    EXPECT_GE(IndexOf(l, "Slope Range=9"), 0);
    EXPECT_LT(IndexOf(l, "PCL=8"), 0);
    EXPECT_LT(IndexOf(l, "TCH=100"), 0);
}

TEST_F(SetupWindow, Vt318InvalidFieldStopsTheSaveAndKeepsTheWindowOpen) {
    const std::string before = "[AFC-COMMON]\r\nPCL=5\r\n";
    const std::string path = File("vt318_invalid.ini", before);
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        // PCL 20 is one beyond the page's range 0..19.
        ui.SetField(kV318Pcl, L"20");
        ui.Press(IDOK);
        EXPECT_EQ(RangeText(L"0", L"19"), ui.AnswerMessageBox());
        EXPECT_TRUE(setupui::WaitFor([&] { return ui.FocusedWindow() == ui.Field(kV318Pcl); }))
            << "focus on the failed field";
        EXPECT_TRUE(ui.Settle());
        EXPECT_TRUE(ui.DialogAlive()) << "OK with an invalid field keeps the window open";
        EXPECT_EQ(before, ReadFile(path)) << "nothing is written";

        // Delta CAFC ends at 32767, Default CAFC at 32768.
        ui.SetField(kV318Pcl, L"19");
        ui.SetField(kV318DefaultCafc, L"32768");
        ui.SetField(kV318DeltaCafc, L"32768");
        ui.Press(kApply);
        EXPECT_EQ(RangeText(L"0", L"32767"), ui.AnswerMessageBox());
        EXPECT_TRUE(
            setupui::WaitFor([&] { return ui.FocusedWindow() == ui.Field(kV318DeltaCafc); }));
        EXPECT_EQ(before, ReadFile(path));

        // Not a number at all (typed past the digits-only filter).
        ui.SetField(kV318DeltaCafc, L"12a");
        ui.Press(IDOK);
        EXPECT_EQ(kNotUnsigned, ui.AnswerMessageBox());
        ui.SetField(kV318DeltaCafc, L"-1");
        ui.Press(IDOK);
        EXPECT_EQ(kNotUnsigned, ui.AnswerMessageBox());
        EXPECT_EQ(before, ReadFile(path));

        ui.SetField(kV318DeltaCafc, L"32767");
        ui.Press(IDOK);
        EXPECT_TRUE(ui.WaitClosed());
    });
    std::vector<std::string> l = Lines(ReadFile(path));
    EXPECT_GE(IndexOf(l, "PCL=19"), 0);
    EXPECT_GE(IndexOf(l, "Default CAFC=32768"), 0);
    EXPECT_GE(IndexOf(l, "Delta   CAFC=32767"), 0);
}

// --- VT300 page ------------------------------------------------------------

TEST_F(SetupWindow, Vt300RangesDisabledCdacAndPageDefaults) {
    const std::string path =
        File("vt300.ini", "[CRYSTAL_VT300]\r\nDefault CDAC=9\r\nFreq. Error Limit=777\r\n");
    RunSetup(OMRA_ACTION_VT300, path, [&](Ui& ui) {
        EXPECT_EQ(Page::Parameters, ui.VisiblePage());
        EXPECT_FALSE(ui.FieldEnabled(kV300DefaultCdac));
        EXPECT_TRUE(ui.FieldEnabled(kV300DefaultCafc));
        EXPECT_EQ(L"9", ui.FieldText(kV300DefaultCdac));
        EXPECT_EQ(L"1500", ui.FieldText(kV300Distance));
        EXPECT_EQ(L"15000", ui.FieldText(kV300OffsetLimit));

        ui.SetField(kV300Pcl, L"21");
        ui.Press(IDOK);
        EXPECT_EQ(RangeText(L"0", L"20"), ui.AnswerMessageBox());
        ui.SetField(kV300Pcl, L"20");
        ui.SetField(kV300MaxSlope, L"12x");
        ui.Press(IDOK);
        EXPECT_EQ(kNotInteger, ui.AnswerMessageBox());
        EXPECT_TRUE(
            setupui::WaitFor([&] { return ui.FocusedWindow() == ui.Field(kV300MaxSlope); }));
        ui.SetField(kV300MaxSlope, L"-3");
        ui.SetField(kV300DefaultCafc, L"-5");
        ui.SetField(kV300Tch, L"1025");
        ui.Press(IDOK);
        EXPECT_EQ(RangeText(L"0", L"1024"), ui.AnswerMessageBox());
        ui.SetField(kV300Tch, L"1024");
        ui.Press(IDOK);
        EXPECT_TRUE(ui.WaitClosed());
    });
    std::vector<std::string> l = Lines(ReadFile(path));
    for (const char* line : {"PCL=20", "TCH=1024", "Default CDAC=9", "Default CAFC=-5",
                             "Next CAFC Distance=1500", "Freq. Offset Limit=15000",
                             "Max CAFC Slope=-3", "Min CAFC Slope=4", "Freq. Error Limit=777"})
        EXPECT_GE(IndexOf(l, line), 0) << line;
    EXPECT_EQ(1u, std::count(l.begin(), l.end(), "[CRYSTAL_VT300]"));
}

// --- round trip through the actions ----------------------------------------

// A page filled in and saved, then the values the action loads from the file.
struct LoadedValue {
    const char* name;
    int expected;
    int (*read)(OMRA_HANDLE action); // the action object read through its own class
};
struct RoundTrip {
    const char* chip;
    uint32_t id;
    const char* file;
    const char* text; // the file before the window opens
    std::vector<std::pair<int, const wchar_t*>> fields;
    std::vector<LoadedValue> values;
};

const CVt318* AsVt318(OMRA_HANDLE a) {
    return static_cast<const CVt318*>(a);
}
const CVantorAfc* AsVt300(OMRA_HANDLE a) {
    return static_cast<const CVantorAfc*>(a);
}

const RoundTrip kRoundTrips[] = {
    {"Vt318",
     OMRA_ACTION_VT318,
     "vt318_trip.ini",
     "",
     {{kV318Pcl, L"12"},
      {kV318Tch, L"975"},
      {kV318DefaultCdac, L"33"},
      {kV318DefaultCafc, L"6100"},
      {kV318CdacRange, L"7"},
      {kV318CafcRange, L"1200"},
      {kV318DeltaCafc, L"900"},
      {kV318SlopeRange, L"5"}},
     {{"PCL", 12, [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->Pcl()); }},
      {"TCH", 975, [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->Tch()); }},
      {"Default CDAC", 33,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().defaultCdac); }},
      {"Default CAFC", 6100,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().defaultCafc); }},
      {"CDAC Range", 7,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().cdacRange); }},
      {"CAFC Range", 1200,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().cafcRange); }},
      {"Delta CAFC", 900,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().deltaCafc); }},
      {"Slope Range", 5,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt318(a)->GetSettings().slopeRange); }}}},
    {"Vt300",
     OMRA_ACTION_VT300,
     "vt300_trip.ini",
     "[CRYSTAL_VT300]\r\nDefault CDAC=6\r\n",
     {{kV300Pcl, L"15"},
      {kV300Tch, L"40"},
      {kV300DefaultCafc, L"4100"},
      {kV300Distance, L"1300"},
      {kV300OffsetLimit, L"18000"},
      {kV300MaxSlope, L"20"},
      {kV300MinSlope, L"2"}},
     {{"PCL", 15, [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->Pcl()); }},
      {"TCH", 40, [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->Tch()); }},
      {"Default CDAC", 6,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().defaultCdac); }},
      {"Default CAFC", 4100,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().defaultCafc); }},
      {"Next CAFC Distance", 1300,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().nextCafcDistance); }},
      {"Freq. Offset Limit", 18000,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().freqOffsetLimit); }},
      {"Max CAFC Slope", 20,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().maxCafcSlope); }},
      {"Min CAFC Slope", 2,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().minCafcSlope); }},
      // not on the page, its default stays
      {"Freq. Error Limit", 13000,
       [](OMRA_HANDLE a) { return static_cast<int>(AsVt300(a)->GetSettings().freqErrorLimit); }}}},
};

class SetupRoundTrip : public SetupWindow, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(SetupRoundTrip, ValuesSavedAreTheValuesTheActionLoads) {
    const RoundTrip& trip = GetParam();
    const std::string path = File(trip.file, trip.text);
    RunSetup(trip.id, path, [&](Ui& ui) {
        for (const auto& field : trip.fields)
            ui.SetField(field.first, field.second);
        ui.Press(IDOK);
        EXPECT_TRUE(ui.WaitClosed());
    });
    LIBRARY_INFO info;
    ASSERT_EQ(0u, lib.Startup(&info));
    OMRA_HANDLE action = lib.CreateAction(trip.id, 0);
    ASSERT_NE(nullptr, action);
    ACTION_PARAM p = testing_support::ParamBlock(path, 0, 1);
    ASSERT_EQ(0u, lib.InitAction(action, &p));
    for (const LoadedValue& v : trip.values)
        EXPECT_EQ(v.expected, v.read(action)) << v.name;
    EXPECT_EQ(0u, lib.FreeAction(action));
}

INSTANTIATE_TEST_SUITE_P(Chips, SetupRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTrip>& trip) {
                             return std::string(trip.param.chip);
                         });

// --- title ---------------------------------------------------------------------

TEST_F(SetupWindow, TitleShowsShortPathsWholeAndLongOnesShortened) {
    for (const char* dir : {"C:\\swt", "C:\\swt\\a", "C:\\swt\\a\\b", "C:\\swt\\#x",
                            "C:\\swt\\#x\\c", "C:\\swt\\a\\b\\;y"})
        ::CreateDirectoryA(dir, nullptr);
    struct Case {
        uint32_t id;
        const char* path;
        const char* title;
    } cases[] = {
        {OMRA_ACTION_VT318, "C:\\swt.ini", "Vantor Vt318 Crystal Afc Setup [C:\\swt.ini]"},
        {OMRA_ACTION_VT318, "C:\\swt\\three.ini",
         "Vantor Vt318 Crystal Afc Setup [C:\\swt\\three.ini]"},
        {OMRA_ACTION_VT300, "C:\\swt\\a\\b\\five.ini",
         "Vantor Vt300 Crystal Afc Setup [C:\\...\\b\\five.ini]"},
        {OMRA_ACTION_VT318, "C:\\swt\\#x\\c\\hash.ini",
         "Vantor Vt318 Crystal Afc Setup [C:\\swt\\#x\\c\\hash.ini]"},
        {OMRA_ACTION_VT318, "C:\\swt\\a\\b\\;y\\semi.ini",
         "Vantor Vt318 Crystal Afc Setup [C:\\...\\a\\b]"},
    };
    for (const Case& c : cases) {
        WriteFile(c.path, "");
        std::wstring title;
        RunSetup(c.id, c.path, [&](Ui& ui) {
            title = ui.Title();
            ui.Press(IDCANCEL);
            EXPECT_TRUE(ui.WaitClosed());
        });
        EXPECT_EQ(c.title, Narrow(title)) << c.path;
    }
}

// --- bar and pages -------------------------------------------------------------

// Saves what the window shows and checks what a person would see in it: the
// title written in the caption, the page drawn with its contents, the item
// that chose it drawn on the bar.
void SaveAndLook(const Ui& ui, const std::string& file, int folder, int item) {
    SCOPED_TRACE(file);
    const setupui::Shot shot = ui.Capture();
    ASSERT_FALSE(shot.pixels.empty());
    EXPECT_TRUE(shot.SaveBmp(file));

    RECT window{};
    ::GetWindowRect(ui.Dialog(), &window);
    POINT client{0, 0};
    ::ClientToScreen(ui.Dialog(), &client);
    // The left half of the caption holds the title's beginning.
    const RECT caption{window.left, window.top, (window.left + window.right) / 2, client.y};
    ASSERT_GT(caption.bottom - caption.top, 8) << "the window has a caption";
    EXPECT_GT(shot.PixelsUnlike(caption, shot.MostCommon(caption)), 100u) << "the title's text";

    RECT page{};
    ::GetWindowRect(::GetDlgItem(ui.Splitter(), 0xE901), &page);
    EXPECT_GT(shot.PixelsUnlike(page, shot.MostCommon(page)), 1000u) << "the page's contents";

    // The item's icon against the bar's own colour below the items.
    POINT below = ui.BelowItems(folder);
    ::ClientToScreen(ui.Bar(), &below);
    POINT middle = ui.ItemPoint(folder, item);
    ::ClientToScreen(ui.Bar(), &middle);
    const RECT icon{middle.x - 16, middle.y - 16, middle.x + 16, middle.y + 16};
    EXPECT_GT(shot.PixelsUnlike(icon, shot.At(below)), 100u) << "the item's icon on the bar";
}

void WalkPages(Ui& ui, const std::string& chip, bool screenshots) {
    const std::string shots = ScreenshotFolder() + "\\" + chip;
    EXPECT_EQ(Page::Parameters, ui.VisiblePage());
    if (screenshots)
        SaveAndLook(ui, shots + "_parameters.bmp", 0, 1);
    ui.ClickBar(ui.ItemPoint(0, 0));
    EXPECT_TRUE(ui.WaitPage(Page::HtmlHelp)) << setupui::PageName(ui.VisiblePage());
    if (screenshots)
        SaveAndLook(ui, shots + "_html_help.bmp", 0, 0);
    ui.ClickBar(ui.ItemPoint(0, 1));
    EXPECT_TRUE(ui.WaitPage(Page::Parameters)) << setupui::PageName(ui.VisiblePage());
    // Folder 1 slides open; its one item shows the about page.
    ui.ClickBar(ui.FolderButtonPoint(0, 1));
    EXPECT_TRUE(ui.Settle());
    EXPECT_EQ(Page::Parameters, ui.VisiblePage()) << "a folder change shows no page";
    ui.ClickBar(ui.ItemPoint(1, 0));
    EXPECT_TRUE(ui.WaitPage(Page::About)) << setupui::PageName(ui.VisiblePage());
    if (screenshots)
        SaveAndLook(ui, shots + "_about.bmp", 1, 0);
    // Where folder 1 has no item, a click changes nothing.
    ui.ClickBar(ui.ItemPoint(1, 1));
    EXPECT_TRUE(ui.Settle());
    EXPECT_EQ(Page::About, ui.VisiblePage());
}

TEST_F(SetupWindow, Vt318BarClicksShowTheirPages) {
    const std::string path = File("vt318_pages.ini", "");
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        WalkPages(ui, "vt318", true);
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

TEST_F(SetupWindow, Vt300BarClicksShowTheirPages) {
    const std::string path = File("vt300_pages.ini", "");
    RunSetup(OMRA_ACTION_VT300, path, [&](Ui& ui) {
        WalkPages(ui, "vt300", true);
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

TEST_F(SetupWindow, HelpPageShowsVersionBuildAndHistory) {
    const std::string path = File("helps.ini", "");
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        HWND help = ui.HelpPage();
        ASSERT_NE(nullptr, help);
        wchar_t text[512] = {};
        ::GetDlgItemTextW(help, 8010, text, 512);
        std::wstring about = text;
        const std::wstring tail = L"\nVersion: 1.0.1\nBuild: 0005";
        ASSERT_GT(about.size(), tail.size());
        EXPECT_EQ(tail, about.substr(about.size() - tail.size()));
        EXPECT_NE(L'\n', about[0]);
        ::GetDlgItemTextW(help, 8009, text, 512);
        std::wstring history = text;
        EXPECT_NE(std::wstring::npos, history.find(L"20080623"));
        EXPECT_NE(std::wstring::npos, history.find(L"20090112"));
        EXPECT_EQ(L"\r\n", history.substr(history.size() - 2));
        // Shown in a pane wider than its template, the page is laid out again:
        // icon at the top left, text to its right, history filling the rest.
        ui.ClickBar(ui.FolderButtonPoint(0, 1));
        ASSERT_TRUE(ui.Settle());
        ui.ClickBar(ui.ItemPoint(1, 0));
        ASSERT_TRUE(ui.WaitPage(Page::About));
        auto rectOf = [&](int id) {
            RECT r{};
            ::GetWindowRect(::GetDlgItem(help, id), &r);
            ::MapWindowPoints(HWND_DESKTOP, help, reinterpret_cast<POINT*>(&r), 2);
            return r;
        };
        // The pane shows the page first and sizes it after (on the window's
        // thread): wait until the frame has followed the page's new size.
        RECT page{};
        EXPECT_TRUE(setupui::WaitFor([&] {
            ::GetClientRect(help, &page);
            return page.right > 400 && rectOf(8002).right == page.right;
        })) << "the frame follows the page's width";
        RECT du{5, 5, 29, 29};
        ::MapDialogRect(help, &du);
        RECT icon = rectOf(8011), aboutText = rectOf(8010), line = rectOf(8012),
             hist = rectOf(8009), frame = rectOf(8002);
        EXPECT_GT(page.right, 400) << "the pane is wider than the 222-unit template";
        EXPECT_EQ(du.left, icon.left);
        EXPECT_EQ(du.top, icon.top);
        EXPECT_EQ(du.right, icon.right);
        EXPECT_EQ(du.bottom, icon.bottom);
        EXPECT_EQ(icon.right + du.left, aboutText.left);
        EXPECT_EQ(page.right - du.left, aboutText.right);
        EXPECT_EQ(page.right, line.right);
        EXPECT_EQ(du.left, hist.left);
        EXPECT_EQ(page.right - du.left, hist.right);
        EXPECT_EQ(page.bottom - du.top, hist.bottom);
        EXPECT_EQ(page.right, frame.right);
        EXPECT_EQ(page.bottom, frame.bottom);
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

TEST_F(SetupWindow, ColumnBorderCannotBeDragged) {
    const std::string path = File("tracking.ini", "");
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        RECT bar{};
        ::GetWindowRect(ui.Bar(), &bar);
        ::MapWindowPoints(HWND_DESKTOP, ui.Splitter(), reinterpret_cast<POINT*>(&bar), 2);
        const int border = bar.right + 2, y = (bar.top + bar.bottom) / 2;
        POINT screen{border, y};
        ::ClientToScreen(ui.Splitter(), &screen);
        EXPECT_EQ(HTNOWHERE,
                  ::SendMessageW(ui.Splitter(), WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)));
        ::PostMessageW(ui.Splitter(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(border, y));
        ::PostMessageW(ui.Splitter(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(border + 80, y));
        ::PostMessageW(ui.Splitter(), WM_LBUTTONUP, 0, MAKELPARAM(border + 80, y));
        EXPECT_TRUE(ui.Settle());
        RECT after{};
        ::GetWindowRect(ui.Bar(), &after);
        ::MapWindowPoints(HWND_DESKTOP, ui.Splitter(), reinterpret_cast<POINT*>(&after), 2);
        EXPECT_EQ(bar.right, after.right);
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

TEST_F(SetupWindow, InvalidFieldOnAHiddenPageIsShownForCorrection) {
    const std::string before = "[AFC-COMMON]\r\nPCL=5\r\n";
    const std::string path = File("hidden_invalid.ini", before);
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        ui.SetField(kV318Tch, L"2000");
        ui.ClickBar(ui.ItemPoint(0, 0));
        ASSERT_TRUE(ui.WaitPage(Page::HtmlHelp));
        ui.Press(IDOK);
        EXPECT_EQ(RangeText(L"0", L"1024"), ui.AnswerMessageBox());
        EXPECT_TRUE(ui.WaitPage(Page::Parameters)) << setupui::PageName(ui.VisiblePage());
        EXPECT_TRUE(setupui::WaitFor([&] { return ui.FocusedWindow() == ui.Field(kV318Tch); }));
        EXPECT_TRUE(ui.DialogAlive());
        EXPECT_EQ(before, ReadFile(path));
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
    EXPECT_EQ(before, ReadFile(path)) << "Cancel writes nothing";
}

TEST_F(SetupWindow, PagesFollowPositionsAfterADrag) {
    const std::string path = File("drag.ini", "");
    RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        std::vector<uint32_t> intro = ui.ItemIconPixels(0, 0);
        std::vector<uint32_t> params = ui.ItemIconPixels(0, 1);
        ASSERT_NE(intro, params);
        // Item 1 dragged onto item 0 moves to the top.
        ui.DragBar(ui.ItemPoint(0, 1), ui.BelowItems(0), ui.ItemPoint(0, 0));
        EXPECT_TRUE(setupui::WaitFor([&] { return ui.ItemIconPixels(0, 0) == params; }))
            << "the parameters icon is on top";
        EXPECT_EQ(intro, ui.ItemIconPixels(0, 1));
        EXPECT_EQ(Page::Parameters, ui.VisiblePage()) << "a drag shows no page";
        // Position 0 still means the help view, whatever item stands there.
        ui.ClickBar(ui.ItemPoint(0, 0));
        EXPECT_TRUE(ui.WaitPage(Page::HtmlHelp)) << setupui::PageName(ui.VisiblePage());
        ui.ClickBar(ui.ItemPoint(0, 1));
        EXPECT_TRUE(ui.WaitPage(Page::Parameters)) << setupui::PageName(ui.VisiblePage());
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

// --- failed saves, message captions, help without a browser ---------------------

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

// The system's own wording of an error, without its closing line end or stop.
std::wstring SystemReason(DWORD code) {
    wchar_t text[512] = {};
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, text, 512, nullptr);
    std::wstring reason(text, n);
    while (!reason.empty() &&
           (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' ' ||
            reason.back() == L'.' || reason.back() == 0x3002))
        reason.pop_back();
    return reason;
}

// Another process holds the file open without sharing until Release().
class FileHolder {
public:
    FileHolder() {
        const std::string tag = std::to_string(::GetCurrentProcessId());
        m_readyName = "vantor_hold_ready_" + tag;
        m_releaseName = "vantor_hold_release_" + tag;
        m_ready.reset(::CreateEventA(nullptr, TRUE, FALSE, m_readyName.c_str()));
        m_release.reset(::CreateEventA(nullptr, TRUE, FALSE, m_releaseName.c_str()));
    }
    ~FileHolder() { Release(); }

    bool Hold(const std::string& path) {
        std::string command = "\"" + host::ExecutableFolder() + "\\hold_file.exe\" \"" + path +
                              "\" " + m_readyName + " " + m_releaseName;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!m_ready || !m_release ||
            !::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info))
            return false;
        m_process.reset(info.hProcess);
        fw::KernelHandle thread(info.hThread);
        // Ready, or the holder gave up (it cannot open the file).
        HANDLE both[2] = {m_ready.get(), m_process.get()};
        return ::WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
    }
    void Release() {
        if (!m_process)
            return;
        ::SetEvent(m_release.get());
        ::WaitForSingleObject(m_process.get(), 20000);
        m_process.reset();
    }

private:
    std::string m_readyName, m_releaseName;
    fw::KernelHandle m_ready, m_release, m_process;
};

TEST_F(SetupWindow, SaveToAHeldFileSaysWhyAndKeepsTheWindowUntilTheFileIsFree) {
    const std::string before = "[AFC-COMMON]\r\nPCL=5\r\n";
    const std::string path = File("held.ini", before);
    const std::wstring reason = SystemReason(ERROR_SHARING_VIOLATION);
    ASSERT_FALSE(reason.empty());
    FileHolder holder;
    uint32_t result = RunSetup(OMRA_ACTION_VT318, path, [&](Ui& ui) {
        // Taken once the window is open: Omra_Setup opens no window on a
        // file it cannot read.
        if (!holder.Hold(path)) {
            ADD_FAILURE() << "the file could not be held";
            return;
        }
        ui.SetField(kV318Pcl, L"7");
        ui.SetField(kV318SlopeRange, L"9");
        for (int button : {kApply, IDOK}) {
            ui.Press(button);
            HWND box = ui.WaitMessageBox();
            ASSERT_NE(nullptr, box) << "button " << button << " saved silently";
            if (button == IDOK) {
                EXPECT_TRUE(ui.SaveScreenshot(ScreenshotFolder() + "\\vt318_save_failed.bmp", box));
            }
            const std::wstring text = Ui::MessageBoxText(box);
            EXPECT_NE(std::wstring::npos, text.find(Widen(path))) << Narrow(text);
            EXPECT_NE(std::wstring::npos, text.find(reason)) << Narrow(text);
            EXPECT_EQ(ui.Title(), fw::WindowText(box)) << "the window's title as caption";
            EXPECT_TRUE(Ui::CloseMessageBox(box));
            EXPECT_TRUE(ui.Settle());
            EXPECT_TRUE(ui.DialogAlive()) << "button " << button << " kept the window open";
            EXPECT_EQ(L"7", ui.FieldText(kV318Pcl)) << "the edits stay";
            EXPECT_EQ(L"9", ui.FieldText(kV318SlopeRange));
        }
        holder.Release();
        EXPECT_EQ(before, ReadFile(path)) << "nothing was written while the file was held";
        ui.Press(kApply);
        EXPECT_TRUE(setupui::WaitFor([&] {
            const std::vector<std::string> l = Lines(ReadFile(path));
            return IndexOf(l, "PCL=7") >= 0 && IndexOf(l, "Slope Range=9") >= 0;
        })) << ReadFile(path);
        EXPECT_TRUE(ui.Settle());
        EXPECT_EQ(nullptr, ui.WaitMessageBox(0)) << "a save that succeeds says nothing";
        ui.Press(IDOK);
        EXPECT_TRUE(ui.WaitClosed());
    });
    EXPECT_EQ(0u, result);
}

TEST_F(SetupWindow, ValidationMessageHasTheWindowTitleAsCaption) {
    const std::string path = File("caption.ini", "");
    RunSetup(OMRA_ACTION_VT300, path, [&](Ui& ui) {
        ui.SetField(kV300Pcl, L"21");
        ui.Press(kApply);
        HWND box = ui.WaitMessageBox();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(RangeText(L"0", L"20"), Ui::MessageBoxText(box));
        EXPECT_EQ(ui.Title(), fw::WindowText(box));
        EXPECT_EQ(0u, fw::WindowText(box).find(L"Vantor Vt300 Crystal Afc Setup ["));
        EXPECT_TRUE(Ui::CloseMessageBox(box));
        ui.Press(IDCANCEL);
        EXPECT_TRUE(ui.WaitClosed());
    });
}

// A rich edit's text as it counts characters (paragraphs end in "\r").
std::wstring RichText(HWND edit) {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT n =
        ::SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    const LRESULT got = ::SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                       reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

// Bold and height of the character at `at` of a rich edit.
CHARFORMAT2W CharFormatAt(HWND edit, LONG at) {
    ::SendMessageW(edit, EM_SETSEL, at, at + 1);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    ::SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

TEST_F(SetupWindow, HelpWithoutABrowserShowsThePageAsText) {
    std::wstring library = win32::ModuleFileName<wchar_t>(::GetModuleHandleW(L"VantorCrystal.dll"));
    library.erase(library.rfind(L'\\'));
    const struct {
        uint32_t id;
        const char* chip;
        const wchar_t* file;
        const wchar_t* heading;
        const wchar_t* decoded; // text with entities in the file
    } chips[] = {
        {OMRA_ACTION_VT318, "vt318", L"Vt318.htm",
         L"VT318 crystal AFC calibration (VT318_AFC, action 513)", L"CDAC\xA0\xA0\xA0\xA0Range"},
        {OMRA_ACTION_VT300, "vt300", L"VT300.htm",
         L"VT300 crystal AFC calibration (VT300_AFC, action 257)", L"\x2212"},
    };
    // "此处没有可用的网页浏览器控件" of the reason line.
    const std::wstring noBrowser = L"\x6B64\x5904\x6CA1\x6709\x53EF\x7528\x7684\x7F51\x9875\x6D4F"
                                   L"\x89C8\x5668\x63A7\x4EF6";
    for (const auto& chip : chips) {
        const std::string path = File("help.ini", "");
        RunSetup(chip.id, path, [&](Ui& ui) {
            ui.ClickBar(ui.ItemPoint(0, 0));
            ASSERT_TRUE(ui.WaitPage(Page::HtmlHelp));
            HWND text = ::GetDlgItem(::GetDlgItem(ui.Splitter(), 0xE901), 1);
            if (text == nullptr) {
                std::printf("a browser control shows the %s help page\n", chip.chip);
            } else {
                const std::wstring all = RichText(text);
                EXPECT_EQ(0u, all.find(chip.heading)) << "the page's heading first";
                EXPECT_NE(std::wstring::npos, all.find(chip.decoded));
                for (const wchar_t* raw :
                     {L"<h1", L"<p>", L"<td>", L"&minus;", L"&nbsp;", L"body {"})
                    EXPECT_EQ(std::wstring::npos, all.find(raw)) << Narrow(raw);
                EXPECT_NE(std::wstring::npos, all.find(noBrowser));
                const std::wstring page = library + L"\\Html\\AFC\\VANTOR\\" + chip.file;
                const size_t at = all.find(page);
                EXPECT_NE(std::wstring::npos, at) << Narrow(page);
                const CHARFORMAT2W heading = CharFormatAt(text, 0);
                const CHARFORMAT2W body = CharFormatAt(text, static_cast<LONG>(all.find(L"The ")));
                const CHARFORMAT2W small = CharFormatAt(text, static_cast<LONG>(at));
                EXPECT_TRUE(heading.dwEffects & CFE_BOLD);
                EXPECT_FALSE(body.dwEffects & CFE_BOLD);
                EXPECT_GT(heading.yHeight, body.yHeight);
                EXPECT_LT(small.yHeight, body.yHeight) << "the path in small print";
                ::SendMessageW(text, EM_SETSEL, 0, 0);
                ::SendMessageW(text, WM_VSCROLL, SB_TOP, 0);
                const std::string shots = ScreenshotFolder() + "\\" + chip.chip;
                EXPECT_TRUE(ui.SaveScreenshot(shots + "_help_text_top.bmp"));
                ::SendMessageW(text, WM_VSCROLL, SB_BOTTOM, 0);
                EXPECT_TRUE(ui.SaveScreenshot(shots + "_help_text_end.bmp"));
            }
            ui.Press(IDCANCEL);
            EXPECT_TRUE(ui.WaitClosed());
        });
    }
}

// --- ids without a window --------------------------------------------------------

TEST_F(SetupWindow, OtherIdsOpenNothing) {
    const std::string path = File("none.ini", "");
    for (uint32_t id : {769u, 0u, 258u, 0x9999u}) {
        const DWORD self = ::GetCurrentThreadId();
        bool sawWindow = false;
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            Ui ui(self);
            // Until a window opens or Omra_Setup has returned without one.
            while (!done && !sawWindow)
                sawWindow = ui.Attach(20);
            if (sawWindow)
                ui.ForceClose();
        });
        EXPECT_EQ(0u, lib.Setup(id, path.c_str())) << id;
        done = true;
        watcher.join();
        EXPECT_FALSE(sawWindow) << id;
    }
    // A missing file opens nothing either, and fails.
    EXPECT_NE(0u, lib.Setup(OMRA_ACTION_VT318, (folder + "no_such_file.ini").c_str()));
}

} // namespace
