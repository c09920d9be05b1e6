#include "logs/Prefix.h"

namespace station {

void AppendHostPrefix(std::string* out, TimeMs t, const std::string& station,
                      const std::string& serial, int attempt) {
    *out += FormatTime(t);
    *out += ' ';
    *out += station;
    *out += ' ';
    *out += serial;
    *out += ' ';
    *out += std::to_string(attempt);
    *out += ' ';
}

} // namespace station
