// The help page's own rules, without a window: where its help files lie and
// how its controls follow the page's size.
#include "HelpPageLayout.h"
#include "HelpPath.h"
#include "SetupResource.h"

#include "LayoutCase.h"

#include <gtest/gtest.h>

#include <vector>

using namespace fw;
using namespace setupwin;

namespace {

using layout_case::Convert;
using layout_case::Table;

const ControlGeometry& Find(std::vector<ControlGeometry>& t, int32_t id) {
    return *FindGeometry(t, id);
}

} // namespace

TEST(LayoutSolver, HelpPageTableAt400PixelsWide) {
    auto t = Table({MakeGeometry(IDC_HELPS_FRAME, {11, 11, 344, 196}),
                    MakeGeometry(IDC_HELPS_ICON, {22, 21, 54, 54}),
                    MakeGeometry(IDC_HELPS_ABOUT, {64, 21, 320, 55}),
                    MakeGeometry(IDC_HELPS_LINE, {11, 62, 344, 63}),
                    MakeGeometry(IDC_HELPS_HISTORY, {22, 81, 326, 169})},
                   400, 300);
    std::vector<LayoutRule> rules = CopyRules(setupwin::kHelpPageLayout);
    ASSERT_EQ(rules.size(), 20u);
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& history = Find(t, IDC_HELPS_HISTORY);
    EXPECT_EQ(history.left, 8);
    EXPECT_EQ(history.right, 392);
    EXPECT_EQ(history.bottom, 300 - 8);
    const ControlGeometry& icon = Find(t, IDC_HELPS_ICON);
    EXPECT_EQ(icon.left, 8);
    EXPECT_EQ(icon.right, 29 * 8 / 5);
    EXPECT_EQ(icon.top, 5 * 13 / 8);
    EXPECT_EQ(icon.bottom, 29 * 13 / 8);
    const ControlGeometry& about = Find(t, IDC_HELPS_ABOUT);
    EXPECT_EQ(about.left, icon.right + 8);
    EXPECT_EQ(about.right, 392);
    EXPECT_EQ(about.top, icon.top);
    EXPECT_EQ(about.bottom, icon.bottom);
    const ControlGeometry& line = Find(t, IDC_HELPS_LINE);
    EXPECT_EQ(line.top, icon.bottom + 5 * 13 / 8);
    EXPECT_EQ(line.bottom, icon.bottom + 6 * 13 / 8);
    EXPECT_EQ(history.top, line.bottom + 5 * 13 / 8);
    const ControlGeometry& frame = Find(t, IDC_HELPS_FRAME);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.right, 400);
    EXPECT_EQ(frame.bottom, 300);
}

// --- help page paths ---------------------------------------------------------------

TEST(HelpPath, FolderOfTheLibraryAndTheFixedPart) {
    std::wstring path;
    ASSERT_TRUE(BuildHelpPagePath(L"C:\\Tools\\Afc\\VantorCrystal.dll", kVt318PageFormat, &path));
    EXPECT_EQ(path, L"C:\\Tools\\Afc\\Html\\AFC\\VANTOR\\Vt318.htm");
    ASSERT_TRUE(BuildHelpPagePath(L"C:\\Tools\\Afc\\VantorCrystal.dll", kVt300PageFormat, &path));
    EXPECT_EQ(path, L"C:\\Tools\\Afc\\Html\\AFC\\VANTOR\\VT300.htm");
}

TEST(HelpPath, FoldersWithBlanksAndWithoutBackslash) {
    std::wstring path;
    ASSERT_TRUE(BuildHelpPagePath(L"D:\\Program Files\\Line 3 Station\\VantorCrystal.dll",
                                  kVt300PageFormat, &path));
    EXPECT_EQ(path, L"D:\\Program Files\\Line 3 Station\\Html\\AFC\\VANTOR\\VT300.htm");
    ASSERT_TRUE(BuildHelpPagePath(L"VantorCrystal.dll", kVt318PageFormat, &path));
    EXPECT_EQ(path, L"VantorCrystal.dll\\Html\\AFC\\VANTOR\\Vt318.htm");
}

TEST(HelpPath, TooLongIsRefusedNotCut) {
    const std::wstring tail = L"\\Html\\AFC\\VANTOR\\Vt318.htm"; // 26 characters
    // Folder of 233 characters: 259 in all, the longest that fits with its zero.
    const std::wstring folder259 = L"C:\\" + std::wstring(230, L'a');
    std::wstring path;
    ASSERT_TRUE(BuildHelpPagePath(folder259 + L"\\x.dll", kVt318PageFormat, &path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_EQ(path, folder259 + tail);
    EXPECT_FALSE(BuildHelpPagePath(folder259 + L"b\\x.dll", kVt318PageFormat, &path));
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(BuildHelpPagePath(std::wstring(5000, L'z'), kVt318PageFormat, &path));
    EXPECT_TRUE(path.empty());
}
