// Saving registry keys and values to a regedit file ("Windows Registry Editor Version 5.00", UTF-16LE)
// before they are deleted, so that opening the file puts them back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/Handles.h"
#include "registry/RegistryStore.h"

namespace sk {

inline constexpr const wchar_t* kRegFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";

// One value as a line of a regedit file, ending in "\r\n": `"name"=...` (`@=` for the default value).
// Plain text values are quoted; text that a quoted string cannot carry exactly (line breaks, inner
// zeros, a missing terminator) and every other type are written as hex bytes, so the bytes come back
// unchanged. Long hex runs are wrapped with "\" as regedit does. In the name, backslashes and quotes
// are escaped; a name with a line break cannot be written so that regedit reads it back (nor so
// that it cannot add lines of its own), and the value is left out: the line is a comment saying so.
std::wstring RegFileValueLine(const std::wstring& name, const TRegValue& value);

// Names a key as regedit does ("HKEY_LOCAL_MACHINE\Software\..."), where the key really lies: a key
// of the 32-bit view is named by its "Wow6432Node" path, so that the 64-bit regedit puts it back in
// the same place.
using TRegKeyNamer = std::function<std::wstring(TRegRoot root, TRegView view, const std::wstring& path)>;
// The 64-bit Windows layout, without asking anyone: HKLM\Software\X -> HKLM\Software\Wow6432Node\X,
// HKLM\Software\Classes\X -> HKLM\Software\Classes\Wow6432Node\X, HKEY_CLASSES_ROOT\X ->
// HKEY_CLASSES_ROOT\Wow6432Node\X; other roots and the native view as they are.
std::wstring LayoutRegKeyName(TRegRoot root, TRegView view, const std::wstring& path);
// Asks the system where an existing key lies (which keys the 32-bit view shares differs between
// Windows versions, and HKEY_CLASSES_ROOT is the user's or the machine's classes); the layout above
// for a key that does not open.
std::wstring SystemRegKeyName(TRegRoot root, TRegView view, const std::wstring& path);
// SystemRegKeyName for the real registry, LayoutRegKeyName for any other backend.
TRegKeyNamer DefaultRegKeyNamer(TRegistryBackend& backend);

// The key and everything beneath it as regedit blocks, parents before children; "" when the key does
// not open. Subkeys that do not open are left out (they cannot be deleted either), and so is a key
// whose name holds a line break, with all beneath it (a comment line says so).
std::wstring RegFileKeyTree(TRegistryBackend& backend, const TRegKeyNamer& namer, TRegRoot root, TRegView view,
                            const std::wstring& path);
// One value as a regedit block under its key's heading; "" when the key or the value is absent.
std::wstring RegFileValue(TRegistryBackend& backend, const TRegKeyNamer& namer, TRegRoot root, TRegView view,
                          const std::wstring& path, const std::wstring& name);

// One backup file, made in folder at the first Append and named by the time given ("2024-05-01
// 13-45-07.reg", or "... (2).reg" and so on when that name is taken: an earlier backup is never
// overwritten). Every Append reaches the disk before it returns. A file left holding nothing but
// its heading is deleted on Close.
class TRegBackupFile {
public:
    TRegBackupFile(std::wstring folder, const SYSTEMTIME& time);
    ~TRegBackupFile();
    TRegBackupFile(const TRegBackupFile&) = delete;
    TRegBackupFile& operator=(const TRegBackupFile&) = delete;

    // Raises TWriteError ("Unable to write to <file>") when the folder or the file cannot be made or
    // written; the caller must then delete nothing.
    void Append(const std::wstring& text);
    // The file's length in bytes (0 before the first Append), and cutting it back to such a length.
    uint64_t Size() const { return FSize; }
    void Truncate(uint64_t size);
    // Closes the file; returns its name, or "" when it holds no entry (and is gone).
    std::wstring Close();
    const std::wstring& FileName() const { return FFileName; }

private:
    void Create();

    std::wstring FFolder;
    SYSTEMTIME FTime;
    std::wstring FFileName;
    THandle FFile;
    uint64_t FSize = 0;
    uint64_t FHeaderSize = 0;
};

}  // namespace sk
