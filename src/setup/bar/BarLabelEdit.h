// The bar's in-place editor of a folder or item name: an EDIT child of the bar
// that reports its text to the bar when it loses the focus.
#pragma once

#include "Window.h"

#include <string>

namespace bar {

class CGfxOutBarCtrl;

// Made and owned by its bar, which frees it once its window is gone.
class CBarLabelEdit : public fw::CWindow {
public:
    static constexpr int kFolder = 3;
    static constexpr int kItem = 2;

    ~CBarLabelEdit() override = default;

    std::string text;
    bool cancelled = false;
    int targetIndex = -1;
    int kind = kFolder;
    bool growSingleLine = false;

    bool PreTranslateMessage(MSG* msg) override;

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
    void OnKillFocus(HWND newFocus) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void PostNcDestroy() override;

private:
    friend class CGfxOutBarCtrl;
    explicit CBarLabelEdit(CGfxOutBarCtrl& bar) : m_bar(bar) {}
    void Grow();

    CGfxOutBarCtrl& m_bar;
};

} // namespace bar
