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

// Notes a judged window that no unit can pass.
inline void JudgedWindow(ChipLimits* limits, const Span& w, const std::string& what) {
    if (w.low > w.high)
        limits->notes.push_back({true, what + " window " + SpanText(w.low, w.high) +
                                           " has its lower bound above the upper: no unit can "
                                           "pass"});
}

inline void Warn(ChipLimits* limits, std::string text) {
    limits->notes.push_back({true, std::move(text)});
}
inline void Note(ChipLimits* limits, std::string text) {
    limits->notes.push_back({false, std::move(text)});
}

// A slope window that holds 0 lets a crystal that does not pull pass.
inline void SlopeWindowHoldsZero(ChipLimits* limits, const Span& slope) {
    if (slope.low <= 0 && slope.low <= slope.high)
        Warn(limits, "the CAFC slope window " + SpanText(slope.low, slope.high) +
                         " holds a slope of 0: a crystal whose CAFC does not pull passes the "
                         "slope check");
}

// A CAFC window from 0 to the top of the codes (up to `climb` above the first
// attempt's) checks nothing; one that holds 0 passes a failed extrapolation.
inline void CafcWindowHoldsZero(ChipLimits* limits, const Span& cafc, long long climb) {
    if (cafc.low <= 0 && cafc.high + climb >= 65535)
        Warn(limits, "the CAFC window " + SpanText(cafc.low, cafc.high) +
                         " holds every CAFC code: the CAFC check is off");
    else if (cafc.low <= 0 && cafc.low <= cafc.high)
        Warn(limits, "the CAFC window " + SpanText(cafc.low, cafc.high) +
                         " holds CAFC 0, which a failed extrapolation gives: such a unit passes");
}

} // namespace vantor
