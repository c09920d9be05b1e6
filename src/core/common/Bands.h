// The four bands an ACTION_PARAM names by index.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr size_t kBandCount = 4;
inline constexpr const char* kBandNames[kBandCount] = {"GSM850M", "EGSM900", "DCS1800", "PCS1900"};

// Class mark of a band index: 0 gives 4, 1 gives 0, 2 gives 1, 3 gives 3.
int32_t ClassMarkOfBand(int32_t band);

// Name of a band index, or "-" for one outside 0 to 3.
const char* BandName(int32_t band);

} // namespace vantor
