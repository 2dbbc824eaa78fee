// A window-less picture, such as a window's banner: dragging it moves the window.
#pragma once

#include "controls/KWGraphicControl.h"
#include "controls/KWPicture.h"

namespace sk {

struct TKivImageArgs {
    HWND Parent = nullptr;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TKivPicture Picture;
    bool Stretch = false;       // scale the picture to the control's size
    bool Proportional = false;  // with Stretch: keep the picture's proportions (shrinking only)
    bool Center = false;        // centre an unstretched picture
    bool AutoSize = false;      // take the picture's size
    bool MoveHandler = true;    // any mouse press drags the window
    HCURSOR Cursor = nullptr;
    std::wstring Hint;
    bool Visible = true;
};

class TKivImage : public TKivGraphicControl {
public:
    TKivImage() = default;
    explicit TKivImage(const TKivImageArgs& args) { Create(args); }
    void Create(const TKivImageArgs& args);

    const TKivPicture& Picture() const { return FPicture; }
    void SetPicture(const TKivPicture& picture);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool MoveHandler() const { return FMoveHandler; }
    void SetMoveHandler(bool value) { FMoveHandler = value; }

    // Where the picture is drawn within the control.
    RECT PictureRect() const;

protected:
    void Paint(HDC dc) override;
    void MouseDown(const TKivMouseEvent& e) override;

private:
    void ApplyAutoSize();

    TKivPicture FPicture;
    bool FStretch = false, FProportional = false, FCenter = false, FAutoSize = false, FMoveHandler = true;
};

}  // namespace sk
