// File work of the restore points: copies that are on disk before they count, whole-file
// replacement that never leaves a half-written file, digests, folder sizes. Failures come back as
// results; the callers turn them into the user's messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace sk::restorefiles {

// What a file is: its size, SHA-256 (64 lower-case hex digits) and attributes.
struct TFileDigest {
    uint64_t Size = 0;
    std::string Sha256;
    DWORD Attributes = 0;

    bool SameContent(const TFileDigest& other) const { return Size == other.Size && Sha256 == other.Sha256; }
};

// The digest of the file at path; std::nullopt when there is no file there. Sets error (a Windows
// error code) and returns std::nullopt when the file exists but cannot be read.
std::optional<TFileDigest> DigestFile(const std::wstring& path, DWORD& error);

// Copies source to target (made anew) and flushes the copy to disk; the digest of what was copied.
// std::nullopt with error set on failure (a partial copy is removed).
std::optional<TFileDigest> CopyFlushed(const std::wstring& source, const std::wstring& target, DWORD& error);

// Writes bytes as the whole new content of target: a flushed file beside it takes target's place
// in one step, so target is either as it was or entirely new. A read-only target is replaced too.
bool ReplaceWithBytes(const std::wstring& target, const std::string& bytes, DWORD& error);
// The same with a copy of source as the new content, which must have the SHA-256 expected (else
// target is left alone and error is ERROR_FILE_CORRUPT); the result gets the given attributes.
bool ReplaceWithCopy(const std::wstring& target,
                     const std::wstring& source,
                     const std::string& expectedSha256,
                     DWORD attributes,
                     DWORD& error);

// Deletes a file, read-only or not; true when it is gone (or was never there).
bool RemoveFile(const std::wstring& path, DWORD& error);

// Makes a folder with every missing folder above it.
bool MakeFolders(const std::wstring& folder);
// Deletes a folder with everything in it; false when something stayed.
bool RemoveTree(const std::wstring& folder);
// The bytes of every file in the folder and beneath it.
uint64_t FolderBytes(const std::wstring& folder);

// The whole content of a file; std::nullopt when it cannot be read.
std::optional<std::string> ReadWhole(const std::wstring& path);

// Windows' own text for an error code, without the trailing full stop and line break.
std::wstring SystemMessage(DWORD error);

}  // namespace sk::restorefiles
