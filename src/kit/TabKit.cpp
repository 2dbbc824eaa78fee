#include "kit/TabKit.h"

#include "base/Errors.h"
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

HFONT BodyFont() {
    static const TKivFont font(L"Tahoma", 11);
    return font.Handle();
}

HFONT BodyBoldFont() {
    static const TKivFont font(L"Tahoma", 11, true);
    return font.Handle();
}

TKivStateFonts PushButtonFonts() {
    const TKivFont text(L"Tahoma", 11, false, assets::kText);
    return {.Normal = text, .Hover = text, .Down = text, .Disabled = TKivFont(L"Tahoma", 11, false, assets::kTextDisabled)};
}

namespace {

TKivButtonArgs ButtonArgs(HWND parent, int left, int top, int width, int height, const std::wstring& caption) {
    return {.Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Caption = caption,
            .Pictures = AssetStatePictures(assets::kButton),
            .Fonts = PushButtonFonts(),
            .EnableMultiFonts = true,
            .DrawFocused = true,
            .TabStop = true};
}

}  // namespace

void CreateActionButton(TKivImageButton& button, HWND parent, int left, int top, TAction& action, int width,
                        int height) {
    TKivButtonArgs args = ButtonArgs(parent, left, top, width, height, action.Caption());
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
                      std::function<void()> onClick, int width, int height) {
    TKivButtonArgs args = ButtonArgs(parent, left, top, width, height, caption);
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
                   .Pictures = OptionalStatePictures(assets::kClose),
                   .Cancel = escCloses,
                   .ModalResult = IDCANCEL});
}

POINT CenteredOver(HWND owner, int width, int height) {
    RECT over{};
    if (owner) ::GetWindowRect(owner, &over);
    else ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    return {over.left + ((over.right - over.left) - width) / 2, over.top + ((over.bottom - over.top) - height) / 2};
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
