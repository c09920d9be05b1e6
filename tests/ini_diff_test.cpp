// Our INI engine against the system's private-profile functions, on the same
// generated files: both must give the same integers, and a write must keep
// what the system reads of the rest of the file.
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class Gen {
public:
    explicit Gen(uint64_t seed) : m_s(seed * 2654435761u + 1) {}
    uint32_t Next() {
        m_s ^= m_s << 13;
        m_s ^= m_s >> 7;
        m_s ^= m_s << 17;
        return static_cast<uint32_t>(m_s >> 11);
    }
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Next() % v.size()]; }

private:
    uint64_t m_s;
};

const std::vector<std::string> kSections = {"DIAG CONTROL", "AFC-COMMON", "CRYSTAL_VT318",
                                            "LN2040 AFC"};
const std::vector<std::string> kKeys = {
    "TxOff",         "Throw  Diag. Exception", "Throw Diag. Exception", "PCL",
    "CDAC    Range", "Delta   CAFC",           "DEFAULT_CDAC"};
const std::vector<std::string> kValues = {
    "12",     "-12",   "+7",    "42abc", "abc",        "",           " 1 2",
    "0x1F",   "0X1F",  "0b101", "0o17",  "4294967295", "4294967296", "99999999999",
    "\"15\"", "'15'",  "\"15'", "\"\"",  "-",          "+",          "007",
    "1e3",    "65543", "  \t9", "-0x10", "12;c",       "\"-3\" x",   "18446744073709551617"};
const std::vector<std::string> kPads = {"", " ", "  ", "\t", " \t "};

std::string caseVariant(Gen& g, const std::string& s) {
    std::string out = s;
    int mode = static_cast<int>(g.Next() % 3);
    for (char& c : out) {
        if (mode == 1 && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (mode == 2 && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The file's bytes: as written, after a UTF-8 mark, or UTF-16 with its mark.
std::string encode(Gen& g, const std::string& text) {
    int kind = static_cast<int>(g.Next() % 6);
    if (kind == 0)
        return "\xEF\xBB\xBF" + text;
    if (kind == 1 || kind == 2) {
        bool big = kind == 2;
        std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : text) {
            out += big ? '\0' : c;
            out += big ? c : '\0';
        }
        return out;
    }
    return text;
}

std::string generate(Gen& g) {
    std::string text;
    int sections = 1 + static_cast<int>(g.Next() % 5);
    for (int s = 0; s < sections; ++s) {
        if (g.Next() % 4 == 0)
            text += "; comment " + std::to_string(s) + "\r\n";
        // Blanks inside the brackets now and then.
        bool inner = g.Next() % 3 == 0;
        std::string name = caseVariant(g, g.Pick(kSections));
        if (inner)
            name = g.Pick(kPads) + name + g.Pick(kPads);
        text += g.Pick(kPads) + "[" + name + "]" + g.Pick(kPads) + "\r\n";
        int keys = static_cast<int>(g.Next() % 6);
        for (int k = 0; k < keys; ++k) {
            int kind = static_cast<int>(g.Next() % 10);
            std::string key = caseVariant(g, g.Pick(kKeys));
            if (kind == 0)
                text += key + "\r\n"; // no '='
            else if (kind == 1)
                text += "\r\n";
            else if (kind == 2)
                text += ";" + key + "=5\r\n";
            else
                text += g.Pick(kPads) + key + g.Pick(kPads) + "=" + g.Pick(kPads) +
                        g.Pick(kValues) + g.Pick(kPads) + "\r\n";
        }
    }
    // The last line without its line break.
    if (g.Next() % 4 == 0 && text.size() >= 2)
        text.resize(text.size() - 2);
    return encode(g, text);
}

std::string fullPath(const char* name) {
    char buf[MAX_PATH];
    GetFullPathNameA(name, MAX_PATH, buf, nullptr);
    return buf;
}

void writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST(IniDifferential, IntegersMatchTheSystemReader) {
    int compared = 0;
    for (uint64_t seed = 1; seed <= 400; ++seed) {
        // A file of its own per case: the system caches what it has read.
        std::string path = fullPath(("ini_diff_" + std::to_string(seed) + ".ini").c_str());
        Gen g(seed);
        std::string text = generate(g);
        writeFile(path, text);
        for (const std::string& section : kSections)
            for (const std::string& key : kKeys) {
                UINT sys = GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path.c_str());
                uint32_t ours = ini::ReadInt(text, section, key, -7);
                ASSERT_EQ(sys, ours) << "seed " << seed << " [" << section << "] " << key << "\n"
                                     << text;
                ++compared;
            }
        std::remove(path.c_str());
    }
    EXPECT_EQ(400 * 4 * 7, compared);
}

TEST(IniDifferential, LastLineMarksAndBracketBlanksAsTheSystemReads) {
    struct Case {
        std::string bytes;
        uint32_t value;
    };
    auto le = [](const std::string& t) {
        std::string out = "\xFF\xFE";
        for (char c : t)
            out += std::string(1, c) + '\0';
        return out;
    };
    const Case cases[] = {
        {"[s]\r\nk=5", 5},
        {"[s]\nk = 5 \t", 5},
        {"[s]\rk=5", 5},
        {le("[s]\r\nk=5"), 5},
        {"\xEF\xBB\xBF[s]\r\nk=5\r\n", 5},
        {"\xEF\xBB\xBF\xEF\xBB\xBF[s]\r\nk=5\r\n", static_cast<uint32_t>(-7)},
        {"[ s\t]\r\nk=5\r\n", 5},
        {"[ s ] ]\r\nk=5\r\n", static_cast<uint32_t>(-7)},
        {"[]\r\nk=5\r\n", static_cast<uint32_t>(-7)},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = fullPath(("ini_diff_pin" + std::to_string(++n) + ".ini").c_str());
        writeFile(path, c.bytes);
        const char* section = c.bytes.find("[]") != std::string::npos ? "" : "s";
        EXPECT_EQ(c.value, GetPrivateProfileIntA(section, "k", -7, path.c_str())) << n;
        EXPECT_EQ(c.value, ini::ReadInt(c.bytes, section, "k", -7)) << n;
        std::remove(path.c_str());
    }
}

TEST(IniDifferential, MissingFileGivesTheDefaultInBoth) {
    std::string path = fullPath("ini_diff_missing.ini");
    std::remove(path.c_str());
    EXPECT_EQ(GetPrivateProfileIntA("AFC-COMMON", "PCL", 10, path.c_str()), 10u);
    EXPECT_EQ(10u, ini::ReadInt("", "AFC-COMMON", "PCL", 10));
}

TEST(IniDifferential, OurWritesKeepWhatTheSystemReads) {
    for (uint64_t seed = 1; seed <= 100; ++seed) {
        std::string path = fullPath(("ini_diff_w" + std::to_string(seed) + ".ini").c_str());
        Gen g(seed + 1000);
        std::string text = generate(g);
        const std::string& section = g.Pick(kSections);
        const std::string& key = g.Pick(kKeys);
        std::string written = ini::WriteKey(text, section, key, "321");
        writeFile(path, written);
        EXPECT_EQ(321u, GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path.c_str()))
            << "seed " << seed << "\n"
            << written;
        for (const std::string& s : kSections)
            for (const std::string& k : kKeys) {
                if (s == section && k == key)
                    continue;
                bool sameKey = ini::ReadInt("[x]\n" + k + "=1\n", "x", key, 0) == 1;
                if (s == section && sameKey)
                    continue;
                ASSERT_EQ(ini::ReadInt(text, s, k, -7),
                          GetPrivateProfileIntA(s.c_str(), k.c_str(), -7, path.c_str()))
                    << "seed " << seed << " [" << s << "] " << k << "\n"
                    << written;
            }
        std::remove(path.c_str());
    }
}

} // namespace
