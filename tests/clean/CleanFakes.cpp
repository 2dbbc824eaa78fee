#include "CleanFakes.h"

#include <algorithm>

#include "base/Errors.h"

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
        if (FStore.Undeletable.count(url)) return false;
        auto& entries = FStore.Entries;
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.Url == url; });
        if (it == entries.end()) return false;
        entries.erase(it);
        FStore.Deleted.push_back(url);
        return true;
    }
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

bool TLinkMarkingFileSystem::FolderExists(const std::wstring& path) {
    return sk::WindowsCleanFileSystem().FolderExists(path);
}

std::unique_ptr<sk::TFolderListing> TLinkMarkingFileSystem::List(const std::wstring& folder) {
    Listed.push_back(folder);
    auto inner = sk::WindowsCleanFileSystem().List(folder);
    if (!inner) return nullptr;
    return std::make_unique<TMarkingListing>(std::move(inner), folder, Links);
}

bool TLinkMarkingFileSystem::RemoveFile(const std::wstring& path) {
    return sk::WindowsCleanFileSystem().RemoveFile(path);
}

}  // namespace sktest
