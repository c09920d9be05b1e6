#include "SplitterMath.h"

#include <algorithm>

namespace fw {

void LayoutSpans(std::vector<SplitInfo>& spans, int available, int gap) {
    int remaining = available;
    for (size_t i = 0; i < spans.size(); ++i) {
        SplitInfo& s = spans[i];
        if (remaining <= 0) {
            s.current = 0;
        } else if (i + 1 == spans.size()) {
            s.current = remaining;
        } else {
            s.current = std::min(std::max(s.ideal, 0), remaining);
            if (s.current < s.minimum)
                s.current = 0;
        }
        remaining -= s.current + gap;
    }
}

SplitterGeometry PlaceSplitter(const Rect& inside, const std::vector<SplitInfo>& rows,
                               const std::vector<SplitInfo>& cols, const SplitterMetrics& m) {
    SplitterGeometry g;
    std::vector<int> colStart, rowStart;
    int x = inside.left;
    for (const SplitInfo& c : cols) {
        colStart.push_back(x);
        x += c.current + m.gapX;
    }
    int y = inside.top;
    for (const SplitInfo& r : rows) {
        rowStart.push_back(y);
        y += r.current + m.gapY;
    }
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < cols.size(); ++c)
            g.panes.push_back(Rect{colStart[c], rowStart[r], colStart[c] + cols[c].current,
                                   rowStart[r] + rows[r].current});
    for (size_t c = 0; c + 1 < cols.size(); ++c) {
        const int left = colStart[c] + cols[c].current + (m.gapX - m.barWidth) / 2;
        g.colBars.push_back(Rect{left, inside.top, left + m.barWidth, inside.bottom});
    }
    for (size_t r = 0; r + 1 < rows.size(); ++r) {
        const int top = rowStart[r] + rows[r].current + (m.gapY - m.barHeight) / 2;
        g.rowBars.push_back(Rect{inside.left, top, inside.right, top + m.barHeight});
    }
    for (const Rect& cb : g.colBars)
        for (const Rect& rb : g.rowBars)
            g.crossings.push_back(Rect{cb.left, rb.top, cb.right, rb.bottom});
    return g;
}

SplitHit HitTestSplitter(const SplitterGeometry& g, int x, int y) {
    SplitHit hit;
    for (size_t c = 0; c < g.colBars.size(); ++c)
        for (size_t r = 0; r < g.rowBars.size(); ++r)
            if (g.colBars[c].Contains(x, y) && g.rowBars[r].Contains(x, y))
                return SplitHit{SplitHitKind::Crossing, static_cast<int>(c), static_cast<int>(r)};
    for (size_t c = 0; c < g.colBars.size(); ++c)
        if (g.colBars[c].Contains(x, y))
            return SplitHit{SplitHitKind::ColumnBar, static_cast<int>(c), -1};
    for (size_t r = 0; r < g.rowBars.size(); ++r)
        if (g.rowBars[r].Contains(x, y))
            return SplitHit{SplitHitKind::RowBar, static_cast<int>(r), -1};
    return hit;
}

} // namespace fw
