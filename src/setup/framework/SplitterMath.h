// Sizing rules of the static splitter on plain rectangles: how rows and
// columns share the space, where panes and bars lie, what a point hits.
#pragma once

#include "geometry/Rect.h"

#include <vector>

namespace fw {

constexpr int AFX_IDW_PANE_FIRST = 0xE900;
// The control id of the pane at (row, column).
constexpr int PaneIdFromRowCol(int row, int col) {
    return AFX_IDW_PANE_FIRST + row * 16 + col;
}

using geo::Rect;

struct SplitInfo {
    int ideal = 0;
    int minimum = 0;
    int current = 0;
};

struct SplitterMetrics {
    int barWidth = 4, barHeight = 4; // drawn width of vertical bars, height of horizontal ones
    int gapX = 4, gapY = 4;          // space between neighbouring panes
    int borderX = 0, borderY = 0;    // around the panes
};

// Shares `available` pixels: each span but the last gets its ideal size while
// space remains (a size below its minimum collapses to 0), `gap` pixels
// separate neighbours, the last takes the rest.
void LayoutSpans(std::vector<SplitInfo>& spans, int available, int gap);

struct SplitterGeometry {
    std::vector<Rect> panes;     // row-major, rows * cols
    std::vector<Rect> colBars;   // between column i and i+1, full inside height
    std::vector<Rect> rowBars;   // between row i and i+1, full inside width
    std::vector<Rect> crossings; // where bars meet
};

// Places panes and bars inside `inside` from the spans' current sizes.
SplitterGeometry PlaceSplitter(const Rect& inside, const std::vector<SplitInfo>& rows,
                               const std::vector<SplitInfo>& cols, const SplitterMetrics& m);

enum class SplitHitKind { None, ColumnBar, RowBar, Crossing };
struct SplitHit {
    SplitHitKind kind = SplitHitKind::None;
    int index = -1;  // column bar or row bar index (for a crossing: the column bar)
    int index2 = -1; // for a crossing: the row bar
};
SplitHit HitTestSplitter(const SplitterGeometry& g, int x, int y);

} // namespace fw
