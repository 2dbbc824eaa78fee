// The file-system calls of the cleaner's folder walks. The real one is a thin layer over
// FindFirstFileExW / DeleteFileW / GetFinalPathNameByHandleW; tests wrap it to report what Wine
// cannot produce (a directory junction, for one, or a folder swapped for one at the wrong moment).
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

// A folder held open while the cleaner works inside it. It is opened without delete sharing, so
// that while it is open Windows lets nobody rename, move or delete it (nor a folder above it): the
// paths below it keep leading into it.
class TOpenFolder {
public:
    virtual ~TOpenFolder() = default;
    // Where the folder really lies, links and junctions on the way resolved, without "\\?\"; ""
    // when the system cannot say.
    virtual std::wstring FinalPath() = 0;
};

class TCleanFileSystem {
public:
    virtual ~TCleanFileSystem() = default;
    virtual bool FolderExists(const std::wstring& path) = 0;
    // The attributes of the path itself (a link is not followed); INVALID_FILE_ATTRIBUTES when it
    // does not exist.
    virtual DWORD Attributes(const std::wstring& path) = 0;
    // Opens a folder (a path with or without its trailing backslash), following a link to wherever
    // it leads; nullptr when it cannot be opened.
    virtual std::unique_ptr<TOpenFolder> OpenFolder(const std::wstring& path) = 0;
    // Every entry of the folder (a path with trailing backslash) matching "*.*": hidden and system
    // entries and subfolders included, "." and ".." as the system reports them. nullptr when the
    // folder cannot be listed.
    virtual std::unique_ptr<TFolderListing> List(const std::wstring& folder) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
};

TCleanFileSystem& WindowsCleanFileSystem();

}  // namespace sk
