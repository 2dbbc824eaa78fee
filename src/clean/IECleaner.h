// The cleaner engine: finds and deletes Internet Explorer's temporary files, cookies, typed
// addresses and history for the current user. Both operations run on the caller's (window) thread,
// report every item through a callback, let the window's messages run while they work, and end
// early when the window sets StopRequested.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "base/MessagePump.h"
#include "clean/CleanFileSystem.h"
#include "clean/CleanLocations.h"
#include "clean/HistoryStore.h"
#include "clean/UrlCache.h"

namespace sk {

class TRegistryBackend;

// Category numbers: they travel in the callbacks and the window relies on them.
constexpr int IECleanTempFiles = 1;
constexpr int IECleanCookies = 2;
constexpr int IECleanTypedUrls = 3;
constexpr int IECleanHistory = 4;

// Item kinds of a scan (the window shows them as icon indexes). 3 is never produced: the window
// keeps that icon for the history category itself.
constexpr int IECleanKindTempFile = 0;
constexpr int IECleanKindCookieFile = 1;
constexpr int IECleanKindTypedUrl = 2;
constexpr int IECleanKindCacheEntry = 4;
constexpr int IECleanKindVisited = 5;

// The registry key of the typed addresses, under HKEY_CURRENT_USER, and the context a scan reports.
extern const wchar_t* const IECleanTypedUrlsKey;
extern const wchar_t* const IECleanTypedUrlsContext;

// A set of category numbers (1 to 4); the empty set selects nothing.
class TIECleanCategories {
public:
    TIECleanCategories() = default;
    TIECleanCategories(std::initializer_list<int> categories) {
        for (int c : categories) Include(c);
    }
    static TIECleanCategories All() { return {IECleanTempFiles, IECleanCookies, IECleanTypedUrls, IECleanHistory}; }

    void Include(int category) {
        if (category >= 1 && category <= 4) FBits |= Bit(category);
    }
    void Exclude(int category) {
        if (category >= 1 && category <= 4) FBits &= ~Bit(category);
    }
    bool Contains(int category) const { return category >= 1 && category <= 4 && (FBits & Bit(category)) != 0; }
    bool Empty() const { return FBits == 0; }
    bool operator==(const TIECleanCategories&) const = default;

private:
    static unsigned Bit(int category) { return 1u << category; }
    unsigned FBits = 0;
};

// Where a found item comes from, and so how it is deleted on its own.
enum class TIECleanSource {
    File,        // a file below the cache or cookies folder: Key is its name within its folder
    TypedUrl,    // a value of the TypedUrls key: Key is the value's name
    CacheEntry,  // a WinInet URL-cache entry: Key is its source URL name
    HistoryUrl,  // an address of the history store: Key is the URL
};

// One item a scan found, with what deleting it on its own takes.
struct TIECleanItem {
    int Category = 0;
    int Kind = -1;
    TIECleanSource Source = TIECleanSource::File;
    std::wstring Text;  // as the scan reported it: the file's full path, the address, the title
    std::wstring Key;
    uint64_t Size = 0;  // as found: counted when the item is deleted

    bool operator==(const TIECleanItem&) const = default;
};

// What a clean deletes: whole categories (everything they hold when the clean runs: the fast way for
// a category whose every item is ticked) and single items found by a scan. Items of a category in
// Whole are covered by it.
struct TIECleanSelection {
    TIECleanCategories Whole;
    std::vector<TIECleanItem> Items;
};

// A found item: category, kind, the folder or key it was found in, its text, and the running totals
// after counting it. During the call the item's record is the engine's FoundItems.back(). The final call of a scan: category 0, kind -1, empty texts, current totals, with
// Finished already true.
using TIECleanScanEvent = std::function<void(int category, int kind, const std::wstring& context,
                                             const std::wstring& item, uint64_t byteCount, int32_t itemCount)>;
// A deleted item and the running totals after counting it. The final call: an empty item and the
// totals of the whole clean, with Finished already true.
using TIECleanDeleteEvent = std::function<void(const std::wstring& item, uint64_t byteCount, int32_t itemCount)>;

// What the engine works on. Every member must be set; the defaults are the real ones.
struct TIECleanerPlatform {
    TCleanLocations* Locations;
    TCleanFileSystem* Files;
    TUrlCache* UrlCache;
    THistoryStore* History;
    TRegistryBackend* Registry;
    TMessagePump* Pump;
    // The window's messages run whenever at least this much time has passed since they last ran.
    uint32_t PumpIntervalMs = 10;

    TIECleanerPlatform();  // the shell's folders, the file system, WinInet, the history object,
                           // the registry and the window thread's message queue
};

class TIECleaner {
public:
    // The skip list is built here, once, from the cache and cookies folders as they are now.
    explicit TIECleaner(const TIECleanerPlatform& platform = TIECleanerPlatform());
    TIECleaner(const TIECleaner&) = delete;
    TIECleaner& operator=(const TIECleaner&) = delete;

    // Reports what the categories hold, without changing anything, and keeps each item's record in
    // FoundItems. Totals restart with each category. Returns after the final callback. An error (a
    // typed address that is not text, a history store that cannot be reached, a folder the cleaner
    // refuses to walk) still ends with Finished and the final callback; it is raised afterwards.
    void Scan(TIECleanCategories categories, TIECleanScanEvent onProgress);
    // Deletes everything in the categories and reports each deleted item; totals run over the whole
    // clean. Ends like Scan.
    void Clean(TIECleanCategories categories, TIECleanDeleteEvent onProgress);
    // Deletes exactly what the selection names: the whole categories, and each single item on its
    // own (a file, a typed address whose text is still the one found, a cache entry, a history
    // address). Items that are gone or cannot be deleted are passed over and not counted; a file is
    // deleted only where its folder still really lies inside the category's folder. Ends like Scan.
    void Clean(const TIECleanSelection& selection, TIECleanDeleteEvent onProgress);

    // Whether a file path is one that the walks never report nor delete.
    bool IsSkipped(const std::wstring& path) const;

    uint64_t ByteCount = 0;
    int32_t ItemCount = 0;
    // Set by the window (from a handler that runs while the operation lets messages run) to end the
    // operation at its next check. Cleared when an operation starts and when a scan starts a category.
    bool StopRequested = false;
    // False while an operation runs, true from its final callback on.
    bool Finished = false;
    TIECleanScanEvent OnScanProgress;     // of the last scan
    TIECleanDeleteEvent OnCleanProgress;  // of the last clean
    // Full file paths the walks leave alone: the folders' own index and desktop.ini files.
    std::vector<std::wstring> SkipList;
    // Every item the last scan reported, in order.
    std::vector<TIECleanItem> FoundItems;
    // Whether the history store deletes single addresses; false (as under Wine) means history can
    // be cleaned only as a whole. Found out by the last scan of history.
    bool HistoryPerItem = true;

private:
    struct TRoot;  // a category's folder, checked and held open

    bool FolderUsable(const std::wstring& folder);
    // The category's folder when it may be walked; a refusal is noted for the error raised at the
    // end of the operation, and nullptr returned.
    std::unique_ptr<TRoot> OpenRoot(const std::wstring& folder);
    // Opens a folder below root and tells whether it really lies inside it.
    std::unique_ptr<TOpenFolder> OpenInside(const std::wstring& folder, const TRoot& root);
    void Finish(std::exception_ptr error);
    // Lets the window's messages run when the interval has passed, then tells whether to stop.
    bool StopDue();

    void ScanCategory(int category);
    void ScanFolder(const std::wstring& folder, const TRoot& root, int category, int kind);
    void ScanTypedUrls();
    void ScanUrlCache(const std::wstring& context);
    void ScanHistory(const std::wstring& context);
    void ReportFound(int category, int kind, const std::wstring& context, TIECleanItem item);

    void CleanCategory(int category);
    void CleanFolder(const std::wstring& folder, const TRoot& root);
    void CleanItems(int category, const std::vector<const TIECleanItem*>& items);
    void CleanFileItems(const std::wstring& rootFolder, const std::vector<const TIECleanItem*>& items);
    void CleanTypedUrlItems(const std::vector<const TIECleanItem*>& items);
    void CleanHistoryItems(const std::vector<const TIECleanItem*>& items);
    void CleanTypedUrls();
    void CleanUrlCache();
    void CleanHistory();
    void ReportDeleted(const std::wstring& item);

    // Runs the URL-cache enumeration, handing each entry whose name holds no "Cookie:" to treat;
    // ends at the last entry, at a stop, or when the cache keeps failing.
    void ForEachCacheEntry(const std::function<void(const TUrlCacheEntry&)>& treat);

    TCleanLocations& FLocations;  // not owned
    TCleanFileSystem& FFiles;     // not owned
    TUrlCache& FUrlCache;         // not owned
    THistoryStore& FHistory;      // not owned
    TRegistryBackend& FRegistry;  // not owned
    TMessagePump& FPump;          // not owned
    uint32_t FPumpIntervalMs;
    std::optional<TThrottledPump> FThrottle;  // for the operation under way
    std::vector<std::wstring> FRefusals;      // of the operation under way: folders not walked, and why
};

}  // namespace sk
