// The library object in-process: version rule, info block, registry.
#include "library/Library.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Version {
    std::string version, build;
};

Version parse(const std::string& text) {
    Version v;
    platform::ParseFileVersion(text, &v.version, &v.build);
    return v;
}

TEST(FileVersion, SplitsAtTheLastPoint) {
    EXPECT_EQ("1.0.1", parse("1, 0, 1, 5").version);
    EXPECT_EQ("0005", parse("1, 0, 1, 5").build);
    EXPECT_EQ("2.1.3", parse("2, 1, 3, 17").version);
    EXPECT_EQ("0017", parse("2, 1, 3, 17").build);
}

TEST(FileVersion, WithoutPointTheWholeTextIsTheBuild) {
    EXPECT_EQ("", parse("7").version);
    EXPECT_EQ("0007", parse("7").build);
}

TEST(FileVersion, EmptyTextGivesBuildZero) {
    EXPECT_EQ("", parse("").version);
    EXPECT_EQ("0000", parse("").build);
}

TEST(FileVersion, NonDigitsEndTheBuildNumber) {
    EXPECT_EQ("0012", parse("1.2.12b3").build);
    EXPECT_EQ("0000", parse("1.2.x").build);
    EXPECT_EQ("1.2", parse("1.2.").version);
    EXPECT_EQ("0000", parse("1.2.").build);
    EXPECT_EQ("12345", parse("1,12345").build);
}

TEST(ActionInfoFill, DescribesOnlyTheThreeActions) {
    CVantorCrystalLibrary& lib = vantor::TheLibrary();
    ACTION_ENTRY e{};
    e.id = 0x0401;
    ACTION_INFO info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(0, lib.FillActionInfo(&e, &info));
    EXPECT_EQ(0x5A, reinterpret_cast<unsigned char*>(&info)[0]); // nothing written
    e.id = 0x0301;
    EXPECT_EQ(1, lib.FillActionInfo(&e, &info));
    EXPECT_EQ(-1, info.first);
    EXPECT_EQ(0x0301, info.entry.id);
}

} // namespace
