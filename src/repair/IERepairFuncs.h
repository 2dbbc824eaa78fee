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

// One line of the result list. A repair step that failed says so: its After is "Failed: <reason>".
struct TRepairRow {
    std::wstring Label;
    std::wstring Before;
    std::wstring After;
    bool Failed = false;

    bool operator==(const TRepairRow&) const = default;
};

// What a check of one item found.
enum class TRepairState {
    InOrder,
    NeedsRepair,   // at least one setting deviates (others may still have been unreadable)
    NotCheckable,  // nothing deviates, but some setting could not be read
};

struct TRepairCheck {
    TRepairState State = TRepairState::InOrder;
    // What could not be read, one text per setting (the registry's message, "Invalid data type
    // for 'NoViewContextMenu'"), in the order of the item's settings.
    std::vector<std::wstring> Unreadable;
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

// Checks every setting of a scanned item, each on its own: a setting that cannot be read (a value of
// an unexpected type) is noted and the others are still checked. Items 5 and 15 are in order.
// Raises nothing for what the registry holds.
TRepairCheck CheckItem(int index, TRegistryBackend& backend = WindowsRegistryBackend());
// CheckItem for all 22 items, in index order.
std::vector<TRepairCheck> CheckAllItems(TRegistryBackend& backend = WindowsRegistryBackend());
// The list line of an item after a check: "[Need to repair] " and a blank before the text for an
// item that needs repair, "[Cannot be checked: <first reason>] " and a blank for one that could not
// be checked, the plain text otherwise.
std::wstring RepairLineText(const TRepairItem& item, const TRepairCheck& check);
// What the error box shows after a scan, "" when every setting could be read: a heading, then one
// line per setting that could not be read, "<item text>: <reason>".
std::wstring RepairScanProblems(const std::vector<TRepairCheck>& checks);

// Repairs every setting of the item that needs it (items 5 and 15: always), appending one row per
// setting it acted on, and returns the highest level among those it repaired. Rows are built from
// the target values, not read back. A step that fails (a key that cannot be opened or created, a
// value that cannot be deleted or written, a value that cannot be read) yields a failed row (label,
// before text, "Failed: <reason>") and raises no level; the item's other settings are still
// repaired. A row whose label is blank (only blanks and control characters, as a language pack may
// make it) is dropped, unless it reports a failure: then the value's name stands for the label.
// Nothing the registry holds makes this raise.
TRepairLevel RepairItem(int index, std::vector<TRepairRow>& rows, TRegistryBackend& backend = WindowsRegistryBackend());
// How many rows report a failure.
int FailedRowCount(const std::vector<TRepairRow>& rows);
// The closing message of a repair run: the restart or log-off request for the level, and how many
// steps failed; "" when neither applies.
std::wstring RepairClosingText(TRepairLevel level, int failures);

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
