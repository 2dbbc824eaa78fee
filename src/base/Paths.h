// Small path helpers shared by every part of the program.
#pragma once

#include <windows.h>

#include <string>

namespace sk {

// The path unchanged if it ends in a backslash, with one appended otherwise; empty stays empty.
std::wstring WithTrailingBackslash(const std::wstring& path);
// Everything up to and including the last backslash or drive colon, with a trailing backslash.
std::wstring FileFolderOf(const std::wstring& filePath);
// The name and extension of a path, without its folder.
std::wstring FileNameOf(const std::wstring& filePath);
// The file name with its extension replaced (or appended when it has none). ext includes the dot.
// The extension of the last name in the path, dot included ("" when it has none; a dot followed by
// a blank starts no extension).
std::wstring FileExtOf(const std::wstring& fileName);
std::wstring ChangeFileExt(const std::wstring& fileName, const std::wstring& ext);
// A shell special folder by CSIDL number, with trailing backslash, or empty on failure.
std::wstring SpecialFolderPath(int csidl, bool create);
// Full path of the running executable.
std::wstring ExecutablePath();

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share\x" -> "\\server\share\x"; other paths unchanged.
std::wstring WithoutLongPathPrefix(const std::wstring& path);
// Whether path is folder itself or lies beneath it (folder with or without its trailing
// backslash), letter case ignored. An empty folder holds nothing.
bool PathIsWithin(const std::wstring& path, const std::wstring& folder);
// Where an existing file or folder really lies: its full path with links, junctions and short
// names resolved (GetFinalPathNameByHandleW), without the "\\?\" prefix; "" when it cannot be
// opened.
std::wstring FinalPathOf(const std::wstring& path);
// The same for an open handle.
std::wstring FinalPathOfHandle(HANDLE handle);

bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// Creates one folder level; failure is the caller's to ignore.
bool CreateFolder(const std::wstring& path);

}  // namespace sk
