// One load's reader answers every key as the per-key readers do, from files
// of every encoding and shape; where our engine reads, it reads the file once.
#include "TempFile.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

const char* const kSections[] = {"AFC-COMMON", "afc-common", "CRYSTAL_VT318", "DIAG CONTROL", ""};
const char* const kKeys[] = {"PCL", "pcl", "TCH", "Resend Interval Time", "Slope Range", ""};
const char* const kValues[] = {"12", " 0x1F ", "-3", "'7'", "\"abc\"", "", "99999999999", "0b101"};

// A file of repeated sections and keys, blanks, comments and lines without '='.
std::string randomText(std::mt19937& draw) {
    auto pick = [&](const auto& list) { return list[draw() % (sizeof list / sizeof list[0])]; };
    const char* breaks[] = {"\r\n", "\n", "\r"};
    std::string text;
    int lines = static_cast<int>(draw() % 25);
    for (int i = 0; i < lines; ++i) {
        switch (draw() % 5) {
        case 0:
            text += std::string(draw() % 2 ? " [" : "[") + pick(kSections) + "]";
            break;
        case 1:
            text += std::string(pick(kKeys)) + (draw() % 2 ? " = " : "=") + pick(kValues);
            break;
        case 2:
            text += std::string("; ") + pick(kKeys);
            break;
        case 3:
            text += pick(kKeys);
            break;
        default:
            break;
        }
        text += pick(breaks);
    }
    return text;
}

TEST(ProfileFile, AnswersAsThePerKeyReaders) {
    testing_support::TempFile file;
    std::mt19937 draw(318);
    for (int n = 0; n < 150; ++n) {
        std::string text = randomText(draw);
        std::string bytes = n % 4 == 0   ? text
                            : n % 4 == 1 ? "\xEF\xBB\xBF" + text
                                         : utf16(text, n % 4 == 3);
        file.Write(bytes);
        platform::ProfileFile profile(file.CPath());
        EXPECT_EQ(file.Path(), profile.Path());
        for (const char* section : kSections)
            for (const char* key : kKeys) {
                ASSERT_EQ(platform::ProfileInt(section, key, -7, file.CPath()),
                          profile.Int(section, key, -7))
                    << n << " [" << section << "] " << key << "\n"
                    << text;
                ASSERT_EQ(platform::ProfileString(section, key, "d", file.CPath()),
                          profile.String(section, key, "d"))
                    << n << " [" << section << "] " << key << "\n"
                    << text;
            }
    }
}

TEST(ProfileFile, MissingFileGivesTheDefaults) {
    for (const char* path : {"profile_file_missing.ini", ""}) {
        platform::ProfileFile profile(path);
        EXPECT_EQ(41u, profile.Int("AFC-COMMON", "PCL", 41));
        EXPECT_EQ("x", profile.String("AFC-COMMON", "PCL", "x"));
    }
    platform::ProfileFile none(nullptr);
    EXPECT_EQ("", none.Path());
    EXPECT_EQ(5u, none.Int("AFC-COMMON", "PCL", 5));
}

#if !defined(_WIN32)
// Our engine takes the file in once: a later change of the file is not seen
// by the load that read it, and copies answer from the same text.
TEST(ProfileFile, ReadsTheFileOnceAtConstruction) {
    testing_support::TempFile file;
    file.Write("[AFC-COMMON]\nPCL=12\n");
    platform::ProfileFile profile(file.CPath());
    file.Write("[AFC-COMMON]\nPCL=13\n");
    platform::ProfileFile copy = profile;
    EXPECT_EQ(12u, profile.Int("AFC-COMMON", "PCL", 0));
    EXPECT_EQ("12", copy.String("AFC-COMMON", "PCL", ""));
    EXPECT_EQ(13u, platform::ProfileFile(file.CPath()).Int("AFC-COMMON", "PCL", 0));
}
#endif

} // namespace
