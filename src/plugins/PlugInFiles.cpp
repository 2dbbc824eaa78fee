#include "plugins/PlugInFiles.h"

#include "base/Handles.h"
#include "base/Paths.h"

namespace sk {

namespace {

std::wstring WindowsDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return WithTrailingBackslash(buffer);
}

bool Is64BitWindows() {
#if defined(_WIN64)
    return true;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

class TWindowsPlugInFiles final : public TPlugInFiles {
public:
    std::wstring WindowsFolder() override { return WindowsDirectory(); }

    std::wstring SystemFolder() override { return WindowsDirectory() + L"System32\\"; }

    std::wstring SystemFolderFor(TRegView view) override {
        const std::wstring windows = WindowsDirectory();
        if (!Is64BitWindows()) return windows + L"System32\\";
#if defined(_WIN64)
        return windows + (view == TRegView::Wow32 ? L"SysWOW64\\" : L"System32\\");
#else
        // A 32-bit process sees System32 as SysWOW64 already; the 64-bit one has to be named.
        return windows + (view == TRegView::Wow64 ? L"Sysnative\\" : L"SysWOW64\\");
#endif
    }

    std::wstring FinalPath(const std::wstring& path) override { return FinalPathOf(path); }

    bool MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) override {
        error = 0;
        // A file only: a registration that names a folder (the user's documents, say) moves nothing.
        const DWORD attributes = ::GetFileAttributesW(from.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_DIRECTORY;
            return false;
        }
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) return true;
        error = ::GetLastError();
        // A move across volumes copies first: a copy whose source could not be deleted (a DLL in use)
        // must not stay behind as if the move had worked.
        if (FileExists(from) && FileExists(to)) ::DeleteFileW(to.c_str());
        return false;
    }
};

}  // namespace

TPlugInFiles& WindowsPlugInFiles() {
    static TWindowsPlugInFiles files;
    return files;
}

}  // namespace sk
