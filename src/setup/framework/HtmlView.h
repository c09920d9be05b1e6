// An HTML view: the system's web-browser control in a child window, hosted by
// a small OLE container of our own. Where the control cannot be created the
// view shows the page's own text, read-only, with the reason and the page's
// path in small print below it.
#pragma once

#include "HtmlText.h"
#include "Window.h"

#include <memory>
#include <string>
#include <vector>

namespace fw {

class CHtmlView : public CWindow {
public:
    CHtmlView();
    ~CHtmlView() override;

    CHtmlView(const CHtmlView&) = delete;
    CHtmlView& operator=(const CHtmlView&) = delete;

    // Opens a file or URL. False when the browser is missing or refused it;
    // the fallback text then shows the file's content and its location.
    bool Navigate(const std::wstring& location);
    bool HasBrowser() const;
    // The read-only text shown instead of the browser (a rich edit where the
    // system has one, else a plain edit), or null.
    HWND FallbackWindow() const { return m_fallback; }
    const std::wstring& LastLocation() const { return m_location; }
    // Gives the view a static edge, then shows the page at the path.
    void OpenFramedPage(const std::wstring& path);
    // Gives the view a static edge, then shows why there is no page: the text
    // and, in small print, that no browser shows it and where it was looked for.
    void ShowFramedNotice(const std::wstring& text, const std::wstring& where);

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;
    // The blocks, then the notes in small print, in the fallback text.
    void ShowFallback(const std::vector<HtmlBlock>& blocks, const std::vector<std::wstring>& notes);

private:
    void AddStaticEdge();

    struct Browser;
    std::unique_ptr<Browser> m_browser;
    Module m_richEdit;         // keeps the rich edit's classes while the view lives
    HWND m_fallback = nullptr; // a child of the view; goes with its window
    bool m_fallbackPlaced = false;
    std::wstring m_location;
};

// The text of a system error number in the system's language, with the
// number: "<text> (32)".
std::wstring SystemErrorText(unsigned long code);

// The full file name of the module holding this code, any length.
std::wstring ResourceModulePath();

} // namespace fw
