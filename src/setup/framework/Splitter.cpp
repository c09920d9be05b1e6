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
    views_.clear();
}

bool CSplitterWnd::CreateStatic(HWND parent, int rows, int cols, DWORD style, UINT id) {
    if (rows < 1 || cols < 1 || rows > 16 || cols > 16)
        return false;
    rows_.assign(static_cast<size_t>(rows), SplitInfo{});
    cols_.assign(static_cast<size_t>(cols), SplitInfo{});
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
    cols_[static_cast<size_t>(col)].ideal = initial.cx;
    rows_[static_cast<size_t>(row)].ideal = initial.cy;
    CWindow* created = view.get();
    views_.push_back(std::move(view));
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
    cols_[static_cast<size_t>(col)].ideal = ideal;
    cols_[static_cast<size_t>(col)].minimum = minimum;
}

void CSplitterWnd::GetColumnInfo(int col, int* ideal, int* minimum) const {
    if (col < 0 || col >= ColumnCount())
        return;
    if (ideal)
        *ideal = cols_[static_cast<size_t>(col)].ideal;
    if (minimum)
        *minimum = cols_[static_cast<size_t>(col)].minimum;
}

void CSplitterWnd::SetRowInfo(int row, int ideal, int minimum) {
    if (row < 0 || row >= RowCount())
        return;
    rows_[static_cast<size_t>(row)].ideal = ideal;
    rows_[static_cast<size_t>(row)].minimum = minimum;
}

void CSplitterWnd::GetRowInfo(int row, int* ideal, int* minimum) const {
    if (row < 0 || row >= RowCount())
        return;
    if (ideal)
        *ideal = rows_[static_cast<size_t>(row)].ideal;
    if (minimum)
        *minimum = rows_[static_cast<size_t>(row)].minimum;
}

int CSplitterWnd::ColumnWidth(int col) const {
    return col >= 0 && col < ColumnCount() ? cols_[static_cast<size_t>(col)].current : 0;
}

int CSplitterWnd::RowHeight(int row) const {
    return row >= 0 && row < RowCount() ? rows_[static_cast<size_t>(row)].current : 0;
}

RECT CSplitterWnd::GetInsideRect() const {
    RECT r = ClientRect();
    r.left += metrics_.borderX;
    r.right -= metrics_.borderX;
    r.top += metrics_.borderY;
    r.bottom -= metrics_.borderY;
    return r;
}

SplitterGeometry CSplitterWnd::CurrentGeometry() const {
    const RECT in = GetInsideRect();
    return PlaceSplitter(Rect{in.left, in.top, in.right, in.bottom}, rows_, cols_, metrics_);
}

void CSplitterWnd::RecalcLayout() {
    if (!Hwnd() || rows_.empty())
        return;
    const RECT in = GetInsideRect();
    LayoutSpans(cols_, in.right - in.left, metrics_.gapX);
    LayoutSpans(rows_, in.bottom - in.top, metrics_.gapY);
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
    if (!halftone_)
        halftone_ = MakeHalftoneBrush();
    WindowDC dc = AcquireDCEx(Hwnd(), nullptr, DCX_CACHE | DCX_LOCKWINDOWUPDATE);
    if (!dc || !halftone_)
        return;
    SelectedObject brush(dc.get(), halftone_.get());
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
        const SplitHit hit = tracking_ ? trackHit_ : HitTest(p);
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
    RECT r = trackRect_;
    if (trackHit_.kind == SplitHitKind::ColumnBar || trackHit_.kind == SplitHitKind::Crossing) {
        const int w = r.right - r.left;
        const int x =
            std::max(static_cast<int>(in.left), std::min(static_cast<int>(point.x - trackOffset_.x),
                                                         static_cast<int>(in.right) - w));
        r.left = x;
        r.right = x + w;
    }
    if (trackHit_.kind == SplitHitKind::RowBar || trackHit_.kind == SplitHitKind::Crossing) {
        const int h = r.bottom - r.top;
        const int y =
            std::max(static_cast<int>(in.top), std::min(static_cast<int>(point.y - trackOffset_.y),
                                                        static_cast<int>(in.bottom) - h));
        r.top = y;
        r.bottom = y + h;
    }
    return r;
}

void CSplitterWnd::OnLButtonDown(UINT flags, POINT point) {
    // A disabled tracker ignores presses too, not only the hit test.
    if (tracking_ || !TrackingAllowed())
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
    trackHit_ = hit;
    trackRect_ = ToRect(bar);
    trackOffset_ = POINT{point.x - bar.left, point.y - bar.top};
    tracking_ = true;
    ::SetCapture(Hwnd());
    OnInvertTracker(trackRect_);
}

void CSplitterWnd::OnMouseMove(UINT flags, POINT point) {
    if (!tracking_)
        return CWindow::OnMouseMove(flags, point);
    const RECT next = TrackerRect(point);
    if (!::EqualRect(&next, &trackRect_)) {
        OnInvertTracker(trackRect_);
        trackRect_ = next;
        OnInvertTracker(trackRect_);
    }
}

void CSplitterWnd::OnLButtonUp(UINT flags, POINT point) {
    if (!tracking_)
        return CWindow::OnLButtonUp(flags, point);
    trackRect_ = TrackerRect(point);
    StopTracking(true);
}

void CSplitterWnd::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (tracking_ && key == VK_ESCAPE)
        return StopTracking(false);
    CWindow::OnKeyDown(key, repeat, flags);
}

void CSplitterWnd::OnCaptureChanged(HWND newCapture) {
    if (tracking_ && newCapture != Hwnd())
        StopTracking(false);
    CWindow::OnCaptureChanged(newCapture);
}

void CSplitterWnd::StopTracking(bool accept) {
    if (!tracking_)
        return;
    tracking_ = false; // first, so the capture change below does not re-enter
    OnInvertTracker(trackRect_);
    if (::GetCapture() == Hwnd())
        ::ReleaseCapture();
    if (!accept)
        return;
    const SplitterGeometry g = CurrentGeometry();
    const bool moveColumn =
        trackHit_.kind == SplitHitKind::ColumnBar || trackHit_.kind == SplitHitKind::Crossing;
    const bool moveRow =
        trackHit_.kind == SplitHitKind::RowBar || trackHit_.kind == SplitHitKind::Crossing;
    if (moveColumn) {
        const size_t c = static_cast<size_t>(trackHit_.index);
        const int start = g.panes[c].left;
        cols_[c].ideal = std::max(0, static_cast<int>(trackRect_.left) -
                                         (metrics_.gapX - metrics_.barWidth) / 2 - start);
    }
    if (moveRow) {
        const size_t r = static_cast<size_t>(moveColumn ? trackHit_.index2 : trackHit_.index);
        const int start = g.panes[r * static_cast<size_t>(ColumnCount())].top;
        rows_[r].ideal = std::max(0, static_cast<int>(trackRect_.top) -
                                         (metrics_.gapY - metrics_.barHeight) / 2 - start);
    }
    RecalcLayout();
}

// --- CSwitchSplitterWnd -----------------------------------------------------------------

CSwitchSplitterWnd::CSwitchSplitterWnd() {
    metrics_.barWidth = metrics_.barHeight = 4;
    metrics_.gapX = metrics_.gapY = 4;
    metrics_.borderX = metrics_.borderY = 0;
}

RECT CSwitchSplitterWnd::GetInsideRect() const {
    RECT r = CSplitterWnd::GetInsideRect();
    r.top += topMargin_;
    return r;
}

void CSwitchSplitterWnd::HideVisible(const Pane& pane) {
    auto it = visible_.find(pane);
    if (it == visible_.end())
        return;
    CWindow* view = views_[it->second];
    if (view && view->Hwnd()) {
        view->SetDlgCtrlID(0);
        ::ShowWindow(view->Hwnd(), SW_HIDE);
    }
    visible_.erase(it);
}

void CSwitchSplitterWnd::ShowInPane(int id, const Pane& pane) {
    visible_[pane] = id;
    CWindow* view = views_[id];
    if (view && view->Hwnd()) {
        view->SetDlgCtrlID(IdFromRowCol(pane.first, pane.second));
        ::ShowWindow(view->Hwnd(), SW_SHOW);
    }
}

int CSwitchSplitterWnd::AddView(int row, int col, const RuntimeClass* viewClass, SIZE initial,
                                CreateContext* context) {
    const Pane pane{row, col};
    auto previous = visible_.find(pane);
    const int hidden = previous == visible_.end() ? -1 : previous->second;
    HideVisible(pane);
    CWindow* view = CreateView(row, col, viewClass, initial, context);
    if (!view) {
        if (hidden > 0)
            ShowInPane(hidden, pane);
        return -1;
    }
    const int id = nextId_++;
    viewPane_[id] = pane;
    views_[id] = view;
    ShowInPane(id, pane);
    ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return id;
}

int CSwitchSplitterWnd::AddView(int row, int col, const char* className, SIZE initial,
                                CreateContext* context) {
    return AddView(row, col, RuntimeClass::FromName(className), initial, context);
}

CWindow* CSwitchSplitterWnd::GetView(int id) const {
    auto it = views_.find(id);
    return it == views_.end() ? nullptr : it->second;
}

int CSwitchSplitterWnd::ShowView(int id) {
    auto it = viewPane_.find(id);
    if (it == viewPane_.end())
        return 0;
    const Pane pane = it->second;
    HideVisible(pane);
    ShowInPane(id, pane);
    RecalcLayout();
    return 1;
}

int CSwitchSplitterWnd::VisibleView(int row, int col) const {
    auto it = visible_.find(Pane{row, col});
    return it == visible_.end() ? -1 : it->second;
}

BOOL CSwitchSplitterWnd::OnEraseBkgnd(HDC dc) {
    RECT r = CSplitterWnd::GetInsideRect();
    r.bottom = r.top + topMargin_;
    Brush face(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
    ::FillRect(dc, &r, face.get());
    return TRUE;
}

LRESULT CSwitchSplitterWnd::OnNcHitTest(POINT screenPoint) {
    if (trackingAllowed_)
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
