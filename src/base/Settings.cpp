#include "base/Settings.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/StringTable.h"

namespace sk {

std::wstring ProgramFolder;
std::wstring ConfigFolder;
std::wstring ConfigFileName;
std::wstring LangsFolder;
int LanguageId = kDefaultLanguageId;
std::wstring LangPackFileName;
std::wstring HelpFileName;
std::wstring ProductVersionText;

namespace {

void CreateFolderIfMissing(const std::wstring& folder) {
    if (!DirectoryExists(folder)) CreateFolder(folder);  // a failure shows at the first write
}

}  // namespace

void WriteDefaultSettings() {
    TProfileFile(ConfigFileName).WriteInteger(kLanguageSection, kLanguageKey, kDefaultLanguageId);
}

void LoadSettings() { LoadSettingsFor(ExecutablePath()); }

void LoadSettingsFor(const std::wstring& exePath) {
    ProgramFolder = FileFolderOf(exePath);
    ConfigFolder = WithTrailingBackslash(ProgramFolder + L"config");
    CreateFolderIfMissing(ConfigFolder);

    ConfigFileName = ConfigFolder + L"config.ini";
    if (!FileExists(ConfigFileName)) WriteDefaultSettings();
    const TProfileFile settings(ConfigFileName);
    if (!settings.SectionHasKey(kLanguageSection)) WriteDefaultSettings();

    ProductVersionText = ReadProductVersion(exePath);

    LangsFolder = WithTrailingBackslash(ProgramFolder + L"langs\\");
    CreateFolderIfMissing(LangsFolder);

    LanguageId = settings.ReadInteger(kLanguageSection, kLanguageKey, kDefaultLanguageId);
    const std::wstring langFolder = LangsFolder + WithTrailingBackslash(std::to_wstring(LanguageId));
    CreateFolderIfMissing(langFolder);

    LangPackFileName = langFolder + ChangeFileExt(FileNameOf(exePath), L".ini");
    HelpFileName = langFolder + L"help.chm";
}

std::wstring ReadProductVersion(const std::wstring& filePath) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(filePath.c_str(), &handle);
    if (size == 0) return {};
    std::vector<unsigned char> buffer(size);
    if (!::GetFileVersionInfoW(filePath.c_str(), 0, size, buffer.data())) return {};

    std::wstring language, codePage;
    void* data = nullptr;
    UINT len = 0;
    if (::VerQueryValueW(buffer.data(), L"\\VarFileInfo\\Translation", &data, &len) && data && len >= 4) {
        const DWORD entry = *static_cast<const DWORD*>(data);
        wchar_t part[16];
        std::swprintf(part, 16, L"%.4x", static_cast<unsigned>(LOWORD(entry)));
        language = part;
        std::swprintf(part, 16, L"%.4x", static_cast<unsigned>(HIWORD(entry)));
        codePage = part;
    }
    const std::wstring subBlock = L"StringFileInfo\\" + language + codePage + L"\\ProductVersion";
    if (::VerQueryValueW(buffer.data(), subBlock.c_str(), &data, &len) && data && len > 0) {
        const auto* text = static_cast<const wchar_t*>(data);
        std::wstring result(text, len);
        // len counts the terminating zero where there is one.
        while (!result.empty() && result.back() == L'\0') result.pop_back();
        return result;
    }
    return {};
}

void WriteDefaultLanguagePack() {
    const TProfileFile pack(LangPackFileName);
    try {
        for (const auto& e : StringTableEntries()) {
            pack.WriteString(kLangPackSection, e.Key, EscapeText(e.BuiltIn));
            if (e.Text == &IDS_ABOUT_Close) pack.WriteString(kLangPackSection, L"ModifyTime", L"//[20100907]");
        }
    } catch (const TWriteError&) {
        // A pack that cannot be written leaves the built-in texts in place.
    }
}

void LoadStringTable() {
    if (!FileExists(LangPackFileName)) WriteDefaultLanguagePack();
    const TProfileFile pack(LangPackFileName);
    TProfileSection texts = pack.ReadSection(kLangPackSection);
    if (texts.Empty()) {
        WriteDefaultLanguagePack();
        texts = pack.ReadSection(kLangPackSection);
    }
    for (const auto& e : StringTableEntries()) *e.Text = UnescapeText(texts.ReadString(e.Key, *e.Text));
}

std::wstring EscapeText(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        switch (c) {
            case L'\r':
                if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
                out += L"\\n";
                break;
            case L'\n': out += L"\\n"; break;
            case L'\t': out += L"\\t"; break;
            case L'\b': out += L"\\b"; break;
            case L'\v': out += L"\\v"; break;
            case L'\f': out += L"\\f"; break;
            case L'\\': out += L"\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::wstring UnescapeText(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c != L'\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const wchar_t next = text[i + 1];
        switch (next) {
            case L'0': out += L'\0'; break;
            case L'n': out += L"\r\n"; break;
            case L't': out += L'\t'; break;
            case L'v': out += L'\v'; break;
            case L'b': out += L'\b'; break;
            case L'f': out += L'\f'; break;
            case L'\\': out += L'\\'; break;
            default:
                // The backslash stays; the next character is read as an ordinary one.
                out += c;
                continue;
        }
        ++i;
    }
    return out;
}

}  // namespace sk
