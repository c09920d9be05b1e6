#include "line/Unit.h"

#include "support/Parse.h"

#include <cstdio>

namespace station {

const std::vector<std::string>& ProfileNames() {
    static const std::vector<std::string> names = {"nominal", "retry", "steep",
                                                   "noisy",   "far",   "dead"};
    return names;
}

sim::CrystalParams CrystalFor(const UnitParams& o) {
    sim::CrystalParams p = sim::NominalCrystal(o.chip);
    const std::string& name = o.profile;
    if (name == "nominal") {
    } else if (name == "retry") {
        // Zero error near CDAC 66 at the first CAFC, beyond 63 by more than any noise
        // moves it; 1000 CAFC higher it lies near CDAC 54: the second attempt passes.
        if (o.chip != sim::Chip::VT318)
            throw UsageError("profile 'retry' is a VT318 unit (its CDAC search repeats); use it "
                             "with --chip vt318");
        p.offsetHz = -6600;
    } else if (name == "steep") {
        p.cafcSlopeHz *= 2.2; // beyond every chip's slope window
    } else if (name == "noisy") {
        p.noiseHz = 60;
    } else if (name == "far") {
        p.offsetHz = o.chip == sim::Chip::VT300 ? 25000 : 12000; // no window reaches it
    } else if (name == "dead") {
        p.cdacStepHz = 0; // a crystal that does not pull
        p.cafcSlopeHz = 0;
        p.curvature = 0;
    } else {
        std::string list;
        for (const std::string& n : ProfileNames())
            list += (list.empty() ? "" : ", ") + n;
        throw UsageError("unknown handset profile '" + name + "' (choose " + list + ")");
    }
    if (o.offsetHz)
        p.offsetHz = *o.offsetHz;
    if (o.cdacStepHz)
        p.cdacStepHz = *o.cdacStepHz;
    if (o.cafcSlopeHz)
        p.cafcSlopeHz = *o.cafcSlopeHz;
    if (o.curvature)
        p.curvature = *o.curvature;
    if (o.noiseHz) {
        if (*o.noiseHz < 0)
            throw UsageError("--noise cannot be negative");
        p.noiseHz = *o.noiseHz;
    }
    return p;
}

std::string DescribeCrystal(const UnitParams& o, const sim::CrystalParams& c, bool withSeed) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "%s: offset %.0f Hz, CDAC step %.0f Hz/code, CAFC slope %.2f Hz/code, "
                  "curvature %g Hz/code^2, noise %.0f Hz",
                  o.profile.c_str(), c.offsetHz, c.cdacStepHz, c.cafcSlopeHz, c.curvature,
                  c.noiseHz);
    std::string s = buf;
    if (withSeed)
        s += ", seed " + std::to_string(o.seed);
    if (o.failAfc > 0)
        s += "; AFC command " + std::to_string(o.failAfc) + " fails";
    if (o.failFlash > 0)
        s += "; flash write " + std::to_string(o.failFlash) + " fails";
    if (o.rfError > 0)
        s += "; RF measurement " + std::to_string(o.rfError) + " errs";
    return s;
}

} // namespace station
