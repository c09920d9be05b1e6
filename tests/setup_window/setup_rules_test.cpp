// The setup window's rules that need no window: title, page choice, the
// pages' keys with their defaults, ranges and order, and the help texts.
#include "SetupRules.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace setupwin;

namespace {

const char* kVt318Title = "Vantor Vt318 Crystal Afc Setup";

std::string tempPath(const char* name) {
    std::string folder = testing::TempDir();
    return folder + "setup_rules_" + name + ".ini";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace

TEST(SetupTitle, ThreePartsOrFewerShowTheWholePath) {
    EXPECT_EQ("Vantor Vt318 Crystal Afc Setup [C:\\VT318.ini]",
              WindowTitle(kVt318Title, "C:\\VT318.ini"));
    EXPECT_EQ("Vantor Vt318 Crystal Afc Setup [C:\\Cfg\\VT318.ini]",
              WindowTitle(kVt318Title, "C:\\Cfg\\VT318.ini"));
    EXPECT_EQ("T [VT318.ini]", WindowTitle("T", "VT318.ini"));
    EXPECT_EQ("T []", WindowTitle("T", ""));
    EXPECT_EQ("T []", WindowTitle("T", nullptr));
}

TEST(SetupTitle, FourPartsOrMoreAreShortened) {
    EXPECT_EQ("Vantor Vt318 Crystal Afc Setup [C:\\...\\Cfg\\VT318.ini]",
              WindowTitle(kVt318Title, "C:\\Tester\\Config\\Cfg\\VT318.ini"));
    EXPECT_EQ("T [C:\\...\\b\\c.ini]", WindowTitle("T", "C:\\a\\b\\c.ini"));
}

TEST(SetupTitle, RunsOfSeparatorsCountAsOneAndEndsYieldNoPart) {
    // Five parts once the doubled and outer separators are ignored.
    EXPECT_EQ("T [C:\\...\\d\\e.ini]", WindowTitle("T", "\\C:\\\\a\\\\\\d\\e.ini\\"));
    // Three parts: the whole path, separators and all.
    EXPECT_EQ("T [\\\\srv\\share\\x.ini]", WindowTitle("T", "\\\\srv\\share\\x.ini"));
}

TEST(SetupTitle, CommentPartEndsTheSplit) {
    // Only C:, a and b count before ";c": three parts, the whole path shows.
    EXPECT_EQ("T [C:\\a\\b\\;c\\d\\e.ini]", WindowTitle("T", "C:\\a\\b\\;c\\d\\e.ini"));
    EXPECT_EQ("T [C:\\a\\#b\\c\\d.ini]", WindowTitle("T", "C:\\a\\#b\\c\\d.ini"));
    // Four parts before the "#" part: shortened from those four.
    EXPECT_EQ("T [C:\\...\\b\\c]", WindowTitle("T", "C:\\a\\b\\c\\#d\\e.ini"));
}

TEST(SetupTitle, OnlyTheFirst259BytesAreSplitButTheWholePathShows) {
    std::string longName(300, 'x');
    // The copy cuts the long name: still two parts, so the whole path shows.
    std::string path = "C:\\" + longName;
    EXPECT_EQ("T [" + path + "]", WindowTitle("T", path.c_str()));
    // Parts beyond the copy are not seen: a, b, and the cut x... part.
    std::string deep = "C:\\a\\" + longName + "\\d\\e.ini";
    EXPECT_EQ("T [" + deep + "]", WindowTitle("T", deep.c_str()));
    std::string four = "C:\\a\\b\\" + longName + "\\e.ini";
    EXPECT_EQ("T [C:\\...\\b\\" + std::string(259 - 7, 'x') + "]", WindowTitle("T", four.c_str()));
}

TEST(SetupTitle, ChipTitleTexts) {
    EXPECT_STREQ("Vantor Vt300 Crystal Afc Setup", ChipTitleText(0));
    EXPECT_STREQ("Vantor Vt318 Crystal Afc Setup", ChipTitleText(1));
    EXPECT_EQ(nullptr, ChipTitleText(2));
    EXPECT_EQ(nullptr, ChipTitleText(-1));
}

TEST(SetupPages, BarItemsMapByFolderAndPosition) {
    EXPECT_EQ(SetupPage::HtmlHelp, PageForBarItem(0, 0));
    EXPECT_EQ(SetupPage::Parameters, PageForBarItem(0, 1));
    EXPECT_EQ(SetupPage::About, PageForBarItem(1, 0));
    EXPECT_EQ(SetupPage::None, PageForBarItem(0, 2));
    EXPECT_EQ(SetupPage::None, PageForBarItem(1, 1));
    EXPECT_EQ(SetupPage::None, PageForBarItem(2, 0));
    EXPECT_EQ(SetupPage::None, PageForBarItem(-1, 0));
    EXPECT_EQ(SetupPage::None, PageForBarItem(0, -1));
}

TEST(SetupPages, BarRepliesAcceptRenamesAndDragsOnly) {
    EXPECT_EQ(0, BarNotifyReply(kBarItemClicked));
    EXPECT_EQ(1, BarNotifyReply(kBarItemRenamed));
    EXPECT_EQ(1, BarNotifyReply(kBarFolderRenamed));
    EXPECT_EQ(1, BarNotifyReply(kBarItemDragged));
    EXPECT_EQ(0, BarNotifyReply(kBarFolderChanged));
    EXPECT_EQ(0, BarNotifyReply(0));
    EXPECT_EQ(0, BarNotifyReply(6));
}

TEST(SetupPages, ColumnSizesUseIntegerDivision) {
    ColumnSizes c = CreationColumnSizes(699);
    EXPECT_EQ(99, c.barIdeal);
    EXPECT_EQ(0, c.barMin);
    EXPECT_EQ(139, c.pagesIdeal);
    EXPECT_EQ(0, c.pagesMin);
    EXPECT_EQ(165, InitialBarWidth(663));
    EXPECT_EQ(0, InitialBarWidth(3));
}

TEST(ParamPages, Vt318KeysInKeyOrderWithDefaultsAndRanges) {
    const ParamPageDef& s = Vt318PageDef();
    EXPECT_STREQ("CFormViewVt318", s.className);
    EXPECT_TRUE(s.unsignedNumbers);
    struct Row {
        const char* section;
        const char* key;
        int def, id;
        int64_t low, high;
    } rows[] = {
        {"AFC-COMMON", "PCL", 10, 14014, 0, 19},
        {"AFC-COMMON", "TCH", 62, 14016, 0, 1024},
        {"CRYSTAL_VT318", "Default CDAC", 55, 14001, 0, 63},
        {"CRYSTAL_VT318", "Default CAFC", 7000, 14002, 0, 32768},
        {"CRYSTAL_VT318", "CDAC    Range", 15, 14006, 0, 63},
        {"CRYSTAL_VT318", "CAFC    Range", 1000, 14007, 0, 32768},
        {"CRYSTAL_VT318", "Delta   CAFC", 1000, 14009, 0, 32767},
        {"CRYSTAL_VT318", "Slope Range", 3, 14011, 0, 32768},
    };
    for (size_t i = 0; i < kParamCount; ++i) {
        SCOPED_TRACE(rows[i].key);
        EXPECT_STREQ(rows[i].section, s.fields[i].section);
        EXPECT_STREQ(rows[i].key, s.fields[i].key);
        EXPECT_EQ(rows[i].def, s.fields[i].defaultValue);
        EXPECT_EQ(rows[i].id, s.fields[i].controlId);
        EXPECT_TRUE(s.fields[i].ranged);
        EXPECT_EQ(rows[i].low, s.fields[i].low);
        EXPECT_EQ(rows[i].high, s.fields[i].high);
    }
    EXPECT_EQ((std::array<int, 8>{14006, 14002, 14001, 14009, 14011, 14007, 14014, 14016}),
              s.exchangeOrder);
}

TEST(ParamPages, Vt300KeysInKeyOrderWithDefaultsAndRanges) {
    const ParamPageDef& s = Vt300PageDef();
    EXPECT_STREQ("CFormViewSetup", s.className);
    EXPECT_FALSE(s.unsignedNumbers);
    struct Row {
        const char* section;
        const char* key;
        int def, id;
        bool ranged;
        int64_t high;
    } rows[] = {
        {"AFC-COMMON", "PCL", 10, 14007, true, 20},
        {"AFC-COMMON", "TCH", 62, 14001, true, 1024},
        {"CRYSTAL_VT300", "Default CDAC", 3, 14002, false, 0},
        {"CRYSTAL_VT300", "Default CAFC", 4000, 14004, false, 0},
        {"CRYSTAL_VT300", "Next CAFC Distance", 1500, 14005, false, 0},
        {"CRYSTAL_VT300", "Freq. Offset Limit", 15000, 14006, false, 0},
        {"CRYSTAL_VT300", "Max CAFC Slope", 16, 14003, false, 0},
        {"CRYSTAL_VT300", "Min CAFC Slope", 4, 14008, false, 0},
    };
    for (size_t i = 0; i < kParamCount; ++i) {
        SCOPED_TRACE(rows[i].key);
        EXPECT_STREQ(rows[i].section, s.fields[i].section);
        EXPECT_STREQ(rows[i].key, s.fields[i].key);
        EXPECT_EQ(rows[i].def, s.fields[i].defaultValue);
        EXPECT_EQ(rows[i].id, s.fields[i].controlId);
        EXPECT_EQ(rows[i].ranged, s.fields[i].ranged);
        if (rows[i].ranged) {
            EXPECT_EQ(0, s.fields[i].low);
            EXPECT_EQ(rows[i].high, s.fields[i].high);
        }
    }
    EXPECT_EQ((std::array<int, 8>{14007, 14001, 14002, 14004, 14005, 14006, 14003, 14008}),
              s.exchangeOrder);
}

TEST(ParamPages, EveryExchangedControlIsAField) {
    for (const ParamPageDef* s : {&Vt318PageDef(), &Vt300PageDef()}) {
        std::array<bool, kParamCount> seen{};
        for (int id : s->exchangeOrder) {
            int i = FieldIndexOfControl(*s, id);
            ASSERT_GE(i, 0) << id;
            EXPECT_FALSE(seen[i]) << id;
            seen[i] = true;
        }
    }
    EXPECT_EQ(-1, FieldIndexOfControl(Vt318PageDef(), 14003)); // a label
    EXPECT_EQ(&Vt300PageDef(), PageDefForChip(0));
    EXPECT_EQ(&Vt318PageDef(), PageDefForChip(1));
    EXPECT_EQ(nullptr, PageDefForChip(2));
}

TEST(ParamPages, LoadGivesDefaultsForMissingFileAndKeys) {
    std::string path = tempPath("missing");
    std::remove(path.c_str());
    EXPECT_EQ((ParamValues{10, 62, 55, 7000, 15, 1000, 1000, 3}),
              LoadParamValues(Vt318PageDef(), path.c_str()));
    EXPECT_EQ((ParamValues{10, 62, 3, 4000, 1500, 15000, 16, 4}),
              LoadParamValues(Vt300PageDef(), path.c_str()));
    EXPECT_EQ((ParamValues{10, 62, 3, 4000, 1500, 15000, 16, 4}),
              LoadParamValues(Vt300PageDef(), nullptr));

    writeFile(path, "[AFC-COMMON]\nPCL=7\n[CRYSTAL_VT318]\nCDAC    Range = 9\n"
                    "CDAC Range=40\nDelta   CAFC=-2\n");
    ParamValues v = LoadParamValues(Vt318PageDef(), path.c_str());
    EXPECT_EQ(7u, v[0]);
    EXPECT_EQ(62u, v[1]);
    EXPECT_EQ(9u, v[4]); // the key with its blanks, not its look-alike
    EXPECT_EQ(static_cast<uint32_t>(-2), v[6]);
    std::remove(path.c_str());
}

TEST(ParamPages, SaveWritesEveryKeyInKeyOrderAndKeepsOtherLines) {
    std::string path = tempPath("save");
    writeFile(path, "; station file\r\n[DIAG CONTROL]\r\nTxOff=0\r\n[CRYSTAL_VT318]\r\n"
                    "Slope Range=9\r\nOther=1\r\n");
    ParamValues v{19, 1024, 63, 32768, 0, 32768, 32767, 1};
    ASSERT_TRUE(SaveParamValues(Vt318PageDef(), v, path.c_str()));
    std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("; station file")) << text;
    EXPECT_NE(std::string::npos, text.find("TxOff=0")) << text;
    EXPECT_NE(std::string::npos, text.find("Other=1")) << text;
    // Missing keys come in key order.
    size_t at = 0;
    for (const char* key : {"Default CDAC=63", "Default CAFC=32768", "CDAC    Range=0",
                            "CAFC    Range=32768", "Delta   CAFC=32767"}) {
        size_t p = text.find(key, at);
        ASSERT_NE(std::string::npos, p) << key << "\n" << text;
        at = p;
    }
    EXPECT_EQ(v, LoadParamValues(Vt318PageDef(), path.c_str()));
    EXPECT_EQ(19u, platform::ProfileInt("AFC-COMMON", "PCL", 0, path.c_str()));
    EXPECT_EQ("1", platform::ProfileString("CRYSTAL_VT318", "Slope Range", "", path.c_str()));
    std::remove(path.c_str());
}

TEST(ParamPages, ValuesAreWrittenAsSignedDecimal) {
    EXPECT_EQ("0", FormatParamValue(0));
    EXPECT_EQ("32768", FormatParamValue(32768));
    EXPECT_EQ("-5", FormatParamValue(static_cast<uint32_t>(-5)));
    EXPECT_EQ("-2147483648", FormatParamValue(0x80000000u));
    EXPECT_FALSE(SaveParamValues(Vt300PageDef(), ParamValues{}, nullptr));
}

TEST(ParamPages, SaveStopsAtTheFirstKeyThatCannotBeWritten) {
    // No file name, or a folder that is not there: the first key fails with
    // the system's reason and no later key is tried.
    const std::string missing = testing::TempDir() + "setup_rules_no_such_folder/x.ini";
    for (const char* path : {static_cast<const char*>(nullptr), missing.c_str()}) {
        const SaveOutcome out = SaveParamValues(Vt318PageDef(), ParamValues{}, path);
        EXPECT_FALSE(out.Complete());
        EXPECT_EQ(0u, out.written);
        EXPECT_NE(0u, out.systemError);
    }
    const std::string path = tempPath("complete");
    std::remove(path.c_str());
    const SaveOutcome out = SaveParamValues(Vt300PageDef(), ParamValues{}, path.c_str());
    EXPECT_TRUE(out.Complete());
    EXPECT_EQ(kParamCount, out.written);
    std::remove(path.c_str());
}

TEST(HelpPage, AboutTextEndsWithVersionAndBuild) {
    std::string about = AboutText("1.0.1", "0005");
    size_t nl = about.find('\n');
    ASSERT_NE(std::string::npos, nl);
    EXPECT_GT(nl, 0u); // a first line with the maker's notice
    EXPECT_EQ("\nVersion: 1.0.1\nBuild: 0005", about.substr(nl));
}

TEST(HelpPage, ReleaseHistoryHasTwoDatedNumberedLines) {
    std::string h = ReleaseHistory();
    size_t first = h.find("\r\n");
    ASSERT_NE(std::string::npos, first);
    std::string line1 = h.substr(0, first);
    std::string rest = h.substr(first + 2);
    ASSERT_GE(rest.size(), 2u);
    EXPECT_EQ("\r\n", rest.substr(rest.size() - 2));
    std::string line2 = rest.substr(0, rest.size() - 2);
    EXPECT_EQ(std::string::npos, line2.find('\n'));
    EXPECT_EQ('1', line1[0]);
    EXPECT_EQ('2', line2[0]);
    EXPECT_NE(std::string::npos, line1.find("20080623"));
    EXPECT_NE(std::string::npos, line2.find("20090112"));
    EXPECT_NE(std::string::npos, line2.find("VT318"));
}
