// In-process checks of what the exports cannot reach: fields cut to fit with
// their terminator, and the INI engine on bytes a host file may hold.
#include "Capture.h"
#include "TempFile.h"
#include "afc/VantorAfc.h"
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using testing_support::Capture;

TEST(FieldLimits, LongNamesUnitsAndTextsAreCutWithTheirTerminator) {
    Capture().Clear();
    CVantorAfc action;
    NOTIFY_TARGET items = testing_support::ItemTarget();
    ASSERT_EQ(0, action.SetCallBack(OMRA_CALLBACK_RESULT, &items));
    std::string name(300, 'n');
    std::string unit(40, 'u');
    std::string text(150, 't');
    action.ReportValue(name.c_str(), 0, 1, 2, unit.c_str(), OMRA_KIND_JUDGED, 1);
    action.ReportText(name.c_str(), text.c_str(), 1);
    ASSERT_EQ(2u, Capture().items.size());
    const RESULT_ITEM& v = Capture().items[0].raw;
    EXPECT_EQ(199u, strnlen(v.name, sizeof v.name));
    EXPECT_EQ(19u, strnlen(v.unit, sizeof v.unit));
    EXPECT_EQ(std::string(199, 'n'), std::string(v.name));
    const RESULT_ITEM& t = Capture().items[1].raw;
    EXPECT_EQ(199u, strnlen(t.name, sizeof t.name));
    EXPECT_EQ(99u, strnlen(t.u.text, sizeof t.u.text));
    EXPECT_EQ(std::string(99, 't'), std::string(t.u.text));
}

// Found by the INI fuzz target: the system keeps names and values as C
// strings, so a NUL byte ends them; the engine read on past it.
TEST(IniNulBytes, ANulEndsNamesAndValues) {
    using std::string;
    auto text = [](const char* s, size_t n) { return string(s, n); };
    // "DEFAULT_CDAC=\0 5": the value is empty, so the default counts.
    EXPECT_EQ(39u, ini::ReadInt(text("[LN2040 AFC]\nDEFAULT_CDAC=\0 5\n", 29), "LN2040 AFC",
                                "DEFAULT_CDAC", 39));
    EXPECT_EQ(1u, ini::ReadInt(text("[s]\na=1\0"
                                    "99\n",
                                    12),
                               "s", "a", 7));
    // A key or section name ends at its NUL too.
    EXPECT_EQ(5u, ini::ReadInt(text("[s]\nPCL\0junk=5\n", 15), "s", "PCL", 7));
    EXPECT_EQ(5u, ini::ReadInt(text("[s\0x]\nPCL=5\n", 12), "s", "PCL", 7));
}

#if defined(_WIN32)
// The same files through the system's own reader.
TEST(IniNulBytes, TheSystemReaderAgrees) {
    const std::string files[] = {
        std::string("[LN2040 AFC]\r\nDEFAULT_CDAC=\0 5\r\n", 31),
        std::string("[s]\r\na=1\0"
                    "99\r\n",
                    14),
        std::string("[s]\r\nPCL\0junk=5\r\n", 17),
        std::string("[s\0x]\r\nPCL=5\r\n", 14),
    };
    const char* sections[] = {"LN2040 AFC", "s", "s", "s"};
    const char* keys[] = {"DEFAULT_CDAC", "a", "PCL", "PCL"};
    char full[MAX_PATH];
    GetFullPathNameA("nul-bytes.ini", MAX_PATH, full, nullptr);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(testing_support::WriteFile(full, files[i]));
        UINT system = GetPrivateProfileIntA(sections[i], keys[i], 39, full);
        EXPECT_EQ(system, ini::ReadInt(files[i], sections[i], keys[i], 39)) << i;
    }
    std::remove(full);
}
#endif

} // namespace
