// What the station shows: one unit as a host operator sees it, a population
// as a yield, both also as JSON lines; and the SVG report of a population.
#pragma once

#include "ConfigCheck.h"
#include "Session.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace station {

struct LibraryFacts {
    std::string path, versionText, version, build;
    std::vector<std::pair<unsigned, std::string>> actions; // id, name in UTF-8
};

struct RunFacts {
    std::string chip; // "VT318"
    unsigned actionId = 0;
    int32_t chipType = 1, band = 1;
    std::string rfKind; // "object" or "table"
    bool virtualTime = true;
    std::string config;  // path, or a description of the embedded one
    std::string handset; // the crystal in words
    uint64_t seed = 1;
};

std::string JsonString(const std::string& s);
std::string JsonNumber(double v); // null for not-a-number and infinities

void PrintLibrary(FILE* out, const LibraryFacts& lib);
void PrintLibraryJson(FILE* out, const LibraryFacts& lib);
void PrintFindings(FILE* out, const ConfigReport& report, const std::string& file);
void PrintFindingsJson(FILE* out, const ConfigReport& report);

void PrintUnit(FILE* out, const RunFacts& run, const UnitResult& r);
void PrintUnitJson(FILE* out, const RunFacts& run, const UnitResult& r);

// A one-line reason for a failed unit: the triple and the message with its
// numbers taken out, so that units failing the same way count together.
std::string ReasonPattern(const UnitResult& r);

struct Distribution {
    std::string name, unit;
    Window window; // as configured (the VT318 CAFC: of the first attempt)
    std::string note;
    std::vector<double> values;
    long outside = 0;
};

// The range a histogram draws: the values and the window, but no further
// from the window than its own width, so that a stray unit (a CDAC wrapped
// to 65533) does not squeeze the rest into one bar.
void PlotRange(const Distribution& d, double* low, double* high);

struct Reason {
    long count = 0;
    bool hasTriple = false;
    ERROR_TRIPLE triple{};
    std::string pattern, example;
};

class Population {
public:
    Population(sim::Chip chip, const ConfigReport& config);
    void Add(const UnitResult& r);
    void Print(FILE* out, const RunFacts& run, const sim::CrystalSpread& spread) const;
    void PrintJson(FILE* out, const RunFacts& run, const sim::CrystalSpread& spread) const;
    void PrintUnitJson(FILE* out, long index, const UnitResult& r) const;
    // The SVG report: one histogram per value with its window drawn on it.
    std::string Svg(const RunFacts& run) const;

    long Units() const { return m_units; }
    long Passed() const { return m_passed; }
    void SetWallSeconds(double s) { m_wallSeconds = s; }

private:
    sim::Chip m_chip;
    long m_units = 0, m_passed = 0;
    std::map<std::string, Reason> m_reasons;
    std::map<int, long> m_attempts;
    Distribution m_cdac, m_cafc, m_slope;
    double m_timeSum = 0, m_timeMin = 0, m_timeMax = 0;
    double m_wallSeconds = 0;
};

// Shows progress on a terminal only: nothing when stderr is a file or a pipe.
class ProgressBar {
public:
    ProgressBar(long total, bool wanted);
    ~ProgressBar();
    void Update(long done);

private:
    long m_total;
    bool m_active;
    int m_shown = -1;
};

} // namespace station
