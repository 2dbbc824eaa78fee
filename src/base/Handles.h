// Move-only owners for the Win32 handles the program uses. Each has Get() and a [[nodiscard]] Take();
// copying is deleted. Logic never closes a handle by hand.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <utility>

namespace sk {

template <typename Traits>
class TScopedHandle {
public:
    using Handle = typename Traits::Handle;

    TScopedHandle() = default;
    explicit TScopedHandle(Handle h) : FHandle(h) {}
    ~TScopedHandle() { Reset(); }
    TScopedHandle(const TScopedHandle&) = delete;
    TScopedHandle& operator=(const TScopedHandle&) = delete;
    TScopedHandle(TScopedHandle&& other) noexcept : FHandle(other.Take()) {}
    TScopedHandle& operator=(TScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Take());
        return *this;
    }

    Handle Get() const { return FHandle; }
    bool IsValid() const { return Traits::IsValid(FHandle); }
    explicit operator bool() const { return IsValid(); }
    [[nodiscard]] Handle Take() { return std::exchange(FHandle, Traits::Invalid()); }
    void Reset(Handle h = Traits::Invalid()) {
        if (Traits::IsValid(FHandle)) Traits::Close(FHandle);
        FHandle = h;
    }
    // For out-parameters: frees what is held and hands out the slot.
    Handle* Receive() {
        Reset();
        return &FHandle;
    }

private:
    Handle FHandle = Traits::Invalid();
};

struct THandleTraits {  // kernel objects whose failure value is NULL
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct TFindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct TKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct TModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::FreeLibrary(h); }
};
template <typename T>
struct TGdiTraits {
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
struct TMemDCTraits {  // from CreateCompatibleDC / CreateDC
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DeleteDC(h); }
};
struct TImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::ImageList_Destroy(h); }
};
struct TMenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};

using THandle = TScopedHandle<THandleTraits>;
using TFindHandle = TScopedHandle<TFindTraits>;
using TKey = TScopedHandle<TKeyTraits>;
using TModule = TScopedHandle<TModuleTraits>;
using TBitmap = TScopedHandle<TGdiTraits<HBITMAP>>;
using TFont = TScopedHandle<TGdiTraits<HFONT>>;
using TBrush = TScopedHandle<TGdiTraits<HBRUSH>>;
using TPen = TScopedHandle<TGdiTraits<HPEN>>;
using TRegion = TScopedHandle<TGdiTraits<HRGN>>;
using TMemDC = TScopedHandle<TMemDCTraits>;
using TImageList = TScopedHandle<TImageListTraits>;
using TMenu = TScopedHandle<TMenuTraits>;

// A DC from GetDC (or GetDCEx with DCX_ flags), released to its window.
class TWindowDC {
public:
    explicit TWindowDC(HWND wnd) : FWnd(wnd), FDC(::GetDC(wnd)) {}
    TWindowDC(HWND wnd, DWORD dcxFlags) : FWnd(wnd), FDC(::GetDCEx(wnd, nullptr, dcxFlags)) {}
    ~TWindowDC() {
        if (FDC) ::ReleaseDC(FWnd, FDC);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWnd;
    HDC FDC;
};

// BeginPaint / EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND wnd) : FWnd(wnd) { FDC = ::BeginPaint(wnd, &FPaint); }
    ~TPaintDC() { ::EndPaint(FWnd, &FPaint); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    HDC Get() const { return FDC; }
    const PAINTSTRUCT& Paint() const { return FPaint; }

private:
    HWND FWnd;
    HDC FDC;
    PAINTSTRUCT FPaint{};
};

// SelectObject that puts the previous object back.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~TSelectObject() {
        if (FOld) ::SelectObject(FDC, FOld);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

}  // namespace sk
