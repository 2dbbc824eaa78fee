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

std::vector<std::wstring> ShellFolders(std::initializer_list<int> csidls) {
    std::vector<std::wstring> folders;
    for (int csidl : csidls) {
        std::wstring folder = SpecialFolderPath(csidl, false);
        if (!folder.empty()) folders.push_back(std::move(folder));
    }
    return folders;
}

}  // namespace

std::vector<std::wstring> TCleanLocations::ContainerFolders() {
    return ShellFolders({CSIDL_PROFILE, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA});
}

std::vector<std::wstring> TCleanLocations::ProtectedFolders() {
    return ShellFolders({CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO,
                         CSIDL_FAVORITES, CSIDL_WINDOWS});
}

TCleanLocations& ShellCleanLocations() {
    static TShellCleanLocations locations;
    return locations;
}

}  // namespace sk
