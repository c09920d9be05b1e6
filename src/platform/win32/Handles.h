// Owning wrappers for Win32 handles and GDI objects: one template, a close
// function per kind, moved and never copied. The platform layer and the setup
// window share them, so nothing is closed by hand.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <utility>

namespace win32 {

template <typename T, typename Close> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T handle, Close close = Close()) : m_handle(handle), m_close(close) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_handle(other.release()), m_close(std::move(other.m_close)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            m_close = std::move(other.m_close);
            m_handle = other.release();
        }
        return *this;
    }

    T get() const { return m_handle; }
    explicit operator bool() const { return m_handle != T(); }
    // Gives up ownership without closing.
    T release() {
        T h = m_handle;
        m_handle = T();
        return h;
    }
    void reset(T handle = T()) {
        if (m_handle != T())
            m_close(m_handle);
        m_handle = handle;
    }
    // Address to receive a new handle (what was held is closed first).
    T* put() {
        reset();
        return &m_handle;
    }
    // Replaces the handle and the closing context (e.g. the window of a DC).
    void reset(T handle, Close close) {
        reset();
        m_close = close;
        m_handle = handle;
    }

private:
    T m_handle = T();
    Close m_close = Close();
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
    explicit SavedDC(HDC dc) : m_dc(dc), m_saved(::SaveDC(dc)) {}
    ~SavedDC() {
        if (m_saved)
            ::RestoreDC(m_dc, m_saved);
    }
    SavedDC(const SavedDC&) = delete;
    SavedDC& operator=(const SavedDC&) = delete;

private:
    HDC m_dc;
    int m_saved;
};

// Selects an object into a DC and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_window(window) { m_dc = ::BeginPaint(window, &m_ps); }
    ~PaintDC() { ::EndPaint(m_window, &m_ps); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC dc() const { return m_dc; }
    const RECT& area() const { return m_ps.rcPaint; }

private:
    HWND m_window;
    PAINTSTRUCT m_ps{};
    HDC m_dc = nullptr;
};

// An off-screen bitmap with its own memory DC, compatible with a reference DC.
class MemoryDC {
public:
    MemoryDC(HDC reference, int width, int height)
        : m_dc(::CreateCompatibleDC(reference)),
          m_bitmap(
              ::CreateCompatibleBitmap(reference, width > 0 ? width : 1, height > 0 ? height : 1)),
          m_width(width), m_height(height) {
        if (m_dc && m_bitmap)
            m_old = ::SelectObject(m_dc.get(), m_bitmap.get());
    }
    ~MemoryDC() {
        // The bitmap must leave the DC before either is deleted.
        if (m_old)
            ::SelectObject(m_dc.get(), m_old);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    bool ok() const { return m_dc && m_bitmap && m_old; }
    HDC dc() const { return m_dc.get(); }
    HBITMAP bitmap() const { return m_bitmap.get(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Copies (srcX, srcY, w, h) of the bitmap to (x, y) of the destination.
    void BlitTo(HDC dest, int x, int y, int w, int h, int srcX = 0, int srcY = 0) const {
        if (ok())
            ::BitBlt(dest, x, y, w, h, m_dc.get(), srcX, srcY, SRCCOPY);
    }

private:
    OwnedDC m_dc;
    Bitmap m_bitmap;
    HGDIOBJ m_old = nullptr;
    int m_width, m_height;
};

} // namespace win32
