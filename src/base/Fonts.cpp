#include "base/Fonts.h"

#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "base/DisplayScale.h"

namespace sk {

namespace {

using TKey = std::tuple<std::wstring, int, bool, bool, bool, int>;

struct TFontRegistry {
    std::mutex Lock;
    std::map<TKey, HFONT> ByKey;
    std::unordered_map<HFONT, std::pair<TFontLook, int>> ByHandle;
    std::map<std::pair<HFONT, int>, HFONT> Foreign;  // another font and a DPI: its scaled copy
};

TFontRegistry& Registry() {
    // Never destroyed: windows that go late in the program's end may still hold the fonts.
    static TFontRegistry* registry = new TFontRegistry;
    return *registry;
}

HFONT MakeFont(const TFontLook& s, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -TDisplayScale::FromDpi(dpi).Scale(s.Height < 0 ? -s.Height : s.Height);
    lf.lfWeight = s.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = s.Italic;
    lf.lfUnderline = s.Underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    wcsncpy_s(lf.lfFaceName, s.Name.c_str(), _TRUNCATE);
    return ::CreateFontIndirectW(&lf);
}

}  // namespace

HFONT ProgramFont(const TFontLook& look, int dpi) {
    if (dpi <= 0) dpi = 96;
    TFontRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    const TKey key{look.Name, look.Height, look.Bold, look.Italic, look.Underline, dpi};
    if (const auto it = r.ByKey.find(key); it != r.ByKey.end()) return it->second;
    HFONT font = MakeFont(look, dpi);
    r.ByKey.emplace(key, font);
    if (font) r.ByHandle.emplace(font, std::make_pair(look, dpi));
    return font;
}

bool IsProgramFont(HFONT font, TFontLook* look, int* dpi) {
    if (!font) return false;
    TFontRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    const auto it = r.ByHandle.find(font);
    if (it == r.ByHandle.end()) return false;
    if (look) *look = it->second.first;
    if (dpi) *dpi = it->second.second;
    return true;
}

HFONT FontForDpi(HFONT font, int dpi) {
    if (!font) return nullptr;
    TFontLook look;
    int fontDpi = 0;
    if (IsProgramFont(font, &look, &fontDpi)) return fontDpi == dpi ? font : ProgramFont(look, dpi);
    if (dpi == SystemDpi()) return font;
    TFontRegistry& r = Registry();
    const std::lock_guard<std::mutex> guard(r.Lock);
    HFONT& copy = r.Foreign[{font, dpi}];
    if (!copy) {
        LOGFONTW lf{};
        if (!::GetObjectW(font, sizeof lf, &lf)) return font;
        lf.lfHeight = ::MulDiv(lf.lfHeight, dpi, SystemDpi());
        lf.lfWidth = ::MulDiv(lf.lfWidth, dpi, SystemDpi());
        copy = ::CreateFontIndirectW(&lf);
        if (!copy) return font;
    }
    return copy;
}

}  // namespace sk
