// The configuration file the release package ships: every key the actions
// read, at the value an action takes when the key is missing, spelt as the
// actions spell it, and nothing else.
#include "chips/ChipRegistry.h"
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool IsComment(std::string_view name) {
    return !name.empty() && name[0] == ';';
}

TEST(PackageConfig, EveryKeyAtTheActionsDefault) {
    const std::string bytes = ReadFile(PACKAGE_CONFIG);
    ASSERT_FALSE(bytes.empty()) << PACKAGE_CONFIG;
    const ini::Profile file(bytes);
    int keys = 0;
    for (const config::Facts& table : vantor::ConfigTables())
        for (const config::KeyFact& f : table) {
            const std::optional<std::string> value = file.Value(f.section, f.key);
            ASSERT_TRUE(value.has_value()) << "[" << f.section << "] " << f.key << " is missing";
            EXPECT_EQ(std::to_string(f.actionDefault), *value) << "[" << f.section << "] " << f.key;
            ++keys;
        }
    EXPECT_GT(keys, 30);
}

TEST(PackageConfig, EachKeyOnceAndNoOtherKey) {
    std::set<std::pair<std::string, std::string>> known;
    for (const config::Facts& table : vantor::ConfigTables())
        for (const config::KeyFact& f : table)
            known.emplace(f.section, f.key);
    const std::string bytes = ReadFile(PACKAGE_CONFIG);
    std::set<std::pair<std::string, std::string>> seen;
    std::string section;
    for (const ini::Line& l : ini::SplitLines(bytes)) {
        if (l.kind == ini::LineKind::Section) {
            section = l.name;
            continue;
        }
        if (l.kind != ini::LineKind::Key || IsComment(l.name))
            continue;
        const std::pair<std::string, std::string> key(section, l.name);
        EXPECT_TRUE(known.count(key) == 1 && l.hasValue)
            << "line " << l.number << ": [" << section << "] " << l.name << " is no key";
        EXPECT_TRUE(seen.insert(key).second)
            << "line " << l.number << ": [" << section << "] " << l.name << " again";
    }
    EXPECT_EQ(known.size(), seen.size());
}

} // namespace
