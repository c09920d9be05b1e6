// Layout, hit-testing and data rules of the bar, without a window.
#include "BarGeometry.h"

#include <gtest/gtest.h>

#include <string>

using namespace bar;

namespace {

// Labels measure 6 px a character and 13 px a line; the large view wraps at
// the content width, as DrawText with DT_WORDBREAK would.
Size FakeMeasure(const std::string& text, bool smallView, int width) {
    const int w = static_cast<int>(text.size()) * 6;
    if (smallView || w <= width || width <= 0) {
        return {w, 13};
    }
    const int lines = (w + width - 1) / width;
    return {width, 13 * lines};
}

BarEnv Env(int arrowSide = 17) {
    BarEnv env;
    env.smallImages = ImageListInfo{{16, 16}, 4};
    env.largeImages = ImageListInfo{{32, 32}, 4};
    env.arrowSide = arrowSide;
    env.measureText = FakeMeasure;
    return env;
}

const Rect kClient{0, 0, 120, 300};

// Three folders, the middle one current, holding `items` items "abcd".
BarModel ThreeFolders(int items, std::uint32_t flags = 0x1FC) {
    BarModel m;
    m.flags = flags;
    m.AppendFolder("zero", 0);
    m.AppendFolder("one", 0);
    m.AppendFolder("two", 0);
    for (int k = 0; k < items; ++k) {
        m.InsertFolderItem(1, -1, "abcd", k % 4, 0);
    }
    m.currentFolder = 1;
    return m;
}

} // namespace

TEST(BarModel, StartsWithTheDocumentedValues) {
    BarModel m;
    EXPECT_EQ(m.folderButtonHeight, 22);
    EXPECT_EQ(m.smallLabelGap, 4);
    EXPECT_EQ(m.largeLabelGap, 3);
    EXPECT_EQ(m.smallItemSpacing, 10);
    EXPECT_EQ(m.largeItemSpacing, 8);
    EXPECT_EQ(m.itemLeftInset, 5);
    EXPECT_EQ(m.itemTopInset, 5);
    EXPECT_EQ(m.flags, 0x3FCu);
    EXPECT_EQ(m.currentFolder, 1);
    EXPECT_EQ(m.firstVisible, 0);
    EXPECT_EQ(m.selectedItem, -1);
    EXPECT_EQ(m.hotFolder, -1);
    EXPECT_EQ(m.hotItem, -1);
    EXPECT_EQ(m.dropMarkIndex, -1);
    EXPECT_EQ(m.dropMarkKind, -1);
    EXPECT_EQ(m.animationDelay, 10);
    EXPECT_EQ(m.selectAnimPeriod, 0);
    EXPECT_EQ(m.contextTargetKind, -1);
    EXPECT_EQ(m.contextTargetIndex, -1);
    EXPECT_FALSE(m.upArrowShown || m.downArrowShown || m.upPressed || m.downPressed);
    EXPECT_FALSE(m.hotItemPressed || m.lastDrawnPressed);
    // The initial current folder names no folder yet: no items, no crash.
    EXPECT_EQ(m.ItemCount(), 0);
    EXPECT_EQ(m.Current(), nullptr);
}

TEST(BarLayoutTest, NoFoldersGiveTheWholeClientAndNothingElse) {
    BarModel m;
    m.flags = 0x1FC;
    BarLayout l(m, kClient, Env());
    EXPECT_EQ(l.ContentRect(), kClient);
    EXPECT_FALSE(l.FolderButtonRect(0).has_value());
    EXPECT_EQ(l.ItemCount(), 0);
    EXPECT_FALSE(l.UpArrowNeeded());
    EXPECT_FALSE(l.DownArrowNeeded());
    EXPECT_FALSE(l.CanScrollDown());
    const VisibleRange v = l.VisibleItemRange();
    EXPECT_EQ(v.first, 0);
    EXPECT_EQ(v.last, -1);
    PlaceArrows(m, l);
    EXPECT_FALSE(m.upArrowShown);
    EXPECT_FALSE(m.downArrowShown);
    for (Point p : {Point{0, 0}, Point{60, 150}, Point{119, 299}}) {
        EXPECT_EQ(l.HitTestPoint(p).code, HIT_NOTHING);
    }
    EXPECT_TRUE(l.ItemRect(0).IsEmpty());
}

TEST(BarLayoutTest, ButtonsStackAboveAndBelowTheCurrentFolder) {
    BarModel m = ThreeFolders(0);
    BarLayout l(m, kClient, Env());
    EXPECT_EQ(*l.FolderButtonRect(0), (Rect{0, -1, 120, 21})); // rows -1 to 20
    EXPECT_EQ(*l.FolderButtonRect(1), (Rect{0, 21, 120, 43}));
    EXPECT_EQ(*l.FolderButtonRect(2), (Rect{0, 278, 120, 300})); // the bottom 22 px
    EXPECT_FALSE(l.FolderButtonRect(3).has_value());
    EXPECT_FALSE(l.FolderButtonRect(-1).has_value());
    EXPECT_EQ(l.ContentRect(), (Rect{0, 43, 120, 278}));

    EXPECT_EQ(l.HitTestPoint({10, 0}).code, HIT_FOLDER);
    EXPECT_EQ(l.HitTestPoint({10, 0}).index, 0);
    EXPECT_EQ(l.HitTestPoint({10, 20}).index, 0);
    EXPECT_EQ(l.HitTestPoint({10, 21}).index, 1);
    EXPECT_EQ(l.HitTestPoint({10, 299}).index, 2);
    EXPECT_EQ(l.HitTestPoint({10, 277}).code, HIT_NOTHING);

    // Folder 0 current: the other two stack at the bottom.
    m.currentFolder = 0;
    BarLayout l0(m, kClient, Env());
    EXPECT_EQ(*l0.FolderButtonRect(1), (Rect{0, 256, 120, 278}));
    EXPECT_EQ(l0.ContentRect(), (Rect{0, 21, 120, 256}));
}

TEST(BarLayoutTest, LargeViewCentresIconAndLabel) {
    BarModel m = ThreeFolders(2);
    BarLayout l(m, kClient, Env());
    const int top = 43;
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Icon), (Size{32, 32}));
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Label), (Size{24, 13}));
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Whole), (Size{32, 32 + 3 + 13 + 8}));
    EXPECT_EQ(l.ItemRect(0), (Rect{0, top + 5, 120, top + 61}));
    EXPECT_EQ(l.IconRect(0), (Rect{44, top + 5, 76, top + 38}));
    EXPECT_EQ(l.LabelRect(0), (Rect{44, top + 41, 76, top + 54}));
    // The second item starts one whole height plus the spacing lower.
    EXPECT_EQ(l.ItemRect(1).top, top + 64 + 5);
    EXPECT_EQ(l.IconOrigin(1).x, 44);
    EXPECT_EQ(l.IconOrigin(1).y, top + 69);
}

TEST(BarLayoutTest, SmallViewPutsLabelBesideIcon) {
    BarModel m = ThreeFolders(2, 0x1FD);
    BarLayout l(m, kClient, Env());
    const int top = 43;
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Whole), (Size{16 + 4 + 24, 16}));
    EXPECT_EQ(l.ItemRect(0), (Rect{5, top + 5, 44, top + 21}));
    EXPECT_EQ(l.IconRect(0), (Rect{7, top + 5, 23, top + 21}));
    EXPECT_EQ(l.LabelRect(0), (Rect{7, top + 10, 51, top + 26}));
    EXPECT_EQ(l.ItemRect(1).top, top + 16 + 10 + 5);
    EXPECT_EQ(l.SmallLabelOrigin(0).x, 5 + 16 + 4);
}

TEST(BarLayoutTest, ItemWithoutImageIsLabelPlusGapAndSpacing) {
    BarModel m = ThreeFolders(0);
    m.InsertFolderItem(1, -1, "abcd", -1, 0);
    m.InsertFolderItem(1, -1, nullptr, 0, 0);
    BarLayout l(m, kClient, Env());
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Icon), (Size{0, 0}));
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Whole), (Size{24, 13 + 3 + 8}));
    // No text: icon only, no label.
    EXPECT_EQ(l.MeasureItem(1, ItemPart::Label), (Size{0, 0}));
    EXPECT_EQ(l.MeasureItem(1, ItemPart::Whole), (Size{32, 32 + 3 + 8}));

    // Without the view's image list items keep their label size.
    BarEnv noLists = Env();
    noLists.largeImages.reset();
    BarLayout bare(m, kClient, noLists);
    EXPECT_EQ(bare.MeasureItem(1, ItemPart::Whole), (Size{0, 3 + 8}));
    EXPECT_EQ(bare.MeasureItem(0, ItemPart::Whole), (Size{24, 24}));

    // An image index past the list's end has no size either.
    m.InsertFolderItem(1, -1, "x", 9, 0);
    BarLayout past(m, kClient, Env());
    EXPECT_EQ(past.MeasureItem(2, ItemPart::Icon), (Size{0, 0}));
}

TEST(BarLayoutTest, LargeLabelsWrapAtTheContentWidth) {
    BarModel m = ThreeFolders(0);
    m.InsertFolderItem(1, -1, std::string(30, 'w').c_str(), 0, 0); // 180 px of text
    BarLayout l(m, kClient, Env());
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Label), (Size{120, 26}));
    EXPECT_EQ(l.MeasureItem(0, ItemPart::Whole), (Size{120, 32 + 3 + 26 + 8}));
    EXPECT_EQ(l.LabelRect(0).left, 0);
}

TEST(BarLayoutTest, LongListShowsArrowsInsideTheContentArea) {
    BarModel m = ThreeFolders(10);
    {
        BarLayout l(m, kClient, Env(17));
        const Rect r = l.ContentRect();
        EXPECT_FALSE(l.UpArrowNeeded());
        EXPECT_TRUE(l.DownArrowNeeded());
        EXPECT_TRUE(l.CanScrollDown());
        // 64 px an item in 235 px: items 0 to 2 fit wholly.
        EXPECT_EQ(l.VisibleItemRange().last, 2);
        EXPECT_EQ(l.DownArrowRect(),
                  (Rect{r.right - 22, r.bottom - 22, r.right - 5, r.bottom - 5}));
        EXPECT_EQ(l.UpArrowRect(), (Rect{r.right - 22, r.top + 5, r.right - 5, r.top + 22}));
        PlaceArrows(m, l);
        EXPECT_FALSE(m.upArrowShown);
        EXPECT_TRUE(m.downArrowShown);
    }
    BarLayout probe(m, kClient, Env(17));
    const Rect down = m.downArrowRect;
    EXPECT_EQ(probe.HitTestPoint({down.left, down.top}).code, HIT_DOWN_ARROW);
    EXPECT_EQ(probe.HitTestPoint({down.right, down.top}).code, HIT_NOTHING);
    // A hidden up arrow is not hit.
    EXPECT_NE(probe.HitTestPoint({m.upArrowRect.left, m.upArrowRect.top}).code, HIT_UP_ARROW);

    m.firstVisible = 2;
    BarLayout scrolled(m, kClient, Env(17));
    EXPECT_EQ(scrolled.ItemRect(2).top, 43 + 5);
    EXPECT_EQ(scrolled.ItemRect(1).bottom, 43 + 5 - 8);
    EXPECT_TRUE(scrolled.UpArrowNeeded());
    EXPECT_TRUE(scrolled.DownArrowNeeded());
    PlaceArrows(m, scrolled);
    EXPECT_EQ(scrolled.HitTestPoint({m.upArrowRect.left + 1, m.upArrowRect.top + 1}).code,
              HIT_UP_ARROW);

    // Scrolled so far that the last item fits: no down arrow, no more scrolling.
    m.firstVisible = 7;
    BarLayout end(m, kClient, Env(17));
    EXPECT_EQ(end.VisibleItemRange().last, 9);
    EXPECT_FALSE(end.DownArrowNeeded());
    EXPECT_FALSE(end.CanScrollDown());
    m.firstVisible = 6;
    EXPECT_TRUE(BarLayout(m, kClient, Env(17)).CanScrollDown());
}

TEST(BarLayoutTest, FirstItemTallerThanTheContentIsNotVisible) {
    BarModel m = ThreeFolders(1);
    BarLayout l(m, Rect{0, 0, 120, 100}, Env());
    EXPECT_EQ(l.VisibleItemRange().last, -1);
    EXPECT_TRUE(l.DownArrowNeeded());
}

TEST(BarLayoutTest, HitTestFollowsTheViewsRectangles) {
    BarModel m = ThreeFolders(10);
    BarLayout l(m, kClient, Env());
    const Rect icon = l.IconRect(1);
    const Rect label = l.LabelRect(1);
    EXPECT_EQ(l.HitTestPoint({icon.left, icon.top}).index, 1);
    EXPECT_EQ(l.HitTestPoint({icon.left, icon.top}).code, HIT_ITEM);
    // The label rectangle counts with its top raised by the label gap.
    EXPECT_EQ(l.HitTestPoint({label.left, label.top - 3}).index, 1);
    // Inside the wide item rectangle but beside icon and label: nothing.
    EXPECT_EQ(l.HitTestPoint({2, icon.top + 2}).code, HIT_NOTHING);
    // Items below the content area are not hit, even where their rectangle lies.
    const Rect hidden = l.IconRect(5);
    EXPECT_GT(hidden.top, l.ContentRect().bottom);
    EXPECT_NE(l.HitTestPoint({hidden.left, hidden.top}).code, HIT_ITEM);

    // Scrolled: an item above the first visible one is not hit.
    m.firstVisible = 1;
    BarLayout s(m, kClient, Env());
    EXPECT_EQ(s.HitTestPoint({s.IconRect(1).left, s.IconRect(1).top}).index, 1);
    const Rect gone = s.IconRect(0);
    EXPECT_NE(s.HitTestPoint({gone.left, std::max(gone.top, 43)}).index, 0);

    // The small view tests the whole item rectangle.
    m.firstVisible = 0;
    m.flags |= BAR_SMALL_ICONS;
    BarLayout sm(m, kClient, Env());
    const Rect item = sm.ItemRect(2);
    EXPECT_EQ(sm.HitTestPoint({item.right - 1, item.bottom - 1}).index, 2);
    EXPECT_EQ(sm.HitTestPoint({item.right, item.bottom - 1}).code, HIT_NOTHING);
}

TEST(BarModel, ViewSwitchResetsTheFirstVisibleItem) {
    BarModel m = ThreeFolders(10);
    m.firstVisible = 3;
    EXPECT_TRUE(m.SetIconView(true));
    EXPECT_EQ(m.firstVisible, 0);
    EXPECT_TRUE(m.SmallView());
    m.firstVisible = 2;
    EXPECT_FALSE(m.SetIconView(true)); // no change of view, but still scrolled home
    EXPECT_EQ(m.firstVisible, 0);
    EXPECT_TRUE(m.SetIconView(false));
    EXPECT_FALSE(m.SmallView());
    EXPECT_EQ(m.flags, 0x1FCu);
}

TEST(BarModel, IndexesOutOfRangeChangeNothing) {
    BarModel m = ThreeFolders(3);
    EXPECT_EQ(m.InsertFolderItem(3, 0, "x", 0, 0), -1);
    EXPECT_EQ(m.InsertFolderItem(-1, 0, "x", 0, 0), -1);
    EXPECT_FALSE(m.DeleteFolder(3));
    EXPECT_FALSE(m.DeleteFolder(-1));
    EXPECT_FALSE(m.DeleteItem(3));
    EXPECT_FALSE(m.DeleteItem(-1));
    EXPECT_FALSE(m.SetFolderText(5, "x"));
    EXPECT_FALSE(m.SetItemText(3, "x"));
    EXPECT_FALSE(m.MoveItem(3, 0));
    EXPECT_EQ(m.FolderCount(), 3);
    EXPECT_EQ(m.ItemCount(), 3);

    // With no valid current folder, item operations are refused.
    m.currentFolder = 7;
    EXPECT_EQ(m.ItemCount(), 0);
    EXPECT_FALSE(m.DeleteItem(0));
    EXPECT_FALSE(m.SetItemText(0, "x"));
}

TEST(BarModel, InsertPlacesOrAppends) {
    BarModel m = ThreeFolders(0);
    EXPECT_EQ(m.InsertFolderItem(1, 0, "a", 0, 0), 0);
    EXPECT_EQ(m.InsertFolderItem(1, 5, "c", 0, 0), 1); // beyond the end appends
    EXPECT_EQ(m.InsertFolderItem(1, 1, "b", 0, 0), 1);
    EXPECT_EQ(m.InsertFolderItem(1, -3, "d", 0, 7), 3); // negative appends
    ASSERT_EQ(m.ItemCount(), 4);
    std::string order;
    for (const auto& item : m.Current()->items) {
        order += *item->text;
    }
    EXPECT_EQ(order, "abcd");
    EXPECT_EQ(m.Current()->items[3]->value, 7u);
    EXPECT_EQ(m.InsertFolderItem(0, 0, nullptr, -1, 0), 0);
    EXPECT_FALSE(m.folders[0]->items[0]->text.has_value());
}

TEST(BarModel, DeletingAFolderMovesTheCurrentOne) {
    BarModel m = ThreeFolders(2);
    EXPECT_TRUE(m.DeleteFolder(2)); // after the current one: unchanged
    EXPECT_EQ(m.currentFolder, 1);
    EXPECT_TRUE(m.DeleteFolder(1)); // the current one: the one before
    EXPECT_EQ(m.currentFolder, 0);
    EXPECT_TRUE(m.DeleteFolder(0)); // the first while others remain would be 0; none remain
    EXPECT_EQ(m.currentFolder, -1);
    EXPECT_EQ(m.ItemCount(), 0);

    BarModel n = ThreeFolders(0);
    n.currentFolder = 0;
    EXPECT_TRUE(n.DeleteFolder(0));
    EXPECT_EQ(n.currentFolder, 0);
    EXPECT_EQ(*n.folders[0]->name, "one");
}

TEST(BarModel, SelectedItemIsCheckedAgainstTheItemCount) {
    BarModel m = ThreeFolders(3);
    m.selectedItem = 2;
    EXPECT_EQ(m.SelectedItemChecked(), 2);
    EXPECT_TRUE(m.DeleteItem(2)); // not adjusted, but no longer an item
    EXPECT_EQ(m.selectedItem, 2);
    EXPECT_EQ(m.SelectedItemChecked(), -1);
}

TEST(BarModel, MoveItemReorders) {
    BarModel m = ThreeFolders(0);
    for (const char* t : {"0", "1", "2", "3", "4", "5"}) {
        m.InsertFolderItem(1, -1, t, 0, 0);
    }
    auto order = [&] {
        std::string s;
        for (const auto& item : m.Current()->items) {
            s += *item->text;
        }
        return s;
    };
    EXPECT_TRUE(m.MoveItem(1, 3)); // dropped on item 4 lands at index 3
    EXPECT_EQ(order(), "023145");
    EXPECT_TRUE(m.MoveItem(4, 0));
    EXPECT_EQ(order(), "402315");
    EXPECT_TRUE(m.MoveItem(0, 6)); // to the end
    EXPECT_EQ(order(), "023154");
}

TEST(BarLayoutTest, DropMarksBeforeBetweenAndAfter) {
    BarModel m = ThreeFolders(3);
    BarLayout l(m, kClient, Env());
    const Rect c = l.ContentRect();
    const DropMark first = l.DropMarkRect(0);
    EXPECT_EQ(first.kind, 0);
    const int y0 = l.ItemRect(0).top - 4;
    EXPECT_EQ(first.rect, (Rect{c.left + 2, y0 + 2, c.right - 2, y0 + 7}));
    const DropMark mid = l.DropMarkRect(2);
    EXPECT_EQ(mid.kind, 1);
    const int y2 = l.ItemRect(2).top - 4;
    EXPECT_EQ(mid.rect, (Rect{c.left + 2, y2 - 9, c.right - 2, y2}));
    const DropMark after = l.DropMarkRect(3);
    EXPECT_EQ(after.kind, 2);
    const int y3 = l.ItemRect(2).bottom + 6;
    EXPECT_EQ(after.rect, (Rect{c.left + 2, y3, c.right - 2, y3 + 5}));

    m.flags |= BAR_SMALL_ICONS;
    BarLayout s(m, kClient, Env());
    const int ys = s.ItemRect(1).top - 4;
    EXPECT_EQ(s.DropMarkRect(1).rect, (Rect{c.left + 2, ys - 1, c.right - 2, ys + 8}));
}

TEST(BarNudge, CycleOfTwelveTicks) {
    int step = 0;
    std::string seen;
    for (int tick = 0; tick < 24; ++tick) {
        auto d = NextNudgeStep(step);
        seen += d ? (d->x < 0 ? 'L' : d->x > 0 ? 'R' : 'o') : '.';
    }
    // From step 0 the first tick is step 1; the cycle then runs -1..10.
    EXPECT_EQ(seen, "oRo........LoRo........L");
}
