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
    : m_model(model), m_client(client), m_content(client), m_small(model.SmallView()),
      m_arrowSide(env.arrowSide),
      m_first(firstVisible == kFromModel ? model.firstVisible : firstVisible) {
    const int n = model.FolderCount();
    const int s = model.currentFolder;
    const int h = model.folderButtonHeight;
    if (n > 0) {
        m_content.top = client.top + h * (s + 1) - 1;
        m_content.bottom = client.bottom - h * (n - s - 1);
    }
    if (itemsFolder == kFromModel) {
        m_folder = model.Current();
    } else if (model.ValidFolder(itemsFolder)) {
        m_folder = model.folders[static_cast<size_t>(itemsFolder)].get();
    }
    if (m_folder == nullptr) {
        return;
    }
    const FolderEntry* folder = m_folder;
    const auto& images = env.ViewImages(m_small);
    m_sizes.reserve(folder->items.size());
    for (const auto& item : folder->items) {
        Measured m;
        if (item->image >= 0 && images && item->image < images->count) {
            m.icon = images->size;
        }
        if (item->text && env.measureText) {
            m.label = env.measureText(*item->text, m_small, m_content.Width());
        }
        if (m_small) {
            m.whole = {m.icon.cx + model.smallLabelGap + m.label.cx,
                       std::max(m.icon.cy, m.label.cy)};
        } else {
            m.whole = {std::max(m.icon.cx, m.label.cx),
                       m.icon.cy + model.largeLabelGap + m.label.cy + model.largeItemSpacing};
        }
        m_sizes.push_back(m);
    }
}

std::optional<Rect> BarLayout::FolderButtonRect(int i) const {
    const int n = m_model.FolderCount();
    if (i < 0 || i >= n) {
        return std::nullopt;
    }
    const int h = m_model.folderButtonHeight;
    const Rect& c = m_client;
    if (i > m_model.currentFolder) {
        return Rect{c.left, c.bottom - h * (n - i), c.right, c.bottom - h * (n - i - 1)};
    }
    return Rect{c.left, c.top + h * i - 1, c.right, c.top + h * (i + 1) - 1};
}

Size BarLayout::MeasureItem(int k, ItemPart part) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Measured& m = m_sizes[static_cast<size_t>(k)];
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
    return m_small ? m_model.smallItemSpacing : m_model.largeItemSpacing;
}

int BarLayout::ItemTop(int k) const {
    int y = m_content.top;
    const int count = std::min(k, ItemCount());
    for (int j = 0; j < count; ++j) {
        y += m_sizes[static_cast<size_t>(j)].whole.cy + Spacing();
    }
    return y;
}

int BarLayout::ScrollOffset() const {
    return ItemTop(std::max(m_first, 0)) - m_content.top;
}

Rect BarLayout::ItemRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Size whole = m_sizes[static_cast<size_t>(k)].whole;
    const int y = ItemTop(k) - ScrollOffset();
    Rect r{m_content.left, y, m_content.left + whole.cx, y + whole.cy};
    r.left += m_model.itemLeftInset;
    r.top += m_model.itemTopInset;
    r.bottom += m_model.itemTopInset;
    if (!m_small) {
        r.left = m_content.left;
        r.right = m_content.right;
    }
    return r;
}

Rect BarLayout::IconRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Size icon = m_sizes[static_cast<size_t>(k)].icon;
    const int y1 = ItemTop(k) + Spacing() - ScrollOffset();
    if (m_small) {
        const int x0 = m_content.left + m_model.itemLeftInset + 2;
        const int top = y1 - m_model.itemTopInset;
        return {x0, top, x0 + icon.cx, top + icon.cy};
    }
    const int x = m_content.left + (m_content.Width() - icon.cx) / 2;
    return {x, y1 - 3, x + icon.cx, y1 + icon.cy - 2};
}

Rect BarLayout::LabelRect(int k) const {
    if (k < 0 || k >= ItemCount()) {
        return {};
    }
    const Measured& m = m_sizes[static_cast<size_t>(k)];
    const int y1 = ItemTop(k) + Spacing() - ScrollOffset();
    if (m_small) {
        const int x0 = m_content.left + m_model.itemLeftInset + 2;
        const int top = y1 + m_model.itemTopInset - 5;
        return {x0, top, x0 + m.whole.cx, top + m.whole.cy};
    }
    const int x = m_content.left + (m_content.Width() - m.whole.cx) / 2;
    const int b = y1 + m.whole.cy - 2 - m_model.largeItemSpacing;
    return {x, b - m.label.cy, x + m.whole.cx, b};
}

Point BarLayout::IconOrigin(int k) const {
    const Rect r = ItemRect(k);
    const Size icon = MeasureItem(k, ItemPart::Icon);
    if (m_small) {
        return {r.left + 2, r.top + (r.Height() - icon.cy) / 2};
    }
    return {r.left + (r.Width() - icon.cx) / 2, r.top};
}

Point BarLayout::SmallLabelOrigin(int k) const {
    const Rect r = ItemRect(k);
    return {r.left + MeasureItem(k, ItemPart::Icon).cx + m_model.smallLabelGap, r.top};
}

Rect BarLayout::LargeLabelBox(int k) const {
    Rect r = ItemRect(k);
    r.top += MeasureItem(k, ItemPart::Icon).cy + m_model.largeLabelGap;
    return r;
}

VisibleRange BarLayout::VisibleItemRange() const {
    VisibleRange v;
    v.first = m_first;
    v.last = v.first - 1;
    for (int k = std::max(v.first, 0); k < ItemCount(); ++k) {
        if (ItemRect(k).bottom > m_content.bottom) {
            break;
        }
        v.last = k;
    }
    return v;
}

Rect BarLayout::UpArrowRect() const {
    const int side = m_arrowSide;
    const int left = m_content.right - side - 5;
    return {left, m_content.top + 5, left + side, m_content.top + 5 + side};
}

Rect BarLayout::DownArrowRect() const {
    const int side = m_arrowSide;
    const int left = m_content.right - side - 5;
    return {left, m_content.bottom - side - 5, left + side, m_content.bottom - 5};
}

bool BarLayout::UpArrowNeeded() const {
    return m_first > 0;
}

bool BarLayout::DownArrowNeeded() const {
    return VisibleItemRange().last < ItemCount() - 1;
}

bool BarLayout::CanScrollDown() const {
    return ItemCount() > 0 && ItemRect(ItemCount() - 1).bottom > m_content.bottom;
}

HitResult BarLayout::HitTestPoint(Point p) const {
    if (m_model.upArrowShown && m_model.upArrowRect.Contains(p)) {
        return {HIT_UP_ARROW, -1};
    }
    if (m_model.downArrowShown && m_model.downArrowRect.Contains(p)) {
        return {HIT_DOWN_ARROW, -1};
    }
    for (int i = 0; i < m_model.FolderCount(); ++i) {
        if (FolderButtonRect(i)->Contains(p)) {
            return {HIT_FOLDER, i};
        }
    }
    for (int k = std::max(m_first, 0); k < ItemCount(); ++k) {
        const Rect item = ItemRect(k);
        if (m_small) {
            if (item.Contains(p)) {
                return {HIT_ITEM, k};
            }
        } else {
            Rect label = LabelRect(k);
            label.top -= m_model.largeLabelGap;
            if (IconRect(k).Contains(p) || label.Contains(p)) {
                return {HIT_ITEM, k};
            }
        }
        if (item.top > m_content.bottom) {
            break;
        }
    }
    return {};
}

DropMark BarLayout::DropMarkRect(int k) const {
    const int count = ItemCount();
    const Rect w{m_content.left + 2, m_content.top, m_content.right - 2, m_content.bottom};
    if (count == 0 || k < 0) {
        // Nothing to mark against: a mark at the top of the empty list.
        const int y = m_content.top + m_model.itemTopInset - 4;
        return {{w.left, y + 2, w.right, y + 7}, 0};
    }
    const int y = k < count ? ItemRect(k).top - 4 : ItemRect(count - 1).bottom + 6;
    if (k == 0) {
        return {{w.left, y + 2, w.right, y + 7}, 0};
    }
    if (k < count) {
        Rect r{w.left, y - 9, w.right, y};
        if (m_small) {
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
