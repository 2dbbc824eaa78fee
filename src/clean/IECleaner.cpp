#include "clean/IECleaner.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <map>
#include <unordered_map>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/StringTable.h"
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

// Strictly below folder: folder itself is not inside it.
bool LiesBelow(const std::wstring& path, const std::wstring& folder) {
    return PathIsWithin(path, folder) && !PathIsWithin(folder, path);
}

// A file's name within its folder: a name, never a path.
bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}

// Folded text for map keys that match as the file system matches names.
std::wstring Folded(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

// A category's folder, checked and held open for the walk: FinalPath is where it really lies.
struct TIECleaner::TRoot {
    std::wstring Folder;     // as the locations name it, with a trailing backslash
    std::wstring FinalPath;  // without a trailing backslash
    std::unique_ptr<TOpenFolder> Open;
};

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

std::unique_ptr<TIECleaner::TRoot> TIECleaner::OpenRoot(const std::wstring& folder) {
    const std::wstring shown = folder.size() > 3 && folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
    // A junction or symbolic link may lead anywhere, the user's documents included.
    const DWORD attributes = FFiles.Attributes(shown);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        FRefusals.push_back(Fmt(IDS_IECLEAN_FolderIsLink, shown));
        return nullptr;
    }
    auto root = std::make_unique<TRoot>();
    root->Folder = folder;
    root->Open = FFiles.OpenFolder(folder);
    if (!root->Open) return nullptr;  // as a folder that is not there
    root->FinalPath = root->Open->FinalPath();
    while (!root->FinalPath.empty() && root->FinalPath.back() == L'\\') root->FinalPath.pop_back();
    if (root->FinalPath.empty()) return nullptr;

    // Where the folders it is checked against really lie, links resolved the same way.
    const auto finalOf = [this](const std::wstring& path) {
        const auto open = FFiles.OpenFolder(path);
        return open ? open->FinalPath() : std::wstring();
    };
    std::vector<std::wstring> containers;
    for (const auto& container : FLocations.ContainerFolders()) {
        const std::wstring real = finalOf(container);
        if (!real.empty()) containers.push_back(real);
    }
    const bool inside = std::any_of(containers.begin(), containers.end(),
                                    [&](const std::wstring& c) { return LiesBelow(root->FinalPath, c); });
    if (!inside) {
        FRefusals.push_back(Fmt(IDS_IECLEAN_FolderOutsideProfile, shown));
        return nullptr;
    }
    for (const auto& guarded : FLocations.ProtectedFolders()) {
        const std::wstring real = finalOf(guarded);
        if (real.empty()) continue;
        // A profile that lies in a guarded folder (the system's own profile lies in Windows) does
        // not put every folder of its own out of reach.
        const bool holdsProfile = std::any_of(containers.begin(), containers.end(),
                                              [&](const std::wstring& c) { return PathIsWithin(c, real); });
        if (PathIsWithin(real, root->FinalPath) || (!holdsProfile && PathIsWithin(root->FinalPath, real))) {
            FRefusals.push_back(Fmt(IDS_IECLEAN_FolderProtected, shown));
            return nullptr;
        }
    }
    return root;
}

std::unique_ptr<TOpenFolder> TIECleaner::OpenInside(const std::wstring& folder, const TRoot& root) {
    // Opened before it is entered, and where it really lies checked then: a folder swapped for a
    // link after the listing named it leads outside, and is never entered.
    std::unique_ptr<TOpenFolder> open = FFiles.OpenFolder(folder);
    if (!open) return nullptr;
    if (!LiesBelow(open->FinalPath(), root.FinalPath)) return nullptr;
    return open;
}

void TIECleaner::Finish(std::exception_ptr error) {
    if (error) std::rethrow_exception(error);
    if (FRefusals.empty()) return;
    std::wstring message;
    for (const auto& refusal : FRefusals) message += (message.empty() ? L"" : L"\n") + refusal;
    FRefusals.clear();
    throw TError(message);
}

// ---- Scan ----

void TIECleaner::Scan(TIECleanCategories categories, TIECleanScanEvent onProgress) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    Finished = false;
    OnScanProgress = std::move(onProgress);
    FoundItems.clear();
    FRefusals.clear();
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
    Finish(error);
}

void TIECleaner::ScanCategory(int category) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    switch (category) {
        case IECleanTempFiles:
        case IECleanCookies: {
            const std::wstring folder = WithTrailingBackslash(
                category == IECleanTempFiles ? FLocations.InternetCacheFolder() : FLocations.CookiesFolder());
            if (!FolderUsable(folder)) break;
            if (const auto root = OpenRoot(folder))
                ScanFolder(folder, *root, category,
                           category == IECleanTempFiles ? IECleanKindTempFile : IECleanKindCookieFile);
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

void TIECleaner::ScanFolder(const std::wstring& folder, const TRoot& root, int category, int kind) {
    std::unique_ptr<TFolderListing> listing = FFiles.List(folder);
    if (!listing) return;
    TFolderEntry entry;
    while (!StopDue() && listing->Next(entry)) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.Name == L"." || entry.Name == L"..") continue;
            // A junction or directory link may lead anywhere, the user's documents included.
            if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            const std::wstring sub = folder + entry.Name + L'\\';
            // Held open while it is walked.
            if (const auto open = OpenInside(sub, root)) ScanFolder(sub, root, category, kind);
            continue;
        }
        std::wstring path = folder + entry.Name;
        if (IsSkipped(path)) continue;
        ++ItemCount;
        ByteCount += entry.Size;
        ReportFound(category, kind, folder, {category, kind, TIECleanSource::File, std::move(path), entry.Name, entry.Size});
    }
}

void TIECleaner::ScanTypedUrls() {
    TRegistryStore store(FRegistry, TRegRoot::CurrentUser);
    if (!store.Open(IECleanTypedUrlsKey, false)) return;
    // A handful of values: no message pumping here.
    for (const std::wstring& name : store.ListValueNames()) {
        if (StopRequested) break;
        ++ItemCount;
        ReportFound(IECleanTypedUrls, IECleanKindTypedUrl, IECleanTypedUrlsContext,
                    {IECleanTypedUrls, IECleanKindTypedUrl, TIECleanSource::TypedUrl, store.ReadText(name), name, 0});
    }
}

void TIECleaner::ScanUrlCache(const std::wstring& context) {
    ForEachCacheEntry([&](const TUrlCacheEntry& entry) {
        ++ItemCount;
        ByteCount += entry.Size;
        const int kind = entry.SourceUrlName.find(L"Visited:") != std::wstring::npos ? IECleanKindVisited
                                                                                      : IECleanKindCacheEntry;
        ReportFound(IECleanHistory, kind, context,
                    {IECleanHistory, kind, TIECleanSource::CacheEntry, entry.SourceUrlName, entry.SourceUrlName,
                     entry.Size});
    });
}

void TIECleaner::ScanHistory(const std::wstring& context) {
    std::unique_ptr<THistoryConnection> history = FHistory.Connect();
    HistoryPerItem = history->DeletesSingleUrls();
    std::unique_ptr<THistoryEnumeration> urls = history->EnumUrls();
    if (!urls) return;
    THistoryEntry entry;
    while (!StopDue() && urls->Next(entry)) {
        ++ItemCount;
        ReportFound(IECleanHistory, IECleanKindVisited, context,
                    {IECleanHistory, IECleanKindVisited, TIECleanSource::HistoryUrl, HistoryText(entry), entry.Url, 0});
    }
}

void TIECleaner::ReportFound(int category, int kind, const std::wstring& context, TIECleanItem item) {
    FoundItems.push_back(std::move(item));
    if (OnScanProgress) OnScanProgress(category, kind, context, FoundItems.back().Text, ByteCount, ItemCount);
}

// ---- Clean ----

void TIECleaner::Clean(TIECleanCategories categories, TIECleanDeleteEvent onProgress) {
    TIECleanSelection selection;
    selection.Whole = categories;
    Clean(selection, std::move(onProgress));
}

void TIECleaner::Clean(const TIECleanSelection& selection, TIECleanDeleteEvent onProgress) {
    ItemCount = 0;
    ByteCount = 0;
    StopRequested = false;
    OnCleanProgress = std::move(onProgress);
    Finished = false;
    FRefusals.clear();
    FThrottle.emplace(FPump, FPumpIntervalMs);

    std::exception_ptr error;
    try {
        // One pass sorts the items by category; each keeps its place within its category.
        std::vector<const TIECleanItem*> items[IECleanHistory + 1];
        for (const TIECleanItem& item : selection.Items)
            if (item.Category >= IECleanTempFiles && item.Category <= IECleanHistory &&
                !selection.Whole.Contains(item.Category))
                items[item.Category].push_back(&item);
        for (int category = IECleanTempFiles; category <= IECleanHistory; ++category) {
            if (selection.Whole.Contains(category))
                CleanCategory(category);
            else if (!items[category].empty())
                CleanItems(category, items[category]);
            if (StopRequested) break;
        }
    } catch (...) {
        error = std::current_exception();
    }
    FThrottle.reset();
    Finished = true;
    if (TIECleanDeleteEvent callback = OnCleanProgress) callback(std::wstring(), ByteCount, ItemCount);
    Finish(error);
}

void TIECleaner::CleanCategory(int category) {
    switch (category) {
        case IECleanTempFiles:
        case IECleanCookies: {
            const std::wstring folder = WithTrailingBackslash(
                category == IECleanTempFiles ? FLocations.InternetCacheFolder() : FLocations.CookiesFolder());
            if (!FolderUsable(folder)) break;
            if (const auto root = OpenRoot(folder)) CleanFolder(folder, *root);
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

void TIECleaner::CleanFolder(const std::wstring& folder, const TRoot& root) {
    std::unique_ptr<TFolderListing> listing = FFiles.List(folder);
    if (!listing) return;
    TFolderEntry entry;
    while (!StopDue() && listing->Next(entry)) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (entry.Name == L"." || entry.Name == L"..") continue;
            // Never follow a link out of the folder: the walk would delete whatever it points to.
            if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            const std::wstring sub = folder + entry.Name + L'\\';
            if (const auto open = OpenInside(sub, root)) CleanFolder(sub, root);
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

void TIECleaner::CleanItems(int category, const std::vector<const TIECleanItem*>& items) {
    switch (category) {
        case IECleanTempFiles:
        case IECleanCookies:
            CleanFileItems(WithTrailingBackslash(category == IECleanTempFiles ? FLocations.InternetCacheFolder()
                                                                                : FLocations.CookiesFolder()),
                           items);
            break;
        case IECleanTypedUrls:
            CleanTypedUrlItems(items);
            break;
        case IECleanHistory:
            CleanHistoryItems(items);
            break;
    }
}

void TIECleaner::CleanFileItems(const std::wstring& rootFolder, const std::vector<const TIECleanItem*>& items) {
    if (!FolderUsable(rootFolder)) return;
    const auto root = OpenRoot(rootFolder);
    if (!root) return;
    // Each folder is opened and checked once, and held open (so kept in place) for the rest of the
    // clean; its files are then deleted by name, as the walk deletes them.
    struct TFolderState {
        std::unique_ptr<TOpenFolder> Open;  // null: not inside the root (or gone)
    };
    std::unordered_map<std::wstring, TFolderState> folders;
    for (const TIECleanItem* item : items) {
        if (StopDue()) return;
        if (item->Source != TIECleanSource::File || !IsPlainName(item->Key) || item->Text.size() <= item->Key.size())
            continue;
        const std::wstring folder = item->Text.substr(0, item->Text.size() - item->Key.size());
        if (folder.back() != L'\\' || !PathIsWithin(folder, root->Folder)) continue;
        const std::wstring key = Folded(folder);
        auto it = folders.find(key);
        if (it == folders.end()) {
            TFolderState state;
            if (PathIsWithin(root->Folder, folder)) {
                state.Open = FFiles.OpenFolder(folder);  // the root itself
                if (state.Open && !PathIsWithin(state.Open->FinalPath(), root->FinalPath)) state.Open.reset();
            } else {
                state.Open = OpenInside(folder, *root);
            }
            it = folders.emplace(key, std::move(state)).first;
        }
        if (!it->second.Open || IsSkipped(item->Text)) continue;
        if (!FFiles.RemoveFile(item->Text)) continue;
        ++ItemCount;
        ByteCount += item->Size;
        ReportDeleted(item->Text);
    }
}

void TIECleaner::CleanTypedUrlItems(const std::vector<const TIECleanItem*>& items) {
    TRegistryStore store(FRegistry, TRegRoot::CurrentUser);
    if (!store.Open(IECleanTypedUrlsKey, false)) return;
    // The browser renumbers its values when an address is typed: a value is taken by its name while
    // it still holds the text that was found, and otherwise by that text.
    std::map<std::wstring, std::wstring> textOf;
    std::multimap<std::wstring, std::wstring> namesOf;
    for (const std::wstring& name : store.ListValueNames()) {
        const auto value = store.ReadValue(name);
        if (!value || (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ)) continue;
        const std::wstring text = store.ReadText(name);
        textOf[Folded(name)] = text;
        namesOf.emplace(text, name);
    }
    for (const TIECleanItem* item : items) {
        if (StopRequested) return;
        if (item->Source != TIECleanSource::TypedUrl) continue;
        std::wstring name;
        const auto byName = textOf.find(Folded(item->Key));
        if (byName != textOf.end() && byName->second == item->Text) {
            name = item->Key;
        } else {
            for (auto [at, end] = namesOf.equal_range(item->Text); at != end; ++at)
                if (textOf.count(Folded(at->second))) {
                    name = at->second;
                    break;
                }
        }
        if (name.empty() || !store.RemoveValue(name)) continue;
        textOf.erase(Folded(name));
        ++ItemCount;
        ReportDeleted(item->Text);
    }
}

void TIECleaner::CleanHistoryItems(const std::vector<const TIECleanItem*>& items) {
    std::unique_ptr<THistoryConnection> history;
    bool perItem = false;
    for (const TIECleanItem* item : items) {
        if (StopDue()) return;
        if (item->Source == TIECleanSource::CacheEntry) {
            if (IsCookie(item->Key) || !FUrlCache.DeleteEntry(item->Key)) continue;
            ++ItemCount;
            ByteCount += item->Size;
            ReportDeleted(item->Text);
        } else if (item->Source == TIECleanSource::HistoryUrl) {
            if (!history) {
                history = FHistory.Connect();
                perItem = history->DeletesSingleUrls();
            }
            // A store that cannot delete one address leaves it: history is then cleaned as a whole.
            if (!perItem || !history->DeleteUrl(item->Key)) continue;
            ++ItemCount;
            ReportDeleted(item->Text);
        }
    }
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
