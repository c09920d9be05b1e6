// Drives the modal setup window from a watcher thread, as a user would: finds
// the window of the thread that called Omra_Setup, clicks the bar, types into
// the pages, presses the buttons and answers message boxes.
#pragma once

#include <windows.h>

#include "platform/win32/Handles.h"

#include <functional>
#include <cstdint>
#include <string>
#include <vector>

namespace setupui {

enum class Page { None, Parameters, HtmlHelp, About };
const char* PageName(Page page);

// Polls the condition every 20 ms until it holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

struct HookClose {
    void operator()(HHOOK hook) const { ::UnhookWindowsHookEx(hook); }
};

// Asks Wine to draw this program's window frames itself (read when the
// display driver starts, so call it before the first window).
void DrawOwnFrames();

// The window as it was on screen: 0x00RRGGBB pixels, row by row from the top.
struct Shot {
    RECT screen{}; // where it was, in screen coordinates
    std::vector<uint32_t> pixels;

    int Width() const { return screen.right - screen.left; }
    int Height() const { return screen.bottom - screen.top; }
    // The colour at a screen point; 0 outside the shot.
    uint32_t At(POINT point) const;
    // The commonest colour inside a screen rectangle (clipped to the shot).
    uint32_t MostCommon(const RECT& area) const;
    // How many pixels inside a screen rectangle are not of the colour.
    size_t PixelsUnlike(const RECT& area, uint32_t colour) const;
    // As a 24-bit BMP file.
    bool SaveBmp(const std::string& path) const;
};

class Ui {
public:
    explicit Ui(DWORD uiThread) : m_thread(uiThread) {}

    // Waits for the setup window, finds its splitter and bar and waits until
    // it has settled.
    bool Attach(int timeoutMs = 10000);
    // Waits until the window's thread has handled every message posted to it
    // before this call and no window of the dialog waits to be painted; false
    // when that did not happen in time (or the window is gone).
    bool Settle(int timeoutMs = 5000) const;
    HWND Dialog() const { return m_dialog; }
    HWND Splitter() const { return m_splitter; }
    HWND Bar() const { return m_bar; }
    bool DialogAlive() const { return ::IsWindow(m_dialog) != FALSE; }
    bool WaitClosed(int timeoutMs = 5000) const;
    std::wstring Title() const;

    // The page window of the right-hand pane that shows now.
    Page VisiblePage() const;
    bool WaitPage(Page page, int timeoutMs = 5000) const;
    HWND ParamPage() const; // the page that holds the parameter edits
    HWND HelpPage() const;
    HWND Field(int id) const { return ::GetDlgItem(ParamPage(), id); }
    std::wstring FieldText(int id) const;
    void SetField(int id, const std::wstring& text) const;
    bool FieldEnabled(int id) const { return ::IsWindowEnabled(Field(id)) != FALSE; }
    HWND FocusedWindow() const;

    // Posted, so a message box that the click opens does not block us.
    void Press(int buttonId) const;

    // A message box of the window's thread; null when none came in time.
    HWND WaitMessageBox(int timeoutMs = 5000) const;
    static std::wstring MessageBoxText(HWND box);
    // Closes the box and waits until it is gone.
    static bool CloseMessageBox(HWND box);
    // Answers the next message box: its text, or "" when none came.
    std::wstring AnswerMessageBox(int timeoutMs = 5000) const;

    // Bar geometry as the bar computes it (large icons, folder buttons of 22
    // pixels): the middle of item k's icon while `current` is the open folder.
    POINT ItemPoint(int current, int k) const;
    POINT FolderButtonPoint(int current, int folder) const;
    // A point of the content area below every item (for drops at the end).
    POINT BelowItems(int current) const;
    void ClickBar(POINT at) const;
    // Presses on `from`, moves off every item (starts a drag) and releases on `to`.
    void DragBar(POINT from, POINT off, POINT to) const;

    // The 32 x 32 icon of item k as drawn on screen, row by row.
    std::vector<uint32_t> ItemIconPixels(int current, int k) const;

    // Closes whatever is open (message boxes, then the window) so a failed
    // script never leaves the test hanging.
    void ForceClose() const;

    // The window as it is on screen after a full redraw; with `also` (a
    // message box), the rectangle that holds both. Empty when it failed.
    Shot Capture(HWND also = nullptr) const;
    // The capture written as a 24-bit BMP.
    bool SaveScreenshot(const std::string& path, HWND also = nullptr) const;

private:
    int LabelHeight(const std::wstring& text) const;

    DWORD m_thread;
    win32::UniqueHandle<HHOOK, HookClose> m_hook; // sees what the window's thread takes
    HWND m_dialog = nullptr;
    HWND m_splitter = nullptr;
    HWND m_bar = nullptr;
};

} // namespace setupui
