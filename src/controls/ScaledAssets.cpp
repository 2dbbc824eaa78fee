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

constexpr int kMinPercent = 25, kMaxPercent = 800;

bool HasResource(const std::wstring& name) {
    return ::FindResourceW(::GetModuleHandleW(nullptr), name.c_str(), RT_RCDATA) != nullptr;
}

}  // namespace

TDisplayScale TDisplayScale::Make(int num, int den) {
    // Clamped to 25 .. 800 %: a wrong DPI must not ask for pictures of gigabytes.
    if (static_cast<int64_t>(num) * 100 < static_cast<int64_t>(kMinPercent) * den) {
        num = kMinPercent;
        den = 100;
    } else if (static_cast<int64_t>(num) * 100 > static_cast<int64_t>(kMaxPercent) * den) {
        num = kMaxPercent;
        den = 100;
    }
    const int g = std::gcd(num, den);
    return TDisplayScale(num / g, den / g);
}

TDisplayScale TDisplayScale::FromDpi(int dpi) { return Make(dpi > 0 ? dpi : 96, 96); }

TDisplayScale TDisplayScale::FromPercent(int percent) { return Make(percent > 0 ? percent : 100, 100); }

int TDisplayScale::Scale(int length) const {
    // floor(length * num / den + 1/2), in integers
    const int64_t twice = 2 * static_cast<int64_t>(length) * FNum + FDen;
    const int64_t den = 2 * static_cast<int64_t>(FDen);
    int64_t q = twice / den;
    if (twice % den != 0 && twice < 0) --q;  // floor for negative lengths too
    return static_cast<int>(q);
}

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
    return cache.emplace(key, ResamplePicture(drawing, size.cx, size.cy)).first->second;
}

TKivStatePictures AssetStatePicturesAt(const std::wstring& prefix, TDisplayScale scale) {
    auto at = [&](const wchar_t* state) { return AssetPictureAt((prefix + state).c_str(), scale); };
    return TKivStatePictures{at(L"_NORMAL"), at(L"_HOVER"), at(L"_DOWN"), at(L"_DISABLED")};
}

}  // namespace sk
