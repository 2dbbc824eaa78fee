#include "security/TextFile.h"

#include "app/Errors.h"
#include "app/Handles.h"
#include "app/Paths.h"

namespace sk {

namespace {

// Hosts files are small; a file this large is not one, and reading it whole would only exhaust
// memory.
constexpr ULONGLONG kMaxTextFileSize = 1ull << 30;

[[noreturn]] void RaiseOpenError(const std::wstring& fileName, DWORD code) {
    throw TError(L"Cannot open file \"" + fileName + L"\". " + SystemErrorText(code));
}

[[noreturn]] void RaiseWriteError(const std::wstring& fileName, const std::wstring& reason) {
    throw TWriteError(L"Unable to write to " + fileName + L". " + reason);
}

std::wstring DecodeBytes(UINT codePage, const char* data, size_t size) {
    if (size == 0) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), out.data(), n);
    return out;
}

std::string EncodeBytes(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0)
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

template <typename Lines>
std::string EncodeLines(const Lines& lines) {
    size_t total = 0;
    for (const auto& line : lines) total += line.size() + 2;
    std::wstring joined;
    joined.reserve(total);
    for (const auto& line : lines) {
        joined.append(line.data(), line.size());
        joined += L"\r\n";
    }
    return EncodeBytes(CP_ACP, joined);
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

}  // namespace

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"System error " + std::to_wstring(code) + L".";
    return text;
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& fileName, size_t maxBytes) {
    THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) RaiseOpenError(fileName, ::GetLastError());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) RaiseOpenError(fileName, ::GetLastError());
    ULONGLONG wanted = static_cast<ULONGLONG>(size.QuadPart);
    if (wanted > maxBytes) wanted = maxBytes;
    if (wanted > kMaxTextFileSize)
        throw TError(L"Cannot open file \"" + fileName + L"\". The file is too large to be a hosts file.");
    std::vector<unsigned char> bytes(static_cast<size_t>(wanted));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            RaiseOpenError(fileName, ::GetLastError());
        if (read == 0) break;  // the file shrank while we read it
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

std::wstring DecodeText(const unsigned char* data, size_t size, TTextEncoding* encoding) {
    TTextEncoding enc = TTextEncoding::Ansi;
    std::wstring text;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        enc = TTextEncoding::Utf8;
        text = DecodeBytes(CP_UTF8, reinterpret_cast<const char*>(data) + 3, size - 3);
    } else if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
        const bool little = data[0] == 0xFF;
        enc = little ? TTextEncoding::Utf16LE : TTextEncoding::Utf16BE;
        const size_t units = (size - 2) / 2;  // an odd last byte is not a character
        text.resize(units);
        for (size_t i = 0; i < units; ++i) {
            const unsigned char a = data[2 + 2 * i], b = data[3 + 2 * i];
            text[i] = static_cast<wchar_t>(little ? (a | (b << 8)) : ((a << 8) | b));
        }
    } else {
        text = DecodeBytes(CP_ACP, reinterpret_cast<const char*>(data), size);
    }
    if (encoding) *encoding = enc;
    return text;
}

void SplitLines(std::wstring_view text, std::vector<std::wstring_view>& lines) {
    lines.clear();
    size_t start = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (c == L'\r' && i + 1 < n && text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.push_back(text.substr(start));
}

TTextLines ReadTextLines(const std::wstring& fileName) {
    const auto bytes = ReadFileBytes(fileName);
    TTextLines result;
    result.Text = DecodeText(bytes.data(), bytes.size(), &result.Encoding);
    SplitLines(result.Text, result.Lines);
    return result;
}

std::string EncodeAnsiLines(const std::vector<std::wstring_view>& lines) { return EncodeLines(lines); }
std::string EncodeAnsiLines(const std::vector<std::wstring>& lines) { return EncodeLines(lines); }

std::string EncodeText(std::wstring_view text, TTextEncoding encoding) {
    switch (encoding) {
        case TTextEncoding::Utf8: return EncodeBytes(CP_UTF8, text);
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE: {
            std::string out;
            out.reserve(text.size() * 2);
            for (wchar_t c : text) {
                const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
                if (encoding == TTextEncoding::Utf16LE) {
                    out += lo;
                    out += hi;
                } else {
                    out += hi;
                    out += lo;
                }
            }
            return out;
        }
        case TTextEncoding::Ansi: break;
    }
    return EncodeBytes(CP_ACP, text);
}

bool ForceFolders(const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (path.empty() || DirectoryExists(path)) return true;
    const auto sep = path.find_last_of(L"\\/");
    if (sep != std::wstring::npos && sep > 0 && !ForceFolders(path.substr(0, sep))) return false;
    return ::CreateDirectoryW(path.c_str(), nullptr) || DirectoryExists(path);
}

std::wstring TryCreateTempFileBeside(const std::wstring& target, DWORD& error) {
    std::wstring folder = FileFolderOf(target);
    if (folder.empty()) folder = L".\\";
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetTempFileNameW(folder.c_str(), L"~sk", 0, name)) {
        error = ::GetLastError();
        return {};
    }
    return name;
}

std::wstring CreateTempFileBeside(const std::wstring& target) {
    DWORD error = 0;
    std::wstring name = TryCreateTempFileBeside(target, error);
    if (name.empty()) RaiseWriteError(target, SystemErrorText(error));
    return name;
}

bool TrySwapInFile(const std::wstring& fileName, const std::wstring& tempFileName, DWORD& error) {
    const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
    BOOL ok = FALSE;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        // Someone protected the file on purpose; it is theirs to unprotect.
        ::SetLastError(ERROR_ACCESS_DENIED);
    } else if (attributes != INVALID_FILE_ATTRIBUTES) {
        ok = ::ReplaceFileW(fileName.c_str(), tempFileName.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
    } else {
        ok = ::MoveFileExW(tempFileName.c_str(), fileName.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (ok) return true;
    error = ::GetLastError();
    ::DeleteFileW(tempFileName.c_str());
    return false;
}

void SwapInFile(const std::wstring& fileName, const std::wstring& tempFileName) {
    const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
    DWORD error = 0;
    if (TrySwapInFile(fileName, tempFileName, error)) return;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        RaiseWriteError(fileName, L"The file is read-only.");
    RaiseWriteError(fileName, SystemErrorText(error));
}

void ReplaceFileContent(const std::wstring& fileName, const void* data, size_t size) {
    const std::wstring temp = CreateTempFileBeside(fileName);
    {
        THandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
        if (!file || !WriteAll(file.Get(), data, size) || !::FlushFileBuffers(file.Get())) {
            const DWORD error = ::GetLastError();
            file.Reset();
            ::DeleteFileW(temp.c_str());
            RaiseWriteError(fileName, SystemErrorText(error));
        }
    }
    SwapInFile(fileName, temp);
}

}  // namespace sk
