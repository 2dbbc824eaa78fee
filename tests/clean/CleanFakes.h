// Substitutes for the cleaner's platform: a URL cache and a history store in memory and a file
// system that reports some real folders as junctions (the counting pump is in tests/support).
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "clean/CleanFileSystem.h"
#include "clean/HistoryStore.h"
#include "clean/UrlCache.h"
#include "CountingPump.h"  // the pump of the cleaner tests

namespace sktest {

// Entries in insertion order. An enumeration works on the entries as they were when it opened (as
// WinInet's does for entries deleted behind it), and a script can make passes fail.
class TFakeUrlCache final : public sk::TUrlCache {
public:
    void Add(const std::wstring& name, uint64_t size = 0) { Entries.push_back({name, size}); }
    bool Contains(const std::wstring& name) const;

    std::unique_ptr<sk::TUrlCacheEnumeration> FindFirst(sk::TUrlCacheEntry& first) override;
    bool DeleteEntry(const std::wstring& sourceUrlName) override;

    std::vector<sk::TUrlCacheEntry> Entries;
    std::set<std::wstring> Undeletable;
    // Passes that report an error instead of an entry, counted from the first Next of an enumeration
    // (0-based). Every pass from FailFromPass on fails (-1: none).
    std::set<int> FailingPasses;
    int FailFromPass = -1;

    int FindFirstCalls = 0;
    int NextCalls = 0;
    int OpenEnumerations = 0;
    std::vector<std::wstring> Deleted;
};

class TFakeHistoryStore final : public sk::THistoryStore {
public:
    void Add(const std::wstring& url, const std::wstring& title) { Entries.push_back({url, title}); }

    std::unique_ptr<sk::THistoryConnection> Connect() override;

    std::vector<sk::THistoryEntry> Entries;
    std::set<std::wstring> Undeletable;
    bool FailConnect = false;     // the object cannot be made: TError "Class not registered"
    bool NotImplemented = false;  // listing answers "not implemented", as under Wine
    bool NoSingleDelete = false;  // single addresses cannot be deleted, as under Wine
    int Connects = 0;
    int Clears = 0;
    std::vector<std::wstring> Deleted;
};

// The real file system, except that listed folders (full paths with trailing backslash) are reported
// with FILE_ATTRIBUTE_REPARSE_POINT, as a junction or directory symbolic link is on Windows, and
// that a folder can be made to say it really lies elsewhere, as one swapped for a junction does.
class TLinkMarkingFileSystem final : public sk::TCleanFileSystem {
public:
    bool FolderExists(const std::wstring& path) override;
    DWORD Attributes(const std::wstring& path) override;
    std::unique_ptr<sk::TOpenFolder> OpenFolder(const std::wstring& path) override;
    std::unique_ptr<sk::TFolderListing> List(const std::wstring& folder) override;
    bool RemoveFile(const std::wstring& path) override;

    std::set<std::wstring> Links;
    // Folder (with trailing backslash) -> the final path its open handle reports; the folders below
    // it report theirs below that path.
    std::map<std::wstring, std::wstring> ElsewhereFolders;
    // Runs before a folder is opened (a test swaps a folder for a link there).
    std::function<void(const std::wstring& folder)> BeforeOpen;
    std::vector<std::wstring> Listed;  // every folder listed, in order
    std::vector<std::wstring> Removed; // every file removed, in order
};

// A Unix symbolic link at link (a Windows path) that leads to target, made with /bin/ln under Wine
// (Wine shows it as an ordinary folder: only its final path tells), or a directory symbolic link
// on Windows. False when neither can be made.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes such a link (not what it leads to), if it is there.
void RemoveFolderLink(const std::wstring& link);

}  // namespace sktest
