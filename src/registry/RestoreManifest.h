// What a restore point holds: the operation, the rows the user saw, and one entry per place the
// operation changed, with its state before the first change and, once the operation completed,
// the state it left. The manifest is UTF-8 JSON (manifest.json in the point's folder), pretty-printed
// for people; registry data is kept as hex with its type, texts as UTF-8.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"
#include "registry/RegistryTree.h"

namespace sk {

enum class TRestoreEntryKind { Value, Key, File, Setting };

// One place's state at one moment. Present is false for an absent value, key, file or setting.
struct TEntryState {
    bool Present = false;
    TRegValue Value;           // Value entries: type and bytes
    TRegTree Tree;             // Key entries: the key with everything beneath it
    uint64_t FileSize = 0;     // File entries
    std::string FileSha256;    // File entries: 64 lower-case hex digits
    DWORD FileAttributes = 0;  // File entries
    std::wstring FileCopy;     // File entries, before-state: the copy's name inside the point's folder
    std::wstring Text;         // Setting entries: the value as the profile functions read it
};

struct TRestoreEntry {
    TRestoreEntryKind Kind = TRestoreEntryKind::Value;
    TRegKeyPlace Key;             // Value: the value's key; Key: the key itself
    std::wstring Name;            // Value: the value's name ("" the default value)
    std::wstring Path;            // File: the file; Setting: the settings file
    std::wstring Section;         // Setting
    std::wstring SettingKey;      // Setting
    bool SectionHadKeys = false;  // Setting: whether its section held any key before
    TEntryState Before;
    std::optional<TEntryState> After;  // recorded when the operation completed

    // For people: "HKCU\Software\...\Main [Start Page]", a file's path, "config.ini [SURFKEEP] ShieldOn".
    std::wstring Where() const;
};

// One line the user saw: what changed, its value before and after.
struct TRestoreRow {
    std::wstring Label;
    std::wstring Before;
    std::wstring After;

    bool operator==(const TRestoreRow&) const = default;
};

struct TRestoreManifest {
    std::wstring Id;         // the point's folder name
    std::wstring Operation;  // a short machine name: "repair", "plugin-removal", "restore", ...
    std::wstring Title;      // for people, in the language of the moment: "Repair"
    std::vector<std::wstring> Items;
    std::wstring Restores;  // for a restore: the id of the point it put back
    FILETIME Started{};     // UTC
    FILETIME Completed{};   // UTC, when complete
    bool Complete = false;
    std::vector<TRestoreRow> Rows;
    std::vector<TRestoreEntry> Entries;  // in the order they were recorded
};

// The manifest as pretty-printed UTF-8 JSON, and back. Reading raises TError "%s is not a restore
// point manifest" (with what is wrong) for anything it cannot take whole.
std::string ManifestToJson(const TRestoreManifest& manifest);
TRestoreManifest ManifestFromJson(const std::string& json);

// UTC times as the manifest writes them: "2026-03-14T15:30:12.045Z"; and as folder names sort:
// "20260314-153012-045".
std::wstring IsoTime(const FILETIME& time);
std::wstring SortableStamp(const FILETIME& time);
std::optional<FILETIME> ParseIsoTime(const std::wstring& text);
std::optional<FILETIME> ParseSortableStamp(const std::wstring& text);

// UTF-16 <-> UTF-8.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace sk
