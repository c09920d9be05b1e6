// The progress line of a population on a terminal.
#include "reports/Report.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#if defined(_WIN32)
#include <io.h>
#define STATION_ISATTY _isatty
#define STATION_FILENO _fileno
#else
#include <unistd.h>
#define STATION_ISATTY isatty
#define STATION_FILENO fileno
#endif

namespace station {

ProgressBar::ProgressBar(long total, bool wanted)
    : m_total(total), m_active(wanted && STATION_ISATTY(STATION_FILENO(stdout)) &&
                               STATION_ISATTY(STATION_FILENO(stderr))) {
    m_start = m_last = std::chrono::steady_clock::now();
}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(long done) {
    if (!m_active)
        return;
    auto now = std::chrono::steady_clock::now();
    // A few redraws a second; the first unit and the last always show.
    if (m_shown && done < m_total && now - m_last < std::chrono::milliseconds(200))
        return;
    m_last = now;
    double seconds = std::chrono::duration<double>(now - m_start).count();
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    long left = rate > 0 ? std::lround(static_cast<double>(m_total - done) / rate) : 0;
    int percent = static_cast<int>(100 * done / m_total);
    int filled = percent * 30 / 100;
    char line[160];
    std::snprintf(line, sizeof line, "[%s%s] %3d%%  %ld of %ld units, %s units/s, %ld:%02ld left",
                  std::string(static_cast<size_t>(filled), '#').c_str(),
                  std::string(static_cast<size_t>(30 - filled), '.').c_str(), percent, done,
                  m_total, FormatNumber(rate < 10 ? "%.1f" : "%.0f", rate).c_str(), left / 60,
                  left % 60);
    std::string text = line;
    size_t width = text.size();
    if (width < m_width)
        text += std::string(m_width - width, ' ');
    m_width = std::max(m_width, width);
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void ProgressBar::Finish() {
    if (!m_shown)
        return;
    std::fprintf(stderr, "\r%s\r", std::string(m_width, ' ').c_str());
    std::fflush(stderr);
    m_shown = false;
}

} // namespace station
