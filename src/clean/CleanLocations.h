// Where the browser keeps the data the cleaner works on, and where such data may lie at all. The
// engine asks these at the start of every category, so tests can point it at folders of their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sk {

class TCleanLocations {
public:
    virtual ~TCleanLocations() = default;
    // Each is a folder path with a trailing backslash, or empty when there is none.
    virtual std::wstring InternetCacheFolder() = 0;
    virtual std::wstring CookiesFolder() = 0;
    virtual std::wstring HistoryFolder() = 0;
    // The folders that a folder the cleaner walks must lie inside (never be): the user's profile and
    // application-data folders, as the shell names them.
    virtual std::vector<std::wstring> ContainerFolders();
    // The folders that a folder the cleaner walks may neither be, lie inside, nor hold: the user's
    // documents, desktop, pictures, music, videos and favourites, and the Windows folder.
    virtual std::vector<std::wstring> ProtectedFolders();
};

// The shell's special folders: CSIDL_INTERNET_CACHE, CSIDL_COOKIES and CSIDL_HISTORY, never created.
TCleanLocations& ShellCleanLocations();

// Three fixed folders (tests, benchmarks).
class TFixedCleanLocations final : public TCleanLocations {
public:
    TFixedCleanLocations() = default;
    TFixedCleanLocations(std::wstring cache, std::wstring cookies, std::wstring history)
        : Cache(std::move(cache)), Cookies(std::move(cookies)), History(std::move(history)) {}

    std::wstring InternetCacheFolder() override { return Cache; }
    std::wstring CookiesFolder() override { return Cookies; }
    std::wstring HistoryFolder() override { return History; }
    std::vector<std::wstring> ContainerFolders() override {
        return Containers ? *Containers : TCleanLocations::ContainerFolders();
    }
    std::vector<std::wstring> ProtectedFolders() override {
        return Protected ? *Protected : TCleanLocations::ProtectedFolders();
    }

    std::wstring Cache;
    std::wstring Cookies;
    std::wstring History;
    // Unset: the shell's, as for the real locations.
    std::optional<std::vector<std::wstring>> Containers;
    std::optional<std::vector<std::wstring>> Protected;
};

}  // namespace sk
