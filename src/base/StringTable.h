// The string table: one process-wide text per key, loaded once at start from the language pack.
// Other parts read the texts by key (IDS_SURFKEEP_FormTitle, ...); nothing changes them after start.
#pragma once

#include <span>
#include <string>

#include "base/StringTable.inc"

#define SURFKEEP_DECLARE_STRING(key, text) extern std::wstring key;
SURFKEEP_STRING_TABLE(SURFKEEP_DECLARE_STRING)
#undef SURFKEEP_DECLARE_STRING

namespace sk {

struct TStringEntry {
    const wchar_t* Key;
    std::wstring* Text;
    const wchar_t* BuiltIn;
};

// All entries, in pack order (the written pack puts "ModifyTime" after the About group).
std::span<const TStringEntry> StringTableEntries();
// Puts every entry back to its built-in text.
void ResetStringTable();

}  // namespace sk
