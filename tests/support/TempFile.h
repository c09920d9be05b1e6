// Files the suites write: a whole file at once, and a file in the working
// folder named after the running test and removed when it goes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testing_support {

// Writes the bytes as the whole file; false when it cannot be written.
inline bool WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

class TempFile {
public:
    explicit TempFile(const std::string& text = "", const std::string& tag = "") {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        static int serial = 0;
        m_path = std::string("cfg_") + (info ? info->test_suite_name() : "x") + "_" +
                 (info ? info->name() : "y") + tag + "_" + std::to_string(++serial) + ".ini";
        for (char& c : m_path)
            if (c == '/')
                c = '_'; // a parameterised test's name
        Write(text);
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Replaces what the file holds.
    void Write(const std::string& bytes) const { EXPECT_TRUE(WriteFile(m_path, bytes)) << m_path; }
    const std::string& Path() const { return m_path; }
    const char* CPath() const { return m_path.c_str(); }

private:
    std::string m_path;
};

} // namespace testing_support
