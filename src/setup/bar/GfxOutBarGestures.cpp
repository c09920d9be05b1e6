// What a left-button press on the bar starts: a folder press, an item press or
// drag, an arrow press with auto-repeat. Each runs a local message loop while
// the bar holds the mouse capture.
#include "BarGdi.h"
#include "GfxOutBarCtrl.h"

#include <windowsx.h>

namespace bar {

namespace {

POINT MsgPoint(const MSG& msg) {
    return POINT{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
}

// Captures the mouse for a window and takes a client DC of it; Run then feeds
// each message to the gesture until it ends or the capture is lost.
class GestureLoop {
public:
    enum class Step {
        Dispatch, // not the gesture's: to its window procedure, untranslated
        Handled,
        End,
    };

    explicit GestureLoop(HWND window)
        : m_window(window), m_capture(fw::CaptureMouse(window)), m_dc(fw::AcquireDC(window)) {}

    HDC dc() const { return m_dc.get(); }

    // Releases the capture when done; the DC stays until the loop object goes.
    template <typename OnMessage> void Run(OnMessage&& onMessage) {
        MSG msg;
        while (::GetCapture() == m_window && NextMessage(msg)) {
            const Step step = onMessage(msg);
            if (step == Step::End) {
                break;
            }
            if (step == Step::Dispatch) {
                ::DispatchMessageW(&msg);
            }
        }
        m_capture.reset();
    }

private:
    // False ends the loop; WM_QUIT is put back for the outer loop.
    static bool NextMessage(MSG& msg) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        return got > 0;
    }

    HWND m_window;
    fw::MouseCapture m_capture;
    fw::WindowDC m_dc;
};

using Step = GestureLoop::Step;

} // namespace

void CGfxOutBarCtrl::OnLButtonDown(UINT flags, POINT point) {
    if (::GetFocus() != Hwnd()) {
        ::SetFocus(Hwnd());
    }
    const HitResult hit = HitTestPoint(point);
    m_model.dropMarkKind = -1;
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
        m_model.hotItem = -1;
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
    GestureLoop loop(self);
    PaintFolderButton(loop.dc(), p, *rect, true);
    bool shown = true;
    auto onButton = [&](POINT q) {
        const HitResult hit = HitTestPoint(q);
        return hit.code == HIT_FOLDER && hit.index == p;
    };
    loop.Run([&](const MSG& msg) {
        if (msg.message == WM_KEYDOWN) {
            return Step::Handled;
        }
        if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
            const bool on = onButton(MsgPoint(msg));
            if (on != shown) {
                PaintFolderButton(loop.dc(), p, *rect, on);
                shown = on;
            }
            return Step::Handled;
        }
        if (msg.hwnd == self && msg.message == WM_LBUTTONUP) {
            if (shown) {
                PaintFolderButton(loop.dc(), p, *rect, false);
                shown = false;
            }
            const HitResult hit = HitTestPoint(MsgPoint(msg));
            if (hit.code == HIT_FOLDER && hit.index != m_model.currentFolder) {
                SelectFolder(hit.index);
            }
            return Step::End;
        }
        return Step::Dispatch;
    });
    if (shown) {
        InvalidateBarRect(*rect, false);
    }
}

void CGfxOutBarCtrl::ItemGesture(int p) {
    m_model.dropMarkIndex = -1;
    m_loopCursor = ::GetCursor();
    bool pressedShown = true;
    bool dragging = false;
    HWND self = Hwnd();
    if (::GetCapture() == nullptr) {
        GestureLoop loop(self);
        SetHotItem(p, true);
        // The band below the last item where a drop moves to the end.
        auto belowLast = [this](int y) {
            const BarLayout layout = Layout();
            const int count = layout.ItemCount();
            const int lastBottom =
                count > 0 ? layout.ItemRect(count - 1).bottom : layout.ContentRect().top;
            return lastBottom < y && y < layout.ContentRect().bottom;
        };
        loop.Run([&](const MSG& msg) {
            if (msg.message == WM_SETCURSOR) {
                ::SetCursor(m_loopCursor);
                return Step::Handled;
            }
            if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
                const POINT q = MsgPoint(msg);
                const HitResult hit = HitTestPoint(q);
                if (!dragging) {
                    if (hit.code == HIT_ITEM && hit.index == p) {
                        if (!pressedShown) {
                            SetHotItem(p, true);
                            pressedShown = true;
                            m_model.hotItemPressed = true;
                        }
                    } else if (hit.code == HIT_ITEM) {
                        if (pressedShown) {
                            SetHotItem(p, false);
                            pressedShown = false;
                            m_model.hotItemPressed = false;
                        }
                    } else if (m_model.flags & BAR_DRAG_ITEMS) {
                        dragging = true;
                        SetHotItem(p, true);
                        pressedShown = true;
                        m_model.hotItemPressed = true;
                        m_loopCursor = m_dragCursor;
                        ::SetCursor(m_loopCursor);
                    }
                } else {
                    if (hit.code == HIT_ITEM) {
                        ShowDropMark(loop.dc(), hit.index);
                        m_loopCursor = m_dragCursor;
                    } else if (belowLast(q.y)) {
                        ShowDropMark(loop.dc(), m_model.ItemCount());
                        m_loopCursor = m_dragCursor;
                    } else {
                        ShowDropMark(loop.dc(), -1);
                        m_loopCursor = m_noDropCursor;
                    }
                    ::SetCursor(m_loopCursor);
                }
                return Step::Handled;
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
                    record.dragFolder = m_model.currentFolder;
                    record.dragItem = p;
                    if (Notify(BAR_ITEM_DRAGGED, reinterpret_cast<LPARAM>(&record)) != 0) {
                        // The owner may have changed the list while answering:
                        // MoveItem checks both indexes again.
                        if (hit.code == HIT_ITEM) {
                            m_model.MoveItem(p, hit.index > p ? hit.index - 1 : hit.index);
                        } else {
                            m_model.MoveItem(p, m_model.ItemCount());
                        }
                    }
                }
                return Step::End;
            }
            return Step::Dispatch;
        });
        if (dragging) {
            Invalidate(true);
        }
    }
    m_model.hotItemPressed = false;
    m_loopCursor = nullptr;
    if (pressedShown) {
        InvalidateBarRect(Layout().ItemRect(p), false);
    }
}

void CGfxOutBarCtrl::ClickItem(int p) {
    const int selected = m_model.SelectedItemChecked();
    if (m_model.selectAnimPeriod > 0 && selected >= 0 && selected != p) {
        NudgeSelectedIcon(0, 0);
    }
    const BarLayout layout = Layout();
    if ((m_model.flags & BAR_SELECT_FRAME) && selected >= 0) {
        InvalidateBarRect(layout.IconRect(selected).Inflate(1, 1), true);
    }
    m_model.selectedItem = p;
    if (m_model.flags & BAR_SELECT_FRAME) {
        InvalidateBarRect(layout.IconRect(p).Inflate(1, 1), true);
    }
    Notify(BAR_ITEM_CLICKED, p);
}

void CGfxOutBarCtrl::ScrollStep(bool up) {
    m_model.firstVisible += up ? -1 : 1;
    InvalidateBarRect(Layout().ContentRect(), true);
}

void CGfxOutBarCtrl::ArrowGesture(bool up) {
    HWND self = Hwnd();
    if (::GetCapture() != nullptr) {
        return;
    }
    GestureLoop loop(self);
    const Rect arrow = up ? m_model.upArrowRect : m_model.downArrowRect;
    bool& arrowShown = up ? m_model.upArrowShown : m_model.downArrowShown;
    bool& arrowPressed = up ? m_model.upPressed : m_model.downPressed;
    PaintArrow(loop.dc(), arrow, up, true);
    bool shown = true;
    fw::Timer repeat = fw::StartTimer(self, TIMER_ARROW_REPEAT, kArrowRepeatPeriod);
    auto canScroll = [&] { return up ? m_model.firstVisible > 0 : Layout().CanScrollDown(); };
    loop.Run([&](const MSG& msg) {
        if (msg.message == WM_KEYDOWN) {
            return Step::Handled;
        }
        if (msg.message == WM_TIMER && msg.hwnd == self) {
            if (msg.wParam != TIMER_ARROW_REPEAT || !shown) {
                return Step::Handled;
            }
            POINT q = msg.pt;
            ::ScreenToClient(self, &q);
            if (arrow.Contains(FromPOINT(q))) {
                arrowPressed = true;
                if (!canScroll()) {
                    return Step::End;
                }
                ScrollStep(up);
            } else {
                arrowPressed = false;
            }
            return Step::Handled;
        }
        if (msg.hwnd == self && msg.message == WM_MOUSEMOVE) {
            const bool inside = arrow.Contains(FromPOINT(MsgPoint(msg)));
            if (inside && !shown) {
                PaintArrow(loop.dc(), arrow, up, true);
                shown = arrowShown = arrowPressed = true;
            } else if (!inside && shown) {
                PaintArrow(loop.dc(), arrow, up, false);
                shown = arrowShown = arrowPressed = false;
            }
            return Step::Handled;
        }
        if (msg.hwnd == self && msg.message == WM_LBUTTONUP) {
            if (shown) {
                PaintArrow(loop.dc(), arrow, up, false);
            }
            arrowShown = false;
            if (arrow.Contains(FromPOINT(MsgPoint(msg))) && canScroll()) {
                ScrollStep(up);
            }
            return Step::End;
        }
        return Step::Dispatch;
    });
    repeat.reset();
    arrowPressed = false;
    arrowShown = false;
    InvalidateBarRect(Layout().ContentRect(), true);
}

} // namespace bar
