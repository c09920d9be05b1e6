#include "HtmlView.h"

#include "HelpPath.h"

#include <exdisp.h>
#include <oleidl.h>

#include <vector>

namespace fw {

namespace {

struct SysFreeClose {
    void operator()(BSTR text) const { ::SysFreeString(text); }
};
using BString = UniqueHandle<BSTR, SysFreeClose>;

// mshtml's document class: present only where a web engine is installed.
const CLSID kHtmlDocumentClass = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

} // namespace

std::wstring ResourceModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(ResourceModule(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

// The container side of the browser control: client site, in-place site and
// frame in one object, owned by the view (the control is closed before it goes).
class BrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit BrowserSite(HWND window) : window_(window) {}
    virtual ~BrowserSite() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *out = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleWindow))
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceFrame) ||
                 IsEqualIID(riid, IID_IOleInPlaceUIWindow))
            *out = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out)
            return E_POINTER;
        *out = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (frame)
            *frame = static_cast<IOleInPlaceFrame*>(this);
        if (doc)
            *doc = nullptr;
        RECT client{};
        ::GetClientRect(window_, &client);
        if (position)
            *position = client;
        if (clip)
            *clip = client;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = window_;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    HWND window_;
};

struct CHtmlView::Browser {
    explicit Browser(HWND window) : site(window) {}
    ~Browser() { Close(); }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool Open(HWND window) {
        // The browser object can exist without a web engine behind it (Wine
        // without mshtml shows a blank page); without the engine we fall back.
        {
            ComPtr<IUnknown> engine;
            if (FAILED(::CoCreateInstance(kHtmlDocumentClass, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IUnknown, reinterpret_cast<void**>(engine.put()))) ||
                !engine)
                return false;
        }
        if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleObject, reinterpret_cast<void**>(ole.put()))) ||
            !ole)
            return false;
        if (FAILED(ole.get()->SetClientSite(static_cast<IOleClientSite*>(&site)))) {
            ole.reset();
            return false;
        }
        RECT client{};
        ::GetClientRect(window, &client);
        if (FAILED(ole.get()->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                     static_cast<IOleClientSite*>(&site), 0, window, &client)) ||
            FAILED(
                ole.get()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(web.put()))) ||
            !web) {
            Close();
            return false;
        }
        return true;
    }
    void Resize(const RECT& client) {
        ComPtr<IOleInPlaceObject> inPlace = InPlaceObject();
        if (inPlace)
            inPlace.get()->SetObjectRects(&client, &client);
    }
    ComPtr<IOleInPlaceObject> InPlaceObject() {
        ComPtr<IOleInPlaceObject> inPlace;
        if (!ole || FAILED(ole.get()->QueryInterface(IID_IOleInPlaceObject,
                                                     reinterpret_cast<void**>(inPlace.put()))))
            return ComPtr<IOleInPlaceObject>();
        return inPlace;
    }
    void Close() {
        web.reset();
        if (!ole)
            return;
        ComPtr<IOleInPlaceObject> inPlace = InPlaceObject();
        if (inPlace)
            inPlace.get()->InPlaceDeactivate();
        ole.get()->Close(OLECLOSE_NOSAVE);
        ole.get()->SetClientSite(nullptr);
        ole.reset();
    }

    BrowserSite site;
    ComPtr<IOleObject> ole;
    ComPtr<IWebBrowser2> web;
};

CHtmlView::CHtmlView() = default;

CHtmlView::~CHtmlView() {
    // The control goes first: it still talks to its site while closing.
    browser_.reset();
}

bool CHtmlView::HasBrowser() const {
    return browser_ && browser_->web;
}

int CHtmlView::OnCreate(CREATESTRUCTW* create) {
    if (CWindow::OnCreate(create) == -1)
        return -1;
    auto browser = std::make_unique<Browser>(Hwnd());
    if (browser->Open(Hwnd()))
        browser_ = std::move(browser);
    else
        ShowFallback(L"The help page cannot be shown here: no web browser control is available.");
    return 0;
}

void CHtmlView::ShowFallback(const std::wstring& text) {
    if (browser_)
        browser_.reset();
    if (!fallback_) {
        const RECT r = ClientRect();
        fallback_ = ::CreateWindowExW(
            0, L"EDIT", L"",
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
            r.right, r.bottom, Hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(1)),
            ResourceModule(), nullptr);
        if (fallback_)
            ::SendMessageW(fallback_, WM_SETFONT,
                           reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    if (fallback_)
        ::SetWindowTextW(fallback_, text.c_str());
}

bool CHtmlView::Navigate(const std::wstring& location) {
    location_ = location;
    if (HasBrowser()) {
        BString url(::SysAllocString(location.c_str()));
        VARIANT empty;
        ::VariantInit(&empty);
        if (url &&
            SUCCEEDED(browser_->web.get()->Navigate(url.get(), &empty, &empty, &empty, &empty)))
            return true;
    }
    ShowFallback(L"The help page cannot be shown here: no web browser control is available.\r\n"
                 L"\r\nPage: " +
                 location);
    return false;
}

void CHtmlView::OpenHelpPage(const wchar_t* format) {
    if (!Hwnd())
        return;
    const LONG_PTR ex = ::GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE);
    ::SetWindowLongPtrW(Hwnd(), GWL_EXSTYLE, ex | WS_EX_STATICEDGE);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::wstring path;
    const std::wstring module = ResourceModulePath();
    if (!BuildHelpPagePath(module, format, &path)) {
        location_.clear();
        ShowFallback(L"The help page path would be longer than 259 characters; the library's "
                     L"folder is:\r\n" +
                     ModuleFolder(module));
        return;
    }
    Navigate(path);
}

void CHtmlView::OnSize(UINT type, int cx, int cy) {
    Default();
    const RECT client{0, 0, cx, cy};
    if (browser_)
        browser_->Resize(client);
    if (fallback_)
        ::MoveWindow(fallback_, 0, 0, cx, cy, TRUE);
}

void CHtmlView::OnDestroy() {
    browser_.reset();
    CWindow::OnDestroy();
}

} // namespace fw
