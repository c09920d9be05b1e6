// How the bar looks: the buffered paint of buttons, items and arrows, and the
// direct draws of hover and press frames, drop marks, the nudge and the slide.
#include "BarGdi.h"
#include "GfxOutBarCtrl.h"

#include <algorithm>

namespace bar {

BOOL CGfxOutBarCtrl::OnEraseBkgnd(HDC) {
    return TRUE;
}

void CGfxOutBarCtrl::OnSize(UINT type, int cx, int cy) {
    m_model.upArrowShown = false;
    m_model.downArrowShown = false;
    fw::CWindow::OnSize(type, cx, cy);
}

void CGfxOutBarCtrl::OnPaint() {
    {
        fw::PaintDC paint(Hwnd());
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
        FillSolid(dc, FromRECT(client), m_background);
        for (int i = 0; i < m_model.FolderCount(); ++i) {
            PaintFolderButton(dc, i, *layout.FolderButtonRect(i), false);
        }
        PlaceArrows(m_model, layout);
        {
            fw::SavedDC saved(dc);
            if (m_model.upArrowShown) {
                PaintArrow(dc, m_model.upArrowRect, true, m_model.upPressed);
                const Rect& r = m_model.upArrowRect;
                ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
            if (m_model.downArrowShown) {
                PaintArrow(dc, m_model.downArrowRect, false, false);
                if (m_model.downPressed) {
                    PaintArrow(dc, m_model.downArrowRect, false, true);
                }
                const Rect& r = m_model.downArrowRect;
                ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
            PaintContent(dc, layout, content.bottom);
        }
        ::BitBlt(paint.dc(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
    }
    if (m_model.hotFolder >= 0) {
        const int hot = m_model.hotFolder;
        m_model.hotFolder = -1;
        SetHotFolder(hot);
    }
    if (m_model.hotItem >= 0) {
        const int hot = m_model.hotItem;
        m_model.hotItem = -1;
        SetHotItem(hot, m_model.hotItemPressed);
    }
}

void CGfxOutBarCtrl::PaintArrow(HDC dc, const Rect& r, bool up, bool pushed) const {
    RECT rc = ToRECT(r);
    ::DrawFrameControl(dc, &rc, DFC_SCROLL,
                       (up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | (pushed ? DFCS_PUSHED : 0));
}

void CGfxOutBarCtrl::PaintFolderButton(HDC dc, int i, Rect r, bool pressed) const {
    if (!m_model.ValidFolder(i)) {
        return;
    }
    if (!pressed) {
        Polyline(dc, m_buttonEdge, {{r.left, r.top}, {r.right, r.top}});
        r.top += 1;
        Draw3dRect(dc, r, m_highlight, m_buttonEdge);
        r = r.Inflate(-1, -1);
    } else {
        Polyline(dc, m_buttonEdge, {{r.left + 1, r.top}, {r.right, r.top}});
        r.top += 1;
        Draw3dRect(dc, r, m_darkShadow, m_highlight);
        r = r.Inflate(-1, -1);
        Draw3dRect(dc, r, m_buttonEdge, m_face);
        r = r.Inflate(-1, -1);
    }
    FillSolid(dc, r, m_face);
    const auto& name = m_model.folders[static_cast<size_t>(i)]->name;
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
    ::SetTextColor(dc, m_itemText);
    ::SetBkMode(dc, TRANSPARENT);
    const Size icon = layout.MeasureItem(k, ItemPart::Icon);
    const Point at = layout.IconOrigin(k);
    if (item.image >= 0) {
        ::ImageList_Draw(images, item.image, dc, at.x, at.y, ILD_NORMAL);
    }
    if (item.text) {
        const std::wstring wide = fw::GbkToWide(item.text->c_str());
        if (m_model.SmallView()) {
            const Point t = layout.SmallLabelOrigin(k);
            ::TextOutW(dc, t.x, t.y, wide.c_str(), static_cast<int>(wide.size()));
        } else {
            RECT rc = ToRECT(r);
            rc.top += icon.cy + m_model.largeLabelGap;
            ::DrawTextW(dc, wide.c_str(), -1, &rc, DT_CENTER | DT_WORDBREAK);
        }
    }
    if ((m_model.flags & BAR_SELECT_FRAME) && k == m_model.SelectedItemChecked() &&
        layout.Folder() == m_model.Current()) {
        Draw3dRect(dc, layout.IconRect(k).Inflate(1, 1), m_darkShadow, m_face);
    }
}

void CGfxOutBarCtrl::SetHotFolder(int i) {
    if (EditorHasFocus() || i == m_model.hotFolder) {
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
    if (m_model.hotFolder >= 0) {
        outline(m_model.hotFolder, m_buttonEdge, m_face);
    }
    m_model.hotFolder = i;
    outline(i, m_darkShadow, m_buttonEdge);
}

void CGfxOutBarCtrl::SetHotItem(int k, bool pressed) {
    if (EditorHasFocus() || (k == m_model.hotItem && pressed == m_model.lastDrawnPressed)) {
        return;
    }
    m_model.lastDrawnPressed = pressed;
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    const BarLayout layout = Layout();
    const Rect content = layout.ContentRect();
    ::IntersectClipRect(dc.get(), content.left, content.top, content.right, content.bottom);
    if (layout.ItemCount() > m_model.hotItem && m_model.hotItem >= 0) {
        Draw3dRect(dc.get(), layout.IconRect(m_model.hotItem).Inflate(1, 1), m_background,
                   m_background);
    }
    if (k == m_model.selectedItem &&
        (m_model.selectAnimPeriod > 0 || (m_model.flags & BAR_SELECT_FRAME))) {
        m_model.hotItem = -1;
        return;
    }
    m_model.hotItem = k;
    if (k >= 0 && k < layout.ItemCount()) {
        const Rect r = layout.IconRect(k).Inflate(1, 1);
        if (pressed) {
            Draw3dRect(dc.get(), r, m_darkShadow, m_face);
        } else {
            Draw3dRect(dc.get(), r, m_face, m_darkShadow);
        }
    }
}

void CGfxOutBarCtrl::ShowDropMark(HDC dc, int k) {
    if (k == m_model.dropMarkIndex) {
        return;
    }
    const BarLayout layout = Layout();
    if (m_model.dropMarkIndex >= 0) {
        const Rect r = layout.DropMarkRect(m_model.dropMarkIndex).rect;
        int top = r.top;
        int bottom = r.top + 6;
        if (m_model.dropMarkKind == 1) {
            top = r.top - 4;
        } else if (m_model.dropMarkKind == 2) {
            top = r.top - 4;
            bottom = r.top + 2;
        }
        InvalidateBarRect({r.left, top, r.right + 1, bottom}, true);
        ::UpdateWindow(Hwnd());
    }
    m_model.dropMarkIndex = k;
    if (k < 0) {
        return;
    }
    const DropMark mark = layout.DropMarkRect(k);
    m_model.dropMarkKind = mark.kind;
    const Rect& r = mark.rect;
    fw::SelectedObject pen(dc, m_markPen.get());
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
    const int selected = m_model.SelectedItemChecked();
    HIMAGELIST images = ViewImages();
    if (selected < 0 || selected < m_model.firstVisible || images == nullptr) {
        return;
    }
    const BarLayout layout = Layout();
    const Rect content = layout.ContentRect();
    const Rect item = layout.ItemRect(selected);
    if (!(item.top > content.top && item.bottom < content.bottom)) {
        return;
    }
    const ItemEntry& entry = *m_model.Current()->items[static_cast<size_t>(selected)];
    const Point at = layout.IconOrigin(selected);
    const Size icon = layout.MeasureItem(selected, ItemPart::Icon);
    fw::WindowDC dc = fw::AcquireDC(Hwnd());
    FillSolid(dc.get(), {at.x - 1, at.y - 1, at.x + icon.cx + 2, at.y + icon.cy + 2}, m_background);
    if (entry.image >= 0) {
        ::ImageList_Draw(images, entry.image, dc.get(), at.x + dx, at.y + dy, ILD_NORMAL);
    }
}

void CGfxOutBarCtrl::SlideFolders(int from, int to) {
    const BarLayout old = Layout();
    const Rect r = old.ContentRect();
    const int w = r.Width();
    const int h = m_model.folderButtonHeight;
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
    FillSolid(first.dc(), whole, m_background);
    FillSolid(second.dc(), whole, m_background);
    const BarLayout target(m_model, old.Client(), Env(), to, 0);
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
            m_framePause(static_cast<DWORD>(m_model.animationDelay));
        }
    } else {
        PaintFolderButton(first.dc(), from, {0, 0, w, h}, false);
        content(first.dc(), old, h);
        content(second.dc(), target, 2 * h);
        for (int y = f->top + 1; y < r.bottom - h; y += h) {
            second.BlitTo(dc.get(), r.left, f->top, w, y - f->top - 1, 0, 2 * h);
            first.BlitTo(dc.get(), r.left, y, w, r.bottom - y, 0, 0);
            m_framePause(static_cast<DWORD>(m_model.animationDelay));
        }
    }
}

} // namespace bar
