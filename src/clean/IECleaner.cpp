#include "clean/IECleaner.h"

#include <windows.h>

#include <exception>

#include "base/Format.h"
#include "base/Paths.h"
#include "registry/RegistryStore.h"

namespace sk {

const wchar_t* const IECleanTypedUrlsKey = L"Software\\Microsoft\\Internet Explorer\\TypedUrls";
const wchar_t* const IECleanTypedUrlsContext = L"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedUrls";

namespace {

// WinInet may report an error for one pass of an enumeration and go on at the next; a cache that
// fails this many passes in a row is not going to recover, and the operation must still end.
constexpr int kMaxFailedCachePasses = 1000;

bool IsBlank(const std::wstring& text) {
    for (wchar_t c : text)
        if (c > L' ') return false;
    return true;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    // File names on Windows match whatever their case.
    return a.size() == b.size() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

const std::wstring& HistoryText(const THistoryEntry& entry) {
    return IsBlank(entry.Title) ? entry.Url : entry.Title;
}

bool IsCookie(const std::wstring& sourceUrlName) {
    return sourceUrlName.find(L"Cookie:") != std::wstring::npos;
}

}  // namespace

TIECleanerPlatform::TIECleanerPlatform()
    : Locations(&ShellCleanLocations()),
      Files(&WindowsCleanFileSystem()),
      UrlCache(&WinInetUrlCache()),
      History(&ComHistoryStore()),
      Registry(&WindowsRegistryBackend()),
      Pump(&WindowsMessagePump()) {}

TIECleaner::TIECleaner(const TIECleanerPlatform& platform)
    : FLocations(*platform.Locations),
      FFiles(*platform.Files),
      FUrlCache(*platform.UrlCache),
      FHistory(*platform.History),
      FRegistry(*platform.Registry),
      FPump(*platform.Pump),
      FPumpIntervalMs(platform.PumpIntervalMs) {
    const std::wstring cache = WithTrailingBackslash(FLocations.InternetCacheFolder());
    if (FolderUsable(cache)) {
        SkipList.push_back(cache + L"desktop.ini");
        SkipList.push_back(cache + L"Content.IE5\\index.dat");
        SkipList.push_back(cache + L"Content.IE5\\desktop.ini");
    }
    const std::wstring cookies = WithTrailingBackslash(FLocations.CookiesFolder());
    if (FolderUsable(cookies)) SkipList.push_back(cookies + L"index.dat");
}

bool TIECleaner::IsSkipped(const std::wstring& path) const {
    if (SkipList.empty() || path.empty()) return false;
    // Paths from the walks never carry blanks at their ends: trim (and copy) only when needed.
    const bool blanks = path.front() <= L' ' || path.back() <= L' ';
    const std::wstring trimmed = blanks ? Trimmed(path) : std::wstring();
    const std::wstring& candidate = blanks ? trimmed : path;
    if (candidate.empty()) return false;
    for (const std::wstring& entry : SkipList)
        if (SamePath(candidate, entry)) return true;
    return false;
}

bool TIECleaner::FolderUsable(const std::wstring& folder) {
    return !folder.empty() && FFiles.FolderExists(folder);
}

bool TIECleaner::StopDue() {
    FThrottle->MaybePump();
    return StopRequested;
}

// ---- Scan ----

void TIECleaner::Scan(TIECleanCategories categories, TIECleanScanEvent onProgress) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    Finished = false;
    OnScanProgress = std::move(onProgress);
    FThrottle.emplace(FPump, FPumpIntervalMs);

    std::exception_ptr error;
    try {
        for (int category = IECleanTempFiles; category <= IECleanHistory; ++category) {
            if (categories.Contains(category)) ScanCategory(category);
            if (category < IECleanHistory && StopRequested) break;
        }
    } catch (...) {
        // The window leaves its busy state only through the final call, so it comes first.
        error = std::current_exception();
    }
    FThrottle.reset();
    Finished = true;
    // A copy: the final call may start the next operation, which replaces OnScanProgress.
    if (TIECleanScanEvent callback = OnScanProgress)
        callback(0, -1, std::wstring(), std::wstring(), ByteCount, ItemCount);
    if (error) std::rethrow_exception(error);
}

void TIECleaner::ScanCategory(int category) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    switch (category) {
        case IECleanTempFiles: {
            const std::wstring cache = WithTrailingBackslash(FLocations.InternetCacheFolder());
            if (FolderUsable(cache)) ScanFolder(cache, IECleanTempFiles, IECleanKindTempFile);
            break;
        }
        case IECleanCookies: {
            const std::wstring cookies = WithTrailingBackslash(FLocations.CookiesFolder());
            if (FolderUsable(cookies)) ScanFolder(cookies, IECleanCookies, IECleanKindCookieFile);
            break;
        }
        case IECleanTypedUrls:
            ScanTypedUrls();
            break;
        case IECleanHistory: {
            const std::wstring cache = WithTrailingBackslash(FLocations.InternetCacheFolder());
            if (!FolderUsable(cache)) break;
            ScanUrlCache(cache);
            if (StopRequested) break;
            const std::wstring history = WithTrailingBackslash(FLocations.HistoryFolder());
            if (FolderUsable(history)) ScanHistory(history);
            break;
        }
    }
}

void TIECleaner::ScanFolder(const std::wstring& folder, int category, int kind) {
    std::unique_ptr<TFolderListing> listing = FFiles.List(folder);
    if (!listing) return;
    TFolderEntry entry;
    while (!StopDue() && listing->Next(entry)) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.Name == L"." || entry.Name == L"..") continue;
            // A junction or directory link may lead anywhere, the user's documents included.
            if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            ScanFolder(folder + entry.Name + L'\\', category, kind);
            continue;
        }
        std::wstring path = folder + entry.Name;
        if (IsSkipped(path)) continue;
        ++ItemCount;
        ByteCount += entry.Size;
        ReportFound(category, kind, folder, path);
    }
}

void TIECleaner::ScanTypedUrls() {
    TRegistryStore store(FRegistry, TRegRoot::CurrentUser);
    if (!store.Open(IECleanTypedUrlsKey, false)) return;
    // A handful of values: no message pumping here.
    for (const std::wstring& name : store.ListValueNames()) {
        if (StopRequested) break;
        ++ItemCount;
        ReportFound(IECleanTypedUrls, IECleanKindTypedUrl, IECleanTypedUrlsContext, store.ReadText(name));
    }
}

void TIECleaner::ScanUrlCache(const std::wstring& context) {
    ForEachCacheEntry([&](const TUrlCacheEntry& entry) {
        ++ItemCount;
        ByteCount += entry.Size;
        const bool visited = entry.SourceUrlName.find(L"Visited:") != std::wstring::npos;
        ReportFound(IECleanHistory, visited ? IECleanKindVisited : IECleanKindCacheEntry, context, entry.SourceUrlName);
    });
}

void TIECleaner::ScanHistory(const std::wstring& context) {
    std::unique_ptr<THistoryConnection> history = FHistory.Connect();
    std::unique_ptr<THistoryEnumeration> urls = history->EnumUrls();
    if (!urls) return;
    THistoryEntry entry;
    while (!StopDue() && urls->Next(entry)) {
        ++ItemCount;
        ReportFound(IECleanHistory, IECleanKindVisited, context, HistoryText(entry));
    }
}

void TIECleaner::ReportFound(int category, int kind, const std::wstring& context, const std::wstring& item) {
    if (OnScanProgress) OnScanProgress(category, kind, context, item, ByteCount, ItemCount);
}

// ---- Clean ----

void TIECleaner::Clean(TIECleanCategories categories, TIECleanDeleteEvent onProgress) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    OnCleanProgress = std::move(onProgress);
    Finished = false;
    FThrottle.emplace(FPump, FPumpIntervalMs);

    std::exception_ptr error;
    try {
        for (int category = IECleanTempFiles; category <= IECleanHistory; ++category) {
            if (categories.Contains(category)) CleanCategory(category);
            if (StopRequested) break;
        }
    } catch (...) {
        error = std::current_exception();
    }
    FThrottle.reset();
    Finished = true;
    if (TIECleanDeleteEvent callback = OnCleanProgress) callback(std::wstring(), ByteCount, ItemCount);
    if (error) std::rethrow_exception(error);
}

void TIECleaner::CleanCategory(int category) {
    switch (category) {
        case IECleanTempFiles: {
            const std::wstring cache = WithTrailingBackslash(FLocations.InternetCacheFolder());
            if (FolderUsable(cache)) CleanFolder(cache);
            break;
        }
        case IECleanCookies: {
            const std::wstring cookies = WithTrailingBackslash(FLocations.CookiesFolder());
            if (FolderUsable(cookies)) CleanFolder(cookies);
            break;
        }
        case IECleanTypedUrls:
            CleanTypedUrls();
            break;
        case IECleanHistory:
            // The cache and the history store are reached through their own interfaces: no folder
            // has to exist.
            CleanUrlCache();
            if (!StopRequested) CleanHistory();
            break;
    }
}

void TIECleaner::CleanFolder(const std::wstring& folder) {
    std::unique_ptr<TFolderListing> listing = FFiles.List(folder);
    if (!listing) return;
    TFolderEntry entry;
    while (!StopDue() && listing->Next(entry)) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.Name == L"." || entry.Name == L"..") continue;
            // Never follow a link out of the folder: the walk would delete whatever it points to.
            if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            CleanFolder(folder + entry.Name + L'\\');
            continue;
        }
        std::wstring path = folder + entry.Name;
        if (IsSkipped(path)) continue;
        // In use, read-only or refused: passed over, and only missing from the counts.
        if (!FFiles.RemoveFile(path)) continue;
        ++ItemCount;
        ByteCount += entry.Size;
        ReportDeleted(path);
    }
}

void TIECleaner::CleanTypedUrls() {
    TRegistryStore store(FRegistry, TRegRoot::CurrentUser);
    if (!store.Open(IECleanTypedUrlsKey, false)) return;
    for (const std::wstring& name : store.ListValueNames()) {
        if (StopRequested) break;
        if (!store.HasValue(name)) continue;
        const std::wstring text = store.ReadText(name);
        if (!store.RemoveValue(name)) continue;
        ++ItemCount;
        ReportDeleted(text);
    }
}

void TIECleaner::CleanUrlCache() {
    ForEachCacheEntry([&](const TUrlCacheEntry& entry) {
        if (!FUrlCache.DeleteEntry(entry.SourceUrlName)) return;
        ++ItemCount;
        ByteCount += entry.Size;
        ReportDeleted(entry.SourceUrlName);
    });
}

void TIECleaner::CleanHistory() {
    std::unique_ptr<THistoryConnection> history = FHistory.Connect();
    if (std::unique_ptr<THistoryEnumeration> urls = history->EnumUrls()) {
        THistoryEntry entry;
        for (;;) {
            if (StopDue()) return;  // stopped: the store is not cleared either
            if (!urls->Next(entry)) break;
            if (!history->DeleteUrl(entry.Url)) continue;
            ++ItemCount;
            ReportDeleted(HistoryText(entry));
        }
    }
    history->ClearHistory();
}

void TIECleaner::ReportDeleted(const std::wstring& item) {
    if (OnCleanProgress) OnCleanProgress(item, ByteCount, ItemCount);
}

void TIECleaner::ForEachCacheEntry(const std::function<void(const TUrlCacheEntry&)>& treat) {
    TUrlCacheEntry entry;
    std::unique_ptr<TUrlCacheEnumeration> entries = FUrlCache.FindFirst(entry);
    if (!entries) return;
    // Cookies live in the same cache but belong to their own category.
    if (!IsCookie(entry.SourceUrlName)) treat(entry);
    int failedPasses = 0;
    while (!StopDue()) {
        switch (entries->Next(entry)) {
            case TUrlCacheStep::Entry:
                failedPasses = 0;
                if (!IsCookie(entry.SourceUrlName)) treat(entry);
                break;
            case TUrlCacheStep::Again:
                if (++failedPasses >= kMaxFailedCachePasses) return;
                break;
            case TUrlCacheStep::End:
                return;
        }
    }
}

}  // namespace sk
