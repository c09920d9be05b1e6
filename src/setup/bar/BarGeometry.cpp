#include "BarGeometry.h"

#include <algorithm>

namespace bar {

namespace {

std::optional<std::string> CopyText(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

} // namespace

const FolderEntry* BarModel::Current() const {
    return ValidFolder(currentFolder) ? folders[static_cast<size_t>(currentFolder)].get() : nullptr;
}

FolderEntry* BarModel::Current() {
    return ValidFolder(currentFolder) ? folders[static_cast<size_t>(currentFolder)].get() : nullptr;
}

int BarModel::ItemCount() const {
    const FolderEntry* f = Current();
    return f ? static_cast<int>(f->items.size()) : 0;
}

int BarModel::AppendFolder(const char* name, std::uint32_t value) {
    auto f = std::make_unique<FolderEntry>();
    f->name = CopyText(name);
    f->value = value;
    folders.push_back(std::move(f));
    return FolderCount() - 1;
}

int BarModel::InsertFolderItem(int folder, int position, const char* text, int image,
                               std::uint32_t value) {
    if (!ValidFolder(folder)) {
        return -1;
    }
    auto& items = folders[static_cast<size_t>(folder)]->items;
    auto item = std::make_unique<ItemEntry>();
    item->image = image;
    item->text = CopyText(text);
    item->value = value;
    if (position < 0 || position > static_cast<int>(items.size())) {
        position = static_cast<int>(items.size());
    }
    items.insert(items.begin() + position, std::move(item));
    return position;
}

bool BarModel::DeleteFolder(int folder) {
    if (!ValidFolder(folder)) {
        return false;
    }
    folders.erase(folders.begin() + folder);
    if (currentFolder >= folder) {
        currentFolder -= 1;
        if (currentFolder < 0 && !folders.empty()) {
            currentFolder = 0;
        }
    }
    return true;
}

bool BarModel::DeleteItem(int item) {
    FolderEntry* f = Current();
    if (f == nullptr || !ValidItem(item)) {
        return false;
    }
    f->items.erase(f->items.begin() + item);
    return true;
}

bool BarModel::SetFolderText(int folder, const char* text) {
    if (!ValidFolder(folder)) {
        return false;
    }
    folders[static_cast<size_t>(folder)]->name = CopyText(text);
    return true;
}

bool BarModel::SetItemText(int item, const char* text) {
    FolderEntry* f = Current();
    if (f == nullptr || !ValidItem(item)) {
        return false;
    }
    f->items[static_cast<size_t>(item)]->text = CopyText(text);
    return true;
}

bool BarModel::MoveItem(int from, int to) {
    FolderEntry* f = Current();
    if (f == nullptr || !ValidItem(from) || to < 0) {
        return false;
    }
    auto moved = std::move(f->items[static_cast<size_t>(from)]);
    f->items.erase(f->items.begin() + from);
    to = std::min(to, static_cast<int>(f->items.size()));
    f->items.insert(f->items.begin() + to, std::move(moved));
    return true;
}

bool BarModel::SetIconView(bool small) {
    firstVisible = 0;
    if (small == SmallView()) {
        return false;
    }
    if (small) {
        flags |= BAR_SMALL_ICONS;
    } else {
        flags &= ~BAR_SMALL_ICONS;
    }
    return true;
}

BarLayout::BarLayout(const BarModel& model, Rect client, const BarEnv& env, int itemsFolder,
                     int firstVisible)
    : model_(model), client_(client), content_(client), small_(model.SmallView()),
      arrowSide_(env.arrowSide),
      first_(firstVisible == kFromModel ? model.firstVisible : firstVisible) {
    const int n = model.FolderCount();
    const int s = model.currentFolder;
    const int h = model.folderButtonHeight;
    if (n > 0) {
        content_.top = client.top + h * (s + 1) - 1;
        content_.bottom = client.bottom - h * (n - s - 1);
    }
    if (itemsFolder == kFromModel) {
        folder_ = model.Current();
    } else if (model.ValidFolder(itemsFolder)) {
        folder_ = model.folders[static_cast<size_t>(itemsFolder)].get();
    }
    if (folder_ == nullptr) {
        return;
    }
    const FolderEntry* folder = folder_;
    const auto& images = env.ViewImages(small_);
    sizes_.reserve(folder->items.size());
    for (const auto& item : folder->items) {
        Measured m;
        if (item->image >= 0 && images && item->image < images->count) {
            m.icon = images->size;
        }
        if (item->text && env.measureText) {
            m.label = env.measureText(*item->text, small_, content_.Width());
        }
        if (small_) {
            m.whole = {m.icon.cx + model.smallLabelGap + m.label.cx,
                       std::max(m.icon.cy, m.label.cy)};
        } else {
            m.whole = {std::max(m.icon.cx, m.label.cx),
                       m.icon.cy + model.largeLabelGap + m.label.cy + model.largeItemSpacing};
        }
        sizes_.push_back(m);
    }
}

std::optional<Rect> BarLayout::FolderButtonRect(int i) const {
    const int n = model_.FolderCount();
    if (i < 0 || i >= n) {
        return std::nullopt;
    }
    const int h = model_.folderButtonHeight;
    const Rect& c = client_;
    if (i > model_.currentFolder) {
        return Rect{c.left, c.bottom - h * (n - i), c.right, c.bottom - h * (n - i - 1)};
    }
    return Rect{c.left, c.top + h * i - 1, c.right, c.top + h * (i + 1) - 1};
}

Size BarLayout::MeasureItem(int k, ItemPart part) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Measured& m = sizes_[static_cast<size_t>(k)];
    switch (part) {
    case ItemPart::Icon:
        return m.icon;
    case ItemPart::Label:
        return m.label;
    case ItemPart::Whole:
        break;
    }
    return m.whole;
}

int BarLayout::Spacing() const {
    return small_ ? model_.smallItemSpacing : model_.largeItemSpacing;
}

int BarLayout::ItemTop(int k) const {
    int y = content_.top;
    const int count = std::min(k, ItemCount());
    for (int j = 0; j < count; ++j) {
        y += sizes_[static_cast<size_t>(j)].whole.cy + Spacing();
    }
    return y;
}

int BarLayout::ScrollOffset() const {
    return ItemTop(std::max(first_, 0)) - content_.top;
}

Rect BarLayout::ItemRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Size whole = sizes_[static_cast<size_t>(k)].whole;
    const int y = ItemTop(k) - ScrollOffset();
    Rect r{content_.left, y, content_.left + whole.cx, y + whole.cy};
    r.left += model_.itemLeftInset;
    r.top += model_.itemTopInset;
    r.bottom += model_.itemTopInset;
    if (!small_) {
        r.left = content_.left;
        r.right = content_.right;
    }
    return r;
}

Rect BarLayout::IconRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Size icon = sizes_[static_cast<size_t>(k)].icon;
    const int y1 = ItemTop(k) + Spacing() - ScrollOffset();
    if (small_) {
        const int x0 = content_.left + model_.itemLeftInset + 2;
        const int top = y1 - model_.itemTopInset;
        return {x0, top, x0 + icon.cx, top + icon.cy};
    }
    const int x = content_.left + (content_.Width() - icon.cx) / 2;
    return {x, y1 - 3, x + icon.cx, y1 + icon.cy - 2};
}

Rect BarLayout::LabelRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Measured& m = sizes_[static_cast<size_t>(k)];
    const int y1 = ItemTop(k) + Spacing() - ScrollOffset();
    if (small_) {
        const int x0 = content_.left + model_.itemLeftInset + 2;
        const int top = y1 + model_.itemTopInset - 5;
        return {x0, top, x0 + m.whole.cx, top + m.whole.cy};
    }
    const int x = content_.left + (content_.Width() - m.whole.cx) / 2;
    const int b = y1 + m.whole.cy - 2 - model_.largeItemSpacing;
    return {x, b - m.label.cy, x + m.whole.cx, b};
}

Point BarLayout::IconOrigin(int k) const {
    const Rect r = ItemRect(k);
    const Size icon = MeasureItem(k, ItemPart::Icon);
    if (small_) {
        return {r.left + 2, r.top + (r.Height() - icon.cy) / 2};
    }
    return {r.left + (r.Width() - icon.cx) / 2, r.top};
}

Point BarLayout::SmallLabelOrigin(int k) const {
    const Rect r = ItemRect(k);
    return {r.left + MeasureItem(k, ItemPart::Icon).cx + model_.smallLabelGap, r.top};
}

Rect BarLayout::LargeLabelBox(int k) const {
    Rect r = ItemRect(k);
    r.top += MeasureItem(k, ItemPart::Icon).cy + model_.largeLabelGap;
    return r;
}

VisibleRange BarLayout::VisibleItemRange() const {
    VisibleRange v;
    v.first = first_;
    v.last = v.first - 1;
    for (int k = std::max(v.first, 0); k < ItemCount(); ++k) {
        if (ItemRect(k).bottom > content_.bottom) {
            break;
        }
        v.last = k;
    }
    return v;
}

Rect BarLayout::UpArrowRect() const {
    const int side = arrowSide_;
    const int left = content_.right - side - 5;
    return {left, content_.top + 5, left + side, content_.top + 5 + side};
}

Rect BarLayout::DownArrowRect() const {
    const int side = arrowSide_;
    const int left = content_.right - side - 5;
    return {left, content_.bottom - side - 5, left + side, content_.bottom - 5};
}

bool BarLayout::UpArrowNeeded() const {
    return first_ > 0;
}

bool BarLayout::DownArrowNeeded() const {
    return VisibleItemRange().last < ItemCount() - 1;
}

bool BarLayout::CanScrollDown() const {
    return ItemCount() > 0 && ItemRect(ItemCount() - 1).bottom > content_.bottom;
}

HitResult BarLayout::HitTestPoint(Point p) const {
    if (model_.upArrowShown && model_.upArrowRect.Contains(p)) {
        return {HIT_UP_ARROW, -1};
    }
    if (model_.downArrowShown && model_.downArrowRect.Contains(p)) {
        return {HIT_DOWN_ARROW, -1};
    }
    for (int i = 0; i < model_.FolderCount(); ++i) {
        if (FolderButtonRect(i)->Contains(p)) {
            return {HIT_FOLDER, i};
        }
    }
    for (int k = std::max(first_, 0); k < ItemCount(); ++k) {
        const Rect item = ItemRect(k);
        if (small_) {
            if (item.Contains(p)) {
                return {HIT_ITEM, k};
            }
        } else {
            Rect label = LabelRect(k);
            label.top -= model_.largeLabelGap;
            if (IconRect(k).Contains(p) || label.Contains(p)) {
                return {HIT_ITEM, k};
            }
        }
        if (item.top > content_.bottom) {
            break;
        }
    }
    return {};
}

DropMark BarLayout::DropMarkRect(int k) const {
    const int count = ItemCount();
    const Rect w{content_.left + 2, content_.top, content_.right - 2, content_.bottom};
    if (count == 0 || k < 0) {
        // Nothing to mark against: a mark at the top of the empty list.
        const int y = content_.top + model_.itemTopInset - 4;
        return {{w.left, y + 2, w.right, y + 7}, 0};
    }
    const int y = k < count ? ItemRect(k).top - 4 : ItemRect(count - 1).bottom + 6;
    if (k == 0) {
        return {{w.left, y + 2, w.right, y + 7}, 0};
    }
    if (k < count) {
        Rect r{w.left, y - 9, w.right, y};
        if (small_) {
            r = r.Offset(0, 8);
        }
        return {r, 1};
    }
    return {{w.left, y, w.right, y + 5}, 2};
}

void PlaceArrows(BarModel& model, const BarLayout& layout) {
    model.upArrowRect = layout.UpArrowRect();
    model.downArrowRect = layout.DownArrowRect();
    model.upArrowShown = layout.UpArrowNeeded();
    model.downArrowShown = layout.DownArrowNeeded();
}

std::optional<Point> NextNudgeStep(int& step) {
    step += 1;
    if (step > 10) {
        step = -1;
    }
    switch (step) {
    case 0:
        return Point{-1, 1};
    case 1:
    case 3:
        return Point{0, 0};
    case 2:
        return Point{1, 1};
    default:
        return std::nullopt;
    }
}

} // namespace bar
