// One logged unit judged as its chip judges it, from what the log shows.
#pragma once

#include "config/ConfigCheck.h"
#include "logs/HostLog.h"

#include <string>

namespace station {

// What the log shows of one unit, judged as its chip judges it.
struct JudgedUnit {
    bool passed = false;
    // CDAC, CAFC (VT318: moved to the first attempt's window), CAFC slope;
    // has[] false where the unit did not get that far.
    bool has[3] = {false, false, false};
    double value[3] = {0, 0, 0};
    // Why it failed: a triple of the library or a station fault, as a key and a text.
    bool hasTriple = false;
    unsigned triple[3] = {0, 0, 0};
    std::string failure;
    // The error read at the first PFER point (the chip's reference setting):
    // the quantity a tester bias and a drift are estimated from. The tester
    // adds its bias to it in full; the flashed CAFC does not show a bias, as
    // the CDAC is chosen on the biased reading and takes it up in whole steps.
    bool hasReference = false;
    double referenceHz = 0;
};
JudgedUnit JudgeUnit(const LoggedUnit& u, const ConfigReport& windows);

} // namespace station
