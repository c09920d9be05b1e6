// A host's log replayed: every unit's fitted crystal calibrated again by the
// library, under one configuration or a sweep of one key, and compared with
// what the log shows.
#pragma once

#include "replay/Fit.h"
#include "logs/HostLog.h"
#include "reports/ReplayModel.h"
#include "session/Session.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace station {

// How the replay drives the library: as the station does for one unit.
struct ReplaySetup {
    std::string libraryPath;
    int32_t chipType = 1, band = 1;
    uint32_t rfKind = OMRA_DRIVER_KIND_OBJECT;
};

// Fits every unit of the log.
std::vector<CrystalFit> FitUnits(const HostLog& log);

// Units whose logged failure came from the station, not the crystal: the
// replay under the configuration the log was made with measures the same
// points as the log and goes on where the log stops (a measurement or a
// handset command failed), or passes where the log shows no results (a
// flash write failed). One text per unit, empty for the others.
bool FindStationFaults(const ReplaySetup& setup, const HostLog& log,
                       const std::vector<CrystalFit>& fits, const std::string& config,
                       std::vector<std::string>* faults, std::string* error);

// Replays the fitted units under each configuration text: the library is
// loaded once per chip and the action initialised once per configuration.
// False with *error set when the library cannot be loaded or initialised.
// Units not fitted or with a station fault keep their logged verdicts.
bool ReplayLog(const ReplaySetup& setup, const HostLog& log, const std::vector<CrystalFit>& fits,
               const std::vector<std::string>& faults, const std::vector<std::string>& configs,
               std::vector<ReplayOutcome>* outcomes, std::string* error);

LogReport MakeLogReport(const std::string& path, const HostLog& log,
                        const std::vector<CrystalFit>& fits,
                        const std::vector<std::string>& faults);

} // namespace station
