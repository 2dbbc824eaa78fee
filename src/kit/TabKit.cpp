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

namespace {

TKivButtonArgs ButtonArgs(HWND parent, int left, int top, int width, int height, const std::wstring& caption) {
    TKivButtonArgs args;
    args.Parent = parent;
    args.Left = left;
    args.Top = top;
    args.Width = width;
    args.Height = height;
    args.Caption = caption;
    args.Font = TKivFont(L"Tahoma", 11, false, assets::kText);
    args.EnableMultiFonts = true;
    args.FontMouseHover = args.Font;
    args.FontMouseDown = args.Font;
    args.FontDisabled = TKivFont(L"Tahoma", 11, false, RGB(0xA0, 0xA8, 0xB3));
    args.TabStop = true;
    args.DrawFocused = true;
    SetButtonPictures(args, AssetStatePictures(assets::kButton));
    return args;
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

void CreateLinkLabel(TKivLabel& label, HWND parent, int left, int top, const std::wstring& caption,
                     std::function<void()> onClick) {
    TKivLabelArgs args;
    args.Parent = parent;
    args.Left = left;
    args.Top = top;
    args.Caption = caption;
    args.Font = TKivFont(L"Tahoma", 11, false, assets::kAccent).SetUnderline(true);
    args.AutoSize = true;
    args.WordWrap = false;
    args.MoveHandler = false;
    args.Cursor = ::LoadCursorW(nullptr, IDC_HAND);
    label.Create(args);
    label.OnClick = std::move(onClick);
}

void CreateStatusLabel(TKivLabel& label, HWND parent, int left, int top, int maxWidth) {
    TKivLabelArgs status;
    status.Parent = parent;
    status.Left = left;
    status.Top = top;
    status.Font = TKivFont(L"Tahoma", 11, false, assets::kText);
    status.AutoSize = true;
    status.AutoSizeMaxWidth = maxWidth;
    status.WordWrap = false;
    status.TextTrimming = kttEllipsisWord;
    label.Create(status);
}

void CreateDialogCloseButton(TKivImageButton& button, HWND surface, int left, int top, bool escCloses) {
    TKivButtonArgs close;
    close.Parent = surface;
    close.Left = left;
    close.Top = top;
    close.Width = 25;
    close.Height = 24;
    close.Cancel = escCloses;
    close.ModalResult = IDCANCEL;
    SetButtonPictures(close, OptionalStatePictures(assets::kClose));
    button.Create(close);
}

POINT CenteredOver(HWND owner, int width, int height) {
    RECT over{};
    if (owner) ::GetWindowRect(owner, &over);
    else ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    return {over.left + ((over.right - over.left) - width) / 2, over.top + ((over.bottom - over.top) - height) / 2};
}

HWND CreateWindowSurface(TKivImagePanel& panel, HWND window, int width, int height, const TKivPicture& picture) {
    TKivImagePanelArgs args;
    args.Parent = window;
    args.Width = width;
    args.Height = height;
    args.Picture = picture;
    args.Transparent = false;
    args.Color = assets::kSurface;
    panel.Create(args);
    HWND surface = panel.Handle();
    ::SetWindowLongPtrW(surface, GWL_EXSTYLE, ::GetWindowLongPtrW(surface, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    return surface;
}

bool CreateContentPanel(TKivImagePanel& panel, HWND parent, int left, int top, int width, int height, bool visible) {
    TKivImagePanelArgs args;
    args.Parent = parent;
    args.Left = left;
    args.Top = top;
    args.Width = width;
    args.Height = height;
    args.Transparent = false;
    args.Color = assets::kPanel;
    args.MovingHandler = false;
    args.Visible = visible;
    return panel.Create(args);
}

}  // namespace sk
