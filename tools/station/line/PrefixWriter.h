// The host prefix of a run's lines written fast: the day's date is formatted
// once a day, the time of day digit by digit. The text is AppendHostPrefix's.
#pragma once

#include "support/Time.h"

#include <string>

namespace station {

class PrefixWriter {
public:
    void Append(std::string* out, TimeMs t, const std::string& station, const std::string& serial,
                int attempt);

private:
    long long m_day = INT64_MIN;
    std::string m_date; // "2026-12-07T"
};

} // namespace station
