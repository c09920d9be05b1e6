#include "HelpPageLayout.h"

#include "SetupResource.h"

namespace setupwin {

namespace {
using namespace fw;
constexpr LayoutRule Stretch(int32_t part, int32_t id, int32_t refPart, int32_t refId,
                             int32_t offset) {
    return LayoutRule{RULE_STRETCH, part, id, 0, refPart, refId, 0, offset, 0, 0};
}
constexpr int32_t C = LAYOUT_CONTAINER_ID;
} // namespace

const fw::LayoutRule kHelpPageLayout[] = {
    Stretch(fw::LAYOUT_LEFT, IDC_HELPS_FRAME, fw::LAYOUT_LEFT, C, 0),
    Stretch(fw::LAYOUT_TOP, IDC_HELPS_FRAME, fw::LAYOUT_TOP, C, 0),
    Stretch(fw::LAYOUT_RIGHT, IDC_HELPS_FRAME, fw::LAYOUT_RIGHT, C, 0),
    Stretch(fw::LAYOUT_BOTTOM, IDC_HELPS_FRAME, fw::LAYOUT_BOTTOM, C, 0),
    Stretch(fw::LAYOUT_LEFT, IDC_HELPS_ICON, fw::LAYOUT_LEFT, C, 5),
    Stretch(fw::LAYOUT_TOP, IDC_HELPS_ICON, fw::LAYOUT_TOP, C, 5),
    Stretch(fw::LAYOUT_RIGHT, IDC_HELPS_ICON, fw::LAYOUT_LEFT, C, 29),
    Stretch(fw::LAYOUT_BOTTOM, IDC_HELPS_ICON, fw::LAYOUT_TOP, C, 29),
    Stretch(fw::LAYOUT_LEFT, IDC_HELPS_ABOUT, fw::LAYOUT_RIGHT, IDC_HELPS_ICON, 5),
    Stretch(fw::LAYOUT_TOP, IDC_HELPS_ABOUT, fw::LAYOUT_TOP, IDC_HELPS_ICON, 0),
    Stretch(fw::LAYOUT_RIGHT, IDC_HELPS_ABOUT, fw::LAYOUT_RIGHT, C, -5),
    Stretch(fw::LAYOUT_BOTTOM, IDC_HELPS_ABOUT, fw::LAYOUT_BOTTOM, IDC_HELPS_ICON, 0),
    Stretch(fw::LAYOUT_LEFT, IDC_HELPS_LINE, fw::LAYOUT_LEFT, C, 0),
    Stretch(fw::LAYOUT_TOP, IDC_HELPS_LINE, fw::LAYOUT_BOTTOM, IDC_HELPS_ICON, 5),
    Stretch(fw::LAYOUT_RIGHT, IDC_HELPS_LINE, fw::LAYOUT_RIGHT, C, 0),
    Stretch(fw::LAYOUT_BOTTOM, IDC_HELPS_LINE, fw::LAYOUT_BOTTOM, IDC_HELPS_ICON, 6),
    Stretch(fw::LAYOUT_LEFT, IDC_HELPS_HISTORY, fw::LAYOUT_LEFT, C, 5),
    Stretch(fw::LAYOUT_TOP, IDC_HELPS_HISTORY, fw::LAYOUT_BOTTOM, IDC_HELPS_LINE, 5),
    Stretch(fw::LAYOUT_RIGHT, IDC_HELPS_HISTORY, fw::LAYOUT_RIGHT, C, -5),
    Stretch(fw::LAYOUT_BOTTOM, IDC_HELPS_HISTORY, fw::LAYOUT_BOTTOM, C, -5),
    fw::LayoutRule{fw::RULE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

} // namespace setupwin
