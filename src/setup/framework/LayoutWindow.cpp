#include "LayoutWindow.h"

#include "Handles.h"
#include "platform/win32/ModulePath.h"

#include <new>
#include <vector>

namespace fw {

SIZE DialogUnitsToPixels(HWND window, int x, int y) {
    if (::GetClassLongPtrW(window, GCW_ATOM) == 0x8002) {
        RECT r{0, 0, x, y};
        ::MapDialogRect(window, &r);
        return SIZE{r.right, r.bottom};
    }
    WindowDC dc = AcquireDC(window);
    if (!dc)
        return SIZE{x, y};
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    SavedDC saved(dc.get());
    if (font)
        ::SelectObject(dc.get(), font);
    SIZE extent{};
    ::GetTextExtentPoint32A(dc.get(), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52,
                            &extent);
    // Signed arithmetic: negative offsets ("right - 5") must stay negative.
    const long a = (extent.cx / 26 + 1) / 2;
    const long c = extent.cy;
    return SIZE{a * x / 4, c * y / 8};
}

std::string LayoutMessageCaption() {
    const std::string path = win32::ModuleFileName<char>(nullptr);
    return path.substr(0, 127);
}

bool ApplyLayout(HWND window, const LayoutRule* table, const LayoutMessageSink& sink) {
    if (::IsIconic(window))
        return true;
    std::vector<HWND> children;
    std::vector<ControlGeometry> geometry;
    try {
        for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            children.push_back(c);
        if (children.empty())
            return false;
        geometry.reserve(children.size() + 2);
        RECT client{};
        ::GetClientRect(window, &client);
        geometry.push_back(MakeGeometry(LAYOUT_CONTAINER_ID,
                                        {client.left, client.top, client.right, client.bottom}));
        for (HWND c : children) {
            RECT r{};
            ::GetWindowRect(c, &r);
            ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
            geometry.push_back(MakeGeometry(::GetDlgCtrlID(c), {r.left, r.top, r.right, r.bottom}));
        }
        geometry.push_back(ControlGeometry{LAYOUT_END_ID, 0, 0, 0, 0, 0, 0, 1, {1, 1, 1, 1, 1, 1}});
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<LayoutRule> rules = CopyRules(table);
    const DialogUnitConverter convert = [window](int32_t units, bool vertical) {
        const SIZE s = DialogUnitsToPixels(window, vertical ? 0 : units, vertical ? units : 0);
        return static_cast<int32_t>(vertical ? s.cy : s.cx);
    };
    if (!SolveLayout(rules, geometry, convert))
        return false;

    bool allKnown = true;
    DeferredPositions positions(::BeginDeferWindowPos(static_cast<int>(children.size())));
    for (size_t i = 0; i < children.size(); ++i) {
        const ControlGeometry& g = geometry[i + 1];
        for (int32_t part = 0; part < 6; ++part) {
            if (g.known[part])
                continue;
            allKnown = false;
            const std::string text = LayoutMessage(part, g.id);
            if (sink)
                sink(text, LayoutMessageCaption());
            else
                ::MessageBoxA(::GetActiveWindow(), text.c_str(), LayoutMessageCaption().c_str(),
                              MB_OK);
        }
        if (g.unchanged)
            continue;
        if (positions) {
            HDWP next = ::DeferWindowPos(positions.get(), children[i], nullptr, g.left, g.top,
                                         g.width, g.height, SWP_NOZORDER);
            positions.release(); // DeferWindowPos consumed the old handle
            positions.reset(next);
        }
        if (!positions)
            ::SetWindowPos(children[i], nullptr, g.left, g.top, g.width, g.height, SWP_NOZORDER);
        ::InvalidateRect(children[i], nullptr, TRUE);
    }
    positions.reset(); // all moves at once
    return allKnown;
}

} // namespace fw
