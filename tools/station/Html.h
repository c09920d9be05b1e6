// One self-contained page (inline SVG, no network) for a line's analysis:
// readable on a laptop's screen and printable on A4.
#pragma once

#include "Analysis.h"

#include <string>

namespace station {

// An SVG drawing as an element of a page (without its XML declaration).
std::string InlineSvg(const std::string& svg);

std::string AnalysisPage(const LineAnalysis& a);

} // namespace station
