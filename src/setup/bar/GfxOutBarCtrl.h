// The Outlook-style bar: folder buttons stacked above and below a content area
// of icon items. Layout is BarGeometry's; this class paints and handles input.
#pragma once

#include "BarGeometry.h"
#include "BarLabelEdit.h"
#include "BarResource.h"
#include "Window.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace bar {

// Sent (never posted) to the owner, else the parent; wParam is one of the codes.
constexpr UINT WM_BAR_NOTIFY = WM_USER + 1;
constexpr WPARAM BAR_ITEM_CLICKED = 1;
constexpr WPARAM BAR_ITEM_RENAMED = 2;
constexpr WPARAM BAR_FOLDER_RENAMED = 3;
constexpr WPARAM BAR_ITEM_DRAGGED = 4;
constexpr WPARAM BAR_FOLDER_CHANGED = 5;

constexpr UINT_PTR TIMER_HOVER = 1;
constexpr UINT_PTR TIMER_ARROW_REPEAT = 2;
constexpr UINT_PTR TIMER_SELECT_ANIM = 3;
constexpr UINT kHoverPeriod = 100;
constexpr UINT kArrowRepeatPeriod = 300;

constexpr UINT ID_BAR_SMALL_ICONS = 50000;
constexpr UINT ID_BAR_LARGE_ICONS = 50001;
constexpr UINT ID_BAR_RENAME = 50002;
constexpr UINT ID_BAR_REMOVE = 50003;

// Cursor resources of the library.
constexpr int IDC_BAR_DRAG = IDC_BAR_DRAG_RES;
constexpr int IDC_BAR_FOLDER = IDC_BAR_FOLDER_RES;
constexpr int IDC_BAR_NODROP = IDC_BAR_NODROP_RES;

// Built on the bar's stack, valid only while the notification is being sent.
struct BarNotifyRecord {
    std::int32_t index;      // folder or item (renames)
    const char* text;        // the new text (renames)
    std::int32_t dragFolder; // current folder (drags)
    std::int32_t dragItem;   // the dragged item (drags)
};
#if defined(_WIN64)
static_assert(sizeof(BarNotifyRecord) == 24 && offsetof(BarNotifyRecord, dragItem) == 20);
#else
static_assert(sizeof(BarNotifyRecord) == 16 && offsetof(BarNotifyRecord, dragItem) == 12);
#endif

class CGfxOutBarCtrl : public fw::CWindow {
    FW_DECLARE_DYNCREATE(CGfxOutBarCtrl)
public:
    CGfxOutBarCtrl();
    ~CGfxOutBarCtrl() override;

    bool Create(DWORD style, const RECT& rect, HWND parent, UINT id, DWORD flags);

    // which: 1 small, 2 large; returns the previous list, null for another which.
    HIMAGELIST SetBarImageList(HIMAGELIST list, int which);
    void SetSelectionAnimation(int periodMs);
    int AppendFolder(const char* name, DWORD value);
    int InsertFolderItem(int folder, int position, const char* text, int image, DWORD value);
    void SelectFolder(int index);
    int GetSelectedFolder() const { return m_model.currentFolder; }
    int GetFolderCount() const { return m_model.FolderCount(); }
    int GetItemCount() const { return m_model.ItemCount(); }
    void SetIconView(bool small);
    bool UsesSmallIcons() const { return m_model.SmallView(); }
    void DeleteFolder(int index);
    void DeleteItem(int index);
    void SetFolderText(int index, const char* text);
    void SetItemText(int index, const char* text);
    void BeginFolderRename(int index);
    void BeginItemRename(int index);
    HitResult HitTestPoint(POINT point) const;

    // Pause between frames of a folder slide, in ms; negative switches it off.
    void SetAnimationDelay(int ms) { m_model.animationDelay = ms; }
    // How the slide waits out that delay between frames; an empty one restores ::Sleep.
    void SetFramePause(std::function<void(DWORD ms)> pause) {
        m_framePause = pause ? std::move(pause) : SleepPause;
    }
    // Every plain member, for the owner and for tests to read.
    const BarModel& Model() const { return m_model; }
    BarModel& Model() { return m_model; }
    BarLayout Layout() const;
    // The open in-place editor, or null.
    CBarLabelEdit* Editor() const { return m_editor; }

    // Update handlers of the four commands: the enabled state to show, or
    // nothing when the command's state is left alone.
    std::optional<bool> UpdateCommandEnabled(UINT id) const;

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC dc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnMouseMove(UINT flags, POINT point) override;
    void OnLButtonDown(UINT flags, POINT point) override;
    void OnTimer(UINT_PTR id) override;
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    friend class CBarLabelEdit;

    BarEnv Env() const;
    std::optional<Rect> FolderRect(int i) const { return Layout().FolderButtonRect(i); }
    LRESULT Notify(WPARAM code, LPARAM arg) const;
    HIMAGELIST ViewImages() const { return m_model.SmallView() ? m_smallImages : m_largeImages; }
    bool EditorHasFocus() const;

    // Painting.
    void PaintFolderButton(HDC dc, int i, Rect r, bool pressed) const;
    void PaintContent(HDC dc, const BarLayout& layout, int bottomLimit) const;
    void PaintItem(HDC dc, const BarLayout& layout, int k, Rect r) const;
    void PaintArrow(HDC dc, const Rect& r, bool up, bool pushed) const;
    void SetHotFolder(int i);
    void SetHotItem(int k, bool pressed);
    void ShowDropMark(HDC dc, int k);
    void NudgeSelectedIcon(int dx, int dy);
    void SlideFolders(int from, int to);

    // Gestures.
    void FolderGesture(int index);
    void ItemGesture(int index);
    void ArrowGesture(bool up);
    void ClickItem(int index);
    void ScrollStep(bool up);

    void InvalidateBarRect(const Rect& r, bool erase) const;

    // Rename in place.
    std::unique_ptr<CBarLabelEdit> NewEditor(int targetIndex, int kind);
    // Creates the editor's window and gives it the focus; null if it could not be made.
    CBarLabelEdit* OpenEditor(std::unique_ptr<CBarLabelEdit> editor, const Rect& r, DWORD style,
                              const char* text);
    // Tells the owner of a finished rename and, if it agrees, takes the new text.
    void CommitRename(const CBarLabelEdit& editor);
    // An editor's window is gone: the editor goes with it.
    void EditorGone(const CBarLabelEdit& editor);

    BarModel m_model;
    COLORREF m_background;
    COLORREF m_buttonEdge;
    COLORREF m_itemText;
    COLORREF m_face;
    COLORREF m_highlight;
    COLORREF m_darkShadow;
    HIMAGELIST m_smallImages = nullptr;
    HIMAGELIST m_largeImages = nullptr;
    HCURSOR m_folderCursor;
    HCURSOR m_dragCursor;
    HCURSOR m_noDropCursor;
    fw::Pen m_markPen;
    fw::Timer m_hoverTimer;
    fw::Timer m_selectTimer;
    static void SleepPause(DWORD ms) { ::Sleep(ms); }
    std::function<void(DWORD ms)> m_framePause = SleepPause;
    HCURSOR m_loopCursor = nullptr; // set while an item gesture runs
    // Every editor whose window still exists: one replaced by a newer one lives
    // until its posted close has run.
    std::vector<std::unique_ptr<CBarLabelEdit>> m_editors;
    CBarLabelEdit* m_editor = nullptr; // the open one, the only one listened to
};

} // namespace bar
