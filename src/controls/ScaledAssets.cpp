#include "controls/ScaledAssets.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <numeric>
#include <tuple>
#include <vector>

#include "base/Errors.h"
#include "controls/Resample.h"

namespace sk {

namespace {

bool HasResource(const std::wstring& name) {
    return ::FindResourceW(::GetModuleHandleW(nullptr), name.c_str(), RT_RCDATA) != nullptr;
}

}  // namespace

int DrawnScaleFor(TDisplayScale scale) {
    for (const int drawn : kDrawnScales)
        if (!(TDisplayScale::FromPercent(drawn) < scale)) return drawn;
    return kDrawnScales[std::size(kDrawnScales) - 1];
}

std::wstring ScaledAssetName(const std::wstring& name, int drawnPercent) {
    return drawnPercent == 100 ? name : name + L"_" + std::to_wstring(drawnPercent);
}

SIZE AssetBaseSize(const wchar_t* name) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, name, RT_RCDATA);
    HGLOBAL mem = res ? ::LoadResource(module, res) : nullptr;
    const auto* bytes = mem ? static_cast<const unsigned char*>(::LockResource(mem)) : nullptr;
    if (!bytes) throw TError(L"The picture " + std::wstring(name) + L" is missing from the program");
    // The PNG signature, then the IHDR chunk: length, "IHDR", width and height (big-endian).
    static const unsigned char kHead[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    auto be32 = [&](int at) {
        return (static_cast<uint32_t>(bytes[at]) << 24) | (static_cast<uint32_t>(bytes[at + 1]) << 16) |
               (static_cast<uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
    };
    if (::SizeofResource(module, res) < 24 || !std::equal(std::begin(kHead), std::end(kHead), bytes) ||
        be32(16) == 0 || be32(20) == 0 || be32(16) > 16384 || be32(20) > 16384)
        throw TError(L"The picture " + std::wstring(name) + L" cannot be read");
    return SIZE{static_cast<LONG>(be32(16)), static_cast<LONG>(be32(20))};
}

SIZE AssetSizeAt(const wchar_t* name, TDisplayScale scale) {
    const SIZE base = AssetBaseSize(name);
    return SIZE{scale.Scale(base.cx), scale.Scale(base.cy)};
}

const TKivPicture& AssetPictureAt(const wchar_t* name, TDisplayScale scale) {
    // Window thread only, like AssetPicture; pictures are never changed once made. A drawn picture
    // that needs no resampling is kept here too (a copy shares its pixels).
    static std::map<std::tuple<std::wstring, int, int>, TKivPicture> cache;
    const auto key = std::make_tuple(std::wstring(name), scale.Numerator(), scale.Denominator());
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    const SIZE size = AssetSizeAt(name, scale);
    // The drawing DrawnScaleFor picks; should it be missing, the other drawings from the nearest
    // larger one up, then the smaller ones down to 100 %, which AssetBaseSize found.
    const int wanted = DrawnScaleFor(scale);
    std::vector<int> order;
    for (const int drawn : kDrawnScales)
        if (drawn >= wanted) order.push_back(drawn);
    for (auto it = std::rbegin(kDrawnScales); it != std::rend(kDrawnScales); ++it)
        if (*it < wanted) order.push_back(*it);
    int from = 100;
    for (const int drawn : order) {
        if (HasResource(ScaledAssetName(name, drawn))) {
            from = drawn;
            break;
        }
    }
    const TKivPicture& drawing = AssetPicture(ScaledAssetName(name, from).c_str());
    const TKivPicture& made = cache.emplace(key, ResamplePicture(drawing, size.cx, size.cy)).first->second;
    // It knows what it is: a control that shows it at another scale asks for that scale's.
    made.TagAsset(name, scale, AssetBaseSize(name));
    return made;
}

TKivStatePictures AssetStatePicturesAt(const std::wstring& prefix, TDisplayScale scale) {
    auto at = [&](const wchar_t* state) { return AssetPictureAt((prefix + state).c_str(), scale); };
    return TKivStatePictures{at(L"_NORMAL"), at(L"_HOVER"), at(L"_DOWN"), at(L"_DISABLED")};
}

}  // namespace sk
