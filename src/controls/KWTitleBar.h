// The caption strip of a borderless window: a logo and up to three texts (title, subtitle,
// version) at positions of their own, each sized to its content; dragging the strip moves the
// window.
#pragma once

#include <memory>
#include <string>

#include "controls/KWGraphicControl.h"
#include "controls/KWPicture.h"

namespace sk {

class TKivTitleBar;

// One text of a title bar; it belongs to its bar and makes the bar repaint when it changes.
class TKivTitleBarLabel {
public:
    explicit TKivTitleBarLabel(TKivTitleBar& bar);
    TKivTitleBarLabel(const TKivTitleBarLabel&) = delete;
    TKivTitleBarLabel& operator=(const TKivTitleBarLabel&) = delete;

    int Left() const { return FLeft; }
    void SetLeft(int value);
    int Top() const { return FTop; }
    void SetTop(int value);
    int Width() const { return FWidth; }
    void SetWidth(int value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    int AutoSizeMaxWidth() const { return FAutoSizeMaxWidth; }
    void SetAutoSizeMaxWidth(int value);
    int AutoSizeMaxHeight() const { return FAutoSizeMaxHeight; }
    void SetAutoSizeMaxHeight(int value);
    const std::wstring& Caption() const { return FCaption; }
    void SetCaption(const std::wstring& value);
    const TKivFont& Font() const { return FFont; }
    void SetFont(const TKivFont& value);
    bool WordWrap() const { return (FTextFormat & DT_SINGLELINE) == 0; }
    void SetWordWrap(bool value);
    UINT TextFormat() const { return FTextFormat; }
    RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }

    // Takes every property of another text.
    void Assign(const TKivTitleBarLabel& other);
    void ApplyAutoSize();

private:
    void Changed();

    TKivTitleBar& FBar;
    int FLeft = 48, FTop = 0, FWidth = 72, FHeight = 16;
    bool FAutoSize = true;
    int FAutoSizeMaxWidth = 0, FAutoSizeMaxHeight = 0;
    std::wstring FCaption;
    TKivFont FFont;
    UINT FTextFormat = kKivDefaultTextFormat;
};

// The logo of a title bar.
class TKivTitleBarLogo {
public:
    explicit TKivTitleBarLogo(TKivTitleBar& bar) : FBar(bar) {}
    TKivTitleBarLogo(const TKivTitleBarLogo&) = delete;
    TKivTitleBarLogo& operator=(const TKivTitleBarLogo&) = delete;

    // Position and size take effect at the next paint; the picture is drawn at its own size.
    int Left = 0, Top = 0, Width = 48, Height = 48;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    const TKivPicture& Logo() const { return FLogo; }
    void SetLogo(const TKivPicture& picture);
    TKivTitleBar& Bar() const { return FBar; }

    void Assign(const TKivTitleBarLogo& other);
    void ApplyAutoSize();

private:
    TKivTitleBar& FBar;
    bool FAutoSize = true;
    TKivPicture FLogo;
};

struct TKivTitleBarArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 200, Height = 28;
    TKivFont Font = DefaultKivFont();  // the texts start with copies of it
    std::wstring Title;
    int TitleLeft = 48, TitleTop = 0;
    TKivPicture Logo;
    int LogoLeft = 0, LogoTop = 0;
    bool MoveHandler = true;
};

class TKivTitleBar : public TKivGraphicControl {
public:
    TKivTitleBar();
    explicit TKivTitleBar(const TKivTitleBarArgs& args);
    ~TKivTitleBar() override;
    void Create(const TKivTitleBarArgs& args);

    TKivTitleBarLabel& TitleBar() { return *FTitle; }
    TKivTitleBarLabel& SubtitleBar() { return *FSubtitle; }
    TKivTitleBarLabel& VersionBar() { return *FVersion; }
    TKivTitleBarLogo& LogoBar() { return *FLogo; }
    // What the bar was made with (its texts and logo are its parts'); their first font.
    const TKivTitleBarArgs& Args() const { return FArgs; }
    const TKivFont& Font() const { return FArgs.Font; }
    bool MoveHandler() const { return FArgs.MoveHandler; }
    void SetMoveHandler(bool value) { FArgs.MoveHandler = value; }

    // The bar after a change of one of its parts.
    void Changed() { Invalidate(); }

    // A screen reader reads the window's title.
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override { return FTitle->Caption(); }

protected:
    void Paint(HDC dc) override;
    void ScaleChanged() override;
    void MouseDown(const TKivMouseEvent& e) override;

private:
    TKivTitleBarArgs FArgs;
    // Made in this order: logo, subtitle, version, title.
    std::unique_ptr<TKivTitleBarLogo> FLogo;
    std::unique_ptr<TKivTitleBarLabel> FSubtitle;
    std::unique_ptr<TKivTitleBarLabel> FVersion;
    std::unique_ptr<TKivTitleBarLabel> FTitle;
};

}  // namespace sk
