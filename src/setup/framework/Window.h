// The window framework's base class: one C++ object per window, messages
// dispatched to typed virtual handlers, dynamic creation by class name.
//
// Message dispatch is one way for every window: CWindow::Dispatch cracks each
// message it knows into a typed virtual handler (OnPaint, OnSize, ...), and
// OnMessage is the one hook for the rest (WM_USER+n, registered messages).
// Virtual handlers rather than a message table per class, because:
//  - the compiler checks each handler's signature (`override`), where a table
//    entry casts a member pointer and a wrong signature fails at run time;
//  - a derived class handles a message by overriding it and reaches the base
//    behaviour by calling the base handler, with no chain of tables to keep;
//  - the setup window's classes handle a few dozen messages in all, so a
//    vtable slot per handler costs nothing worth a table's machinery.
#pragma once

#include "Handles.h"

#include <string>

namespace fw {

// The module that holds this code (the DLL in production, the test exe in
// tests); every resource of the setup window is loaded from it.
HINSTANCE ResourceModule();

// Name of the framework's one registered window class.
extern const wchar_t kWindowClassName[];

// Sent to a view right after the splitter created it without a creation context.
constexpr UINT WM_INITIALUPDATE = 0x0364;

class CWindow;
struct CreateContext;

// --- dynamic creation ------------------------------------------------------------

// One static object per class that can be created by name. Defining it (with
// FW_IMPLEMENT_DYNCREATE) links it into the process-wide list of classes.
struct RuntimeClass {
    RuntimeClass(const char* className, CWindow* (*factory)());
    RuntimeClass(const RuntimeClass&) = delete;
    RuntimeClass& operator=(const RuntimeClass&) = delete;

    const char* name;
    CWindow* (*create)();
    const RuntimeClass* next;

    // A new, window-less object of the class; null when it has no factory.
    CWindow* CreateObject() const { return create ? create() : nullptr; }
    // The class registered under this name, or null.
    static const RuntimeClass* FromName(const char* className);
};

// In the class body: FW_DECLARE_DYNCREATE(CMyView)
#define FW_DECLARE_DYNCREATE(cls)                                                                  \
public:                                                                                            \
    static const ::fw::RuntimeClass classInfo;                                                     \
    static ::fw::CWindow* CreateInstance();

// In one .cpp file: FW_IMPLEMENT_DYNCREATE(CMyView)
#define FW_IMPLEMENT_DYNCREATE(cls)                                                                \
    ::fw::CWindow* cls::CreateInstance() {                                                         \
        return new cls;                                                                            \
    }                                                                                              \
    const ::fw::RuntimeClass cls::classInfo(#cls, &cls::CreateInstance);

// The runtime class of a class; using it links the class's file in.
#define FW_RUNTIME_CLASS(cls) (&cls::classInfo)

// What a splitter passes to a view it creates; null means "send the initial
// update at once".
struct CreateContext {
    const RuntimeClass* viewClass = nullptr;
    void* data = nullptr;
};

// --- the window base -----------------------------------------------------------

class CWindow {
public:
    CWindow();
    virtual ~CWindow(); // destroys a window that still exists
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    // The framework object attached to a window, or null.
    static CWindow* FromHandle(HWND window);

    // Creates a window of the given class (null: the framework's class) and
    // attaches this object before WM_NCCREATE, so OnCreate sees it.
    bool Create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                const RECT& rect, HWND parent, UINT id, void* createParam = nullptr);
    // Creates this object as a view of a pane (the splitter calls it). The
    // default makes a framework-class child with the given style.
    virtual bool CreateView(HWND parent, UINT id, DWORD style, const RECT& rect,
                            CreateContext* context);
    void DestroyWindow();

    // Attaches to an existing window (e.g. a dialog's control) and routes its
    // messages here; the old procedure handles what we leave to Default().
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(UINT id, HWND parent);
    HWND UnsubclassWindow();

    // The window that receives this window's notifications (the parent unless set).
    void SetOwner(HWND owner) { m_owner = owner; }
    HWND GetOwner() const;

    // Called by the modal and message loops before translation; true consumes
    // the message. Default: false.
    virtual bool PreTranslateMessage(MSG* msg);

    // Processes the current message as the window would without us.
    LRESULT Default();
    // The message being handled (valid inside a handler).
    const MSG& CurrentMessage() const { return m_current; }

    // --- small conveniences ---
    RECT ClientRect() const;
    RECT WindowRectInParent() const; // window rectangle in the parent's client coordinates
    void Invalidate(bool erase = true) const;
    void InvalidateRect(const RECT& rect, bool erase = true) const;
    int GetDlgCtrlID() const;
    void SetDlgCtrlID(int id) const;
    HWND GetDlgItem(int id) const;
    HWND GetParent() const;

protected:
    // Every message comes here first. The default dispatches to the handlers
    // below; override to handle messages of your own (call the base otherwise).
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A hook for messages without a typed handler (e.g. WM_USER+n): set
    // result and return true to handle the message.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Typed handlers: each default calls Default().
    virtual int OnCreate(CREATESTRUCTW* create);
    virtual void OnDestroy();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(HDC dc);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMouseMove(UINT flags, POINT point);
    virtual void OnLButtonDown(UINT flags, POINT point);
    virtual void OnLButtonUp(UINT flags, POINT point);
    virtual void OnLButtonDblClk(UINT flags, POINT point);
    virtual void OnRButtonDown(UINT flags, POINT point);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnSetFocus(HWND oldFocus);
    virtual void OnKillFocus(HWND newFocus);
    virtual void OnCaptureChanged(HWND newCapture);
    virtual LRESULT OnNcHitTest(POINT screenPoint);
    virtual BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
    // Return true when handled; otherwise Default() runs.
    virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
    // Return true when handled, with the reply in result.
    virtual bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Sent by the splitter after creating a view (WM_INITIALUPDATE). No-op.
    virtual void OnInitialUpdate();
    // After the window is gone (WM_NCDESTROY), once the object is detached.
    // Self-deleting windows `delete this` here.
    virtual void PostNcDestroy();

    // Dialog windows (CDialog, CFormView) route unhandled messages through
    // DefDlgProc's class procedure; the generic default is DefWindowProc.
    WNDPROC DefaultProc() const { return m_oldProc; }
    // Creates a dialog from an in-memory template with this object attached
    // before its first message.
    HWND CreateDialogAttached(HWND parent, const void* dialogTemplate, DLGPROC proc, LPARAM param);

private:
    friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
    friend void AttachPending(CWindow*, HWND);
    void Attach(HWND window, WNDPROC previous);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    HWND m_owner = nullptr;
    WNDPROC m_oldProc = nullptr;
    MSG m_current{};
};

// Runs a message loop until the window is destroyed or WM_QUIT arrives (it is
// re-posted). Dispatches PreTranslateMessage along the target's parent chain.
void RunMessageLoopUntilDestroyed(HWND window);
// Calls PreTranslateMessage from the message's window up to (and including) top.
bool PreTranslateChain(MSG* msg, HWND top);

// Wide text of a GBK (code page 936) string, as the setup texts are kept in code.
std::wstring GbkToWide(const char* text);
std::string WideToGbk(const wchar_t* text);

} // namespace fw
