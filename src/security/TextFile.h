// Whole text files as the shield reads and writes them: any of the usual encodings in, the ANSI
// code page with CR LF line ends out, and every replacement done through a temporary file so that
// a failure never leaves a file half-written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// A decoded file and its lines. The views point into Text, so the object must not be copied
// while the views are in use (moving keeps them valid).
struct TTextLines {
    std::wstring Text;
    std::vector<std::wstring_view> Lines;
    TTextEncoding Encoding = TTextEncoding::Ansi;
};

// The whole file, or its first maxBytes bytes. Raises TError("Cannot open file ...") when it cannot
// be opened or read.
std::vector<unsigned char> ReadFileBytes(const std::wstring& fileName, size_t maxBytes = SIZE_MAX);

// A leading UTF-8 or UTF-16 byte-order mark decides the encoding; without one the bytes are in the
// ANSI code page. The mark itself is not part of the text.
std::wstring DecodeText(const unsigned char* data, size_t size, TTextEncoding* encoding = nullptr);

// Lines split at CR LF, CR or LF. A line break at the very end does not start another line.
void SplitLines(std::wstring_view text, std::vector<std::wstring_view>& lines);

// ReadFileBytes + DecodeText + SplitLines.
TTextLines ReadTextLines(const std::wstring& fileName);

// Each line in the ANSI code page followed by CR LF; no byte-order mark.
std::string EncodeAnsiLines(const std::vector<std::wstring_view>& lines);
std::string EncodeAnsiLines(const std::vector<std::wstring>& lines);

// Text in the given encoding (no byte-order mark).
std::string EncodeText(std::wstring_view text, TTextEncoding encoding);

// Replaces the file's content with the bytes: they go to a new file in the same folder, are
// flushed to disk, and only then take the file's place (ReplaceFileW keeps the file's security
// settings; a move is used where no file exists yet). On any failure the old file stays as it was,
// the temporary file is removed and TWriteError("Unable to write to ...") is raised.
void ReplaceFileContent(const std::wstring& fileName, const void* data, size_t size);

// Like ReplaceFileContent, for a finished temporary file that lies in the target's folder. The
// temporary file is removed when the swap fails.
void SwapInFile(const std::wstring& fileName, const std::wstring& tempFileName);

// The same without raising: false with the platform's error code in error.
bool TrySwapInFile(const std::wstring& fileName, const std::wstring& tempFileName, DWORD& error);

// A fresh, empty file with a unique name in the target's folder, for SwapInFile. Raises
// TWriteError naming target when the folder does not take it.
std::wstring CreateTempFileBeside(const std::wstring& target);
// The same without raising: empty with the platform's error code in error.
std::wstring TryCreateTempFileBeside(const std::wstring& target, DWORD& error);

// Creates the folder and any missing parents. True when the folder exists afterwards.
bool ForceFolders(const std::wstring& folder);

// The system's text for an error code, without the trailing line break ("Access denied.").
std::wstring SystemErrorText(DWORD code);

}  // namespace sk
