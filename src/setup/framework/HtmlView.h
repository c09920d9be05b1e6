// An HTML view: the system's web-browser control in a child window, hosted by
// a small OLE container of our own. Where the control cannot be created the
// view shows a read-only text naming the page instead.
#pragma once

#include "Window.h"

#include <memory>
#include <string>

namespace fw {

class CHtmlView : public CWindow {
public:
    CHtmlView();
    ~CHtmlView() override;

    // Opens a file or URL. False when the browser is missing or refused it;
    // the fallback text then names the location.
    bool Navigate(const std::wstring& location);
    bool HasBrowser() const;
    // The read-only text shown instead of the browser, or null.
    HWND FallbackWindow() const { return fallback_; }
    const std::wstring& LastLocation() const { return location_; }

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;
    // Opens the help page of the format ("%s" = the library's folder) beside
    // the library module, after giving the view a static edge.
    void OpenHelpPage(const wchar_t* format);
    void ShowFallback(const std::wstring& text);

private:
    struct Browser;
    std::unique_ptr<Browser> browser_;
    HWND fallback_ = nullptr; // a child of the view; goes with its window
    std::wstring location_;
};

// The full file name of the module holding this code, any length.
std::wstring ResourceModulePath();

} // namespace fw
