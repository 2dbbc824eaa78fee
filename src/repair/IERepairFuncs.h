// The repair catalogue: 22 items of Internet Explorer and shell settings that malware and policy
// tweaks commonly break. Every check and repair reads the registry afresh through its own
// TRegistryStore; the catalogue keeps no state and shows nothing.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace sk {

// What the user has to do for a repair to take effect; a run keeps the highest.
enum class TRepairLevel { None = 0, RestartIE = 1, LogOff = 2 };

// One line of the result list.
struct TRepairRow {
    std::wstring Label;
    std::wstring Before;
    std::wstring After;

    bool operator==(const TRepairRow&) const = default;
};

// One line of the repair list, fixed at build time.
struct TRepairItem {
    int Index;                 // 0..21, the item's identity and its place in the list
    int Group;                 // 0 "Internet Explorer" (items 0-10), 1 "System" (items 11-21)
    const wchar_t* TextKey;    // string-table key of the line's text
    const std::wstring* Text;  // that string-table entry, so a language pack applies
    bool Scanned;              // false for items 5 and 15: they are repaired only when ticked
};

inline constexpr int RepairItemCount = 22;

std::span<const TRepairItem> RepairItems();
const TRepairItem& RepairItemAt(int index);  // std::out_of_range outside 0..21

// Whether any setting of a scanned item deviates from its healthy state (false for items 5 and 15).
// A value of the wrong type raises the registry store's TError; it is never swallowed.
bool ItemNeedsRepair(int index, TRegistryBackend& backend = WindowsRegistryBackend());

// Repairs every setting of the item that needs it (items 5 and 15: always), appending one row per
// repaired setting, and returns the highest level among them. Rows are built from the target
// values, not read back. A setting whose key cannot be opened for the repair is left as it is and
// yields no row. On a TError the settings repaired so far stay repaired and their rows stay in rows.
TRepairLevel RepairItem(int index, std::vector<TRepairRow>& rows, TRegistryBackend& backend = WindowsRegistryBackend());

// The healthy values that the repairs write.
inline constexpr const wchar_t* DefaultSearchAssistantUrl =
    L"http://ie.search.msn.com/{SUB_RFC1766}/srchasst/srchasst.htm";
inline constexpr const wchar_t* BingScopeGuid = L"{0633EE93-D776-472f-A0FF-E1416B8B2E3A}";
inline constexpr const wchar_t* BingDisplayName = L"Bing";
inline constexpr const wchar_t* BingFaviconUrl = L"http://www.bing.com/favicon.ico";
inline constexpr const wchar_t* BingSuggestionsUrl =
    L"http://api.bing.com/qsml.aspx?query={searchTerms}&maxwidth={ie:maxWidth}&rowheight={ie:rowHeight}"
    L"&sectionHeight={ie:sectionHeight}&FORM=IE8SSC&market={language}";
inline constexpr const wchar_t* BingSearchUrl =
    L"http://www.bing.com/search?q={searchTerms}&src=IE-SearchBox&FORM=IE8SRC";
inline constexpr const wchar_t* IEDesktopIconGuid = L"{871C5380-42A0-1069-A2EA-08002B30309D}";

}  // namespace sk
