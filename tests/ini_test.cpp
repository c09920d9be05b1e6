// The INI engine against the private-profile rules.
#include "platform/ini.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

uint32_t readInt(const std::string& text, const char* section, const char* key, int def = -7) {
    return ini::ReadInt(text, section, key, def);
}

TEST(IniRead, NamesCompareWithoutCaseAndKeepInnerBlanks) {
    std::string text =
        "[Diag Control]\r\nthrow  diag. exception = 0\r\nThrow Diag. Exception=5\r\n";
    EXPECT_EQ(0u, readInt(text, "DIAG CONTROL", "Throw  Diag. Exception"));
    EXPECT_EQ(5u, readInt(text, "DIAG CONTROL", "Throw Diag. Exception"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "DIAG CONTROL", "Throw   Diag. Exception"));
}

TEST(IniRead, BlanksAroundNamesAndValuesAreTrimmed) {
    std::string text = "  [AFC-COMMON]  \n\t PCL \t=\t 12 \t\n";
    EXPECT_EQ(12u, readInt(text, "AFC-COMMON", "PCL"));
    EXPECT_EQ(12u, readInt(text, " AFC-COMMON ", "  PCL  "));
}

TEST(IniRead, BlanksAroundTheNameInsideItsBracketsDoNotCount) {
    EXPECT_EQ(3u, readInt("[ AFC-COMMON ]\nPCL=3\n", "AFC-COMMON", "PCL"));
    EXPECT_EQ(3u, readInt("[\tCRYSTAL_VT318 \t]\nPCL=3\n", "CRYSTAL_VT318", "PCL"));
    EXPECT_EQ(static_cast<uint32_t>(-7),
              readInt("[ DIAG  CONTROL ]\nPCL=3\n", "DIAG CONTROL", "PCL"));
    // No section answers to an empty name.
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt("[]\nPCL=3\n", "", "PCL"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt("[ ]\nPCL=3\n", " ", "PCL"));
}

std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

TEST(IniRead, ByteOrderMarksChooseTheEncoding) {
    const std::string text = "[CRYSTAL_VT318]\r\nPCL=5\r\n[X]\r\nTCH = 6";
    const std::string files[] = {"\xEF\xBB\xBF" + text, utf16(text, false), utf16(text, true),
                                 utf16(text, false) + "Z"};
    for (const std::string& file : files) {
        EXPECT_EQ(5u, readInt(file, "CRYSTAL_VT318", "PCL"));
        EXPECT_EQ(6u, readInt(file, "X", "TCH")); // the last line, without a line break
    }
    // A second mark is text, and UTF-16 without its mark is not read as UTF-16.
    EXPECT_EQ(static_cast<uint32_t>(-7),
              readInt("\xEF\xBB\xBF\xEF\xBB\xBF" + text, "CRYSTAL_VT318", "PCL"));
    EXPECT_EQ(static_cast<uint32_t>(-7),
              readInt(utf16(text, false).substr(2), "CRYSTAL_VT318", "PCL"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt("\xFF\xFE", "CRYSTAL_VT318", "PCL"));
}

TEST(IniWrite, KeepsTheFilesMarkAndEncoding) {
    // A surrogate pair, a lone surrogate and an odd last byte survive the write.
    const std::string le = utf16("[s]\r\n;", false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6) +
                           utf16("\r\nk=1\r\n", false).substr(2) + "Z";
    std::string written = ini::WriteKey(le, "s", "k", "27");
    EXPECT_EQ(utf16("[s]\r\n;", false) + std::string("\x3D\xD8\x00\xDE\x00\xD8", 6) +
                  utf16("\r\nk=27\r\n", false).substr(2) + "Z",
              written);
    const std::string be = utf16("[s]\r\nk=1\r\n", true);
    EXPECT_EQ(utf16("[s]\r\nk=1\r\nn=2\r\n", true), ini::WriteKey(be, "s", "n", "2"));
    EXPECT_EQ("\xEF\xBB\xBF[s]\nk=3\n", ini::WriteKey("\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "3"));
}

TEST(IniRead, IntegerTakesSignAndLeadingDigits) {
    std::string text =
        "[s]\na=-12\nb=+7\nc=42abc\nd=abc\ne= 1 2\nf=0x1F\ng=0b101\nh=0o17\ni=0X10\n";
    EXPECT_EQ(static_cast<uint32_t>(-12), readInt(text, "s", "a"));
    EXPECT_EQ(7u, readInt(text, "s", "b"));
    EXPECT_EQ(42u, readInt(text, "s", "c"));
    EXPECT_EQ(0u, readInt(text, "s", "d"));
    EXPECT_EQ(1u, readInt(text, "s", "e"));
    EXPECT_EQ(31u, readInt(text, "s", "f"));
    EXPECT_EQ(5u, readInt(text, "s", "g"));
    EXPECT_EQ(15u, readInt(text, "s", "h"));
    EXPECT_EQ(0u, readInt(text, "s", "i")); // only a lower-case prefix counts
}

TEST(IniRead, LargeValuesWrapIn32Bits) {
    EXPECT_EQ(4294967295u, readInt("[s]\na=4294967295\n", "s", "a"));
    EXPECT_EQ(0u, readInt("[s]\na=4294967296\n", "s", "a"));
    EXPECT_EQ(65536u + 7u, readInt("[s]\na=65543\n", "s", "a"));
}

TEST(IniRead, OnlyTheFirst29CharactersAreRead) {
    std::string digits(29, '1');
    std::string longer = digits + "9";
    EXPECT_EQ(readInt("[s]\na=" + digits + "\n", "s", "a"),
              readInt("[s]\na=" + longer + "\n", "s", "a"));
}

TEST(IniRead, MatchingQuotesAreRemoved) {
    EXPECT_EQ(15u, readInt("[s]\na=\"15\"\n", "s", "a"));
    EXPECT_EQ(15u, readInt("[s]\na='15'\n", "s", "a"));
    EXPECT_EQ(0u, readInt("[s]\na=\"15'\n", "s", "a"));
    EXPECT_EQ("x y", ini::ReadString("[s]\na=\"x y\"\n", "s", "a", "d"));
}

TEST(IniRead, EmptyOrMissingGivesTheDefault) {
    std::string text = "[s]\nempty=\nnovalue\n";
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "s", "empty"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "s", "novalue"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "s", "missing"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "other", "empty"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt("", "s", "a"));
}

TEST(IniRead, OnlyTheFirstOfDuplicateSectionsAndKeysCounts) {
    std::string text = "[s]\na=1\na=2\n[S]\na=3\nb=4\n";
    EXPECT_EQ(1u, readInt(text, "s", "a"));
    // The first matching section lacks b: later duplicates are not searched.
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "s", "b"));
}

TEST(IniRead, CommentLinesAreJustLinesWithoutValue) {
    std::string text = "; note\n[s]\n;a=9\na=2 ; tail\n# x=1\n";
    EXPECT_EQ(2u, readInt(text, "s", "a"));
    EXPECT_EQ(static_cast<uint32_t>(-7), readInt(text, "s", "x"));
}

TEST(IniWrite, ReplacesAKeyAndKeepsEveryOtherLine) {
    std::string text =
        "; header\r\n[AFC-COMMON]\r\n PCL = 5 \r\n; keep\r\nTCH=62\r\n\r\n[X]\r\nk=1\r\n";
    std::string out = ini::WriteKey(text, "afc-common", "pcl", "19");
    EXPECT_EQ("; header\r\n[AFC-COMMON]\r\nPCL=19\r\n; keep\r\nTCH=62\r\n\r\n[X]\r\nk=1\r\n", out);
}

TEST(IniWrite, AddsAMissingKeyAfterTheLastLineOfItsSection) {
    std::string text = "[A]\na=1\n\n[B]\nb=2\n";
    EXPECT_EQ("[A]\na=1\nc=3\n\n[B]\nb=2\n", ini::WriteKey(text, "A", "c", "3"));
    EXPECT_EQ("[A]\na=1\n\n[B]\nb=2\nd=4\n", ini::WriteKey(text, "B", "d", "4"));
}

TEST(IniWrite, AddsAMissingSectionAtTheEnd) {
    EXPECT_EQ("[A]\na=1\n[B]\nb=2\n", ini::WriteKey("[A]\na=1", "B", "b", "2"));
    EXPECT_EQ("[B]\r\nb=2\r\n", ini::WriteKey("", "B", "b", "2"));
}

TEST(IniWrite, WrittenKeysReadBack) {
    std::string text;
    const char* keys[] = {"PCL", "TCH", "Default CDAC", "CDAC    Range", "Delta   CAFC"};
    int v = 10;
    for (const char* k : keys)
        text = ini::WriteKey(text, "CRYSTAL_VT318", k, std::to_string(v++));
    v = 10;
    for (const char* k : keys)
        EXPECT_EQ(static_cast<uint32_t>(v++), readInt(text, "CRYSTAL_VT318", k)) << k;
}

#if !defined(_WIN32)
TEST(IniFile, NoRegularFileIsWaitedOnReadOrWritten) {
    const std::string fifo = "ini-fifo-" + std::to_string(::getpid());
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        uint64_t size = 1;
        EXPECT_FALSE(platform::ProbeFile(path.c_str(), &size));
        EXPECT_EQ(9u, platform::ProfileInt("s", "k", 9, path.c_str()));
        EXPECT_EQ("d", platform::ProfileString("s", "k", "d", path.c_str()));
        EXPECT_FALSE(platform::WriteProfileString("s", "k", "1", path.c_str()));
    }
    struct stat st {};
    ASSERT_EQ(0, ::stat(fifo.c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode)); // not replaced by a written file
    std::remove(fifo.c_str());
}
#endif

} // namespace
