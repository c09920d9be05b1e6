#include "BarGdi.h"

namespace bar {

HFONT GuiFont() {
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void FillSolid(HDC dc, const Rect& r, COLORREF colour) {
    if (r.IsEmpty()) {
        return;
    }
    const COLORREF old = ::SetBkColor(dc, colour);
    const RECT rc = ToRECT(r);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

void Draw3dRect(HDC dc, const Rect& r, COLORREF topLeft, COLORREF bottomRight) {
    const int w = r.Width();
    const int h = r.Height();
    FillSolid(dc, {r.left, r.top, r.left + w - 1, r.top + 1}, topLeft);
    FillSolid(dc, {r.left, r.top, r.left + 1, r.top + h - 1}, topLeft);
    FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

void Polyline(HDC dc, COLORREF colour, std::initializer_list<POINT> points) {
    fw::Pen pen(::CreatePen(PS_SOLID, 1, colour));
    fw::SelectedObject selected(dc, pen.get());
    auto it = points.begin();
    ::MoveToEx(dc, it->x, it->y, nullptr);
    for (++it; it != points.end(); ++it) {
        ::LineTo(dc, it->x, it->y);
    }
}

} // namespace bar
