// Every unit of a part of a log as one fixed-size reading, kept in order for
// the one pass over the whole line after the threads: its reference-point
// error, time, serial, station, chip, attempt and verdict. The first readings
// stay in memory; past them the series goes to a temporary file (48 bytes a
// unit), so a part of any length takes the same memory.
#pragma once

#include "support/Time.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace station {

// A serial as a number: 15 to 19 digits as their value and count (leading
// zeros kept apart), any other text by a 64-bit hash; digits 0: none.
struct SerialKey {
    static constexpr uint8_t kHashed = 0xFF;
    uint64_t value = 0;
    uint8_t digits = 0;
    bool Known() const { return digits != 0; }
    bool operator==(const SerialKey& o) const { return value == o.value && digits == o.digits; }
};
SerialKey KeyOfSerial(std::string_view serial);
// The digits back; a hashed serial's text is not kept: empty.
std::string SerialText(const SerialKey& key);
// The texts of hashed serials (not 15-19 digits) by their hash: kept for the
// readings an alarm may name (a station's first in a shift), so that the
// alarm shows the serial as the log wrote it.
using SerialTexts = std::unordered_map<uint64_t, std::string>;
constexpr size_t kSerialTextsKept = 1 << 16; // per part of a log
std::string SerialText(const SerialKey& key, const SerialTexts& texts);
struct SerialKeyHash {
    size_t operator()(const SerialKey& k) const {
        return static_cast<size_t>(k.value * 0x9E3779B97F4A7C15ULL) ^ k.digits;
    }
};

struct Reading {
    double value = 0; // the reference-point error, when hasValue
    TimeMs time = kNoTime;
    uint64_t serial = 0;
    long long unit = 0;   // the station's unit number, counted in the part
    long long line = 0;   // of its first PFER line, counted in the part
    uint16_t station = 0; // among the part's stations
    uint8_t serialDigits = 0;
    int8_t chip = 0;
    int16_t attempt = 0; // 0: not logged
    uint8_t hasValue = 0, passed = 0;
    SerialKey Serial() const { return {serial, serialDigits}; }
};

class ReadingSeries {
public:
    static constexpr size_t kInMemory = 4096;

    ReadingSeries() = default;
    ReadingSeries(ReadingSeries&&) noexcept = default;
    ReadingSeries& operator=(ReadingSeries&&) noexcept = default;

    // False with *error set when the temporary file cannot be written.
    bool Add(const Reading& r, std::string* error);
    size_t Size() const { return m_size; }
    // The i-th reading; false with *error set on a read error.
    bool At(size_t i, Reading* r, std::string* error) const;

    // Reads the series in order, a buffer at a time; At may be called between.
    class Cursor {
    public:
        explicit Cursor(const ReadingSeries* s) : m_s(s) {}
        // The next reading, or false at the end (and on an error, *error set).
        bool Next(Reading* r, std::string* error);
        size_t Index() const { return m_next; } // of the reading Next gives next

    private:
        const ReadingSeries* m_s;
        size_t m_next = 0;
        std::vector<Reading> m_buffer;
        size_t m_bufferStart = 0;
    };

private:
    friend class Cursor;
    bool readSpilled(size_t from, size_t n, Reading* out, std::string* error) const;
    struct Close {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::vector<Reading> m_head;
    std::unique_ptr<std::FILE, Close> m_spill;
    size_t m_size = 0;
    mutable bool m_readSince = false; // the file was read since the last append
};

// The golden units: serials run on every station again and again, with the
// reading their crystal gives on a tester without bias when known.
struct GoldenUnits {
    std::unordered_map<SerialKey, double, SerialKeyHash> units; // reference Hz (NaN: none)
    bool withReferences = false;
    bool Empty() const { return units.empty(); }
    const double* Find(const SerialKey& k) const {
        auto it = units.find(k);
        return it == units.end() ? nullptr : &it->second;
    }
};

// `arg`: a file with the header "serial,reference_hz" and one golden unit a
// line, or serials separated by commas (an argument with a comma, or of
// digits alone). False with *error naming the file's line at fault.
bool ReadGolden(const std::string& arg, GoldenUnits* out, std::string* error);

} // namespace station
