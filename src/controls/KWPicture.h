// Pictures of the skinned controls: PNG files decoded into premultiplied 32-bit DIB sections and
// drawn with alpha blending, and the off-screen buffer every windowed control paints into.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/DisplayScale.h"
#include "base/Handles.h"
#include "controls/KWClasses.h"

namespace sk {

// A premultiplied BGRA bitmap. Copies share the pixels, which are never changed after loading, so a
// copy behaves as an owned copy.
class TKivPicture {
public:
    TKivPicture() = default;

    bool Empty() const { return Width() <= 0; }
    // The size in pixels.
    int Width() const;
    int Height() const;
    // The size in the 96-dpi layout: a picture of the program's at its 100 % size, any other at its
    // own size.
    int LayoutWidth() const;
    int LayoutHeight() const;
    // The picture for a display scale: a picture of the program's is the one drawn (or resampled) for
    // that scale (ScaledAssets.h); any other is taken as drawn for 100 % and resampled from its own
    // size. Made once per scale and kept with the picture (window thread only).
    const TKivPicture& AtScale(TDisplayScale scale) const;
    // The program's picture this is, and the scale it is drawn for (for ScaledAssets).
    const std::wstring& AssetName() const;
    void TagAsset(const std::wstring& name, TDisplayScale scale, SIZE layoutSize) const;
    HBITMAP Handle() const;  // the DIB section, owned by the picture
    // True when every pixel is fully opaque (drawn with a plain copy then).
    bool Opaque() const;
    // Premultiplied B, G, R, A of one pixel (for tests); 0 outside.
    uint32_t Pixel(int x, int y) const;
    const uint32_t* Bits() const;

    // A picture from premultiplied BGRA pixels, top row first.
    static TKivPicture FromPixels(int width, int height, const uint32_t* premultipliedBgra);
    // A picture whose pixels `fill` writes in place (premultiplied BGRA, top row first, no row
    // padding): spares a copy of the pixels, and touching new memory is not free.
    template <typename Fill>
    static TKivPicture Make(int width, int height, Fill&& fill) {
        TKivPicture pic = Allocate(width, height);
        if (!pic.Empty()) {
            fill(const_cast<uint32_t*>(pic.Bits()));
            pic.Finish();
        }
        return pic;
    }

    // Draws the picture unscaled with its top-left corner at (x, y), blending soft edges with what
    // the DC already holds.
    void Draw(HDC dc, int x, int y) const;
    // Draws it stretched into the rectangle.
    void DrawStretched(HDC dc, const RECT& into) const;

    bool operator==(const TKivPicture& o) const { return FData == o.FData; }

private:
    static TKivPicture Allocate(int width, int height);
    void Finish();  // notes whether the pixels are all opaque
    struct TData;
    std::shared_ptr<const TData> FData;
};

// A control's pictures by state (an empty one shows Normal).
using TKivStatePictures = TKivByState<TKivPicture>;

// Decoding; a damaged or non-PNG input raises sk::TError naming the source.
TKivPicture LoadPngMemory(const void* data, size_t size, const std::wstring& sourceName = L"picture");
TKivPicture LoadPngFile(const std::wstring& fileName);
// An RCDATA resource of the executable (names in controls/Assets.h).
TKivPicture LoadPngResource(const wchar_t* name, HMODULE module = nullptr);

// A 32-bit DIB section of one size with a memory DC on it.
class TOffscreenBuffer {
public:
    TOffscreenBuffer() = default;
    ~TOffscreenBuffer();
    TOffscreenBuffer(const TOffscreenBuffer&) = delete;
    TOffscreenBuffer& operator=(const TOffscreenBuffer&) = delete;

    // Makes the buffer anew when the size differs (or none exists); false for an empty size.
    bool Ensure(int width, int height);
    void Free();
    HDC DC() const { return FDC.Get(); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    uint32_t* Bits() const { return FBits; }
    uint32_t Pixel(int x, int y) const;

private:
    TBitmap FBitmap;
    TMemDC FDC;
    std::optional<TSelectObject> FSelection;  // FBitmap in FDC
    uint32_t* FBits = nullptr;
    int FWidth = 0, FHeight = 0;
};

}  // namespace sk
