// A layout solver case without a window: a control table framed by the
// container and the end mark, and a fixed dialog-unit conversion.
#pragma once

#include "Layout.h"

#include <cstdint>
#include <vector>

namespace layout_case {

// 5 horizontal dialog units make 8 pixels, 8 vertical ones 13.
inline int32_t Convert(int32_t units, bool vertical) {
    return vertical ? units * 13 / 8 : units * 8 / 5;
}

inline std::vector<fw::ControlGeometry> Table(const std::vector<fw::ControlGeometry>& children,
                                              int width, int height) {
    std::vector<fw::ControlGeometry> t;
    t.push_back(fw::MakeGeometry(fw::LAYOUT_CONTAINER_ID, {0, 0, width, height}));
    t.insert(t.end(), children.begin(), children.end());
    fw::ControlGeometry end{};
    end.id = fw::LAYOUT_END_ID;
    t.push_back(end);
    return t;
}

} // namespace layout_case
