#include "base/ProfileFile.h"

#include <windows.h>

#include <cwctype>
#include <vector>

#include "base/Errors.h"
#include "base/Handles.h"
#include "base/Paths.h"

namespace sk {

namespace {

// Reads a value whole, growing the buffer as needed (Windows stops at its buffer, Wine does not
// stop at 2047), so the cut to 2047 characters is ours on every platform.
std::wstring RawRead(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* def) {
    std::vector<wchar_t> buf(4096);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section, key, def, buf.data(), static_cast<DWORD>(buf.size()),
                                                   file.c_str());
        if (n + 2 < buf.size() || buf.size() >= (1u << 24)) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

// A marker that no real value holds: tells an absent key from an empty one.
constexpr wchar_t kAbsent[] = L"\x01\x02surfkeep-absent\x02\x01";

}  // namespace

int ParseProfileInteger(const std::wstring& text, int def) {
    if (text.empty()) return def;
    size_t i = 0;
    bool hex = false;
    if (text.size() >= 3 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        hex = true;
        i = 2;
    }
    bool negative = false;
    if (!hex && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        i = 1;
    }
    if (i >= text.size()) return def;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        int digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (hex && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (hex && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else return def;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0xFFFFFFFFLL) return def;
    }
    if (hex) return static_cast<int>(static_cast<unsigned int>(value));
    if (negative) value = -value;
    if (value < INT_MIN || value > INT_MAX) return def;
    return static_cast<int>(value);
}

std::wstring TProfileFile::ReadString(const std::wstring& section, const std::wstring& key,
                                      const std::wstring& def) const {
    std::wstring value = RawRead(FFileName, section.c_str(), key.c_str(), kAbsent);
    if (value == kAbsent) return def;
    if (value.size() > MaxValueLength) value.resize(MaxValueLength);
    return value;
}

int TProfileFile::ReadInteger(const std::wstring& section, const std::wstring& key, int def) const {
    std::wstring value = RawRead(FFileName, section.c_str(), key.c_str(), kAbsent);
    if (value == kAbsent) return def;
    if (value.size() > MaxValueLength) value.resize(MaxValueLength);
    // Surrounding blanks are not part of a number.
    while (!value.empty() && std::iswspace(value.back())) value.pop_back();
    size_t start = 0;
    while (start < value.size() && std::iswspace(value[start])) ++start;
    return ParseProfileInteger(value.substr(start), def);
}

bool TProfileFile::ReadBool(const std::wstring& section, const std::wstring& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TProfileFile::SectionHasKey(const std::wstring& section) const {
    // Listing the section's keys gives nothing for a missing, header-only or comments-only section.
    wchar_t buf[16] = {};
    return ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", buf, 16, FFileName.c_str()) > 0;
}

TProfileSection TProfileFile::ReadSection(const std::wstring& section) const {
    // The section comes as "key=value" lines, each ended by a null, the last by two.
    std::vector<wchar_t> buf(32768);
    for (;;) {
        const DWORD n = ::GetPrivateProfileSectionW(section.c_str(), buf.data(), static_cast<DWORD>(buf.size()),
                                                    FFileName.c_str());
        if (n + 2 < buf.size() || buf.size() >= (1u << 24)) return TProfileSection(std::wstring(buf.data(), n));
        buf.resize(buf.size() * 4);
    }
}

namespace {

bool IsProfileBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring TrimmedBlanks(const std::wstring& s) {
    size_t first = 0, last = s.size();
    while (first < last && IsProfileBlank(s[first])) ++first;
    while (last > first && IsProfileBlank(s[last - 1])) --last;
    return s.substr(first, last - first);
}

}  // namespace

TProfileSection::TProfileSection(const std::wstring& sectionText) {
    size_t start = 0;
    while (start < sectionText.size()) {
        size_t end = sectionText.find(L'\0', start);
        if (end == std::wstring::npos) end = sectionText.size();
        const std::wstring line = sectionText.substr(start, end - start);
        start = end + 1;
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        std::wstring key = TrimmedBlanks(line.substr(0, eq));
        std::wstring value = TrimmedBlanks(line.substr(eq + 1));
        if (key.empty()) continue;
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (value.size() > TProfileFile::MaxValueLength) value.resize(TProfileFile::MaxValueLength);
        FEntries.push_back({std::move(key), std::move(value)});
    }
}

std::wstring TProfileSection::ReadString(const std::wstring& key, const std::wstring& def) const {
    for (const TEntry& e : FEntries)
        if (::CompareStringOrdinal(e.Key.c_str(), static_cast<int>(e.Key.size()), key.c_str(),
                                   static_cast<int>(key.size()), TRUE) == CSTR_EQUAL)
            return e.Value;
    return def;
}

void TProfileFile::EnsureUnicodeFile() const {
    if (FileExists(FFileName)) return;
    // A new file starts with a UTF-16LE byte-order mark: the profile functions then keep writing
    // UTF-16 instead of the ANSI code page.
    THandle file(::CreateFileW(FFileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;  // the write below reports the failure
    static const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file.Get(), bom, sizeof bom, &written, nullptr);
}

std::wstring ProfileStoredText(const std::wstring& value) {
    if (value.empty()) return value;
    const auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    const auto isQuote = [](wchar_t c) { return c == L'"' || c == L'\''; };
    // The reading side trims blanks around a value and drops one pair of enclosing quotes, so a
    // value with blanks at an end (or that is itself quoted) is stored inside quotes.
    const bool needsQuotes = isBlank(value.front()) || isBlank(value.back()) ||
                             (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front());
    return needsQuotes ? L"\"" + value + L"\"" : value;
}

void TProfileFile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const {
    EnsureUnicodeFile();
    const std::wstring stored = ProfileStoredText(value);
    if (!::WritePrivateProfileStringW(section.c_str(), key.c_str(), stored.c_str(), FFileName.c_str()))
        throw TWriteError(L"Unable to write to " + FFileName);
}

void TProfileFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value) const {
    WriteString(section, key, std::to_wstring(value));
}

void TProfileFile::WriteBool(const std::wstring& section, const std::wstring& key, bool value) const {
    WriteString(section, key, value ? L"1" : L"0");
}

}  // namespace sk
