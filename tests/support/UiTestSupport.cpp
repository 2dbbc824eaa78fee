#include "UiTestSupport.h"

#include <png.h>

#include <cstdio>

#include "base/Handles.h"

namespace sktest {

void PumpFor(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (::GetTickCount64() < end) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (::GetTickCount64() < end);
}

std::wstring WindowText(HWND wnd) {
    const int n = ::GetWindowTextLengthW(wnd);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    ::GetWindowTextW(wnd, s.data(), n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

HWND FindChildByText(HWND parent, const std::wstring& text) {
    struct TCtx {
        const std::wstring* Text;
        HWND Found = nullptr;
    } ctx{&text};
    ::EnumChildWindows(
        parent,
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<TCtx*>(lp);
            if (WindowText(wnd) == *c->Text) {
                c->Found = wnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.Found;
}

namespace {

bool CaptureScreenRect(const RECT& r, std::vector<uint32_t>& pixels) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    sk::TWindowDC screen(nullptr);
    sk::TMemDC mem(::CreateCompatibleDC(screen.Get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    sk::TBitmap dib(::CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib) return false;
    {
        sk::TSelectObject sel(mem.Get(), dib.Get());
        ::BitBlt(mem.Get(), 0, 0, w, h, screen.Get(), r.left, r.top, SRCCOPY);
        ::GdiFlush();
    }
    pixels.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + static_cast<size_t>(w) * h);
    return true;
}

}  // namespace

COLORREF ScreenPixel(HWND wnd, int x, int y) {
    POINT pt{x, y};
    ::ClientToScreen(wnd, &pt);
    std::vector<uint32_t> px;
    if (!CaptureScreenRect({pt.x, pt.y, pt.x + 1, pt.y + 1}, px)) return CLR_INVALID;
    const uint32_t p = px[0];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool SaveWindowPng(HWND wnd, const std::wstring& fileName) {
    RECT r{};
    ::GetWindowRect(wnd, &r);
    std::vector<uint32_t> px;
    if (!CaptureScreenRect(r, px)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    FILE* f = _wfopen(fileName.c_str(), L"wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    volatile bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t p = px[static_cast<size_t>(y) * w + x];
                row[x * 3] = (p >> 16) & 0xFF;
                row[x * 3 + 1] = (p >> 8) & 0xFF;
                row[x * 3 + 2] = p & 0xFF;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return ok;
}

namespace {

std::vector<TDialogAnswerer::TSeen> gSeen;
int gButton = IDOK;

BOOL CALLBACK AnswerOne(HWND wnd, LPARAM) {
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !::IsWindowVisible(wnd)) return TRUE;
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(wnd, 0xFFFF, text, 1024);
    gSeen.push_back({WindowText(wnd), text});
    // A box with only OK answers IDOK whatever was asked.
    const int button = ::GetDlgItem(wnd, gButton) ? gButton : IDOK;
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(wnd, button)));
    return TRUE;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { ::EnumThreadWindows(::GetCurrentThreadId(), AnswerOne, 0); }

}  // namespace

TDialogAnswerer::TDialogAnswerer(int button) {
    gSeen.clear();
    gButton = button;
    FTimer = ::SetTimer(nullptr, 0, 50, OnTimer);
}

TDialogAnswerer::~TDialogAnswerer() { ::KillTimer(nullptr, FTimer); }

const std::vector<TDialogAnswerer::TSeen>& TDialogAnswerer::Seen() const { return gSeen; }

POINT TreeCheckBoxPoint(HWND tree, HTREEITEM item) {
    RECT text{};
    if (!TreeView_GetItemRect(tree, item, &text, TRUE)) return {-1, -1};
    const int y = (text.top + text.bottom) / 2;
    for (int probe = 0; probe < text.left; ++probe) {
        TVHITTESTINFO hit{};
        hit.pt = {probe, y};
        TreeView_HitTest(tree, &hit);
        if (hit.hItem == item && (hit.flags & TVHT_ONITEMSTATEICON)) return {probe + 4, y};
    }
    return {-1, y};
}

}  // namespace sktest
