// ApplyLayout: places a window's children by a rule table (Layout.h) after a resize.
#pragma once

#include "Layout.h"

#include <windows.h>

#include <functional>
#include <string>

namespace fw {

// Shows one "Layout couldn't find ..." message; the default is a message box
// owned by the active window with the host program's path as caption.
using LayoutMessageSink = std::function<void(const std::string& text, const std::string& caption)>;

// Dialog units to pixels for the window: a dialog's own conversion, or the
// average letter size of the window's font.
SIZE DialogUnitsToPixels(HWND window, int x, int y);

// True when every rule applied and every part of every child is known; false
// for no children, a rule that never applies (nothing moves) or an unknown part.
bool ApplyLayout(HWND window, const LayoutRule* table, const LayoutMessageSink& sink = nullptr);

// The caption of the layout message: the host executable's path, cut to 127 characters.
std::string LayoutMessageCaption();

} // namespace fw
