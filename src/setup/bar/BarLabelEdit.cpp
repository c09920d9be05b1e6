#include "BarLabelEdit.h"

#include "BarGdi.h"
#include "GfxOutBarCtrl.h"
#include "WindowText.h"

#include <algorithm>

namespace bar {

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
    if (message == WM_CLOSE && ::GetFocus() == Hwnd()) {
        // Closing hands the focus back first, so the kill-focus commit runs
        // while the window and its text still exist.
        ::SetFocus(m_bar.Hwnd());
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
        ::SetFocus(m_bar.Hwnd());
        return;
    }
    fw::CWindow::OnChar(ch, repeat, flags);
    Grow();
}

void CBarLabelEdit::Grow() {
    HWND self = Hwnd();
    HWND barWindow = m_bar.Hwnd();
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(barWindow, WM_GETFONT, 0, 0));
    if (font == nullptr) {
        // Our bar keeps no font of its own; the editor's is the one shown.
        font = reinterpret_cast<HFONT>(::SendMessageW(self, WM_GETFONT, 0, 0));
    }
    fw::WindowDC dc = fw::AcquireDC(self);
    fw::SelectedObject selected(dc.get(), font ? static_cast<HGDIOBJ>(font) : GuiFont());
    const std::wstring wide = fw::WindowText(self);

    RECT r{};
    ::GetClientRect(self, &r);
    ::MapWindowPoints(self, barWindow, reinterpret_cast<POINT*>(&r), 2);
    RECT window = WindowRectInParent();
    const RECT p = m_bar.ClientRect();
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
        text = fw::WideToGbk(fw::WindowText(Hwnd()).c_str());
        if (!text.empty()) {
            ::SendMessageW(m_bar.Hwnd(), WM_BAR_NOTIFY, static_cast<WPARAM>(kind),
                           reinterpret_cast<LPARAM>(this));
        }
    }
    fw::CWindow::OnKillFocus(newFocus);
}

void CBarLabelEdit::PostNcDestroy() {
    m_bar.EditorGone(*this); // may delete this
}

} // namespace bar
