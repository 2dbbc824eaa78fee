// The cleaner engine against real files in a temporary folder tree, the in-memory registry, and
// substitutes for the URL cache and the history store.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "CleanFakes.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "clean/IECleaner.h"
#include "registry/RegistryStore.h"

using namespace sk;
using sktest::TCountingPump;
using sktest::TFakeHistoryStore;
using sktest::TFakeUrlCache;
using sktest::MakeFolderLink;
using sktest::RemoveFolderLink;
using sktest::TLinkMarkingFileSystem;

namespace {

constexpr uint64_t GiB = 1024ull * 1024 * 1024;

struct TScanCall {
    int Category;
    int Kind;
    std::wstring Context;
    std::wstring Item;
    uint64_t Bytes;
    int32_t Count;
    bool Finished;
};

struct TDeleteCall {
    std::wstring Item;
    uint64_t Bytes;
    int32_t Count;
    bool Finished;
};

void MakeFolders(const std::wstring& path, size_t from) {
    for (size_t pos = path.find(L'\\', from); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        ::CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
}

// A temporary tree with a cache, a cookies and a history folder, and every substitute.
class TCleanerFixture {
public:
    TCleanerFixture() {
        Cache = Temp / L"Cache\\";
        Cookies = Temp / L"Cookies\\";
        History = Temp / L"History\\";
        for (const auto& folder : {Cache, Cookies, History}) ::CreateDirectoryW(folder.c_str(), nullptr);
        Locations = TFixedCleanLocations(Cache, Cookies, History);
    }

    // Made on first use, so that a case can shape the folders the skip list is built from.
    TIECleaner& Cleaner() {
        if (!FCleaner) {
            TIECleanerPlatform platform;
            platform.Locations = &Locations;
            platform.Files = &Files;
            platform.UrlCache = &UrlCache;
            platform.History = &HistoryStore;
            platform.Registry = &Registry;
            platform.Pump = &Pump;
            platform.PumpIntervalMs = PumpIntervalMs;
            FCleaner = std::make_unique<TIECleaner>(platform);
        }
        return *FCleaner;
    }

    // A file of the given size (sparse where the file system allows), below the temporary folder.
    std::wstring MakeFile(const std::wstring& relative, uint64_t size = 0) {
        const std::wstring path = Temp / relative;
        MakeFolders(path, Temp.Path().size());
        THandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(file.IsValid());
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        REQUIRE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        REQUIRE(::SetEndOfFile(file.Get()));
        return path;
    }

    void AddTypedUrl(const std::wstring& name, const TRegValue& value) {
        TRegistryStore store(Registry);
        REQUIRE(store.Open(IECleanTypedUrlsKey, true));
        store.WriteValue(name, value);
    }
    std::vector<std::wstring> TypedUrlNames() {
        TRegistryStore store(Registry);
        if (!store.Open(IECleanTypedUrlsKey, false)) return {};
        return store.ListValueNames();
    }

    // Records every call; onItem runs for each item call (not the final one), as a window handler.
    void Scan(TIECleanCategories categories, std::function<void(const TScanCall&)> onItem = {}) {
        Scans.clear();
        Cleaner().Scan(categories, [this, onItem](int category, int kind, const std::wstring& context,
                                                  const std::wstring& item, uint64_t bytes, int32_t count) {
            Scans.push_back({category, kind, context, item, bytes, count, Cleaner().Finished});
            if (onItem && !Cleaner().Finished) onItem(TScanCall(Scans.back()));
        });
    }
    void Clean(TIECleanCategories categories, std::function<void(const TDeleteCall&)> onItem = {}) {
        TIECleanSelection selection;
        selection.Whole = categories;
        Clean(selection, std::move(onItem));
    }
    void Clean(const TIECleanSelection& selection, std::function<void(const TDeleteCall&)> onItem = {}) {
        Deletes.clear();
        Cleaner().Clean(selection, [this, onItem](const std::wstring& item, uint64_t bytes, int32_t count) {
            Deletes.push_back({item, bytes, count, Cleaner().Finished});
            if (onItem && !Cleaner().Finished) onItem(TDeleteCall(Deletes.back()));
        });
    }
    // The error an operation raises after its final call, or "".
    template <typename Fn>
    std::wstring ErrorOf(Fn&& fn) {
        try {
            fn();
        } catch (const TError& e) {
            return e.Message();
        }
        return {};
    }

    std::vector<TScanCall> ScanItems() const { return {Scans.begin(), Scans.end() - (Scans.empty() ? 0 : 1)}; }
    std::vector<TDeleteCall> DeleteItems() const {
        return {Deletes.begin(), Deletes.end() - (Deletes.empty() ? 0 : 1)};
    }
    std::vector<std::wstring> ScannedTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& call : ScanItems()) texts.push_back(call.Item);
        return texts;
    }
    std::vector<std::wstring> DeletedTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& call : DeleteItems()) texts.push_back(call.Item);
        return texts;
    }

    // Every operation ends with exactly one final call, made with Finished already true.
    void CheckScanEnded(uint64_t bytes, int32_t count) {
        REQUIRE_FALSE(Scans.empty());
        const TScanCall& last = Scans.back();
        CHECK(last.Finished);
        CHECK(last.Category == 0);
        CHECK(last.Kind == -1);
        CHECK(last.Context.empty());
        CHECK(last.Item.empty());
        CHECK(last.Bytes == bytes);
        CHECK(last.Count == count);
        for (const auto& call : ScanItems()) CHECK_FALSE(call.Finished);
        CHECK(Cleaner().Finished);
    }
    void CheckCleanEnded(uint64_t bytes, int32_t count) {
        REQUIRE_FALSE(Deletes.empty());
        const TDeleteCall& last = Deletes.back();
        CHECK(last.Finished);
        CHECK(last.Item.empty());
        CHECK(last.Bytes == bytes);
        CHECK(last.Count == count);
        for (const auto& call : DeleteItems()) CHECK_FALSE(call.Finished);
        CHECK(Cleaner().Finished);
    }

    sktest::TTempDir Temp;
    std::wstring Cache, Cookies, History;
    TFixedCleanLocations Locations;
    TLinkMarkingFileSystem Files;
    TFakeUrlCache UrlCache;
    TFakeHistoryStore HistoryStore;
    TMemoryRegistryBackend Registry;
    TCountingPump Pump;
    uint32_t PumpIntervalMs = 0;  // every check pumps: the order of pumps and stops is deterministic
    std::vector<TScanCall> Scans;
    std::vector<TDeleteCall> Deletes;

private:
    std::unique_ptr<TIECleaner> FCleaner;
};

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST_CASE("the skip list holds the folders' own index and desktop.ini files, for the folders that exist") {
    struct TCase {
        bool CacheExists;
        bool CookiesExists;
    };
    for (const TCase& c : {TCase{true, true}, TCase{false, true}, TCase{true, false}, TCase{false, false}}) {
        CAPTURE(c.CacheExists);
        CAPTURE(c.CookiesExists);
        TCleanerFixture f;
        if (!c.CacheExists) f.Locations.Cache = f.Temp / L"NoCache\\";
        if (!c.CookiesExists) f.Locations.Cookies = L"";
        std::vector<std::wstring> expected;
        if (c.CacheExists)
            expected = {f.Cache + L"desktop.ini", f.Cache + L"Content.IE5\\index.dat",
                        f.Cache + L"Content.IE5\\desktop.ini"};
        if (c.CookiesExists) expected.push_back(f.Cookies + L"index.dat");
        CHECK(f.Cleaner().SkipList == expected);
        CHECK_FALSE(f.Cleaner().IsSkipped(L""));
        CHECK_FALSE(f.Cleaner().IsSkipped(L"   "));
    }
}

TEST_CASE("the walks neither report nor delete the skipped files, and only those") {
    struct TCase {
        const wchar_t* File;
        bool Skipped;
    };
    const TCase cases[] = {
        {L"Cache\\desktop.ini", true},
        {L"Cache\\Content.IE5\\index.dat", true},
        {L"Cache\\Content.IE5\\desktop.ini", true},
        {L"Cookies\\index.dat", true},
        // The same files whatever the case of their names.
        {L"Cache\\DESKTOP.INI", true},
        {L"Cache\\content.ie5\\INDEX.DAT", true},
        {L"Cookies\\Index.Dat", true},
        // Same names elsewhere are ordinary files.
        {L"Cache\\index.dat", false},
        {L"Cache\\Content.IE5\\X1Y2Z3\\desktop.ini", false},
        {L"Cache\\Other\\desktop.ini", false},
        {L"Cookies\\desktop.ini", false},
        {L"Cookies\\sub\\index.dat", false},
    };
    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.File));
        TCleanerFixture f;
        const std::wstring path = f.MakeFile(c.File, 10);
        f.Scan({IECleanTempFiles, IECleanCookies});
        CHECK(f.ScannedTexts() == (c.Skipped ? std::vector<std::wstring>{} : std::vector<std::wstring>{path}));
        f.Clean({IECleanTempFiles, IECleanCookies});
        CHECK(f.DeletedTexts() == (c.Skipped ? std::vector<std::wstring>{} : std::vector<std::wstring>{path}));
        CHECK(FileExists(path) == c.Skipped);
    }
}

TEST_CASE("a scan reports every file below the folders, with running totals per category") {
    TCleanerFixture f;
    const std::wstring page = f.MakeFile(L"Cache\\page.htm", 100);
    const std::wstring picture = f.MakeFile(L"Cache\\Content.IE5\\X1\\pic.gif", 200);
    const std::wstring bare = f.MakeFile(L"Cache\\Content.IE5\\X1\\deep\\noextension", 300);
    const std::wstring hidden = f.MakeFile(L"Cache\\Content.IE5\\hidden.js", 400);
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const std::wstring cookie1 = f.MakeFile(L"Cookies\\user@site[1].txt", 10);
    const std::wstring cookie2 = f.MakeFile(L"Cookies\\user@other[2].txt", 20);

    f.Scan({IECleanTempFiles, IECleanCookies});

    const auto items = f.ScanItems();
    REQUIRE(items.size() == 6);
    CHECK(Sorted(f.ScannedTexts()) == Sorted({page, picture, bare, hidden, cookie1, cookie2}));
    const std::map<std::wstring, uint64_t> sizes = {{page, 100},   {picture, 200}, {bare, 300},
                                                    {hidden, 400}, {cookie1, 10},  {cookie2, 20}};
    // Every category starts its totals afresh: the cookies count from 1 again.
    uint64_t bytes = 0;
    int32_t count = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const TScanCall& call = items[i];
        CAPTURE(sktest::Narrow(call.Item));
        const int category = i < 4 ? IECleanTempFiles : IECleanCookies;
        if (i == 4) bytes = 0, count = 0;
        bytes += sizes.at(call.Item);
        ++count;
        CHECK(call.Category == category);
        CHECK(call.Kind == (category == IECleanTempFiles ? IECleanKindTempFile : IECleanKindCookieFile));
        CHECK(call.Context == FileFolderOf(call.Item));
        CHECK(call.Bytes == bytes);
        CHECK(call.Count == count);
    }
    f.CheckScanEnded(30, 2);
    // A scan changes nothing.
    for (const auto& path : {page, picture, bare, hidden, cookie1, cookie2}) CHECK(FileExists(path));
}

TEST_CASE("operations over the empty set make only the final call") {
    TCleanerFixture f;
    const std::wstring file = f.MakeFile(L"Cache\\a.txt", 5);
    f.AddTypedUrl(L"url1", RegText(L"http://example.invalid/"));
    f.UrlCache.Add(L"http://example.invalid/a", 5);
    f.HistoryStore.Add(L"http://example.invalid/", L"Example");

    f.Scan({});
    CHECK(f.Scans.size() == 1);
    f.CheckScanEnded(0, 0);
    f.Clean(TIECleanCategories{});
    CHECK(f.Deletes.size() == 1);
    f.CheckCleanEnded(0, 0);

    CHECK(FileExists(file));
    CHECK(f.TypedUrlNames().size() == 1);
    CHECK(f.UrlCache.FindFirstCalls == 0);
    CHECK(f.HistoryStore.Connects == 0);
}

TEST_CASE("typed addresses: every value is reported by a scan and removed by a clean; the key stays") {
    TCleanerFixture f;
    f.AddTypedUrl(L"url1", RegText(L"http://first.invalid/"));
    f.AddTypedUrl(L"url2", RegText(L"%TEMP%\\page.htm", REG_EXPAND_SZ));
    f.AddTypedUrl(L"not a url name", RegText(L"third"));
    f.AddTypedUrl(L"url3", RegText(L""));
    const std::vector<std::wstring> texts = {L"http://first.invalid/", L"%TEMP%\\page.htm", L"third", L""};

    f.Scan({IECleanTypedUrls});
    CHECK(Sorted(f.ScannedTexts()) == Sorted(texts));
    int32_t count = 0;
    for (const auto& call : f.ScanItems()) {
        CHECK(call.Category == IECleanTypedUrls);
        CHECK(call.Kind == IECleanKindTypedUrl);
        CHECK(call.Context == L"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedUrls");
        CHECK(call.Bytes == 0);
        CHECK(call.Count == ++count);
    }
    f.CheckScanEnded(0, 4);
    // The registry loop is short and does not let messages run.
    CHECK(f.Pump.Count == 0);

    f.Clean({IECleanTypedUrls});
    CHECK(Sorted(f.DeletedTexts()) == Sorted(texts));
    f.CheckCleanEnded(0, 4);
    CHECK(f.TypedUrlNames().empty());
    TRegistryStore store(f.Registry);
    CHECK(store.Open(IECleanTypedUrlsKey, false));
}

TEST_CASE("typed addresses: no key, no items") {
    TCleanerFixture f;
    f.Scan({IECleanTypedUrls});
    f.CheckScanEnded(0, 0);
    f.Clean({IECleanTypedUrls});
    f.CheckCleanEnded(0, 0);
    TRegistryStore store(f.Registry);
    CHECK_FALSE(store.Open(IECleanTypedUrlsKey, false));
}

TEST_CASE("history: cache entries and then history-store addresses, sharing one count") {
    TCleanerFixture f;
    f.UrlCache.Add(L"http://site.invalid/a.gif", 50);
    f.UrlCache.Add(L"Visited: user@http://site.invalid/", 0);
    f.UrlCache.Add(L"Cookie:user@site.invalid/", 7);
    f.UrlCache.Add(L"http://site.invalid/b.htm", 25);
    f.HistoryStore.Add(L"http://h1.invalid/", L"Title 1");
    f.HistoryStore.Add(L"http://h2.invalid/", L"");

    f.Scan({IECleanHistory});
    const auto items = f.ScanItems();
    struct TExpected {
        int Kind;
        std::wstring Context;
        std::wstring Item;
        uint64_t Bytes;
    };
    const std::vector<TExpected> expected = {
        {IECleanKindCacheEntry, f.Cache, L"http://site.invalid/a.gif", 50},
        {IECleanKindVisited, f.Cache, L"Visited: user@http://site.invalid/", 50},
        {IECleanKindCacheEntry, f.Cache, L"http://site.invalid/b.htm", 75},
        {IECleanKindVisited, f.History, L"Title 1", 75},
        {IECleanKindVisited, f.History, L"http://h2.invalid/", 75},
    };
    REQUIRE(items.size() == expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        CAPTURE(i);
        CHECK(items[i].Category == IECleanHistory);
        CHECK(items[i].Kind == expected[i].Kind);
        CHECK(items[i].Context == expected[i].Context);
        CHECK(items[i].Item == expected[i].Item);
        CHECK(items[i].Bytes == expected[i].Bytes);
        CHECK(items[i].Count == static_cast<int32_t>(i + 1));
    }
    f.CheckScanEnded(75, 5);
    CHECK(f.UrlCache.OpenEnumerations == 0);
    CHECK(f.UrlCache.Entries.size() == 4);
    CHECK(f.HistoryStore.Entries.size() == 2);
}

TEST_CASE("cookie entries of the URL cache are neither counted nor deleted, wherever they come") {
    const std::wstring cookie = L"Cookie:user@site.invalid/";
    const std::vector<std::vector<std::wstring>> orders = {
        {cookie, L"http://a.invalid/", L"http://b.invalid/"},
        {L"http://a.invalid/", cookie, L"http://b.invalid/"},
        {L"http://a.invalid/", L"http://b.invalid/", cookie},
        {cookie, L"Visited: user@" + cookie},  // "Cookie:" anywhere in the name
        {cookie},
    };
    for (const auto& order : orders) {
        CAPTURE(order.size());
        TCleanerFixture f;
        std::vector<std::wstring> ordinary;
        for (const auto& name : order) {
            f.UrlCache.Add(name, 10);
            if (name.find(L"Cookie:") == std::wstring::npos) ordinary.push_back(name);
        }
        f.Scan({IECleanHistory});
        CHECK(f.ScannedTexts() == ordinary);
        f.CheckScanEnded(10 * ordinary.size(), static_cast<int32_t>(ordinary.size()));

        f.Clean({IECleanHistory});
        CHECK(f.DeletedTexts() == ordinary);
        f.CheckCleanEnded(10 * ordinary.size(), static_cast<int32_t>(ordinary.size()));
        CHECK(f.UrlCache.Contains(cookie));
        CHECK(f.UrlCache.Entries.size() == order.size() - ordinary.size());
    }
}

TEST_CASE("a history address with a blank title is shown by its address") {
    struct TCase {
        const wchar_t* Title;
        const wchar_t* Shown;
    };
    const TCase cases[] = {
        {L"", L"http://page.invalid/"},
        {L"   ", L"http://page.invalid/"},
        {L" \t \r\n", L"http://page.invalid/"},
        {L"  Title  ", L"  Title  "},
        {L"Title", L"Title"},
    };
    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.Title));
        TCleanerFixture f;
        f.HistoryStore.Add(L"http://page.invalid/", c.Title);
        f.Scan({IECleanHistory});
        CHECK(f.ScannedTexts() == std::vector<std::wstring>{c.Shown});
        f.Clean({IECleanHistory});
        CHECK(f.DeletedTexts() == std::vector<std::wstring>{c.Shown});
        CHECK(f.HistoryStore.Deleted == std::vector<std::wstring>{L"http://page.invalid/"});
    }
}

TEST_CASE("a clean of all four categories reports the sum of everything it deleted") {
    TCleanerFixture f;
    const std::wstring a = f.MakeFile(L"Cache\\Content.IE5\\X1\\a.htm", 1000);
    const std::wstring b = f.MakeFile(L"Cache\\b.css", 200);
    const std::wstring skipped = f.MakeFile(L"Cache\\Content.IE5\\index.dat", 5000);
    const std::wstring inUse = f.MakeFile(L"Cache\\busy.tmp", 7000);
    const std::wstring readOnly = f.MakeFile(L"Cache\\locked.tmp", 9000);
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring c = f.MakeFile(L"Cookies\\user@c[1].txt", 30);
    f.AddTypedUrl(L"url1", RegText(L"http://typed.invalid/"));
    f.UrlCache.Add(L"http://site.invalid/x.js", 4);
    f.UrlCache.Add(L"Cookie:user@site.invalid/", 8);
    f.UrlCache.Add(L"http://site.invalid/stuck.js", 16);
    f.UrlCache.Undeletable.insert(L"http://site.invalid/stuck.js");
    f.HistoryStore.Add(L"http://h.invalid/", L"H");
    f.HistoryStore.Add(L"http://stuck.invalid/", L"Stuck");
    f.HistoryStore.Undeletable.insert(L"http://stuck.invalid/");

    THandle busy(::CreateFileW(inUse.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    REQUIRE(busy.IsValid());
    f.Clean(TIECleanCategories::All());
    busy.Reset();

    // Files, cookies, the typed address, one cache entry and one history address; bytes only for
    // the files and the cache entry. The totals run on across categories.
    const std::vector<std::wstring> deleted = {a, b, c, L"http://typed.invalid/", L"http://site.invalid/x.js", L"H"};
    CHECK(Sorted(f.DeletedTexts()) == Sorted(deleted));
    f.CheckCleanEnded(1000 + 200 + 30 + 4, 6);
    int32_t count = 0;
    for (const auto& call : f.DeleteItems()) CHECK(call.Count == ++count);
    CHECK(f.DeleteItems().back().Bytes == 1234);

    for (const auto& path : {a, b, c}) CHECK_FALSE(FileExists(path));
    for (const auto& path : {skipped, inUse, readOnly}) CHECK(FileExists(path));
    CHECK(DirectoryExists(f.Cache + L"Content.IE5\\X1"));  // folders stay
    CHECK(f.TypedUrlNames().empty());
    CHECK(f.UrlCache.Deleted == std::vector<std::wstring>{L"http://site.invalid/x.js"});
    CHECK(f.UrlCache.Contains(L"Cookie:user@site.invalid/"));
    CHECK(f.HistoryStore.Clears == 1);
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("totals are 64-bit: caches past 4 GiB are counted in full") {
    SUBCASE("cache entries") {
        TCleanerFixture f;
        f.UrlCache.Add(L"http://big.invalid/1", 3 * GiB);
        f.UrlCache.Add(L"http://big.invalid/2", 2 * GiB + 5);
        f.Scan({IECleanHistory});
        CHECK(f.ScanItems().at(0).Bytes == 3 * GiB);
        f.CheckScanEnded(5 * GiB + 5, 2);
        f.Clean({IECleanHistory});
        f.CheckCleanEnded(5 * GiB + 5, 2);
    }
    SUBCASE("a file larger than 4 GiB") {
        TCleanerFixture f;
        const std::wstring big = f.MakeFile(L"Cache\\Content.IE5\\X1\\movie.mp4", 5 * GiB + 1);
        f.MakeFile(L"Cache\\small.txt", 3 * GiB);
        f.Scan({IECleanTempFiles});
        f.CheckScanEnded(8 * GiB + 1, 2);
        f.Clean({IECleanTempFiles});
        f.CheckCleanEnded(8 * GiB + 1, 2);
        CHECK_FALSE(FileExists(big));
    }
}

TEST_CASE("the walks never follow a junction or directory link out of the folder") {
    struct TCase {
        const wchar_t* Link;  // the folder reported as a link
        bool Marked;
    };
    const TCase cases[] = {
        {L"Cache\\Content.IE5\\link\\", true},
        {L"Cache\\link\\", true},
        {L"Cookies\\link\\", true},
        {L"Cache\\Content.IE5\\link\\", false},  // the same folder, not a link, is walked
    };
    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.Link));
        CAPTURE(c.Marked);
        TCleanerFixture f;
        // The link's folder holds what the link would lead to: the user's own files.
        const std::wstring precious = f.MakeFile(std::wstring(c.Link) + L"Thesis.doc", 123);
        const std::wstring nested = f.MakeFile(std::wstring(c.Link) + L"Photos\\holiday.jpg", 456);
        const std::wstring tmp = f.MakeFile(L"Cache\\Content.IE5\\X1\\a.tmp", 1);
        const std::wstring cookie = f.MakeFile(L"Cookies\\c.txt", 1);
        if (c.Marked) f.Files.Links.insert(f.Temp / c.Link);

        f.Scan({IECleanTempFiles, IECleanCookies});
        std::vector<std::wstring> expected = {tmp, cookie};
        if (!c.Marked) expected.insert(expected.end(), {precious, nested});
        CHECK(Sorted(f.ScannedTexts()) == Sorted(expected));
        const bool listed =
            std::find(f.Files.Listed.begin(), f.Files.Listed.end(), f.Temp / c.Link) != f.Files.Listed.end();
        CHECK(listed == !c.Marked);

        f.Clean({IECleanTempFiles, IECleanCookies});
        CHECK(Sorted(f.DeletedTexts()) == Sorted(expected));
        CHECK(FileExists(precious) == c.Marked);
        CHECK(FileExists(nested) == c.Marked);
        CHECK_FALSE(FileExists(tmp));
    }
}

TEST_CASE("stop: the operation ends at its next check and still makes its final call") {
    TCleanerFixture f;
    std::vector<std::wstring> cacheFiles;
    for (int i = 0; i < 5; ++i) cacheFiles.push_back(f.MakeFile(L"Cache\\f" + std::to_wstring(i) + L".tmp", 10));
    std::vector<std::wstring> cookieFiles;
    for (int i = 0; i < 3; ++i) cookieFiles.push_back(f.MakeFile(L"Cookies\\c" + std::to_wstring(i) + L".txt", 1));
    f.AddTypedUrl(L"url1", RegText(L"http://1.invalid/"));
    f.AddTypedUrl(L"url2", RegText(L"http://2.invalid/"));
    for (int i = 0; i < 4; ++i) f.UrlCache.Add(L"http://c.invalid/" + std::to_wstring(i), 1);
    for (int i = 0; i < 4; ++i) f.HistoryStore.Add(L"http://h.invalid/" + std::to_wstring(i), L"");
    TIECleaner& cleaner = f.Cleaner();
    const auto stopAtFirst = [&](int category) {
        return [&cleaner, category](const TScanCall& call) {
            if (call.Category == category) cleaner.StopRequested = true;
        };
    };

    SUBCASE("during the cookies walk of a scan of everything: nothing after the cookies") {
        f.Scan(TIECleanCategories::All(), stopAtFirst(IECleanCookies));
        const auto items = f.ScanItems();
        REQUIRE(items.size() == 6);  // five cache files, one cookie
        CHECK(items.back().Category == IECleanCookies);
        f.CheckScanEnded(1, 1);  // the totals of the cookies category
        CHECK(f.UrlCache.FindFirstCalls == 0);
        CHECK(f.HistoryStore.Connects == 0);
        CHECK(cleaner.StopRequested);  // stays set until the next operation
    }
    SUBCASE("a stop in a category a scan did not select is still seen between categories") {
        f.Scan({IECleanTempFiles, IECleanHistory}, stopAtFirst(IECleanTempFiles));
        CHECK(f.ScanItems().size() == 1);
        CHECK(f.UrlCache.FindFirstCalls == 0);
    }
    SUBCASE("during the typed addresses of a scan") {
        f.Scan({IECleanTypedUrls, IECleanHistory}, stopAtFirst(IECleanTypedUrls));
        CHECK(f.ScanItems().size() == 1);
        f.CheckScanEnded(0, 1);
        CHECK(f.UrlCache.FindFirstCalls == 0);
    }
    SUBCASE("during the URL cache of a scan: the enumeration is closed, the history store not opened") {
        f.Scan({IECleanHistory}, stopAtFirst(IECleanHistory));
        CHECK(f.ScanItems().size() == 1);
        CHECK(f.UrlCache.OpenEnumerations == 0);
        CHECK(f.HistoryStore.Connects == 0);
    }
    SUBCASE("set while the window's messages run, it is seen before the next file is touched") {
        // The user presses Stop while the messages run after the second deletion.
        f.Pump.OnPump = [&](int) {
            if (f.Deletes.size() == 2) cleaner.StopRequested = true;
        };
        f.Clean(TIECleanCategories::All());
        const auto deleted = f.DeleteItems();
        CHECK(deleted.size() == 2);
        f.CheckCleanEnded(20, 2);
        int remaining = 0;
        for (const auto& path : cacheFiles) remaining += FileExists(path) ? 1 : 0;
        CHECK(remaining == 3);
        for (const auto& path : cookieFiles) CHECK(FileExists(path));
        CHECK(f.TypedUrlNames().size() == 2);
        CHECK(f.UrlCache.FindFirstCalls == 0);
    }
    SUBCASE("during the URL cache of a clean: the history store is left alone") {
        f.Clean({IECleanHistory}, [&](const TDeleteCall&) { cleaner.StopRequested = true; });
        CHECK(f.DeleteItems().size() == 1);
        f.CheckCleanEnded(1, 1);
        CHECK(f.UrlCache.OpenEnumerations == 0);
        CHECK(f.HistoryStore.Connects == 0);
        CHECK(f.HistoryStore.Entries.size() == 4);
    }
    SUBCASE("during the history store of a clean: the store is not cleared") {
        f.Clean({IECleanHistory}, [&](const TDeleteCall& call) {
            if (call.Item.rfind(L"http://h.", 0) == 0) cleaner.StopRequested = true;
        });
        CHECK(f.DeleteItems().size() == 5);  // four cache entries, one history address
        CHECK(f.HistoryStore.Clears == 0);
        CHECK(f.HistoryStore.Entries.size() == 3);
    }
    SUBCASE("during the typed addresses of a clean") {
        f.Clean({IECleanTypedUrls, IECleanHistory}, [&](const TDeleteCall&) { cleaner.StopRequested = true; });
        CHECK(f.DeleteItems().size() == 1);
        CHECK(f.TypedUrlNames().size() == 1);
        CHECK(f.UrlCache.FindFirstCalls == 0);
    }
    SUBCASE("the next operation starts afresh") {
        f.Scan(TIECleanCategories::All(), stopAtFirst(IECleanTempFiles));
        REQUIRE(cleaner.StopRequested);
        f.Scan(TIECleanCategories::All());
        CHECK_FALSE(cleaner.StopRequested);
        CHECK(f.ScanItems().size() == 5 + 3 + 2 + 4 + 4);
    }
}

TEST_CASE("an error during an operation still ends it with the final call, then reaches the caller") {
    struct TCase {
        const char* Name;
        bool Clean;
        TIECleanCategories Categories;
        bool BadTypedUrl;
        bool BrokenHistory;
        const wchar_t* Message;
        int ItemsBefore;  // items reported before the error
    };
    const TCase cases[] = {
        {"scan, typed address of another type", false, {1, 3, 4}, true, false, L"Invalid data type for 'url2'", 2},
        {"clean, typed address of another type", true, {1, 3, 4}, true, false, L"Invalid data type for 'url2'", 2},
        {"scan, history object cannot be made", false, {4}, false, true, L"Class not registered", 1},
        {"clean, history object cannot be made", true, {4}, false, true, L"Class not registered", 1},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        TCleanerFixture f;
        f.MakeFile(L"Cache\\a.tmp", 1);
        // Reported before the bad value: the in-memory registry lists values in insertion order.
        f.AddTypedUrl(L"url1", RegText(L"http://1.invalid/"));
        if (c.BadTypedUrl) f.AddTypedUrl(L"url2", RegNumber(5));
        f.UrlCache.Add(L"http://c.invalid/", 1);
        f.HistoryStore.FailConnect = c.BrokenHistory;

        bool finalCallMade = false;
        std::wstring message;
        try {
            if (c.Clean)
                f.Clean(c.Categories);
            else
                f.Scan(c.Categories);
        } catch (const TError& e) {
            finalCallMade =
                c.Clean ? !f.Deletes.empty() && f.Deletes.back().Finished : !f.Scans.empty() && f.Scans.back().Finished;
            message = e.Message();
        }
        CHECK(message == c.Message);
        CHECK(finalCallMade);
        CHECK(f.Cleaner().Finished);
        if (c.Clean) {
            CHECK(f.DeleteItems().size() == static_cast<size_t>(c.ItemsBefore));
            CHECK(f.Deletes.size() == static_cast<size_t>(c.ItemsBefore) + 1);
        } else {
            CHECK(f.ScanItems().size() == static_cast<size_t>(c.ItemsBefore));
        }
        // The engine is ready for the next operation.
        f.HistoryStore.FailConnect = false;
        f.Scan({IECleanTempFiles});
        CHECK(f.Scans.back().Finished);
    }
}

TEST_CASE("the URL cache: a failed pass is tried again; a cache that keeps failing still ends") {
    struct TCase {
        const char* Name;
        std::set<int> FailingPasses;
        int FailFromPass;
        int Reported;
    };
    const TCase cases[] = {
        {"no failures", {}, -1, 5},
        {"failures between entries", {0, 1, 3, 4, 5}, -1, 5},
        {"failing for good after two entries", {}, 1, 2},
        {"failing from the start", {}, 0, 1},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        for (bool clean : {false, true}) {
            CAPTURE(clean);
            TCleanerFixture f;
            for (int i = 0; i < 5; ++i) f.UrlCache.Add(L"http://c.invalid/" + std::to_wstring(i), 1);
            f.UrlCache.FailingPasses = c.FailingPasses;
            f.UrlCache.FailFromPass = c.FailFromPass;
            f.HistoryStore.Add(L"http://h.invalid/", L"H");
            if (clean) {
                f.Clean({IECleanHistory});
                f.CheckCleanEnded(c.Reported, c.Reported + 1);
            } else {
                f.Scan({IECleanHistory});
                f.CheckScanEnded(c.Reported, c.Reported + 1);
            }
            CHECK(f.UrlCache.OpenEnumerations == 0);
            CHECK(f.HistoryStore.Connects == 1);  // the history part still runs
        }
    }
}

TEST_CASE("missing folders silence their categories in a scan; a clean of history needs no folder") {
    struct TCase {
        const char* Name;
        bool Cache;
        bool Cookies;
        bool History;
        int Scanned;  // of: one cache file, one cookie, one cache entry, one history address
        int Cleaned;
    };
    const TCase cases[] = {
        {"all there", true, true, true, 4, 4},
        {"no cache folder: neither files nor history are scanned", false, true, true, 1, 3},
        {"no cookies folder", true, false, true, 3, 3},
        {"no history folder: the cache part only", true, true, false, 3, 4},
        {"none", false, false, false, 0, 2},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        TCleanerFixture f;
        f.MakeFile(L"Cache\\a.tmp", 1);
        f.MakeFile(L"Cookies\\c.txt", 1);
        f.UrlCache.Add(L"http://c.invalid/", 1);
        f.HistoryStore.Add(L"http://h.invalid/", L"H");
        if (!c.Cache) f.Locations.Cache = f.Temp / L"Gone\\";
        if (!c.Cookies) f.Locations.Cookies = L"";
        if (!c.History) f.Locations.History = f.Temp / L"Gone too\\";
        f.Scan(TIECleanCategories::All());
        CHECK(f.ScanItems().size() == static_cast<size_t>(c.Scanned));
        f.Clean(TIECleanCategories::All());
        CHECK(f.DeleteItems().size() == static_cast<size_t>(c.Cleaned));
    }
}

TEST_CASE("a history store that does not implement listing is an empty store, silently") {
    TCleanerFixture f;
    f.HistoryStore.NotImplemented = true;
    f.HistoryStore.Add(L"http://h.invalid/", L"H");
    f.UrlCache.Add(L"http://c.invalid/", 3);
    f.Scan({IECleanHistory});
    f.CheckScanEnded(3, 1);
    f.Clean({IECleanHistory});
    f.CheckCleanEnded(3, 1);
    CHECK(f.HistoryStore.Clears == 1);
}

TEST_CASE("the window's messages run while files, cache entries and history addresses are handled") {
    struct TCase {
        const char* Name;
        uint32_t IntervalMs;
        TIECleanCategories Categories;
        bool Pumps;
    };
    const TCase cases[] = {
        {"files", 0, {IECleanTempFiles, IECleanCookies}, true},
        {"cache entries and history", 0, {IECleanHistory}, true},
        {"typed addresses", 0, {IECleanTypedUrls}, false},
        {"the clock stands still: nothing is due", 10, TIECleanCategories::All(), false},
    };
    sktest::TFakePumpClock clock;  // moves only when a case moves it
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        TCleanerFixture f;
        f.PumpIntervalMs = c.IntervalMs;
        for (int i = 0; i < 4; ++i) {
            f.MakeFile(L"Cache\\f" + std::to_wstring(i), 1);
            f.MakeFile(L"Cookies\\c" + std::to_wstring(i), 1);
            f.AddTypedUrl(L"url" + std::to_wstring(i), RegText(L"http://t.invalid/"));
            f.UrlCache.Add(L"http://c.invalid/" + std::to_wstring(i), 1);
            f.HistoryStore.Add(L"http://h.invalid/" + std::to_wstring(i), L"");
        }
        f.Scan(c.Categories);
        const int items = static_cast<int>(f.ScanItems().size());
        CHECK(items > 0);
        if (c.Pumps)
            CHECK(f.Pump.Count >= items);
        else
            CHECK(f.Pump.Count == 0);
    }
}

namespace {

// The items of the last scan without those whose text is in unticked.
TIECleanSelection AllBut(const std::vector<TIECleanItem>& found, const std::vector<std::wstring>& unticked) {
    TIECleanSelection selection;
    for (const auto& item : found)
        if (std::find(unticked.begin(), unticked.end(), item.Text) == unticked.end()) selection.Items.push_back(item);
    return selection;
}

// A scene of every kind of item: three cache files, two cookies, two typed addresses, two cache
// entries and two history addresses.
struct TEveryKind : TCleanerFixture {
    std::wstring CacheA, CacheB, CacheC, CookieA, CookieB;
    TEveryKind() {
        CacheA = MakeFile(L"Cache\\Content.IE5\\X1\\a.htm", 100);
        CacheB = MakeFile(L"Cache\\Content.IE5\\X1\\b.gif", 20);
        CacheC = MakeFile(L"Cache\\Content.IE5\\X2\\c.js", 3);
        CookieA = MakeFile(L"Cookies\\user@a.txt", 40);
        CookieB = MakeFile(L"Cookies\\user@b.txt", 5);
        AddTypedUrl(L"url1", RegText(L"http://one.invalid/"));
        AddTypedUrl(L"url2", RegText(L"http://two.invalid/"));
        UrlCache.Add(L"http://c.invalid/page", 7);
        UrlCache.Add(L"Visited: user@http://c.invalid/page", 0);
        HistoryStore.Add(L"http://h.invalid/1", L"First");
        HistoryStore.Add(L"http://h.invalid/2", L"");
    }
};

}  // namespace

TEST_CASE("per item: the scan keeps what deleting each item takes") {
    TEveryKind f;
    f.Scan(TIECleanCategories::All());
    const auto& found = f.Cleaner().FoundItems;
    REQUIRE(found.size() == f.ScanItems().size());
    for (size_t i = 0; i < found.size(); ++i) {
        CAPTURE(i);
        CHECK(found[i].Text == f.ScanItems()[i].Item);
        CHECK(found[i].Category == f.ScanItems()[i].Category);
        CHECK(found[i].Kind == f.ScanItems()[i].Kind);
    }
    const auto find = [&](const std::wstring& text) {
        const auto it = std::find_if(found.begin(), found.end(), [&](const TIECleanItem& i) { return i.Text == text; });
        REQUIRE(it != found.end());
        return *it;
    };
    CHECK(find(f.CacheA) == TIECleanItem{IECleanTempFiles, IECleanKindTempFile, TIECleanSource::File, f.CacheA,
                                         L"a.htm", 100});
    CHECK(find(f.CookieB) == TIECleanItem{IECleanCookies, IECleanKindCookieFile, TIECleanSource::File, f.CookieB,
                                          L"user@b.txt", 5});
    CHECK(find(L"http://two.invalid/") == TIECleanItem{IECleanTypedUrls, IECleanKindTypedUrl, TIECleanSource::TypedUrl,
                                                       L"http://two.invalid/", L"url2", 0});
    CHECK(find(L"http://c.invalid/page") == TIECleanItem{IECleanHistory, IECleanKindCacheEntry,
                                                         TIECleanSource::CacheEntry, L"http://c.invalid/page",
                                                         L"http://c.invalid/page", 7});
    CHECK(find(L"http://h.invalid/2") == TIECleanItem{IECleanHistory, IECleanKindVisited, TIECleanSource::HistoryUrl,
                                                      L"http://h.invalid/2", L"http://h.invalid/2", 0});
    CHECK(find(L"First").Key == L"http://h.invalid/1");
    CHECK(f.Cleaner().HistoryPerItem);
    // A new scan starts a new list.
    f.Scan({IECleanCookies});
    CHECK(f.Cleaner().FoundItems.size() == 2);
}

TEST_CASE("per item: a clean deletes exactly the ticked items, counts them, and a rescan finds the rest") {
    struct TCase {
        const char* Name;
        std::vector<std::wstring> Unticked;
    };
    const TCase cases[] = {
        {"one cache file unticked", {L"b"}},
        {"one cookie and one cache file unticked", {L"cookie", L"c"}},
        {"one of each kind unticked", {L"a", L"cookie", L"http://two.invalid/", L"http://c.invalid/page", L"First"}},
        {"nothing unticked", {}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.Name);
        TEveryKind f;
        std::vector<std::wstring> unticked;
        for (const auto& u : c.Unticked)
            unticked.push_back(u == L"a" ? f.CacheA : u == L"b" ? f.CacheB : u == L"c" ? f.CacheC
                               : u == L"cookie"                 ? f.CookieA
                                                                : u);
        f.Scan(TIECleanCategories::All());
        const std::vector<TIECleanItem> found = f.Cleaner().FoundItems;
        const TIECleanSelection selection = AllBut(found, unticked);
        f.Clean(selection);

        uint64_t bytes = 0;
        for (const auto& item : selection.Items) bytes += item.Size;
        f.CheckCleanEnded(bytes, static_cast<int32_t>(selection.Items.size()));
        std::vector<std::wstring> ticked;
        for (const auto& item : selection.Items) ticked.push_back(item.Text);
        CHECK(Sorted(f.DeletedTexts()) == Sorted(ticked));
        // Nothing was cleaned whole: the history store was not cleared.
        CHECK(f.HistoryStore.Clears == 0);

        f.Scan(TIECleanCategories::All());
        CHECK(Sorted(f.ScannedTexts()) == Sorted(unticked));
        for (const auto& path : {f.CacheA, f.CacheB, f.CacheC, f.CookieA, f.CookieB})
            CHECK(FileExists(path) == (std::find(unticked.begin(), unticked.end(), path) != unticked.end()));
    }
}

TEST_CASE("per item: whole categories beside single items, and items that are gone") {
    TEveryKind f;
    f.Scan(TIECleanCategories::All());
    TIECleanSelection selection = AllBut(f.Cleaner().FoundItems, {f.CacheB, f.CacheC});
    selection.Whole = {IECleanCookies, IECleanHistory};
    // A cookie that appeared after the scan goes with its whole category; a cache file that is gone
    // by the time of the clean is not counted.
    const std::wstring late = f.MakeFile(L"Cookies\\user@late.txt", 1);
    ::DeleteFileW(f.CacheA.c_str());
    f.Clean(selection);
    CHECK_FALSE(FileExists(late));
    CHECK(FileExists(f.CacheB));
    CHECK(FileExists(f.CacheC));
    CHECK(f.HistoryStore.Clears == 1);
    CHECK(Sorted(f.DeletedTexts()) ==
          Sorted({f.CookieA, f.CookieB, late, L"http://one.invalid/", L"http://two.invalid/", L"http://c.invalid/page",
                  L"Visited: user@http://c.invalid/page", L"First", L"http://h.invalid/2"}));
}

TEST_CASE("per item: a typed address is taken by its text when the browser has renumbered the values") {
    TCleanerFixture f;
    f.AddTypedUrl(L"url1", RegText(L"http://one.invalid/"));
    f.AddTypedUrl(L"url2", RegText(L"http://two.invalid/"));
    f.Scan({IECleanTypedUrls});
    TIECleanSelection selection = AllBut(f.Cleaner().FoundItems, {L"http://two.invalid/"});
    // A new address typed since: the browser moves the others one place down.
    f.AddTypedUrl(L"url1", RegText(L"http://new.invalid/"));
    f.AddTypedUrl(L"url2", RegText(L"http://one.invalid/"));
    f.AddTypedUrl(L"url3", RegText(L"http://two.invalid/"));
    f.Clean(selection);
    CHECK(f.DeletedTexts() == std::vector<std::wstring>{L"http://one.invalid/"});
    CHECK(Sorted(f.TypedUrlNames()) == Sorted({L"url1", L"url3"}));
    f.Scan({IECleanTypedUrls});
    CHECK(Sorted(f.ScannedTexts()) == Sorted({L"http://new.invalid/", L"http://two.invalid/"}));
}

TEST_CASE("per item: a history store that cannot delete one address leaves its addresses to a whole clean") {
    TEveryKind f;
    f.HistoryStore.NoSingleDelete = true;
    f.Scan({IECleanHistory});
    CHECK_FALSE(f.Cleaner().HistoryPerItem);
    f.Clean(AllBut(f.Cleaner().FoundItems, {}));
    // The cache entries go one by one; the store's addresses stay, uncounted.
    CHECK(Sorted(f.DeletedTexts()) == Sorted({L"http://c.invalid/page", L"Visited: user@http://c.invalid/page"}));
    CHECK(f.HistoryStore.Entries.size() == 2);
    f.Clean({IECleanHistory});
    CHECK(f.HistoryStore.Clears == 1);
    CHECK(f.HistoryStore.Entries.empty());
}

TEST_CASE("roots: a category's folder is walked only inside the profile, never a link or a guarded folder") {
    struct TCase {
        const char* Name;
        std::function<void(TCleanerFixture&)> Setup;
        std::wstring Message;  // with %s for the cache folder
    };
    const TCase cases[] = {
        {"inside the profile", [](TCleanerFixture&) {}, L""},
        {"a link", [](TCleanerFixture& f) { f.Files.Links.insert(f.Cache); },
         L"%s was not cleaned: it is a link to another folder."},
        {"outside every container",
         [](TCleanerFixture& f) { f.Locations.Containers = std::vector<std::wstring>{f.Temp / L"Elsewhere\\"}; },
         L"%s was not cleaned: it does not lie inside your user profile."},
        {"the container itself",
         [](TCleanerFixture& f) { f.Locations.Containers = std::vector<std::wstring>{f.Cache}; },
         L"%s was not cleaned: it does not lie inside your user profile."},
        {"a guarded folder itself",
         [](TCleanerFixture& f) { f.Locations.Protected = std::vector<std::wstring>{f.Cache}; },
         L"%s was not cleaned: it is, or holds, a folder of your documents or of Windows."},
        {"inside a guarded folder",
         [](TCleanerFixture& f) {
             f.Locations.Cache = f.Temp / L"Cache\\Content.IE5\\";
             f.Locations.Containers = std::vector<std::wstring>{f.Temp.Path()};
             f.Locations.Protected = std::vector<std::wstring>{f.Temp / L"Cache"};
         },
         L"%s was not cleaned: it is, or holds, a folder of your documents or of Windows."},
        {"holding a guarded folder",
         [](TCleanerFixture& f) { f.Locations.Protected = std::vector<std::wstring>{f.Temp / L"Cache\\Documents\\"}; },
         L"%s was not cleaned: it is, or holds, a folder of your documents or of Windows."},
        {"in a guarded folder that holds the profile too",
         [](TCleanerFixture& f) {
             f.Locations.Containers = std::vector<std::wstring>{f.Temp.Path()};
             f.Locations.Protected = std::vector<std::wstring>{f.Temp.Path()};
         },
         L""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.Name);
        TCleanerFixture f;
        ::CreateDirectoryW((f.Temp / L"Cache\\Documents").c_str(), nullptr);
        const std::wstring file = f.MakeFile(L"Cache\\Content.IE5\\a.tmp", 5);
        c.Setup(f);
        const std::wstring root = f.Locations.Cache;
        const std::wstring expected = Fmt(c.Message, root.substr(0, root.size() - 1));
        CHECK(f.ErrorOf([&] { f.Scan({IECleanTempFiles, IECleanTypedUrls}); }) == expected);
        CHECK(f.Scans.back().Finished);
        CHECK(f.Cleaner().FoundItems.size() == (expected.empty() ? 1u : 0u));
        CHECK(f.ErrorOf([&] { f.Clean({IECleanTempFiles, IECleanTypedUrls}); }) == expected);
        CHECK(f.Deletes.back().Finished);
        CHECK(FileExists(file) == !expected.empty());
        // An item of an earlier scan is not deleted through a refused root either.
        if (!expected.empty()) {
            TIECleanSelection selection;
            selection.Items.push_back({IECleanTempFiles, IECleanKindTempFile, TIECleanSource::File, file, L"a.tmp", 5});
            CHECK(f.Files.Removed.empty());
            CHECK(f.ErrorOf([&] { f.Clean(selection); }) == expected);
            CHECK(FileExists(file));
        }
    }
}

TEST_CASE("roots: a folder that says it lies outside the root is neither walked nor cleaned item by item") {
    TCleanerFixture f;
    const std::wstring inside = f.MakeFile(L"Cache\\Content.IE5\\X1\\a.tmp", 1);
    const std::wstring swapped = f.MakeFile(L"Cache\\Content.IE5\\X2\\b.tmp", 1);
    const std::wstring deeper = f.MakeFile(L"Cache\\Content.IE5\\X2\\deeper\\c.tmp", 1);
    const std::wstring x2 = f.Cache + L"Content.IE5\\X2\\";
    SUBCASE("a walk") {
        // As a folder swapped for a junction after the listing named it: it now leads elsewhere.
        f.Files.ElsewhereFolders[x2] = L"C:\\users\\someone\\Documents";
        f.Scan({IECleanTempFiles});
        CHECK(f.ScannedTexts() == std::vector<std::wstring>{inside});
        f.Clean({IECleanTempFiles});
        CHECK(f.DeletedTexts() == std::vector<std::wstring>{inside});
    }
    SUBCASE("items of an earlier scan") {
        f.Scan({IECleanTempFiles});
        REQUIRE(f.Cleaner().FoundItems.size() == 3);
        f.Files.ElsewhereFolders[x2] = L"C:\\users\\someone\\Documents";
        f.Clean(AllBut(f.Cleaner().FoundItems, {}));
        CHECK(f.DeletedTexts() == std::vector<std::wstring>{inside});
    }
    SUBCASE("an item whose path was made up to leave the root") {
        TIECleanSelection selection;
        selection.Items.push_back(
            {IECleanTempFiles, IECleanKindTempFile, TIECleanSource::File, f.Cookies + L"x.txt", L"x.txt", 1});
        selection.Items.push_back(
            {IECleanTempFiles, IECleanKindTempFile, TIECleanSource::File, f.Cache + L"..\\..\\x", L"..\\..\\x", 1});
        f.MakeFile(L"Cookies\\x.txt", 1);
        f.Clean(selection);
        CHECK(f.DeletedTexts().empty());
        CHECK(FileExists(f.Cookies + L"x.txt"));
    }
    CHECK(FileExists(swapped));
    CHECK(FileExists(deeper));
}

TEST_CASE("roots: a real link inside the cache folder, and a real folder swapped for one, lead to files that stay") {
    TCleanerFixture f;
    sktest::TTempDir outsideDir;
    const std::wstring outside = outsideDir.Path();
    const std::wstring precious = outside + L"Thesis.doc";
    sktest::WriteBytes(precious, {'d', 'o', 'c'});
    const std::wstring inside = f.MakeFile(L"Cache\\Content.IE5\\X1\\a.tmp", 1);
    if (!MakeFolderLink(f.Cache + L"Content.IE5\\linked", outside)) {
        MESSAGE("no folder links can be made here");
        return;
    }
    SUBCASE("a link that was there before the scan") {
        f.Scan({IECleanTempFiles});
        CHECK(f.ScannedTexts() == std::vector<std::wstring>{inside});
        f.Clean({IECleanTempFiles});
        CHECK(f.DeletedTexts() == std::vector<std::wstring>{inside});
    }
    SUBCASE("a folder moved out and replaced by a link after the scan") {
        const std::wstring moved = f.MakeFile(L"Cache\\Content.IE5\\X2\\b.tmp", 1);
        f.Scan({IECleanTempFiles});
        const TIECleanSelection selection = AllBut(f.Cleaner().FoundItems, {});
        REQUIRE(selection.Items.size() == 2);
        REQUIRE(::MoveFileW((f.Cache + L"Content.IE5\\X2").c_str(), (outside + L"X2").c_str()));
        REQUIRE(MakeFolderLink(f.Cache + L"Content.IE5\\X2", outside + L"X2"));
        f.Clean(selection);
        CHECK(f.DeletedTexts() == std::vector<std::wstring>{inside});
        CHECK(FileExists(outside + L"X2\\b.tmp"));
        CHECK(std::find(f.Files.Removed.begin(), f.Files.Removed.end(), moved) == f.Files.Removed.end());
    }
    SUBCASE("a folder swapped for a link between the listing and the walk entering it") {
        f.MakeFile(L"Cache\\Content.IE5\\X3\\c.tmp", 1);
        const std::wstring x3 = f.Cache + L"Content.IE5\\X3\\";
        bool swapped = false;
        f.Files.BeforeOpen = [&](const std::wstring& folder) {
            if (folder != x3 || swapped) return;
            swapped = true;
            REQUIRE(::MoveFileW((f.Cache + L"Content.IE5\\X3").c_str(), (outside + L"X3").c_str()));
            REQUIRE(MakeFolderLink(f.Cache + L"Content.IE5\\X3", outside + L"X3"));
        };
        f.Clean({IECleanTempFiles});
        CHECK(swapped);
        CHECK(FileExists(outside + L"X3\\c.tmp"));
        CHECK_FALSE(FileExists(inside));
    }
    CHECK(FileExists(precious));
    // The links go before the folders they lead to.
    for (const wchar_t* link : {L"linked", L"X2", L"X3"}) RemoveFolderLink(f.Cache + L"Content.IE5\\" + link);
}
