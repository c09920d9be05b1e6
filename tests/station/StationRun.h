// The station run as a program from the tests: its exit status and output,
// a scratch folder removed when the tests are done, and its JSON lines.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace stationtest {

struct Ran {
    int status = -1;
    std::string out;
};

inline const std::string& TestDir() {
    static const std::string d = [] {
        std::string path = ::testing::TempDir() + "station-test-" + std::to_string(::getpid());
        const int made = std::system(("mkdir -p '" + path + "'").c_str());
        (void)made;
        return path;
    }();
    return d;
}

// The folder goes when the tests are done.
class RemoveTestDir : public ::testing::Environment {
public:
    void TearDown() override { std::system(("rm -rf '" + TestDir() + "'").c_str()); }
};
inline const ::testing::Environment* const kRemoveTestDir =
    ::testing::AddGlobalTestEnvironment(new RemoveTestDir);

// Standard output and error together.
inline Ran station(const std::string& args) {
    const std::string out = TestDir() + "/out.txt";
    Ran r;
    const int s = std::system(
        (std::string("'") + STATION_EXE + "' " + args + " >'" + out + "' 2>&1").c_str());
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    std::ifstream in(out);
    r.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

// The JSON lines of one type, each as its fields' raw texts.
inline std::vector<std::map<std::string, std::string>> kind(const std::string& json,
                                                            const std::string& k) {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream in(json);
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"type\":\"" + k + "\"") == std::string::npos)
            continue;
        std::map<std::string, std::string> row;
        size_t at = 0;
        while ((at = line.find('"', at)) != std::string::npos) {
            const size_t end = line.find('"', at + 1);
            if (end == std::string::npos)
                break;
            const std::string key = line.substr(at + 1, end - at - 1);
            if (end + 1 >= line.size() || line[end + 1] != ':') {
                at = end + 1;
                continue;
            }
            size_t v = end + 2, stop = v;
            if (line[v] == '"')
                stop = line.find('"', v + 1) + 1;
            else
                while (stop < line.size() && line[stop] != ',' && line[stop] != '}')
                    ++stop;
            row[key] = line.substr(v, stop - v);
            at = stop;
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace stationtest
