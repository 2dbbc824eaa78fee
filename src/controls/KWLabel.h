// Window-less labels: a caption drawn by DrawTextW in one of nineteen placements with trimming,
// word wrap, margins, auto-size limits and state fonts; a label can drag its window. The link
// label opens its address and remembers that it was visited.
#pragma once

#include <functional>
#include <string>

#include "controls/KWGraphicControl.h"

namespace sk {

struct TKivLabelArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 65, Height = 17;
    std::wstring Caption;
    TKivFont Font = DefaultKivFont();
    COLORREF Color = ::GetSysColor(COLOR_BTNFACE);
    bool Transparent = true;
    bool AutoSize = true;
    int AutoSizeMaxWidth = 0, AutoSizeMaxHeight = 0;
    bool WordWrap = true;
    TKivAlignment TextAlignment = kalTopLeft;
    TKivTextTrimmingType TextTrimming = kttEllipsisWord;
    int TextX = 0, TextY = 0, TextMargins = 0;
    TKivMultiFontsFlags FontsFlags = 0;
    // State fonts; unset ones start as copies of Font.
    const TKivFont* FontHover = nullptr;
    const TKivFont* FontDisabled = nullptr;
    bool MoveHandler = true;  // a mouse press drags the window (link labels: false)
    std::wstring URL;
    HCURSOR Cursor = nullptr;
    std::wstring Hint;
    bool Enabled = true;
    bool Visible = true;
};

class TKivCustomLabel : public TKivGraphicControl {
public:
    void Create(const TKivLabelArgs& args);

    const std::wstring& Caption() const { return FCaption; }
    void SetCaption(const std::wstring& caption);
    const TKivFont& Font() const { return FFont; }
    void SetFont(const TKivFont& font);
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF color);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    int AutoSizeMaxWidth() const { return FAutoSizeMaxWidth; }
    void SetAutoSizeMaxWidth(int value);
    int AutoSizeMaxHeight() const { return FAutoSizeMaxHeight; }
    void SetAutoSizeMaxHeight(int value);
    bool WordWrap() const { return (FTextFormat & DT_SINGLELINE) == 0; }
    void SetWordWrap(bool value);
    UINT TextFormat() const { return FTextFormat; }
    TKivTextTrimmingType TextTrimming() const { return FTextTrimming; }
    void SetTextTrimming(TKivTextTrimmingType value);
    TKivAlignment TextAlignment() const { return FTextAlignment; }
    void SetTextAlignment(TKivAlignment value);
    int TextX() const { return FTextX; }
    void SetTextX(int value);
    int TextY() const { return FTextY; }
    void SetTextY(int value);
    int TextMargins() const { return FTextMargins; }
    void SetTextMargins(int value);
    TKivMultiFontsFlags FontsFlags() const { return FFontsFlags; }
    void SetFontsFlags(TKivMultiFontsFlags value);
    const TKivFont& FontHover() const { return FFontHover; }
    void SetFontHover(const TKivFont& font);
    const TKivFont& FontDown() const { return FFontDown; }
    const TKivFont& FontDisabled() const { return FFontDisabled; }
    void SetFontDisabled(const TKivFont& font);
    bool MoveHandler() const { return FMoveHandler; }
    void SetMoveHandler(bool value) { FMoveHandler = value; }
    const std::wstring& URL() const { return FURL; }
    void SetURL(const std::wstring& url);

    // Where and how the caption is drawn with the font selected into dc.
    TKivTextLayout CalcTextLayout(HDC dc) const;
    // Runs the automatic sizing now (it also runs whenever the caption, font or layout changes).
    void ApplyAutoSize();

    // Replaces the click of a link label (no address is opened then).
    std::function<void()> OnCommand;

protected:
    void Paint(HDC dc) override;
    void MouseDown(const TKivMouseEvent& e) override;
    void Placed() override { Remeasure(); }
    // The font and colour the caption is drawn with now.
    virtual const TKivFont& PaintFont() const;
    virtual COLORREF PaintColor() const { return PaintFont().Color(); }
    void Remeasure();

    std::wstring FCaption;
    TKivFont FFont = DefaultKivFont();
    COLORREF FColor = 0;
    bool FTransparent = true;
    bool FAutoSize = true;
    int FAutoSizeMaxWidth = 0, FAutoSizeMaxHeight = 0;
    UINT FTextFormat = kKivDefaultTextFormat;
    TKivTextTrimmingType FTextTrimming = kttEllipsisWord;
    TKivAlignment FTextAlignment = kalTopLeft;
    int FTextX = 0, FTextY = 0, FTextMargins = 0;
    TKivMultiFontsFlags FFontsFlags = 0;
    TKivFont FFontHover = DefaultKivFont(), FFontDown = DefaultKivFont(), FFontDisabled = DefaultKivFont();
    bool FMoveHandler = true;
    std::wstring FURL;
    bool FCreating = false;
};

class TKivLabel : public TKivCustomLabel {
public:
    TKivLabel() = default;
    explicit TKivLabel(const TKivLabelArgs& args) { Create(args); }
};

class TKivURLLabel : public TKivCustomLabel {
public:
    TKivURLLabel() = default;
    // Takes the arguments with the link's look on top: its font in the system highlight colour and
    // underlined, the hand pointer, and no window drag (change them afterwards with the setters).
    explicit TKivURLLabel(const TKivLabelArgs& args) { CreateLink(args); }
    void CreateLink(TKivLabelArgs args);

    bool Visited() const { return FVisited; }
    void SetVisited(bool value);
    bool EnableVisitedColor() const { return FEnableVisitedColor; }
    void SetEnableVisitedColor(bool value);
    COLORREF VisitedColor() const { return FVisitedColor; }
    void SetVisitedColor(COLORREF value);
    bool Hovered() const { return FHovered; }
    bool Pressed() const { return FPressed; }

protected:
    const TKivFont& PaintFont() const override;
    COLORREF PaintColor() const override;
    void MouseDown(const TKivMouseEvent& e) override;
    void MouseMove(POINT pos, WPARAM keys) override;
    void MouseUp(const TKivMouseEvent& e) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Click() override;

private:
    void SetStates(bool hovered, bool pressed);

    bool FVisited = false;
    bool FEnableVisitedColor = false;
    COLORREF FVisitedColor = RGB(0x80, 0x00, 0x80);
    bool FHovered = false, FPressed = false;
};

}  // namespace sk
