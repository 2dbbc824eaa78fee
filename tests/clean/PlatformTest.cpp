// The cleaner's real platform: the WinInet URL cache, the history object, the registry and the
// shell's folders, as Wine provides them (the test prefix is a throwaway one).
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <map>

#include "CleanFakes.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "clean/IECleaner.h"
#include "registry/RegistryStore.h"

#include <shlobj.h>

using namespace sk;

namespace {

constexpr uint64_t GiB = 1024ull * 1024 * 1024;

bool CacheHas(const std::wstring& url) {
    DWORD size = 0;
    if (::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size)) return true;
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// Entries of our own in the real cache, removed again at the end.
class TRealCacheEntries {
public:
    ~TRealCacheEntries() {
        for (const auto& url : FUrls) ::DeleteUrlCacheEntryW(url.c_str());
    }

    // A content entry whose cache file holds size bytes (sparse where the file system allows).
    void AddContent(const std::wstring& url, uint64_t size) {
        wchar_t file[MAX_PATH] = {};
        REQUIRE(::CreateUrlCacheEntryW(url.c_str(), 0, L"bin", file, 0));
        {
            THandle h(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            REQUIRE(h.IsValid());
            LARGE_INTEGER end;
            end.QuadPart = static_cast<LONGLONG>(size);
            REQUIRE(::SetFilePointerEx(h.Get(), end, nullptr, FILE_BEGIN));
            REQUIRE(::SetEndOfFile(h.Get()));
        }
        Commit(url, file, NORMAL_CACHE_ENTRY);
    }
    // An entry without a file: a cookie or a visited address.
    void AddRecord(const std::wstring& url, DWORD type) { Commit(url, nullptr, type); }

private:
    void Commit(const std::wstring& url, const wchar_t* file, DWORD type) {
        FILETIME none{};
        REQUIRE(::CommitUrlCacheEntryW(url.c_str(), file, none, none, type, nullptr, 0, nullptr, nullptr));
        FUrls.push_back(url);
    }
    std::vector<std::wstring> FUrls;
};

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const std::wstring kContent = L"http://surfkeep-test.invalid/page.htm";
const std::wstring kVisited = L"Visited: tester@http://surfkeep-test.invalid/page.htm";
const std::wstring kCookie = L"Cookie:tester@surfkeep-test.invalid/";

std::map<std::wstring, uint64_t> ListCache(TUrlCache& cache) {
    std::map<std::wstring, uint64_t> entries;
    TUrlCacheEntry entry;
    auto enumeration = cache.FindFirst(entry);
    if (!enumeration) return entries;
    entries[entry.SourceUrlName] = entry.Size;
    for (int failures = 0; failures < 100;) {
        const TUrlCacheStep step = enumeration->Next(entry);
        if (step == TUrlCacheStep::End) break;
        if (step == TUrlCacheStep::Again) {
            ++failures;
            continue;
        }
        entries[entry.SourceUrlName] = entry.Size;
    }
    return entries;
}

// Real cache, real registry; the history store and the folders are the test's own.
struct TRealCacheFixture {
    TRealCacheFixture() {
        ::CreateDirectoryW(Cache.c_str(), nullptr);
        ::CreateDirectoryW(History.c_str(), nullptr);
        Locations = TFixedCleanLocations(Cache, L"", History);
        platform.Locations = &Locations;
        platform.History = &HistoryStore;
        platform.Pump = &Pump;
    }
    sktest::TTempDir Temp;
    std::wstring Cache = Temp / L"Cache\\";
    std::wstring History = Temp / L"History\\";
    TFixedCleanLocations Locations;
    sktest::TFakeHistoryStore HistoryStore;
    sktest::TCountingPump Pump;
    TIECleanerPlatform platform;
};

}  // namespace

TEST_CASE("the WinInet cache lists every entry with its full size, cookies and visited addresses included") {
    TRealCacheEntries entries;
    entries.AddContent(kContent, 1234);
    entries.AddContent(L"http://surfkeep-test.invalid/huge.bin", 5 * GiB + 3);
    entries.AddRecord(kVisited, URLHISTORY_CACHE_ENTRY);
    entries.AddRecord(kCookie, COOKIE_CACHE_ENTRY);

    const auto listed = ListCache(WinInetUrlCache());
    REQUIRE(listed.count(kContent));
    CHECK(listed.at(kContent) == 1234);
    REQUIRE(listed.count(L"http://surfkeep-test.invalid/huge.bin"));
    CHECK(listed.at(L"http://surfkeep-test.invalid/huge.bin") == 5 * GiB + 3);
    CHECK(listed.count(kVisited) == 1);
    CHECK(listed.count(kCookie) == 1);

    CHECK_FALSE(WinInetUrlCache().DeleteEntry(L"http://surfkeep-test.invalid/never-there"));
    CHECK(WinInetUrlCache().DeleteEntry(kContent));
    CHECK_FALSE(CacheHas(kContent));
}

TEST_CASE("history against the real WinInet cache: a scan reports entries, a clean deletes all but cookies") {
    TRealCacheFixture f;
    TRealCacheEntries entries;
    entries.AddContent(kContent, 1234);
    entries.AddRecord(kVisited, URLHISTORY_CACHE_ENTRY);
    entries.AddRecord(kCookie, COOKIE_CACHE_ENTRY);
    TIECleaner cleaner(f.platform);

    std::map<std::wstring, std::pair<int, uint64_t>> found;  // item -> kind, bytes it added
    uint64_t before = 0;
    cleaner.Scan({IECleanHistory}, [&](int category, int kind, const std::wstring& context, const std::wstring& item,
                                       uint64_t bytes, int32_t) {
        if (cleaner.Finished) return;
        CHECK(category == IECleanHistory);
        CHECK(context == f.Cache);
        found[item] = {kind, bytes - before};
        before = bytes;
    });
    REQUIRE(found.count(kContent));
    CHECK(found.at(kContent) == std::pair<int, uint64_t>(IECleanKindCacheEntry, 1234));
    REQUIRE(found.count(kVisited));
    CHECK(found.at(kVisited).first == IECleanKindVisited);
    CHECK(found.count(kCookie) == 0);
    CHECK(CacheHas(kContent));

    std::vector<std::wstring> deleted;
    cleaner.Clean({IECleanHistory}, [&](const std::wstring& item, uint64_t, int32_t) {
        if (!cleaner.Finished) deleted.push_back(item);
    });
    CHECK(std::count(deleted.begin(), deleted.end(), kContent) == 1);
    CHECK(std::count(deleted.begin(), deleted.end(), kVisited) == 1);
    CHECK_FALSE(CacheHas(kContent));
    CHECK_FALSE(CacheHas(kVisited));
    CHECK(CacheHas(kCookie));
    // Everything else went too: only cookies are left.
    for (const auto& [name, size] : ListCache(WinInetUrlCache())) CHECK(name.find(L"Cookie:") != std::wstring::npos);
}

TEST_CASE("the history object is made and answers; under Wine it is an empty store") {
    {
        std::unique_ptr<THistoryConnection> history = ComHistoryStore().Connect();
        REQUIRE(history);
        std::unique_ptr<THistoryEnumeration> urls = history->EnumUrls();
        if (RunningUnderWine()) {
            // Every method answers "not implemented": no listing, no deletion, a silent clear.
            CHECK_FALSE(urls);
            CHECK_FALSE(history->DeleteUrl(L"http://surfkeep-test.invalid/never-visited"));
            history->ClearHistory();
        } else if (urls) {
            THistoryEntry entry;
            for (int i = 0; i < 100000 && urls->Next(entry); ++i) {
            }
        }
    }

    // The whole engine over it: no error, and the operations end as usual.
    TRealCacheFixture f;
    sktest::TFakeUrlCache emptyCache;
    f.platform.History = &ComHistoryStore();
    f.platform.UrlCache = &emptyCache;
    TIECleaner cleaner(f.platform);
    int finals = 0;
    CHECK_NOTHROW(cleaner.Scan({IECleanHistory}, [&](int, int, const std::wstring&, const std::wstring&, uint64_t,
                                                     int32_t) { finals += cleaner.Finished ? 1 : 0; }));
    CHECK_NOTHROW(cleaner.Clean({IECleanHistory},
                                [&](const std::wstring&, uint64_t, int32_t) { finals += cleaner.Finished ? 1 : 0; }));
    CHECK(finals == 2);
}

TEST_CASE("typed addresses in the real registry: reported by a scan, removed by a clean, the key kept") {
    // Whatever the prefix holds is put back afterwards.
    std::vector<std::pair<std::wstring, TRegValue>> saved;
    {
        TRegistryStore store(WindowsRegistryBackend());
        if (store.Open(IECleanTypedUrlsKey, false))
            for (const auto& name : store.ListValueNames()) saved.emplace_back(name, *store.ReadValue(name));
    }
    {
        TRegistryStore store(WindowsRegistryBackend());
        REQUIRE(store.Open(IECleanTypedUrlsKey, true));
        for (const auto& [name, value] : saved) store.RemoveValue(name);
        store.WriteText(L"url1", L"http://one.invalid/");
        store.WriteText(L"url2", L"http://two.invalid/");
    }

    TRealCacheFixture f;
    TIECleaner cleaner(f.platform);
    std::vector<std::wstring> scanned;
    cleaner.Scan({IECleanTypedUrls},
                 [&](int, int kind, const std::wstring& context, const std::wstring& item, uint64_t, int32_t) {
                     if (cleaner.Finished) return;
                     CHECK(kind == IECleanKindTypedUrl);
                     CHECK(context == IECleanTypedUrlsContext);
                     scanned.push_back(item);
                 });
    CHECK(scanned == std::vector<std::wstring>{L"http://one.invalid/", L"http://two.invalid/"});

    std::vector<std::wstring> deleted;
    cleaner.Clean({IECleanTypedUrls}, [&](const std::wstring& item, uint64_t, int32_t) {
        if (!cleaner.Finished) deleted.push_back(item);
    });
    CHECK(deleted == scanned);
    {
        TRegistryStore store(WindowsRegistryBackend());
        REQUIRE(store.Open(IECleanTypedUrlsKey, false));
        CHECK(store.ListValueNames().empty());
        for (const auto& [name, value] : saved) store.WriteValue(name, value);
    }
}

namespace {

// A folder of the user's profile named by an environment variable, with trailing backslash.
std::wstring ProfileFolder(const wchar_t* variable, const std::wstring& below) {
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(variable, buf, MAX_PATH);
    REQUIRE((n > 0 && n < MAX_PATH));
    return std::wstring(buf) + L"\\" + below + L"\\";
}

bool SameFolder(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

TEST_CASE("the shell's folders are the browser's folders of the user's profile, and the skip list is built from them") {
    // Where the browser keeps its data, from the profile's own variable: Wine's prefix lays the
    // folders out as Windows 8.1 and later do.
    const std::wstring inetCache = ProfileFolder(L"LOCALAPPDATA", L"Microsoft\\Windows\\INetCache");
    const std::wstring cookies = ProfileFolder(L"LOCALAPPDATA", L"Microsoft\\Windows\\INetCookies");
    const std::wstring history = ProfileFolder(L"LOCALAPPDATA", L"Microsoft\\Windows\\History");
    TCleanLocations& shell = ShellCleanLocations();
    CHECK(SameFolder(shell.InternetCacheFolder(), inetCache));
    CHECK(SameFolder(shell.CookiesFolder(), cookies));
    CHECK(SameFolder(shell.HistoryFolder(), history));

    const TIECleaner cleaner;
    std::vector<std::wstring> expected;
    const std::wstring cache = shell.InternetCacheFolder();
    if (DirectoryExists(cache))
        expected = {cache + L"desktop.ini", cache + L"Content.IE5\\index.dat", cache + L"Content.IE5\\desktop.ini"};
    if (DirectoryExists(shell.CookiesFolder())) expected.push_back(shell.CookiesFolder() + L"index.dat");
    CHECK(cleaner.SkipList == expected);
}

TEST_CASE("per item against the real WinInet cache: the unticked entry stays; the history store says whole only") {
    TRealCacheFixture f;
    TRealCacheEntries entries;
    const std::wstring kept = L"http://surfkeep-test.invalid/kept.htm";
    entries.AddContent(kContent, 10);
    entries.AddContent(kept, 20);
    entries.AddRecord(kVisited, URLHISTORY_CACHE_ENTRY);
    f.platform.History = &ComHistoryStore();
    TIECleaner cleaner(f.platform);
    cleaner.Scan({IECleanHistory}, {});
    TIECleanSelection selection;
    for (const auto& item : cleaner.FoundItems)
        if (item.Text == kContent || item.Text == kVisited) selection.Items.push_back(item);
    REQUIRE(selection.Items.size() == 2);
    std::vector<std::wstring> deleted;
    int32_t count = 0;
    uint64_t bytes = 0;
    cleaner.Clean(selection, [&](const std::wstring& item, uint64_t b, int32_t c) {
        if (!cleaner.Finished) deleted.push_back(item);
        count = c;
        bytes = b;
    });
    CHECK(count == 2);
    CHECK(bytes == 10);
    CHECK_FALSE(CacheHas(kContent));
    CHECK_FALSE(CacheHas(kVisited));
    CHECK(CacheHas(kept));
    if (RunningUnderWine()) {
        // Wine's history object deletes no single address: history is cleaned whole only.
        CHECK_FALSE(cleaner.HistoryPerItem);
        CHECK_FALSE(ComHistoryStore().Connect()->DeletesSingleUrls());
    }
}
