// The library object in-process: version rule, info block, registry.
#include "library/Library.h"

#include "common/ActionBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
    e.id = OMRA_ACTION_LN2040;
    EXPECT_EQ(1, lib.FillActionInfo(&e, &info));
    EXPECT_EQ(-1, info.first);
    EXPECT_EQ(OMRA_ACTION_LN2040, info.entry.id);
}

// A chip known only to this test: the library object finds everything of it
// in the registry it is given.
class CTestChip : public CActionBase {
public:
    const char* GetName() const override { return "TEST_AFC"; }
};

TEST(ChipRegistryRows, AFourthRowIsOfferedMadeAndKeptLive) {
    constexpr uint16_t kTestId = 0x0901;
    std::vector<vantor::ChipRow> rows(vantor::Chips().begin(), vantor::Chips().end());
    vantor::ChipRow extra = rows.back();
    extra.id = kTestId;
    extra.entryName = "TEST chip";
    extra.create = [] { return static_cast<IAction*>(new CTestChip()); };
    rows.push_back(extra);
    const vantor::ChipRegistry registry(rows.data(), rows.size());
    CVantorCrystalLibrary lib(registry);

    LIBRARY_INFO info;
    ASSERT_EQ(0u, lib.Startup(&info));
    ASSERT_EQ(4, info.count);
    EXPECT_EQ(kTestId, info.entries[3].id);
    EXPECT_STREQ("TEST chip", info.entries[3].name);
    EXPECT_EQ(OMRA_ACTION_VT318, info.header.id);

    IAction* action = lib.CreateAction(kTestId | 0x70000u); // only the low 16 bits count
    ASSERT_NE(nullptr, action);
    EXPECT_STREQ("TEST_AFC", static_cast<CActionBase*>(action)->GetName());
    EXPECT_TRUE(lib.IsLive(action));
    ACTION_INFO actionInfo;
    EXPECT_EQ(0u, lib.GetActionInfo(action, &actionInfo));
    EXPECT_EQ(kTestId, actionInfo.entry.id);
    EXPECT_EQ(0u, lib.RunAction(action, OMRA_OP_DO_ACTION, [] { return 0; }));
    EXPECT_EQ(0u, lib.FreeAction(action));
    EXPECT_FALSE(lib.IsLive(action));

    // The one library object knows only the registry's three.
    EXPECT_EQ(nullptr, vantor::Chips().Find(kTestId));
    EXPECT_EQ(nullptr, lib.CreateAction(0x0A01));
}

} // namespace
