// Text files as the shield reads and writes them: any of the usual encodings in, the ANSI code page
// with CR LF line ends out, and every replacement done through a temporary file so that a failure
// never leaves a file half-written. Files stream through small buffers: hosts lists run to
// millions of bytes, and fresh memory is costly (under Wine, first touching a page costs tens of
// microseconds).
#pragma once

#include <windows.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "base/Handles.h"

namespace sk {

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The index of the first CR or LF in text from index from on, or text.size() when there is none.
// Bytes are tested eight at a time: hosts lists run to millions of bytes.
inline size_t FindLineBreak(std::string_view text, size_t from) {
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    constexpr uint64_t lf = 0x0Aull * ones, cr = 0x0Dull * ones;
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = from;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        const uint64_t a = word ^ lf, b = word ^ cr;
        // The lowest marked byte is an exact match; false marks only appear above a true one.
        const uint64_t hit = ((a - ones) & ~a & highs) | ((b - ones) & ~b & highs);
        if (hit) return i + static_cast<size_t>(std::countr_zero(hit) >> 3);
    }
    for (; i < n; ++i)
        if (p[i] == '\n' || p[i] == '\r') return i;
    return n;
}

inline size_t FindLineBreak(std::wstring_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i)
        if (text[i] == L'\n' || text[i] == L'\r') return i;
    return text.size();
}

// True when every byte is below 0x80.
inline bool IsAscii(std::string_view text) {
    constexpr uint64_t highs = 0x8080808080808080ull;
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        any |= word;
    }
    for (; i < text.size(); ++i) any |= static_cast<unsigned char>(text[i]);
    return (any & highs) == 0 && (any & 0x80) == 0;
}

// Splits text that arrives in pieces into lines at CR LF, CR or LF. A line break at the very end
// does not start another line.
template <typename Ch>
class TLineSplitter {
public:
    // emit(std::basic_string_view<Ch>) answers false to stop; Feed then answers false too.
    template <typename Emit>
    bool Feed(std::basic_string_view<Ch> piece, Emit&& emit) {
        size_t start = 0;
        const size_t n = piece.size();
        if (FPendingCR && n > 0) {
            FPendingCR = false;
            if (piece[0] == Ch('\n')) start = 1;
        }
        for (size_t i = FindLineBreak(piece, start); i < n; i = FindLineBreak(piece, start)) {
            const Ch c = piece[i];
            bool goOn;
            if (FCarry.empty()) {
                goOn = emit(piece.substr(start, i - start));
            } else {
                FCarry.append(piece.data() + start, i - start);
                goOn = emit(std::basic_string_view<Ch>(FCarry));
                FCarry.clear();
            }
            if (c == Ch('\r')) {
                if (i + 1 < n) {
                    if (piece[i + 1] == Ch('\n')) ++i;
                } else {
                    FPendingCR = true;
                }
            }
            start = i + 1;
            if (!goOn) return false;
        }
        FCarry.append(piece.data() + start, n - start);
        return true;
    }
    template <typename Emit>
    void Finish(Emit&& emit) {
        if (!FCarry.empty()) emit(std::basic_string_view<Ch>(FCarry));
        FCarry.clear();
    }
    bool HasCarry() const { return !FCarry.empty(); }

private:
    std::basic_string<Ch> FCarry;
    bool FPendingCR = false;
};

// Reads a text file line by line. A leading UTF-8 or UTF-16 byte-order mark decides the encoding;
// without one the bytes are in the ANSI code page. Lines of plain ASCII (in the ANSI code page or
// UTF-8) reach the caller as their bytes, since they read the same in every ANSI code page; all
// others are decoded first.
class TTextReader {
public:
    // Raises TError("Cannot open file ...").
    explicit TTextReader(const std::wstring& fileName);

    TTextEncoding Encoding() const { return FEncoding; }

    // f(std::string_view) or f(std::wstring_view) for each line, in order; f answers false to
    // stop. Raises TError when the file cannot be read.
    template <typename F>
    void ForEachLine(F&& f);

private:
    size_t ReadChunk();  // into FChunk; 0 at the end
    template <typename F>
    bool EmitBytes(std::string_view line, F& f);

    std::wstring FFileName;
    THandle FFile;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    std::string FChunk;
    size_t FChunkStart = 0;  // after the byte-order mark, in the first chunk
    size_t FChunkSize = 0;
    std::wstring FDecoded;
};

// Writes the new content of a file beside it and swaps it in at Commit: ReplaceFileW keeps the
// file's security settings, a move is used where no file exists yet. Until Commit the old file is
// untouched; a replacement dropped without Commit removes its temporary file. Failures raise
// TWriteError("Unable to write to <file>. <reason>").
class TFileReplacement {
public:
    explicit TFileReplacement(std::wstring fileName);
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    void Write(std::string_view bytes);
    // The line in the ANSI code page, then CR LF.
    void WriteLine(std::string_view asciiLine) {
        if (FUsed + asciiLine.size() + 2 > FBuffer.size()) {
            Write(asciiLine);
            Write("\r\n");
            return;
        }
        std::memcpy(FBuffer.data() + FUsed, asciiLine.data(), asciiLine.size());
        FUsed += asciiLine.size();
        FBuffer[FUsed++] = '\r';
        FBuffer[FUsed++] = '\n';
    }
    void WriteLine(std::wstring_view line);
    // Flushes the new file to disk, then puts it in the old one's place.
    void Commit();

private:
    void Flush();
    [[noreturn]] void Fail(DWORD error);

    std::wstring FFileName;
    std::wstring FTempName;
    THandle FFile;
    std::string FBuffer;  // its whole size is the buffer; FUsed bytes of it are waiting
    size_t FUsed = 0;
    std::string FEncoded;
};

// Copies the file's bytes unchanged into the replacement and describes what it copied.
struct TCopiedText {
    TTextEncoding Encoding = TTextEncoding::Ansi;  // by the byte-order mark
    bool Empty = true;                             // nothing after the mark
    bool EndsWithLineBreak = false;
};
TCopiedText CopyBytesInto(const std::wstring& source, TFileReplacement& out);

// Bytes decoded by their byte-order mark, or from the ANSI code page without one; the mark itself
// is not part of the text.
std::wstring DecodeText(const unsigned char* data, size_t size, TTextEncoding* encoding = nullptr);

// Text in the given encoding (no byte-order mark).
std::string EncodeText(std::wstring_view text, TTextEncoding encoding);

// Puts a finished temporary file, which lies in the target's folder, in the target's place. On
// failure the temporary file is removed and false comes back with the platform's error code.
bool TrySwapInFile(const std::wstring& fileName, const std::wstring& tempFileName, DWORD& error);

// A fresh, empty file with a unique name in the target's folder; empty with the platform's error
// code when the folder does not take one.
std::wstring TryCreateTempFileBeside(const std::wstring& target, DWORD& error);

// Creates the folder and any missing parents. True when the folder exists afterwards.
bool ForceFolders(const std::wstring& folder);

// The system's text for an error code, without the trailing line break ("Access denied.").
std::wstring SystemErrorText(DWORD code);

// ---------------------------------------------------------------------------------------------

template <typename F>
bool TTextReader::EmitBytes(std::string_view line, F& f) {
    bool ascii = true;
    for (const char c : line) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return f(line);
    const UINT codePage = FEncoding == TTextEncoding::Utf8 ? CP_UTF8 : CP_ACP;
    const int n = ::MultiByteToWideChar(codePage, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    FDecoded.resize(static_cast<size_t>(n));
    if (n > 0) ::MultiByteToWideChar(codePage, 0, line.data(), static_cast<int>(line.size()), FDecoded.data(), n);
    return f(std::wstring_view(FDecoded));
}

template <typename F>
void TTextReader::ForEachLine(F&& f) {
    if (FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE) {
        const bool little = FEncoding == TTextEncoding::Utf16LE;
        TLineSplitter<wchar_t> splitter;
        std::wstring units;
        int oddByte = -1;  // a byte whose partner is in the next chunk
        for (size_t n = FChunkSize; n > 0; n = ReadChunk()) {
            units.clear();
            size_t i = FChunkStart;
            FChunkStart = 0;
            auto unit = [little](unsigned char a, unsigned char b) {
                return static_cast<wchar_t>(little ? (a | (b << 8)) : ((a << 8) | b));
            };
            if (oddByte >= 0 && i < n) {
                units += unit(static_cast<unsigned char>(oddByte), static_cast<unsigned char>(FChunk[i]));
                oddByte = -1;
                ++i;
            }
            for (; i + 1 < n; i += 2)
                units += unit(static_cast<unsigned char>(FChunk[i]), static_cast<unsigned char>(FChunk[i + 1]));
            if (i < n) oddByte = static_cast<unsigned char>(FChunk[i]);
            if (!splitter.Feed(std::wstring_view(units), f)) return;
        }
        splitter.Finish(f);
        return;
    }
    TLineSplitter<char> splitter;
    // Lines from plain ASCII chunks need no test of their own. A line begun in an earlier chunk
    // counts as ASCII only when that chunk was (erring towards testing).
    bool ascii = true;
    auto emit = [&](std::string_view line) { return ascii ? f(line) : EmitBytes(line, f); };
    for (size_t n = FChunkSize; n > 0; n = ReadChunk()) {
        const std::string_view piece(FChunk.data() + FChunkStart, n - FChunkStart);
        FChunkStart = 0;
        ascii = IsAscii(piece) && (ascii || !splitter.HasCarry());
        if (!splitter.Feed(piece, emit)) return;
    }
    splitter.Finish(emit);
}

}  // namespace sk
