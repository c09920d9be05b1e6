// Words of a command line read strictly: a bad one is a UsageError whose
// message names the option and what it needs.
#pragma once

#include <stdexcept>
#include <string>

namespace station {

// A command line the station cannot run: the message says what to change.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole text, finite, within range; UsageError naming the option.
double ParseNumber(const std::string& option, const std::string& text);
long long ParseInteger(const std::string& option, const std::string& text, long long low,
                       long long high);

} // namespace station
