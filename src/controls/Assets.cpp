#include "controls/Assets.h"

#include <map>

#include "controls/ScaledAssets.h"

namespace sk {

const TKivPicture& AssetPicture(const wchar_t* name) {
    // Window thread only, like every window; pictures are never changed after loading.
    static std::map<std::wstring, TKivPicture> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        it = cache.emplace(name, LoadPngResource(name)).first;
        const TKivPicture& p = it->second;
        // A picture of the program's at 100 %, unless it is already known as a drawing of a scale.
        if (p.AssetName().empty()) p.TagAsset(name, TDisplayScale(), SIZE{p.Width(), p.Height()});
    }
    return it->second;
}

TKivStatePictures AssetStatePictures(const std::wstring& prefix) {
    return TKivStatePictures{AssetPicture((prefix + L"_NORMAL").c_str()), AssetPicture((prefix + L"_HOVER").c_str()),
                             AssetPicture((prefix + L"_DOWN").c_str()), AssetPicture((prefix + L"_DISABLED").c_str())};
}

}  // namespace sk
