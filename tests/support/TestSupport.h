// Helpers shared by the tests: scratch folders, whole-file reads and writes, wide-string printing,
// the message of an error.
#pragma once

#include <windows.h>

#include <doctest.h>

#include <string>
#include <vector>

#include "PumpUntil.h"
#include "base/Errors.h"

namespace doctest {
template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& s);
};
}  // namespace doctest

namespace sktest {

std::string Narrow(const std::wstring& s);

// A fresh folder under %TEMP% (with trailing backslash), deleted with everything in it at the end.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::wstring& Path() const { return FPath; }
    std::wstring operator/(const std::wstring& name) const { return FPath + name; }

private:
    std::wstring FPath;
};

void DeleteTree(const std::wstring& folder);
std::vector<unsigned char> ReadBytes(const std::wstring& file);
void WriteBytes(const std::wstring& file, const std::vector<unsigned char>& bytes);
// Writes a UTF-16LE file with a byte-order mark.
void WriteUtf16File(const std::wstring& file, const std::wstring& text);
// Reads a text file as UTF-16LE (with BOM) or, failing that, as ANSI.
std::wstring ReadTextFile(const std::wstring& file);
// The directory of the running test executable, with trailing backslash.
std::wstring TestExeFolder();

// The message of the TError that fn raises, or "(no error)".
template <typename Fn>
std::wstring ErrorOf(Fn&& fn) {
    try {
        fn();
    } catch (const sk::TError& e) {
        return e.Message();
    }
    return L"(no error)";
}

}  // namespace sktest
