// The small drawing helpers the bar's painting, gestures and editor share.
#pragma once

#include "BarGeometry.h"
#include "Handles.h"

#include <initializer_list>

namespace bar {

inline RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}
inline Rect FromRECT(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}
inline Point FromPOINT(POINT p) {
    return Point{p.x, p.y};
}

// The stock font every text of the bar is measured and drawn in.
HFONT GuiFont();

void FillSolid(HDC dc, const Rect& r, COLORREF colour);
// One-pixel outline: top and left in one colour, right and bottom in the other.
void Draw3dRect(HDC dc, const Rect& r, COLORREF topLeft, COLORREF bottomRight);
// A polyline in a solid 1-pixel pen; like LineTo, the last point is not drawn.
void Polyline(HDC dc, COLORREF colour, std::initializer_list<POINT> points);

// Moves the logical origin of a DC and puts it back.
class ViewportShift {
public:
    ViewportShift(HDC dc, int dx, int dy) : m_dc(dc) { ::SetViewportOrgEx(dc, dx, dy, &m_old); }
    ~ViewportShift() { ::SetViewportOrgEx(m_dc, m_old.x, m_old.y, nullptr); }
    ViewportShift(const ViewportShift&) = delete;
    ViewportShift& operator=(const ViewportShift&) = delete;

private:
    HDC m_dc;
    POINT m_old{};
};

} // namespace bar
