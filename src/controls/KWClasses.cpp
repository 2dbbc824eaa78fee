#include "controls/KWClasses.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Window.h"

namespace sk {

POINT PlacePicture(TKivAlignment alignment, int W, int H, int w, int h, int x0, int y0, int margins) {
    // Integer division truncates towards zero, so a picture larger than its place centres too.
    const int cx = (W - w) / 2, cy = (H - h) / 2;
    int x = 0, y = 0;
    switch (alignment) {
        case kalTopLeft: break;
        case kalTopCenter: x = cx; break;
        case kalTopRight: x = W - w; break;
        case kalMiddleLeft:
        case kalLeft: y = cy; break;
        case kalMiddleCenter:
        case kalCenter: x = cx, y = cy; break;
        case kalMiddleRight:
        case kalRight: x = W - w, y = cy; break;
        case kalBottomLeft: y = H - h; break;
        case kalBottomCenter: x = cx, y = H - h; break;
        case kalBottomRight: x = W - w, y = H - h; break;
        case kalCustom: x = x0, y = y0; break;
        case kalTopCustom: x = x0; break;
        case kalMiddleCustom: x = x0, y = cy; break;
        case kalBottomCustom: x = x0, y = H - h; break;
        case kalCustomLeft: y = y0; break;
        case kalCustomCenter: x = cx, y = y0; break;
        case kalCustomRight: x = W - w, y = y0; break;
    }
    return POINT{std::max(x, margins), std::max(y, margins)};
}

UINT ApplyTextTrimming(UINT format, TKivTextTrimmingType trimming) {
    format |= DT_NOPREFIX;
    format &= ~kKivEllipsisFlags;
    switch (trimming) {
        case kttEllipsisCharacter: format |= DT_END_ELLIPSIS; break;
        case kttEllipsisWord: format |= DT_WORD_ELLIPSIS; break;
        case kttEllipsisPath: format |= DT_PATH_ELLIPSIS; break;
        default: break;
    }
    return format;
}

UINT ApplyWordWrap(UINT format, bool wordWrap) {
    return wordWrap ? (format & ~DT_SINGLELINE) | DT_WORDBREAK : (format & ~DT_WORDBREAK) | DT_SINGLELINE;
}

RECT TextMeasureRect(TKivAlignment alignment, int W, int H, int textX, int textY) {
    RECT r{0, 0, W, H};
    switch (alignment) {
        case kalCustom:
            r.right -= textX;
            r.bottom -= textY;
            break;
        case kalTopCustom:
        case kalMiddleCustom:
        case kalBottomCustom: r.right -= textX; break;
        case kalCustomLeft:
        case kalCustomCenter:
        case kalCustomRight: r.bottom -= textY; break;
        default: break;
    }
    return r;
}

TKivTextLayout TextLayoutFromHeight(UINT format, TKivAlignment alignment, int W, int H, int textX, int textY,
                                    int margins, int th) {
    TKivTextLayout out;
    out.Flags = format & ~(kKivPlacementFlags | DT_CALCRECT);
    out.Box = RECT{0, 0, W, H};
    const bool single = (format & DT_SINGLELINE) != 0;
    const int freeHeight = std::max(0, H - th);
    // Without word wrap DrawText places the line vertically; with it the box's top moves down.
    auto middle = [&] {
        if (single)
            out.Flags |= DT_VCENTER;
        else
            out.Box.top = freeHeight / 2;
    };
    auto bottom = [&] {
        if (single)
            out.Flags |= DT_BOTTOM;
        else
            out.Box.top = freeHeight;
    };
    switch (alignment) {
        case kalTopLeft: break;
        case kalTopCenter: out.Flags |= DT_CENTER; break;
        case kalTopRight: out.Flags |= DT_RIGHT; break;
        case kalMiddleLeft:
        case kalLeft: middle(); break;
        case kalMiddleCenter:
        case kalCenter: out.Flags |= DT_CENTER, middle(); break;
        case kalMiddleRight:
        case kalRight: out.Flags |= DT_RIGHT, middle(); break;
        case kalBottomLeft: bottom(); break;
        case kalBottomCenter: out.Flags |= DT_CENTER, bottom(); break;
        case kalBottomRight: out.Flags |= DT_RIGHT, bottom(); break;
        case kalCustom: out.Box.left = textX, out.Box.top = textY; break;
        case kalTopCustom: out.Box.left = textX; break;
        case kalMiddleCustom: out.Box.left = textX, middle(); break;
        case kalBottomCustom: out.Box.left = textX, bottom(); break;
        case kalCustomLeft: out.Box.top = textY; break;
        case kalCustomCenter: out.Flags |= DT_CENTER, out.Box.top = textY; break;
        case kalCustomRight: out.Flags |= DT_RIGHT, out.Box.top = textY; break;
    }
    out.Box.left = std::max<int>(out.Box.left, margins);
    out.Box.top = std::max<int>(out.Box.top, margins);
    out.Box.right = W - margins;
    out.Box.bottom = H - margins;
    return out;
}

TKivTextLayout MeasureTextLayout(HDC dc, const std::wstring& text, UINT format, TKivAlignment alignment, int W, int H,
                                 int textX, int textY, int margins) {
    RECT r = TextMeasureRect(alignment, W, H, textX, textY);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, (format & ~kKivPlacementFlags) | DT_CALCRECT);
    return TextLayoutFromHeight(format, alignment, W, H, textX, textY, margins, r.bottom - r.top);
}

// ---------------------------------------------------------------------------------------------
// Fonts

TKivFont::TKivFont(std::wstring name, int pixelHeight, bool bold, COLORREF color)
    : FName(std::move(name)), FHeight(pixelHeight), FBold(bold), FColor(color) {}

TKivFont& TKivFont::SetName(std::wstring name) {
    FName = std::move(name);
    Changed();
    return *this;
}
TKivFont& TKivFont::SetHeight(int pixels) {
    FHeight = pixels;
    Changed();
    return *this;
}
TKivFont& TKivFont::SetBold(bool on) {
    FBold = on;
    Changed();
    return *this;
}
TKivFont& TKivFont::SetItalic(bool on) {
    FItalic = on;
    Changed();
    return *this;
}
TKivFont& TKivFont::SetUnderline(bool on) {
    FUnderline = on;
    Changed();
    return *this;
}
TKivFont& TKivFont::SetColor(COLORREF color) {
    FColor = color;  // the colour is not part of the GDI font
    return *this;
}

HFONT TKivFont::HandleAt(int dpi) const {
    if (!FHandle || FHandleDpi != dpi) {
        FHandle = ProgramFont(Look(), dpi);
        FHandleDpi = dpi;
    }
    return FHandle;
}

bool TKivFont::operator==(const TKivFont& o) const {
    return FName == o.FName && FHeight == o.FHeight && FBold == o.FBold && FItalic == o.FItalic &&
           FUnderline == o.FUnderline && FColor == o.FColor;
}

const TKivFont& DefaultKivFont() {
    static const TKivFont font;
    return font;
}

// ---------------------------------------------------------------------------------------------
// Window drag, links, modal result

namespace {
TWindowDragHook& DragHook() {
    static TWindowDragHook hook;
    return hook;
}
TKivShellHook& ShellHook() {
    static TKivShellHook hook;
    return hook;
}
constexpr wchar_t kModalResultProp[] = L"Surfkeep.ModalResult";
constexpr WPARAM kDragWindow = SC_MOVE | HTCAPTION;  // 0xF012
}  // namespace

void SetWindowDragHook(TWindowDragHook hook) { DragHook() = std::move(hook); }

void StartWindowDrag(HWND control) {
    HWND top = control ? ::GetAncestor(control, GA_ROOT) : nullptr;
    if (!top) return;
    if (DragHook()) {
        ::ReleaseCapture();
        DragHook()(top);
        return;
    }
    ::ReleaseCapture();
    ::SendMessageW(top, WM_SYSCOMMAND, kDragWindow, 0);
}

void SetKivShellHook(TKivShellHook hook) { ShellHook() = std::move(hook); }

bool OpenKivLink(HWND owner, const std::wstring& url) {
    std::wstring target = url;
    while (!target.empty() && std::iswspace(target.back()))
        target.pop_back();
    while (!target.empty() && std::iswspace(target.front()))
        target.erase(target.begin());
    if (target.empty()) return false;

    bool opened;
    if (ShellHook().Open) {
        opened = ShellHook().Open(target);
    } else {
        SHELLEXECUTEINFOW sei{sizeof sei};
        sei.fMask = SEE_MASK_FLAG_NO_UI;
        sei.hwnd = owner;
        sei.lpVerb = L"Open";
        sei.lpFile = target.c_str();
        sei.nShow = SW_SHOWNORMAL;
        opened = ::ShellExecuteExW(&sei) != FALSE;
    }
    if (opened) return true;

    // A web page nobody opens: let the user pick a program for .htm files.
    std::wstring ext = FileExtOf(target);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    if (ext != L".HTM") return false;
    // The chooser runs from the system folder by its full path: the program runs elevated and must
    // not start a rundll32.exe planted in the current folder.
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring exe = std::wstring(system) + L"\\RunDLL32.exe";
    std::wstring cmd = L"\"" + exe + L"\" Shell32.dll, OpenAs_RunDLL *.htm";
    if (ShellHook().Run) {
        ShellHook().Run(cmd);
        return false;
    }
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        THandle process(pi.hProcess), thread(pi.hThread);
    }
    return false;
}

void SetModalResult(HWND window, int result) {
    if (!window) return;
    // Our own windows keep it in their object; a window property costs a round trip to the server
    // under Wine at each read, and the modal loop reads it after every message.
    if (TWindow* own = TWindow::FromHandle(window)) {
        own->SetDialogResult(result);
        return;
    }
    if (result == 0)
        ::RemovePropW(window, kModalResultProp);
    else
        ::SetPropW(window, kModalResultProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(result)));
}

int ModalResult(HWND window) {
    if (!window) return 0;
    if (const TWindow* own = TWindow::FromHandle(window)) return own->DialogResult();
    return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, kModalResultProp)));
}

}  // namespace sk
