// The configuration table as the actions, the fuzzer's dictionary and a
// fresh action see it: each key is read under its name and falls back to its
// default, and an action starts out as a load without keys leaves it.
#include "Rig.h"

#include "afc/LN2040.h"
#include "afc/VantorAfc.h"
#include "afc/Vt318.h"
#include "chips/ChipRegistry.h"
#include "common/ConfigTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using Values = std::vector<double>;

// What each action keeps of its table's keys, in table order.
Values valuesOf(const CVt318& a) {
    return {double(a.Pcl()),
            double(a.Tch()),
            double(a.GetSettings().defaultCdac),
            double(a.GetSettings().defaultCafc),
            double(a.GetSettings().cdacRange),
            double(a.GetSettings().cafcRange),
            double(a.GetSettings().deltaCafc),
            double(a.GetSettings().slopeRange)};
}
Values valuesOf(const CVantorAfc& a) {
    return {double(a.Pcl()),
            double(a.Tch()),
            double(a.GetSettings().defaultCdac),
            double(a.GetSettings().defaultCafc),
            double(a.GetSettings().nextCafcDistance),
            double(a.GetSettings().freqOffsetLimit),
            double(a.GetSettings().maxCafcSlope),
            double(a.GetSettings().minCafcSlope),
            double(a.GetSettings().freqErrorLimit)};
}
Values valuesOf(const CLN2040& a) {
    return {double(a.Pcl()),
            double(a.Tch()),
            double(a.GetSettings().defaultCdac),
            double(a.GetSettings().defaultCdacStep),
            double(a.GetSettings().caliCdacMin),
            double(a.GetSettings().caliCdacMax),
            double(a.GetSettings().defaultCafc),
            double(a.GetSettings().defaultCafcStep),
            double(a.GetSettings().caliCafcMin),
            double(a.GetSettings().caliCafcMax),
            double(a.GetSettings().caliCafcSlopeMin),
            double(a.GetSettings().caliCafcSlopeMax)};
}

template <class Action> Values loadValues(const std::string& text) {
    rig::TempFile file(text);
    ACTION_PARAM p = testing_support::ParamBlock(file.Path(), 0, 0);
    Action action;
    EXPECT_EQ(0, action.InitAction(&p));
    return valuesOf(action);
}

struct Chip {
    const char* name;
    config::Facts facts;
    std::function<Values(const std::string&)> load;
    std::function<Values()> fresh;
};

template <class Action> Chip chip(const char* name, config::Facts facts) {
    return {name, facts, loadValues<Action>, [] { return valuesOf(Action()); }};
}

const std::vector<Chip>& chips() {
    static const std::vector<Chip> all = {chip<CVantorAfc>("VT300", config::kVt300Facts),
                                          chip<CVt318>("VT318", config::kVt318Facts),
                                          chip<CLN2040>("LN2040", config::kLn2040Facts)};
    return all;
}

// Every key of the chip's table but one set to 7, section by section.
std::string fileWithout(const config::Facts& facts, size_t missing) {
    std::string text;
    const char* section = nullptr;
    for (size_t i = 0; i < facts.size(); ++i) {
        if (section == nullptr || std::strcmp(section, facts[i].section) != 0) {
            section = facts[i].section;
            text += std::string("[") + section + "]\n";
        }
        if (i != missing)
            text += std::string(facts[i].key) + "=7\n";
    }
    return text;
}

struct KeyCase {
    size_t chip, key;
};

class MissingKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MissingKey, LoadsTheTableDefaultAndEveryOtherKeyUnderItsName) {
    const Chip& c = chips()[GetParam().chip];
    const size_t k = GetParam().key;
    Values expected(c.facts.size(), 7.0);
    const config::KeyFact& f = c.facts[k];
    expected[k] =
        f.field == config::Field::U16 ? double(uint16_t(f.actionDefault)) : double(f.actionDefault);
    EXPECT_EQ(expected, c.load(fileWithout(c.facts, k))) << c.name << " " << f.key;
}

std::vector<KeyCase> everyKey() {
    std::vector<KeyCase> cases;
    for (size_t c = 0; c < chips().size(); ++c)
        for (size_t k = 0; k < chips()[c].facts.size(); ++k)
            cases.push_back({c, k});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyOfEveryChip, MissingKey, ::testing::ValuesIn(everyKey()),
                         [](const ::testing::TestParamInfo<KeyCase>& param) {
                             return std::string(chips()[param.param.chip].name) + "_" +
                                    std::to_string(param.param.key);
                         });

// Each row of a chip's table loads into a member of its own: no key the
// settings lack, no two rows on one member (the member's type is checked at
// build time; valuesOf above, member by member, catches two rows swapped).
TEST(SettingsRows, EveryKeyHasAMemberOfItsOwn) {
    for (const vantor::ChipRow& row : vantor::Chips()) {
        std::vector<std::pair<size_t, size_t>> spans;
        for (const config::KeyFact& f : row.facts) {
            ASSERT_NE(config::kNoMember, f.member) << row.label << " " << f.key;
            spans.push_back({f.member, f.member + (f.field == config::Field::U16 ? 2u : 4u)});
        }
        std::sort(spans.begin(), spans.end());
        for (size_t i = 1; i < spans.size(); ++i)
            EXPECT_LE(spans[i - 1].second, spans[i].first) << row.label << " row " << i;
    }
}

TEST(StartValues, AreWhatALoadWithoutKeysLeaves) {
    for (const Chip& c : chips())
        EXPECT_EQ(c.load("[OTHER]\nPCL=1\n"), c.fresh()) << c.name;
}

// The fuzzer's dictionary holds every section and key the actions read.
TEST(FuzzDictionary, NamesEverySectionAndKeyOfTheTables) {
    std::ifstream in(VANTOR_INI_DICT);
    ASSERT_TRUE(in.good()) << VANTOR_INI_DICT;
    std::stringstream all;
    all << in.rdbuf();
    const std::string dict = all.str();
    for (const config::Facts& table : vantor::ConfigTables())
        for (const config::KeyFact& f : table) {
            EXPECT_NE(std::string::npos, dict.find("\n\"[" + std::string(f.section) + "]\"\n"))
                << f.section;
            EXPECT_NE(std::string::npos, dict.find("\n\"" + std::string(f.key) + "\"\n")) << f.key;
        }
}

} // namespace
