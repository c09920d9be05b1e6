#include "Layout.h"

#include <algorithm>
#include <cstdio>

namespace fw {

int32_t& ControlGeometry::Part(int32_t part) {
    switch (part) {
    case LAYOUT_LEFT:
        return left;
    case LAYOUT_TOP:
        return top;
    case LAYOUT_RIGHT:
        return right;
    case LAYOUT_BOTTOM:
        return bottom;
    case LAYOUT_WIDTH:
        return width;
    default:
        return height;
    }
}

int32_t ControlGeometry::Part(int32_t part) const {
    return const_cast<ControlGeometry*>(this)->Part(part);
}

const char* LayoutPartName(int32_t part) {
    static const char* const names[] = {"left", "top", "right", "bottom", "width", "height"};
    return part >= 0 && part < 6 ? names[part] : "?";
}

ControlGeometry MakeGeometry(int32_t id, const geo::Rect& edges) {
    ControlGeometry g{};
    g.id = id;
    g.left = edges.left;
    g.top = edges.top;
    g.right = edges.right;
    g.bottom = edges.bottom;
    g.unchanged = 1;
    for (int i = 0; i < 4; ++i)
        g.known[i] = 1;
    DeriveGeometry(g);
    return g;
}

void DeriveGeometry(ControlGeometry& g) {
    int32_t* k = g.known;
    if (!k[LAYOUT_LEFT] && k[LAYOUT_RIGHT] && k[LAYOUT_WIDTH]) {
        g.left = g.right - g.width;
        k[LAYOUT_LEFT] = 1;
    }
    if (!k[LAYOUT_TOP] && k[LAYOUT_BOTTOM] && k[LAYOUT_HEIGHT]) {
        g.top = g.bottom - g.height;
        k[LAYOUT_TOP] = 1;
    }
    if (!k[LAYOUT_RIGHT] && k[LAYOUT_LEFT] && k[LAYOUT_WIDTH]) {
        g.right = g.left + g.width;
        k[LAYOUT_RIGHT] = 1;
    }
    if (!k[LAYOUT_BOTTOM] && k[LAYOUT_TOP] && k[LAYOUT_HEIGHT]) {
        g.bottom = g.top + g.height;
        k[LAYOUT_BOTTOM] = 1;
    }
    if (!k[LAYOUT_WIDTH] && k[LAYOUT_LEFT] && k[LAYOUT_RIGHT]) {
        g.width = g.right - g.left;
        k[LAYOUT_WIDTH] = 1;
    }
    if (!k[LAYOUT_HEIGHT] && k[LAYOUT_TOP] && k[LAYOUT_BOTTOM]) {
        g.height = g.bottom - g.top;
        k[LAYOUT_HEIGHT] = 1;
    }
}

ControlGeometry* FindGeometry(std::vector<ControlGeometry>& table, int32_t id) {
    for (ControlGeometry& g : table) {
        if (g.id == LAYOUT_END_ID)
            break;
        if (g.id == id) {
            DeriveGeometry(g);
            return &g;
        }
    }
    return nullptr;
}

std::vector<LayoutRule> CopyRules(const LayoutRule* table) {
    std::vector<LayoutRule> rules;
    for (const LayoutRule* r = table; r && r->kind != RULE_END; ++r)
        rules.push_back(*r);
    return rules;
}

namespace {

bool IsChild(const ControlGeometry& g) {
    return g.id != LAYOUT_CONTAINER_ID && g.id != LAYOUT_END_ID;
}

bool InGroup(const ControlGeometry& g, const LayoutRule& r) {
    return IsChild(g) && g.id >= r.controlId && g.id <= r.lastId;
}

bool IsVertical(const LayoutRule& r) {
    return r.kind == RULE_CENTER_V || r.part == LAYOUT_TOP || r.part == LAYOUT_BOTTOM ||
           r.part == LAYOUT_HEIGHT;
}

// What a rule will set is marked unknown before the passes start.
void ResetRule(const LayoutRule& r, std::vector<ControlGeometry>& table) {
    if (r.kind == RULE_CENTER_H || r.kind == RULE_CENTER_V) {
        const int32_t a = r.kind == RULE_CENTER_H ? LAYOUT_LEFT : LAYOUT_TOP;
        const int32_t b = r.kind == RULE_CENTER_H ? LAYOUT_RIGHT : LAYOUT_BOTTOM;
        for (ControlGeometry& g : table) {
            if (g.id == LAYOUT_END_ID)
                break;
            if (InGroup(g, r)) {
                g.known[a] = g.known[b] = 0;
                g.unchanged = 0;
            }
        }
        return;
    }
    if (r.part < 0 || r.part > 5)
        return;
    ControlGeometry* g = nullptr;
    for (ControlGeometry& c : table) {
        if (c.id == LAYOUT_END_ID)
            break;
        if (c.id == r.controlId) {
            g = &c;
            break;
        }
    }
    if (!g)
        return;
    g->unchanged = 0;
    g->known[r.part] = 0;
    static const int32_t stretchPartner[6] = {LAYOUT_WIDTH,  LAYOUT_HEIGHT, LAYOUT_WIDTH,
                                              LAYOUT_HEIGHT, LAYOUT_RIGHT,  LAYOUT_BOTTOM};
    // Moving keeps the size: the opposite edge follows (a size keeps its start edge).
    static const int32_t movePartner[6] = {LAYOUT_RIGHT, LAYOUT_BOTTOM, LAYOUT_LEFT,
                                           LAYOUT_TOP,   LAYOUT_RIGHT,  LAYOUT_BOTTOM};
    if (r.kind == RULE_STRETCH)
        g->known[stretchPartner[r.part]] = 0;
    else if (r.kind == RULE_MOVE)
        g->known[movePartner[r.part]] = 0;
}

bool ReferenceReady(const LayoutRule& r, const ControlGeometry& ref) {
    if (r.referencePart >= 0 && r.referencePart <= 5)
        return ref.known[r.referencePart] != 0;
    if (r.referencePart == LAYOUT_SPAN) {
        if (r.kind == RULE_CENTER_H)
            return ref.known[LAYOUT_LEFT] && ref.known[LAYOUT_RIGHT];
        return ref.known[LAYOUT_TOP] && ref.known[LAYOUT_BOTTOM];
    }
    // A centring rule may name no reference part; any other rule must name one.
    return r.referencePart < 0 && (r.kind == RULE_CENTER_H || r.kind == RULE_CENTER_V);
}

bool SolvePasses(std::vector<LayoutRule>& rules, std::vector<ControlGeometry>& table,
                 const DialogUnitConverter& convert);

bool ApplyCentring(const LayoutRule& r, const ControlGeometry& refCopy,
                   std::vector<LayoutRule>& rules, std::vector<ControlGeometry>& table,
                   const DialogUnitConverter& convert) {
    const bool horizontal = r.kind == RULE_CENTER_H;
    const int32_t a = horizontal ? LAYOUT_LEFT : LAYOUT_TOP;
    const int32_t b = horizontal ? LAYOUT_RIGHT : LAYOUT_BOTTOM;
    const int32_t size = horizontal ? LAYOUT_WIDTH : LAYOUT_HEIGHT;
    for (ControlGeometry& g : table) {
        if (g.id == LAYOUT_END_ID)
            break;
        if (InGroup(g, r)) {
            DeriveGeometry(g);
            if (!g.known[size])
                return false;
        }
    }
    // The group's own edge rules, solved on a copy in which everything is known.
    std::vector<LayoutRule> groupRules;
    for (const LayoutRule& other : rules)
        if ((other.kind == RULE_STRETCH || other.kind == RULE_MOVE) &&
            other.controlId >= r.controlId && other.controlId <= r.lastId &&
            (other.part == a || other.part == b))
            groupRules.push_back(other);
    std::vector<ControlGeometry> scratch = table;
    for (ControlGeometry& g : scratch)
        std::fill(std::begin(g.known), std::end(g.known), 1);
    if (!SolvePasses(groupRules, scratch, convert))
        return false;
    bool any = false;
    int32_t start = 0, end = 0;
    for (const ControlGeometry& g : scratch) {
        if (g.id == LAYOUT_END_ID)
            break;
        if (!InGroup(g, r))
            continue;
        start = any ? std::min(start, g.Part(a)) : g.Part(a);
        end = any ? std::max(end, g.Part(b)) : g.Part(b);
        any = true;
    }
    const int32_t s = refCopy.Part(a);
    const int32_t z = refCopy.Part(size);
    const int32_t shift = s + (start + z - end) / 2 - start + r.offsetPixels;
    for (size_t i = 0; i < table.size() && table[i].id != LAYOUT_END_ID; ++i) {
        if (!InGroup(table[i], r))
            continue;
        table[i].Part(a) = scratch[i].Part(a) + shift;
        table[i].Part(b) = scratch[i].Part(b) + shift;
        table[i].known[a] = table[i].known[b] = 1;
        DeriveGeometry(table[i]);
    }
    return true;
}

bool ApplyRule(const LayoutRule& r, std::vector<LayoutRule>& rules,
               std::vector<ControlGeometry>& table, const DialogUnitConverter& convert) {
    ControlGeometry* ref = FindGeometry(table, r.referenceId);
    if (!ref || !ReferenceReady(r, *ref))
        return false;
    ControlGeometry copy = *ref;
    if (r.referencePart == LAYOUT_WIDTH || r.referencePart == LAYOUT_HEIGHT) {
        int32_t& v = copy.Part(r.referencePart);
        v = static_cast<int32_t>(static_cast<int64_t>(v) * r.percent / 100);
    }
    if (r.kind == RULE_STRETCH || r.kind == RULE_MOVE) {
        if (r.part < 0 || r.part > 5 || r.referencePart < 0 || r.referencePart > 5)
            return false;
        ControlGeometry* target = FindGeometry(table, r.controlId);
        if (!target)
            return false;
        target->Part(r.part) = copy.Part(r.referencePart) + r.offsetPixels;
        target->known[r.part] = 1;
        DeriveGeometry(*target);
        return true;
    }
    if (r.kind == RULE_CENTER_H || r.kind == RULE_CENTER_V)
        return ApplyCentring(r, copy, rules, table, convert);
    return false;
}

bool SolvePasses(std::vector<LayoutRule>& rules, std::vector<ControlGeometry>& table,
                 const DialogUnitConverter& convert) {
    for (const LayoutRule& r : rules)
        ResetRule(r, table);
    for (LayoutRule& r : rules) {
        r.offsetPixels = convert ? convert(r.offset, IsVertical(r)) : r.offset;
        r.done = 0;
    }
    bool applied = true;
    while (applied) {
        applied = false;
        for (LayoutRule& r : rules) {
            if (r.done)
                continue;
            if (ApplyRule(r, rules, table, convert)) {
                r.done = 1;
                applied = true;
            }
        }
    }
    for (const LayoutRule& r : rules)
        if (!r.done)
            return false;
    return true;
}

} // namespace

bool SolveLayout(std::vector<LayoutRule>& rules, std::vector<ControlGeometry>& table,
                 const DialogUnitConverter& convert) {
    return SolvePasses(rules, table, convert);
}

std::string LayoutMessage(int32_t part, int32_t id) {
    char text[80];
    std::snprintf(text, sizeof text, "Layout couldn't find %s of id=%d", LayoutPartName(part),
                  static_cast<int>(id));
    return text;
}

namespace {
constexpr LayoutRule Stretch(int32_t part, int32_t id, int32_t refPart, int32_t refId,
                             int32_t offset) {
    return LayoutRule{RULE_STRETCH, part, id, 0, refPart, refId, 0, offset, 0, 0};
}
constexpr int32_t C = LAYOUT_CONTAINER_ID;
} // namespace

const LayoutRule kHelpPageLayout[] = {
    Stretch(LAYOUT_LEFT, 8002, LAYOUT_LEFT, C, 0),
    Stretch(LAYOUT_TOP, 8002, LAYOUT_TOP, C, 0),
    Stretch(LAYOUT_RIGHT, 8002, LAYOUT_RIGHT, C, 0),
    Stretch(LAYOUT_BOTTOM, 8002, LAYOUT_BOTTOM, C, 0),
    Stretch(LAYOUT_LEFT, 8011, LAYOUT_LEFT, C, 5),
    Stretch(LAYOUT_TOP, 8011, LAYOUT_TOP, C, 5),
    Stretch(LAYOUT_RIGHT, 8011, LAYOUT_LEFT, C, 29),
    Stretch(LAYOUT_BOTTOM, 8011, LAYOUT_TOP, C, 29),
    Stretch(LAYOUT_LEFT, 8010, LAYOUT_RIGHT, 8011, 5),
    Stretch(LAYOUT_TOP, 8010, LAYOUT_TOP, 8011, 0),
    Stretch(LAYOUT_RIGHT, 8010, LAYOUT_RIGHT, C, -5),
    Stretch(LAYOUT_BOTTOM, 8010, LAYOUT_BOTTOM, 8011, 0),
    Stretch(LAYOUT_LEFT, 8012, LAYOUT_LEFT, C, 0),
    Stretch(LAYOUT_TOP, 8012, LAYOUT_BOTTOM, 8011, 5),
    Stretch(LAYOUT_RIGHT, 8012, LAYOUT_RIGHT, C, 0),
    Stretch(LAYOUT_BOTTOM, 8012, LAYOUT_BOTTOM, 8011, 6),
    Stretch(LAYOUT_LEFT, 8009, LAYOUT_LEFT, C, 5),
    Stretch(LAYOUT_TOP, 8009, LAYOUT_BOTTOM, 8012, 5),
    Stretch(LAYOUT_RIGHT, 8009, LAYOUT_RIGHT, C, -5),
    Stretch(LAYOUT_BOTTOM, 8009, LAYOUT_BOTTOM, C, -5),
    LayoutRule{RULE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

} // namespace fw
