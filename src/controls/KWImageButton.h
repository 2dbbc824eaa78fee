// The program's push button: the skinned button with optional bevel borders in two styles, a focus
// frame, and its raw mouse and key events.
#pragma once

#include "controls/KWCustomButton.h"

namespace sk {

class TKivImageButton : public TKivCustomButton {
public:
    TKivImageButton() = default;
    explicit TKivImageButton(const TKivButtonArgs& args) { Create(args); }

    TKivImageButtonStyle Style() const { return Args().Style; }
    // Also sets both margins: 4 with border and focus frame, 2 with one of them, 0 without.
    void SetStyle(TKivImageButtonStyle style);

    std::function<void(const TKivMouseEvent&)> OnMouseDown;
    std::function<void(const TKivMouseEvent&)> OnMouseUp;
    std::function<void(POINT pos, WPARAM keys)> OnMouseMove;
    std::function<void(WPARAM key)> OnKeyDown;
    std::function<void(WPARAM key)> OnKeyUp;

protected:
    const wchar_t* ClassName() const override { return L"TKivImageButton"; }
    void PaintBorder(HDC dc) override;
    void PaintFocus(HDC dc) override;
    void MouseDownHook(const TKivMouseEvent& e) override;
    void MouseUpHook(const TKivMouseEvent& e) override;
    void MouseMoveHook(POINT pos, WPARAM keys) override;
    bool KeyHook(UINT msg, WPARAM key) override;
    virtual void ImageButtonHook(HDC dc) {}
};

}  // namespace sk
