#include "security/TextFile.h"

#include <mutex>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/StringTable.h"

namespace sk {

namespace {

// Files go through buffers of 1 MiB: each read or write call is a round trip to the Wine server
// (tens of microseconds), so a 10 MB list in 64 KiB pieces would spend milliseconds on calls alone.
// A few buffers are kept for the next file, since fresh memory is costly as well. One pool for the
// process, behind a lock (the download's worker checks lists too); not per thread, since objects
// with destructors kept per thread are not reliably destroyed on threads the platform started.
constexpr size_t kChunkSize = 1024 * 1024;

struct TBufferPool {
    std::mutex Lock;
    std::vector<std::string> Free;
};

TBufferPool& Pool() {
    static TBufferPool pool;
    return pool;
}

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

void EncodeBytesInto(UINT codePage, std::wstring_view text, std::string& out, DWORD flags = 0) {
    out.clear();
    if (text.empty()) return;
    const int n =
        ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    if (n > 0)
        ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                              nullptr);
}

bool WriteAll(TFileCalls& calls, const std::wstring& target, HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!calls.Write(target, file, data, chunk, &written)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// The encoding named by a byte-order mark at the start of data, and the mark's size.
TTextEncoding EncodingOfMark(const unsigned char* p, size_t n, size_t& markSize) {
    markSize = 0;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        markSize = 3;
        return TTextEncoding::Utf8;
    }
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        markSize = 2;
        return TTextEncoding::Utf16LE;
    }
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        markSize = 2;
        return TTextEncoding::Utf16BE;
    }
    return TTextEncoding::Ansi;
}

uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

std::wstring Megabytes(uint64_t bytes) {
    const uint64_t mb = bytes / (1024 * 1024);
    if (mb * 1024 * 1024 == bytes) return std::to_wstring(mb);
    return FormatNumber2(static_cast<double>(bytes) / (1024.0 * 1024.0), false);
}

}  // namespace

std::string TakeBuffer() {
    TBufferPool& pool = Pool();
    std::string buffer;
    {
        const std::lock_guard<std::mutex> lock(pool.Lock);
        if (!pool.Free.empty()) {
            buffer = std::move(pool.Free.back());
            pool.Free.pop_back();
        }
    }
    buffer.resize(kChunkSize);
    return buffer;
}

void GiveBuffer(std::string buffer) {
    if (buffer.size() != kChunkSize) return;
    TBufferPool& pool = Pool();
    const std::lock_guard<std::mutex> lock(pool.Lock);
    if (pool.Free.size() < 4) pool.Free.push_back(std::move(buffer));
}

TTextReader::~TTextReader() { GiveBuffer(std::move(FChunk)); }

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

TFileTooLargeError::TFileTooLargeError(const std::wstring& fileName, uint64_t limit)
    : TError(Fmt(IDS_IESECURITY_FileTooLarge, fileName, Megabytes(limit))), FLimit(limit) {}

std::wstring TFileTooLargeError::Reason() const { return Fmt(IDS_IESECURITY_ReasonTooLarge, Megabytes(FLimit)); }

TLineTooLongError::TLineTooLongError(const std::wstring& fileName, size_t line, size_t limit)
    : TError(Fmt(IDS_IESECURITY_LineTooLong, fileName, line, limit)), FLine(line), FLimit(limit) {}

std::wstring TLineTooLongError::Reason() const { return Fmt(IDS_IESECURITY_ReasonLineTooLong, FLine, FLimit); }

// ---------------------------------------------------------------------------------------------

TTextReader::TTextReader(const std::wstring& fileName, const TReadLimits& limits)
    : FFileName(fileName),
      FLimits(limits),
      FFile(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    if (!FFile) RaiseOpenError(fileName, ::GetLastError());
    FFileSize = SizeOf(FFile.Get());
    if (FLimits.MaxBytes && FFileSize > FLimits.MaxBytes) throw TFileTooLargeError(fileName, FLimits.MaxBytes);
    FChunk = TakeBuffer();
    FChunkSize = ReadChunk();
    // A mark split over two reads cannot happen: the first read fills the buffer unless the file
    // is shorter than it.
    FEncoding = EncodingOfMark(reinterpret_cast<const unsigned char*>(FChunk.data()), FChunkSize, FMarkSize);
    FChunkStart = FMarkSize;
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
    FRead += filled;
    // The file grew after it was opened: what was measured is what counts.
    if (FLimits.MaxBytes && FRead > FLimits.MaxBytes) throw TFileTooLargeError(FFileName, FLimits.MaxBytes);
    return filled;
}

uint64_t TTextReader::LineStartByte() const {
    if (FUnits) return FMarkSize + 2 * FUnits->LineStart();
    if (FBytes) return FMarkSize + FBytes->LineStart();
    return FMarkSize;
}

void TTextReader::RaiseLineTooLong(size_t line) const { throw TLineTooLongError(FFileName, line, FLimits.MaxLineChars); }

// ---------------------------------------------------------------------------------------------

BOOL TFileCalls::Write(const std::wstring&, HANDLE file, const void* data, DWORD size, DWORD* written) {
    return ::WriteFile(file, data, size, written, nullptr);
}
BOOL TFileCalls::Flush(const std::wstring&, HANDLE file) { return ::FlushFileBuffers(file); }
BOOL TFileCalls::Replace(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* aside) {
    return ::ReplaceFileW(replaced, replacement, aside, REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                          nullptr, nullptr);
}
BOOL TFileCalls::Move(const wchar_t* from, const wchar_t* to, DWORD flags) { return ::MoveFileExW(from, to, flags); }

TFileCalls& RealFileCalls() {
    static TFileCalls calls;
    return calls;
}

// ---------------------------------------------------------------------------------------------

TFileReplacement::TFileReplacement(std::wstring fileName, TFileCalls* calls)
    : FFileName(std::move(fileName)), FCalls(calls ? *calls : RealFileCalls()) {
    DWORD error = 0;
    FTempName = TryCreateTempFileBeside(FFileName, error);
    if (FTempName.empty()) RaiseWriteError(FFileName, SystemErrorText(error));
    FFile.Reset(::CreateFileW(FTempName.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
    if (!FFile) Fail(::GetLastError());
    FBuffer = TakeBuffer();
}

TFileReplacement::~TFileReplacement() {
    FFile.Reset();
    if (!FTempName.empty()) ::DeleteFileW(FTempName.c_str());
    GiveBuffer(std::move(FBuffer));
}

void TFileReplacement::Fail(DWORD error) {
    FFile.Reset();
    if (!FTempName.empty()) ::DeleteFileW(FTempName.c_str());
    FTempName.clear();
    RaiseWriteError(FFileName, SystemErrorText(error));
}

void TFileReplacement::SetEncoding(TTextEncoding encoding) {
    FEncoding = encoding;
    switch (encoding) {
        case TTextEncoding::Utf8: Write("\xEF\xBB\xBF"); break;
        case TTextEncoding::Utf16LE: Write("\xFF\xFE"); break;
        case TTextEncoding::Utf16BE: Write("\xFE\xFF"); break;
        case TTextEncoding::Ansi: break;
    }
}

void TFileReplacement::Flush() {
    if (FUsed == 0) return;
    if (!FFile) RaiseWriteError(FFileName, SystemErrorText(ERROR_INVALID_HANDLE));
    if (!WriteAll(FCalls, FFileName, FFile.Get(), FBuffer.data(), FUsed)) Fail(::GetLastError());
    FUsed = 0;
}

void TFileReplacement::Write(std::string_view bytes) {
    if (FUsed + bytes.size() > FBuffer.size()) Flush();
    if (bytes.size() >= FBuffer.size()) {
        if (!WriteAll(FCalls, FFileName, FFile.Get(), bytes.data(), bytes.size())) Fail(::GetLastError());
        return;
    }
    std::memcpy(FBuffer.data() + FUsed, bytes.data(), bytes.size());
    FUsed += bytes.size();
}

void TFileReplacement::WriteWideLine(std::string_view asciiLine) {
    const bool little = FEncoding == TTextEncoding::Utf16LE;
    FEncoded.clear();
    for (char c : asciiLine) {
        FEncoded += little ? c : '\0';
        FEncoded += little ? '\0' : c;
    }
    FEncoded += little ? std::string_view("\r\0\n\0", 4) : std::string_view("\0\r\0\n", 4);
    Write(FEncoded);
}

void TFileReplacement::WriteLine(std::wstring_view line) {
    FEncoded = EncodeText(line, FEncoding);
    FEncoded += EncodeText(L"\r\n", FEncoding);
    Write(FEncoded);
}

void TFileReplacement::Commit() {
    Flush();
    if (!FCalls.Flush(FFileName, FFile.Get())) Fail(::GetLastError());
    FFile.Reset();
    const DWORD attributes = ::GetFileAttributesW(FFileName.c_str());
    DWORD error = 0;
    const std::wstring temp = std::exchange(FTempName, std::wstring());  // removed by TrySwapInFile on failure
    if (TrySwapInFile(FFileName, temp, error, FCalls)) return;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        RaiseWriteError(FFileName, L"The file is read-only.");
    RaiseWriteError(FFileName, SystemErrorText(error));
}

TCopiedText CopyBytesInto(const std::wstring& source, TFileReplacement& out, const TReadLimits& limits,
                          uint64_t skipBegin, uint64_t skipEnd) {
    THandle file(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) RaiseOpenError(source, ::GetLastError());
    if (limits.MaxBytes && SizeOf(file.Get()) > limits.MaxBytes) throw TFileTooLargeError(source, limits.MaxBytes);
    TCopiedText result;
    TSha256 hash;
    TBufferLoan loan;
    std::string& chunk = loan.Buffer;
    unsigned char last[2] = {0, 0};
    size_t markSize = 0;
    uint64_t total = 0, kept = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr))
            RaiseOpenError(source, ::GetLastError());
        if (read == 0) break;
        if (limits.MaxBytes && total + read > limits.MaxBytes) throw TFileTooLargeError(source, limits.MaxBytes);
        const auto* p = reinterpret_cast<const unsigned char*>(chunk.data());
        if (total == 0) result.Encoding = EncodingOfMark(p, read, markSize);
        // The part of this chunk outside the skipped range, in one or two pieces.
        const uint64_t begin = total, end = total + read;
        auto keep = [&](uint64_t from, uint64_t to) {
            if (to <= from) return;
            const auto* q = p + (from - begin);
            const size_t n = static_cast<size_t>(to - from);
            out.Write(std::string_view(reinterpret_cast<const char*>(q), n));
            hash.Update(q, n);
            if (n >= 2) {
                last[0] = q[n - 2];
                last[1] = q[n - 1];
            } else {
                last[0] = last[1];
                last[1] = q[0];
            }
            kept += n;
        };
        if (skipEnd <= skipBegin || skipEnd <= begin || skipBegin >= end) {
            keep(begin, end);
        } else {
            keep(begin, std::max(begin, skipBegin));
            keep(std::min(end, skipEnd), end);
        }
        total = end;
    }
    result.Bytes = total;
    result.Hash = hash.Final();
    result.Empty = kept <= markSize;
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
        case TTextEncoding::Ansi: EncodeBytesInto(CP_ACP, text, out, WC_NO_BEST_FIT_CHARS); break;
    }
    return out;
}

bool CanEncode(std::wstring_view text, TTextEncoding encoding) {
    if (encoding != TTextEncoding::Ansi || text.empty()) return true;
    bool ascii = true;
    for (wchar_t c : text)
        if (c >= 0x80) ascii = false;
    if (ascii) return true;
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}

TTextEncoding EncodingOfFile(const std::wstring& fileName) {
    const THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    unsigned char mark[3] = {};
    DWORD read = 0;
    if (!file || !::ReadFile(file.Get(), mark, sizeof mark, &read, nullptr)) return TTextEncoding::Ansi;
    size_t markSize = 0;
    return EncodingOfMark(mark, read, markSize);
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

std::wstring AsideNameOf(const std::wstring& fileName) { return fileName + L".sk-replaced"; }

bool TrySwapInFile(const std::wstring& fileName, const std::wstring& tempFileName, DWORD& error, TFileCalls& calls) {
    const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (calls.Move(tempFileName.c_str(), fileName.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
        error = ::GetLastError();
        ::DeleteFileW(tempFileName.c_str());
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        // Someone protected the file on purpose; it is theirs to unprotect.
        error = ERROR_ACCESS_DENIED;
        ::DeleteFileW(tempFileName.c_str());
        return false;
    }
    const std::wstring aside = AsideNameOf(fileName);
    ::DeleteFileW(aside.c_str());  // a stale copy of an earlier, finished swap
    if (calls.Replace(fileName.c_str(), tempFileName.c_str(), aside.c_str())) {
        ::DeleteFileW(aside.c_str());
        return true;
    }
    error = ::GetLastError();
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (and any failure after the first step): the old file went
    // aside and the new one stayed where it was. Move the new one into place, or else put the old
    // one back: the file must never go missing.
    if (::GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (calls.Move(tempFileName.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ::DeleteFileW(aside.c_str());
            return true;
        }
        if (!calls.Move(aside.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) &&
            ::CopyFileW(aside.c_str(), fileName.c_str(), TRUE))
            ::DeleteFileW(aside.c_str());
    }
    ::DeleteFileW(tempFileName.c_str());
    return false;
}

void RecoverInterruptedSwap(const std::wstring& fileName) {
    const std::wstring aside = AsideNameOf(fileName);
    if (::GetFileAttributesW(aside.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (::GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES)
        ::MoveFileExW(aside.c_str(), fileName.c_str(), MOVEFILE_WRITE_THROUGH);
    else
        ::DeleteFileW(aside.c_str());
}

void RemoveLeftoverTempFiles(const std::wstring& folder) {
    if (folder.empty()) return;
    const std::wstring base = WithTrailingBackslash(folder);
    WIN32_FIND_DATAW fd;
    const TFindHandle find(::FindFirstFileW((base + L"~sk*.tmp").c_str(), &fd));
    if (!find) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((base + fd.cFileName).c_str());
    } while (::FindNextFileW(find.Get(), &fd));
}

}  // namespace sk
