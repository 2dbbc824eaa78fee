#include "controls/Assets.h"

#include <map>

namespace sk {

const TKivPicture& AssetPicture(const wchar_t* name) {
    // Window thread only, like every window; pictures are never changed after loading.
    static std::map<std::wstring, TKivPicture> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, LoadPngResource(name)).first;
    return it->second;
}

TKivStatePictures AssetStatePictures(const std::wstring& prefix) {
    return TKivStatePictures{AssetPicture((prefix + L"_NORMAL").c_str()), AssetPicture((prefix + L"_HOVER").c_str()),
                             AssetPicture((prefix + L"_DOWN").c_str()), AssetPicture((prefix + L"_DISABLED").c_str())};
}

}  // namespace sk
