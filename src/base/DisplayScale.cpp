#include "base/DisplayScale.h"

#include <numeric>

namespace sk {

namespace {

constexpr int kMinPercent = 25, kMaxPercent = 800;

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

}  // namespace

TDisplayScale TDisplayScale::Make(int num, int den) {
    // Clamped to 25 .. 800 %: a wrong DPI must not ask for pictures of gigabytes.
    if (static_cast<int64_t>(num) * 100 < static_cast<int64_t>(kMinPercent) * den) {
        num = kMinPercent;
        den = 100;
    } else if (static_cast<int64_t>(num) * 100 > static_cast<int64_t>(kMaxPercent) * den) {
        num = kMaxPercent;
        den = 100;
    }
    const int g = std::gcd(num, den);
    return TDisplayScale(num / g, den / g);
}

TDisplayScale TDisplayScale::FromDpi(int dpi) { return Make(dpi > 0 ? dpi : 96, 96); }

TDisplayScale TDisplayScale::FromPercent(int percent) { return Make(percent > 0 ? percent : 100, 100); }

int TDisplayScale::Scale(int length) const {
    // floor(length * num / den + 1/2), in integers
    return static_cast<int>(FloorDiv(2 * static_cast<int64_t>(length) * FNum + FDen, 2 * static_cast<int64_t>(FDen)));
}

int TDisplayScale::Unscale(int pixels) const {
    return static_cast<int>(FloorDiv(2 * static_cast<int64_t>(pixels) * FDen + FNum, 2 * static_cast<int64_t>(FNum)));
}

int TDisplayScale::UnscaleUp(int pixels) const {
    // ceil(pixels * den / num), then the first length that reaches `pixels` once rounded back
    int length = static_cast<int>(-FloorDiv(-static_cast<int64_t>(pixels) * FDen, FNum));
    while (length > 0 && Scale(length - 1) >= pixels) --length;
    while (Scale(length) < pixels) ++length;
    return length;
}

RECT TDisplayScale::Scale(const RECT& r) const {
    return RECT{Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom)};
}

RECT TDisplayScale::Unscale(const RECT& r) const {
    return RECT{Unscale(r.left), Unscale(r.top), Unscale(r.right), Unscale(r.bottom)};
}

int SystemDpi() {
    static const int dpi = [] {
        // GetDpiForSystem where there is one (Windows 10 1607); the screen's own figure elsewhere.
        using TGetDpiForSystem = UINT(WINAPI*)();
        const auto get = reinterpret_cast<TGetDpiForSystem>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
        int value = get ? static_cast<int>(get()) : 0;
        if (value <= 0) {
            HDC screen = ::GetDC(nullptr);
            value = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
            if (screen) ::ReleaseDC(nullptr, screen);
        }
        return value > 0 ? value : 96;
    }();
    return dpi;
}

int SystemDpiOfWindow(HWND wnd) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto get = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const int dpi = get && wnd ? static_cast<int>(get(wnd)) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

}  // namespace sk
