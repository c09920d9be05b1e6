#include "analysis/Readings.h"

#include "support/TempFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include <sys/types.h>

namespace station {

namespace {

static_assert(sizeof(Reading) == 48, "a reading's bytes are counted in the README");

// Offsets past 2 GB: a long is 32 bits on Windows.
bool seekTo(std::FILE* f, long long offset) {
#if defined(_WIN32)
    return _fseeki64(f, offset, SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool serialText(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c <= ' ' || c == ',' || c == '"' || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

} // namespace

SerialKey KeyOfSerial(std::string_view serial) {
    SerialKey k;
    if (serial.empty())
        return k;
    bool digitsOnly = serial.size() >= 15 && serial.size() <= 19;
    for (size_t i = 0; digitsOnly && i < serial.size(); ++i)
        digitsOnly = serial[i] >= '0' && serial[i] <= '9';
    if (digitsOnly) {
        for (char c : serial)
            k.value = k.value * 10 + static_cast<uint64_t>(c - '0');
        k.digits = static_cast<uint8_t>(serial.size());
        return k;
    }
    uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (char c : serial) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    k.value = h;
    k.digits = SerialKey::kHashed;
    return k;
}

std::string SerialText(const SerialKey& key) {
    if (!key.Known() || key.digits == SerialKey::kHashed)
        return std::string();
    std::string s(key.digits, '0');
    uint64_t v = key.value;
    for (size_t i = s.size(); i-- > 0 && v > 0; v /= 10)
        s[i] = static_cast<char>('0' + v % 10);
    return s;
}

std::string SerialText(const SerialKey& key, const SerialTexts& texts) {
    if (key.digits != SerialKey::kHashed)
        return SerialText(key);
    auto it = texts.find(key.value);
    return it == texts.end() ? std::string() : it->second;
}

bool ReadingSeries::Add(const Reading& r, std::string* error) {
    ++m_size;
    if (m_head.size() < kInMemory) {
        m_head.push_back(r);
        return true;
    }
    if (!m_spill) {
        m_readSince = false;
        m_spill.reset(OpenScratchFile(error));
        if (!m_spill)
            return false;
    }
    // Appends go to the end whatever was read last; a seek flushes, so only then.
    if ((m_readSince && std::fseek(m_spill.get(), 0, SEEK_END) != 0) ||
        std::fwrite(&r, sizeof r, 1, m_spill.get()) != 1) {
        *error = "the readings cannot be written to their temporary file";
        return false;
    }
    m_readSince = false;
    return true;
}

bool ReadingSeries::readSpilled(size_t from, size_t n, Reading* out, std::string* error) const {
    const long long offset = static_cast<long long>((from - m_head.size()) * sizeof(Reading));
    m_readSince = true;
    if (!m_spill || !seekTo(m_spill.get(), offset) ||
        std::fread(out, sizeof(Reading), n, m_spill.get()) != n) {
        *error = "the readings' temporary file cannot be read back";
        return false;
    }
    return true;
}

bool ReadingSeries::At(size_t i, Reading* r, std::string* error) const {
    if (i >= m_size) {
        *error = "a reading past the series' end";
        return false;
    }
    if (i < m_head.size()) {
        *r = m_head[i];
        return true;
    }
    return readSpilled(i, 1, r, error);
}

bool ReadingSeries::Cursor::Next(Reading* r, std::string* error) {
    if (m_next >= m_s->m_size)
        return false;
    if (m_next < m_s->m_head.size()) {
        *r = m_s->m_head[m_next++];
        return true;
    }
    if (m_next >= m_bufferStart + m_buffer.size()) {
        const size_t n = std::min<size_t>(1024, m_s->m_size - m_next);
        m_buffer.resize(n);
        m_bufferStart = m_next;
        if (!m_s->readSpilled(m_next, n, m_buffer.data(), error)) {
            m_next = m_s->m_size;
            return false;
        }
    }
    *r = m_buffer[m_next - m_bufferStart];
    ++m_next;
    return true;
}

bool ReadGolden(const std::string& arg, GoldenUnits* out, std::string* error) {
    *out = GoldenUnits();
    bool digitsOnly = !arg.empty();
    for (char c : arg)
        digitsOnly = digitsOnly && c >= '0' && c <= '9';
    if (arg.find(',') != std::string::npos || digitsOnly) {
        std::string_view rest(arg);
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            std::string_view item = trim(rest.substr(0, comma));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            if (item.empty())
                continue;
            if (!serialText(item)) {
                *error = "--golden: '" + std::string(item) + "' cannot be a serial";
                return false;
            }
            out->units[KeyOfSerial(item)] = NAN;
        }
        if (out->units.empty()) {
            *error = "--golden names no serial";
            return false;
        }
        return true;
    }
    std::ifstream in(arg, std::ios::binary);
    if (!in) {
        *error = "cannot open the golden units' file '" + arg + "': " + std::strerror(errno);
        return false;
    }
    std::string line;
    long number = 0;
    auto bad = [&](const std::string& why) {
        *error = "golden units' file '" + arg + "' line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        std::string_view l = trim(line);
        if (number == 1) {
            if (l != "serial,reference_hz")
                return bad("the header is not 'serial,reference_hz'");
            continue;
        }
        if (l.empty())
            continue;
        const size_t comma = l.find(',');
        if (comma == std::string_view::npos)
            return bad("not 'serial,reference_hz'");
        std::string_view serial = trim(l.substr(0, comma));
        std::string value(trim(l.substr(comma + 1)));
        if (!serialText(serial))
            return bad("'" + std::string(serial) + "' cannot be a serial");
        char* end = nullptr;
        errno = 0;
        const double hz = std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || errno != 0 ||
            !std::isfinite(hz))
            return bad("'" + value + "' is not a reading in Hz");
        if (!out->units.emplace(KeyOfSerial(serial), hz).second)
            return bad("serial " + std::string(serial) + " given twice");
    }
    if (in.bad())
        return bad(std::string("cannot be read: ") + std::strerror(errno));
    if (number == 0)
        return bad("the file is empty");
    if (out->units.empty())
        return bad("no golden unit after the header");
    out->withReferences = true;
    return true;
}

} // namespace station
