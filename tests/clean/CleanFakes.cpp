#include "CleanFakes.h"

#include <algorithm>

#include "base/Errors.h"
#include "base/Handles.h"
#include "base/Paths.h"

namespace sktest {

namespace {

class TFakeEnumeration final : public sk::TUrlCacheEnumeration {
public:
    TFakeEnumeration(TFakeUrlCache& cache, std::vector<sk::TUrlCacheEntry> snapshot)
        : FCache(cache), FSnapshot(std::move(snapshot)) {
        ++FCache.OpenEnumerations;
    }
    ~TFakeEnumeration() override { --FCache.OpenEnumerations; }

    sk::TUrlCacheStep Next(sk::TUrlCacheEntry& entry) override {
        ++FCache.NextCalls;
        const int pass = FPass++;
        if (FCache.FailingPasses.count(pass) || (FCache.FailFromPass >= 0 && pass >= FCache.FailFromPass))
            return sk::TUrlCacheStep::Again;
        if (FIndex >= FSnapshot.size()) return sk::TUrlCacheStep::End;
        entry = FSnapshot[FIndex++];
        return sk::TUrlCacheStep::Entry;
    }

private:
    TFakeUrlCache& FCache;
    std::vector<sk::TUrlCacheEntry> FSnapshot;
    size_t FIndex = 1;  // the first entry went out with FindFirst
    int FPass = 0;
};

class TFakeHistoryEnumeration final : public sk::THistoryEnumeration {
public:
    explicit TFakeHistoryEnumeration(std::vector<sk::THistoryEntry> snapshot) : FSnapshot(std::move(snapshot)) {}
    bool Next(sk::THistoryEntry& entry) override {
        if (FIndex >= FSnapshot.size()) return false;
        entry = FSnapshot[FIndex++];
        return true;
    }

private:
    std::vector<sk::THistoryEntry> FSnapshot;
    size_t FIndex = 0;
};

class TFakeHistoryConnection final : public sk::THistoryConnection {
public:
    explicit TFakeHistoryConnection(TFakeHistoryStore& store) : FStore(store) {}

    std::unique_ptr<sk::THistoryEnumeration> EnumUrls() override {
        if (FStore.NotImplemented) return nullptr;
        return std::make_unique<TFakeHistoryEnumeration>(FStore.Entries);
    }
    bool DeleteUrl(const std::wstring& url) override {
        if (FStore.NoSingleDelete || FStore.Undeletable.count(url)) return false;
        auto& entries = FStore.Entries;
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.Url == url; });
        if (it == entries.end()) return false;
        entries.erase(it);
        FStore.Deleted.push_back(url);
        return true;
    }
    bool DeletesSingleUrls() override { return !FStore.NoSingleDelete; }
    void ClearHistory() override {
        ++FStore.Clears;
        FStore.Entries.clear();
    }

private:
    TFakeHistoryStore& FStore;
};

class TMarkingListing final : public sk::TFolderListing {
public:
    TMarkingListing(std::unique_ptr<sk::TFolderListing> inner, const std::wstring& folder,
                    const std::set<std::wstring>& links)
        : FInner(std::move(inner)), FFolder(folder), FLinks(links) {}
    bool Next(sk::TFolderEntry& entry) override {
        if (!FInner->Next(entry)) return false;
        if ((entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) && FLinks.count(FFolder + entry.Name + L"\\"))
            entry.Attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        return true;
    }

private:
    std::unique_ptr<sk::TFolderListing> FInner;
    std::wstring FFolder;
    const std::set<std::wstring>& FLinks;
};

}  // namespace

bool TFakeUrlCache::Contains(const std::wstring& name) const {
    return std::any_of(Entries.begin(), Entries.end(), [&](const auto& e) { return e.SourceUrlName == name; });
}

std::unique_ptr<sk::TUrlCacheEnumeration> TFakeUrlCache::FindFirst(sk::TUrlCacheEntry& first) {
    ++FindFirstCalls;
    if (Entries.empty()) return nullptr;
    first = Entries.front();
    return std::make_unique<TFakeEnumeration>(*this, Entries);
}

bool TFakeUrlCache::DeleteEntry(const std::wstring& sourceUrlName) {
    if (Undeletable.count(sourceUrlName)) return false;
    const auto it =
        std::find_if(Entries.begin(), Entries.end(), [&](const auto& e) { return e.SourceUrlName == sourceUrlName; });
    if (it == Entries.end()) return false;
    Entries.erase(it);
    Deleted.push_back(sourceUrlName);
    return true;
}

std::unique_ptr<sk::THistoryConnection> TFakeHistoryStore::Connect() {
    ++Connects;
    if (FailConnect) throw sk::TError(L"Class not registered");
    return std::make_unique<TFakeHistoryConnection>(*this);
}

namespace {

class TElsewhereFolder final : public sk::TOpenFolder {
public:
    TElsewhereFolder(std::unique_ptr<sk::TOpenFolder> inner, std::wstring final)
        : FInner(std::move(inner)), FFinal(std::move(final)) {}
    std::wstring FinalPath() override { return FFinal; }

private:
    std::unique_ptr<sk::TOpenFolder> FInner;  // held, as the real one is
    std::wstring FFinal;
};

}  // namespace

bool TLinkMarkingFileSystem::FolderExists(const std::wstring& path) {
    return sk::WindowsCleanFileSystem().FolderExists(path);
}

DWORD TLinkMarkingFileSystem::Attributes(const std::wstring& path) {
    const DWORD attributes = sk::WindowsCleanFileSystem().Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && Links.count(sk::WithTrailingBackslash(path)))
        return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

std::unique_ptr<sk::TOpenFolder> TLinkMarkingFileSystem::OpenFolder(const std::wstring& path) {
    const std::wstring folder = sk::WithTrailingBackslash(path);
    if (BeforeOpen) BeforeOpen(folder);
    auto open = sk::WindowsCleanFileSystem().OpenFolder(path);
    if (!open) return nullptr;
    for (const auto& [swapped, final] : ElsewhereFolders)
        if (folder.rfind(swapped, 0) == 0) {
            std::wstring below = folder.substr(swapped.size());
            if (!below.empty() && below.back() == L'\\') below.pop_back();
            return std::make_unique<TElsewhereFolder>(std::move(open), below.empty() ? final : final + L"\\" + below);
        }
    return open;
}

std::unique_ptr<sk::TFolderListing> TLinkMarkingFileSystem::List(const std::wstring& folder) {
    Listed.push_back(folder);
    auto inner = sk::WindowsCleanFileSystem().List(folder);
    if (!inner) return nullptr;
    return std::make_unique<TMarkingListing>(std::move(inner), folder, Links);
}

bool TLinkMarkingFileSystem::RemoveFile(const std::wstring& path) {
    const bool removed = sk::WindowsCleanFileSystem().RemoveFile(path);
    if (removed) Removed.push_back(path);
    return removed;
}

namespace {

using TUnixName = char*(__cdecl*)(const wchar_t*);

TUnixName UnixNameFunction() {
    return reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::string UnixNameOf(const std::wstring& path) {
    char* name = UnixNameFunction()(path.c_str());
    std::string result = name ? name : "";
    if (name) ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

bool RunUnix(const wchar_t* program, const std::string& command) {
    std::wstring wide(command.begin(), command.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    // Wine hands out no process handle that can be waited for: the caller looks for the result.
    sk::THandle process(info.hProcess), thread(info.hThread);
    if (process) ::WaitForSingleObject(process.Get(), 10000);
    return true;
}

// Waits up to five seconds for the path to be there (or gone).
bool WaitForPath(const std::wstring& path, bool there) {
    for (int i = 0; i < 250; ++i) {
        if ((::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == there) return true;
        ::Sleep(20);
    }
    return false;
}

}  // namespace

void RemoveFolderLink(const std::wstring& link) {
    std::wstring bare = link;
    while (!bare.empty() && bare.back() == L'\\') bare.pop_back();
    if (!UnixNameFunction()) {
        ::RemoveDirectoryW(bare.c_str());
        return;
    }
    const std::string name = UnixNameOf(bare);
    if (!name.empty() && RunUnix(L"Z:\\bin\\rm", "/bin/rm -f \"" + name + "\"")) WaitForPath(bare, false);
}

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    std::wstring bare = link;
    while (!bare.empty() && bare.back() == L'\\') bare.pop_back();
    std::wstring to = target;
    while (!to.empty() && to.back() == L'\\') to.pop_back();
    if (!UnixNameFunction()) return ::CreateSymbolicLinkW(bare.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != FALSE;
    // The link's own name does not exist yet: its folder's Unix name and its leaf.
    const size_t cut = bare.rfind(L'\\');
    const std::string parent = UnixNameOf(bare.substr(0, cut));
    const std::string targetUnix = UnixNameOf(to);
    if (parent.empty() || targetUnix.empty()) return false;
    std::string leaf;
    for (wchar_t c : bare.substr(cut + 1)) leaf += static_cast<char>(c);
    if (!RunUnix(L"Z:\\bin\\ln", "/bin/ln -s \"" + targetUnix + "\" \"" + parent + "/" + leaf + "\"")) return false;
    return WaitForPath(bare, true) && sk::DirectoryExists(bare);
}

}  // namespace sktest
