#include "GfxOutBarCtrl.h"

#include <windowsx.h>

#include <algorithm>

namespace bar {

namespace {

RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}
Rect FromRECT(const RECT& r) {
    return Rect{r.left, r.top, r.right, r.bottom};
}
Point FromPOINT(POINT p) {
    return Point{p.x, p.y};
}

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

// One-pixel outline: top and left in one colour, right and bottom in the other.
void Draw3dRect(HDC dc, const Rect& r, COLORREF topLeft, COLORREF bottomRight) {
    const int w = r.Width();
    const int h = r.Height();
    FillSolid(dc, {r.left, r.top, r.left + w - 1, r.top + 1}, topLeft);
    FillSolid(dc, {r.left, r.top, r.left + 1, r.top + h - 1}, topLeft);
    FillSolid(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolid(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

// A polyline in a solid 1-pixel pen; like LineTo, the last point is not drawn.
void Polyline(HDC dc, COLORREF colour, std::initializer_list<POINT> points) {
    fw::Pen pen(::CreatePen(PS_SOLID, 1, colour));
    fw::SelectedObject selected(dc, pen.get());
    auto it = points.begin();
    ::MoveToEx(dc, it->x, it->y, nullptr);
    for (++it; it != points.end(); ++it) {
        ::LineTo(dc, it->x, it->y);
    }
}

// BeginPaint and EndPaint as a pair.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(::BeginPaint(window, &ps_)) {}
    ~PaintScope() { ::EndPaint(window_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Moves the logical origin of a DC and puts it back.
class ViewportShift {
public:
    ViewportShift(HDC dc, int dx, int dy) : dc_(dc) { ::SetViewportOrgEx(dc, dx, dy, &old_); }
    ~ViewportShift() { ::SetViewportOrgEx(dc_, old_.x, old_.y, nullptr); }
    ViewportShift(const ViewportShift&) = delete;
    ViewportShift& operator=(const ViewportShift&) = delete;

private:
    HDC dc_;
    POINT old_{};
};

HCURSOR LoadBarCursor(int id, LPCWSTR fallback) {
    HCURSOR c = ::LoadCursorW(fw::ResourceModule(), MAKEINTRESOURCEW(id));
    return c ? c : ::LoadCursorW(nullptr, fallback);
}

POINT MessagePosInClient(HWND window, DWORD pos) {
    POINT p{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    ::ScreenToClient(window, &p);
    return p;
}

// Gets the next message for a gesture loop; false ends the loop (WM_QUIT is
// put back for the outer loop).
bool NextGestureMessage(MSG& msg) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    return got > 0;
}

POINT MsgPoint(const MSG& msg) {
    return POINT{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
}

} // namespace

FW_IMPLEMENT_DYNCREATE(CGfxOutBarCtrl)

CGfxOutBarCtrl::CGfxOutBarCtrl()
    : background_(::GetSysColor(COLOR_BACKGROUND)), buttonEdge_(::GetSysColor(COLOR_BACKGROUND)),
      itemText_(::GetSysColor(COLOR_WINDOW)), face_(::GetSysColor(COLOR_BTNFACE)),
      highlight_(::GetSysColor(COLOR_BTNHIGHLIGHT)), darkShadow_(::GetSysColor(COLOR_3DDKSHADOW)),
      folderCursor_(LoadBarCursor(IDC_BAR_FOLDER, MAKEINTRESOURCEW(32649)) /* IDC_HAND */),
      dragCursor_(LoadBarCursor(IDC_BAR_DRAG, MAKEINTRESOURCEW(32646)) /* IDC_SIZEALL */),
      noDropCursor_(LoadBarCursor(IDC_BAR_NODROP, MAKEINTRESOURCEW(32648)) /* IDC_NO */),
      markPen_(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0))) {}

CGfxOutBarCtrl::~CGfxOutBarCtrl() {
    // Children (an open editor) must go while this object is still whole.
    hoverTimer_.reset();
    selectTimer_.reset();
    DestroyWindow();
}

bool CGfxOutBarCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id, DWORD flags) {
    model_.flags = flags;
    return fw::CWindow::Create(WS_EX_STATICEDGE, nullptr, nullptr, style | WS_CHILD, rect, parent,
                               id);
}

int CGfxOutBarCtrl::OnCreate(CREATESTRUCTW* create) {
    const int result = fw::CWindow::OnCreate(create);
    if (model_.selectAnimPeriod > 0) {
        selectTimer_ =
            fw::StartTimer(Hwnd(), TIMER_SELECT_ANIM, static_cast<UINT>(model_.selectAnimPeriod));
    }
    return result;
}

// --- operations ------------------------------------------------------------------------

HIMAGELIST CGfxOutBarCtrl::SetBarImageList(HIMAGELIST list, int which) {
    HIMAGELIST* slot = which == 1 ? &smallImages_ : which == 2 ? &largeImages_ : nullptr;
    if (slot == nullptr) {
        return nullptr;
    }
    HIMAGELIST previous = *slot;
    *slot = list;
    return previous;
}

void CGfxOutBarCtrl::SetSelectionAnimation(int periodMs) {
    model_.selectAnimPeriod = periodMs;
    // Reset first: the new timer has the same id, and the old owner would kill it.
    selectTimer_.reset();
    if (periodMs > 0 && Hwnd()) {
        selectTimer_ = fw::StartTimer(Hwnd(), TIMER_SELECT_ANIM, static_cast<UINT>(periodMs));
    }
}

int CGfxOutBarCtrl::AppendFolder(const char* name, DWORD value) {
    return model_.AppendFolder(name, value);
}

int CGfxOutBarCtrl::InsertFolderItem(int folder, int position, const char* text, int image,
                                     DWORD value) {
    return model_.InsertFolderItem(folder, position, text, image, value);
}

void CGfxOutBarCtrl::SetIconView(bool small) {
    if (model_.SetIconView(small)) {
        InvalidateBarRect(Layout().ContentRect(), false);
    }
}

void CGfxOutBarCtrl::DeleteFolder(int index) {
    if (model_.DeleteFolder(index)) {
        Invalidate(true);
    }
}

void CGfxOutBarCtrl::DeleteItem(int index) {
    if (model_.DeleteItem(index)) {
        InvalidateBarRect(Layout().ContentRect(), true);
    }
}

void CGfxOutBarCtrl::SetFolderText(int index, const char* text) {
    model_.SetFolderText(index, text);
}

void CGfxOutBarCtrl::SetItemText(int index, const char* text) {
    model_.SetItemText(index, text);
}

HitResult CGfxOutBarCtrl::HitTestPoint(POINT point) const {
    return Layout().HitTestPoint(FromPOINT(point));
}

BarEnv CGfxOutBarCtrl::Env() const {
    BarEnv env;
    auto info = [](HIMAGELIST list) -> std::optional<ImageListInfo> {
        if (list == nullptr) {
            return std::nullopt;
        }
        int cx = 0;
        int cy = 0;
        ::ImageList_GetIconSize(list, &cx, &cy);
        return ImageListInfo{{cx, cy}, ::ImageList_GetImageCount(list)};
    };
    env.smallImages = info(smallImages_);
    env.largeImages = info(largeImages_);
    env.arrowSide = ::GetSystemMetrics(SM_CXVSCROLL);
    HWND window = Hwnd();
    env.measureText = [window](const std::string& text, bool smallView, int width) {
        fw::WindowDC dc = fw::AcquireDC(window);
        fw::SelectedObject font(dc.get(), GuiFont());
        const std::wstring wide = fw::GbkToWide(text.c_str());
        if (smallView) {
            SIZE s{};
            ::GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &s);
            return Size{s.cx, s.cy};
        }
        RECT rc{0, 0, width, 0};
        ::DrawTextW(dc.get(), wide.c_str(), -1, &rc, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
        return Size{rc.right - rc.left, rc.bottom - rc.top};
    };
    return env;
}

BarLayout CGfxOutBarCtrl::Layout() const {
    return BarLayout(model_, FromRECT(ClientRect()), Env());
}

LRESULT CGfxOutBarCtrl::Notify(WPARAM code, LPARAM arg) const {
    HWND target = GetOwner();
    return target ? ::SendMessageW(target, WM_BAR_NOTIFY, code, arg) : 0;
}

bool CGfxOutBarCtrl::EditorHasFocus() const {
    HWND focus = ::GetFocus();
    return focus != nullptr && ::IsChild(Hwnd(), focus);
}

void CGfxOutBarCtrl::InvalidateBarRect(const Rect& r, bool erase) const {
    InvalidateRect(ToRECT(r), erase);
}

std::optional<bool> CGfxOutBarCtrl::UpdateCommandEnabled(UINT id) const {
    switch (id) {
    case ID_BAR_SMALL_ICONS:
        return !model_.SmallView();
    case ID_BAR_LARGE_ICONS:
        return model_.SmallView();
    default:
        return std::nullopt;
    }
}

// --- painting -------------------------------------------------------------------------

BOOL CGfxOutBarCtrl::OnEraseBkgnd(HDC) {
    return TRUE;
}

void CGfxOutBarCtrl::OnSize(UINT type, int cx, int cy) {
    model_.upArrowShown = false;
    model_.downArrowShown = false;
    fw::CWindow::OnSize(type, cx, cy);
}

void CGfxOutBarCtrl::OnPaint() {
    {
        PaintScope paint(Hwnd());
        const RECT client = ClientRect();
        const int w = client.right - client.left;
        const int h = client.bottom - client.top;
        fw::MemoryDC mem(paint.dc(), w, h);
        if (!mem.ok()) {
            return;
        }
        HDC dc = mem.dc();
        const BarLayout layout = Layout();
        const Rect content = layout.ContentRect();
        // Everything is covered below; the fill only guards a stale current folder.
        FillSolid(dc, FromRECT(client), background_);
        for (int i = 0; i < model_.FolderCount(); ++i) {
            PaintFolderButton(dc, i, *layout.FolderButtonRect(i), false);
        }
        PlaceArrows(model_, layout);
        {
            fw::SavedDC saved(dc);
            if (model_.upArrowShown) {
                PaintArrow(dc, model_.upArrowRect, true, model_.upPressed);
                const Rect& r = model_.upArrowRect;
                ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
            if (model_.downArrowShown) {
                PaintArrow(dc, model_.downArrowRect, false, false);
                if (model_.downPressed) {
                    PaintArrow(dc, model_.downArrowRect, false, true);
                }
                const Rect& r = model_.downArrowRect;
                ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
            PaintContent(dc, layout, content.bottom);
        }
        ::BitBlt(paint.dc(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
    }
    if (model_.hotFolder >= 0) {
        const int hot = model_.hotFolder;
        model_.hotFolder = -1;
        SetHotFolder(hot);
    }
    if (model_.hotItem >= 0) {
        const int hot = model_.hotItem;
        model_.hotItem = -1;
        SetHotItem(hot, model_.hotItemPressed);
    }
}

void CGfxOutBarCtrl::PaintArrow(HDC dc, const Rect& r, bool up, bool pushed) const {
    RECT rc = ToRECT(r);
    ::DrawFrameControl(dc, &rc, DFC_SCROLL,
                       (up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | (pushed ? DFCS_PUSHED : 0));
}

void CGfxOutBarCtrl::PaintFolderButton(HDC dc, int i, Rect r, bool pressed) const {
    if (!model_.ValidFolder(i)) {
        return;
    }
    if (!pressed) {
        Polyline(dc, buttonEdge_, {{r.left, r.top}, {r.right, r.top}});
        r.top += 1;
        Draw3dRect(dc, r, highlight_, buttonEdge_);
        r = r.Inflate(-1, -1);
    } else {
        Polyline(dc, buttonEdge_, {{r.left + 1, r.top}, {r.right, r.top}});
        r.top += 1;
        Draw3dRect(dc, r, darkShadow_, highlight_);
        r = r.Inflate(-1, -1);
        Draw3dRect(dc, r, buttonEdge_, face_);
        r = r.Inflate(-1, -1);
    }
    FillSolid(dc, r, face_);
    const auto& name = model_.folders[static_cast<size_t>(i)]->name;
    if (name) {
        const int oldMode = ::SetBkMode(dc, TRANSPARENT);
        fw::SelectedObject font(dc, GuiFont());
        const std::wstring wide = fw::GbkToWide(name->c_str());
        RECT rc = ToRECT(r);
        ::DrawTextW(dc, wide.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SetBkMode(dc, oldMode);
    }
}

void CGfxOutBarCtrl::PaintContent(HDC dc, const BarLayout& layout, int bottomLimit) const {
    fw::SavedDC saved(dc);
    const Rect r = layout.ContentRect();
    ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    for (int k = std::max(layout.FirstVisible(), 0); k < layout.ItemCount(); ++k) {
        const Rect item = layout.ItemRect(k);
        if (item.top > bottomLimit) {
            break;
        }
        PaintItem(dc, layout, k, item);
    }
}

void CGfxOutBarCtrl::PaintItem(HDC dc, const BarLayout& layout, int k, Rect r) const {
    HIMAGELIST images = ViewImages();
    if (images == nullptr || layout.Folder() == nullptr) {
        return;
    }
    const ItemEntry& item = *layout.Folder()->items[static_cast<size_t>(k)];
    fw::SavedDC saved(dc);
    ::SelectObject(dc, GuiFont());
    ::SetTextColor(dc, itemText_);
    ::SetBkMode(dc, TRANSPARENT);
    const Size icon = layout.MeasureItem(k, ItemPart::Icon);
    const Point at = layout.IconOrigin(k);
    if (item.image >= 0) {
        ::ImageList_Draw(images, item.image, dc, at.x, at.y, ILD_NORMAL);
    }
    if (item.text) {
        const std::wstring wide = fw::GbkToWide(item.text->c_str());
        if (model_.SmallView()) {
            const Point t = layout.SmallLabelOrigin(k);
            ::TextOutW(dc, t.x, t.y, wide.c_str(), static_cast<int>(wide.size()));
        } else {
            RECT rc = ToRECT(r);
            rc.top += icon.cy + model_.largeLabelGap;
            ::DrawTextW(dc, wide.c_str(), -1, &rc, DT_CENTER | DT_WORDBREAK);
        }
    }
    if ((model_.flags & BAR_SELECT_FRAME) && k == model_.SelectedItemChecked() &&
        layout.Folder() == model_.Current()) {
        Draw3dRect(dc, layout.IconRect(k).Inflate(1, 1), darkShadow_, face_);
    }
}

void CGfxOutBarCtrl::SetHotFolder(int i) {
    if (EditorHasFocus() || i == model_.hotFolder) {
        return;
    }
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    const BarLayout layout = Layout();
    auto outline = [&](int folder, COLORREF outer, COLORREF inner) {
        const auto r = layout.FolderButtonRect(folder);
        if (!r) {
            return;
        }
        Polyline(dc.get(), outer,
                 {{r->left, r->bottom - 1}, {r->right - 1, r->bottom - 1}, {r->right - 1, r->top}});
        Polyline(dc.get(), inner,
                 {{r->left + 1, r->bottom - 2},
                  {r->right - 2, r->bottom - 2},
                  {r->right - 2, r->top + 1}});
    };
    if (model_.hotFolder >= 0) {
        outline(model_.hotFolder, buttonEdge_, face_);
    }
    model_.hotFolder = i;
    outline(i, darkShadow_, buttonEdge_);
}

void CGfxOutBarCtrl::SetHotItem(int k, bool pressed) {
    if (EditorHasFocus() || (k == model_.hotItem && pressed == model_.lastDrawnPressed)) {
        return;
    }
    model_.lastDrawnPressed = pressed;
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    const BarLayout layout = Layout();
    const Rect content = layout.ContentRect();
    ::IntersectClipRect(dc.get(), content.left, content.top, content.right, content.bottom);
    if (layout.ItemCount() > model_.hotItem && model_.hotItem >= 0) {
        Draw3dRect(dc.get(), layout.IconRect(model_.hotItem).Inflate(1, 1), background_,
                   background_);
    }
    if (k == model_.selectedItem &&
        (model_.selectAnimPeriod > 0 || (model_.flags & BAR_SELECT_FRAME))) {
        model_.hotItem = -1;
        return;
    }
    model_.hotItem = k;
    if (k >= 0 && k < layout.ItemCount()) {
        const Rect r = layout.IconRect(k).Inflate(1, 1);
        if (pressed) {
            Draw3dRect(dc.get(), r, darkShadow_, face_);
        } else {
            Draw3dRect(dc.get(), r, face_, darkShadow_);
        }
    }
}

void CGfxOutBarCtrl::ShowDropMark(HDC dc, int k) {
    if (k == model_.dropMarkIndex) {
        return;
    }
    const BarLayout layout = Layout();
    if (model_.dropMarkIndex >= 0) {
        const Rect r = layout.DropMarkRect(model_.dropMarkIndex).rect;
        int top = r.top;
        int bottom = r.top + 6;
        if (model_.dropMarkKind == 1) {
            top = r.top - 4;
        } else if (model_.dropMarkKind == 2) {
            top = r.top - 4;
            bottom = r.top + 2;
        }
        InvalidateBarRect({r.left, top, r.right + 1, bottom}, true);
        ::UpdateWindow(Hwnd());
    }
    model_.dropMarkIndex = k;
    if (k < 0) {
        return;
    }
    const DropMark mark = layout.DropMarkRect(k);
    model_.dropMarkKind = mark.kind;
    const Rect& r = mark.rect;
    fw::SelectedObject pen(dc, markPen_.get());
    auto line = [dc](int x1, int y1, int x2, int y2) {
        ::MoveToEx(dc, x1, y1, nullptr);
        ::LineTo(dc, x2, y2);
    };
    line(r.left, r.top, r.right, r.top);
    for (int i = 1; i <= 4; ++i) {
        if (mark.kind != 2) {
            line(r.left, r.top + i, r.left + 9 - 2 * i, r.top + i);
            line(r.right - 1, r.top + i, r.right - 9 + 2 * i, r.top + i);
        }
        if (mark.kind != 0) {
            line(r.left, r.top - i, r.left + 9 - 2 * i, r.top - i);
            line(r.right - 1, r.top - i, r.right - 9 + 2 * i, r.top - i);
        }
    }
}

void CGfxOutBarCtrl::NudgeSelectedIcon(int dx, int dy) {
    const int selected = model_.SelectedItemChecked();
    HIMAGELIST images = ViewImages();
    if (selected < 0 || selected < model_.firstVisible || images == nullptr) {
        return;
    }
    const BarLayout layout = Layout();
    const Rect content = layout.ContentRect();
    const Rect item = layout.ItemRect(selected);
    if (!(item.top > content.top && item.bottom < content.bottom)) {
        return;
    }
    const ItemEntry& entry = *model_.Current()->items[static_cast<size_t>(selected)];
    const Point at = layout.IconOrigin(selected);
    const Size icon = layout.MeasureItem(selected, ItemPart::Icon);
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    FillSolid(dc.get(), {at.x - 1, at.y - 1, at.x + icon.cx + 2, at.y + icon.cy + 2}, background_);
    if (entry.image >= 0) {
        ::ImageList_Draw(images, entry.image, dc.get(), at.x + dx, at.y + dy, ILD_NORMAL);
    }
}

void CGfxOutBarCtrl::SlideFolders(int from, int to) {
    const BarLayout old = Layout();
    const Rect r = old.ContentRect();
    const int w = r.Width();
    const int h = model_.folderButtonHeight;
    const auto f = old.FolderButtonRect(from);
    const auto t = old.FolderButtonRect(to);
    if (!f || !t || w <= 0 || r.Height() <= 0) {
        return;
    }
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    fw::MemoryDC first(dc.get(), w, r.Height() + 2 * h);
    fw::MemoryDC second(dc.get(), w, r.Height() + 2 * h);
    if (!first.ok() || !second.ok()) {
        return;
    }
    const Rect whole{0, 0, w, r.Height() + 2 * h};
    FillSolid(first.dc(), whole, background_);
    FillSolid(second.dc(), whole, background_);
    const BarLayout target(model_, old.Client(), Env(), to, 0);
    // Content is painted where it stands on the screen, shifted so the
    // content area's top lands on the given bitmap row.
    auto content = [&](HDC into, const BarLayout& layout, int row) {
        ViewportShift shift(into, -r.left, row - r.top);
        PaintContent(into, layout, r.bottom);
    };
    if (to > from) {
        content(first.dc(), old, h);
        PaintFolderButton(second.dc(), to, {0, 0, w, h}, false);
        content(second.dc(), target, h);
        for (int y = t->top - h; y > f->bottom; y -= h) {
            first.BlitTo(dc.get(), r.left, f->bottom + 1, w, y - f->bottom - 1, 0, h);
            second.BlitTo(dc.get(), r.left, y, w, r.bottom - y + h, 0, 0);
            ::Sleep(static_cast<DWORD>(model_.animationDelay));
        }
    } else {
        PaintFolderButton(first.dc(), from, {0, 0, w, h}, false);
        content(first.dc(), old, h);
        content(second.dc(), target, 2 * h);
        for (int y = f->top + 1; y < r.bottom - h; y += h) {
            second.BlitTo(dc.get(), r.left, f->top, w, y - f->top - 1, 0, 2 * h);
            first.BlitTo(dc.get(), r.left, y, w, r.bottom - y, 0, 0);
            ::Sleep(static_cast<DWORD>(model_.animationDelay));
        }
    }
}

void CGfxOutBarCtrl::SelectFolder(int index) {
    if (!model_.ValidFolder(index)) {
        return;
    }
    if (index != model_.currentFolder && (model_.flags & BAR_ANIMATE_FOLDERS) &&
        model_.animationDelay >= 0 && Hwnd()) {
        SlideFolders(model_.currentFolder, index);
    }
    model_.currentFolder = index;
    model_.firstVisible = 0;
    model_.selectedItem = -1;
    // The hot item named an item of the folder that is gone.
    model_.hotItem = -1;
    Notify(BAR_FOLDER_CHANGED, index);
    Invalidate(true);
}

// --- mouse and timers ------------------------------------------------------------------

void CGfxOutBarCtrl::OnMouseMove(UINT flags, POINT point) {
    const HitResult hit = HitTestPoint(point);
    if (hit.code != HIT_FOLDER && model_.hotFolder >= 0) {
        SetHotFolder(-1);
    }
    if (hit.code != HIT_ITEM && model_.hotItem >= 0) {
        SetHotItem(-1, false);
    }
    if (hit.code == HIT_FOLDER || hit.code == HIT_ITEM) {
        if (hit.code == HIT_FOLDER) {
            SetHotFolder(hit.index);
        } else {
            SetHotItem(hit.index, false);
        }
        hoverTimer_.reset();
        hoverTimer_ = fw::StartTimer(Hwnd(), TIMER_HOVER, kHoverPeriod);
    }
    fw::CWindow::OnMouseMove(flags, point);
}

void CGfxOutBarCtrl::OnTimer(UINT_PTR id) {
    if (id == TIMER_HOVER) {
        const POINT p = MessagePosInClient(Hwnd(), ::GetMessagePos());
        const RECT c = ClientRect();
        if (!::PtInRect(&c, p)) {
            SetHotFolder(-1);
            SetHotItem(-1, false);
            hoverTimer_.reset();
        }
        return;
    }
    if (id == TIMER_SELECT_ANIM) {
        if (model_.SelectedItemChecked() >= 0) {
            if (const auto d = NextNudgeStep(model_.selectAnimStep)) {
                NudgeSelectedIcon(d->x, d->y);
            }
        }
        return;
    }
    if (id == TIMER_ARROW_REPEAT) {
        return; // a stray tick after its gesture ended
    }
    fw::CWindow::OnTimer(id);
}

BOOL CGfxOutBarCtrl::OnSetCursor(HWND window, UINT hitTest, UINT message) {
    if (loopCursor_ != nullptr) {
        ::SetCursor(loopCursor_);
        return TRUE;
    }
    const POINT p = MessagePosInClient(Hwnd(), ::GetMessagePos());
    if (HitTestPoint(p).code == HIT_FOLDER) {
        ::SetCursor(folderCursor_);
        return TRUE;
    }
    return fw::CWindow::OnSetCursor(window, hitTest, message);
}

void CGfxOutBarCtrl::OnLButtonDown(UINT flags, POINT point) {
    if (::GetFocus() != Hwnd()) {
        ::SetFocus(Hwnd());
    }
    const HitResult hit = HitTestPoint(point);
    model_.dropMarkKind = -1;
    switch (hit.code) {
    case HIT_FOLDER:
        FolderGesture(hit.index);
        break;
    case HIT_ITEM:
        ItemGesture(hit.index);
        break;
    case HIT_UP_ARROW:
    case HIT_DOWN_ARROW:
        ArrowGesture(hit.code == HIT_UP_ARROW);
        break;
    default:
        break;
    }
    if (hit.code != HIT_ITEM) {
        model_.hotItem = -1;
    }
    fw::CWindow::OnLButtonDown(flags, point);
}

void CGfxOutBarCtrl::FolderGesture(int p) {
    const auto rect = FolderRect(p);
    if (!rect) {
        return;
    }
    if (::GetCapture() != nullptr) {
        InvalidateBarRect(*rect, false);
        return;
    }
    HWND self = Hwnd();
    fw::MouseCapture capture = fw::CaptureMouse(self);
    fw::WindowDC dc = fw::AcquireDC(self);
    PaintFolderButton(dc.get(), p, *rect, true);
    bool shown = true;
    auto onButton = [&](POINT q) {
        const HitResult hit = HitTestPoint(q);
        return hit.code == HIT_FOLDER && hit.index == p;
    };
    MSG msg;
    while (::GetCapture() == self && NextGestureMessage(msg)) {
        if (msg.message == WM_KEYDOWN) {
            continue;
        }
        if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
            const bool on = onButton(MsgPoint(msg));
            if (on != shown) {
                PaintFolderButton(dc.get(), p, *rect, on);
                shown = on;
            }
            continue;
        }
        if (msg.hwnd == self && msg.message == WM_LBUTTONUP) {
            if (shown) {
                PaintFolderButton(dc.get(), p, *rect, false);
                shown = false;
            }
            const HitResult hit = HitTestPoint(MsgPoint(msg));
            if (hit.code == HIT_FOLDER && hit.index != model_.currentFolder) {
                SelectFolder(hit.index);
            }
            break;
        }
        ::DispatchMessageW(&msg);
    }
    capture.reset();
    if (shown) {
        InvalidateBarRect(*rect, false);
    }
}

void CGfxOutBarCtrl::ItemGesture(int p) {
    model_.dropMarkIndex = -1;
    loopCursor_ = ::GetCursor();
    bool pressedShown = true;
    bool dragging = false;
    HWND self = Hwnd();
    if (::GetCapture() == nullptr) {
        fw::MouseCapture capture = fw::CaptureMouse(self);
        fw::WindowDC dc = fw::AcquireDC(self);
        SetHotItem(p, true);
        // The band below the last item where a drop moves to the end.
        auto belowLast = [this](int y) {
            const BarLayout layout = Layout();
            const int count = layout.ItemCount();
            const int lastBottom =
                count > 0 ? layout.ItemRect(count - 1).bottom : layout.ContentRect().top;
            return lastBottom < y && y < layout.ContentRect().bottom;
        };
        MSG msg;
        while (::GetCapture() == self && NextGestureMessage(msg)) {
            if (msg.message == WM_SETCURSOR) {
                ::SetCursor(loopCursor_);
                continue;
            }
            if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
                const POINT q = MsgPoint(msg);
                const HitResult hit = HitTestPoint(q);
                if (!dragging) {
                    if (hit.code == HIT_ITEM && hit.index == p) {
                        if (!pressedShown) {
                            SetHotItem(p, true);
                            pressedShown = true;
                            model_.hotItemPressed = true;
                        }
                    } else if (hit.code == HIT_ITEM) {
                        if (pressedShown) {
                            SetHotItem(p, false);
                            pressedShown = false;
                            model_.hotItemPressed = false;
                        }
                    } else if (model_.flags & BAR_DRAG_ITEMS) {
                        dragging = true;
                        SetHotItem(p, true);
                        pressedShown = true;
                        model_.hotItemPressed = true;
                        loopCursor_ = dragCursor_;
                        ::SetCursor(loopCursor_);
                    }
                } else {
                    if (hit.code == HIT_ITEM) {
                        ShowDropMark(dc.get(), hit.index);
                        loopCursor_ = dragCursor_;
                    } else if (belowLast(q.y)) {
                        ShowDropMark(dc.get(), model_.ItemCount());
                        loopCursor_ = dragCursor_;
                    } else {
                        ShowDropMark(dc.get(), -1);
                        loopCursor_ = noDropCursor_;
                    }
                    ::SetCursor(loopCursor_);
                }
                continue;
            }
            if (msg.hwnd == self && msg.message == WM_LBUTTONUP) {
                const POINT q = MsgPoint(msg);
                const HitResult hit = HitTestPoint(q);
                if (pressedShown) {
                    SetHotItem(-1, false);
                    pressedShown = false;
                }
                if (!dragging) {
                    if (hit.code == HIT_ITEM && hit.index == p) {
                        ClickItem(p);
                    }
                } else if ((hit.code == HIT_ITEM && hit.index != p) ||
                           (hit.code != HIT_ITEM && belowLast(q.y))) {
                    BarNotifyRecord record{};
                    record.dragFolder = model_.currentFolder;
                    record.dragItem = p;
                    if (Notify(BAR_ITEM_DRAGGED, reinterpret_cast<LPARAM>(&record)) != 0) {
                        // The owner may have changed the list while answering:
                        // MoveItem checks both indexes again.
                        if (hit.code == HIT_ITEM) {
                            model_.MoveItem(p, hit.index > p ? hit.index - 1 : hit.index);
                        } else {
                            model_.MoveItem(p, model_.ItemCount());
                        }
                    }
                }
                break;
            }
            ::DispatchMessageW(&msg);
        }
        capture.reset();
        if (dragging) {
            Invalidate(true);
        }
    }
    model_.hotItemPressed = false;
    loopCursor_ = nullptr;
    if (pressedShown) {
        InvalidateBarRect(Layout().ItemRect(p), false);
    }
}

void CGfxOutBarCtrl::ClickItem(int p) {
    const int selected = model_.SelectedItemChecked();
    if (model_.selectAnimPeriod > 0 && selected >= 0 && selected != p) {
        NudgeSelectedIcon(0, 0);
    }
    const BarLayout layout = Layout();
    if ((model_.flags & BAR_SELECT_FRAME) && selected >= 0) {
        InvalidateBarRect(layout.IconRect(selected).Inflate(1, 1), true);
    }
    model_.selectedItem = p;
    if (model_.flags & BAR_SELECT_FRAME) {
        InvalidateBarRect(layout.IconRect(p).Inflate(1, 1), true);
    }
    Notify(BAR_ITEM_CLICKED, p);
}

void CGfxOutBarCtrl::ScrollStep(bool up) {
    model_.firstVisible += up ? -1 : 1;
    InvalidateBarRect(Layout().ContentRect(), true);
}

void CGfxOutBarCtrl::ArrowGesture(bool up) {
    HWND self = Hwnd();
    if (::GetCapture() != nullptr) {
        return;
    }
    arrowGesture_ = true;
    fw::MouseCapture capture = fw::CaptureMouse(self);
    fw::WindowDC dc = fw::AcquireDC(self);
    const Rect arrow = up ? model_.upArrowRect : model_.downArrowRect;
    bool& arrowShown = up ? model_.upArrowShown : model_.downArrowShown;
    bool& arrowPressed = up ? model_.upPressed : model_.downPressed;
    PaintArrow(dc.get(), arrow, up, true);
    bool shown = true;
    fw::Timer repeat = fw::StartTimer(self, TIMER_ARROW_REPEAT, kArrowRepeatPeriod);
    auto canScroll = [&] { return up ? model_.firstVisible > 0 : Layout().CanScrollDown(); };
    MSG msg;
    while (::GetCapture() == self && NextGestureMessage(msg)) {
        if (msg.message == WM_KEYDOWN) {
            continue;
        }
        if (msg.message == WM_TIMER && msg.hwnd == self) {
            if (msg.wParam != TIMER_ARROW_REPEAT || !shown) {
                continue;
            }
            POINT q = msg.pt;
            ::ScreenToClient(self, &q);
            if (arrow.Contains(FromPOINT(q))) {
                arrowPressed = true;
                if (!canScroll()) {
                    break;
                }
                ScrollStep(up);
            } else {
                arrowPressed = false;
            }
            continue;
        }
        if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
            const bool inside = arrow.Contains(FromPOINT(MsgPoint(msg)));
            if (inside && !shown) {
                PaintArrow(dc.get(), arrow, up, true);
                shown = arrowShown = arrowPressed = true;
            } else if (!inside && shown) {
                PaintArrow(dc.get(), arrow, up, false);
                shown = arrowShown = arrowPressed = false;
            }
            continue;
        }
        if (msg.hwnd == self && msg.message == WM_LBUTTONUP) {
            if (shown) {
                PaintArrow(dc.get(), arrow, up, false);
            }
            arrowShown = false;
            if (arrow.Contains(FromPOINT(MsgPoint(msg))) && canScroll()) {
                ScrollStep(up);
            }
            break;
        }
        ::DispatchMessageW(&msg);
    }
    repeat.reset();
    capture.reset();
    arrowGesture_ = false;
    arrowPressed = false;
    arrowShown = false;
    InvalidateBarRect(Layout().ContentRect(), true);
}

// --- commands --------------------------------------------------------------------------

bool CGfxOutBarCtrl::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int kind = model_.contextTargetKind;
    const int index = model_.contextTargetIndex;
    switch (LOWORD(wParam)) {
    case ID_BAR_SMALL_ICONS:
    case ID_BAR_LARGE_ICONS:
        SetIconView(LOWORD(wParam) == ID_BAR_SMALL_ICONS);
        Invalidate(true);
        return true;
    case ID_BAR_RENAME:
        if (kind == 0) {
            BeginFolderRename(index);
        } else if (kind == 1) {
            BeginItemRename(index);
        }
        return true;
    case ID_BAR_REMOVE:
        if (kind == 0) {
            DeleteFolder(index);
        } else if (kind == 1) {
            DeleteItem(index);
        }
        return true;
    default:
        return fw::CWindow::OnCommand(wParam, lParam);
    }
}

bool CGfxOutBarCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_INITMENUPOPUP) {
        // A context menu built by an owner gets the view commands' states.
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        for (UINT id : {ID_BAR_SMALL_ICONS, ID_BAR_LARGE_ICONS}) {
            if (const auto enabled = UpdateCommandEnabled(id)) {
                ::EnableMenuItem(menu, id, MF_BYCOMMAND | (*enabled ? MF_ENABLED : MF_GRAYED));
            }
        }
        return false;
    }
    if (message != WM_BAR_NOTIFY) {
        return fw::CWindow::OnMessage(message, wParam, lParam, result);
    }
    result = 0;
    // Only our own open editor reports here.
    auto* editor = reinterpret_cast<CBarLabelEdit*>(lParam);
    if (editor == nullptr || editor != editor_) {
        return true;
    }
    BarNotifyRecord record{};
    record.index = editor->targetIndex;
    record.text = editor->text.c_str();
    if (editor->kind == CBarLabelEdit::kFolder) {
        if (Notify(BAR_FOLDER_RENAMED, reinterpret_cast<LPARAM>(&record)) != 0 &&
            model_.SetFolderText(editor->targetIndex, editor->text.c_str())) {
            if (const auto r = FolderRect(editor->targetIndex)) {
                InvalidateBarRect(*r, false);
            }
        }
    } else if (Notify(BAR_ITEM_RENAMED, reinterpret_cast<LPARAM>(&record)) != 0 &&
               model_.SetItemText(editor->targetIndex, editor->text.c_str())) {
        InvalidateBarRect(Layout().ContentRect(), true);
    }
    return true;
}

// --- rename in place -------------------------------------------------------------------

bool CGfxOutBarCtrl::OpenEditor(CBarLabelEdit* editor, const Rect& r, DWORD style,
                                const char* text) {
    editor->bar_ = this;
    bool deleted = false;
    editor->deletedFlag_ = &deleted;
    if (!editor->Create(0, L"EDIT", L"", style, ToRECT(r), Hwnd(), 1)) {
        if (!deleted) {
            delete editor;
        }
        return false;
    }
    editor->deletedFlag_ = nullptr;
    const std::wstring wide = fw::GbkToWide(text);
    ::SetWindowTextW(editor->Hwnd(), wide.c_str());
    ::SendMessageW(editor->Hwnd(), EM_SETSEL, 0, -1);
    // A previous editor still open commits while losing the focus, so it must
    // still be the one we listen to until the new one has the focus.
    ::SetFocus(editor->Hwnd());
    editor_ = editor;
    return true;
}

void CGfxOutBarCtrl::BeginFolderRename(int index) {
    const auto button = FolderRect(index);
    if (!button || !Hwnd()) {
        return;
    }
    auto* editor = new CBarLabelEdit;
    editor->targetIndex = index;
    editor->kind = CBarLabelEdit::kFolder;
    const auto& name = model_.folders[static_cast<size_t>(index)]->name;
    if (!OpenEditor(editor, button->Inflate(-2, -2),
                    WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE, name ? name->c_str() : "")) {
        return;
    }
    HWND e = editor->Hwnd();
    ::SetWindowLongPtrW(e, GWL_EXSTYLE, ::GetWindowLongPtrW(e, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    ::SetWindowPos(e, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CGfxOutBarCtrl::BeginItemRename(int index) {
    if (!model_.ValidItem(index) || !Hwnd()) {
        return;
    }
    const BarLayout layout = Layout();
    Rect r = layout.LabelRect(index);
    auto* editor = new CBarLabelEdit;
    editor->targetIndex = index;
    editor->kind = CBarLabelEdit::kItem;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER;
    if (model_.SmallView()) {
        r = r.Offset(layout.IconRect(index).Width() + 1, -6);
        editor->growSingleLine = true;
        style |= ES_AUTOHSCROLL;
    } else {
        const Rect content = layout.ContentRect();
        r.left = content.left + 5;
        r.right = content.right - 5;
        r.bottom += 5;
        style |= ES_CENTER | ES_MULTILINE;
    }
    const auto& text = model_.Current()->items[static_cast<size_t>(index)]->text;
    OpenEditor(editor, r, style, text ? text->c_str() : "");
}

// --- the editor ------------------------------------------------------------------------

int CBarLabelEdit::OnCreate(CREATESTRUCTW* create) {
    const int result = fw::CWindow::OnCreate(create);
    ::SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    return result;
}

bool CBarLabelEdit::PreTranslateMessage(MSG* msg) {
    if (msg->hwnd != Hwnd() || msg->message != WM_KEYDOWN) {
        return false;
    }
    if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) {
        if (msg->wParam == VK_ESCAPE) {
            cancelled = true;
        }
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}

bool CBarLabelEdit::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_CLOSE && ::GetFocus() == Hwnd() && bar_ != nullptr) {
        // Closing hands the focus back first, so the kill-focus commit runs
        // while the window and its text still exist.
        ::SetFocus(bar_->Hwnd());
    }
    return fw::CWindow::OnMessage(message, wParam, lParam, result);
}

void CBarLabelEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (kind == kFolder) {
        fw::CWindow::OnChar(ch, repeat, flags);
        return;
    }
    if (ch == VK_ESCAPE || ch == VK_RETURN) {
        if (ch == VK_ESCAPE) {
            cancelled = true;
        }
        if (bar_ != nullptr) {
            ::SetFocus(bar_->Hwnd());
        }
        return;
    }
    fw::CWindow::OnChar(ch, repeat, flags);
    Grow();
}

void CBarLabelEdit::Grow() {
    if (bar_ == nullptr) {
        return;
    }
    HWND self = Hwnd();
    HWND barWindow = bar_->Hwnd();
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(barWindow, WM_GETFONT, 0, 0));
    if (font == nullptr) {
        // Our bar keeps no font of its own; the editor's is the one shown.
        font = reinterpret_cast<HFONT>(::SendMessageW(self, WM_GETFONT, 0, 0));
    }
    fw::WindowDC dc = fw::AcquireDC(self);
    fw::SelectedObject selected(dc.get(), font ? static_cast<HGDIOBJ>(font) : GuiFont());
    const int length = ::GetWindowTextLengthW(self);
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(self, wide.data(), length + 1);
    wide.resize(static_cast<size_t>(length));

    RECT r{};
    ::GetClientRect(self, &r);
    ::MapWindowPoints(self, barWindow, reinterpret_cast<POINT*>(&r), 2);
    RECT window = WindowRectInParent();
    const RECT p = bar_->ClientRect();
    // The frame around the client area stays as it is.
    const int frameRight = window.right - r.right;
    const int frameBottom = window.bottom - r.bottom;
    if (growSingleLine) {
        RECT calc = r;
        ::DrawTextW(dc.get(), wide.c_str(), -1, &calc, DT_CALCRECT);
        const LONG right = std::min(calc.right, p.right - 1);
        ::SetWindowPos(self, nullptr, window.left, window.top, right + frameRight - window.left,
                       window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    RECT calc{r.left, r.top, r.right, r.top};
    ::DrawTextW(dc.get(), wide.c_str(), -1, &calc, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    const LONG needW = calc.right - calc.left;
    const LONG needH = calc.bottom - calc.top;
    if (needW > r.right - r.left) {
        const LONG right = std::min(r.left + needW, p.right);
        ::SetWindowPos(self, nullptr, window.left, window.top, right + frameRight - window.left,
                       window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (needH > r.bottom - r.top) {
        const LONG bottom = std::min(r.top + needH, p.bottom);
        ::SetWindowPos(self, nullptr, window.left, window.top, window.right - window.left,
                       bottom + frameBottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CBarLabelEdit::OnKillFocus(HWND newFocus) {
    ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
    if (!cancelled) {
        const int length = ::GetWindowTextLengthW(Hwnd());
        std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
        ::GetWindowTextW(Hwnd(), wide.data(), length + 1);
        text = fw::WideToGbk(wide.c_str());
        if (!text.empty() && bar_ != nullptr) {
            ::SendMessageW(bar_->Hwnd(), WM_BAR_NOTIFY, static_cast<WPARAM>(kind),
                           reinterpret_cast<LPARAM>(this));
        }
    }
    fw::CWindow::OnKillFocus(newFocus);
}

void CBarLabelEdit::PostNcDestroy() {
    if (deletedFlag_ != nullptr) {
        *deletedFlag_ = true;
    }
    if (bar_ != nullptr && bar_->editor_ == this) {
        bar_->editor_ = nullptr;
    }
    delete this;
}

} // namespace bar
