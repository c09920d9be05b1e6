// How the help page's controls follow its size: the frame fills the page, the
// icon keeps its corner, the about text and the line stretch beside and under
// it, the history takes the rest.
#pragma once

#include "Layout.h"

namespace setupwin {

// The help page's rules, ended by RULE_END.
extern const fw::LayoutRule kHelpPageLayout[];

} // namespace setupwin
