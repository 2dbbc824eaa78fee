#include "kit/TabKit.h"

#include <algorithm>
#include <cwchar>

#include "base/DisplayScale.h"
#include "base/Errors.h"
#include "base/Fonts.h"
#include "base/StringTable.h"
#include "controls/Assets.h"

namespace sk {

TKivPicture OptionalPicture(const wchar_t* name) {
    try {
        return AssetPicture(name);
    } catch (const TError&) {
        return {};
    }
}

TKivStatePictures OptionalStatePictures(const wchar_t* prefix) {
    try {
        return AssetStatePictures(prefix);
    } catch (const TError&) {
        return {};
    }
}

HFONT BodyFont() { return ProgramFont(TFontLook{L"Tahoma", 11}, SystemDpi()); }

HFONT BodyBoldFont() { return ProgramFont(TFontLook{L"Tahoma", 11, true}, SystemDpi()); }

wchar_t ActionMnemonic(const std::wstring& actionName) {
    // One letter per command, each unique among the buttons that show together and found in its
    // built-in caption. A language pack's caption marks its own letter with "&".
    static const struct {
        const wchar_t* Action;
        wchar_t Letter;
    } kLetters[] = {
        {L"actIERepair_Scan", L'S'},      {L"actIERepair_Repair", L'R'},  {L"actIERepair_Back", L'B'},
        {L"actIEClean_Scan", L'S'},       {L"actIEClean_Clean", L'C'},    {L"actIEClean_Stop", L'T'},
        {L"actPlugIn_Refresh", L'R'},     {L"actPlugIn_Clean", L'C'},     {L"actSecurity_TurnOn", L'O'},
        {L"actSecurity_TurnOff", L'F'},   {L"actSecurity_Add", L'A'},     {L"actSecurity_Delete", L'D'},
        {L"actSecurity_Refresh", L'E'},   {L"actRestore", L'R'},
    };
    for (const auto& entry : kLetters)
        if (actionName == entry.Action) return entry.Letter;
    return 0;
}

TKivStateFonts PushButtonFonts() {
    const TKivFont text(L"Tahoma", 11, false, assets::kText);
    return {.Normal = text, .Hover = text, .Down = text, .Disabled = TKivFont(L"Tahoma", 11, false, assets::kTextDisabled)};
}

namespace {

TKivButtonArgs ButtonArgs(HWND parent, int left, int top, int width, int height, const std::wstring& caption,
                          wchar_t mnemonic = 0) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Caption = caption,
            .Mnemonic = mnemonic,
            .Pictures = AssetStatePictures(assets::kButton),
            .Fonts = PushButtonFonts(),
            .EnableMultiFonts = true,
            .DrawFocused = true,
            .TabStop = true};
}

}  // namespace

void CreateActionButton(TKivImageButton& button, HWND parent, int left, int top, TAction& action, int width,
                        int height) {
    TKivButtonArgs args = ButtonArgs(parent, left, top, width, height, action.Caption(), ActionMnemonic(action.Name));
    args.OnClick = [&action] { action.Execute(); };
    button.Create(args);
    action.Subscribe([&button](const TAction& a) {
        if (!button.Handle()) return;
        if (button.Caption() != a.Caption()) button.SetCaption(a.Caption());
        if (button.Enabled() != a.Enabled()) button.SetEnabled(a.Enabled());
        if (button.Visible() != a.Visible()) button.SetVisible(a.Visible());
    });
}

void CreatePushButton(TKivImageButton& button, HWND parent, int left, int top, const std::wstring& caption,
                      std::function<void()> onClick, int width, int height, wchar_t mnemonic) {
    TKivButtonArgs args = ButtonArgs(parent, left, top, width, height, caption, mnemonic);
    args.OnClick = std::move(onClick);
    button.Create(args);
}

TKivLabelArgs LinkLabelArgs(HWND parent, int left, int top, const std::wstring& caption,
                            std::function<void()> onClick) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Caption = caption,
            .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kAccent).SetUnderline(true)},
            .AutoSize = true,
            .WordWrap = false,
            .MoveHandler = false,
            .TabStop = true,
            .Cursor = ::LoadCursorW(nullptr, IDC_HAND),
            .OnClick = std::move(onClick)};
}

void CreateLinkLabel(TKivLabel& label, HWND parent, int left, int top, const std::wstring& caption,
                     std::function<void()> onClick) {
    label.Create(LinkLabelArgs(parent, left, top, caption, std::move(onClick)));
}

void CreateStatusLabel(TKivLabel& label, HWND parent, int left, int top, int maxWidth) {
    label.Create({.Parent = parent,
                  .Left = left,
                  .Top = top,
                  .Fonts = {.Normal = TKivFont(L"Tahoma", 11, false, assets::kText)},
                  .AutoSize = true,
                  .AutoSizeMaxWidth = maxWidth,
                  .WordWrap = false,
                  .TextTrimming = kttEllipsisWord});
}

void CreateDialogCloseButton(TKivImageButton& button, HWND surface, int left, int top, bool escCloses) {
    button.Create({.Parent = surface,
                   .Left = left,
                   .Top = top,
                   .Width = 25,
                   .Height = 24,
                   .Glyph = L'\x00D7',
                   .Pictures = OptionalStatePictures(assets::kClose),
                   .Cancel = escCloses,
                   .ModalResult = IDCANCEL,
                   .Hint = IDS_SURFKEEP_Close});
}

POINT CenteredOver(HWND owner, int width, int height) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT over = work;
    if (owner) {
        ::GetWindowRect(owner, &over);
        MONITORINFO mi{sizeof mi};
        if (::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &mi)) work = mi.rcWork;
    }
    POINT at{over.left + ((over.right - over.left) - width) / 2, over.top + ((over.bottom - over.top) - height) / 2};
    // A window larger than the screen at a high scale keeps its top-left corner, with the caption strip
    // and its buttons, on the screen.
    at.x = std::max<LONG>(work.left, std::min<LONG>(at.x, work.right - width));
    at.y = std::max<LONG>(work.top, std::min<LONG>(at.y, work.bottom - height));
    return at;
}

HWND CreateWindowSurface(TKivImagePanel& panel, HWND window, int width, int height, const TKivPicture& picture) {
    panel.Create({.Parent = window,
                  .Width = width,
                  .Height = height,
                  .Picture = picture,
                  .Transparent = false,
                  .Color = assets::kSurface});
    HWND surface = panel.Handle();
    ::SetWindowLongPtrW(surface, GWL_EXSTYLE, ::GetWindowLongPtrW(surface, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    return surface;
}

bool CreateContentPanel(TKivImagePanel& panel, HWND parent, int left, int top, int width, int height, bool visible) {
    return panel.Create({.Parent = parent,
                         .Left = left,
                         .Top = top,
                         .Width = width,
                         .Height = height,
                         .Transparent = false,
                         .MovingHandler = false,
                         .Color = assets::kPanel,
                         .Visible = visible});
}

}  // namespace sk
