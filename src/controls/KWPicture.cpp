#include "controls/KWPicture.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "base/Errors.h"
#include "base/Handles.h"
#include "controls/Resample.h"
#include "controls/ScaledAssets.h"

namespace sk {

struct TKivPicture::TData {
    int Width = 0, Height = 0;
    bool Opaque = true;
    TBitmap Bitmap;
    uint32_t* Bits = nullptr;  // owned by Bitmap
    // What the pixels are: a picture of the program's at a scale, with its layout size. Set once
    // the picture is made, on the window thread.
    mutable std::wstring Asset;
    mutable TDisplayScale Scale;
    mutable SIZE Layout{};
    // The resampled copies of a picture that is not the program's, by scale.
    mutable std::map<std::pair<int, int>, TKivPicture> Scaled;
};

namespace {

HBITMAP CreateTopDownDib(int width, int height, uint32_t** bits) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* p = nullptr;
    HBITMAP bmp = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    *bits = static_cast<uint32_t*>(p);
    return bmp;
}

// One memory DC per thread holding the picture being drawn; made once, it spares a DC per draw.
HDC SourceDC() {
    thread_local const TMemDC dc(::CreateCompatibleDC(nullptr));
    return dc.Get();
}

}  // namespace

int TKivPicture::Width() const { return FData ? FData->Width : 0; }
int TKivPicture::LayoutWidth() const { return FData ? (FData->Layout.cx > 0 ? FData->Layout.cx : FData->Width) : 0; }
int TKivPicture::LayoutHeight() const {
    return FData ? (FData->Layout.cy > 0 ? FData->Layout.cy : FData->Height) : 0;
}

const std::wstring& TKivPicture::AssetName() const {
    static const std::wstring none;
    return FData ? FData->Asset : none;
}

void TKivPicture::TagAsset(const std::wstring& name, TDisplayScale scale, SIZE layoutSize) const {
    if (!FData) return;
    FData->Asset = name;
    FData->Scale = scale;
    FData->Layout = layoutSize;
}

const TKivPicture& TKivPicture::AtScale(TDisplayScale scale) const {
    if (!FData || scale == FData->Scale) return *this;
    if (!FData->Asset.empty()) {
        try {
            return AssetPictureAt(FData->Asset.c_str(), scale);
        } catch (const TError&) {
            // Not one of the program's after all: resampled below.
        }
    }
    // From the pixels at hand to the layout size at the scale.
    const int w = std::max(1, scale.Scale(LayoutWidth())), h = std::max(1, scale.Scale(LayoutHeight()));
    if (w == FData->Width && h == FData->Height) return *this;
    TKivPicture& copy = FData->Scaled[{scale.Numerator(), scale.Denominator()}];
    if (copy.Empty()) {
        copy = ResamplePicture(*this, w, h);
        copy.TagAsset(L"", scale, SIZE{LayoutWidth(), LayoutHeight()});
    }
    return copy;
}
int TKivPicture::Height() const { return FData ? FData->Height : 0; }
HBITMAP TKivPicture::Handle() const { return FData ? FData->Bitmap.Get() : nullptr; }
bool TKivPicture::Opaque() const { return FData ? FData->Opaque : true; }
const uint32_t* TKivPicture::Bits() const { return FData ? FData->Bits : nullptr; }

uint32_t TKivPicture::Pixel(int x, int y) const {
    if (!FData || x < 0 || y < 0 || x >= FData->Width || y >= FData->Height) return 0;
    ::GdiFlush();
    return FData->Bits[static_cast<size_t>(y) * FData->Width + x];
}

TKivPicture TKivPicture::Allocate(int width, int height) {
    TKivPicture pic;
    if (width <= 0 || height <= 0) return pic;
    auto data = std::make_shared<TData>();
    data->Bitmap.Reset(CreateTopDownDib(width, height, &data->Bits));
    if (!data->Bitmap)
        throw TError(L"Not enough memory for a picture of " + std::to_wstring(width) + L" x " +
                     std::to_wstring(height) + L" pixels");
    data->Width = width;
    data->Height = height;
    pic.FData = std::move(data);
    return pic;
}

void TKivPicture::Finish() {
    auto* data = const_cast<TData*>(FData.get());
    const size_t n = static_cast<size_t>(data->Width) * data->Height;
    data->Opaque = true;
    for (size_t i = 0; i < n; ++i) {
        if ((data->Bits[i] >> 24) != 0xFF) {
            data->Opaque = false;
            break;
        }
    }
}

TKivPicture TKivPicture::FromPixels(int width, int height, const uint32_t* premultipliedBgra) {
    return Make(width, height, [&](uint32_t* bits) {
        std::memcpy(bits, premultipliedBgra, static_cast<size_t>(width) * height * 4);
    });
}

void TKivPicture::Draw(HDC dc, int x, int y) const {
    if (Empty()) return;
    const TSelectObject source(SourceDC(), FData->Bitmap.Get());
    if (FData->Opaque) {
        ::BitBlt(dc, x, y, FData->Width, FData->Height, SourceDC(), 0, 0, SRCCOPY);
    } else {
        const BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::GdiAlphaBlend(dc, x, y, FData->Width, FData->Height, SourceDC(), 0, 0, FData->Width, FData->Height, bf);
    }
}

void TKivPicture::DrawStretched(HDC dc, const RECT& into) const {
    if (Empty()) return;
    const int w = into.right - into.left, h = into.bottom - into.top;
    if (w <= 0 || h <= 0) return;
    if (w == FData->Width && h == FData->Height) return Draw(dc, into.left, into.top);
    const TSelectObject source(SourceDC(), FData->Bitmap.Get());
    if (FData->Opaque) {
        const int oldMode = ::SetStretchBltMode(dc, HALFTONE);
        POINT org;
        ::SetBrushOrgEx(dc, 0, 0, &org);
        ::StretchBlt(dc, into.left, into.top, w, h, SourceDC(), 0, 0, FData->Width, FData->Height, SRCCOPY);
        ::SetBrushOrgEx(dc, org.x, org.y, nullptr);
        ::SetStretchBltMode(dc, oldMode);
    } else {
        const BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::GdiAlphaBlend(dc, into.left, into.top, w, h, SourceDC(), 0, 0, FData->Width, FData->Height, bf);
    }
}

TKivPicture LoadPngMemory(const void* data, size_t size, const std::wstring& sourceName) {
    auto fail = [&](const char* why) -> TKivPicture {
        std::wstring reason;
        for (const char* p = why; p && *p; ++p)
            reason += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        throw TError(L"The picture " + sourceName + L" cannot be read" + (reason.empty() ? L"" : L": " + reason));
    };
    if (!data || size < 8) return fail("not a PNG file");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return fail(image.message);
    image.format = PNG_FORMAT_BGRA;
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        png_image_free(&image);
        return fail("unsupported size");
    }
    // Decoded straight into the picture's bitmap, then premultiplied there.
    const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
    const size_t count = static_cast<size_t>(width) * height;
    bool decoded = false;
    TKivPicture picture = TKivPicture::Make(width, height, [&](uint32_t* bits) {
        decoded = png_image_finish_read(&image, nullptr, bits, 0, nullptr) != 0;
        if (!decoded) return;
        for (uint32_t* p = bits; p != bits + count; ++p) {
            const uint32_t a = *p >> 24;
            if (a == 255) continue;
            auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
            *p = (a << 24) | (mul((*p >> 16) & 0xFF) << 16) | (mul((*p >> 8) & 0xFF) << 8) | mul(*p & 0xFF);
        }
    });
    if (!decoded) {
        png_image_free(&image);
        return fail(image.message);
    }
    return picture;
}

TKivPicture LoadPngFile(const std::wstring& fileName) {
    THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw TError(L"The picture " + fileName + L" cannot be opened");
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
        throw TError(L"The picture " + fileName + L" cannot be read");
    std::vector<unsigned char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()))
        throw TError(L"The picture " + fileName + L" cannot be read");
    return LoadPngMemory(bytes.data(), bytes.size(), fileName);
}

TKivPicture LoadPngResource(const wchar_t* name, HMODULE module) {
    if (!module) module = ::GetModuleHandleW(nullptr);
    const std::wstring shown =
        IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
    HRSRC res = ::FindResourceW(module, name, RT_RCDATA);
    if (!res) throw TError(L"The picture " + shown + L" is missing from the program");
    HGLOBAL mem = ::LoadResource(module, res);
    const void* bytes = mem ? ::LockResource(mem) : nullptr;
    if (!bytes) throw TError(L"The picture " + shown + L" is missing from the program");
    return LoadPngMemory(bytes, ::SizeofResource(module, res), shown);
}

TOffscreenBuffer::~TOffscreenBuffer() { Free(); }

void TOffscreenBuffer::Free() {
    // The bitmap leaves the DC before either goes.
    FSelection.reset();
    FDC.Reset();
    FBitmap.Reset();
    FBits = nullptr;
    FWidth = FHeight = 0;
}

bool TOffscreenBuffer::Ensure(int width, int height) {
    if (width <= 0 || height <= 0) {
        Free();
        return false;
    }
    if (FDC && width == FWidth && height == FHeight) return true;
    Free();
    FBitmap.Reset(CreateTopDownDib(width, height, &FBits));
    FDC.Reset(::CreateCompatibleDC(nullptr));
    if (!FBitmap || !FDC) {
        Free();
        return false;
    }
    FSelection.emplace(FDC.Get(), FBitmap.Get());
    FWidth = width;
    FHeight = height;
    return true;
}

uint32_t TOffscreenBuffer::Pixel(int x, int y) const {
    if (!FBits || x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
    ::GdiFlush();
    return FBits[static_cast<size_t>(y) * FWidth + x];
}

}  // namespace sk
