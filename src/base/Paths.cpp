#include "base/Paths.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/Handles.h"

namespace sk {

std::wstring WithTrailingBackslash(const std::wstring& path) {
    if (path.empty() || path.back() == L'\\') return path;
    return path + L'\\';
}

std::wstring FileFolderOf(const std::wstring& filePath) {
    const auto pos = filePath.find_last_of(L"\\:");
    if (pos == std::wstring::npos) return {};
    return WithTrailingBackslash(filePath.substr(0, pos + 1));
}

std::wstring FileNameOf(const std::wstring& filePath) {
    const auto pos = filePath.find_last_of(L"\\:/");
    return pos == std::wstring::npos ? filePath : filePath.substr(pos + 1);
}

std::wstring FileExtOf(const std::wstring& fileName) {
    const auto sep = fileName.find_last_of(L"\\:/");
    const auto dot = fileName.find_last_of(L'.');
    if (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep)) return {};
    if (fileName.find(L' ', dot) != std::wstring::npos) return {};
    return fileName.substr(dot);
}

std::wstring ChangeFileExt(const std::wstring& fileName, const std::wstring& ext) {
    const auto sep = fileName.find_last_of(L"\\:/");
    const auto dot = fileName.find_last_of(L'.');
    if (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep)) return fileName + ext;
    return fileName.substr(0, dot) + ext;
}

std::wstring SpecialFolderPath(int csidl, bool create) {
    wchar_t buf[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buf, csidl, create ? TRUE : FALSE)) return {};
    return WithTrailingBackslash(buf);
}

std::wstring ExecutablePath() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::wstring WithoutLongPathPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

bool PathIsWithin(const std::wstring& path, const std::wstring& folder) {
    size_t length = folder.size();
    while (length > 0 && folder[length - 1] == L'\\') --length;
    if (length == 0 || path.size() < length) return false;
    if (::CompareStringOrdinal(path.data(), static_cast<int>(length), folder.data(), static_cast<int>(length), TRUE) !=
        CSTR_EQUAL)
        return false;
    return path.size() == length || path[length] == L'\\';
}

std::wstring FinalPathOfHandle(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return WithoutLongPathPrefix(buffer);
        }
        buffer.resize(n + 1);
    }
    return {};
}

std::wstring FinalPathOf(const std::wstring& path) {
    // Attributes only, shared in every way: the file is looked at, not held.
    const THandle handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return {};
    return FinalPathOfHandle(handle.Get());
}

bool FileExists(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

}  // namespace sk
