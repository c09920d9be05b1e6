// The Outlook-style bar's data and layout, free of any window: everything the
// bar paints or hit-tests is computed here from its state and its client size,
// so the same code runs in the control and in tests on any platform.
#pragma once

#include "geometry/Rect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bar {

// Behaviour flags given to Create.
constexpr std::uint32_t BAR_SMALL_ICONS = 0x001;
constexpr std::uint32_t BAR_DRAG_ITEMS = 0x080;
constexpr std::uint32_t BAR_ANIMATE_FOLDERS = 0x100;
constexpr std::uint32_t BAR_SELECT_FRAME = 0x200;
constexpr std::uint32_t kInitialFlags = 0x3FC;

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size& o) const { return cx == o.cx && cy == o.cy; }
};

// The setup window's one plain rectangle.
using Rect = geo::Rect;

struct ItemEntry {
    int image = -1;                  // index into the current view's image list; < 0 no icon
    std::optional<std::string> text; // label; absent is not the same as empty
    std::uint32_t value = 0;         // the caller's; never read by the bar
};

struct FolderEntry {
    std::optional<std::string> name;
    std::uint32_t value = 0;
    std::vector<std::unique_ptr<ItemEntry>> items;
};

// Hit-test codes.
constexpr int HIT_NOTHING = -1;
constexpr int HIT_FOLDER = 0;
constexpr int HIT_ITEM = 1;
constexpr int HIT_UP_ARROW = 2;
constexpr int HIT_DOWN_ARROW = 3;

struct HitResult {
    int code = HIT_NOTHING;
    int index = -1;
};

// Every plain member of the bar, with its initial value. The window adds only
// what needs Win32 (colours, cursors, pen, image lists).
struct BarModel {
    int folderButtonHeight = 22;
    int smallLabelGap = 4;
    int largeLabelGap = 3;
    int smallItemSpacing = 10;
    int largeItemSpacing = 8;
    int itemLeftInset = 5;
    int itemTopInset = 5;
    std::uint32_t flags = kInitialFlags;
    std::vector<std::unique_ptr<FolderEntry>> folders;
    int currentFolder = 1;
    int firstVisible = 0;
    int selectedItem = -1;
    int hotFolder = -1;
    int hotItem = -1;
    bool hotItemPressed = false;
    bool lastDrawnPressed = false;
    int dropMarkIndex = -1;
    int dropMarkKind = -1;
    Rect upArrowRect;
    Rect downArrowRect;
    bool upArrowShown = false;
    bool downArrowShown = false;
    bool upPressed = false;
    bool downPressed = false;
    int animationDelay = 10;
    int selectAnimPeriod = 0;
    int selectAnimStep = 0;
    int contextTargetKind = -1;
    int contextTargetIndex = -1;

    bool SmallView() const { return (flags & BAR_SMALL_ICONS) != 0; }
    int FolderCount() const { return static_cast<int>(folders.size()); }
    bool ValidFolder(int i) const { return i >= 0 && i < FolderCount(); }
    // The current folder, or null while it is not a valid index.
    const FolderEntry* Current() const;
    FolderEntry* Current();
    int ItemCount() const;
    bool ValidItem(int k) const { return k >= 0 && k < ItemCount(); }
    // The selected item if it still names an item of the current folder, else -1.
    int SelectedItemChecked() const { return ValidItem(selectedItem) ? selectedItem : -1; }

    // Data operations; an index out of range changes nothing.
    int AppendFolder(const char* name, std::uint32_t value);
    // Returns the position used, or -1 for a folder index out of range.
    int InsertFolderItem(int folder, int position, const char* text, int image,
                         std::uint32_t value);
    // Returns false for an index out of range.
    bool DeleteFolder(int folder);
    bool DeleteItem(int item);
    bool SetFolderText(int folder, const char* text);
    bool SetItemText(int item, const char* text);
    // Moves item `from` of the current folder so it lands at `to` (clamped to the end).
    bool MoveItem(int from, int to);
    // Returns true if the view changed.
    bool SetIconView(bool small);
};

// What the layout needs of the outside world: image sizes of the two lists and
// text measurement (width is the content width, for word-wrapped labels).
struct ImageListInfo {
    Size size;
    int count = 0;
};

struct BarEnv {
    std::optional<ImageListInfo> smallImages;
    std::optional<ImageListInfo> largeImages;
    int arrowSide = 16; // the system's vertical scroll bar width
    std::function<Size(const std::string& text, bool smallView, int width)> measureText;

    const std::optional<ImageListInfo>& ViewImages(bool smallView) const {
        return smallView ? smallImages : largeImages;
    }
};

enum class ItemPart { Icon, Label, Whole };

struct VisibleRange {
    int first = 0;
    int last = -1;
};

struct DropMark {
    Rect rect;
    int kind = -1; // 0 before the first item, 1 between items, 2 after the last
};

// The layout of one state and client size. Item sizes are measured once here.
class BarLayout {
public:
    // Slides paint another folder's items under the current layout: itemsFolder
    // and firstVisible then override the model's current folder and scroll.
    static constexpr int kFromModel = -2;
    BarLayout(const BarModel& model, Rect client, const BarEnv& env, int itemsFolder = kFromModel,
              int firstVisible = kFromModel);

    const FolderEntry* Folder() const { return m_folder; }
    int FirstVisible() const { return m_first; }

    const Rect& Client() const { return m_client; }
    std::optional<Rect> FolderButtonRect(int i) const;
    Rect ContentRect() const { return m_content; }
    Size MeasureItem(int k, ItemPart part) const;
    int ItemCount() const { return static_cast<int>(m_sizes.size()); }
    Rect ItemRect(int k) const;
    Rect IconRect(int k) const;
    Rect LabelRect(int k) const;
    // Where PaintItem draws the icon (the nudge's rest position) and the label.
    Point IconOrigin(int k) const;
    Point SmallLabelOrigin(int k) const;
    Rect LargeLabelBox(int k) const;
    VisibleRange VisibleItemRange() const;
    Rect UpArrowRect() const;
    Rect DownArrowRect() const;
    bool UpArrowNeeded() const;
    bool DownArrowNeeded() const;
    // The list can scroll one more item towards its end.
    bool CanScrollDown() const;
    HitResult HitTestPoint(Point p) const;
    DropMark DropMarkRect(int k) const;

private:
    struct Measured {
        Size icon;
        Size label;
        Size whole;
    };
    int Spacing() const;
    int ItemTop(int k) const; // y(k), before scrolling
    int ScrollOffset() const;

    const BarModel& m_model;
    Rect m_client;
    Rect m_content;
    bool m_small;
    int m_arrowSide;
    const FolderEntry* m_folder = nullptr;
    int m_first;
    std::vector<Measured> m_sizes;
};

// Places the scroll arrows and records whether they are shown, as a paint does.
void PlaceArrows(BarModel& model, const BarLayout& layout);

// One tick of the selected-icon nudge: advances the step and returns the offset
// to draw, or nothing on the ticks that draw nothing.
std::optional<Point> NextNudgeStep(int& step);

} // namespace bar
