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
    int attempts = 1;         // coarse attempts a run of the chip may make
    // "Throw  Diag. Exception" is 0: a failed handset command does not end the run.
    bool ignoresCommandFailures = false;
    int Warnings() const;
};

// The bytes of a file as the system's profile reader takes them: a UTF-8
// byte-order mark skipped, UTF-16 text with its mark turned into 8-bit text
// (characters beyond ASCII become '?'). Anything else stays as it is.
enum class TextEncoding { Plain, Utf8Bom, Utf16Le, Utf16Be };
std::string ReaderText(const std::string& bytes, TextEncoding* encoding);

// Reads the file as the action of the chip will (the INI engine's own line
// and value rules: first section and first key win, names without regard to
// case, quotes, the 29-character buffer, prefixes, 32-bit wrapping) and
// reports every setting that does not do what it seems to: misspelt sections
// and keys, keys before any section, duplicates, values read differently
// from how they are written, values outside their ranges, encodings, and
// windows that no unit can pass or that switch a check off.
ConfigReport CheckConfig(const std::string& bytes, sim::Chip chip);

// Reads a whole regular file without blocking on it; false with a message
// that gives the system's reason when it cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error);
// The configuration a job runs under: the file, or the embedded default when
// `path` is empty; `label` names it in reports.
bool ReadRunConfig(const std::string& path, std::string* text, std::string* label,
                   std::string* error);

} // namespace station
