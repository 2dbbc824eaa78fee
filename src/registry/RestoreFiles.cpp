#include "registry/RestoreFiles.h"

#include <algorithm>
#include <vector>

#include "base/Handles.h"
#include "base/Sha256.h"

namespace sk::restorefiles {

namespace {

// SHA-256 over data fed in pieces, as the lowercase hexadecimal digits the manifest keeps.
class TSha256Text {
public:
    void Add(const void* data, DWORD size) { FHash.Update(data, size); }
    std::string Hex() {
        const std::wstring digits = TSha256::Hex(FHash.Final());
        return std::string(digits.begin(), digits.end());  // ASCII only
    }

private:
    TSha256 FHash;
};

constexpr DWORD kChunk = 1 << 16;

bool IsAbsentError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

THandle OpenForReading(const std::wstring& path) {
    return THandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    const auto* at = static_cast<const unsigned char*>(data);
    while (size) {
        DWORD written = 0;
        if (!::WriteFile(file, at, size, &written, nullptr) || written == 0) return false;
        at += written;
        size -= written;
    }
    return true;
}

// Copies the open source into a new file at target, flushed; fills digest.
bool CopyOpen(HANDLE source, const std::wstring& target, DWORD attributes, TFileDigest& digest, DWORD& error) {
    THandle out(
        ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        error = ::GetLastError();
        return false;
    }
    TSha256Text sha;
    std::vector<unsigned char> buffer(kChunk);
    uint64_t total = 0;
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source, buffer.data(), kChunk, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        sha.Add(buffer.data(), read);
        total += read;
        if (!WriteAll(out.Get(), buffer.data(), read)) {
            ok = false;
            break;
        }
    }
    if (ok && !::FlushFileBuffers(out.Get())) ok = false;
    if (!ok) {
        error = ::GetLastError();
        out.Reset();
        ::DeleteFileW(target.c_str());
        return false;
    }
    out.Reset();
    if (attributes != FILE_ATTRIBUTE_NORMAL && attributes != 0) ::SetFileAttributesW(target.c_str(), attributes);
    digest.Size = total;
    digest.Sha256 = sha.Hex();
    return true;
}

std::wstring FolderOfPath(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// A temporary name beside target, in the same folder so that the final move is a rename.
std::wstring TempBeside(const std::wstring& target) {
    return target + L".sk-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()) +
           L".tmp";
}

// Moves the prepared temp file over target, read-only target included.
bool MoveOver(const std::wstring& temp, const std::wstring& target, DWORD& error) {
    const DWORD old = ::GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
    if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    error = ::GetLastError();
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY)) ::SetFileAttributesW(target.c_str(), old);
    ::DeleteFileW(temp.c_str());
    return false;
}

}  // namespace

std::optional<TFileDigest> DigestFile(const std::wstring& path, DWORD& error) {
    error = ERROR_SUCCESS;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = ::GetLastError();
        if (!IsAbsentError(e)) error = e;
        return std::nullopt;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = ERROR_DIRECTORY;  // "The directory name is invalid": not a file
        return std::nullopt;
    }
    THandle in = OpenForReading(path);
    if (!in) {
        error = ::GetLastError();
        return std::nullopt;
    }
    TSha256Text sha;
    std::vector<unsigned char> buffer(kChunk);
    TFileDigest digest;
    digest.Attributes = attributes;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(in.Get(), buffer.data(), kChunk, &read, nullptr)) {
            error = ::GetLastError();
            return std::nullopt;
        }
        if (read == 0) break;
        sha.Add(buffer.data(), read);
        digest.Size += read;
    }
    digest.Sha256 = sha.Hex();
    return digest;
}

std::optional<TFileDigest> CopyFlushed(const std::wstring& source, const std::wstring& target, DWORD& error) {
    error = ERROR_SUCCESS;
    const DWORD attributes = ::GetFileAttributesW(source.c_str());
    THandle in = OpenForReading(source);
    if (attributes == INVALID_FILE_ATTRIBUTES || !in) {
        error = ::GetLastError();
        return std::nullopt;
    }
    TFileDigest digest;
    digest.Attributes = attributes;
    if (!CopyOpen(in.Get(), target, FILE_ATTRIBUTE_NORMAL, digest, error)) return std::nullopt;
    return digest;
}

bool ReplaceWithBytes(const std::wstring& target, const std::string& bytes, DWORD& error) {
    error = ERROR_SUCCESS;
    const std::wstring temp = TempBeside(target);
    {
        THandle out(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) {
            error = ::GetLastError();
            return false;
        }
        if (!WriteAll(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size())) || !::FlushFileBuffers(out.Get())) {
            error = ::GetLastError();
            out.Reset();
            ::DeleteFileW(temp.c_str());
            return false;
        }
    }
    return MoveOver(temp, target, error);
}

bool ReplaceWithCopy(const std::wstring& target,
                     const std::wstring& source,
                     const std::string& expectedSha256,
                     DWORD attributes,
                     DWORD& error) {
    error = ERROR_SUCCESS;
    const std::wstring folder = FolderOfPath(target);
    if (!folder.empty()) MakeFolders(folder);
    THandle in = OpenForReading(source);
    if (!in) {
        error = ::GetLastError();
        return false;
    }
    const std::wstring temp = TempBeside(target);
    TFileDigest digest;
    if (!CopyOpen(in.Get(), temp, FILE_ATTRIBUTE_NORMAL, digest, error)) return false;
    if (digest.Sha256 != expectedSha256) {
        ::DeleteFileW(temp.c_str());
        error = ERROR_FILE_CORRUPT;
        return false;
    }
    if (!MoveOver(temp, target, error)) return false;
    ::SetFileAttributesW(target.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool RemoveFile(const std::wstring& path, DWORD& error) {
    error = ERROR_SUCCESS;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (::DeleteFileW(path.c_str())) return true;
    error = ::GetLastError();
    if (IsAbsentError(error)) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes);
    return false;
}

bool MakeFolders(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (path.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring parent = FolderOfPath(path);
    // A drive ("C:") or a share's root is there or not; it is never made.
    if (!parent.empty() && parent.back() != L':' && parent.find_first_not_of(L"\\") != std::wstring::npos)
        MakeFolders(parent);
    return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW fd;
    {
        TFindHandle find(::FindFirstFileW((base + L"*").c_str(), &fd));
        if (find) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = base + name;
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTree(path);
                } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    ::RemoveDirectoryW(path.c_str());
                } else {
                    DWORD ignored;
                    RemoveFile(path, ignored);
                }
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    base.pop_back();
    return ::RemoveDirectoryW(base.c_str()) != 0 || ::GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
}

uint64_t FolderBytes(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    uint64_t total = 0;
    WIN32_FIND_DATAW fd;
    TFindHandle find(::FindFirstFileW((base + L"*").c_str(), &fd));
    if (!find) return 0;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) total += FolderBytes(base + name);
        } else {
            total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        }
    } while (::FindNextFileW(find.Get(), &fd));
    return total;
}

std::optional<std::string> ReadWhole(const std::wstring& path) {
    THandle in = OpenForReading(path);
    if (!in) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(in.Get(), &size) || size.QuadPart > (1LL << 30)) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk * 16));
        if (!::ReadFile(in.Get(), bytes.data() + done, want, &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"";
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) text = L"error " + std::to_wstring(error);
    return text;
}

}  // namespace sk::restorefiles
