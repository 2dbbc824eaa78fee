// The whole catalogue on the real registry: break every scanned item at once, scan, repair all 22
// items, scan again. The keys it touches are copied first and put back at the end.
#include "TestSupport.h"

#include <algorithm>

#include "RepairTestSupport.h"
#include "base/StringTable.h"
#include "repair/IERepairFuncs.h"

using namespace sk;
using namespace sktest;
using namespace sktest::repairkeys;

namespace {

const std::wstring OETitleKey = L"Identities\\{E2E-1}\\Software\\Microsoft\\Outlook Express\\5.0";

const std::vector<TRegFact> Clean = CatalogueSettingsRemoved();

// One or more broken settings in each of the 20 scanned items, and the texts of items 5 and 15.
const std::vector<TRegFact> Broken = {
    Text(HKCU, Main, L"Start Page", L"http://start.example/"),                // 0
    Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1),                     // 1
    Text(HKLM, Search, L"SearchAssistant", L"http://search.example/"),        // 2
    Text(HKCU, Scopes, L"DefaultScope", EvilScope),                           // 2
    Text(HKCU, Scopes + L"\\" + EvilScope, L"DisplayName", L"Evil search"),   // 2
    Text(HKCU, Scopes + L"\\" + BingScopeGuid, L"DisplayName", L"Old Bing"),  // 2
    Text(HKCU, Main, L"Window Title", L"Hijacked Explorer"),                  // 3
    Num(HKCU, DesktopIcons, IEDesktopIconGuid, 1),                            // 4
    Text(HKCU, Toolbar, L"LinksFolderName", L"Sponsored links"),              // 5
    Num(HKCU, IERestrictions, L"NoViewSource", 1),                            // 6
    Num(HKCU, Zone3, L"1803", 3),                                             // 7
    Text(HKCU, Toolbar, L"BrandBitmap", L"C:\\brand.bmp"),                    // 8
    Num(HKCU, IEControlPanel, L"GeneralTab", 1),                              // 9
    Val(HKLM, Ratings, L"Key", RegBytes({0x41, 0, 0x42, 0})),                 // 9
    Num(HKLM, Ratings + L"\\.Default", L"Level", 3),                          // 9
    Num(HKCU, ExplorerPolicies, L"NoFileMenu", 1),                            // 10
    Num(HKCU, SystemPolicies, L"DisableRegistryTools", 1),                    // 11
    Num(HKCU, ExplorerPolicies, L"NoRun", 1),                                 // 12
    Num(HKCU, ExplorerPolicies, L"NoFolderOptions", 1),                       // 13
    Num(HKCU, ExplorerPolicies, L"NoNetHood", 1),                             // 14
    Text(HKCU, International, L"sLongDate", L"'Hacked' dddd"),                // 15
    Num(HKCU, ExplorerPolicies, L"NoDesktop", 1),                             // 16
    Val(HKCU, ExplorerPolicies, L"NoDrives", RegBytes({4, 0, 0, 0})),         // 17
    Text(HKCR, L".reg", L"", L"txtfile"),                                     // 18
    Text(HKCR, ExeCommand, L"", L"evil.exe \"%1\" %*"),                       // 19
    Text(HKLM, WinLogon, L"LegalNoticeCaption", L"Notice"),                   // 20
    Text(HKLM, WinLogon, L"LegalNoticeText", L"Buy now"),                     // 20
    Text(HKCU, OETitleKey, L"WindowTitle", L"Hijacked Mail"),                 // 21
};

std::vector<TRepairRow> ExpectedRows() {
    const std::wstring& dis = IDS_IEREPAIR_Repaired_Disabled;
    const std::wstring& en = IDS_IEREPAIR_Repaired_Enabled;
    const std::wstring& def = IDS_IEREPAIR_Repaired_Default;
    return {
        {IDS_IEREPAIR_Repaired_HomePage, L"http://start.example/", L"about:blank"},
        {IDS_IEREPAIR_Repaired_WEPopuMenu, dis, en},
        {IDS_IEREPAIR_Repaired_SearchEngine, L"http://search.example/", DefaultSearchAssistantUrl},
        {IDS_IEREPAIR_Repaired_SearchEngine, L"Evil search", def},
        {IDS_IEREPAIR_Repaired_IETitle, L"Hijacked Explorer", def},
        {IDS_IEREPAIR_Repaired_IEOnDesktop, IDS_IEREPAIR_Repaired_Lost, IDS_IEREPAIR_Repaired_Repaired},
        {IDS_IEREPAIR_Repaired_LinkFolder, L"Sponsored links", def},
        {IDS_IEREPAIR_Repaired_IEViewSource, dis, en},
        {IDS_IEREPAIR_Repaired_FileDownload, dis, en},
        {IDS_IEREPAIR_Repaired_ToolbarBrandImage, L"C:\\brand.bmp", def},
        {IDS_IEREPAIR_Repaired_InternetOptionsGeneral, dis, en},
        {IDS_IEREPAIR_Repaired_IEContentPassword, en, dis},
        {IDS_IEREPAIR_Repaired_FileMenu, dis, en},
        {IDS_IEREPAIR_Repaired_RegistryEditor, dis, en},
        {IDS_IEREPAIR_Repaired_RunInStartMemu, dis, en},
        {IDS_IEREPAIR_Repaired_FolderOptions, dis, en},
        {IDS_IEREPAIR_Repaired_MyNetworkPlace, IDS_IEREPAIR_Repaired_Lost, IDS_IEREPAIR_Repaired_Repaired},
        {IDS_IEREPAIR_Repaired_FileProperties, L"'Hacked' dddd", IDS_IEREPAIR_Repaired_Cleared},
        {IDS_IEREPAIR_Repaired_Desktop, dis, en},
        {IDS_IEREPAIR_Repaired_HiddenDrives, dis, en},
        {L".reg", L"txtfile", L"regfile"},
        {IDS_IEREPAIR_Repaired_ExeFile, L"evil.exe \"%1\" %*", def},
        {IDS_IEREPAIR_Repaired_LogOnAdvertise, L"Notice: Buy now", IDS_IEREPAIR_Repaired_Cleared},
        {IDS_IEREPAIR_Repaired_OETitle, L"Hijacked Mail", def},
    };
}

std::vector<int> ScanAll() {
    std::vector<int> needing;
    for (const auto& item : RepairItems())
        if (item.Scanned && ItemNeedsRepair(item.Index)) needing.push_back(item.Index);
    return needing;
}

const std::vector<std::pair<TRegRoot, std::wstring>> TouchedKeys = {
    {HKCU, Main},      {HKCU, Scopes},        {HKCU, Toolbar},
    {HKCU, HideIcons}, {HKCU, UserPolicies},  {HKCU, L"Software\\Policies"},
    {HKCU, Zone3},     {HKCU, International}, {HKCU, L"Identities"},
    {HKLM, Search},    {HKLM, Ratings},       {HKLM, WinLogon},
    {HKCR, L".reg"},   {HKCR, ExeCommand},    {HKU, DefaultHiveScopes},
};

void BreakRepairAndRescan() {
    ApplyFacts(WindowsRegistryBackend(), Clean);
    ApplyFacts(WindowsRegistryBackend(), Broken);

    std::vector<int> scanned;
    for (const auto& item : RepairItems())
        if (item.Scanned) scanned.push_back(item.Index);
    REQUIRE(scanned.size() == 20);
    CHECK(ScanAll() == scanned);

    std::vector<TRepairRow> rows;
    TRepairLevel level = TRepairLevel::None;
    for (int i = 0; i < RepairItemCount; ++i) level = std::max(level, RepairItem(i, rows));
    CHECK(rows == ExpectedRows());
    CHECK(level == TRepairLevel::LogOff);

    CHECK(ScanAll().empty());
    CheckFacts(WindowsRegistryBackend(), {Text(HKCU, Main, L"Start Page", L"about:blank"),
                                          NoVal(HKCU, Main, L"Window Title"),
                                          Text(HKLM, Search, L"SearchAssistant", DefaultSearchAssistantUrl),
                                          Text(HKCU, Scopes, L"DefaultScope", BingScopeGuid),
                                          Text(HKCU, Scopes + L"\\" + BingScopeGuid, L"DisplayName", L"Bing"),
                                          Text(HKCU, Scopes + L"\\" + BingScopeGuid, L"URL", BingSearchUrl),
                                          Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0),
                                          NoVal(HKCU, Toolbar, L"LinksFolderName"),
                                          Num(HKCU, Zone3, L"1803", 0),
                                          Key(HKLM, Ratings),
                                          NoVal(HKLM, Ratings, L"Key"),
                                          NoKey(HKLM, Ratings + L"\\.Default"),
                                          Num(HKCU, SystemPolicies, L"DisableRegistryTools", 0),
                                          NoVal(HKCU, ExplorerPolicies, L"NoDrives"),
                                          NoVal(HKCU, International, L"sLongDate"),
                                          Text(HKCR, L".reg", L"", L"regfile"),
                                          Text(HKCR, ExeCommand, L"", L"\"%1\" %*"),
                                          Text(HKLM, WinLogon, L"LegalNoticeCaption", L""),
                                          Text(HKLM, WinLogon, L"LegalNoticeText", L""),
                                          NoVal(HKCU, OETitleKey, L"WindowTitle")});

    // A second run finds nothing to do beyond the two items without a check.
    std::vector<TRepairRow> again;
    for (int i = 0; i < RepairItemCount; ++i) RepairItem(i, again);
    CHECK(again == std::vector<TRepairRow>{{IDS_IEREPAIR_Repaired_LinkFolder, L"", IDS_IEREPAIR_Repaired_Default},
                                           {IDS_IEREPAIR_Repaired_FileProperties, L"", IDS_IEREPAIR_Repaired_Cleared}});
}

}  // namespace

TEST_CASE("end to end on the real registry: every scanned item broken, found, repaired, in order") {
    const auto before = DumpRealKeys(TouchedKeys);
    REQUIRE_FALSE(before.empty());
    {
        TRegistrySnapshot saved(TouchedKeys);
        BreakRepairAndRescan();
    }
    // The machine's own keys are back as they were.
    CHECK(DumpRealKeys(TouchedKeys) == before);
}

TEST_CASE("end to end on the real registry: a policy stored as bytes leaves its item not checkable, the rest marked") {
    const auto before = DumpRealKeys(TouchedKeys);
    {
        TRegistrySnapshot saved(TouchedKeys);
        ApplyFacts(WindowsRegistryBackend(), Clean);
        ApplyFacts(WindowsRegistryBackend(), {Val(HKCU, ExplorerPolicies, L"NoViewContextMenu", RegBytes({1, 0, 0, 0})),
                                              Text(HKCU, Main, L"Window Title", L"Hijacked Explorer"),
                                              Num(HKCU, IERestrictions, L"NoBrowserOptions", 1)});
        const std::vector<TRepairCheck> checks = CheckAllItems();
        std::vector<int> needing, unreadable;
        for (int i = 0; i < RepairItemCount; ++i) {
            if (checks[static_cast<size_t>(i)].State == TRepairState::NeedsRepair) needing.push_back(i);
            if (checks[static_cast<size_t>(i)].State == TRepairState::NotCheckable) unreadable.push_back(i);
        }
        // Items whose healthy state is a value the cleaned keys no longer hold need repair as well.
        CHECK(std::find(needing.begin(), needing.end(), 3) != needing.end());
        CHECK(std::find(needing.begin(), needing.end(), 9) != needing.end());
        CHECK(unreadable == std::vector<int>{1});
        CHECK(RepairScanProblems(checks).find(L"Invalid data type for 'NoViewContextMenu'") != std::wstring::npos);

        std::vector<TRepairRow> rows;
        RepairItem(1, rows);
        CHECK(rows == std::vector<TRepairRow>{{IDS_IEREPAIR_Repaired_WEPopuMenu, IDS_IEREPAIR_Repaired_Disabled,
                                               L"Failed: Invalid data type for 'NoViewContextMenu'", true}});
        rows.clear();
        CHECK(RepairItem(3, rows) == TRepairLevel::RestartIE);
        CHECK(rows.size() == 1);
    }
    CHECK(DumpRealKeys(TouchedKeys) == before);
}
