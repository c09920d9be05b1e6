// The framework's plain rules: layout solver, splitter sizing and the number
// parsing of data exchange. No window involved.
#include "Layout.h"
#include "SplitterMath.h"
#include "TextRules.h"

#include "LayoutCase.h"

#include <gtest/gtest.h>

using namespace fw;

namespace {

using layout_case::Convert;
using layout_case::Table;

LayoutRule Rule(int32_t kind, int32_t part, int32_t id, int32_t refPart, int32_t refId,
                int32_t offset, int32_t percent = 0, int32_t lastId = 0) {
    return LayoutRule{kind, part, id, lastId, refPart, refId, percent, offset, 0, 0};
}

const ControlGeometry& Find(std::vector<ControlGeometry>& t, int32_t id) {
    return *FindGeometry(t, id);
}

} // namespace

// --- layout solver ----------------------------------------------------------------

TEST(LayoutSolver, StretchRightKeepsLeftEdge) {
    auto t = Table({MakeGeometry(10, {20, 30, 60, 50})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_STRETCH, LAYOUT_RIGHT, 10, LAYOUT_RIGHT, LAYOUT_CONTAINER_ID, -5)};
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& g = Find(t, 10);
    EXPECT_EQ(g.left, 20);
    EXPECT_EQ(g.right, 392);
    EXPECT_EQ(g.width, 372);
    EXPECT_EQ(g.top, 30);
    EXPECT_EQ(g.bottom, 50);
    EXPECT_EQ(g.unchanged, 0);
    EXPECT_EQ(rules[0].offsetPixels, -8);
    EXPECT_EQ(rules[0].done, 1);
}

TEST(LayoutSolver, MoveLeftKeepsWidth) {
    auto t = Table({MakeGeometry(10, {20, 30, 60, 50})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_MOVE, LAYOUT_LEFT, 10, LAYOUT_LEFT, LAYOUT_CONTAINER_ID, 50)};
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& g = Find(t, 10);
    EXPECT_EQ(g.left, 80);
    EXPECT_EQ(g.width, 40);
    EXPECT_EQ(g.right, 120);
}

TEST(LayoutSolver, MoveBottomKeepsHeightAndVerticalOffsetsUseTheVerticalUnit) {
    auto t = Table({MakeGeometry(10, {20, 30, 60, 50})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_MOVE, LAYOUT_BOTTOM, 10, LAYOUT_BOTTOM, LAYOUT_CONTAINER_ID, -8)};
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& g = Find(t, 10);
    EXPECT_EQ(g.bottom, 300 - 13);
    EXPECT_EQ(g.height, 20);
    EXPECT_EQ(g.top, 300 - 13 - 20);
}

TEST(LayoutSolver, RulesChainThroughOtherControlsInAnyOrder) {
    // 20 follows 10's right edge; its rule comes first and waits a pass.
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10}), MakeGeometry(20, {50, 0, 70, 10})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_MOVE, LAYOUT_LEFT, 20, LAYOUT_RIGHT, 10, 5),
        Rule(RULE_STRETCH, LAYOUT_RIGHT, 10, LAYOUT_RIGHT, LAYOUT_CONTAINER_ID, -50),
    };
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(Find(t, 10).right, 320);
    EXPECT_EQ(Find(t, 20).left, 328);
    EXPECT_EQ(Find(t, 20).width, 20);
}

TEST(LayoutSolver, PercentScalesTheReferenceSize) {
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_STRETCH, LAYOUT_WIDTH, 10, LAYOUT_WIDTH, LAYOUT_CONTAINER_ID, 0, 25),
        Rule(RULE_STRETCH, LAYOUT_HEIGHT, 10, LAYOUT_HEIGHT, LAYOUT_CONTAINER_ID, 0, 33),
    };
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& g = Find(t, 10);
    EXPECT_EQ(g.width, 100);
    EXPECT_EQ(g.right, 100); // a size keeps its start edge
    EXPECT_EQ(g.height, 99); // 300 * 33 / 100, toward zero
}

TEST(LayoutSolver, RulesWaitingOnEachOtherFailAndTheCallerMovesNothing) {
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10}), MakeGeometry(20, {50, 0, 70, 10})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_MOVE, LAYOUT_LEFT, 10, LAYOUT_RIGHT, 20, 0),
        Rule(RULE_MOVE, LAYOUT_LEFT, 20, LAYOUT_RIGHT, 10, 0),
    };
    EXPECT_FALSE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(rules[0].done, 0);
    EXPECT_EQ(rules[1].done, 0);
}

TEST(LayoutSolver, EmptyTableSucceedsAndTouchesNothing) {
    const LayoutRule end[] = {LayoutRule{RULE_END, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    std::vector<LayoutRule> rules = CopyRules(end);
    EXPECT_TRUE(rules.empty());
    auto t = Table({MakeGeometry(10, {1, 2, 3, 4})}, 400, 300);
    EXPECT_TRUE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(Find(t, 10).unchanged, 1);
}

TEST(LayoutSolver, UnknownReferenceIdNeverApplies) {
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10})}, 400, 300);
    std::vector<LayoutRule> rules{Rule(RULE_MOVE, LAYOUT_LEFT, 10, LAYOUT_LEFT, 999, 0)};
    EXPECT_FALSE(SolveLayout(rules, t, Convert));
}

TEST(LayoutSolver, CentreHorizontallyInTheContainerSpan) {
    // Two controls 10..30 and 40..60 (union 50 wide) centred in 400: start 175.
    auto t =
        Table({MakeGeometry(10, {10, 0, 30, 10}), MakeGeometry(11, {40, 20, 60, 30})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_CENTER_H, 0, 10, LAYOUT_SPAN, LAYOUT_CONTAINER_ID, 0, 0, 11)};
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(Find(t, 10).left, 175);
    EXPECT_EQ(Find(t, 10).right, 195);
    EXPECT_EQ(Find(t, 11).left, 205);
    EXPECT_EQ(Find(t, 11).right, 225);
    EXPECT_EQ(Find(t, 11).top, 20); // the other axis stays
}

TEST(LayoutSolver, CentreVerticallyWithOffsetAndNoReferencePart) {
    auto t = Table({MakeGeometry(10, {0, 0, 10, 40})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_CENTER_V, 0, 10, -1, LAYOUT_CONTAINER_ID, 8, 0, 10)}; // 8 units = 13 px
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(Find(t, 10).top, 130 + 13);
    EXPECT_EQ(Find(t, 10).bottom, 170 + 13);
    EXPECT_EQ(Find(t, 10).height, 40);
}

TEST(LayoutSolver, CentringUsesTheGroupsOwnEdgeRulesOnAScratchCopy) {
    // The group member is first stretched to 100 wide by its own rules, then
    // the group is centred in the container: 150..250.
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_CENTER_H, 0, 10, LAYOUT_SPAN, LAYOUT_CONTAINER_ID, 0, 0, 10),
        Rule(RULE_STRETCH, LAYOUT_RIGHT, 10, LAYOUT_LEFT, LAYOUT_CONTAINER_ID, 0),
        Rule(RULE_STRETCH, LAYOUT_LEFT, 10, LAYOUT_LEFT, LAYOUT_CONTAINER_ID, 0),
    };
    rules[1].offset = 100 * 5 / 8; // 62 units -> 99 px
    ASSERT_TRUE(SolveLayout(rules, t, Convert));
    const ControlGeometry& g = Find(t, 10);
    EXPECT_EQ(g.right - g.left, 99);
    EXPECT_EQ(g.left, (400 - 99) / 2);
}

TEST(LayoutSolver, CentringWaitsForTheGroupsSize) {
    // The member's width depends on a rule that never applies: no centring.
    auto t = Table({MakeGeometry(10, {0, 0, 10, 10})}, 400, 300);
    std::vector<LayoutRule> rules{
        Rule(RULE_STRETCH, LAYOUT_WIDTH, 10, LAYOUT_WIDTH, 999, 0),
        Rule(RULE_CENTER_H, 0, 10, LAYOUT_SPAN, LAYOUT_CONTAINER_ID, 0, 0, 10),
    };
    EXPECT_FALSE(SolveLayout(rules, t, Convert));
    EXPECT_EQ(rules[1].done, 0);
}

TEST(LayoutSolver, DeriveFillsPartsFromTheKnownOnes) {
    ControlGeometry g{};
    g.right = 50;
    g.width = 20;
    g.top = 5;
    g.height = 10;
    g.known[LAYOUT_RIGHT] = g.known[LAYOUT_WIDTH] = g.known[LAYOUT_TOP] = g.known[LAYOUT_HEIGHT] =
        1;
    DeriveGeometry(g);
    EXPECT_EQ(g.left, 30);
    EXPECT_EQ(g.bottom, 15);
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(g.known[p], 1) << p;
}

TEST(LayoutSolver, MessageIsCutNeverOverflowing) {
    EXPECT_EQ(LayoutMessage(LAYOUT_WIDTH, 8009), "Layout couldn't find width of id=8009");
    EXPECT_EQ(LayoutMessage(99, -2147483647 - 1), "Layout couldn't find ? of id=-2147483648");
    EXPECT_LE(LayoutMessage(LAYOUT_HEIGHT, 2147483647).size(), 79u);
}

// --- splitter sizing ---------------------------------------------------------------

TEST(SplitterMath, EachButTheLastGetsItsIdealTheLastTakesTheRest) {
    std::vector<SplitInfo> cols{{100, 0, 0}, {50, 0, 0}};
    LayoutSpans(cols, 400, 4);
    EXPECT_EQ(cols[0].current, 100);
    EXPECT_EQ(cols[1].current, 296);
}

TEST(SplitterMath, BelowMinimumCollapsesToZero) {
    std::vector<SplitInfo> cols{{30, 40, 0}, {0, 0, 0}};
    LayoutSpans(cols, 400, 4);
    EXPECT_EQ(cols[0].current, 0);
    EXPECT_EQ(cols[1].current, 396);
    // Space too short for the ideal: what remains, then below the minimum -> 0.
    std::vector<SplitInfo> rows{{500, 450, 0}, {10, 0, 0}};
    LayoutSpans(rows, 400, 4);
    EXPECT_EQ(rows[0].current, 0);
    EXPECT_EQ(rows[1].current, 396);
}

TEST(SplitterMath, SpanAtItsMinimumStays) {
    std::vector<SplitInfo> cols{{40, 40, 0}, {0, 0, 0}};
    LayoutSpans(cols, 400, 4);
    EXPECT_EQ(cols[0].current, 40);
    EXPECT_EQ(cols[1].current, 356);
    // Cut to what remains, which is exactly the minimum.
    std::vector<SplitInfo> rows{{500, 400, 0}, {10, 0, 0}};
    LayoutSpans(rows, 400, 4);
    EXPECT_EQ(rows[0].current, 400);
    EXPECT_EQ(rows[1].current, 0);
}

TEST(SplitterMath, NoSpaceLeftGivesZero) {
    std::vector<SplitInfo> cols{{500, 0, 0}, {10, 0, 0}, {10, 0, 0}};
    LayoutSpans(cols, 400, 4);
    EXPECT_EQ(cols[0].current, 400);
    EXPECT_EQ(cols[1].current, 0);
    EXPECT_EQ(cols[2].current, 0);
    std::vector<SplitInfo> none{{10, 0, 0}};
    LayoutSpans(none, -3, 4);
    EXPECT_EQ(none[0].current, 0);
}

TEST(SplitterMath, PanesBarsAndHitTest) {
    std::vector<SplitInfo> rows{{0, 0, 195}};
    std::vector<SplitInfo> cols{{0, 0, 100}, {0, 0, 296}};
    SplitterMetrics m; // bars 4, gaps 4, border 0
    const SplitterGeometry g = PlaceSplitter(Rect{0, 5, 400, 200}, rows, cols, m);
    ASSERT_EQ(g.panes.size(), 2u);
    EXPECT_EQ(g.panes[0].left, 0);
    EXPECT_EQ(g.panes[0].right, 100);
    EXPECT_EQ(g.panes[1].left, 104);
    EXPECT_EQ(g.panes[1].right, 400);
    EXPECT_EQ(g.panes[1].top, 5);
    ASSERT_EQ(g.colBars.size(), 1u);
    EXPECT_EQ(g.colBars[0].left, 100);
    EXPECT_EQ(g.colBars[0].right, 104);
    EXPECT_TRUE(g.rowBars.empty());
    EXPECT_EQ(HitTestSplitter(g, 101, 50).kind, SplitHitKind::ColumnBar);
    EXPECT_EQ(HitTestSplitter(g, 99, 50).kind, SplitHitKind::None);
    EXPECT_EQ(HitTestSplitter(g, 104, 50).kind, SplitHitKind::None);
    EXPECT_EQ(HitTestSplitter(g, 101, 2).kind, SplitHitKind::None); // the top margin
}

TEST(SplitterMath, CrossingOfTwoBars) {
    std::vector<SplitInfo> rows{{0, 0, 50}, {0, 0, 46}};
    std::vector<SplitInfo> cols{{0, 0, 50}, {0, 0, 46}};
    const SplitterGeometry g = PlaceSplitter(Rect{0, 0, 100, 100}, rows, cols, {});
    const SplitHit hit = HitTestSplitter(g, 51, 51);
    EXPECT_EQ(hit.kind, SplitHitKind::Crossing);
    EXPECT_EQ(HitTestSplitter(g, 51, 10).kind, SplitHitKind::ColumnBar);
    EXPECT_EQ(HitTestSplitter(g, 10, 52).kind, SplitHitKind::RowBar);
    EXPECT_EQ(PaneIdFromRowCol(1, 2), 0xE900 + 16 + 2);
}

// --- data exchange numbers -----------------------------------------------------------

TEST(ExchangeNumbers, Signed) {
    int32_t v = 7;
    EXPECT_TRUE(ParseSignedDecimal(L" -42 ", &v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(ParseSignedDecimal(L"+2147483647", &v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(ParseSignedDecimal(L"-2147483648", &v));
    EXPECT_EQ(v, -2147483647 - 1);
    v = 7;
    EXPECT_FALSE(ParseSignedDecimal(L"2147483648", &v));
    EXPECT_FALSE(ParseSignedDecimal(L"", &v));
    EXPECT_FALSE(ParseSignedDecimal(L"-", &v));
    EXPECT_FALSE(ParseSignedDecimal(L"12a", &v));
    EXPECT_FALSE(ParseSignedDecimal(L"1 2", &v));
    EXPECT_FALSE(ParseSignedDecimal(L"99999999999999999999999", &v));
    EXPECT_EQ(v, 7); // a failed parse leaves the value
}

TEST(ExchangeNumbers, Unsigned) {
    uint32_t v = 7;
    EXPECT_TRUE(ParseUnsignedDecimal(L"4294967295", &v));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_TRUE(ParseUnsignedDecimal(L"+0", &v));
    EXPECT_EQ(v, 0u);
    v = 7;
    EXPECT_FALSE(ParseUnsignedDecimal(L"-1", &v));
    EXPECT_FALSE(ParseUnsignedDecimal(L"4294967296", &v));
    EXPECT_FALSE(ParseUnsignedDecimal(L"0x10", &v));
    EXPECT_EQ(v, 7u);
}

TEST(ExchangeNumbers, BoundsAreFilledIn) {
    EXPECT_EQ(FillBounds(L"between %1 and %2, %1!", L"0", L"19"), L"between 0 and 19, 0!");
    EXPECT_EQ(FillBounds(L"100%3 %", L"a", L"b"), L"100%3 %");
}
