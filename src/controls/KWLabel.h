// Window-less labels: a caption drawn by DrawTextW in one of nineteen placements with trimming,
// word wrap, margins, auto-size limits and state fonts; a label can drag its window. The link
// label opens its address and remembers that it was visited.
#pragma once

#include <functional>
#include <string>

#include "controls/KWGraphicControl.h"

namespace sk {

// What a label is made with. It keeps these as its look, its caption among them; its place, its
// enabled and visible state, its pointer and its hint are the window-less control's once placed.
struct TKivLabelArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 65, Height = 17;
    std::wstring Caption;
    TKivStateFonts Fonts;  // Normal is the caption's font; another state's shows when FontsFlags says so
    COLORREF Color = ::GetSysColor(COLOR_BTNFACE);
    bool Transparent = true;
    bool AutoSize = true;
    int AutoSizeMaxWidth = 0, AutoSizeMaxHeight = 0;
    bool WordWrap = true;
    TKivAlignment TextAlignment = kalTopLeft;
    TKivTextTrimmingType TextTrimming = kttEllipsisWord;
    int TextX = 0, TextY = 0, TextMargins = 0;
    // The states drawn in a font of their own: kmfDisabled, and for link labels kmfMouseHover and
    // kmfMouseDown.
    TKivMultiFontsFlags FontsFlags = 0;
    bool MoveHandler = true;  // a mouse press drags the window (link labels: false)
    bool TabStop = false;     // Tab reaches it, Enter and Space click it (link labels: true)
    std::wstring URL;
    bool EnableVisitedColor = false;  // link labels: a visited link shows in VisitedColor
    COLORREF VisitedColor = RGB(0x80, 0x00, 0x80);
    HCURSOR Cursor = nullptr;
    std::wstring Hint;
    bool Enabled = true;
    bool Visible = true;
    std::function<void()> OnClick;
};

class TKivCustomLabel : public TKivGraphicControl {
public:
    void Create(const TKivLabelArgs& args);

    // The look the label has now (its place is the control's).
    const TKivLabelArgs& Args() const { return FArgs; }
    // Changes it: the label re-sizes itself when it sizes to its caption, and repaints.
    void Change(const std::function<void(TKivLabelArgs& args)>& edit);

    const std::wstring& Caption() const { return FArgs.Caption; }
    void SetCaption(const std::wstring& caption);
    const TKivFont& Font() const { return FArgs.Fonts.Normal; }
    void SetAutoSizeMaxWidth(int value);
    TKivMultiFontsFlags FontsFlags() const { return FArgs.FontsFlags; }
    void SetFontsFlags(TKivMultiFontsFlags value);
    bool WordWrap() const { return (FTextFormat & DT_SINGLELINE) == 0; }
    UINT TextFormat() const { return FTextFormat; }
    bool MoveHandler() const { return FArgs.MoveHandler; }
    void SetMoveHandler(bool value) { FArgs.MoveHandler = value; }
    const std::wstring& URL() const { return FArgs.URL; }
    void SetURL(const std::wstring& url);

    // Where and how the caption is drawn with the font selected into dc.
    TKivTextLayout CalcTextLayout(HDC dc) const;
    // Runs the automatic sizing now (it also runs whenever the caption, font or layout changes).
    void ApplyAutoSize();

    // Replaces the click of a link label (no address is opened then).
    std::function<void()> OnCommand;

    // A label that does something when clicked is a link to a screen reader, any other static text.
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override;
    std::wstring AccessibleValue() const override { return FArgs.URL; }
    std::wstring AccessibleDefaultAction() const override;

protected:
    void Paint(HDC dc) override;
    void MouseDown(const TKivMouseEvent& e) override;
    void Placed() override { Remeasure(); }
    void ScaleChanged() override { Remeasure(); }
    // The state whose font and colour the caption is drawn in now.
    virtual TKivState PaintState() const { return Enabled() ? ksNormal : ksDisabled; }
    // The font of the state, when FontsFlags gives the state a font of its own.
    const TKivFont& PaintFont() const;
    virtual COLORREF PaintColor() const { return PaintFont().Color(); }
    // The system colour the caption shows in with a high-contrast theme.
    COLORREF HighContrastTextColor() const;
    void Remeasure();

    TKivLabelArgs FArgs;
    // The DrawText flags, from the trimming and word wrap chosen so far; always DT_NOPREFIX.
    UINT FTextFormat = kKivDefaultTextFormat | DT_NOPREFIX;
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
    // underlined, the hand pointer, and no window drag (change them afterwards with Change).
    explicit TKivURLLabel(const TKivLabelArgs& args) { CreateLink(args); }
    void CreateLink(TKivLabelArgs args);

    bool Visited() const { return FVisited; }
    void SetVisited(bool value);
    void SetEnableVisitedColor(bool value);
    void SetVisitedColor(COLORREF value);
    bool Hovered() const { return FHovered; }
    bool Pressed() const { return FPressed; }

protected:
    TKivState PaintState() const override;
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
    bool FHovered = false, FPressed = false;
};

}  // namespace sk
