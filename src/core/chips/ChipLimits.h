// The windows a chip judges, computed once from its settings: the run judges
// by them and the station's configuration check shows and checks them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

// A closed window [low, high]; unknown when the chip judges no such value.
struct Span {
    bool known = false;
    long long low = 0, high = 0;
    constexpr bool Holds(long long v) const { return known && low <= v && v <= high; }
};

constexpr Span MakeSpan(long long low, long long high) {
    return Span{true, low, high};
}

struct ChipWindows {
    Span cdac;                  // the computed CDAC (a search that repeats: of its first attempt)
    Span cdacBank;              // the codes the CDAC bank has, when the chip judges them apart
    Span cafc;                  // the computed CAFC (of the first attempt; see cafcByHeadroom)
    Span slope;                 // the CAFC slope in Hz per code
    int attempts = 1;           // coarse attempts a run may make
    long long attemptStep = 0;  // CAFC codes each further attempt moves up
    uint16_t cafcScaleTop = 0;  // the top of the CAFC scale the headroom is judged against
    long long offsetLimit = -1; // |first frequency error| a run accepts, -1 none
    long long errorLimit = -1;  // the headroom either side a CAFC needs, -1 none
    // The CAFC is judged by its headroom at the unit's own slope; cafc is the
    // window at the highest slope.
    bool cafcByHeadroom = false;
};

// What a configuration check says of a chip's settings beside its windows:
// windows no unit can pass, checks switched off, points that coincide.
struct LimitNote {
    bool warning = true;
    std::string text;
};

struct ChipLimits {
    ChipWindows windows;
    std::vector<LimitNote> notes;
};

// Reads a key as the action will (its 32-bit reading, the default when
// missing); the context is the reader's own.
struct KeyReader {
    uint32_t (*read)(const void* context, const char* section, const char* key, int32_t fallback);
    const void* context;
};

} // namespace vantor

namespace vantor {

inline std::string SpanText(long long low, long long high) {
    return "[" + std::to_string(low) + ", " + std::to_string(high) + "]";
}

// Sets a judged window and notes one that no unit can pass.
inline void JudgedWindow(ChipLimits* limits, Span* span, long long low, long long high,
                         const std::string& what) {
    *span = MakeSpan(low, high);
    if (low > high)
        limits->notes.push_back({true, what + " window " + SpanText(low, high) +
                                           " has its lower bound above the upper: no unit can "
                                           "pass"});
}

inline void Warn(ChipLimits* limits, std::string text) {
    limits->notes.push_back({true, std::move(text)});
}
inline void Note(ChipLimits* limits, std::string text) {
    limits->notes.push_back({false, std::move(text)});
}

} // namespace vantor
