// The program's pictures at a display scale. tools/make-assets draws every picture at 100, 125, 150
// and 200 % (resources NAME, NAME_125, NAME_150 and NAME_200, from name.png, name@125.png, ...); a
// window asks for a picture with its DPI and gets it at exactly round(size at 100 % x scale), taken
// from the drawing for that scale, or resampled from the nearest larger one when the scale is not
// one of the four.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/DisplayScale.h"
#include "controls/Assets.h"
#include "controls/KWPicture.h"

namespace sk {

// The scales every picture is drawn at, in percent.
inline constexpr int kDrawnScales[] = {100, 125, 150, 200};

// The drawing a picture at `scale` is made from, in percent: the scale itself when it is drawn,
// else the next drawn scale above it, and 200 above 200 %. A larger drawing reduced by area
// averaging keeps its edges and details (between 100 and 200 % it is never reduced by more than
// 1 : 1.33); a smaller one enlarged can only spread each pixel and blur its edges.
int DrawnScaleFor(TDisplayScale scale);

// The resource name of a picture at a drawn scale: L"BUTTON_NORMAL" at 100, L"BUTTON_NORMAL_125" at
// 125, and so on.
std::wstring ScaledAssetName(const std::wstring& name, int drawnPercent);

// The size of a picture at 100 %, read from its PNG header without decoding it (raises sk::TError
// when the picture is missing or damaged).
SIZE AssetBaseSize(const wchar_t* name);
// The size of a picture at a scale: the base size scaled (what AssetPictureAt returns).
SIZE AssetSizeAt(const wchar_t* name, TDisplayScale scale);

// A picture of the program at a display scale, exactly AssetSizeAt: the drawing DrawnScaleFor picks,
// resampled (see Resample.h) when the scale is not drawn. When that drawing is missing from the
// program the nearest other one stands in (larger first). Made once per name and scale and shared
// afterwards (window thread only, like every window); the drawn ones are AssetPicture's own.
// Raises sk::TError when the picture is missing at 100 %.
const TKivPicture& AssetPictureAt(const wchar_t* name, TDisplayScale scale);
inline const TKivPicture& AssetPictureForDpi(const wchar_t* name, int dpi) {
    return AssetPictureAt(name, TDisplayScale::FromDpi(dpi));
}

// The four state pictures of a button kind (prefix as in Assets.h) at a display scale; they share
// one size.
TKivStatePictures AssetStatePicturesAt(const std::wstring& prefix, TDisplayScale scale);
inline TKivStatePictures AssetStatePicturesForDpi(const std::wstring& prefix, int dpi) {
    return AssetStatePicturesAt(prefix, TDisplayScale::FromDpi(dpi));
}

}  // namespace sk
