// A text written to a temporary file for the library to read by path,
// removed again when the object goes.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace station {

class TempFile {
public:
    // what: the text's name in messages ("the default configuration").
    explicit TempFile(std::string what) : m_what(std::move(what)) {}
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Makes the file (once) and writes the text over it; false with *error set.
    bool Write(const std::string& text, std::string* error);
    const std::string& Path() const { return m_path; }

private:
    bool make(std::string* error);
    std::string m_what;
    std::string m_path;
};

// A file for the process's own scratch data, removed when it is closed (or
// the process ends); null with *error set when none can be made.
std::FILE* OpenScratchFile(std::string* error);

} // namespace station
