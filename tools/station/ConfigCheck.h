// The configuration file as the actions will read it: the embedded default,
// and the check an engineer runs before a file goes to the line.
#pragma once

#include "Simulator.h"

#include <string>
#include <vector>

namespace station {

// The configuration the station runs when it is given none.
const char* DefaultConfigText();

struct Finding {
    enum Level { Warning, Note };
    Level level = Warning;
    int line = 0; // 1-based line of the file, 0 for the file as a whole
    std::string text;
};

// A window a calibrated value must lie in (both bounds belong to it).
struct Window {
    bool known = false;
    double low = 0, high = 0;
};

struct ConfigReport {
    std::vector<Finding> findings;
    Window cdac, cafc, slope; // of the chip checked; the VT318 CAFC window of its first attempt
    int Warnings() const;
};

// Reads the text as the action of the chip will (same line rules, first
// section and first key win, names without regard to case) and reports keys
// that are almost a known key, duplicates, values that are no plain number,
// values outside the setup page's ranges and windows that cannot pass.
ConfigReport CheckConfig(const std::string& text, sim::Chip chip);

// Reads a whole file; false with a message when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error);

} // namespace station
