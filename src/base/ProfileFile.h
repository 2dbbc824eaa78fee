// Windows profile (INI) files with the semantics the program relies on, on Windows and Wine alike:
// an absent key reads as the default, a present empty key as empty; values are cut to 2047
// characters; a section counts as present only when it holds a key; integers read as decimal or
// "0x" hexadecimal; booleans are integers. New files are created as UTF-16LE with a byte-order
// mark so that texts in any language survive.
#pragma once

#include <string>
#include <vector>

namespace sk {

// One section of a profile file read in a single call: reads its keys under the same rules as
// TProfileFile::ReadString (blanks trimmed, one pair of enclosing quotes dropped, the first of
// repeated keys, names without regard to case, 2047 characters at most). For reading many keys at
// once: each TProfileFile read opens and parses the whole file again.
class TProfileSection {
public:
    TProfileSection() = default;
    explicit TProfileSection(const std::wstring& sectionText);

    std::wstring ReadString(const std::wstring& key, const std::wstring& def) const;
    bool Empty() const { return FEntries.empty(); }

private:
    struct TEntry {
        std::wstring Key, Value;
    };
    std::vector<TEntry> FEntries;
};

class TProfileFile {
public:
    explicit TProfileFile(std::wstring fileName) : FFileName(std::move(fileName)) {}

    const std::wstring& FileName() const { return FFileName; }

    std::wstring ReadString(const std::wstring& section, const std::wstring& key, const std::wstring& def) const;
    int ReadInteger(const std::wstring& section, const std::wstring& key, int def) const;
    bool ReadBool(const std::wstring& section, const std::wstring& key, bool def) const;
    bool SectionHasKey(const std::wstring& section) const;
    TProfileSection ReadSection(const std::wstring& section) const;

    // Raise TWriteError("Unable to write to <file>") on failure.
    void WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const;
    void WriteInteger(const std::wstring& section, const std::wstring& key, int value) const;
    void WriteBool(const std::wstring& section, const std::wstring& key, bool value) const;

    static constexpr size_t MaxValueLength = 2047;

private:
    void EnsureUnicodeFile() const;
    std::wstring FFileName;
};

// How a value is stored so that reading it gives it back whole: quoted when it begins or ends
// with a blank, or is itself enclosed in quotes.
std::wstring ProfileStoredText(const std::wstring& value);

// The integer rule of profile files: decimal, or hexadecimal after "0x"/"0X" when the text has at
// least three characters; anything else gives def.
int ParseProfileInteger(const std::wstring& text, int def);

}  // namespace sk
