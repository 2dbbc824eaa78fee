#include "repair/IERepairFuncs.h"

#include <stdexcept>

#include "base/Errors.h"

#include "base/Format.h"
#include "base/StringTable.h"

namespace sk {

namespace {

// Keys of the catalogue (paths ignore case).
const wchar_t* const kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t* const kSearch = L"Software\\Microsoft\\Internet Explorer\\Search";
const wchar_t* const kScopes = L"Software\\Microsoft\\Internet Explorer\\SearchScopes";
const wchar_t* const kToolbar = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
const wchar_t* const kDesktopIcons =
    L"Software\\Microsoft\\windows\\CurrentVersion\\Explorer\\HideDeskTopIcons\\NewStartPanel";
const wchar_t* const kExplorerPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t* const kIERestrictions = L"Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";
const wchar_t* const kIEControlPanel = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
const wchar_t* const kZone3 = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet settings\\Zones\\3";
const wchar_t* const kRatingsParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
const wchar_t* const kRatings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ratings";
const wchar_t* const kSystemPolicies = L"Software\\Microsoft\\windows\\CurrentVersion\\Policies\\System";
const wchar_t* const kInternational = L"Control Panel\\International";
const wchar_t* const kWinLogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon";
const wchar_t* const kRegExtension = L".reg";
const wchar_t* const kExeCommand = L"exefile\\shell\\open\\command";
const wchar_t* const kIdentities = L"Identities";
const wchar_t* const kIdentityTail = L"software\\Microsoft\\Outlook Express\\5.0";
const wchar_t* const kUserScopesTail = L"Software\\Microsoft\\Internet Explorer\\SearchScopes";

const std::wstring kRegFileLabel = L".reg";  // the one label that no language pack changes

constexpr TRegRoot HKCR = TRegRoot::ClassesRoot;
constexpr TRegRoot HKCU = TRegRoot::CurrentUser;
constexpr TRegRoot HKLM = TRegRoot::LocalMachine;

// When a setting needs repair.
enum class TRule {
    PolicyFlag,          // key opens, value present, REG_DWORD not 0
    PolicyFlagOrNoKey,   // as PolicyFlag, and also when the key does not open
    TextNotAccepted,     // present, and its text is neither Target nor Accepted
    PageNotBlank,        // present, and its text in lower case is not Target
    TextNotEmpty,        // present with a non-empty text
    TextIsNot,           // the text ("" when absent) is not Target
    TextListNotEmpty,    // the REG_MULTI_SZ has at least one entry
    LeadingUnitNonZero,  // binary data whose first 16-bit unit is not 0
    ZeroRequired,        // in order only when the key opens and the value is REG_DWORD 0
    Always,              // no check: repaired whenever the user ticks the item
    Own,                 // hand-written check
};

// What the repair does.
enum class TAction {
    DeleteValue,             // key opened without creating it; value deleted if present
    DeleteValueCreatingKey,  // the same, the key opened with creation
    WriteTextIfOpens,        // Target written when the key opens
    WriteTextIfPresent,      // Target written when the key opens and holds the value
    WriteTextCreatingKey,    // Target written, the key opened with creation
    WriteZeroIfPresent,      // 0 written when the key opens and holds the value
    WriteZeroCreatingKey,    // 0 written, the key opened with creation
    ClearTextList,           // the REG_MULTI_SZ emptied when the key opens
    Own,                     // hand-written repair
};

// What a check found: whether the setting needs repair, its current text for the row's before
// column, and for the hand-written settings where it was found.
struct TFinding {
    bool Needs = false;
    std::wstring AsRead;
    std::wstring Where;
};

// What a repair step did: repaired the setting, found nothing left to do, or failed, and why.
struct TStep {
    enum TOutcome { Done, Nothing, Failed } Outcome = Done;
    std::wstring Reason;
};

TStep Done() { return {TStep::Done, {}}; }
TStep Nothing() { return {TStep::Nothing, {}}; }
TStep Fail(const std::wstring& reasonPattern, const std::wstring& name) {
    return {TStep::Failed, Fmt(reasonPattern, name)};
}

std::wstring RootName(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot: return L"HKEY_CLASSES_ROOT";
        case TRegRoot::CurrentUser: return L"HKEY_CURRENT_USER";
        case TRegRoot::LocalMachine: return L"HKEY_LOCAL_MACHINE";
        case TRegRoot::Users: return L"HKEY_USERS";
    }
    return L"";
}

std::wstring KeyName(TRegRoot root, const std::wstring& path) { return RootName(root) + L"\\" + path; }

struct TRepairSetting;
using TOwnCheck = TFinding (*)(TRegistryBackend&, const TRepairSetting&);
using TOwnRepair = TStep (*)(TRegistryBackend&, const TRepairSetting&, const TFinding&);

struct TRepairSetting {
    TRegRoot Root;
    const wchar_t* Path;
    const wchar_t* Value;
    TRule Rule;
    TAction Action;
    const std::wstring* Label;
    const std::wstring* Before;  // nullptr: the value as read
    const std::wstring* After;   // nullptr: Target
    TRepairLevel Level;
    const wchar_t* Target = nullptr;
    const wchar_t* Accepted = nullptr;  // a second healthy text
    bool NotifyShell = false;           // tell the shell after the repair
    bool AcceptNumber = false;          // a REG_DWORD counts by its number instead of raising
    TOwnCheck OwnCheck = nullptr;
    TOwnRepair OwnRepair = nullptr;
};

constexpr TRepairLevel L0 = TRepairLevel::None;
constexpr TRepairLevel L1 = TRepairLevel::RestartIE;
constexpr TRepairLevel L2 = TRepairLevel::LogOff;

// A policy that switches something off: flag rule, delete value.
TRepairSetting Policy(TRegRoot root,
                      const wchar_t* path,
                      const wchar_t* value,
                      const std::wstring* label,
                      TRepairLevel level,
                      const std::wstring* before = &IDS_IEREPAIR_Repaired_Disabled,
                      const std::wstring* after = &IDS_IEREPAIR_Repaired_Enabled) {
    return {root, path, value, TRule::PolicyFlag, TAction::DeleteValue, label, before, after, level};
}

TRepairSetting Page(const wchar_t* value, const std::wstring* label) {
    TRepairSetting s{HKCU, kMain, value, TRule::PageNotBlank, TAction::WriteTextIfOpens, label, nullptr, nullptr, L1};
    s.Target = L"about:blank";
    return s;
}

TRepairSetting ToolbarPicture(const wchar_t* value, const std::wstring* label, const std::wstring* after) {
    return {HKCU, kToolbar, value, TRule::TextNotEmpty, TAction::DeleteValue, label, nullptr, after, L1};
}

TRepairSetting IEPanel(const wchar_t* value, const std::wstring* label) {
    return Policy(HKCU, kIEControlPanel, value, label, L0);
}

// A control-panel policy whose repair opens the key with creation.
TRepairSetting IEPanelCreating(const wchar_t* value, const std::wstring* label) {
    TRepairSetting s = IEPanel(value, label);
    s.Action = TAction::DeleteValueCreatingKey;
    return s;
}

TRepairSetting StartMenu(const wchar_t* value, const std::wstring* label) {
    return Policy(HKCU, kExplorerPolicies, value, label, L2);
}

// ---- Hand-written settings ----

void WriteBingScope(TRegistryStore& scopes) {
    scopes.WriteText(L"DisplayName", BingDisplayName);
    scopes.WriteText(L"FaviconURLFallback", BingFaviconUrl);
    scopes.WriteText(L"SuggestionsURLFallback", BingSuggestionsUrl);
    scopes.WriteText(L"URL", BingSearchUrl);
}

// Sets DefaultScope to Bing under path of the store's root, with the Bing scope's values; false
// when the key does not open or holds no DefaultScope.
bool PointScopesAtBing(TRegistryBackend& backend, TRegRoot root, const std::wstring& path) {
    TRegistryStore store(backend, root);
    if (!store.Open(path, false) || !store.HasValue(L"DefaultScope")) return false;
    store.WriteText(L"DefaultScope", BingScopeGuid);
    if (store.Open(JoinRegPath(path, BingScopeGuid), true)) WriteBingScope(store);
    return true;
}

TFinding CheckDefaultScope(TRegistryBackend& backend, const TRepairSetting&) {
    TFinding f;
    TRegistryStore store(backend, HKCU);
    if (!store.Open(kScopes, false) || !store.HasValue(L"DefaultScope")) return f;
    const std::wstring current = store.ReadText(L"DefaultScope");
    if (current == BingScopeGuid || !store.HasSubkey(BingScopeGuid)) return f;
    f.Needs = true;
    // The name of the scope in use; an empty DefaultScope names no scope (it would be Scopes itself).
    if (!current.empty()) {
        TRegistryStore scope(backend, HKCU);
        if (scope.Open(JoinRegPath(kScopes, current), false) && scope.HasValue(L"DisplayName"))
            f.AsRead = scope.ReadText(L"DisplayName");
    }
    return f;
}

TStep RepairDefaultScope(TRegistryBackend& backend, const TRepairSetting&, const TFinding&) {
    const bool own = PointScopesAtBing(backend, HKCU, kScopes);
    // Every user's hive too, whatever the current user's gave: the first hive that has a default
    // scope is rewritten, and the walk ends there.
    bool other = false;
    TRegistryStore users(backend, TRegRoot::Users);
    if (users.Open(L"", false)) {
        for (const auto& hive : users.ListSubkeys()) {
            if (PointScopesAtBing(backend, TRegRoot::Users, JoinRegPath(hive, kUserScopesTail))) {
                other = true;
                break;
            }
        }
    }
    return own || other ? Done() : Nothing();
}

TStep RepairRatings(TRegistryBackend& backend, const TRepairSetting&, const TFinding&) {
    TRegistryStore store(backend, HKLM);
    if (!store.Open(kRatingsParent, true)) return Fail(IDS_IEREPAIR_Reason_CreateKey, KeyName(HKLM, kRatingsParent));
    if (store.HasSubkey(L"Ratings") && !store.RemoveKey(L"Ratings"))
        return Fail(IDS_IEREPAIR_Reason_DeleteKey, KeyName(HKLM, kRatings));
    store.AddSubkey(L"Ratings");
    return Done();
}

TFinding CheckLogonNotice(TRegistryBackend& backend, const TRepairSetting&) {
    TFinding f;
    TRegistryStore store(backend, HKLM);
    if (!store.Open(kWinLogon, false)) return f;
    const std::wstring caption = store.ReadText(L"LegalNoticeCaption");
    const std::wstring text = store.ReadText(L"LegalNoticeText");
    f.Needs = !caption.empty() || !text.empty();
    f.AsRead = Fmt(L"%s: %s", caption, text);
    return f;
}

TStep RepairLogonNotice(TRegistryBackend& backend, const TRepairSetting&, const TFinding&) {
    TRegistryStore store(backend, HKLM);
    if (!store.Open(kWinLogon, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, KeyName(HKLM, kWinLogon));
    // The values stay, emptied: Windows shows no notice for an empty caption and text.
    for (const wchar_t* name : {L"LegalNoticeCaption", L"LegalNoticeText"})
        if (store.HasValue(name)) store.WriteText(name, L"");
    return Done();
}

TFinding CheckOutlookTitle(TRegistryBackend& backend, const TRepairSetting&) {
    TFinding f;
    TRegistryStore identities(backend, HKCU);
    if (!identities.Open(kIdentities, false) || !identities.HasAnySubkey()) return f;
    for (const auto& identity : identities.ListSubkeys()) {
        const std::wstring path = JoinRegPath(JoinRegPath(kIdentities, identity), kIdentityTail);
        TRegistryStore store(backend, HKCU);
        if (!store.Open(path, false) || !store.HasValue(L"WindowTitle")) continue;
        // The first identity with a title decides.
        f.AsRead = store.ReadText(L"WindowTitle");
        f.Needs = f.AsRead != L"Outlook Express";
        f.Where = path;
        break;
    }
    return f;
}

TStep RepairOutlookTitle(TRegistryBackend& backend, const TRepairSetting&, const TFinding& found) {
    TRegistryStore store(backend, HKCU);
    if (found.Where.empty()) return Nothing();
    if (!store.Open(found.Where, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, KeyName(HKCU, found.Where));
    if (store.HasValue(L"WindowTitle") && !store.RemoveValue(L"WindowTitle"))
        return Fail(IDS_IEREPAIR_Reason_DeleteValue, L"WindowTitle");
    return Done();
}

// ---- The catalogue ----

struct TItemDef {
    TRepairItem Item;
    std::vector<TRepairSetting> Settings;
};

std::vector<TItemDef> BuildCatalogue() {
    std::vector<TItemDef> items;
    auto add = [&](int group, const wchar_t* key, const std::wstring* text, bool scanned,
                   std::vector<TRepairSetting> settings) {
        const int index = static_cast<int>(items.size());
        items.push_back({{index, group, key, text, scanned}, std::move(settings)});
    };
#define SK_ITEM(key) L"" #key, &key

    // 0: home pages
    add(0, SK_ITEM(IDS_IEREPAIR_HomePage), true,
        {Page(L"Start Page", &IDS_IEREPAIR_Repaired_HomePage),
         Page(L"Local Page", &IDS_IEREPAIR_Repaired_LocalPage),
         Page(L"Default_Page_URL", &IDS_IEREPAIR_Repaired_DefaultPage),
         {HKCU, kMain, L"Default_Secondary_Page_URL", TRule::TextListNotEmpty, TAction::ClearTextList,
          &IDS_IEREPAIR_Repaired_SecondDefaultPage, nullptr, &IDS_IEREPAIR_Repaired_Cleared, L1}});
    // 1: context menu of the shell
    add(0, SK_ITEM(IDS_IEREPAIR_PopuMenu), true,
        {Policy(HKCU, kExplorerPolicies, L"NoViewContextMenu", &IDS_IEREPAIR_Repaired_WEPopuMenu, L2)});
    // 2: search engine
    add(0, SK_ITEM(IDS_IEREPAIR_IESearchEngine), true,
        {{HKLM, kSearch, L"SearchAssistant", TRule::TextNotAccepted, TAction::WriteTextIfPresent,
          &IDS_IEREPAIR_Repaired_SearchEngine, nullptr, nullptr, L1, DefaultSearchAssistantUrl},
         {HKLM, kSearch, L"CustomizeSearch", TRule::TextNotAccepted, TAction::WriteTextIfPresent,
          &IDS_IEREPAIR_Repaired_CustomSearch, nullptr, nullptr, L1, DefaultSearchAssistantUrl},
         {HKCU, kScopes, L"DefaultScope", TRule::Own, TAction::Own, &IDS_IEREPAIR_Repaired_SearchEngine, nullptr,
          &IDS_IEREPAIR_Repaired_Default, L1, nullptr, nullptr, false, false, CheckDefaultScope, RepairDefaultScope}});
    // 3: window title
    add(0, SK_ITEM(IDS_IEREPAIR_IETitle), true,
        {{HKCU, kMain, L"Window Title", TRule::TextNotAccepted, TAction::DeleteValue, &IDS_IEREPAIR_Repaired_IETitle,
          nullptr, &IDS_IEREPAIR_Repaired_Default, L1, L"Windows Internet Explorer", L"Microsoft Internet Explorer"}});
    // 4: the browser's icon on the desktop
    add(0, SK_ITEM(IDS_IEREPAIR_IEIconOnDesktop), true,
        {{HKCU, kDesktopIcons, IEDesktopIconGuid, TRule::ZeroRequired, TAction::WriteZeroCreatingKey,
          &IDS_IEREPAIR_Repaired_IEOnDesktop, &IDS_IEREPAIR_Repaired_Lost, &IDS_IEREPAIR_Repaired_Repaired, L0, nullptr,
          nullptr, true}});
    // 5: links text of the toolbar
    add(0, SK_ITEM(IDS_IEREPAIR_LinkFolderName), false,
        {{HKCU, kToolbar, L"LinksFolderName", TRule::Always, TAction::DeleteValue, &IDS_IEREPAIR_Repaired_LinkFolder,
          nullptr, &IDS_IEREPAIR_Repaired_Default, L1}});
    // 6: view source
    add(0, SK_ITEM(IDS_IEREPAIR_ViewSource), true,
        {Policy(HKCU, kIERestrictions, L"NoViewSource", &IDS_IEREPAIR_Repaired_IEViewSource, L1)});
    // 7: file download in the Internet zone: the value is set to 0, not deleted
    add(0, SK_ITEM(IDS_IEREPAIR_FileDownload), true,
        {{HKCU, kZone3, L"1803", TRule::PolicyFlag, TAction::WriteZeroCreatingKey, &IDS_IEREPAIR_Repaired_FileDownload,
          &IDS_IEREPAIR_Repaired_Disabled, &IDS_IEREPAIR_Repaired_Enabled, L1}});
    // 8: toolbar pictures
    add(0, SK_ITEM(IDS_IEREPAIR_AdvertiseOnToolbar), true,
        {ToolbarPicture(L"BackBitmapIE5", &IDS_IEREPAIR_Repaired_ToolbarBackImage, &IDS_IEREPAIR_Repaired_Cleared),
         ToolbarPicture(L"BrandBitmap", &IDS_IEREPAIR_Repaired_ToolbarBrandImage, &IDS_IEREPAIR_Repaired_Default),
         ToolbarPicture(L"SmBrandBitmap", &IDS_IEREPAIR_Repaired_ToolbarSmBrandImage, &IDS_IEREPAIR_Repaired_Default),
         ToolbarPicture(L"BigBitmap", &IDS_IEREPAIR_Repaired_ToolbarBigImage, &IDS_IEREPAIR_Repaired_Default),
         ToolbarPicture(L"SmallBitmap", &IDS_IEREPAIR_Repaired_ToolbarSmallImage, &IDS_IEREPAIR_Repaired_Default)});
    // 9: Internet Options and its tabs
    {
        TRepairSetting secChange = IEPanelCreating(L"SecChangeSettings", &IDS_IEREPAIR_Repaired_IECustomDefineSecurity);
        secChange.Rule = TRule::PolicyFlagOrNoKey;
        const TRepairSetting ratings{HKLM,
                                     kRatings,
                                     L"Key",
                                     TRule::LeadingUnitNonZero,
                                     TAction::Own,
                                     &IDS_IEREPAIR_Repaired_IEContentPassword,
                                     &IDS_IEREPAIR_Repaired_Enabled,
                                     &IDS_IEREPAIR_Repaired_Disabled,
                                     L0,
                                     nullptr,
                                     nullptr,
                                     false,
                                     false,
                                     nullptr,
                                     RepairRatings};
        add(0, SK_ITEM(IDS_IEREPAIR_InternetOptions), true,
            {Policy(HKCU, kIERestrictions, L"NoBrowserOptions", &IDS_IEREPAIR_Repaired_InternetOptions, L1),
             IEPanel(L"GeneralTab", &IDS_IEREPAIR_Repaired_InternetOptionsGeneral),
             IEPanel(L"SecurityTab", &IDS_IEREPAIR_Repaired_InternetOptionsSecurity),
             IEPanel(L"PrivacyTab", &IDS_IEREPAIR_Repaired_InternetOptionsPrivacy),
             IEPanel(L"ContentTab", &IDS_IEREPAIR_Repaired_InternetOptionsContent),
             IEPanel(L"ConnectionsTab", &IDS_IEREPAIR_Repaired_InternetOptionsConnections),
             IEPanel(L"ProgramsTab", &IDS_IEREPAIR_Repaired_InternetOptionsPrograms),
             IEPanel(L"AdvancedTab", &IDS_IEREPAIR_Repaired_InternetOptionsAdvanced),
             IEPanel(L"HomePage", &IDS_IEREPAIR_Repaired_IEHomePageSetting),
             IEPanel(L"Cache", &IDS_IEREPAIR_Repaired_IETempFileSetting),
             IEPanel(L"History", &IDS_IEREPAIR_Repaired_IEHistorySetting),
             IEPanel(L"Colors", &IDS_IEREPAIR_Repaired_IEColorSetting),
             IEPanel(L"Links", &IDS_IEREPAIR_Repaired_IEHyperLinkColorSetting),
             IEPanel(L"Fonts", &IDS_IEREPAIR_Repaired_IEFontSetting),
             IEPanel(L"Languages", &IDS_IEREPAIR_Repaired_IELanguageSetting),
             IEPanel(L"Accessibility", &IDS_IEREPAIR_Repaired_IEAccessibilitySetting),
             secChange,
             ratings,
             IEPanelCreating(L"Connwiz Admin Lock", &IDS_IEREPAIR_Repaired_IESetupConnection),
             IEPanelCreating(L"Connection Settings", &IDS_IEREPAIR_Repaired_IEConnectionSetting),
             IEPanelCreating(L"Proxy", &IDS_IEREPAIR_Repaired_IEProxySetting),
             IEPanelCreating(L"AutoConfig", &IDS_IEREPAIR_Repaired_IEAutoConfig),
             IEPanel(L"Settings", &IDS_IEREPAIR_Repaired_IESettings)});
    }
    // 10: File menu
    add(0, SK_ITEM(IDS_IEREPAIR_FileMenu), true,
        {Policy(HKCU, kExplorerPolicies, L"NoFileMenu", &IDS_IEREPAIR_Repaired_FileMenu, L2)});
    // 11: registry editor: the value stays, set to 0
    add(1, SK_ITEM(IDS_IEREPAIR_EnableRegistryEditor), true,
        {{HKCU, kSystemPolicies, L"DisableRegistryTools", TRule::PolicyFlag, TAction::WriteZeroIfPresent,
          &IDS_IEREPAIR_Repaired_RegistryEditor, &IDS_IEREPAIR_Repaired_Disabled, &IDS_IEREPAIR_Repaired_Enabled, L0}});
    // 12: common Start-menu items
    add(1, SK_ITEM(IDS_IEREPAIR_StartMenu), true,
        {StartMenu(L"NoRun", &IDS_IEREPAIR_Repaired_RunInStartMemu),
         StartMenu(L"NoClose", &IDS_IEREPAIR_Repaired_CloseInStartMenu),
         StartMenu(L"StartMenuLogOff", &IDS_IEREPAIR_Repaired_LogOffInStartMenu),
         StartMenu(L"NoRecentDocsMenu", &IDS_IEREPAIR_Repaired_RecentDocsInStartMenu),
         StartMenu(L"NoFind", &IDS_IEREPAIR_Repaired_SearchInStartMenu),
         StartMenu(L"NoControlPanel", &IDS_IEREPAIR_Repaired_ControlPanelInStartMenu),
         StartMenu(L"NoSetFolders", &IDS_IEREPAIR_Repaired_SetFoldersInStartMenu),
         StartMenu(L"NoSetTaskbar", &IDS_IEREPAIR_Repaired_SetTaskbarInStartMenu),
         StartMenu(L"NoTrayContextMenu", &IDS_IEREPAIR_Repaired_PopuMenuOfTaskbar)});
    // 13: folder options
    add(1, SK_ITEM(IDS_IEREPAIR_FolderOptions), true,
        {Policy(HKCU, kExplorerPolicies, L"NoFolderOptions", &IDS_IEREPAIR_Repaired_FolderOptions, L2)});
    // 14: network places icon
    add(1, SK_ITEM(IDS_IEREPAIR_MyNetworkPlace), true,
        {Policy(HKCU, kExplorerPolicies, L"NoNetHood", &IDS_IEREPAIR_Repaired_MyNetworkPlace, L2,
                &IDS_IEREPAIR_Repaired_Lost, &IDS_IEREPAIR_Repaired_Repaired)});
    // 15: long date format shown in file properties
    add(1, SK_ITEM(IDS_IEREPAIR_FileProperties), false,
        {{HKCU, kInternational, L"sLongDate", TRule::Always, TAction::DeleteValue,
          &IDS_IEREPAIR_Repaired_FileProperties, nullptr, &IDS_IEREPAIR_Repaired_Cleared, L0}});
    // 16: desktop
    add(1, SK_ITEM(IDS_IEREPAIR_Desktop), true,
        {Policy(HKCU, kExplorerPolicies, L"NoDesktop", &IDS_IEREPAIR_Repaired_Desktop, L2)});
    // 17: hidden drives
    {
        TRepairSetting drives = Policy(HKCU, kExplorerPolicies, L"NoDrives", &IDS_IEREPAIR_Repaired_HiddenDrives, L2);
        drives.Rule = TRule::LeadingUnitNonZero;
        drives.AcceptNumber = true;  // group policy stores the drive mask as REG_DWORD
        add(1, SK_ITEM(IDS_IEREPAIR_HiddenDrives), true, {drives});
    }
    // 18: association of .reg files
    add(1, SK_ITEM(IDS_IEREPAIR_RegFile), true,
        {{HKCR, kRegExtension, L"", TRule::TextIsNot, TAction::WriteTextCreatingKey, &kRegFileLabel, nullptr, nullptr,
          L0, L"regfile"}});
    // 19: association of .exe files
    add(1, SK_ITEM(IDS_IEREPAIR_ExeFile), true,
        {{HKCR, kExeCommand, L"", TRule::TextIsNot, TAction::WriteTextCreatingKey, &IDS_IEREPAIR_Repaired_ExeFile,
          nullptr, &IDS_IEREPAIR_Repaired_Default, L0, L"\"%1\" %*"}});
    // 20: legal notice at logon
    add(1, SK_ITEM(IDS_IEREPAIR_LogonAdvertise), true,
        {{HKLM, kWinLogon, L"LegalNoticeCaption", TRule::Own, TAction::Own, &IDS_IEREPAIR_Repaired_LogOnAdvertise,
          nullptr, &IDS_IEREPAIR_Repaired_Cleared, L2, nullptr, nullptr, false, false, CheckLogonNotice,
          RepairLogonNotice}});
    // 21: Outlook Express title
    add(1, SK_ITEM(IDS_IEREPAIR_OETitle), true,
        {{HKCU, kIdentities, L"WindowTitle", TRule::Own, TAction::Own, &IDS_IEREPAIR_Repaired_OETitle, nullptr,
          &IDS_IEREPAIR_Repaired_Default, L0, nullptr, nullptr, false, false, CheckOutlookTitle, RepairOutlookTitle}});
#undef SK_ITEM
    return items;
}

const std::vector<TItemDef>& Catalogue() {
    static const std::vector<TItemDef> items = BuildCatalogue();
    return items;
}

const std::vector<TRepairItem>& ItemList() {
    static const std::vector<TRepairItem> list = [] {
        std::vector<TRepairItem> out;
        for (const auto& def : Catalogue()) out.push_back(def.Item);
        return out;
    }();
    return list;
}

const TItemDef& ItemDef(int index) {
    if (index < 0 || index >= RepairItemCount) throw std::out_of_range("repair item index");
    return Catalogue()[static_cast<size_t>(index)];
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The first 16-bit unit of binary data; a lone byte is that unit's low half.
unsigned LeadingUnit(const std::vector<uint8_t>& data) {
    if (data.empty()) return 0;
    return data.size() == 1 ? data[0] : static_cast<unsigned>(data[0] | (data[1] << 8));
}

TFinding Check(TRegistryBackend& backend, const TRepairSetting& s) {
    if (s.OwnCheck) return s.OwnCheck(backend, s);
    TFinding f;
    TRegistryStore store(backend, s.Root);
    const bool opened = store.Open(s.Path, false);
    const bool present = opened && store.HasValue(s.Value);
    switch (s.Rule) {
        case TRule::PolicyFlag:
            f.Needs = present && store.ReadNumber(s.Value) != 0;
            break;
        case TRule::PolicyFlagOrNoKey:
            f.Needs = !opened || (present && store.ReadNumber(s.Value) != 0);
            break;
        case TRule::TextNotAccepted:
            if (present) {
                f.AsRead = store.ReadText(s.Value);
                f.Needs = f.AsRead != s.Target && !(s.Accepted && f.AsRead == s.Accepted);
            }
            break;
        case TRule::PageNotBlank:
            if (present) {
                f.AsRead = store.ReadText(s.Value);
                f.Needs = Lower(f.AsRead) != s.Target;
            }
            break;
        case TRule::TextNotEmpty:
            if (present) {
                f.AsRead = store.ReadText(s.Value);
                f.Needs = !f.AsRead.empty();
            }
            break;
        case TRule::TextIsNot:
            if (opened) f.AsRead = store.ReadText(s.Value);
            f.Needs = f.AsRead != s.Target;
            break;
        case TRule::TextListNotEmpty: {
            const auto entries = store.ReadTextList(s.Root, s.Path, s.Value);
            for (const auto& entry : entries) f.AsRead += entry + L";";
            f.Needs = !entries.empty();
            break;
        }
        case TRule::LeadingUnitNonZero:
            if (present) {
                const auto raw = store.ReadValue(s.Value);
                if (s.AcceptNumber && raw && raw->Type == REG_DWORD)
                    f.Needs = store.ReadNumber(s.Value) != 0;
                else
                    f.Needs = LeadingUnit(store.ReadBytes(s.Value)) != 0;
            }
            break;
        case TRule::ZeroRequired:
            f.Needs = !(present && store.ReadNumber(s.Value) == 0);
            break;
        case TRule::Always:
            f.AsRead = opened ? store.ReadText(s.Value) : std::wstring();
            f.Needs = true;
            break;
        case TRule::Own:
            break;
    }
    return f;
}

// Carries out the repair. A write that fails raises the store's TError.
TStep Apply(TRegistryBackend& backend, const TRepairSetting& s, const TFinding& found) {
    if (s.OwnRepair) return s.OwnRepair(backend, s, found);
    TRegistryStore store(backend, s.Root);
    const std::wstring key = KeyName(s.Root, s.Path);
    switch (s.Action) {
        case TAction::DeleteValue:
        case TAction::DeleteValueCreatingKey: {
            const bool create = s.Action == TAction::DeleteValueCreatingKey;
            if (!store.Open(s.Path, create)) {
                // An item without a check clears what there is: an absent key holds nothing.
                if (s.Rule == TRule::Always && !create) return Done();
                return Fail(create ? IDS_IEREPAIR_Reason_CreateKey : IDS_IEREPAIR_Reason_OpenKey, key);
            }
            if (store.HasValue(s.Value) && !store.RemoveValue(s.Value)) return Fail(IDS_IEREPAIR_Reason_DeleteValue, s.Value);
            return Done();
        }
        case TAction::WriteTextIfOpens:
            if (!store.Open(s.Path, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, key);
            store.WriteText(s.Value, s.Target);
            return Done();
        case TAction::WriteTextIfPresent:
            if (!store.Open(s.Path, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, key);
            if (!store.HasValue(s.Value)) return Nothing();
            store.WriteText(s.Value, s.Target);
            return Done();
        case TAction::WriteTextCreatingKey:
            if (!store.Open(s.Path, true)) return Fail(IDS_IEREPAIR_Reason_CreateKey, key);
            store.WriteText(s.Value, s.Target);
            return Done();
        case TAction::WriteZeroIfPresent:
            if (!store.Open(s.Path, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, key);
            if (!store.HasValue(s.Value)) return Nothing();
            store.WriteNumber(s.Value, 0);
            return Done();
        case TAction::WriteZeroCreatingKey:
            if (!store.Open(s.Path, true)) return Fail(IDS_IEREPAIR_Reason_CreateKey, key);
            store.WriteNumber(s.Value, 0);
            if (s.NotifyShell) backend.NotifyAssociationsChanged();
            return Done();
        case TAction::ClearTextList:
            if (!store.Open(s.Path, false)) return Fail(IDS_IEREPAIR_Reason_OpenKey, key);
            store.ClearTextList(s.Root, s.Path, s.Value);
            return Done();
        case TAction::Own:
            break;
    }
    return Nothing();
}

}  // namespace

std::span<const TRepairItem> RepairItems() { return ItemList(); }

const TRepairItem& RepairItemAt(int index) { return ItemDef(index).Item; }

bool ItemNeedsRepair(int index, TRegistryBackend& backend) {
    const TItemDef& def = ItemDef(index);
    if (!def.Item.Scanned) return false;
    // Every setting is evaluated, so a value of the wrong type is reported by the scan already.
    bool needs = false;
    for (const auto& setting : def.Settings)
        if (Check(backend, setting).Needs) needs = true;
    return needs;
}

TRepairCheck CheckItem(int index, TRegistryBackend& backend) {
    const TItemDef& def = ItemDef(index);
    TRepairCheck result;
    if (!def.Item.Scanned) return result;
    bool needs = false;
    for (const auto& setting : def.Settings) {
        try {
            if (Check(backend, setting).Needs) needs = true;
        } catch (const TError& e) {
            result.Unreadable.push_back(e.Message());
        }
    }
    result.State = needs ? TRepairState::NeedsRepair
                         : result.Unreadable.empty() ? TRepairState::InOrder : TRepairState::NotCheckable;
    return result;
}

std::vector<TRepairCheck> CheckAllItems(TRegistryBackend& backend) {
    std::vector<TRepairCheck> checks;
    checks.reserve(RepairItemCount);
    for (int index = 0; index < RepairItemCount; ++index) checks.push_back(CheckItem(index, backend));
    return checks;
}

std::wstring RepairLineText(const TRepairItem& item, const TRepairCheck& check) {
    switch (check.State) {
        case TRepairState::NeedsRepair: return IDS_IEREPAIR_Changed + L" " + *item.Text;
        case TRepairState::NotCheckable:
            return Fmt(IDS_IEREPAIR_NotCheckable, check.Unreadable.empty() ? std::wstring() : check.Unreadable.front()) +
                   L" " + *item.Text;
        case TRepairState::InOrder: break;
    }
    return *item.Text;
}

std::wstring RepairScanProblems(const std::vector<TRepairCheck>& checks) {
    std::wstring lines;
    for (size_t i = 0; i < checks.size() && i < static_cast<size_t>(RepairItemCount); ++i)
        for (const auto& reason : checks[i].Unreadable)
            lines += L"\n" + TrimmedText(*RepairItemAt(static_cast<int>(i)).Text) + L": " + reason;
    return lines.empty() ? std::wstring() : IDS_IEREPAIR_MSG_Unreadable + lines;
}

TRepairLevel RepairItem(int index, std::vector<TRepairRow>& rows, TRegistryBackend& backend) {
    TRepairLevel level = TRepairLevel::None;
    for (const auto& setting : ItemDef(index).Settings) {
        TFinding found;
        TStep step;
        try {
            found = Check(backend, setting);
            if (!found.Needs) continue;
            step = Apply(backend, setting, found);
        } catch (const TError& e) {
            // The value could not be read, or not written: this setting failed, the others go on.
            step = {TStep::Failed, e.Message()};
        }
        if (step.Outcome == TStep::Nothing) continue;
        const std::wstring before = setting.Before ? *setting.Before : found.AsRead;
        if (step.Outcome == TStep::Failed) {
            // A failure is never dropped: with a blank label, the value's name says which it was.
            std::wstring label = *setting.Label;
            if (IsBlankText(label)) label = setting.Value && *setting.Value ? setting.Value : setting.Path;
            rows.push_back({label, before, Fmt(IDS_IEREPAIR_Repaired_Failed, step.Reason), true});
            continue;
        }
        if (!IsBlankText(*setting.Label))
            rows.push_back({*setting.Label, before, setting.After ? *setting.After : std::wstring(setting.Target)});
        if (setting.Level > level) level = setting.Level;
    }
    return level;
}

int FailedRowCount(const std::vector<TRepairRow>& rows) {
    int failed = 0;
    for (const auto& row : rows) failed += row.Failed ? 1 : 0;
    return failed;
}

std::wstring RepairClosingText(TRepairLevel level, int failures) {
    std::wstring text = level == TRepairLevel::LogOff      ? IDS_IEREPAIR_MSG_LogOff
                        : level == TRepairLevel::RestartIE ? IDS_IEREPAIR_MSG_RestartIE
                                                           : std::wstring();
    if (failures > 0) text += (text.empty() ? L"" : L"\n\n") + Fmt(IDS_IEREPAIR_MSG_Failures, failures);
    return text;
}

}  // namespace sk
