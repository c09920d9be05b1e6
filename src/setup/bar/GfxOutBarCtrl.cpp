// The bar's state, operations, hover and timers, commands and the rename
// openers; painting and gestures have files of their own.
#include "GfxOutBarCtrl.h"

#include "BarGdi.h"

#include <windowsx.h>

#include <algorithm>

namespace bar {

namespace {

HCURSOR LoadBarCursor(int id, LPCWSTR fallback) {
    HCURSOR c = ::LoadCursorW(fw::ResourceModule(), MAKEINTRESOURCEW(id));
    return c ? c : ::LoadCursorW(nullptr, fallback);
}

POINT MessagePosInClient(HWND window, DWORD pos) {
    POINT p{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    ::ScreenToClient(window, &p);
    return p;
}

} // namespace

FW_IMPLEMENT_DYNCREATE(CGfxOutBarCtrl)

CGfxOutBarCtrl::CGfxOutBarCtrl()
    : m_background(::GetSysColor(COLOR_BACKGROUND)), m_buttonEdge(::GetSysColor(COLOR_BACKGROUND)),
      m_itemText(::GetSysColor(COLOR_WINDOW)), m_face(::GetSysColor(COLOR_BTNFACE)),
      m_highlight(::GetSysColor(COLOR_BTNHIGHLIGHT)), m_darkShadow(::GetSysColor(COLOR_3DDKSHADOW)),
      m_folderCursor(LoadBarCursor(IDC_BAR_FOLDER, MAKEINTRESOURCEW(32649)) /* IDC_HAND */),
      m_dragCursor(LoadBarCursor(IDC_BAR_DRAG, MAKEINTRESOURCEW(32646)) /* IDC_SIZEALL */),
      m_noDropCursor(LoadBarCursor(IDC_BAR_NODROP, MAKEINTRESOURCEW(32648)) /* IDC_NO */),
      m_markPen(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0))) {}

CGfxOutBarCtrl::~CGfxOutBarCtrl() {
    // Children (an open editor) must go while this object is still whole.
    m_hoverTimer.reset();
    m_selectTimer.reset();
    DestroyWindow();
}

bool CGfxOutBarCtrl::Create(DWORD style, const RECT& rect, HWND parent, UINT id, DWORD flags) {
    m_model.flags = flags;
    return fw::CWindow::Create(WS_EX_STATICEDGE, nullptr, nullptr, style | WS_CHILD, rect, parent,
                               id);
}

int CGfxOutBarCtrl::OnCreate(CREATESTRUCTW* create) {
    const int result = fw::CWindow::OnCreate(create);
    if (m_model.selectAnimPeriod > 0) {
        m_selectTimer =
            fw::StartTimer(Hwnd(), TIMER_SELECT_ANIM, static_cast<UINT>(m_model.selectAnimPeriod));
    }
    return result;
}

// --- operations ------------------------------------------------------------------------

HIMAGELIST CGfxOutBarCtrl::SetBarImageList(HIMAGELIST list, int which) {
    HIMAGELIST* slot = which == 1 ? &m_smallImages : which == 2 ? &m_largeImages : nullptr;
    if (slot == nullptr) {
        return nullptr;
    }
    HIMAGELIST previous = *slot;
    *slot = list;
    return previous;
}

void CGfxOutBarCtrl::SetSelectionAnimation(int periodMs) {
    m_model.selectAnimPeriod = periodMs;
    // Reset first: the new timer has the same id, and the old owner would kill it.
    m_selectTimer.reset();
    if (periodMs > 0 && Hwnd()) {
        m_selectTimer = fw::StartTimer(Hwnd(), TIMER_SELECT_ANIM, static_cast<UINT>(periodMs));
    }
}

int CGfxOutBarCtrl::AppendFolder(const char* name, DWORD value) {
    return m_model.AppendFolder(name, value);
}

int CGfxOutBarCtrl::InsertFolderItem(int folder, int position, const char* text, int image,
                                     DWORD value) {
    return m_model.InsertFolderItem(folder, position, text, image, value);
}

void CGfxOutBarCtrl::SetIconView(bool small) {
    if (m_model.SetIconView(small)) {
        InvalidateBarRect(Layout().ContentRect(), false);
    }
}

void CGfxOutBarCtrl::DeleteFolder(int index) {
    if (m_model.DeleteFolder(index)) {
        Invalidate(true);
    }
}

void CGfxOutBarCtrl::DeleteItem(int index) {
    if (m_model.DeleteItem(index)) {
        InvalidateBarRect(Layout().ContentRect(), true);
    }
}

void CGfxOutBarCtrl::SetFolderText(int index, const char* text) {
    m_model.SetFolderText(index, text);
}

void CGfxOutBarCtrl::SetItemText(int index, const char* text) {
    m_model.SetItemText(index, text);
}

void CGfxOutBarCtrl::SelectFolder(int index) {
    if (!m_model.ValidFolder(index)) {
        return;
    }
    if (index != m_model.currentFolder && (m_model.flags & BAR_ANIMATE_FOLDERS) &&
        m_model.animationDelay >= 0 && Hwnd()) {
        SlideFolders(m_model.currentFolder, index);
    }
    m_model.currentFolder = index;
    m_model.firstVisible = 0;
    m_model.selectedItem = -1;
    // The hot item named an item of the folder that is gone.
    m_model.hotItem = -1;
    Notify(BAR_FOLDER_CHANGED, index);
    Invalidate(true);
}

HitResult CGfxOutBarCtrl::HitTestPoint(POINT point) const {
    return Layout().HitTestPoint(FromPOINT(point));
}

BarEnv CGfxOutBarCtrl::Env() const {
    BarEnv env;
    auto info = [](HIMAGELIST list) -> std::optional<ImageListInfo> {
        if (list == nullptr) {
            return std::nullopt;
        }
        int cx = 0;
        int cy = 0;
        ::ImageList_GetIconSize(list, &cx, &cy);
        return ImageListInfo{{cx, cy}, ::ImageList_GetImageCount(list)};
    };
    env.smallImages = info(m_smallImages);
    env.largeImages = info(m_largeImages);
    env.arrowSide = ::GetSystemMetrics(SM_CXVSCROLL);
    HWND window = Hwnd();
    env.measureText = [window](const std::string& text, bool smallView, int width) {
        fw::WindowDC dc = fw::AcquireDC(window);
        fw::SelectedObject font(dc.get(), GuiFont());
        const std::wstring wide = fw::GbkToWide(text.c_str());
        if (smallView) {
            SIZE s{};
            ::GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &s);
            return Size{s.cx, s.cy};
        }
        RECT rc{0, 0, width, 0};
        ::DrawTextW(dc.get(), wide.c_str(), -1, &rc, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
        return Size{rc.right - rc.left, rc.bottom - rc.top};
    };
    return env;
}

BarLayout CGfxOutBarCtrl::Layout() const {
    return BarLayout(m_model, FromRECT(ClientRect()), Env());
}

LRESULT CGfxOutBarCtrl::Notify(WPARAM code, LPARAM arg) const {
    HWND target = GetOwner();
    return target ? ::SendMessageW(target, WM_BAR_NOTIFY, code, arg) : 0;
}

bool CGfxOutBarCtrl::EditorHasFocus() const {
    HWND focus = ::GetFocus();
    return focus != nullptr && ::IsChild(Hwnd(), focus);
}

void CGfxOutBarCtrl::InvalidateBarRect(const Rect& r, bool erase) const {
    InvalidateRect(ToRECT(r), erase);
}

std::optional<bool> CGfxOutBarCtrl::UpdateCommandEnabled(UINT id) const {
    switch (id) {
    case ID_BAR_SMALL_ICONS:
        return !m_model.SmallView();
    case ID_BAR_LARGE_ICONS:
        return m_model.SmallView();
    default:
        return std::nullopt;
    }
}

// --- mouse and timers ------------------------------------------------------------------

void CGfxOutBarCtrl::OnMouseMove(UINT flags, POINT point) {
    const HitResult hit = HitTestPoint(point);
    if (hit.code != HIT_FOLDER && m_model.hotFolder >= 0) {
        SetHotFolder(-1);
    }
    if (hit.code != HIT_ITEM && m_model.hotItem >= 0) {
        SetHotItem(-1, false);
    }
    if (hit.code == HIT_FOLDER || hit.code == HIT_ITEM) {
        if (hit.code == HIT_FOLDER) {
            SetHotFolder(hit.index);
        } else {
            SetHotItem(hit.index, false);
        }
        m_hoverTimer.reset();
        m_hoverTimer = fw::StartTimer(Hwnd(), TIMER_HOVER, kHoverPeriod);
    }
    fw::CWindow::OnMouseMove(flags, point);
}

void CGfxOutBarCtrl::OnTimer(UINT_PTR id) {
    if (id == TIMER_HOVER) {
        const POINT p = MessagePosInClient(Hwnd(), ::GetMessagePos());
        const RECT c = ClientRect();
        if (!::PtInRect(&c, p)) {
            SetHotFolder(-1);
            SetHotItem(-1, false);
            m_hoverTimer.reset();
        }
        return;
    }
    if (id == TIMER_SELECT_ANIM) {
        if (m_model.SelectedItemChecked() >= 0) {
            if (const auto d = NextNudgeStep(m_model.selectAnimStep)) {
                NudgeSelectedIcon(d->x, d->y);
            }
        }
        return;
    }
    if (id == TIMER_ARROW_REPEAT) {
        return; // a stray tick after its gesture ended
    }
    fw::CWindow::OnTimer(id);
}

BOOL CGfxOutBarCtrl::OnSetCursor(HWND window, UINT hitTest, UINT message) {
    if (m_loopCursor != nullptr) {
        ::SetCursor(m_loopCursor);
        return TRUE;
    }
    const POINT p = MessagePosInClient(Hwnd(), ::GetMessagePos());
    if (HitTestPoint(p).code == HIT_FOLDER) {
        ::SetCursor(m_folderCursor);
        return TRUE;
    }
    return fw::CWindow::OnSetCursor(window, hitTest, message);
}

// --- commands --------------------------------------------------------------------------

bool CGfxOutBarCtrl::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int kind = m_model.contextTargetKind;
    const int index = m_model.contextTargetIndex;
    switch (LOWORD(wParam)) {
    case ID_BAR_SMALL_ICONS:
    case ID_BAR_LARGE_ICONS:
        SetIconView(LOWORD(wParam) == ID_BAR_SMALL_ICONS);
        Invalidate(true);
        return true;
    case ID_BAR_RENAME:
        if (kind == 0) {
            BeginFolderRename(index);
        } else if (kind == 1) {
            BeginItemRename(index);
        }
        return true;
    case ID_BAR_REMOVE:
        if (kind == 0) {
            DeleteFolder(index);
        } else if (kind == 1) {
            DeleteItem(index);
        }
        return true;
    default:
        return fw::CWindow::OnCommand(wParam, lParam);
    }
}

bool CGfxOutBarCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_INITMENUPOPUP) {
        // A context menu built by an owner gets the view commands' states.
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        for (UINT id : {ID_BAR_SMALL_ICONS, ID_BAR_LARGE_ICONS}) {
            if (const auto enabled = UpdateCommandEnabled(id)) {
                ::EnableMenuItem(menu, id, MF_BYCOMMAND | (*enabled ? MF_ENABLED : MF_GRAYED));
            }
        }
        return false;
    }
    if (message != WM_BAR_NOTIFY) {
        return fw::CWindow::OnMessage(message, wParam, lParam, result);
    }
    result = 0;
    // Only our own open editor reports here.
    const auto* editor = reinterpret_cast<const CBarLabelEdit*>(lParam);
    if (editor != nullptr && editor == m_editor) {
        CommitRename(*editor);
    }
    return true;
}

// --- rename in place -------------------------------------------------------------------

std::unique_ptr<CBarLabelEdit> CGfxOutBarCtrl::NewEditor(int targetIndex, int kind) {
    std::unique_ptr<CBarLabelEdit> editor(new CBarLabelEdit(*this));
    editor->targetIndex = targetIndex;
    editor->kind = kind;
    return editor;
}

CBarLabelEdit* CGfxOutBarCtrl::OpenEditor(std::unique_ptr<CBarLabelEdit> editor, const Rect& r,
                                          DWORD style, const char* text) {
    if (!editor->Create(0, L"EDIT", L"", style, ToRECT(r), Hwnd(), 1)) {
        return nullptr;
    }
    CBarLabelEdit* opened = editor.get();
    m_editors.push_back(std::move(editor));
    const std::wstring wide = fw::GbkToWide(text);
    ::SetWindowTextW(opened->Hwnd(), wide.c_str());
    ::SendMessageW(opened->Hwnd(), EM_SETSEL, 0, -1);
    // A previous editor still open commits while losing the focus, so it must
    // still be the one we listen to until the new one has the focus.
    ::SetFocus(opened->Hwnd());
    m_editor = opened;
    return opened;
}

void CGfxOutBarCtrl::CommitRename(const CBarLabelEdit& editor) {
    BarNotifyRecord record{};
    record.index = editor.targetIndex;
    record.text = editor.text.c_str();
    if (editor.kind == CBarLabelEdit::kFolder) {
        if (Notify(BAR_FOLDER_RENAMED, reinterpret_cast<LPARAM>(&record)) != 0 &&
            m_model.SetFolderText(editor.targetIndex, editor.text.c_str())) {
            if (const auto r = FolderRect(editor.targetIndex)) {
                InvalidateBarRect(*r, false);
            }
        }
    } else if (Notify(BAR_ITEM_RENAMED, reinterpret_cast<LPARAM>(&record)) != 0 &&
               m_model.SetItemText(editor.targetIndex, editor.text.c_str())) {
        InvalidateBarRect(Layout().ContentRect(), true);
    }
}

void CGfxOutBarCtrl::EditorGone(const CBarLabelEdit& editor) {
    if (m_editor == &editor) {
        m_editor = nullptr;
    }
    const auto owned = std::find_if(m_editors.begin(), m_editors.end(),
                                    [&](const auto& e) { return e.get() == &editor; });
    // The framework is done with the object once its window is gone.
    if (owned != m_editors.end()) {
        m_editors.erase(owned);
    }
}

void CGfxOutBarCtrl::BeginFolderRename(int index) {
    const auto button = FolderRect(index);
    if (!button || !Hwnd()) {
        return;
    }
    const auto& name = m_model.folders[static_cast<size_t>(index)]->name;
    const CBarLabelEdit* editor =
        OpenEditor(NewEditor(index, CBarLabelEdit::kFolder), button->Inflate(-2, -2),
                   WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE, name ? name->c_str() : "");
    if (editor == nullptr) {
        return;
    }
    HWND e = editor->Hwnd();
    ::SetWindowLongPtrW(e, GWL_EXSTYLE, ::GetWindowLongPtrW(e, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    ::SetWindowPos(e, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CGfxOutBarCtrl::BeginItemRename(int index) {
    if (!m_model.ValidItem(index) || !Hwnd()) {
        return;
    }
    const BarLayout layout = Layout();
    Rect r = layout.LabelRect(index);
    auto editor = NewEditor(index, CBarLabelEdit::kItem);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER;
    if (m_model.SmallView()) {
        r = r.Offset(layout.IconRect(index).Width() + 1, -6);
        editor->growSingleLine = true;
        style |= ES_AUTOHSCROLL;
    } else {
        const Rect content = layout.ContentRect();
        r.left = content.left + 5;
        r.right = content.right - 5;
        r.bottom += 5;
        style |= ES_CENTER | ES_MULTILINE;
    }
    const auto& text = m_model.Current()->items[static_cast<size_t>(index)]->text;
    OpenEditor(std::move(editor), r, style, text ? text->c_str() : "");
}

} // namespace bar
