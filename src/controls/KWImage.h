// A window-less picture, such as a window's banner: dragging it moves the window.
#pragma once

#include <functional>
#include <string>

#include "controls/KWGraphicControl.h"
#include "controls/KWPicture.h"

namespace sk {

// What a picture is made with. It keeps these as its look and behaviour; its place, visibility,
// pointer and hint are the window-less control's once placed.
struct TKivImageArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TKivPicture Picture;
    bool Stretch = false;       // scale the picture to the control's size
    bool Proportional = false;  // with Stretch: keep the picture's proportions (shrinking only)
    bool Center = false;        // centre an unstretched picture
    bool AutoSize = false;      // take the picture's size
    bool MoveHandler = true;    // any mouse press drags the window
    // Decoration only: no screen reader hears of it, and a high-contrast theme leaves it out.
    // Otherwise a picture with a hint, a name or a click is a graphic to a screen reader.
    bool Decorative = false;
    std::wstring Name;          // what a screen reader calls it (empty: its hint)
    HCURSOR Cursor = nullptr;
    std::wstring Hint;
    bool Visible = true;
    std::function<void()> OnClick;
};

class TKivImage : public TKivGraphicControl {
public:
    TKivImage() = default;
    explicit TKivImage(const TKivImageArgs& args) { Create(args); }
    void Create(const TKivImageArgs& args);

    // The look and behaviour the picture has now (its place is the control's).
    const TKivImageArgs& Args() const { return FArgs; }
    // Changes them: the control takes the picture's size when AutoSize is on, and repaints.
    void Change(const std::function<void(TKivImageArgs& args)>& edit);

    const TKivPicture& Picture() const { return FArgs.Picture; }
    void SetPicture(const TKivPicture& picture);
    bool MoveHandler() const { return FArgs.MoveHandler; }
    void SetMoveHandler(bool value) { FArgs.MoveHandler = value; }

    // Where the picture is drawn within the control, in pixels.
    RECT PictureRect() const;

    long AccessibleRole() const override;
    std::wstring AccessibleName() const override { return FArgs.Name.empty() ? Hint() : FArgs.Name; }
    std::wstring AccessibleDefaultAction() const override;

protected:
    void Paint(HDC dc) override;
    void MouseDown(const TKivMouseEvent& e) override;

private:
    void ApplyAutoSize();

    TKivImageArgs FArgs;
};

}  // namespace sk
