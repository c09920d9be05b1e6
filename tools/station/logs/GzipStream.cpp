#include "logs/GzipStream.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace station {

namespace {

constexpr size_t kInputBytes = 1 << 18;
constexpr unsigned char kMagic0 = 0x1f, kMagic1 = 0x8b;

} // namespace

struct GzipStream::Impl {
    enum class State { Start, Member, Between, Plain, Done };

    FILE* file = nullptr;
    z_stream z{};
    bool inflating = false; // z set up by inflateInit2
    State state = State::Start;
    std::vector<unsigned char> in = std::vector<unsigned char>(kInputBytes);
    long long fileRead = 0; // bytes taken from the file so far
    bool fileEnd = false;
    long members = 0; // members begun
    std::string readError;

    ~Impl() {
        if (inflating)
            inflateEnd(&z);
    }

    // The file's offset of the first byte not yet consumed.
    long long At() const { return fileRead - static_cast<long long>(z.avail_in); }

    // More input after what is left unconsumed; false at the end of the file
    // or on a read error (readError set).
    bool Fill() {
        if (fileEnd || !readError.empty())
            return false;
        if (z.avail_in > 0 && z.next_in != in.data())
            std::memmove(in.data(), z.next_in, z.avail_in);
        z.next_in = in.data();
        const size_t room = in.size() - z.avail_in;
        if (room == 0)
            return true;
        errno = 0;
        size_t n = std::fread(in.data() + z.avail_in, 1, room, file);
        if (n < room) {
            if (std::ferror(file))
                readError = errno != 0 ? std::strerror(errno) : "the system gave no reason";
            else
                fileEnd = true;
        }
        z.avail_in += static_cast<uInt>(n);
        fileRead += static_cast<long long>(n);
        return n > 0;
    }

    // At least `want` unconsumed bytes unless the file ends first.
    void Want(size_t want) {
        while (z.avail_in < want && Fill()) {
        }
    }
};

GzipStream::GzipStream(FILE* file) : m_impl(std::make_unique<Impl>()) {
    m_impl->file = file;
    m_impl->z.next_in = m_impl->in.data();
}

GzipStream::~GzipStream() = default;

size_t GzipStream::Read(char* to, size_t room) {
    using State = Impl::State;
    Impl& s = *m_impl;
    z_stream& z = s.z;
    size_t produced = 0;
    auto stop = [&](LogEnd end, const std::string& why, long long byte) {
        m_stop.end = end;
        m_stop.why = why;
        m_stop.byte = byte;
        s.state = State::Done;
    };
    auto member = [&]() { return " member " + std::to_string(s.members); };
    // A read error ends the log once the bytes read before it are used.
    auto unreadable = [&]() {
        if (s.readError.empty())
            return false;
        stop(LogEnd::ReadError, s.readError, s.fileRead);
        return true;
    };
    while (produced < room && s.state != State::Done) {
        switch (s.state) {
        case State::Start:
        case State::Between: {
            s.Want(2);
            if (z.avail_in < 2 && unreadable())
                break;
            const bool first = s.state == State::Start;
            if (z.avail_in == 0) {
                stop(LogEnd::Whole, std::string(), s.At());
                break;
            }
            if (z.avail_in >= 2 && z.next_in[0] == kMagic0 && z.next_in[1] == kMagic1) {
                const int r = first ? inflateInit2(&z, 15 + 16) : inflateReset(&z);
                if (r != Z_OK) {
                    stop(LogEnd::ReadError, "zlib cannot start: " + std::to_string(r), s.At());
                    break;
                }
                s.inflating = true;
                ++s.members;
                s.state = State::Member;
                break;
            }
            if (first) {
                s.state = State::Plain; // no gzip: the bytes as they are
                break;
            }
            if (z.avail_in == 1 && z.next_in[0] == kMagic0) {
                stop(LogEnd::CutShort,
                     "the file ends inside the header of member " + std::to_string(s.members + 1),
                     s.fileRead);
                break;
            }
            if (z.next_in[0] == 0) {
                // Zeros after a member are padding that block copies leave: skipped.
                while (z.avail_in > 0 && z.next_in[0] == 0) {
                    ++z.next_in;
                    --z.avail_in;
                }
                break;
            }
            stop(LogEnd::Corrupt,
                 "bytes that begin no gzip member after member " + std::to_string(s.members),
                 s.At());
            break;
        }
        case State::Plain: {
            if (z.avail_in == 0) {
                s.Fill();
                if (z.avail_in == 0) {
                    if (!unreadable())
                        stop(LogEnd::Whole, std::string(), s.At());
                    break;
                }
            }
            size_t n = std::min<size_t>(z.avail_in, room - produced);
            std::memcpy(to + produced, z.next_in, n);
            z.next_in += n;
            z.avail_in -= static_cast<uInt>(n);
            produced += n;
            break;
        }
        case State::Member: {
            if (z.avail_in == 0) {
                s.Fill();
                if (z.avail_in == 0) {
                    if (!unreadable())
                        stop(LogEnd::CutShort, "the file ends inside" + member(), s.fileRead);
                    break;
                }
            }
            // zlib counts in 32 bits: a share of the room at a time.
            const size_t chunk = std::min<size_t>(room - produced, 1u << 30);
            z.next_out = reinterpret_cast<Bytef*>(to + produced);
            z.avail_out = static_cast<uInt>(chunk);
            const int r = inflate(&z, Z_NO_FLUSH);
            produced += chunk - z.avail_out;
            if (r == Z_STREAM_END) {
                s.state = State::Between;
            } else if (r == Z_DATA_ERROR || r == Z_NEED_DICT || r == Z_STREAM_ERROR) {
                const std::string what = z.msg != nullptr ? z.msg : "bad gzip data";
                stop(LogEnd::Corrupt, what + " in" + member(), s.At());
            } else if (r == Z_MEM_ERROR) {
                stop(LogEnd::ReadError, "zlib is out of memory in" + member(), s.At());
            }
            // Z_OK and Z_BUF_ERROR: more input or more room, as the loop gives.
            break;
        }
        case State::Done:
            break;
        }
    }
    return produced;
}

} // namespace station
