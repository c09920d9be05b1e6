// The simulated unit: a named handset profile with explicit crystal
// parameters on top, and the faults its station injects.
#pragma once

#include "Simulator.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace station {

struct UnitParams {
    sim::Chip chip = sim::Chip::VT318;
    std::string profile = "nominal";
    std::optional<double> offsetHz, cdacStepHz, cafcSlopeHz, curvature, noiseHz;
    uint64_t seed = 1;
    int failAfc = 0;   // n-th AFC command fails (0: none)
    int failFlash = 0; // n-th flash command fails
    int rfError = 0;   // n-th RF measurement records a tester error
};

// The named handset profiles, and the crystal that a profile and the explicit
// parameters give for the chip; throws UsageError for an unknown profile.
const std::vector<std::string>& ProfileNames();
sim::CrystalParams CrystalFor(const UnitParams& unit);

// The crystal in words, with the faults; `withSeed` for one unit.
std::string DescribeCrystal(const UnitParams& unit, const sim::CrystalParams& c, bool withSeed);

} // namespace station
