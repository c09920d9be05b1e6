#include "replay/Sweep.h"

#include "support/Parse.h"
#include "platform/ini.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace station {

namespace {

constexpr size_t kMostValues = 1000;

double sweepNumber(const std::string& what, const std::string& text) {
    return ParseNumber("--sweep " + what, text);
}

} // namespace

std::vector<double> SweepSpec::Values() const {
    std::vector<double> values;
    double n = std::floor((to - from) / step + 1e-9);
    for (long i = 0; i <= static_cast<long>(n); ++i)
        values.push_back(from + step * static_cast<double>(i));
    return values;
}

SweepSpec ParseSweep(const std::string& text) {
    const std::string form = " (write \"SECTION/KEY=FROM:TO:STEP\")";
    size_t slash = text.find('/');
    size_t equals = text.rfind('=');
    if (slash == std::string::npos || equals == std::string::npos || equals < slash)
        throw UsageError("--sweep needs a section, a key and a range, not '" + text + "'" + form);
    SweepSpec s;
    s.section = text.substr(0, slash);
    s.key = text.substr(slash + 1, equals - slash - 1);
    if (s.section.empty() || s.key.empty())
        throw UsageError("--sweep needs a section and a key, not '" + text + "'" + form);
    std::string range = text.substr(equals + 1);
    size_t c1 = range.find(':');
    size_t c2 = c1 == std::string::npos ? c1 : range.find(':', c1 + 1);
    if (c2 == std::string::npos)
        throw UsageError("--sweep needs FROM:TO:STEP after '=', not '" + range + "'");
    s.from = sweepNumber("FROM", range.substr(0, c1));
    s.to = sweepNumber("TO", range.substr(c1 + 1, c2 - c1 - 1));
    s.step = sweepNumber("STEP", range.substr(c2 + 1));
    if (s.step <= 0)
        throw UsageError("--sweep STEP must be above 0, not " + SweepValueText(s.step));
    if (s.to < s.from)
        throw UsageError("--sweep TO must not lie below FROM");
    if ((s.to - s.from) / s.step + 1 > static_cast<double>(kMostValues))
        throw UsageError("--sweep makes more than " + std::to_string(kMostValues) + " values");
    return s;
}

std::string SweptConfig(const std::string& config, const SweepSpec& sweep, double value) {
    return ini::WriteKey(config, sweep.section, sweep.key, SweepValueText(value));
}

bool SweepCurrent(const std::string& config, const SweepSpec& sweep, double* value) {
    std::optional<std::string> v = ini::FindValue(config, sweep.section, sweep.key);
    if (!v)
        return false;
    char* end = nullptr;
    double d = std::strtod(v->c_str(), &end);
    if (end == v->c_str())
        return false;
    *value = d;
    return true;
}

} // namespace station
