#include "replay/Replay.h"

#include "reports/Report.h"
#include "support/StationChips.h"
#include "support/TempFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace station {

namespace {

int16_t asRecord(double v) {
    // The record's 16-bit fields as the result lines print them.
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<long long>(v)));
}

std::string tripleText(const ERROR_TRIPLE& t) {
    return "(" + std::to_string(t.module) + ", " + std::to_string(t.operation) + ", " +
           std::to_string(t.code) + ") ";
}

} // namespace

std::vector<CrystalFit> FitUnits(const HostLog& log) {
    std::vector<CrystalFit> fits;
    fits.reserve(log.units.size());
    for (const LoggedUnit& u : log.units)
        fits.push_back(FitCrystal(u.chip, u.points));
    return fits;
}

namespace {

// Runs the fitted units of each chip that `want` picks, each configuration
// once initialised per chip; `each` sees every run.
template <typename Want, typename Each>
bool runUnits(const ReplaySetup& setup, const HostLog& log, const std::vector<CrystalFit>& fits,
              const std::vector<std::string>& configs, bool full, Want want, Each each,
              std::string* error) {
    std::vector<std::unique_ptr<TempFile>> files;
    for (const std::string& config : configs) {
        files.push_back(std::make_unique<TempFile>("a replay configuration"));
        if (!files.back()->Write(config, error))
            return false;
    }
    StationClock clock;
    for (sim::Chip chip : AllChips()) {
        std::vector<size_t> units;
        for (size_t i = 0; i < log.units.size(); ++i)
            if (log.units[i].chip == chip && fits[i].status == CrystalFit::Fitted && want(i))
                units.push_back(i);
        if (units.empty())
            continue;
        Session session;
        if (!session.Open(setup.libraryPath) || !session.Create(ActionId(chip), chip)) {
            *error = session.Error();
            return false;
        }
        UseClock(&clock);
        for (size_t c = 0; c < configs.size(); ++c) {
            if (!session.Init(setup.chipType, setup.band, files[c]->Path(), setup.rfKind)) {
                UseClock(nullptr);
                *error = session.Error();
                return false;
            }
            for (size_t i : units)
                each(c, i, session.Run(fits[i].crystal, 1, Faults{}, &clock, full));
        }
        UseClock(nullptr);
    }
    return true;
}

bool samePoint(const PferPoint& a, const PferPoint& b) {
    return a.cdac == b.cdac && a.cafc == b.cafc;
}

} // namespace

bool FindStationFaults(const ReplaySetup& setup, const HostLog& log,
                       const std::vector<CrystalFit>& fits, const std::string& config,
                       std::vector<std::string>* faults, std::string* error) {
    faults->assign(log.units.size(), std::string());
    auto failed = [&](size_t i) { return !log.units[i].Passed(); };
    return runUnits(
        setup, log, fits, {config}, true, failed,
        [&](size_t, size_t i, const UnitResult& r) {
            std::string text;
            for (const Line& l : r.lines)
                text += l.text + "\n";
            HostLog again = ReadHostLog(text);
            if (again.units.size() != 1)
                return;
            const std::vector<PferPoint>& logged = log.units[i].points;
            const std::vector<PferPoint>& replayed = again.units[0].points;
            if (replayed.size() < logged.size() ||
                !std::equal(logged.begin(), logged.end(), replayed.begin(), samePoint))
                return; // another path: the crystal, not the station, decides
            if (replayed.size() > logged.size())
                (*faults)[i] = "stopped at PFER point " + std::to_string(logged.size() + 1) +
                               " (an RF tester error or a failed AFC command)";
            else if (r.passed)
                (*faults)[i] = "failed after its last PFER point (a failed flash write)";
        },
        error);
}

bool ReplayLog(const ReplaySetup& setup, const HostLog& log, const std::vector<CrystalFit>& fits,
               const std::vector<std::string>& faults, const std::vector<std::string>& configs,
               std::vector<ReplayOutcome>* outcomes, std::string* error) {
    outcomes->assign(configs.size(), ReplayOutcome());
    auto replayed = [&](size_t i) { return faults[i].empty(); };
    for (ReplayOutcome& o : *outcomes) {
        o.units = static_cast<long>(log.units.size());
        for (size_t i = 0; i < log.units.size(); ++i) {
            bool passed = log.units[i].Passed();
            o.logPassed += passed ? 1 : 0;
            if (fits[i].status != CrystalFit::Fitted || !replayed(i)) {
                ++o.apart; // not guessed: the log's verdict stands
                o.replayPassed += passed ? 1 : 0;
            }
        }
    }
    bool ok = runUnits(
        setup, log, fits, configs, false, replayed,
        [&](size_t c, size_t i, const UnitResult& r) {
            ReplayOutcome& o = (*outcomes)[c];
            const LoggedUnit& u = log.units[i];
            const bool before = u.Passed();
            o.replayPassed += r.passed ? 1 : 0;
            o.logPoints += static_cast<long>(u.points.size());
            o.replayPoints += r.measurements;
            if (o.timed == 0 || r.stationMs < o.timeMinMs)
                o.timeMinMs = r.stationMs;
            if (o.timed == 0 || r.stationMs > o.timeMaxMs)
                o.timeMaxMs = r.stationMs;
            ++o.timed;
            o.timeSumMs += r.stationMs;
            if (before && r.passed) {
                o.cafc.Add(asRecord(r.cafc) - u.result[vantor::NvIndex(vantor::NvField::Cafc)]);
                o.cdac.Add(asRecord(r.cdac) - u.result[vantor::NvIndex(vantor::NvField::Cdac)]);
            }
            if (before == r.passed)
                return;
            ++o.changed;
            std::string reason;
            if (!r.passed) {
                std::string triple = r.hasTriple ? tripleText(r.triple) : std::string();
                ++o.newFailures[triple + ReasonPattern(r)];
                reason = triple + r.message;
            } else {
                reason = "the log stops after " + std::to_string(u.points.size()) +
                         " PFER points without results; the replay passes with CDAC " +
                         std::to_string(asRecord(r.cdac)) + ", CAFC " +
                         std::to_string(asRecord(r.cafc));
            }
            if (o.changedUnits.size() < ReplayOutcome::kChangedKept)
                o.changedUnits.push_back(
                    {static_cast<long>(i) + 1, u.firstLine, u.chip, before, r.passed, reason});
        },
        error);
    if (!ok)
        return false;
    for (ReplayOutcome& o : *outcomes)
        std::sort(o.changedUnits.begin(), o.changedUnits.end(),
                  [](const ChangedUnit& a, const ChangedUnit& b) { return a.unit < b.unit; });
    return true;
}

} // namespace station

namespace station {

LogReport MakeLogReport(const std::string& path, const HostLog& log,
                        const std::vector<CrystalFit>& fits,
                        const std::vector<std::string>& faults) {
    LogReport r;
    r.path = path;
    r.lines = log.lines;
    r.libraryLines = log.libraryLines;
    r.unread = log.unread;
    r.unreadExamples = log.unreadExamples;
    r.units = static_cast<long>(log.units.size());
    std::vector<long> perChip(AllChips().size(), 0);
    long status[3] = {0, 0, 0};
    for (size_t i = 0; i < log.units.size(); ++i) {
        ++perChip[ChipIndex(log.units[i].chip)];
        ++status[fits[i].status];
        if (fits[i].status == CrystalFit::Fitted) {
            r.worstResidualHz = std::max(r.worstResidualHz, fits[i].residualHz);
            r.assumedStep += fits[i].stepFitted ? 0 : 1;
        }
    }
    for (sim::Chip c : AllChips())
        if (perChip[ChipIndex(c)] > 0)
            r.perChip.push_back({ChipLabel(c), perChip[ChipIndex(c)]});
    r.fitted = status[CrystalFit::Fitted];
    r.tooFewPoints = status[CrystalFit::TooFewPoints];
    r.poorFits = status[CrystalFit::PoorFit];
    // Units set apart, grouped by why, each group with its first unit.
    for (size_t i = 0; i < log.units.size(); ++i) {
        const LoggedUnit& u = log.units[i];
        std::string why;
        if (!faults[i].empty())
            why = std::string(ChipLabel(u.chip)) + " FAIL, station fault: " + faults[i];
        else if (fits[i].status == CrystalFit::TooFewPoints)
            why = std::string(ChipLabel(u.chip)) + (u.Passed() ? " PASS" : " FAIL") + ", " +
                  std::to_string(u.points.size()) + " PFER points: too few to fit";
        else if (fits[i].status == CrystalFit::PoorFit)
            why = std::string(ChipLabel(u.chip)) + (u.Passed() ? " PASS" : " FAIL") + ", poor fit";
        else
            continue;
        auto it = std::find_if(r.apart.begin(), r.apart.end(),
                               [&](const LogReport::Apart& g) { return g.why == why; });
        if (it == r.apart.end())
            r.apart.push_back({why, 1, static_cast<long>(i) + 1, u.firstLine});
        else
            ++it->count;
    }
    return r;
}

} // namespace station
