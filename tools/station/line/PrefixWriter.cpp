#include "line/PrefixWriter.h"

namespace station {

void PrefixWriter::Append(std::string* out, TimeMs t, const std::string& station,
                          const std::string& serial, int attempt) {
    long long day = t / kMsPerDay;
    if (t % kMsPerDay < 0)
        --day;
    if (day != m_day) {
        m_day = day;
        m_date = FormatTime(day * kMsPerDay).substr(0, 11);
    }
    const long long ms = t - day * kMsPerDay;
    const int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60),
              s = static_cast<int>(ms / 1000 % 60), f = static_cast<int>(ms % 1000);
    char clock[13] = {static_cast<char>('0' + h / 10),
                      static_cast<char>('0' + h % 10),
                      ':',
                      static_cast<char>('0' + m / 10),
                      static_cast<char>('0' + m % 10),
                      ':',
                      static_cast<char>('0' + s / 10),
                      static_cast<char>('0' + s % 10),
                      '.',
                      static_cast<char>('0' + f / 100),
                      static_cast<char>('0' + f / 10 % 10),
                      static_cast<char>('0' + f % 10),
                      ' '};
    *out += m_date;
    out->append(clock, sizeof clock);
    *out += station;
    *out += ' ';
    *out += serial;
    *out += ' ';
    if (attempt >= 0 && attempt < 10)
        *out += static_cast<char>('0' + attempt);
    else
        *out += std::to_string(attempt);
    *out += ' ';
}

} // namespace station
