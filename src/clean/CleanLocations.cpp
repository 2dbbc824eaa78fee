#include "clean/CleanLocations.h"

#include <windows.h>
#include <shlobj.h>

#include "base/Paths.h"

namespace sk {

namespace {

class TShellCleanLocations final : public TCleanLocations {
public:
    std::wstring InternetCacheFolder() override { return SpecialFolderPath(CSIDL_INTERNET_CACHE, false); }
    std::wstring CookiesFolder() override { return SpecialFolderPath(CSIDL_COOKIES, false); }
    std::wstring HistoryFolder() override { return SpecialFolderPath(CSIDL_HISTORY, false); }
};

}  // namespace

TCleanLocations& ShellCleanLocations() {
    static TShellCleanLocations locations;
    return locations;
}

}  // namespace sk
