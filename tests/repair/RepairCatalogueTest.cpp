// The repair catalogue against the in-memory registry: one row per case, with the registry before,
// the expected scan answer, the rows and level of a repair, and the registry afterwards.
#include "TestSupport.h"

#include <algorithm>
#include <optional>

#include "RepairTestSupport.h"
#include "base/StringTable.h"
#include "repair/IERepairFuncs.h"

using namespace sk;
using namespace sktest;
using namespace sktest::repairkeys;

namespace {

const std::wstring OEPath(const std::wstring& identity) {
    return L"Identities\\" + identity + L"\\Software\\Microsoft\\Outlook Express\\5.0";
}
const std::wstring UserScopes(const std::wstring& hive) {
    return hive + L"\\Software\\Microsoft\\Internet Explorer\\SearchScopes";
}
const std::wstring BingKey = Scopes + L"\\" + BingScopeGuid;
const std::wstring BingUpperF = L"{0633EE93-D776-472F-A0FF-E1416B8B2E3A}";

// The items that an empty registry has in need: a missing desktop-icon value, the missing IE
// control-panel policy key, and the missing .reg and .exe associations.
const std::vector<TRegFact> Healthy = {
    Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0),
    Key(HKCU, IEControlPanel),
    Text(HKCR, L".reg", L"", L"regfile"),
    Text(HKCR, ExeCommand, L"", L"\"%1\" %*"),
};

std::vector<TRegFact> HealthyWith(std::vector<TRegFact> more) {
    std::vector<TRegFact> all = Healthy;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

TRegValue Bytes(std::vector<uint8_t> b) { return RegBytes(b); }

const std::wstring& Dis() { return IDS_IEREPAIR_Repaired_Disabled; }
const std::wstring& En() { return IDS_IEREPAIR_Repaired_Enabled; }
const std::wstring& Def() { return IDS_IEREPAIR_Repaired_Default; }
const std::wstring& Cleaned() { return IDS_IEREPAIR_Repaired_Cleared; }

struct TCatalogueCase {
    const char* Name;
    std::vector<TRegFact> Before;
    int Index;
    std::optional<bool> Needs;  // none for the items without a check
    std::vector<TRepairRow> Rows;
    TRepairLevel Level;
    std::vector<TRegFact> After;
    bool InOrderAfter = true;
};

std::vector<TCatalogueCase> CatalogueCases() {
    return {
        {"start page About:Blank is in order (case ignored)",
         HealthyWith({Text(HKCU, Main, L"Start Page", L"About:Blank")}),
         0,
         false,
         {},
         TRepairLevel::None,
         {Text(HKCU, Main, L"Start Page", L"About:Blank")}},
        {"no Main key: item 0 in order", Healthy, 0, false, {}, TRepairLevel::None, {NoKey(HKCU, Main)}},
        {"pages redirected: each page row, in order",
         HealthyWith({Text(HKCU, Main, L"Default_Page_URL", L"http://d.example/"),
                      Text(HKCU, Main, L"Start Page", L"http://s.example/")}),
         0,
         true,
         {{IDS_IEREPAIR_Repaired_HomePage, L"http://s.example/", L"about:blank"},
          {IDS_IEREPAIR_Repaired_DefaultPage, L"http://d.example/", L"about:blank"}},
         TRepairLevel::RestartIE,
         {Text(HKCU, Main, L"Start Page", L"about:blank"), Text(HKCU, Main, L"Default_Page_URL", L"about:blank"),
          NoVal(HKCU, Main, L"Local Page")}},
        {"second default pages a and b",
         HealthyWith({Val(HKCU, Main, L"Default_Secondary_Page_URL", RegTextList({L"a", L"b"}))}),
         0,
         true,
         {{IDS_IEREPAIR_Repaired_SecondDefaultPage, L"a;b;", Cleaned()}},
         TRepairLevel::RestartIE,
         {Val(HKCU, Main, L"Default_Secondary_Page_URL", RegTextList({}))}},
        {"shell context menu policy",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1)}),
         1,
         true,
         {{IDS_IEREPAIR_Repaired_WEPopuMenu, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoViewContextMenu")}},
        {"policy at 0 is in order",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 0)}),
         1,
         false,
         {},
         TRepairLevel::None,
         {Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 0)}},
        {"search assistant and custom search redirected",
         HealthyWith({Text(HKLM, Search, L"SearchAssistant", L"http://evil.example/"),
                      Text(HKLM, Search, L"CustomizeSearch", DefaultSearchAssistantUrl)}),
         2,
         true,
         {{IDS_IEREPAIR_Repaired_SearchEngine, L"http://evil.example/", DefaultSearchAssistantUrl}},
         TRepairLevel::RestartIE,
         {Text(HKLM, Search, L"SearchAssistant", DefaultSearchAssistantUrl),
          Text(HKLM, Search, L"CustomizeSearch", DefaultSearchAssistantUrl)}},
        {"default scope differing only in the case of one letter, Bing scope present",
         HealthyWith({Text(HKCU, Scopes, L"DefaultScope", BingUpperF), Text(HKCU, BingKey, L"DisplayName", L"Bing"),
                      Text(HKCU, BingKey, L"URL", L"http://old.example/")}),
         2,
         true,
         {{IDS_IEREPAIR_Repaired_SearchEngine, L"Bing", Def()}},
         TRepairLevel::RestartIE,
         {Text(HKCU, Scopes, L"DefaultScope", BingScopeGuid), Text(HKCU, BingKey, L"URL", BingSearchUrl),
          Text(HKCU, BingKey, L"FaviconURLFallback", BingFaviconUrl),
          Text(HKCU, BingKey, L"SuggestionsURLFallback", BingSuggestionsUrl)}},
        {"another default scope without the Bing scope is in order",
         HealthyWith({Text(HKCU, Scopes, L"DefaultScope", L"{EVIL}"), Text(HKCU, Scopes + L"\\{EVIL}", L"URL", L"x")}),
         2,
         false,
         {},
         TRepairLevel::None,
         {Text(HKCU, Scopes, L"DefaultScope", L"{EVIL}"), NoKey(HKCU, BingKey)}},
        {"two user hives with a default scope: only the first is rewritten",
         HealthyWith({Text(HKCU, Scopes, L"DefaultScope", L"{EVIL}"),
                      Text(HKCU, Scopes + L"\\{EVIL}", L"DisplayName", L"Evil search"), Key(HKCU, BingKey),
                      Text(HKU, UserScopes(L"S-1-5-21-1"), L"DefaultScope", L"{EVIL}"),
                      Text(HKU, UserScopes(L"S-1-5-21-2"), L"DefaultScope", L"{EVIL}"), Key(HKU, L".Default")}),
         2,
         true,
         {{IDS_IEREPAIR_Repaired_SearchEngine, L"Evil search", Def()}},
         TRepairLevel::RestartIE,
         {Text(HKCU, Scopes, L"DefaultScope", BingScopeGuid), Text(HKCU, BingKey, L"DisplayName", L"Bing"),
          Text(HKU, UserScopes(L"S-1-5-21-1"), L"DefaultScope", BingScopeGuid),
          Text(HKU, UserScopes(L"S-1-5-21-1") + L"\\" + BingScopeGuid, L"URL", BingSearchUrl),
          Text(HKU, UserScopes(L"S-1-5-21-2"), L"DefaultScope", L"{EVIL}"),
          NoKey(HKU, UserScopes(L"S-1-5-21-2") + L"\\" + BingScopeGuid)}},
        {"window title compared exactly",
         HealthyWith({Text(HKCU, Main, L"Window Title", L"windows internet explorer")}),
         3,
         true,
         {{IDS_IEREPAIR_Repaired_IETitle, L"windows internet explorer", Def()}},
         TRepairLevel::RestartIE,
         {NoVal(HKCU, Main, L"Window Title")}},
        {"either healthy window title is in order",
         HealthyWith({Text(HKCU, Main, L"Window Title", L"Microsoft Internet Explorer")}),
         3,
         false,
         {},
         TRepairLevel::None,
         {Text(HKCU, Main, L"Window Title", L"Microsoft Internet Explorer")}},
        {"desktop icon value absent",
         {Key(HKCU, IEControlPanel)},
         4,
         true,
         {{IDS_IEREPAIR_Repaired_IEOnDesktop, IDS_IEREPAIR_Repaired_Lost, IDS_IEREPAIR_Repaired_Repaired}},
         TRepairLevel::None,
         {Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0)}},
        {"desktop icon hidden",
         HealthyWith({Num(HKCU, DesktopIcons, IEDesktopIconGuid, 1)}),
         4,
         true,
         {{IDS_IEREPAIR_Repaired_IEOnDesktop, IDS_IEREPAIR_Repaired_Lost, IDS_IEREPAIR_Repaired_Repaired}},
         TRepairLevel::None,
         {Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0)}},
        {"links text absent: still one row",
         Healthy,
         5,
         std::nullopt,
         {{IDS_IEREPAIR_Repaired_LinkFolder, L"", Def()}},
         TRepairLevel::RestartIE,
         {NoVal(HKCU, Toolbar, L"LinksFolderName")}},
        {"links text renamed",
         HealthyWith({Text(HKCU, Toolbar, L"LinksFolderName", L"Sponsored")}),
         5,
         std::nullopt,
         {{IDS_IEREPAIR_Repaired_LinkFolder, L"Sponsored", Def()}},
         TRepairLevel::RestartIE,
         {NoVal(HKCU, Toolbar, L"LinksFolderName")}},
        {"view source",
         HealthyWith({Num(HKCU, IERestrictions, L"NoViewSource", 1)}),
         6,
         true,
         {{IDS_IEREPAIR_Repaired_IEViewSource, Dis(), En()}},
         TRepairLevel::RestartIE,
         {NoVal(HKCU, IERestrictions, L"NoViewSource")}},
        {"file download disabled: set to 0, not deleted",
         HealthyWith({Num(HKCU, Zone3, L"1803", 3)}),
         7,
         true,
         {{IDS_IEREPAIR_Repaired_FileDownload, Dis(), En()}},
         TRepairLevel::RestartIE,
         {Num(HKCU, Zone3, L"1803", 0)}},
        {"toolbar pictures: empty brand bitmap in order, others cleared",
         HealthyWith({Text(HKCU, Toolbar, L"BrandBitmap", L""), Text(HKCU, Toolbar, L"BackBitmapIE5", L"c:\\bg.bmp"),
                      Text(HKCU, Toolbar, L"SmallBitmap", L"c:\\s.bmp")}),
         8,
         true,
         {{IDS_IEREPAIR_Repaired_ToolbarBackImage, L"c:\\bg.bmp", Cleaned()},
          {IDS_IEREPAIR_Repaired_ToolbarSmallImage, L"c:\\s.bmp", Def()}},
         TRepairLevel::RestartIE,
         {Text(HKCU, Toolbar, L"BrandBitmap", L""), NoVal(HKCU, Toolbar, L"BackBitmapIE5"),
          NoVal(HKCU, Toolbar, L"SmallBitmap")}},
        {"empty brand bitmap alone is in order",
         HealthyWith({Text(HKCU, Toolbar, L"BrandBitmap", L"")}),
         8,
         false,
         {},
         TRepairLevel::None,
         {}},
        {"no IE control panel key: custom level, the key is made",
         {Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0)},
         9,
         true,
         {{IDS_IEREPAIR_Repaired_IECustomDefineSecurity, Dis(), En()}},
         TRepairLevel::None,
         {Key(HKCU, IEControlPanel), NoVal(HKCU, IEControlPanel, L"SecChangeSettings")}},
        {"only the General tab hidden: one row, level 0",
         HealthyWith({Num(HKCU, IEControlPanel, L"GeneralTab", 1)}),
         9,
         true,
         {{IDS_IEREPAIR_Repaired_InternetOptionsGeneral, Dis(), En()}},
         TRepairLevel::None,
         {NoVal(HKCU, IEControlPanel, L"GeneralTab")}},
        {"Internet Options blocked too: level 1, rows in order",
         HealthyWith({Num(HKCU, IEControlPanel, L"Proxy", 1), Num(HKCU, IERestrictions, L"NoBrowserOptions", 1),
                      Num(HKCU, IEControlPanel, L"SecChangeSettings", 1), Num(HKCU, IEControlPanel, L"Settings", 2)}),
         9,
         true,
         {{IDS_IEREPAIR_Repaired_InternetOptions, Dis(), En()},
          {IDS_IEREPAIR_Repaired_IECustomDefineSecurity, Dis(), En()},
          {IDS_IEREPAIR_Repaired_IEProxySetting, Dis(), En()},
          {IDS_IEREPAIR_Repaired_IESettings, Dis(), En()}},
         TRepairLevel::RestartIE,
         {NoVal(HKCU, IERestrictions, L"NoBrowserOptions"), NoVal(HKCU, IEControlPanel, L"Proxy"),
          NoVal(HKCU, IEControlPanel, L"SecChangeSettings"), NoVal(HKCU, IEControlPanel, L"Settings")}},
        {"content advisor on: the Ratings key is made anew, empty",
         HealthyWith({Val(HKLM, Ratings, L"Key", Bytes({0x41, 0, 0x42, 0})), Num(HKLM, Ratings, L"Other", 1),
                      Key(HKLM, Ratings + L"\\.Default")}),
         9,
         true,
         {{IDS_IEREPAIR_Repaired_IEContentPassword, En(), Dis()}},
         TRepairLevel::None,
         {Key(HKLM, Ratings), NoVal(HKLM, Ratings, L"Key"), NoVal(HKLM, Ratings, L"Other"),
          NoKey(HKLM, Ratings + L"\\.Default")}},
        {"content advisor key starting with a zero unit is in order",
         HealthyWith({Val(HKLM, Ratings, L"Key", Bytes({0, 0, 0x41, 0}))}),
         9,
         false,
         {},
         TRepairLevel::None,
         {Val(HKLM, Ratings, L"Key", Bytes({0, 0, 0x41, 0}))}},
        {"content advisor key of one non-zero byte needs repair",
         HealthyWith({Val(HKLM, Ratings, L"Key", Bytes({7}))}),
         9,
         true,
         {{IDS_IEREPAIR_Repaired_IEContentPassword, En(), Dis()}},
         TRepairLevel::None,
         {NoVal(HKLM, Ratings, L"Key")}},
        {"File menu",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoFileMenu", 1)}),
         10,
         true,
         {{IDS_IEREPAIR_Repaired_FileMenu, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoFileMenu")}},
        {"registry editor: the value stays at 0",
         HealthyWith({Num(HKCU, SystemPolicies, L"DisableRegistryTools", 1)}),
         11,
         true,
         {{IDS_IEREPAIR_Repaired_RegistryEditor, Dis(), En()}},
         TRepairLevel::None,
         {Num(HKCU, SystemPolicies, L"DisableRegistryTools", 0)}},
        {"Start menu: rows in the item's order",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoTrayContextMenu", 1), Num(HKCU, ExplorerPolicies, L"NoRun", 1),
                      Num(HKCU, ExplorerPolicies, L"NoFind", 0)}),
         12,
         true,
         {{IDS_IEREPAIR_Repaired_RunInStartMemu, Dis(), En()}, {IDS_IEREPAIR_Repaired_PopuMenuOfTaskbar, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoRun"), NoVal(HKCU, ExplorerPolicies, L"NoTrayContextMenu"),
          Num(HKCU, ExplorerPolicies, L"NoFind", 0)}},
        {"folder options",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoFolderOptions", 1)}),
         13,
         true,
         {{IDS_IEREPAIR_Repaired_FolderOptions, Dis(), En()}},
         TRepairLevel::LogOff,
         {}},
        {"network places icon",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoNetHood", 1)}),
         14,
         true,
         {{IDS_IEREPAIR_Repaired_MyNetworkPlace, IDS_IEREPAIR_Repaired_Lost, IDS_IEREPAIR_Repaired_Repaired}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoNetHood")}},
        {"long date absent: still one row",
         Healthy,
         15,
         std::nullopt,
         {{IDS_IEREPAIR_Repaired_FileProperties, L"", Cleaned()}},
         TRepairLevel::None,
         {}},
        {"long date with a message in it",
         HealthyWith({Text(HKCU, International, L"sLongDate", L"'Hacked' dddd")}),
         15,
         std::nullopt,
         {{IDS_IEREPAIR_Repaired_FileProperties, L"'Hacked' dddd", Cleaned()}},
         TRepairLevel::None,
         {NoVal(HKCU, International, L"sLongDate")}},
        {"desktop",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoDesktop", 1)}),
         16,
         true,
         {{IDS_IEREPAIR_Repaired_Desktop, Dis(), En()}},
         TRepairLevel::LogOff,
         {}},
        {"hidden drives as bytes 04 00 00 00",
         HealthyWith({Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes({4, 0, 0, 0}))}),
         17,
         true,
         {{IDS_IEREPAIR_Repaired_HiddenDrives, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoDrives")}},
        {"hidden drives 00 00 01 00: first unit zero, in order",
         HealthyWith({Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes({0, 0, 1, 0}))}),
         17,
         false,
         {},
         TRepairLevel::None,
         {Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes({0, 0, 1, 0}))}},
        {"hidden drives of one non-zero byte",
         HealthyWith({Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes({4}))}),
         17,
         true,
         {{IDS_IEREPAIR_Repaired_HiddenDrives, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoDrives")}},
        {"hidden drives empty",
         HealthyWith({Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes({}))}),
         17,
         false,
         {},
         TRepairLevel::None,
         {}},
        {"hidden drives as the usual REG_DWORD mask",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoDrives", 0x10000)}),
         17,
         true,
         {{IDS_IEREPAIR_Repaired_HiddenDrives, Dis(), En()}},
         TRepairLevel::LogOff,
         {NoVal(HKCU, ExplorerPolicies, L"NoDrives")}},
        {"hidden drives REG_DWORD 0 is in order",
         HealthyWith({Num(HKCU, ExplorerPolicies, L"NoDrives", 0)}),
         17,
         false,
         {},
         TRepairLevel::None,
         {}},
        {"no .reg key: made with regfile",
         {Num(HKCU, DesktopIcons, IEDesktopIconGuid, 0)},
         18,
         true,
         {{L".reg", L"", L"regfile"}},
         TRepairLevel::None,
         {Text(HKCR, L".reg", L"", L"regfile")}},
        {".reg opened as text",
         HealthyWith({Text(HKCR, L".reg", L"", L"txtfile")}),
         18,
         true,
         {{L".reg", L"txtfile", L"regfile"}},
         TRepairLevel::None,
         {Text(HKLM, L"Software\\Classes\\.reg", L"", L"regfile")}},
        {"exe command without quotes",
         HealthyWith({Text(HKCR, ExeCommand, L"", L"%1 %*")}),
         19,
         true,
         {{IDS_IEREPAIR_Repaired_ExeFile, L"%1 %*", Def()}},
         TRepairLevel::None,
         {Text(HKCR, ExeCommand, L"", L"\"%1\" %*")}},
        {"logon notice: empty caption, text Welcome",
         HealthyWith(
             {Text(HKLM, WinLogon, L"LegalNoticeCaption", L""), Text(HKLM, WinLogon, L"LegalNoticeText", L"Welcome")}),
         20,
         true,
         {{IDS_IEREPAIR_Repaired_LogOnAdvertise, L": Welcome", Cleaned()}},
         TRepairLevel::LogOff,
         {Text(HKLM, WinLogon, L"LegalNoticeCaption", L""), Text(HKLM, WinLogon, L"LegalNoticeText", L"")}},
        {"logon notice: caption only; the absent text is not made",
         HealthyWith({Text(HKLM, WinLogon, L"LegalNoticeCaption", L"Buy")}),
         20,
         true,
         {{IDS_IEREPAIR_Repaired_LogOnAdvertise, L"Buy: ", Cleaned()}},
         TRepairLevel::LogOff,
         {Text(HKLM, WinLogon, L"LegalNoticeCaption", L""), NoVal(HKLM, WinLogon, L"LegalNoticeText")}},
        {"Outlook Express: the first identity with a title decides (healthy)",
         HealthyWith({Key(HKCU, L"Identities\\{A}"), Text(HKCU, OEPath(L"{B}"), L"WindowTitle", L"Outlook Express"),
                      Text(HKCU, OEPath(L"{C}"), L"WindowTitle", L"Hacked")}),
         21,
         false,
         {},
         TRepairLevel::None,
         {Text(HKCU, OEPath(L"{C}"), L"WindowTitle", L"Hacked")}},
        {"Outlook Express: the deciding title is removed, later ones kept",
         HealthyWith({Text(HKCU, OEPath(L"{B}"), L"WindowTitle", L"Hacked"),
                      Text(HKCU, OEPath(L"{C}"), L"WindowTitle", L"Also hacked")}),
         21,
         true,
         {{IDS_IEREPAIR_Repaired_OETitle, L"Hacked", Def()}},
         TRepairLevel::None,
         {NoVal(HKCU, OEPath(L"{B}"), L"WindowTitle"), Text(HKCU, OEPath(L"{C}"), L"WindowTitle", L"Also hacked")},
         false},
    };
}

// The string-table entry of a key; nullptr when the table has no such key.
const TStringEntry* EntryOf(const std::wstring& key) {
    for (const TStringEntry& e : StringTableEntries())
        if (key == e.Key) return &e;
    return nullptr;
}

}  // namespace

TEST_CASE("catalogue: the 22 items, their groups, text keys, English texts and scanning") {
    struct TItemPin {
        int Group;
        const wchar_t* TextKey;
        const wchar_t* Text;
        bool Scanned;
    };
    // In list order: the index is the row.
    const TItemPin pins[] = {
        {0, L"IDS_IEREPAIR_HomePage", L"Set blank page (about:blank) as IE default homepage.", true},
        {0, L"IDS_IEREPAIR_PopuMenu", L"Restore context menu of Windows Shell.", true},
        {0, L"IDS_IEREPAIR_IESearchEngine", L"Restore IE search engine.", true},
        {0, L"IDS_IEREPAIR_IETitle", L"Restore IE title bar.", true},
        {0, L"IDS_IEREPAIR_IEIconOnDesktop", L"Restore shortcut of IE on desktop.", true},
        {0, L"IDS_IEREPAIR_LinkFolderName", L"Restore links text in IE tool bar.", false},
        {0, L"IDS_IEREPAIR_ViewSource", L"Repair \"Source\" item in \"View\" menu.", true},
        {0, L"IDS_IEREPAIR_FileDownload", L"Enable file downloading in IE.", true},
        {0, L"IDS_IEREPAIR_AdvertiseOnToolbar", L"Clean plugs-in in IE tool bar.(Available with IE6 or earlier.)", true},
        {0, L"IDS_IEREPAIR_InternetOptions", L"Enable \"Internet Options\".", true},
        {0, L"IDS_IEREPAIR_FileMenu", L"Restore \"File\" menu in browser.", true},
        {1, L"IDS_IEREPAIR_EnableRegistryEditor", L"Restore the forbidden registry editor.", true},
        {1, L"IDS_IEREPAIR_StartMenu", L"Restore common items in \"Start\" menu.", true},
        {1, L"IDS_IEREPAIR_FolderOptions", L"Restore \"Folder Options\".", true},
        {1, L"IDS_IEREPAIR_MyNetworkPlace", L"Restore shortcut of \"My Network Places\" on desktop.", true},
        {1, L"IDS_IEREPAIR_FileProperties",
         L"Clean unexpected information in \"File Properties\". (And repair the datetime's format in \"File "
         L"Properties\" at the same time.)",
         false},
        {1, L"IDS_IEREPAIR_Desktop", L"Restore the disabled destop.", true},
        {1, L"IDS_IEREPAIR_HiddenDrives", L"Restore hidden disk volumes.", true},
        {1, L"IDS_IEREPAIR_RegFile", L"Repair association of registry script file (*.reg).", true},
        {1, L"IDS_IEREPAIR_ExeFile", L"Repair association of executable file (*.exe).", true},
        {1, L"IDS_IEREPAIR_LogonAdvertise", L"Remove message box while login Windows.", true},
        {1, L"IDS_IEREPAIR_OETitle", L"Restore title bar of Outlook Express.", true},
    };
    static_assert(std::size(pins) == RepairItemCount);
    ResetStringTable();
    REQUIRE(RepairItems().size() == size_t(RepairItemCount));
    for (int i = 0; i < RepairItemCount; ++i) {
        const TItemPin& pin = pins[i];
        const TRepairItem& item = RepairItemAt(i);
        CAPTURE(i);
        CHECK(item.Index == i);
        CHECK(item.Group == pin.Group);
        CHECK(item.Scanned == pin.Scanned);
        CHECK(std::wstring(item.TextKey) == std::wstring(pin.TextKey));
        REQUIRE(item.Text != nullptr);
        CHECK(*item.Text == std::wstring(pin.Text));
        // A language pack reaches the line through the key's entry.
        const TStringEntry* entry = EntryOf(pin.TextKey);
        REQUIRE(entry != nullptr);
        CHECK(entry->Text == item.Text);
    }
    CHECK_THROWS_AS(RepairItemAt(22), std::out_of_range);
    CHECK_THROWS_AS(RepairItemAt(-1), std::out_of_range);
}

TEST_CASE("catalogue: an empty registry needs exactly the items whose healthy state is a value") {
    TMemoryRegistryBackend reg;
    std::vector<int> needing;
    for (int i = 0; i < RepairItemCount; ++i)
        if (ItemNeedsRepair(i, reg)) needing.push_back(i);
    CHECK(needing == std::vector<int>{4, 9, 18, 19});
    ApplyFacts(reg, Healthy);
    for (int i = 0; i < RepairItemCount; ++i) CHECK_FALSE(ItemNeedsRepair(i, reg));
}

TEST_CASE("catalogue: checks, repairs, rows and the registry afterwards") {
    for (const auto& c : CatalogueCases()) {
        INFO(std::string(c.Name));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, c.Before);
        if (c.Needs) CHECK(ItemNeedsRepair(c.Index, reg) == *c.Needs);
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(c.Index, rows, reg) == c.Level);
        CHECK(rows == c.Rows);
        CheckFacts(reg, c.After);
        if (c.Index != 5 && c.Index != 15) CHECK(ItemNeedsRepair(c.Index, reg) == !c.InOrderAfter);
    }
}

namespace {

// One setting of a repair item as the user meets it: the value that breaks it, the row its repair
// shows (with the label's string-table key and English text), the level, and the value afterwards.
struct TSettingPin {
    int Index;
    TRegFact Broken;
    const wchar_t* LabelKey;
    const wchar_t* Label;
    const wchar_t* Before;
    const wchar_t* After;
    TRepairLevel Level;
    std::vector<TRegFact> Afterwards;
};

// A policy value set to 1: "Disabled" to "Enabled", the value deleted.
TSettingPin Policy(int index, const std::wstring& key, const wchar_t* value, const wchar_t* labelKey,
                   const wchar_t* label, TRepairLevel level) {
    return {index, Num(HKCU, key, value, 1), labelKey, label, L"Disabled", L"Enabled", level,
            {NoVal(HKCU, key, value)}};
}
// A toolbar picture: its file name read, the value deleted.
TSettingPin Picture(const wchar_t* value, const wchar_t* labelKey, const wchar_t* label, const wchar_t* after) {
    return {8, Text(HKCU, Toolbar, value, L"c:\\ads\\bar.bmp"), labelKey, label, L"c:\\ads\\bar.bmp", after,
            TRepairLevel::RestartIE, {NoVal(HKCU, Toolbar, value)}};
}

const TRepairLevel L0 = TRepairLevel::None, L1 = TRepairLevel::RestartIE, L2 = TRepairLevel::LogOff;

// Every value name and label of items 8, 9 and 12 in their order, and the settings of items 0 and 2
// that no other case reaches.
std::vector<TSettingPin> SettingPins() {
    const std::wstring& CP = IEControlPanel;
    return {
        {0, Text(HKCU, Main, L"Local Page", L"http://l.example/"), L"IDS_IEREPAIR_Repaired_LocalPage", L"Local page",
         L"http://l.example/", L"about:blank", L1, {Text(HKCU, Main, L"Local Page", L"about:blank")}},
        {2, Text(HKLM, Search, L"CustomizeSearch", L"http://evil.example/"), L"IDS_IEREPAIR_Repaired_CustomSearch",
         L"Custom search engine", L"http://evil.example/", DefaultSearchAssistantUrl, L1,
         {Text(HKLM, Search, L"CustomizeSearch", DefaultSearchAssistantUrl)}},

        Picture(L"BackBitmapIE5", L"IDS_IEREPAIR_Repaired_ToolbarBackImage", L"Background image in IE toolbar",
                L"Cleaned"),
        Picture(L"BrandBitmap", L"IDS_IEREPAIR_Repaired_ToolbarBrandImage", L"Large dynamic image in IE toolbar",
                L"Restore to default"),
        Picture(L"SmBrandBitmap", L"IDS_IEREPAIR_Repaired_ToolbarSmBrandImage", L"Small dynamic image in IE toolbar",
                L"Restore to default"),
        Picture(L"BigBitmap", L"IDS_IEREPAIR_Repaired_ToolbarBigImage", L"Large static image in IE toolbar",
                L"Restore to default"),
        Picture(L"SmallBitmap", L"IDS_IEREPAIR_Repaired_ToolbarSmallImage", L"Small static image in IE toolbar",
                L"Restore to default"),

        Policy(9, IERestrictions, L"NoBrowserOptions", L"IDS_IEREPAIR_Repaired_InternetOptions", L"Internet Options",
               L1),
        Policy(9, CP, L"GeneralTab", L"IDS_IEREPAIR_Repaired_InternetOptionsGeneral", L"Internet Options -> General",
               L0),
        Policy(9, CP, L"SecurityTab", L"IDS_IEREPAIR_Repaired_InternetOptionsSecurity", L"Internet Options -> Security",
               L0),
        Policy(9, CP, L"PrivacyTab", L"IDS_IEREPAIR_Repaired_InternetOptionsPrivacy", L"Internet Options -> Privacy",
               L0),
        Policy(9, CP, L"ContentTab", L"IDS_IEREPAIR_Repaired_InternetOptionsContent", L"Internet Options -> Content",
               L0),
        Policy(9, CP, L"ConnectionsTab", L"IDS_IEREPAIR_Repaired_InternetOptionsConnections",
               L"Internet Options -> Connections", L0),
        Policy(9, CP, L"ProgramsTab", L"IDS_IEREPAIR_Repaired_InternetOptionsPrograms", L"Internet Options -> Programs",
               L0),
        Policy(9, CP, L"AdvancedTab", L"IDS_IEREPAIR_Repaired_InternetOptionsAdvanced", L"Internet Options -> Advanced",
               L0),
        Policy(9, CP, L"HomePage", L"IDS_IEREPAIR_Repaired_IEHomePageSetting",
               L"Internet Options -> General -> Homepage", L0),
        Policy(9, CP, L"Cache", L"IDS_IEREPAIR_Repaired_IETempFileSetting",
               L"Internet Options -> General -> Browsing History -> Settings -> Temporary Internet Files", L0),
        Policy(9, CP, L"History", L"IDS_IEREPAIR_Repaired_IEHistorySetting",
               L"Internet Options -> General -> Browsing History -> Settings -> History ", L0),
        Policy(9, CP, L"Colors", L"IDS_IEREPAIR_Repaired_IEColorSetting",
               L"Internet Options -> General -> Colors -> Text colors", L0),
        Policy(9, CP, L"Links", L"IDS_IEREPAIR_Repaired_IEHyperLinkColorSetting",
               L"Internet Options -> General -> Color -> hyperlink color", L0),
        Policy(9, CP, L"Fonts", L"IDS_IEREPAIR_Repaired_IEFontSetting", L"Internet Options -> General -> Fonts", L0),
        Policy(9, CP, L"Languages", L"IDS_IEREPAIR_Repaired_IELanguageSetting",
               L"Internet Options -> General -> Language", L0),
        Policy(9, CP, L"Accessibility", L"IDS_IEREPAIR_Repaired_IEAccessibilitySetting",
               L"Internet Options -> General -> Accessibility", L0),
        Policy(9, CP, L"SecChangeSettings", L"IDS_IEREPAIR_Repaired_IECustomDefineSecurity",
               L"Internet Options -> Security -> Custom level...", L0),
        {9, Val(HKLM, Ratings, L"Key", RegBytes({0x41, 0, 0x42, 0})), L"IDS_IEREPAIR_Repaired_IEContentPassword",
         L"Internet Options -> Content -> Content Advisor", L"Enabled", L"Disabled", L0,
         {Key(HKLM, Ratings), NoVal(HKLM, Ratings, L"Key")}},
        Policy(9, CP, L"Connwiz Admin Lock", L"IDS_IEREPAIR_Repaired_IESetupConnection",
               L"Internet Options -> Connections -> Connections", L0),
        Policy(9, CP, L"Connection Settings", L"IDS_IEREPAIR_Repaired_IEConnectionSetting",
               L"Internet Options -> Connections -> Settings", L0),
        Policy(9, CP, L"Proxy", L"IDS_IEREPAIR_Repaired_IEProxySetting",
               L"Internet Options -> Connections -> Settings -> Proxy Server", L0),
        Policy(9, CP, L"AutoConfig", L"IDS_IEREPAIR_Repaired_IEAutoConfig",
               L"Internet Options -> Connections -> Automatic Configuration", L0),
        Policy(9, CP, L"Settings", L"IDS_IEREPAIR_Repaired_IESettings", L"Internet Options -> Other settings", L0),

        Policy(12, ExplorerPolicies, L"NoRun", L"IDS_IEREPAIR_Repaired_RunInStartMemu",
               L"\"Run...\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoClose", L"IDS_IEREPAIR_Repaired_CloseInStartMenu",
               L"\"Turn Off Computer\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"StartMenuLogOff", L"IDS_IEREPAIR_Repaired_LogOffInStartMenu",
               L"\"Log off\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoRecentDocsMenu", L"IDS_IEREPAIR_Repaired_RecentDocsInStartMenu",
               L"\"My Recent Documents\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoFind", L"IDS_IEREPAIR_Repaired_SearchInStartMenu",
               L"\"Search\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoControlPanel", L"IDS_IEREPAIR_Repaired_ControlPanelInStartMenu",
               L"\"Control Panel\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoSetFolders", L"IDS_IEREPAIR_Repaired_SetFoldersInStartMenu",
               L"\"Settings\" in \"Start\" menu", L2),
        Policy(12, ExplorerPolicies, L"NoSetTaskbar", L"IDS_IEREPAIR_Repaired_SetTaskbarInStartMenu",
               L"Properties of \"Start\" menu and taskbar", L2),
        Policy(12, ExplorerPolicies, L"NoTrayContextMenu", L"IDS_IEREPAIR_Repaired_PopuMenuOfTaskbar",
               L"Context menu of taskbar", L2),
    };
}

std::wstring Describe(const TSettingPin& pin) {
    return L"item " + std::to_wstring(pin.Index) + L", value '" + pin.Broken.Name + L"'";
}

}  // namespace

TEST_CASE("catalogue: each setting of items 0, 2, 8, 9 and 12 by its value name, row, label key and level") {
    ResetStringTable();
    for (const TSettingPin& pin : SettingPins()) {
        INFO(Narrow(Describe(pin)));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, HealthyWith({pin.Broken}));
        CHECK(ItemNeedsRepair(pin.Index, reg));
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(pin.Index, rows, reg) == pin.Level);
        CHECK(rows == std::vector<TRepairRow>{{pin.Label, pin.Before, pin.After}});
        CheckFacts(reg, pin.Afterwards);
        CHECK_FALSE(ItemNeedsRepair(pin.Index, reg));

        // The label is the text of its own key: a language pack that translates that key is shown.
        const TStringEntry* entry = EntryOf(pin.LabelKey);
        REQUIRE(entry != nullptr);
        CHECK(std::wstring(entry->BuiltIn) == std::wstring(pin.Label));
        *entry->Text = L"translated";
        TMemoryRegistryBackend again;
        ApplyFacts(again, HealthyWith({pin.Broken}));
        rows.clear();
        RepairItem(pin.Index, rows, again);
        ResetStringTable();
        REQUIRE(rows.size() == 1);
        CHECK(rows[0].Label == L"translated");
    }
}

TEST_CASE("catalogue: items 8, 9 and 12 with every setting broken repair all of them, in their order") {
    ResetStringTable();
    for (int index : {8, 9, 12}) {
        CAPTURE(index);
        std::vector<TRegFact> broken;
        std::vector<TRepairRow> expected;
        for (const TSettingPin& pin : SettingPins()) {
            if (pin.Index != index) continue;
            broken.push_back(pin.Broken);
            expected.push_back({pin.Label, pin.Before, pin.After});
        }
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, HealthyWith(broken));
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(index, rows, reg) == (index == 12 ? L2 : L1));
        CHECK(rows == expected);
        CHECK_FALSE(ItemNeedsRepair(index, reg));
    }
}

TEST_CASE("catalogue: the desktop icon repair tells the shell; nothing else does") {
    TMemoryRegistryBackend reg;
    ApplyFacts(reg, {Key(HKCU, IEControlPanel)});
    std::vector<TRepairRow> rows;
    RepairItem(4, rows, reg);
    CHECK(reg.AssociationNotifications() == 1);
    for (int i = 0; i < RepairItemCount; ++i)
        if (i != 4) RepairItem(i, rows, reg);
    CHECK(reg.AssociationNotifications() == 1);
}

TEST_CASE("catalogue: rows take their labels from the string table as it is now") {
    TMemoryRegistryBackend reg;
    ApplyFacts(reg, HealthyWith({Text(HKCU, Main, L"Window Title", L"Hacked")}));
    IDS_IEREPAIR_Repaired_IETitle = L"Fenstertitel";
    IDS_IEREPAIR_Repaired_Default = L"Standard";
    std::vector<TRepairRow> rows;
    RepairItem(3, rows, reg);
    ResetStringTable();
    CHECK(rows == std::vector<TRepairRow>{{L"Fenstertitel", L"Hacked", L"Standard"}});
}

TEST_CASE("catalogue: a value of the wrong type makes its item not checkable and its repair step fail, alone") {
    struct TCase {
        const char* Name;
        std::vector<TRegFact> Before;
        int Index;
        std::wstring Error;
    };
    const TCase cases[] = {
        {"policy stored as text",
         {Text(HKCU, ExplorerPolicies, L"NoViewContextMenu", L"1")},
         1,
         L"Invalid data type for 'NoViewContextMenu'"},
        {"page stored as a number", {Num(HKCU, Main, L"Start Page", 1)}, 0, L"Invalid data type for 'Start Page'"},
        {"second pages stored as text",
         {Text(HKCU, Main, L"Default_Secondary_Page_URL", L"x")},
         0,
         L"Invalid data type for 'Default_Secondary_Page_URL'"},
        {"desktop icon stored as text",
         {Text(HKCU, DesktopIcons, IEDesktopIconGuid, L"0")},
         4,
         std::wstring(L"Invalid data type for '") + IEDesktopIconGuid + L"'"},
        {"content advisor key over 260 bytes",
         {Val(HKLM, Ratings, L"Key", Bytes(std::vector<uint8_t>(261, 1)))},
         9,
         L"Failed to get data for 'Key'"},
        {"content advisor key as a number", {Num(HKLM, Ratings, L"Key", 1)}, 9, L"Invalid data type for 'Key'"},
        {"hidden drives as text",
         {Text(HKCU, ExplorerPolicies, L"NoDrives", L"4")},
         17,
         L"Invalid data type for 'NoDrives'"},
        {"hidden drives over 260 bytes",
         {Val(HKCU, ExplorerPolicies, L"NoDrives", Bytes(std::vector<uint8_t>(300, 1)))},
         17,
         L"Failed to get data for 'NoDrives'"},
        {".reg class as a number", {Num(HKCR, L".reg", L"", 1)}, 18, L"Invalid data type for ''"},
        {"logon text as a number",
         {Num(HKLM, WinLogon, L"LegalNoticeText", 1)},
         20,
         L"Invalid data type for 'LegalNoticeText'"},
        {"Outlook Express title as a number",
         {Num(HKCU, OEPath(L"{A}"), L"WindowTitle", 1)},
         21,
         L"Invalid data type for 'WindowTitle'"},
        {"long date as a number (repair only)",
         {Num(HKCU, International, L"sLongDate", 1)},
         15,
         L"Invalid data type for 'sLongDate'"},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.Name));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, HealthyWith(c.Before));
        if (RepairItemAt(c.Index).Scanned) {
            // The single-answer check still raises the store's message; the item check notes it.
            CHECK(ErrorOf([&] { ItemNeedsRepair(c.Index, reg); }) == c.Error);
            const TRepairCheck check = CheckItem(c.Index, reg);
            CHECK(check.State == TRepairState::NotCheckable);
            CHECK(check.Unreadable == std::vector<std::wstring>{c.Error});
        }
        std::vector<TRepairRow> rows;
        TRepairLevel level = TRepairLevel::LogOff;
        CHECK(ErrorOf([&] { level = RepairItem(c.Index, rows, reg); }) == L"(no error)");
        CHECK(level == TRepairLevel::None);
        REQUIRE(rows.size() == 1);
        CHECK(rows[0].Failed);
        CHECK(rows[0].After == L"Failed: " + c.Error);
        CHECK_FALSE(rows[0].Label.empty());
        CHECK(FailedRowCount(rows) == 1);
        CheckFacts(reg, c.Before);  // the bad value is left for the user to see
    }
}

TEST_CASE("catalogue: an unreadable setting neither hides nor stops the item's other settings") {
    TMemoryRegistryBackend reg;
    ApplyFacts(reg, HealthyWith({Num(HKCU, ExplorerPolicies, L"NoRun", 1),
                                 Text(HKCU, ExplorerPolicies, L"StartMenuLogOff", L"1"),
                                 Num(HKCU, ExplorerPolicies, L"NoFind", 1)}));
    const TRepairCheck check = CheckItem(12, reg);
    CHECK(check.State == TRepairState::NeedsRepair);
    CHECK(check.Unreadable == std::vector<std::wstring>{L"Invalid data type for 'StartMenuLogOff'"});
    std::vector<TRepairRow> rows;
    CHECK(RepairItem(12, rows, reg) == TRepairLevel::LogOff);
    CHECK(rows == std::vector<TRepairRow>{
                      {IDS_IEREPAIR_Repaired_RunInStartMemu, Dis(), En()},
                      {IDS_IEREPAIR_Repaired_LogOffInStartMenu, Dis(), L"Failed: Invalid data type for 'StartMenuLogOff'",
                       true},
                      {IDS_IEREPAIR_Repaired_SearchInStartMenu, Dis(), En()}});
    CheckFacts(reg, {NoVal(HKCU, ExplorerPolicies, L"NoRun"), Text(HKCU, ExplorerPolicies, L"StartMenuLogOff", L"1"),
                     NoVal(HKCU, ExplorerPolicies, L"NoFind")});
}

TEST_CASE("catalogue: a key the process may not open") {
    struct TCase {
        const char* Name;
        std::vector<TRegFact> Before;
        TRegRoot Root;
        std::wstring Refused;
        int Index;
        bool Needs;
        std::vector<TRepairRow> Rows;
    };
    // A refused key reads as absent. Where absence itself needs repair, the repair cannot create the
    // key: it changes nothing, and says that it failed rather than claim a repair that did not happen.
    const TCase cases[] = {
        {"policies refused: in order", HealthyWith({Num(HKCU, ExplorerPolicies, L"NoRun", 1)}), HKCU, ExplorerPolicies,
         12, false, {}},
        {"desktop icons refused", HealthyWith({}), HKCU, DesktopIcons, 4, true,
         {{IDS_IEREPAIR_Repaired_IEOnDesktop, IDS_IEREPAIR_Repaired_Lost,
           L"Failed: the key HKEY_CURRENT_USER\\Software\\Microsoft\\windows\\CurrentVersion\\Explorer\\"
           L"HideDeskTopIcons\\NewStartPanel cannot be created",
           true}}},
        {"IE control panel refused", HealthyWith({Num(HKCU, IEControlPanel, L"GeneralTab", 1)}), HKCU, IEControlPanel,
         9, true,
         {{IDS_IEREPAIR_Repaired_IECustomDefineSecurity, Dis(),
           L"Failed: the key HKEY_CURRENT_USER\\" + IEControlPanel + L" cannot be created", true}}},
        {".exe command refused", HealthyWith({}), HKLM, L"Software\\Classes\\" + ExeCommand, 19, true,
         {{IDS_IEREPAIR_Repaired_ExeFile, L"",
           L"Failed: the key HKEY_CLASSES_ROOT\\" + ExeCommand + L" cannot be created", true}}},
        {"Ratings parent refused: Ratings kept", HealthyWith({Val(HKLM, Ratings, L"Key", Bytes({1, 0}))}), HKLM,
         L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies", 9, true,
         {{IDS_IEREPAIR_Repaired_IEContentPassword, IDS_IEREPAIR_Repaired_Enabled,
           L"Failed: the key HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies cannot be "
           L"created",
           true}}},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.Name));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, c.Before);
        reg.Refuse(c.Root, c.Refused);
        CHECK(ItemNeedsRepair(c.Index, reg) == c.Needs);
        CHECK(CheckItem(c.Index, reg).State == (c.Needs ? TRepairState::NeedsRepair : TRepairState::InOrder));
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(c.Index, rows, reg) == TRepairLevel::None);
        CHECK(rows == c.Rows);
        reg.Refuse(c.Root, c.Refused, false);
        CheckFacts(reg, c.Before);
    }
}

TEST_CASE("catalogue: a repair step the registry refuses yields a failed row; the others still go through") {
    struct TCase {
        const char* Name;
        std::vector<TRegFact> Broken;
        int Index;
        std::vector<TRepairRow> Rows;
        TRepairLevel Level;
    };
    const TCase cases[] = {
        {"a value that cannot be deleted", {Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1)}, 1,
         {{IDS_IEREPAIR_Repaired_WEPopuMenu, Dis(), L"Failed: the value NoViewContextMenu cannot be deleted", true}},
         TRepairLevel::None},
        {"a value that cannot be written", {Text(HKCU, Main, L"Start Page", L"http://evil.example/")}, 0,
         {{IDS_IEREPAIR_Repaired_HomePage, L"http://evil.example/", L"Failed: Failed to set data for 'Start Page'",
           true}},
         TRepairLevel::None},
        {"a default value that cannot be written", {Text(HKCR, ExeCommand, L"", L"evil.exe %1")}, 19,
         {{IDS_IEREPAIR_Repaired_ExeFile, L"evil.exe %1", L"Failed: Failed to set data for ''", true}},
         TRepairLevel::None},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.Name));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, HealthyWith(c.Broken));
        reg.FailWrites(true);
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(c.Index, rows, reg) == c.Level);
        reg.FailWrites(false);
        CHECK(rows == c.Rows);
        CheckFacts(reg, c.Broken);
    }
}

TEST_CASE("catalogue: a scan of every item marks what it can and lists what it could not read") {
    TMemoryRegistryBackend reg;
    // Item 1's policy stored as bytes, items 3 and 9 broken.
    ApplyFacts(reg, HealthyWith({Val(HKCU, ExplorerPolicies, L"NoViewContextMenu", Bytes({1, 0, 0, 0})),
                                 Text(HKCU, Main, L"Window Title", L"Hacked"),
                                 Num(HKCU, IERestrictions, L"NoBrowserOptions", 1)}));
    const std::vector<TRepairCheck> checks = CheckAllItems(reg);
    REQUIRE(checks.size() == static_cast<size_t>(RepairItemCount));
    for (int i = 0; i < RepairItemCount; ++i) {
        CAPTURE(i);
        const TRepairState expected = i == 1   ? TRepairState::NotCheckable
                                      : i == 3 || i == 9 ? TRepairState::NeedsRepair
                                                         : TRepairState::InOrder;
        CHECK(checks[static_cast<size_t>(i)].State == expected);
    }
    CHECK(RepairLineText(RepairItemAt(1), checks[1]) ==
          L"[Cannot be checked: Invalid data type for 'NoViewContextMenu']  Restore context menu of Windows Shell.");
    CHECK(RepairLineText(RepairItemAt(3), checks[3]) == L"[Need to repair]  Restore IE title bar.");
    CHECK(RepairLineText(RepairItemAt(4), checks[4]) == L"Restore shortcut of IE on desktop.");
    CHECK(RepairScanProblems(checks) ==
          L"These settings could not be read, so their items could not be checked:\n"
          L"Restore context menu of Windows Shell.: Invalid data type for 'NoViewContextMenu'");
    CHECK(RepairScanProblems(CheckAllItems(reg)) == RepairScanProblems(checks));
    TMemoryRegistryBackend healthy;
    ApplyFacts(healthy, HealthyWith({}));
    CHECK(RepairScanProblems(CheckAllItems(healthy)).empty());
}

TEST_CASE("catalogue: rows whose label is blank are dropped, whatever blanks a language pack used") {
    for (const std::wstring blank : {L"", L"   ", L"\t\r\n", L"\x3000\x00A0\x200B", L"\x0085\x2028\xFEFF"}) {
        CAPTURE(sktest::Narrow(blank));
        TMemoryRegistryBackend reg;
        ApplyFacts(reg, HealthyWith({Text(HKCU, Main, L"Window Title", L"Hacked"),
                                     Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1)}));
        IDS_IEREPAIR_Repaired_IETitle = blank;
        IDS_IEREPAIR_Repaired_WEPopuMenu = blank;
        std::vector<TRepairRow> rows;
        CHECK(RepairItem(3, rows, reg) == TRepairLevel::RestartIE);
        CHECK(rows.empty());
        CheckFacts(reg, {NoVal(HKCU, Main, L"Window Title")});  // the repair is still made
        // A failure keeps its row: the value's name stands for the blank label.
        reg.FailWrites(true);
        CHECK(RepairItem(1, rows, reg) == TRepairLevel::None);
        reg.FailWrites(false);
        CHECK(rows == std::vector<TRepairRow>{
                          {L"NoViewContextMenu", Dis(), L"Failed: the value NoViewContextMenu cannot be deleted", true}});
        ResetStringTable();
    }
}

TEST_CASE("catalogue: the closing message asks for the restart or log-off and counts the failures") {
    CHECK(RepairClosingText(TRepairLevel::None, 0).empty());
    CHECK(RepairClosingText(TRepairLevel::RestartIE, 0) == IDS_IEREPAIR_MSG_RestartIE);
    CHECK(RepairClosingText(TRepairLevel::LogOff, 0) == IDS_IEREPAIR_MSG_LogOff);
    CHECK(RepairClosingText(TRepairLevel::None, 2) == L"2 settings could not be repaired; their rows say why.");
    CHECK(RepairClosingText(TRepairLevel::LogOff, 1) ==
          IDS_IEREPAIR_MSG_LogOff + L"\n\n1 settings could not be repaired; their rows say why.");
}
