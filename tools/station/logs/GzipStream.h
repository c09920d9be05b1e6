// A gzip log inflated member after member, as `gzip -d` reads concatenated
// members, that knows how the stream ended: whole, cut short, corrupt or
// unreadable, and at which byte of the file. Bytes that are no gzip at all
// pass as they are (standard input may be either).
#pragma once

#include "logs/LogSource.h"

#include <cstdio>
#include <memory>

namespace station {

class GzipStream {
public:
    // Reads `file` (not owned) from where it stands.
    explicit GzipStream(FILE* file);
    ~GzipStream();
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    // Up to `room` bytes of text; 0 once it is over, and then Stop() says how.
    size_t Read(char* to, size_t room);
    const LogStop& Stop() const { return m_stop; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    LogStop m_stop;
};

} // namespace station
