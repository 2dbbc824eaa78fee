// The program's pictures at a display scale. tools/make-assets draws every picture at 100, 125, 150
// and 200 % (resources NAME, NAME_125, NAME_150 and NAME_200, from name.png, name@125.png, ...); a
// window asks for a picture with its DPI and gets it at exactly round(size at 100 % x scale), taken
// from the drawing for that scale, or resampled from the nearest larger one when the scale is not
// one of the four.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "controls/Assets.h"
#include "controls/KWPicture.h"

namespace sk {

// A display scale: a fraction of 96 dpi (which is 100 %), kept in lowest terms so that 120 dpi and
// 125 % are the same scale. Scales outside 25 to 800 % are taken as the nearest of those.
class TDisplayScale {
public:
    constexpr TDisplayScale() = default;  // 100 %
    static TDisplayScale FromDpi(int dpi);  // 96 = 100 %, 120 = 125 %, 144 = 150 %, 192 = 200 %
    static TDisplayScale FromPercent(int percent);

    int Numerator() const { return FNum; }
    int Denominator() const { return FDen; }
    // length x scale, rounded to a whole pixel with halves up: the same as MulDiv(length, dpi, 96)
    // for lengths of 0 and more, so pictures and the layout of a window agree.
    int Scale(int length) const;
    // Whether the scale is drawn percent % exactly.
    bool Is(int percent) const { return static_cast<int64_t>(FNum) * 100 == static_cast<int64_t>(percent) * FDen; }

    bool operator==(const TDisplayScale& o) const { return FNum == o.FNum && FDen == o.FDen; }
    bool operator!=(const TDisplayScale& o) const { return !(*this == o); }
    bool operator<(const TDisplayScale& o) const {
        return static_cast<int64_t>(FNum) * o.FDen < static_cast<int64_t>(o.FNum) * FDen;
    }

private:
    constexpr TDisplayScale(int num, int den) : FNum(num), FDen(den) {}
    static TDisplayScale Make(int num, int den);
    int FNum = 1, FDen = 1;
};

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
