// The file-system calls of the cleaner's folder walks. The real one is a thin layer over
// FindFirstFileExW / DeleteFileW; tests wrap it to report attributes that Wine cannot produce
// (a directory junction, for one).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace sk {

struct TFolderEntry {
    std::wstring Name;  // without its folder
    DWORD Attributes = 0;
    uint64_t Size = 0;  // as the directory listing reports it; no file is opened
};

class TFolderListing {
public:
    virtual ~TFolderListing() = default;
    // The next entry, in the order the file system returns them; false at the end.
    virtual bool Next(TFolderEntry& entry) = 0;
};

class TCleanFileSystem {
public:
    virtual ~TCleanFileSystem() = default;
    virtual bool FolderExists(const std::wstring& path) = 0;
    // Every entry of the folder (a path with trailing backslash) matching "*.*": hidden and system
    // entries and subfolders included, "." and ".." as the system reports them. nullptr when the
    // folder cannot be listed.
    virtual std::unique_ptr<TFolderListing> List(const std::wstring& folder) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
};

TCleanFileSystem& WindowsCleanFileSystem();

}  // namespace sk
