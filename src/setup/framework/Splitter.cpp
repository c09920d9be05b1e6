#include "Splitter.h"

#include <algorithm>

namespace fw {

namespace {

RECT ToRect(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    Brush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &r, brush.get());
}

void Frame3d(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    FillSolid(dc, RECT{r.left, r.top, r.left + w - 1, r.top + 1}, topLeft);
    FillSolid(dc, RECT{r.left, r.top, r.left + 1, r.top + h - 1}, topLeft);
    FillSolid(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolid(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

Brush MakeHalftoneBrush() {
    WORD pattern[8];
    for (int i = 0; i < 8; ++i)
        pattern[i] = static_cast<WORD>(0x5555 << (i & 1));
    Bitmap bits(::CreateBitmap(8, 8, 1, 1, pattern));
    return Brush(bits ? ::CreatePatternBrush(bits.get()) : nullptr);
}

} // namespace

CSplitterWnd::~CSplitterWnd() {
    // Views go before the splitter window; their windows are its children.
    m_views.clear();
}

bool CSplitterWnd::CreateStatic(HWND parent, int rows, int cols, DWORD style, UINT id) {
    if (rows < 1 || cols < 1 || rows > 16 || cols > 16)
        return false;
    m_rows.assign(static_cast<size_t>(rows), SplitInfo{});
    m_cols.assign(static_cast<size_t>(cols), SplitInfo{});
    RECT empty{0, 0, 0, 0};
    return Create(0, nullptr, nullptr, style | WS_CHILD | WS_CLIPCHILDREN, empty, parent, id);
}

CWindow* CSplitterWnd::CreateView(int row, int col, const RuntimeClass* viewClass, SIZE initial,
                                  CreateContext* context) {
    if (!Hwnd() || !viewClass || row < 0 || col < 0 || row >= RowCount() || col >= ColumnCount())
        return nullptr;
    std::unique_ptr<CWindow> view(viewClass->CreateObject());
    if (!view)
        return nullptr;
    RECT rect{0, 0, initial.cx, initial.cy};
    if (!view->CreateView(Hwnd(), static_cast<UINT>(IdFromRowCol(row, col)), WS_CHILD | WS_VISIBLE,
                          rect, context))
        return nullptr;
    m_cols[static_cast<size_t>(col)].ideal = initial.cx;
    m_rows[static_cast<size_t>(row)].ideal = initial.cy;
    CWindow* created = view.get();
    m_views.push_back(std::move(view));
    if (!context)
        ::SendMessageW(created->Hwnd(), WM_INITIALUPDATE, 0, 0);
    return created;
}

HWND CSplitterWnd::GetPane(int row, int col) const {
    return GetDlgItem(IdFromRowCol(row, col));
}

void CSplitterWnd::SetColumnInfo(int col, int ideal, int minimum) {
    if (col < 0 || col >= ColumnCount())
        return;
    m_cols[static_cast<size_t>(col)].ideal = ideal;
    m_cols[static_cast<size_t>(col)].minimum = minimum;
}

void CSplitterWnd::GetColumnInfo(int col, int* ideal, int* minimum) const {
    if (col < 0 || col >= ColumnCount())
        return;
    if (ideal)
        *ideal = m_cols[static_cast<size_t>(col)].ideal;
    if (minimum)
        *minimum = m_cols[static_cast<size_t>(col)].minimum;
}

void CSplitterWnd::SetRowInfo(int row, int ideal, int minimum) {
    if (row < 0 || row >= RowCount())
        return;
    m_rows[static_cast<size_t>(row)].ideal = ideal;
    m_rows[static_cast<size_t>(row)].minimum = minimum;
}

void CSplitterWnd::GetRowInfo(int row, int* ideal, int* minimum) const {
    if (row < 0 || row >= RowCount())
        return;
    if (ideal)
        *ideal = m_rows[static_cast<size_t>(row)].ideal;
    if (minimum)
        *minimum = m_rows[static_cast<size_t>(row)].minimum;
}

int CSplitterWnd::ColumnWidth(int col) const {
    return col >= 0 && col < ColumnCount() ? m_cols[static_cast<size_t>(col)].current : 0;
}

int CSplitterWnd::RowHeight(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].current : 0;
}

RECT CSplitterWnd::GetInsideRect() const {
    RECT r = ClientRect();
    r.left += m_metrics.borderX;
    r.right -= m_metrics.borderX;
    r.top += m_metrics.borderY;
    r.bottom -= m_metrics.borderY;
    return r;
}

SplitterGeometry CSplitterWnd::CurrentGeometry() const {
    const RECT in = GetInsideRect();
    return PlaceSplitter(Rect{in.left, in.top, in.right, in.bottom}, m_rows, m_cols, m_metrics);
}

void CSplitterWnd::RecalcLayout() {
    if (!Hwnd() || m_rows.empty())
        return;
    const RECT in = GetInsideRect();
    LayoutSpans(m_cols, in.right - in.left, m_metrics.gapX);
    LayoutSpans(m_rows, in.bottom - in.top, m_metrics.gapY);
    const SplitterGeometry g = CurrentGeometry();
    DeferredPositions positions(::BeginDeferWindowPos(RowCount() * ColumnCount()));
    for (int r = 0; r < RowCount(); ++r) {
        for (int c = 0; c < ColumnCount(); ++c) {
            HWND pane = GetPane(r, c);
            if (!pane)
                continue;
            const Rect& p = g.panes[static_cast<size_t>(r * ColumnCount() + c)];
            if (positions) {
                HDWP next = ::DeferWindowPos(positions.get(), pane, nullptr, p.left, p.top,
                                             p.Width(), p.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
                positions.release();
                positions.reset(next);
            }
            if (!positions)
                ::SetWindowPos(pane, nullptr, p.left, p.top, p.Width(), p.Height(),
                               SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    positions.reset();
    DrawAllSplitParts(nullptr);
}

void CSplitterWnd::DrawAllSplitParts(HDC dc) {
    const SplitterGeometry g = CurrentGeometry();
    for (const Rect& b : g.colBars)
        OnDrawSplitter(dc, splitBar, ToRect(b));
    for (const Rect& b : g.rowBars)
        OnDrawSplitter(dc, splitBar, ToRect(b));
    for (const Rect& x : g.crossings)
        OnDrawSplitter(dc, splitIntersection, ToRect(x));
    OnDrawSplitter(dc, splitBorder, GetInsideRect());
}

SplitHit CSplitterWnd::HitTest(POINT client) const {
    return HitTestSplitter(CurrentGeometry(), client.x, client.y);
}

CWindow* CSplitterWnd::GetActivePane(int* row, int* col) const {
    HWND focus = ::GetFocus();
    if (!focus || ::GetParent(focus) != Hwnd())
        return nullptr;
    const int id = ::GetDlgCtrlID(focus);
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColumnCount(); ++c)
            if (IdFromRowCol(r, c) == id) {
                if (row)
                    *row = r;
                if (col)
                    *col = c;
                return CWindow::FromHandle(focus);
            }
    return nullptr;
}

void CSplitterWnd::SetActivePane(int row, int col, HWND window) {
    HWND target = window ? window : GetPane(row, col);
    if (target)
        ::SetFocus(target);
}

void CSplitterWnd::OnDrawSplitter(HDC dc, SplitType, const RECT& rect) {
    if (!dc) {
        ::RedrawWindow(Hwnd(), &rect, nullptr, RDW_INVALIDATE | RDW_NOCHILDREN);
        return;
    }
    FillSolid(dc, rect, ::GetSysColor(COLOR_BTNFACE));
}

void CSplitterWnd::OnInvertTracker(const RECT& rect) {
    if (!m_halftone)
        m_halftone = MakeHalftoneBrush();
    WindowDC dc = AcquireDCEx(Hwnd(), nullptr, DCX_CACHE | DCX_LOCKWINDOWUPDATE);
    if (!dc || !m_halftone)
        return;
    SelectedObject brush(dc.get(), m_halftone.get());
    ::PatBlt(dc.get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
             PATINVERT);
}

void CSplitterWnd::OnPaint() {
    PaintDC paint(Hwnd());
    DrawAllSplitParts(paint.dc());
}

void CSplitterWnd::OnSize(UINT type, int, int) {
    Default();
    if (type != SIZE_MINIMIZED)
        RecalcLayout();
}

BOOL CSplitterWnd::OnSetCursor(HWND window, UINT hitTest, UINT message) {
    if (window == Hwnd() && hitTest == HTCLIENT && TrackingAllowed()) {
        POINT p;
        ::GetCursorPos(&p);
        ::ScreenToClient(Hwnd(), &p);
        const SplitHit hit = m_tracking ? m_trackHit : HitTest(p);
        LPCWSTR shape = nullptr;
        if (hit.kind == SplitHitKind::ColumnBar)
            shape = reinterpret_cast<LPCWSTR>(IDC_SIZEWE);
        else if (hit.kind == SplitHitKind::RowBar)
            shape = reinterpret_cast<LPCWSTR>(IDC_SIZENS);
        else if (hit.kind == SplitHitKind::Crossing)
            shape = reinterpret_cast<LPCWSTR>(IDC_SIZEALL);
        if (shape) {
            ::SetCursor(::LoadCursorW(nullptr, shape));
            return TRUE;
        }
    }
    return CWindow::OnSetCursor(window, hitTest, message);
}

RECT CSplitterWnd::TrackerRect(POINT point) const {
    const RECT in = GetInsideRect();
    RECT r = m_trackRect;
    if (m_trackHit.kind == SplitHitKind::ColumnBar || m_trackHit.kind == SplitHitKind::Crossing) {
        const int w = r.right - r.left;
        const int x = std::max(
            static_cast<int>(in.left),
            std::min(static_cast<int>(point.x - m_trackOffset.x), static_cast<int>(in.right) - w));
        r.left = x;
        r.right = x + w;
    }
    if (m_trackHit.kind == SplitHitKind::RowBar || m_trackHit.kind == SplitHitKind::Crossing) {
        const int h = r.bottom - r.top;
        const int y =
            std::max(static_cast<int>(in.top), std::min(static_cast<int>(point.y - m_trackOffset.y),
                                                        static_cast<int>(in.bottom) - h));
        r.top = y;
        r.bottom = y + h;
    }
    return r;
}

void CSplitterWnd::OnLButtonDown(UINT flags, POINT point) {
    // A disabled tracker ignores presses too, not only the hit test.
    if (m_tracking || !TrackingAllowed())
        return CWindow::OnLButtonDown(flags, point);
    const SplitHit hit = HitTest(point);
    if (hit.kind == SplitHitKind::None)
        return CWindow::OnLButtonDown(flags, point);
    const SplitterGeometry g = CurrentGeometry();
    Rect bar;
    if (hit.kind == SplitHitKind::ColumnBar)
        bar = g.colBars[static_cast<size_t>(hit.index)];
    else if (hit.kind == SplitHitKind::RowBar)
        bar = g.rowBars[static_cast<size_t>(hit.index)];
    else
        bar = g.crossings[static_cast<size_t>(hit.index * RowCount() - hit.index + hit.index2)];
    m_trackHit = hit;
    m_trackRect = ToRect(bar);
    m_trackOffset = POINT{point.x - bar.left, point.y - bar.top};
    m_tracking = true;
    ::SetCapture(Hwnd());
    OnInvertTracker(m_trackRect);
}

void CSplitterWnd::OnMouseMove(UINT flags, POINT point) {
    if (!m_tracking)
        return CWindow::OnMouseMove(flags, point);
    const RECT next = TrackerRect(point);
    if (!::EqualRect(&next, &m_trackRect)) {
        OnInvertTracker(m_trackRect);
        m_trackRect = next;
        OnInvertTracker(m_trackRect);
    }
}

void CSplitterWnd::OnLButtonUp(UINT flags, POINT point) {
    if (!m_tracking)
        return CWindow::OnLButtonUp(flags, point);
    m_trackRect = TrackerRect(point);
    StopTracking(true);
}

void CSplitterWnd::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (m_tracking && key == VK_ESCAPE)
        return StopTracking(false);
    CWindow::OnKeyDown(key, repeat, flags);
}

void CSplitterWnd::OnCaptureChanged(HWND newCapture) {
    if (m_tracking && newCapture != Hwnd())
        StopTracking(false);
    CWindow::OnCaptureChanged(newCapture);
}

void CSplitterWnd::StopTracking(bool accept) {
    if (!m_tracking)
        return;
    m_tracking = false; // first, so the capture change below does not re-enter
    OnInvertTracker(m_trackRect);
    if (::GetCapture() == Hwnd())
        ::ReleaseCapture();
    if (!accept)
        return;
    const SplitterGeometry g = CurrentGeometry();
    const bool moveColumn =
        m_trackHit.kind == SplitHitKind::ColumnBar || m_trackHit.kind == SplitHitKind::Crossing;
    const bool moveRow =
        m_trackHit.kind == SplitHitKind::RowBar || m_trackHit.kind == SplitHitKind::Crossing;
    if (moveColumn) {
        const size_t c = static_cast<size_t>(m_trackHit.index);
        const int start = g.panes[c].left;
        m_cols[c].ideal = std::max(0, static_cast<int>(m_trackRect.left) -
                                          (m_metrics.gapX - m_metrics.barWidth) / 2 - start);
    }
    if (moveRow) {
        const size_t r = static_cast<size_t>(moveColumn ? m_trackHit.index2 : m_trackHit.index);
        const int start = g.panes[r * static_cast<size_t>(ColumnCount())].top;
        m_rows[r].ideal = std::max(0, static_cast<int>(m_trackRect.top) -
                                          (m_metrics.gapY - m_metrics.barHeight) / 2 - start);
    }
    RecalcLayout();
}

// --- CSwitchSplitterWnd -----------------------------------------------------------------

CSwitchSplitterWnd::CSwitchSplitterWnd() {
    m_metrics.barWidth = m_metrics.barHeight = 4;
    m_metrics.gapX = m_metrics.gapY = 4;
    m_metrics.borderX = m_metrics.borderY = 0;
}

RECT CSwitchSplitterWnd::GetInsideRect() const {
    RECT r = CSplitterWnd::GetInsideRect();
    r.top += m_topMargin;
    return r;
}

void CSwitchSplitterWnd::HideVisible(const Pane& pane) {
    auto it = m_visible.find(pane);
    if (it == m_visible.end())
        return;
    CWindow* view = m_views[it->second];
    if (view && view->Hwnd()) {
        view->SetDlgCtrlID(0);
        ::ShowWindow(view->Hwnd(), SW_HIDE);
    }
    m_visible.erase(it);
}

void CSwitchSplitterWnd::ShowInPane(int id, const Pane& pane) {
    m_visible[pane] = id;
    CWindow* view = m_views[id];
    if (view && view->Hwnd()) {
        view->SetDlgCtrlID(IdFromRowCol(pane.first, pane.second));
        ::ShowWindow(view->Hwnd(), SW_SHOW);
    }
}

int CSwitchSplitterWnd::AddView(int row, int col, const RuntimeClass* viewClass, SIZE initial,
                                CreateContext* context) {
    const Pane pane{row, col};
    auto previous = m_visible.find(pane);
    const int hidden = previous == m_visible.end() ? -1 : previous->second;
    HideVisible(pane);
    CWindow* view = CreateView(row, col, viewClass, initial, context);
    if (!view) {
        if (hidden > 0)
            ShowInPane(hidden, pane);
        return -1;
    }
    const int id = m_nextId++;
    m_viewPane[id] = pane;
    m_views[id] = view;
    ShowInPane(id, pane);
    ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return id;
}

int CSwitchSplitterWnd::AddView(int row, int col, const char* className, SIZE initial,
                                CreateContext* context) {
    return AddView(row, col, RuntimeClass::FromName(className), initial, context);
}

CWindow* CSwitchSplitterWnd::GetView(int id) const {
    auto it = m_views.find(id);
    return it == m_views.end() ? nullptr : it->second;
}

int CSwitchSplitterWnd::ShowView(int id) {
    auto it = m_viewPane.find(id);
    if (it == m_viewPane.end())
        return 0;
    const Pane pane = it->second;
    HideVisible(pane);
    ShowInPane(id, pane);
    RecalcLayout();
    return 1;
}

int CSwitchSplitterWnd::VisibleView(int row, int col) const {
    auto it = m_visible.find(Pane{row, col});
    return it == m_visible.end() ? -1 : it->second;
}

BOOL CSwitchSplitterWnd::OnEraseBkgnd(HDC dc) {
    RECT r = CSplitterWnd::GetInsideRect();
    r.bottom = r.top + m_topMargin;
    Brush face(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
    ::FillRect(dc, &r, face.get());
    return TRUE;
}

LRESULT CSwitchSplitterWnd::OnNcHitTest(POINT screenPoint) {
    if (m_trackingAllowed)
        return CSplitterWnd::OnNcHitTest(screenPoint);
    return HTNOWHERE;
}

bool CSwitchSplitterWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND parent = GetParent();
    if (parent)
        ::SendMessageW(parent, WM_COMMAND, wParam, lParam);
    return true;
}

bool CSwitchSplitterWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND parent = GetParent();
    result = parent ? ::SendMessageW(parent, WM_NOTIFY, wParam, lParam) : 0;
    return true;
}

void CSwitchSplitterWnd::OnDrawSplitter(HDC dc, SplitType type, const RECT& rect) {
    if (!dc) {
        ::RedrawWindow(Hwnd(), &rect, nullptr, RDW_INVALIDATE | RDW_NOCHILDREN);
        return;
    }
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    switch (type) {
    case splitBox: {
        RECT r = rect;
        Frame3d(dc, r, face, ::GetSysColor(COLOR_WINDOWFRAME));
        ::InflateRect(&r, -1, -1);
        Frame3d(dc, r, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
        ::InflateRect(&r, -1, -1);
        FillSolid(dc, r, face);
        break;
    }
    case splitBar:
    case splitIntersection:
        FillSolid(dc, rect, face);
        break;
    case splitBorder:
        break;
    }
}

void CSwitchSplitterWnd::OnInvertTracker(const RECT& rect) {
    CSplitterWnd::OnInvertTracker(rect);
}

} // namespace fw
