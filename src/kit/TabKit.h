// Pieces every tab and dialog builds with: buttons bound to actions, link labels, the body font of
// the native lists and trees, and white content panels.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Action.h"
#include "controls/Assets.h"
#include "controls/KWImageButton.h"
#include "controls/KWImagePanel.h"
#include "controls/KWLabel.h"

namespace sk {

// A picture of the program, or an empty one when it cannot be had: a window still works without
// its decoration.
TKivPicture OptionalPicture(const wchar_t* name);
TKivStatePictures OptionalStatePictures(const wchar_t* prefix);

// Tahoma, 11 layout pixels (8.25 points): the font of the windows and of their native lists and
// trees (not owned). Made for the system's DPI; the controls it is given to show it at their own
// (see base/Fonts.h), so it is the right font for any control of the layout.
HFONT BodyFont();
HFONT BodyBoldFont();

// The letter Alt presses a command's button with (its action's name; 0: none).
wchar_t ActionMnemonic(const std::wstring& actionName);

// The fonts of the program's push buttons: the body text, greyed when disabled.
TKivStateFonts PushButtonFonts();

// A 75 x 26 push button with the program's pictures, showing and running `action`: its caption,
// enabled and visible state follow the action; Alt and the action's letter press it. Places and
// sizes here and below are in the parent's 96-dpi layout.
void CreateActionButton(TKivImageButton& button, HWND parent, int left, int top, TAction& action, int width = 75,
                        int height = 26);
// A plain push button with the program's pictures.
void CreatePushButton(TKivImageButton& button, HWND parent, int left, int top, const std::wstring& caption,
                      std::function<void()> onClick, int width = 75, int height = 26, wchar_t mnemonic = 0);

// An underlined link-style label with a hand cursor that runs onClick (and never drags the window);
// Tab reaches it, and Enter or Space run it.
TKivLabelArgs LinkLabelArgs(HWND parent, int left, int top, const std::wstring& caption,
                            std::function<void()> onClick);
void CreateLinkLabel(TKivLabel& label, HWND parent, int left, int top, const std::wstring& caption,
                     std::function<void()> onClick);

// A one-line status text in the body font that grows with its text up to maxWidth, then ends in
// an ellipsis.
void CreateStatusLabel(TKivLabel& label, HWND parent, int left, int top, int maxWidth);

// The close button of a dialog's title strip (25 x 24, the close pictures): it ends the dialog with
// the cancel result; with escCloses, Esc presses it.
void CreateDialogCloseButton(TKivImageButton& button, HWND surface, int left, int top, bool escCloses = false);

// Where a window of the given size (pixels) stands centred over owner (over the work area without
// one), kept on the work area's top and left edges when it is larger.
POINT CenteredOver(HWND owner, int width, int height);

// The picture-skinned surface that fills a window and carries all its controls; it drags the window.
// Returns the surface's handle.
HWND CreateWindowSurface(TKivImagePanel& panel, HWND window, int width, int height, const TKivPicture& picture);

// A white panel that does not drag the window (a tab's page or a part of one).
bool CreateContentPanel(TKivImagePanel& panel, HWND parent, int left, int top, int width, int height,
                        bool visible = true);

}  // namespace sk
