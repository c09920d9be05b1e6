// A crystal model fitted to one unit's PFER points, in the simulator's form
//   fe = offset + cdacStep (cdac - cdacRef) + cafcSlope (cafc - cafcRef) + curvature (cafc -
//   cafcRef)^2
// around the chip's reference point, so that a simulated handset with the
// fitted crystal answers the points as the logged unit did.
#pragma once

#include "logs/HostLog.h"
#include "reports/ReplayModel.h"
#include "Simulator.h"

#include <string>
#include <vector>

namespace station {

struct CrystalFit {
    enum Status { Fitted, TooFewPoints, PoorFit };
    Status status = TooFewPoints;
    sim::CrystalParams crystal; // noise 0: a replay answers with the model alone
    int points = 0;
    int freedom = 0;              // points beyond the fitted terms
    double residualHz = 0;        // RMS of the residuals per degree of freedom (0 when none)
    bool stepFitted = false;      // CDAC step from the points, else the chip's nominal one
    bool curvatureFitted = false; // curvature from the points, else the chip's nominal one
};

// Least squares over the terms the points determine: the offset and the CAFC
// slope always (too few points otherwise), the CDAC step when the points
// span two CDAC codes (a VT300 holds its CDAC: the nominal step stands in),
// the curvature when they span three CAFC settings.
CrystalFit FitCrystal(sim::Chip chip, const std::vector<PferPoint>& points,
                      double poorFitHz = kPoorFitHz);

} // namespace station
