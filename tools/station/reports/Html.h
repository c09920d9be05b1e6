// One self-contained page (inline SVG, no network) for a line's analysis:
// readable on a laptop's screen and printable on A4.
#pragma once

#include "reports/AnalysisModel.h"

#include <string>

namespace station {

// An SVG drawing as an element of a page (without its XML declaration).
std::string InlineSvg(const std::string& svg);

// sweepFigure: the SVG of a sweep's plot or a grid's heat map, or empty.
std::string AnalysisPage(const LineAnalysis& a, const std::string& sweepFigure = std::string());

} // namespace station
