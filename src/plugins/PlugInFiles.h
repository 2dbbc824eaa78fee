// The file side of removing an add-on: where the DLL that a registration names really lies, which
// folders belong to Windows, and the one place where a DLL is moved into the backup (so that a
// recorder can wrap it and capture the file before it moves).
#pragma once

#include <windows.h>

#include <string>

#include "registry/RegistryStore.h"

namespace sk {

class TPlugInFiles {
public:
    virtual ~TPlugInFiles() = default;

    // The Windows folder, with a trailing backslash. Nothing below it is ever moved.
    virtual std::wstring WindowsFolder() = 0;
    // The folder that "%windir%\System32\" of a registration in view really is, with a trailing
    // backslash: for a 32-bit registration on 64-bit Windows (seen from a 64-bit process) the
    // SysWOW64 folder, for a 64-bit one seen from a 32-bit process the Sysnative alias; otherwise
    // System32 itself.
    virtual std::wstring SystemFolderFor(TRegView view) = 0;
    // The System32 folder as a registration names it, with a trailing backslash.
    virtual std::wstring SystemFolder() = 0;
    // Where an existing file or folder really lies: the full path with links, junctions and short
    // names resolved, without the "\\?\" prefix. "" when it does not exist or cannot be opened.
    virtual std::wstring FinalPath(const std::wstring& path) = 0;
    // Moves a file to a new name, to another volume too. False when it cannot be moved (then the
    // file is where it was, and nothing is left at to), and for a folder, which is never moved;
    // error then holds the system's error code.
    virtual bool MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) = 0;
};

// The real file system.
TPlugInFiles& WindowsPlugInFiles();

}  // namespace sk
