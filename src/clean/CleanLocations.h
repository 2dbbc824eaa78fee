// Where the browser keeps the data the cleaner works on. The engine asks these at the start of every
// category, so tests can point it at folders of their own.
#pragma once

#include <string>

namespace sk {

class TCleanLocations {
public:
    virtual ~TCleanLocations() = default;
    // Each is a folder path with a trailing backslash, or empty when there is none.
    virtual std::wstring InternetCacheFolder() = 0;
    virtual std::wstring CookiesFolder() = 0;
    virtual std::wstring HistoryFolder() = 0;
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

    std::wstring Cache;
    std::wstring Cookies;
    std::wstring History;
};

}  // namespace sk
