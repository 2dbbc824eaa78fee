// Text files as the shield reads and writes them: any of the usual encodings in and out (a file
// keeps its own), CR LF line ends on the lines it writes, and every replacement done through a
// temporary file so that a failure never leaves a file half-written or missing. Files stream through small buffers: hosts lists run to
// millions of bytes, and fresh memory is costly (under Wine, first touching a page costs tens of
// microseconds).
#pragma once

#include <windows.h>

#include <bit>
#if defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#define SK_HAVE_SSE2 1
#endif
#include <cstdint>
#include <cstring>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/Handles.h"
#include "base/Sha256.h"

namespace sk {

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The index of the first CR or LF in text from index from on, or text.size() when there is none.
// Sixteen bytes at a time where the processor has SSE2 (every x64 one), else eight: hosts lists
// run to millions of bytes.
inline size_t FindLineBreak(std::string_view text, size_t from) {
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = from;
#if defined(SK_HAVE_SSE2)
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int hit = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        if (hit) return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(hit)));
    }
#else
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    constexpr uint64_t lf = 0x0Aull * ones, cr = 0x0Dull * ones;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        const uint64_t a = word ^ lf, b = word ^ cr;
        // The lowest marked byte is an exact match; false marks only appear above a true one.
        const uint64_t hit = ((a - ones) & ~a & highs) | ((b - ones) & ~b & highs);
        if (hit) return i + static_cast<size_t>(std::countr_zero(hit) >> 3);
    }
#endif
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
    size_t i = 0;
#if defined(SK_HAVE_SSE2)
    __m128i any = _mm_setzero_si128();
    for (; i + 16 <= text.size(); i += 16)
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)));
    if (_mm_movemask_epi8(any)) return false;
#else
    uint64_t words = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        words |= word;
    }
    if (words & 0x8080808080808080ull) return false;
#endif
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

// True when no byte is a control character other than the tab, CR and LF (nor DEL): a whole
// chunk at a time, so that the lines of a clean chunk need no test of their own.
inline bool HasNoControlBytesButBreaks(std::string_view text) {
    size_t i = 0;
    const char* p = text.data();
#if defined(SK_HAVE_SSE2)
    const __m128i c1f = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  cr = _mm_set1_epi8('\r'), del = _mm_set1_epi8(0x7F);
    __m128i bad = _mm_setzero_si128();
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i allowed = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                                             _mm_cmpeq_epi8(v, cr));
        const __m128i low = _mm_andnot_si128(allowed, _mm_cmpeq_epi8(_mm_min_epu8(v, c1f), v));
        bad = _mm_or_si128(bad, _mm_or_si128(low, _mm_cmpeq_epi8(v, del)));
    }
    if (_mm_movemask_epi8(bad)) return false;
#endif
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
    }
    return true;
}

// A file buffer from the thread's spares (or a new one), and back to them.
std::string TakeBuffer();
void GiveBuffer(std::string buffer);
struct TBufferLoan {
    std::string Buffer = TakeBuffer();
    ~TBufferLoan() { GiveBuffer(std::move(Buffer)); }
};

// The line breaks of a piece of text, one after another. For bytes it marks the CR and LF of 64
// bytes at a time in one mask, so that finding the next line costs a few instructions.
template <typename Ch>
class TBreakFinder {
public:
    explicit TBreakFinder(std::basic_string_view<Ch> text) : FText(text) {}
    // The first break at or after from, or the text's size.
    size_t Next(size_t from) { return FindLineBreak(FText, from); }

private:
    std::basic_string_view<Ch> FText;
};

#if defined(SK_HAVE_SSE2)
template <>
class TBreakFinder<char> {
public:
    explicit TBreakFinder(std::string_view text) : FText(text) {}
    size_t Next(size_t from) {
        const size_t n = FText.size();
        if (from >= n) return n;
        if (from < FBlock || from >= FBlock + 64 || !FValid) Load(from & ~size_t(63));
        uint64_t mask = FMask & (~uint64_t(0) << (from - FBlock));
        while (mask == 0) {
            if (FBlock + 64 >= n) return n;
            Load(FBlock + 64);
            mask = FMask;
        }
        return FBlock + static_cast<size_t>(std::countr_zero(mask));
    }

private:
    void Load(size_t block) {
        FBlock = block;
        FValid = true;
        const char* p = FText.data() + block;
        const size_t n = FText.size() - block;
        if (n >= 64) {
            const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
            uint64_t mask = 0;
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
                const auto bits = static_cast<uint32_t>(
                    _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
                mask |= static_cast<uint64_t>(bits) << (16 * k);
            }
            FMask = mask;
        } else {
            uint64_t mask = 0;
            for (size_t i = 0; i < n; ++i)
                if (p[i] == '\n' || p[i] == '\r') mask |= uint64_t(1) << i;
            FMask = mask;
        }
    }
    std::string_view FText;
    size_t FBlock = 0;
    uint64_t FMask = 0;
    bool FValid = false;
};
#endif

// Splits text that arrives in pieces into lines at CR LF, CR or LF. A line break at the very end
// does not start another line. It counts the units (bytes or UTF-16 units) it has seen, so that a
// caller can tell where in the stream each line begins.
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
        TBreakFinder<Ch> breaks(piece);
        for (size_t i = breaks.Next(start); i < n; i = breaks.Next(start)) {
            const Ch c = piece[i];
            bool goOn;
            if (FCarry.empty()) {
                FLineStart = FBase + start;
                goOn = emit(piece.substr(start, i - start));
            } else {
                FLineStart = FCarryStart;
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
            if (!goOn) {
                FBase += n;
                return false;
            }
        }
        if (start < n) {
            if (FCarry.empty()) FCarryStart = FBase + start;
            FCarry.append(piece.data() + start, n - start);
        }
        FBase += n;
        return true;
    }
    template <typename Emit>
    void Finish(Emit&& emit) {
        if (!FCarry.empty()) {
            FLineStart = FCarryStart;
            emit(std::basic_string_view<Ch>(FCarry));
        }
        FCarry.clear();
    }
    bool HasCarry() const { return !FCarry.empty(); }
    size_t CarrySize() const { return FCarry.size(); }
    // Where the line being emitted begins, in units from the start of the stream.
    uint64_t LineStart() const { return FLineStart; }

private:
    std::basic_string<Ch> FCarry;
    bool FPendingCR = false;
    uint64_t FBase = 0;        // units fed before the current piece
    uint64_t FCarryStart = 0;  // where the carried line began
    uint64_t FLineStart = 0;
};

// How much of a file the shield reads at most: a hosts file, list or backup beyond these is
// refused whole before any of it is used. 0: no limit.
struct TReadLimits {
    uint64_t MaxBytes = 0;
    size_t MaxLineChars = 0;
};

// The file is larger than the limit.
class TFileTooLargeError : public TError {
public:
    TFileTooLargeError(const std::wstring& fileName, uint64_t limit);
    uint64_t Limit() const { return FLimit; }
    // "it is larger than 64 MB", for a sentence of the caller's.
    std::wstring Reason() const;

private:
    uint64_t FLimit;
};

// A line of the file is longer than the limit.
class TLineTooLongError : public TError {
public:
    TLineTooLongError(const std::wstring& fileName, size_t line, size_t limit);
    size_t Line() const { return FLine; }
    std::wstring Reason() const;

private:
    size_t FLine, FLimit;
};

// Reads a text file line by line. A leading UTF-8 or UTF-16 byte-order mark decides the encoding;
// without one the bytes are in the ANSI code page. Lines of plain ASCII (in the ANSI code page or
// UTF-8) reach the caller as their bytes, since they read the same in every ANSI code page; all
// others are decoded first.
class TTextReader {
public:
    // Raises TError("Cannot open file ...") and TFileTooLargeError.
    explicit TTextReader(const std::wstring& fileName, const TReadLimits& limits = {});
    ~TTextReader();
    TTextReader(const TTextReader&) = delete;
    TTextReader& operator=(const TTextReader&) = delete;

    TTextEncoding Encoding() const { return FEncoding; }
    uint64_t FileSize() const { return FFileSize; }
    // Within a ForEachLine call: the current line's number (from 1) and the byte where it begins.
    size_t LineNumber() const { return FLineNumber; }
    uint64_t LineStartByte() const;
    // Within a ForEachLine call: the current line holds no control character but tabs (its chunk
    // was tested whole). False means "not known", not "holds one".
    bool LineIsClean() const { return FClean; }

    // f(std::string_view) or f(std::wstring_view) for each line, in order; f answers false to
    // stop. Raises TError when the file cannot be read, TLineTooLongError for a line beyond the
    // limit (before the line is held whole) and TFileTooLargeError when the file grows past it.
    template <typename F>
    void ForEachLine(F&& f);

private:
    size_t ReadChunk();  // into FChunk; 0 at the end
    template <typename F>
    bool EmitBytes(std::string_view line, F& f);
    [[noreturn]] void RaiseLineTooLong(size_t line) const;

    std::wstring FFileName;
    TReadLimits FLimits;
    THandle FFile;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    uint64_t FFileSize = 0;
    uint64_t FRead = 0;
    size_t FMarkSize = 0;
    std::string FChunk;
    size_t FChunkStart = 0;  // after the byte-order mark, in the first chunk
    size_t FChunkSize = 0;
    std::wstring FDecoded;
    size_t FLineNumber = 0;
    bool FClean = false;
    const TLineSplitter<char>* FBytes = nullptr;  // the splitter of the running ForEachLine
    const TLineSplitter<wchar_t>* FUnits = nullptr;
};

// A copy of the few dozen bytes a hosts line has, without a call: two overlapping blocks of 16, 8
// or 4 bytes cover any length up to 32 exactly (nothing is read or written outside the ranges).
inline void CopySmall(char* dst, const char* src, size_t n) {
#if defined(SK_HAVE_SSE2)
    if (n >= 16 && n <= 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), b);
        return;
    }
    if (n > 32 && n <= 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), c);
        return;
    }
#endif
    if (n >= 8 && n < 16) {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + n - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + n - 8, &b, 8);
        return;
    }
    std::memcpy(dst, src, n);
}

// The file calls whose failures the shield must survive (a full disk, a replacement that fails
// half-way). The real ones by default; tests put faults in their place.
class TFileCalls {
public:
    virtual ~TFileCalls() = default;
    // target: the file whose replacement is being written.
    virtual BOOL Write(const std::wstring& target, HANDLE file, const void* data, DWORD size, DWORD* written);
    virtual BOOL Flush(const std::wstring& target, HANDLE file);
    // ReplaceFileW with a backup name.
    virtual BOOL Replace(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* aside);
    virtual BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags);
};
TFileCalls& RealFileCalls();

// Writes the new content of a file beside it and swaps it in at Commit (see TrySwapInFile). Until
// Commit the old file is untouched; a replacement dropped without Commit removes its temporary
// file. Failures raise TWriteError("Unable to write to <file>. <reason>").
class TFileReplacement {
public:
    explicit TFileReplacement(std::wstring fileName, TFileCalls* calls = nullptr);
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    // The encoding of the lines written from here on; UTF-8 and UTF-16 start with their
    // byte-order mark. Call before anything is written. ANSI by default.
    void SetEncoding(TTextEncoding encoding);
    TTextEncoding Encoding() const { return FEncoding; }

    void Write(std::string_view bytes);
    // An ASCII line, then CR LF.
    void WriteLine(std::string_view asciiLine) {
        if (FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE) return WriteWideLine(asciiLine);
        if (FUsed + asciiLine.size() + 2 > FBuffer.size()) {
            Write(asciiLine);
            Write("\r\n");
            return;
        }
        char* out = FBuffer.data() + FUsed;
        CopySmall(out, asciiLine.data(), asciiLine.size());
        out[asciiLine.size()] = '\r';
        out[asciiLine.size() + 1] = '\n';
        FUsed += asciiLine.size() + 2;
    }
    // The line in the file's encoding, then CR LF. Characters the ANSI code page cannot hold
    // become "?" (never a look-alike); callers that must not lose any check CanEncode first.
    void WriteLine(std::wstring_view line);
    // Flushes the new file to disk, then puts it in the old one's place.
    void Commit();
    const std::wstring& FileName() const { return FFileName; }

private:
    void Flush();
    void WriteWideLine(std::string_view asciiLine);
    [[noreturn]] void Fail(DWORD error);

    std::wstring FFileName;
    std::wstring FTempName;
    TFileCalls& FCalls;
    THandle FFile;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    std::string FBuffer;  // its whole size is the buffer; FUsed bytes of it are waiting
    size_t FUsed = 0;
    std::string FEncoded;
};

// Copies the file's bytes unchanged into the replacement and describes what it copied. Bytes in
// [skipBegin, skipEnd) are left out. Raises TError when the file cannot be read and
// TFileTooLargeError past limits.MaxBytes.
struct TCopiedText {
    TTextEncoding Encoding = TTextEncoding::Ansi;  // by the byte-order mark
    bool Empty = true;                             // nothing after the mark
    bool EndsWithLineBreak = false;
    uint64_t Bytes = 0;  // read from the source
    TSha256Digest Hash{};  // of the bytes copied
};
TCopiedText CopyBytesInto(const std::wstring& source, TFileReplacement& out, const TReadLimits& limits = {},
                          uint64_t skipBegin = 0, uint64_t skipEnd = 0);

// Bytes decoded by their byte-order mark, or from the ANSI code page without one; the mark itself
// is not part of the text.
std::wstring DecodeText(const unsigned char* data, size_t size, TTextEncoding* encoding = nullptr);

// Text in the given encoding (no byte-order mark).
std::string EncodeText(std::wstring_view text, TTextEncoding encoding);
// True when the encoding holds every character of the text exactly (UTF-8 and UTF-16 always do).
bool CanEncode(std::wstring_view text, TTextEncoding encoding);
// The encoding a file's byte-order mark names (ANSI without one, or when the file cannot be read).
TTextEncoding EncodingOfFile(const std::wstring& fileName);

// Puts a finished temporary file, which lies in the target's folder, in the target's place:
// ReplaceFileW with the old file set aside under AsideNameOf(target), which keeps the file's
// security settings; a move where no file exists yet. When the replacement fails half-way, the
// new file is moved into place or the old one put back, so the target never goes missing. On
// failure the temporary file is removed and false comes back with the platform's error code.
bool TrySwapInFile(const std::wstring& fileName, const std::wstring& tempFileName, DWORD& error,
                   TFileCalls& calls = RealFileCalls());
// Where TrySwapInFile keeps the old file while it swaps: "<file>.sk-replaced".
std::wstring AsideNameOf(const std::wstring& fileName);
// After a swap that was cut off (the process ended between its two steps): puts the old file back
// when the target is missing, and removes a stale aside copy otherwise.
void RecoverInterruptedSwap(const std::wstring& fileName);
// Removes the temporary files ("~sk*.tmp") a process that was cut off left in the folder.
void RemoveLeftoverTempFiles(const std::wstring& folder);

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
    FLineNumber = 0;
    FClean = false;
    const size_t maxLine = FLimits.MaxLineChars;
    // Counts the line and refuses one beyond the limit, before the caller sees it.
    auto counted = [&](auto line) {
        ++FLineNumber;
        if (maxLine && line.size() > maxLine) RaiseLineTooLong(FLineNumber);
        return f(line);
    };
    if (FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE) {
        const bool little = FEncoding == TTextEncoding::Utf16LE;
        TLineSplitter<wchar_t> splitter;
        FUnits = &splitter;
        struct TReset {
            const TLineSplitter<wchar_t>*& P;
            ~TReset() { P = nullptr; }
        } reset{FUnits};
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
            if (!splitter.Feed(std::wstring_view(units), counted)) return;
            if (maxLine && splitter.CarrySize() > maxLine) RaiseLineTooLong(FLineNumber + 1);
        }
        splitter.Finish(counted);
        return;
    }
    TLineSplitter<char> splitter;
    FBytes = &splitter;
    struct TReset {
        const TLineSplitter<char>*& P;
        ~TReset() { P = nullptr; }
    } reset{FBytes};
    // Lines from plain ASCII chunks need no test of their own. A line begun in an earlier chunk
    // counts as ASCII only when that chunk was (erring towards testing).
    bool ascii = true;
    auto emit = [&](std::string_view line) { return ascii ? counted(line) : EmitBytes(line, counted); };
    // A UTF-8 character takes up to four bytes: the carried bytes of a line within the limit of
    // characters stay below four times that.
    const size_t maxCarry = maxLine * 4;
    for (size_t n = FChunkSize; n > 0; n = ReadChunk()) {
        const std::string_view piece(FChunk.data() + FChunkStart, n - FChunkStart);
        FChunkStart = 0;
        const bool carried = splitter.HasCarry();
        ascii = IsAscii(piece) && (ascii || !carried);
        FClean = ascii && HasNoControlBytesButBreaks(piece) && (FClean || !carried);
        if (!splitter.Feed(piece, emit)) return;
        if (maxLine && splitter.CarrySize() > maxCarry) RaiseLineTooLong(FLineNumber + 1);
    }
    splitter.Finish(emit);
}

}  // namespace sk
