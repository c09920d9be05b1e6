// Owning wrappers for Win32 handles and GDI objects: one template, a close
// function per kind, moved and never copied.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <utility>

namespace fw {

template <typename T, typename Close> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T handle, Close close = Close()) : handle_(handle), close_(close) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(other.release()), close_(std::move(other.close_)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            close_ = std::move(other.close_);
            handle_ = other.release();
        }
        return *this;
    }

    T get() const { return handle_; }
    explicit operator bool() const { return handle_ != T(); }
    // Gives up ownership without closing.
    T release() {
        T h = handle_;
        handle_ = T();
        return h;
    }
    void reset(T handle = T()) {
        if (handle_ != T())
            close_(handle_);
        handle_ = handle;
    }
    // Address to receive a new handle (what was held is closed first).
    T* put() {
        reset();
        return &handle_;
    }
    // Replaces the handle and the closing context (e.g. the window of a DC).
    void reset(T handle, Close close) {
        reset();
        close_ = close;
        handle_ = handle;
    }

private:
    T handle_ = T();
    Close close_ = Close();
};

// --- close functions ---------------------------------------------------------

struct ReleaseDcClose {
    HWND window = nullptr;
    void operator()(HDC dc) const { ::ReleaseDC(window, dc); }
};
struct DeleteDcClose {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct DeleteObjectClose {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct ImageListClose {
    void operator()(HIMAGELIST list) const { ::ImageList_Destroy(list); }
};
struct IconClose {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
struct KernelHandleClose {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct ModuleClose {
    void operator()(HMODULE m) const { ::FreeLibrary(m); }
};
struct LocalClose {
    void operator()(HLOCAL m) const { ::LocalFree(m); }
};
struct TimerClose {
    HWND window = nullptr;
    void operator()(UINT_PTR id) const { ::KillTimer(window, id); }
};
struct CaptureClose {
    // Only the capture we took is released: a nested gesture may own it now.
    void operator()(HWND window) const {
        if (::GetCapture() == window)
            ::ReleaseCapture();
    }
};
struct EndDeferClose {
    void operator()(HDWP positions) const { ::EndDeferWindowPos(positions); }
};
struct ComRelease {
    void operator()(IUnknown* unknown) const { unknown->Release(); }
};

// --- aliases -------------------------------------------------------------------

using WindowDC = UniqueHandle<HDC, ReleaseDcClose>; // GetDC / GetWindowDC / GetDCEx
using OwnedDC = UniqueHandle<HDC, DeleteDcClose>;   // CreateCompatibleDC
template <typename T> using GdiObject = UniqueHandle<T, DeleteObjectClose>;
using GdiHandle = GdiObject<HGDIOBJ>;
using Bitmap = GdiObject<HBITMAP>;
using Font = GdiObject<HFONT>;
using Pen = GdiObject<HPEN>;
using Brush = GdiObject<HBRUSH>;
using Region = GdiObject<HRGN>;
using ImageList = UniqueHandle<HIMAGELIST, ImageListClose>;
using Icon = UniqueHandle<HICON, IconClose>; // created icons only, not shared LoadIcon ones
using KernelHandle = UniqueHandle<HANDLE, KernelHandleClose>;
using Module = UniqueHandle<HMODULE, ModuleClose>;    // LoadLibrary
using LocalMemory = UniqueHandle<HLOCAL, LocalClose>; // FORMAT_MESSAGE_ALLOCATE_BUFFER
using Timer = UniqueHandle<UINT_PTR, TimerClose>;
using MouseCapture = UniqueHandle<HWND, CaptureClose>;
using DeferredPositions = UniqueHandle<HDWP, EndDeferClose>;

inline WindowDC AcquireDC(HWND window) {
    return WindowDC(::GetDC(window), {window});
}
inline WindowDC AcquireDCEx(HWND window, HRGN clip, DWORD flags) {
    return WindowDC(::GetDCEx(window, clip, flags), {window});
}
inline WindowDC AcquireWindowDC(HWND window) {
    return WindowDC(::GetWindowDC(window), {window});
}
// The timer is killed when the returned owner goes; empty when SetTimer failed.
inline Timer StartTimer(HWND window, UINT_PTR id, UINT period) {
    return Timer(::SetTimer(window, id, period, nullptr) ? id : 0, {window});
}
inline MouseCapture CaptureMouse(HWND window) {
    ::SetCapture(window);
    return MouseCapture(window);
}

// A COM interface pointer that releases its reference.
template <typename I> using ComPtr = UniqueHandle<I*, ComRelease>;

// --- scoped DC state -------------------------------------------------------------

// Saves a DC's state and restores it (selected objects, colours, modes).
class SavedDC {
public:
    explicit SavedDC(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
    ~SavedDC() {
        if (saved_)
            ::RestoreDC(dc_, saved_);
    }
    SavedDC(const SavedDC&) = delete;
    SavedDC& operator=(const SavedDC&) = delete;

private:
    HDC dc_;
    int saved_;
};

// Selects an object into a DC and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR)
            ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
    ~PaintDC() { ::EndPaint(window_, &ps_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC dc() const { return dc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// An off-screen bitmap with its own memory DC, compatible with a reference DC.
class MemoryDC {
public:
    MemoryDC(HDC reference, int width, int height)
        : dc_(::CreateCompatibleDC(reference)),
          bitmap_(
              ::CreateCompatibleBitmap(reference, width > 0 ? width : 1, height > 0 ? height : 1)),
          width_(width), height_(height) {
        if (dc_ && bitmap_)
            old_ = ::SelectObject(dc_.get(), bitmap_.get());
    }
    ~MemoryDC() {
        // The bitmap must leave the DC before either is deleted.
        if (old_)
            ::SelectObject(dc_.get(), old_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    bool ok() const { return dc_ && bitmap_ && old_; }
    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bitmap_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // Copies (srcX, srcY, w, h) of the bitmap to (x, y) of the destination.
    void BlitTo(HDC dest, int x, int y, int w, int h, int srcX = 0, int srcY = 0) const {
        if (ok())
            ::BitBlt(dest, x, y, w, h, dc_.get(), srcX, srcY, SRCCOPY);
    }

private:
    OwnedDC dc_;
    Bitmap bitmap_;
    HGDIOBJ old_ = nullptr;
    int width_, height_;
};

} // namespace fw
