// The configuration facts, one table per section or chip: every key the
// actions read, with its default, how the action keeps it, and what the setup
// page and the station's check make of it. Everything that names a key reads
// it from here.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace config {

// How an action keeps the 32-bit reading of a key.
enum class Field { U16, I32, U32 };

// The span of values a key accepts, named as a finding names it; a span
// without a name is none.
struct Range {
    int64_t low = 0;
    int64_t high = 0;
    const char* name = nullptr;
    constexpr bool Known() const { return name != nullptr; }
};

inline constexpr const char* kPageRange = "the setup page's range";
inline constexpr const char* kBankRange = "the CDAC bank's range";
inline constexpr const char* kScaleRange = "the CAFC scale's range";
inline constexpr const char* kCodeRange = "the range of a 16-bit DAC code";

inline constexpr size_t kNoMember = SIZE_MAX;

struct KeyFact {
    const char* section;
    const char* key; // with its blanks, as the file writes it
    Field field;
    int32_t actionDefault; // what the action loads when the key is missing
    // The setup page: whether it edits the key, what it shows for a missing
    // key and what it accepts.
    bool onPage = false;
    int32_t pageDefault = 0;
    Range pageRange = {};
    // What the value can mean to the chip, where the page accepts anything.
    Range valueRange = {};
    // Why the page's default differs from the action's (null when it does not).
    const char* why = nullptr;
    // Where the chip's settings keep the key: the offset of its member, whose
    // type the field gives; kNoMember for a key the table only describes.
    size_t member = kNoMember;
};

// The range the station checks a value against: the chip's, else the page's.
constexpr Range CheckedRange(const KeyFact& f) {
    return f.valueRange.Known() ? f.valueRange : f.pageRange;
}

// A contiguous run of facts, iterable.
struct Facts {
    const KeyFact* first;
    size_t count;
    constexpr const KeyFact* begin() const { return first; }
    constexpr const KeyFact* end() const { return first + count; }
    constexpr size_t size() const { return count; }
    constexpr const KeyFact& operator[](size_t i) const { return first[i]; }
};

namespace detail {
constexpr KeyFact OnPage(KeyFact f, Range range = {}) {
    f.onPage = true;
    f.pageDefault = f.actionDefault;
    f.pageRange = range;
    return f;
}
constexpr KeyFact PageShows(KeyFact f, int32_t pageDefault, const char* why) {
    f.pageDefault = pageDefault;
    f.why = why;
    return f;
}
constexpr KeyFact Within(KeyFact f, int64_t low, int64_t high, const char* name) {
    f.valueRange = Range{low, high, name};
    return f;
}
constexpr Range Page(int64_t low, int64_t high) {
    return Range{low, high, kPageRange};
}

template <class T> struct FieldOf;
template <> struct FieldOf<uint16_t> { static constexpr Field value = Field::U16; };
template <> struct FieldOf<int32_t> { static constexpr Field value = Field::I32; };
template <> struct FieldOf<uint32_t> { static constexpr Field value = Field::U32; };

// A row that loads into a member; a member whose type is not the row's field
// makes the table no constant, so the build fails.
constexpr KeyFact Into(KeyFact f, Field memberField, size_t offset) {
    if (memberField != f.field)
        throw "the member's type is not the key's field";
    f.member = offset;
    return f;
}

} // namespace detail

// The row `fact` loaded into `member` of the chip's `Settings`.
#define CONFIG_INTO(fact, Settings, member)                                                        \
    ::config::detail::Into(fact, ::config::detail::FieldOf<decltype(Settings::member)>::value,     \
                           offsetof(Settings, member))

// --- Each chip's settings: one member per key of its table, loaded by the
// table's rows (see Load below). -------------------------------------------

struct Vt300Settings {
    uint16_t pcl, tch;
    uint16_t defaultCdac, defaultCafc, nextCafcDistance;
    uint32_t freqOffsetLimit;
    uint16_t maxCafcSlope, minCafcSlope;
    uint32_t freqErrorLimit;
};

struct Vt318Settings {
    uint16_t pcl, tch;
    uint16_t defaultCdac, defaultCafc;
    int32_t cdacRange, cafcRange;
    uint16_t deltaCafc;
    int32_t slopeRange;
};

struct Ln2040Settings {
    uint16_t pcl, tch;
    int32_t defaultCdac, defaultCdacStep, caliCdacMin, caliCdacMax;
    int32_t defaultCafc, defaultCafcStep, caliCafcMin, caliCafcMax;
    int32_t caliCafcSlopeMin, caliCafcSlopeMax;
};

// The two keys every AFC action shares, first in each chip's table; each
// chip's page has its own ranges for them.
inline constexpr KeyFact kAfcCommonPcl{"AFC-COMMON", "PCL", Field::U16, 10};
inline constexpr KeyFact kAfcCommonTch{"AFC-COMMON", "TCH", Field::U16, 62};
inline constexpr size_t kPclIndex = 0;
inline constexpr size_t kTchIndex = 1;

// --- "DIAG CONTROL": the handset command policy of every action -------------

enum class Diag { TxOff, ResendDiagCommand, ResendIntervalTime, ThrowDiagException };
inline constexpr KeyFact kDiagControl[] = {
    {"DIAG CONTROL", "TxOff", Field::U32, 1},
    {"DIAG CONTROL", "Resend Diag. Command", Field::U32, 0},
    {"DIAG CONTROL", "Resend Interval Time", Field::U32, 200},
    {"DIAG CONTROL", "Throw  Diag. Exception", Field::U32, 1},
};

// --- VT300: "AFC-COMMON" and "CRYSTAL_VT300" ----------------------------------

enum class Vt300 {
    Pcl,
    Tch,
    DefaultCdac,
    DefaultCafc,
    NextCafcDistance,
    FreqOffsetLimit,
    MaxCafcSlope,
    MinCafcSlope,
    FreqErrorLimit
};
#define VT300_INTO(fact, member) CONFIG_INTO(fact, Vt300Settings, member)
inline constexpr KeyFact kVt300[] = {
    VT300_INTO(detail::OnPage(kAfcCommonPcl, detail::Page(0, 20)), pcl),
    VT300_INTO(detail::OnPage(kAfcCommonTch, detail::Page(0, 1024)), tch),
    VT300_INTO(detail::Within(detail::OnPage({"CRYSTAL_VT300", "Default CDAC", Field::U16, 3}), 0,
                              63, kBankRange),
               defaultCdac),
    VT300_INTO(detail::Within(detail::OnPage({"CRYSTAL_VT300", "Default CAFC", Field::U16, 4000}),
                              0, 8191, kScaleRange),
               defaultCafc),
    VT300_INTO(detail::Within(
                   detail::PageShows(
                       detail::OnPage({"CRYSTAL_VT300", "Next CAFC Distance", Field::U16, 1000}),
                       1500, "the page keeps the distance it has always offered"),
                   0, 8191, kScaleRange),
               nextCafcDistance),
    VT300_INTO(detail::PageShows(
                   detail::OnPage({"CRYSTAL_VT300", "Freq. Offset Limit", Field::U32, 20000}),
                   15000, "the page keeps the tighter limit it has always offered"),
               freqOffsetLimit),
    VT300_INTO(detail::OnPage({"CRYSTAL_VT300", "Max CAFC Slope", Field::U16, 16}), maxCafcSlope),
    VT300_INTO(detail::OnPage({"CRYSTAL_VT300", "Min CAFC Slope", Field::U16, 4}), minCafcSlope),
    // Not on the page: only a file edited by hand changes it.
    VT300_INTO(KeyFact({"CRYSTAL_VT300", "Freq. Error Limit", Field::U32, 13000}), freqErrorLimit),
};
#undef VT300_INTO

// --- VT318: "AFC-COMMON" and "CRYSTAL_VT318" ----------------------------------

enum class Vt318 {
    Pcl,
    Tch,
    DefaultCdac,
    DefaultCafc,
    CdacRange,
    CafcRange,
    DeltaCafc,
    SlopeRange
};
#define VT318_INTO(fact, member) CONFIG_INTO(fact, Vt318Settings, member)
inline constexpr KeyFact kVt318[] = {
    VT318_INTO(detail::OnPage(kAfcCommonPcl, detail::Page(0, 19)), pcl),
    VT318_INTO(detail::OnPage(kAfcCommonTch, detail::Page(0, 1024)), tch),
    VT318_INTO(
        detail::OnPage({"CRYSTAL_VT318", "Default CDAC", Field::U16, 55}, detail::Page(0, 63)),
        defaultCdac),
    VT318_INTO(
        detail::OnPage({"CRYSTAL_VT318", "Default CAFC", Field::U16, 7000}, detail::Page(0, 32768)),
        defaultCafc),
    VT318_INTO(
        detail::OnPage({"CRYSTAL_VT318", "CDAC    Range", Field::I32, 15}, detail::Page(0, 63)),
        cdacRange),
    VT318_INTO(detail::OnPage({"CRYSTAL_VT318", "CAFC    Range", Field::I32, 1000},
                              detail::Page(0, 32768)),
               cafcRange),
    VT318_INTO(
        detail::OnPage({"CRYSTAL_VT318", "Delta   CAFC", Field::U16, 1000}, detail::Page(0, 32767)),
        deltaCafc),
    VT318_INTO(
        detail::OnPage({"CRYSTAL_VT318", "Slope Range", Field::I32, 3}, detail::Page(0, 32768)),
        slopeRange),
};
#undef VT318_INTO

// --- LN2040: "AFC-COMMON" and "LN2040 AFC" (no setup page) ---------------------

enum class Ln2040 {
    Pcl,
    Tch,
    DefaultCdac,
    DefaultCdacStep,
    CaliCdacMin,
    CaliCdacMax,
    DefaultCafc,
    DefaultCafcStep,
    CaliCafcMin,
    CaliCafcMax,
    CaliCafcSlopeMin,
    CaliCafcSlopeMax
};
#define LN2040_INTO(fact, member) CONFIG_INTO(fact, Ln2040Settings, member)
inline constexpr KeyFact kLn2040[] = {
    LN2040_INTO(kAfcCommonPcl, pcl),
    LN2040_INTO(kAfcCommonTch, tch),
    LN2040_INTO(
        detail::Within({"LN2040 AFC", "DEFAULT_CDAC", Field::I32, 39}, 0, 65535, kCodeRange),
        defaultCdac),
    LN2040_INTO(
        detail::Within({"LN2040 AFC", "DEFAULT_CDAC_STEP", Field::I32, 4}, 0, 65535, kCodeRange),
        defaultCdacStep),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CDAC_MIN", Field::I32, 32}), caliCdacMin),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CDAC_MAX", Field::I32, 47}), caliCdacMax),
    LN2040_INTO(
        detail::Within({"LN2040 AFC", "DEFAULT_CAFC", Field::I32, 9000}, 0, 65535, kCodeRange),
        defaultCafc),
    LN2040_INTO(
        detail::Within({"LN2040 AFC", "DEFAULT_CAFC_STEP", Field::I32, 1500}, 0, 65535, kCodeRange),
        defaultCafcStep),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CAFC_MIN", Field::I32, 5500}), caliCafcMin),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CAFC_MAX", Field::I32, 12500}), caliCafcMax),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CAFC_SLOPE_MIN", Field::I32, 3}), caliCafcSlopeMin),
    LN2040_INTO(KeyFact({"LN2040 AFC", "CALI_CAFC_SLOPE_MAX", Field::I32, 8}), caliCafcSlopeMax),
};
#undef LN2040_INTO

// The tables; vantor::ConfigTables() lists them all, in the order the default
// file lists their sections.
inline constexpr Facts kDiagControlFacts{kDiagControl, std::size(kDiagControl)};
inline constexpr Facts kVt300Facts{kVt300, std::size(kVt300)};
inline constexpr Facts kVt318Facts{kVt318, std::size(kVt318)};
inline constexpr Facts kLn2040Facts{kLn2040, std::size(kLn2040)};

static_assert(static_cast<size_t>(Vt300::Pcl) == kPclIndex &&
                  static_cast<size_t>(Vt300::Tch) == kTchIndex &&
                  static_cast<size_t>(Vt318::Pcl) == kPclIndex &&
                  static_cast<size_t>(Vt318::Tch) == kTchIndex &&
                  static_cast<size_t>(Ln2040::Pcl) == kPclIndex &&
                  static_cast<size_t>(Ln2040::Tch) == kTchIndex,
              "every chip's table starts with the shared keys");
static_assert(std::size(kVt300) == static_cast<size_t>(Vt300::FreqErrorLimit) + 1 &&
                  std::size(kVt318) == static_cast<size_t>(Vt318::SlopeRange) + 1 &&
                  std::size(kLn2040) == static_cast<size_t>(Ln2040::CaliCafcSlopeMax) + 1 &&
                  std::size(kDiagControl) == static_cast<size_t>(Diag::ThrowDiagException) + 1,
              "one key name for each row");

constexpr const KeyFact& Fact(Diag k) {
    return kDiagControl[static_cast<size_t>(k)];
}
constexpr const KeyFact& Fact(Vt300 k) {
    return kVt300[static_cast<size_t>(k)];
}
constexpr const KeyFact& Fact(Vt318 k) {
    return kVt318[static_cast<size_t>(k)];
}
constexpr const KeyFact& Fact(Ln2040 k) {
    return kLn2040[static_cast<size_t>(k)];
}

// The action's default of a key.
template <class Key> constexpr int32_t Default(Key k) {
    return Fact(k).actionDefault;
}

// The key as an action reads it, its default when missing.
inline uint32_t Read(const platform::ProfileFile& file, const KeyFact& f) {
    return file.Int(f.section, f.key, f.actionDefault);
}
template <class Key> uint32_t Read(const platform::ProfileFile& file, Key k) {
    return Read(file, Fact(k));
}

// Stores the 32-bit reading of a row into its member of *settings, as the
// row's field keeps it.
inline void Store(void* settings, const KeyFact& f, uint32_t reading) {
    unsigned char* at = static_cast<unsigned char*>(settings) + f.member;
    if (f.field == Field::U16) {
        const uint16_t v = static_cast<uint16_t>(reading);
        std::memcpy(at, &v, sizeof v);
    } else if (f.field == Field::I32) {
        const int32_t v = static_cast<int32_t>(reading);
        std::memcpy(at, &v, sizeof v);
    } else {
        std::memcpy(at, &reading, sizeof reading);
    }
}

// A chip's settings, every row of its table loaded: read(fact) gives the
// key's 32-bit reading.
template <class Settings, class ReadKey> Settings Load(Facts table, ReadKey read) {
    Settings s{};
    for (const KeyFact& f : table)
        if (f.member != kNoMember)
            Store(&s, f, read(f));
    return s;
}
template <class Settings> Settings Load(Facts table, const platform::ProfileFile& file) {
    return Load<Settings>(table, [&file](const KeyFact& f) { return Read(file, f); });
}
// The settings of a load that finds no key.
template <class Settings> Settings Defaults(Facts table) {
    return Load<Settings>(table,
                          [](const KeyFact& f) { return static_cast<uint32_t>(f.actionDefault); });
}

} // namespace config
