// Where the program keeps its files, the settings file and the language packs.
#pragma once

#include <string>

namespace sk {

// Process-wide values, set once by LoadSettings and read-only afterwards.
extern std::wstring ProgramFolder;    // folder of the executable, ending in a backslash
extern std::wstring ConfigFolder;     // ProgramFolder + "config\"
extern std::wstring ConfigFileName;   // ConfigFolder + "config.ini"
extern std::wstring LangsFolder;      // ProgramFolder + "langs\"
extern int LanguageId;                // a Windows language identifier, 1033 by default
extern std::wstring LangPackFileName; // the selected language's pack
extern std::wstring HelpFileName;     // the selected language's help.chm
extern std::wstring ProductVersionText;

inline constexpr const wchar_t* kLanguageSection = L"LANGUAGE";
inline constexpr const wchar_t* kLanguageKey = L"Language";
inline constexpr const wchar_t* kSettingsSection = L"SURFKEEP";
inline constexpr const wchar_t* kLangPackSection = L"Surfkeep Langs";
inline constexpr int kDefaultLanguageId = 1033;

// Settles the values above for the running executable, creating folders and the settings file as
// needed. Raises TWriteError when the settings file cannot be written.
void LoadSettings();
// The same for an executable at exePath (tests use a folder of their own).
void LoadSettingsFor(const std::wstring& exePath);
void WriteDefaultSettings();
std::wstring ReadProductVersion(const std::wstring& filePath);

// Fills the string table from the language pack, writing the pack first when it or its section
// is missing. Never fails.
void LoadStringTable();
void WriteDefaultLanguagePack();

std::wstring EscapeText(const std::wstring& text);
std::wstring UnescapeText(const std::wstring& text);

}  // namespace sk
