// The control layout manager's rules and solver. Plain rectangles only, so
// the solver runs and is tested without a window; ApplyLayout (LayoutWindow.h)
// feeds it a window's children.
#pragma once

#include "geometry/Rect.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fw {

constexpr int32_t RULE_STRETCH = 0;
constexpr int32_t RULE_MOVE = 1;
constexpr int32_t RULE_CENTER_V = 2;
constexpr int32_t RULE_CENTER_H = 3;
constexpr int32_t RULE_END = 4;

constexpr int32_t LAYOUT_CONTAINER_ID = 0x10000;
constexpr int32_t LAYOUT_END_ID = 0x10001;

// Parts of a rectangle; LAYOUT_SPAN (6) is the whole span along a centring rule's axis.
constexpr int32_t LAYOUT_LEFT = 0;
constexpr int32_t LAYOUT_TOP = 1;
constexpr int32_t LAYOUT_RIGHT = 2;
constexpr int32_t LAYOUT_BOTTOM = 3;
constexpr int32_t LAYOUT_WIDTH = 4;
constexpr int32_t LAYOUT_HEIGHT = 5;
constexpr int32_t LAYOUT_SPAN = 6;

struct LayoutRule {
    int32_t kind;
    int32_t part;
    int32_t controlId;
    int32_t lastId;
    int32_t referencePart;
    int32_t referenceId;
    int32_t percent;
    int32_t offset;       // dialog units
    int32_t done;         // working field
    int32_t offsetPixels; // working field
};

struct ControlGeometry {
    int32_t id;
    int32_t left, top, right, bottom, width, height;
    int32_t unchanged;
    int32_t known[6];

    int32_t& Part(int32_t part);
    int32_t Part(int32_t part) const;
};

// Dialog units to pixels along one axis.
using DialogUnitConverter = std::function<int32_t(int32_t units, bool vertical)>;

// The name of a part in messages ("left" ... "height"); "?" out of range.
const char* LayoutPartName(int32_t part);

// A record with its four edges known; width and height derived.
ControlGeometry MakeGeometry(int32_t id, const geo::Rect& edges);
// Fills the unknown parts that the known ones determine, in part order.
void DeriveGeometry(ControlGeometry& g);
// Linear search up to the LAYOUT_END_ID record; derives the record found.
ControlGeometry* FindGeometry(std::vector<ControlGeometry>& table, int32_t id);

// The rules of a table up to (not including) its RULE_END rule.
std::vector<LayoutRule> CopyRules(const LayoutRule* table);

// Resets, converts offsets and applies the rules in passes until none
// applies; true when every rule was applied. The table holds the container
// (record 0), the children and the LAYOUT_END_ID record.
bool SolveLayout(std::vector<LayoutRule>& rules, std::vector<ControlGeometry>& table,
                 const DialogUnitConverter& convert);

// "Layout couldn't find %s of id=%d" in at most 79 characters (cut, never overflowing).
std::string LayoutMessage(int32_t part, int32_t id);

// The help page's rules: frame 8002, icon 8011, about text 8010, line 8012,
// history 8009, ended by RULE_END.
extern const LayoutRule kHelpPageLayout[];

} // namespace fw
