#include "security/TextFile.h"

#include "base/Errors.h"
#include "base/Paths.h"

namespace sk {

namespace {

constexpr size_t kChunkSize = 64 * 1024;

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

void EncodeBytesInto(UINT codePage, std::wstring_view text, std::string& out) {
    out.clear();
    if (text.empty()) return;
    const int n =
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    if (n > 0)
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"System error " + std::to_wstring(code) + L".";
    return text;
}

// ---------------------------------------------------------------------------------------------

TTextReader::TTextReader(const std::wstring& fileName)
    : FFileName(fileName),
      FFile(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    if (!FFile) RaiseOpenError(fileName, ::GetLastError());
    FChunk.resize(kChunkSize);
    FChunkSize = ReadChunk();
    // A mark split over two reads cannot happen: the first read fills the buffer unless the file
    // is shorter than it.
    const auto* p = reinterpret_cast<const unsigned char*>(FChunk.data());
    if (FChunkSize >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        FEncoding = TTextEncoding::Utf8;
        FChunkStart = 3;
    } else if (FChunkSize >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        FEncoding = TTextEncoding::Utf16LE;
        FChunkStart = 2;
    } else if (FChunkSize >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        FEncoding = TTextEncoding::Utf16BE;
        FChunkStart = 2;
    }
}

size_t TTextReader::ReadChunk() {
    size_t filled = 0;
    while (filled < FChunk.size()) {
        DWORD read = 0;
        if (!::ReadFile(FFile.Get(), FChunk.data() + filled, static_cast<DWORD>(FChunk.size() - filled), &read,
                        nullptr))
            RaiseOpenError(FFileName, ::GetLastError());
        if (read == 0) break;
        filled += read;
    }
    return filled;
}

// ---------------------------------------------------------------------------------------------

TFileReplacement::TFileReplacement(std::wstring fileName) : FFileName(std::move(fileName)) {
    DWORD error = 0;
    FTempName = TryCreateTempFileBeside(FFileName, error);
    if (FTempName.empty()) RaiseWriteError(FFileName, SystemErrorText(error));
    FFile.Reset(::CreateFileW(FTempName.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
    if (!FFile) Fail(::GetLastError());
    FBuffer.resize(kChunkSize);
}

TFileReplacement::~TFileReplacement() {
    FFile.Reset();
    if (!FTempName.empty()) ::DeleteFileW(FTempName.c_str());
}

void TFileReplacement::Fail(DWORD error) {
    FFile.Reset();
    if (!FTempName.empty()) ::DeleteFileW(FTempName.c_str());
    FTempName.clear();
    RaiseWriteError(FFileName, SystemErrorText(error));
}

void TFileReplacement::Flush() {
    if (FUsed == 0) return;
    if (!WriteAll(FFile.Get(), FBuffer.data(), FUsed)) Fail(::GetLastError());
    FUsed = 0;
}

void TFileReplacement::Write(std::string_view bytes) {
    if (FUsed + bytes.size() > FBuffer.size()) Flush();
    if (bytes.size() >= FBuffer.size()) {
        if (!WriteAll(FFile.Get(), bytes.data(), bytes.size())) Fail(::GetLastError());
        return;
    }
    std::memcpy(FBuffer.data() + FUsed, bytes.data(), bytes.size());
    FUsed += bytes.size();
}

void TFileReplacement::WriteLine(std::wstring_view line) {
    EncodeBytesInto(CP_ACP, line, FEncoded);
    Write(FEncoded);
    Write("\r\n");
}

void TFileReplacement::Commit() {
    Flush();
    if (!::FlushFileBuffers(FFile.Get())) Fail(::GetLastError());
    FFile.Reset();
    const DWORD attributes = ::GetFileAttributesW(FFileName.c_str());
    DWORD error = 0;
    const std::wstring temp = std::exchange(FTempName, std::wstring());  // removed by TrySwapInFile on failure
    if (TrySwapInFile(FFileName, temp, error)) return;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        RaiseWriteError(FFileName, L"The file is read-only.");
    RaiseWriteError(FFileName, SystemErrorText(error));
}

TCopiedText CopyBytesInto(const std::wstring& source, TFileReplacement& out) {
    THandle file(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) RaiseOpenError(source, ::GetLastError());
    TCopiedText result;
    std::string chunk(kChunkSize, '\0');
    unsigned char last[2] = {0, 0};
    size_t total = 0, markSize = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr))
            RaiseOpenError(source, ::GetLastError());
        if (read == 0) break;
        const auto* p = reinterpret_cast<const unsigned char*>(chunk.data());
        if (total == 0) {
            if (read >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
                result.Encoding = TTextEncoding::Utf8;
                markSize = 3;
            } else if (read >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
                result.Encoding = TTextEncoding::Utf16LE;
                markSize = 2;
            } else if (read >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
                result.Encoding = TTextEncoding::Utf16BE;
                markSize = 2;
            }
        }
        if (read >= 2) {
            last[0] = p[read - 2];
            last[1] = p[read - 1];
        } else {
            last[0] = last[1];
            last[1] = p[0];
        }
        total += read;
        out.Write(std::string_view(chunk.data(), read));
    }
    result.Empty = total <= markSize;
    if (!result.Empty) {
        auto isBreak = [](unsigned char c) { return c == '\r' || c == '\n'; };
        switch (result.Encoding) {
            case TTextEncoding::Utf16LE: result.EndsWithLineBreak = isBreak(last[0]) && last[1] == 0; break;
            case TTextEncoding::Utf16BE: result.EndsWithLineBreak = last[0] == 0 && isBreak(last[1]); break;
            default: result.EndsWithLineBreak = isBreak(last[1]); break;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------

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

std::string EncodeText(std::wstring_view text, TTextEncoding encoding) {
    std::string out;
    switch (encoding) {
        case TTextEncoding::Utf8: EncodeBytesInto(CP_UTF8, text, out); break;
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE:
            out.reserve(text.size() * 2);
            for (wchar_t c : text) {
                const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
                out += encoding == TTextEncoding::Utf16LE ? lo : hi;
                out += encoding == TTextEncoding::Utf16LE ? hi : lo;
            }
            break;
        case TTextEncoding::Ansi: EncodeBytesInto(CP_ACP, text, out); break;
    }
    return out;
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

}  // namespace sk
