#include "clean/CleanFileSystem.h"

#include "base/Handles.h"
#include "base/Paths.h"

namespace sk {

namespace {

class TWindowsFolderListing final : public TFolderListing {
public:
    explicit TWindowsFolderListing(const std::wstring& folder) {
        // Basic information and large fetches: the walks never need the short names, and a cache
        // folder holds thousands of entries.
        FFind.Reset(::FindFirstFileExW((folder + L"*.*").c_str(), FindExInfoBasic, &FData, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH));
        FPending = FFind.IsValid();
    }
    bool IsValid() const { return FFind.IsValid(); }

    bool Next(TFolderEntry& entry) override {
        if (!FPending) {
            if (!FFind || !::FindNextFileW(FFind.Get(), &FData)) return false;
        }
        FPending = false;
        entry.Name = FData.cFileName;
        entry.Attributes = FData.dwFileAttributes;
        entry.Size = (static_cast<uint64_t>(FData.nFileSizeHigh) << 32) | FData.nFileSizeLow;
        return true;
    }

private:
    TFindHandle FFind;
    WIN32_FIND_DATAW FData{};
    bool FPending = false;  // the entry of FindFirstFileExW is not handed out yet
};

class TWindowsOpenFolder final : public TOpenFolder {
public:
    explicit TWindowsOpenFolder(THandle folder) : FFolder(std::move(folder)) {}
    std::wstring FinalPath() override { return FinalPathOfHandle(FFolder.Get()); }

private:
    THandle FFolder;
};

class TWindowsCleanFileSystem final : public TCleanFileSystem {
public:
    bool FolderExists(const std::wstring& path) override { return DirectoryExists(path); }

    DWORD Attributes(const std::wstring& path) override { return ::GetFileAttributesW(path.c_str()); }

    std::unique_ptr<TOpenFolder> OpenFolder(const std::wstring& path) override {
        // Reading and writing inside it stay open to others; deleting or renaming it does not.
        THandle folder(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folder) return nullptr;
        return std::make_unique<TWindowsOpenFolder>(std::move(folder));
    }

    std::unique_ptr<TFolderListing> List(const std::wstring& folder) override {
        auto listing = std::make_unique<TWindowsFolderListing>(folder);
        if (!listing->IsValid()) return nullptr;
        return listing;
    }

    bool RemoveFile(const std::wstring& path) override { return ::DeleteFileW(path.c_str()) != FALSE; }
};

}  // namespace

TCleanFileSystem& WindowsCleanFileSystem() {
    static TWindowsCleanFileSystem fileSystem;
    return fileSystem;
}

}  // namespace sk
