// The framework's static splitter window and the setup window's switching
// splitter, whose panes hold several views of which one is visible.
#pragma once

#include "SplitterMath.h"
#include "Window.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace fw {

class CSplitterWnd : public CWindow {
public:
    CSplitterWnd() = default;
    ~CSplitterWnd() override;

    // A splitter of fixed rows and columns, a child of parent with control id.
    bool CreateStatic(HWND parent, int rows, int cols, DWORD style = WS_CHILD | WS_VISIBLE,
                      UINT id = AFX_IDW_PANE_FIRST);
    // Creates a view of the class in pane (row, col) with the pane's id; the
    // size becomes the pane's ideal size and, without a context, the view gets
    // its initial update at once. Null on failure. The splitter owns the view.
    virtual CWindow* CreateView(int row, int col, const RuntimeClass* viewClass, SIZE initial,
                                CreateContext* context);

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    int ColumnCount() const { return static_cast<int>(m_cols.size()); }
    int IdFromRowCol(int row, int col) const { return PaneIdFromRowCol(row, col); }
    // The window that carries the pane's control id.
    HWND GetPane(int row, int col) const;
    void SetColumnInfo(int col, int ideal, int minimum);
    void GetColumnInfo(int col, int* ideal, int* minimum) const;
    void SetRowInfo(int row, int ideal, int minimum);
    void GetRowInfo(int row, int* ideal, int* minimum) const;
    int ColumnWidth(int col) const; // current size after the last layout
    int RowHeight(int row) const;

    virtual void RecalcLayout();
    // The client area less the border.
    virtual RECT GetInsideRect() const;
    SplitHit HitTest(POINT client) const;
    SplitterGeometry CurrentGeometry() const;
    bool IsTracking() const { return m_tracking; }

    // The focused window, if it is one of the panes; row and column filled then.
    virtual CWindow* GetActivePane(int* row = nullptr, int* col = nullptr) const;
    virtual void SetActivePane(int row, int col, HWND window = nullptr);

    enum SplitType { splitBox, splitBar, splitIntersection, splitBorder };

protected:
    // Draws a part; with a null DC only invalidates its rectangle.
    virtual void OnDrawSplitter(HDC dc, SplitType type, const RECT& rect);
    // Inverts the tracker rectangle on the window's DC.
    virtual void OnInvertTracker(const RECT& rect);
    // Whether a press on a bar may start dragging it.
    virtual bool TrackingAllowed() const { return true; }
    void DrawAllSplitParts(HDC dc);

    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message) override;
    void OnLButtonDown(UINT flags, POINT point) override;
    void OnMouseMove(UINT flags, POINT point) override;
    void OnLButtonUp(UINT flags, POINT point) override;
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
    void OnCaptureChanged(HWND newCapture) override;

    SplitterMetrics m_metrics;

private:
    void StopTracking(bool accept);
    RECT TrackerRect(POINT point) const;

    std::vector<SplitInfo> m_rows, m_cols;
    std::vector<std::unique_ptr<CWindow>> m_views;
    bool m_tracking = false;
    SplitHit m_trackHit;
    RECT m_trackRect{};
    POINT m_trackOffset{};
    Brush m_halftone;
};

// A view id names one view of a pane; ids start at 1 and are never reused.
class CSwitchSplitterWnd : public CSplitterWnd {
public:
    CSwitchSplitterWnd();

    // Creates a view in the pane and makes it the pane's visible view; its id,
    // or -1 when it cannot be created (the pane keeps showing what it showed).
    int AddView(int row, int col, const RuntimeClass* viewClass, SIZE initial,
                CreateContext* context);
    int AddView(int row, int col, const char* className, SIZE initial, CreateContext* context);
    // The view of an id AddView returned, else null.
    CWindow* GetView(int id) const;
    // Shows the view in its pane and lays out again; 0 (nothing changes) for
    // an id AddView never returned.
    int ShowView(int id);
    void EnableTracking(bool allowed) { m_trackingAllowed = allowed; }
    bool IsTrackingEnabled() const { return m_trackingAllowed; }
    int VisibleView(int row, int col) const;
    int TopMargin() const { return m_topMargin; }

    RECT GetInsideRect() const override;

protected:
    void OnDrawSplitter(HDC dc, SplitType type, const RECT& rect) override;
    void OnInvertTracker(const RECT& rect) override;
    bool TrackingAllowed() const override { return m_trackingAllowed; }
    BOOL OnEraseBkgnd(HDC dc) override;
    LRESULT OnNcHitTest(POINT screenPoint) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    using Pane = std::pair<int, int>;
    void HideVisible(const Pane& pane);
    void ShowInPane(int id, const Pane& pane);

    std::map<int, CWindow*> m_views;
    std::map<Pane, int> m_visible;
    std::map<int, Pane> m_viewPane;
    int m_nextId = 1;
    int m_topMargin = 5;
    bool m_trackingAllowed = true;
};

} // namespace fw
