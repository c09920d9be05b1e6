#include "HtmlView.h"

#include "HelpPath.h"
#include "platform/win32/ModulePath.h"

#include <exdisp.h>
#include <oleidl.h>
#include <richedit.h>

#include <cstring>
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

// Texts of the fallback, in the window's language (GBK, as the setup texts).
const char kNoBrowser[] =
    "\xB4\xCB\xB4\xA6\xC3\xBB\xD3\xD0\xBF\xC9\xD3\xC3\xB5\xC4\xCD\xF8\xD2\xB3\xE4\xAF"
    "\xC0\xC0\xC6\xF7\xBF\xD8\xBC\xFE\xA3\xAC\xB0\xEF\xD6\xFA\xD2\xD4\xCE\xC4"
    "\xB1\xBE\xCF\xD4\xCA\xBE\xA1\xA3"; // 此处没有可用的网页浏览器控件，帮助以文本显示。
const char kPageLabel[] = "\xB0\xEF\xD6\xFA\xCE\xC4\xBC\xFE\xA3\xBA"; // 帮助文件：
const char kUnreadable[] = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xB0\xEF\xD6\xFA\xCE\xC4\xBC\xFE\xA3"
                           "\xBA"; // 无法读取帮助文件：
const char kPathTooLong[] =
    "\xB0\xEF\xD6\xFA\xCE\xC4\xBC\xFE\xB5\xC4\xC2\xB7\xBE\xB6\xB3\xAC\xB9\xFD 259 \xB8\xF6\xD7\xD6"
    "\xB7\xFB\xA3\xAC\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xA1\xA3\xBF\xE2\xCB\xF9\xD4\xDA\xB5\xC4\xCE"
    "\xC4"
    "\xBC\xFE\xBC\xD0\xA3\xBA"; // 帮助文件的路径超过 259 个字符，无法打开。库所在的文件夹：
const char kSystemError[] = "\xCF\xB5\xCD\xB3\xB4\xED\xCE\xF3 "; // 系统错误

// A help page is a few kilobytes; anything beyond this is no help page.
constexpr LONGLONG kLargestPage = 16 * 1024 * 1024;

// The whole file, or false with the system's error number.
bool ReadWholeFile(const std::wstring& path, std::string* bytes, DWORD* error) {
    HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        *error = ::GetLastError();
        return false;
    }
    KernelHandle file(raw);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        *error = ::GetLastError();
        return false;
    }
    if (size.QuadPart > kLargestPage) {
        *error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), &(*bytes)[done], static_cast<DWORD>(bytes->size() - done), &got,
                        nullptr)) {
            *error = ::GetLastError();
            return false;
        }
        if (got == 0)
            break; // the file shrank meanwhile: what was read is the page
        done += got;
    }
    bytes->resize(done);
    return true;
}

// The page's text by its own code page (a byte-order mark, its declared
// charset, else UTF-8 or the system's code page).
std::wstring DecodePage(const std::string& bytes) {
    const unsigned codePage = HtmlCodePage(bytes);
    const size_t skip = ByteOrderMarkLength(bytes);
    if (codePage == kCodePageUtf16Le || codePage == kCodePageUtf16Be) {
        std::wstring text;
        for (size_t i = skip; i + 1 < bytes.size(); i += 2) {
            const unsigned char a = static_cast<unsigned char>(bytes[i]);
            const unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
            text +=
                static_cast<wchar_t>(codePage == kCodePageUtf16Le ? a | (b << 8) : (a << 8) | b);
        }
        return text;
    }
    const char* data = bytes.data() + skip;
    const int length = static_cast<int>(bytes.size() - skip);
    if (length <= 0)
        return std::wstring();
    // A code page the system lacks falls back to the system's own.
    for (UINT cp : {codePage == kCodePageSystem ? CP_ACP : codePage, static_cast<UINT>(CP_ACP)}) {
        const int n = ::MultiByteToWideChar(cp, 0, data, length, nullptr, 0);
        if (n <= 0)
            continue;
        std::wstring text(static_cast<size_t>(n), L'\0');
        ::MultiByteToWideChar(cp, 0, data, length, &text[0], n);
        return text;
    }
    return std::wstring();
}

HtmlBlock Paragraph(const std::wstring& text) {
    HtmlBlock block;
    block.text = text;
    return block;
}

struct RtfSource {
    const std::string* text;
    size_t done;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    RtfSource* source = reinterpret_cast<RtfSource*>(cookie);
    const size_t left = source->text->size() - source->done;
    const size_t n = left < static_cast<size_t>(wanted) ? left : static_cast<size_t>(wanted);
    std::memcpy(buffer, source->text->data() + source->done, n);
    source->done += n;
    *given = static_cast<LONG>(n);
    return 0;
}

} // namespace

std::wstring SystemErrorText(unsigned long code) {
    wchar_t* raw = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                         FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&raw), 0, nullptr);
    LocalMemory owned(raw);
    std::wstring text = n > 0 && raw != nullptr ? std::wstring(raw, n) : std::wstring();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.' || text.back() == 0x3002))
        text.pop_back();
    if (text.empty())
        return GbkToWide(kSystemError) + std::to_wstring(code);
    return text + L" (" + std::to_wstring(code) + L")";
}

std::wstring ResourceModulePath() {
    return win32::ModuleFileName<wchar_t>(ResourceModule());
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
    // The fallback text goes with the window, before its classes' module.
    DestroyWindow();
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
        ShowFallback({}, {GbkToWide(kNoBrowser)});
    return 0;
}

void CHtmlView::ShowFallback(const std::vector<HtmlBlock>& blocks,
                             const std::vector<std::wstring>& notes) {
    if (browser_)
        browser_.reset();
    if (!fallback_) {
        if (!richEdit_)
            richEdit_.reset(::LoadLibraryW(L"riched20.dll"));
        const RECT r = ClientRect();
        fallback_ = ::CreateWindowExW(
            0, richEdit_ ? RICHEDIT_CLASSW : L"EDIT", L"",
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
            r.right, r.bottom, Hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(1)),
            ResourceModule(), nullptr);
        if (!fallback_)
            return;
        // Past the controls' default of 32K characters a long page would be cut.
        ::SendMessageW(fallback_, richEdit_ ? EM_EXLIMITTEXT : EM_SETLIMITTEXT, 0,
                       richEdit_ ? 0x7FFFFFFF : 0);
        if (richEdit_) {
            ::SendMessageW(fallback_, EM_SETBKGNDCOLOR, 0, ::GetSysColor(COLOR_WINDOW));
            ::SendMessageW(fallback_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                           MAKELPARAM(8, 8));
        } else {
            ::SendMessageW(fallback_, WM_SETFONT,
                           reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        }
    }
    if (richEdit_) {
        const std::string rtf = BlocksToRtf(blocks, notes);
        RtfSource source{&rtf, 0};
        EDITSTREAM stream{};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
        stream.pfnCallback = &ReadRtf;
        ::SendMessageW(fallback_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        ::SendMessageW(fallback_, EM_SETSEL, 0, 0);
        ::SendMessageW(fallback_, WM_VSCROLL, SB_TOP, 0);
    } else {
        ::SetWindowTextW(fallback_, BlocksToText(blocks, notes).c_str());
    }
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
    const std::vector<std::wstring> notes{GbkToWide(kNoBrowser), GbkToWide(kPageLabel) + location};
    std::string bytes;
    DWORD error = 0;
    if (ReadWholeFile(location, &bytes, &error))
        ShowFallback(HtmlToBlocks(DecodePage(bytes)), notes);
    else
        ShowFallback({Paragraph(GbkToWide(kUnreadable) + SystemErrorText(error))}, notes);
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
        ShowFallback({Paragraph(GbkToWide(kPathTooLong))},
                     {GbkToWide(kNoBrowser), ModuleFolder(module)});
        return;
    }
    Navigate(path);
}

void CHtmlView::OnSize(UINT type, int cx, int cy) {
    Default();
    const RECT client{0, 0, cx, cy};
    if (browser_)
        browser_->Resize(client);
    if (fallback_) {
        ::MoveWindow(fallback_, 0, 0, cx, cy, TRUE);
        // Filled while the view had no size, the text starts at its top once
        // it has one.
        if (!fallbackPlaced_ && cx > 0 && cy > 0) {
            fallbackPlaced_ = true;
            ::SendMessageW(fallback_, WM_VSCROLL, SB_TOP, 0);
        }
    }
}

void CHtmlView::OnDestroy() {
    browser_.reset();
    CWindow::OnDestroy();
}

} // namespace fw
