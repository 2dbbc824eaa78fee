// Helpers of the repair tests: printing result rows, and the keys the catalogue names.
#pragma once

#include <doctest.h>

#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "repair/IERepairFuncs.h"

namespace doctest {
template <>
struct StringMaker<sk::TRepairRow> {
    static String convert(const sk::TRepairRow& r) {
        std::string out = "{\"";
        out += sktest::Narrow(r.Label);
        out += "\", \"";
        out += sktest::Narrow(r.Before);
        out += "\", \"";
        out += sktest::Narrow(r.After);
        out += r.Failed ? "\", failed}" : "\"}";
        return String(out.c_str());
    }
};
template <>
struct StringMaker<std::vector<sk::TRepairRow>> {
    static String convert(const std::vector<sk::TRepairRow>& rows) {
        String out = "[";
        for (const auto& r : rows) out += StringMaker<sk::TRepairRow>::convert(r) + " ";
        return out + "]";
    }
};
}  // namespace doctest

namespace sktest {

// The roots and keys that the repair tests name, as the catalogue knows them.
namespace repairkeys {

inline constexpr sk::TRegRoot HKCR = sk::TRegRoot::ClassesRoot;
inline constexpr sk::TRegRoot HKCU = sk::TRegRoot::CurrentUser;
inline constexpr sk::TRegRoot HKLM = sk::TRegRoot::LocalMachine;
inline constexpr sk::TRegRoot HKU = sk::TRegRoot::Users;

inline const std::wstring Main = L"Software\\Microsoft\\Internet Explorer\\Main";
inline const std::wstring Search = L"Software\\Microsoft\\Internet Explorer\\Search";
inline const std::wstring Scopes = L"Software\\Microsoft\\Internet Explorer\\SearchScopes";
inline const std::wstring Toolbar = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
inline const std::wstring HideIcons = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons";
inline const std::wstring DesktopIcons = HideIcons + L"\\NewStartPanel";
inline const std::wstring UserPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
inline const std::wstring ExplorerPolicies = UserPolicies + L"\\Explorer";
inline const std::wstring SystemPolicies = UserPolicies + L"\\System";
inline const std::wstring Ratings = UserPolicies + L"\\Ratings";
inline const std::wstring IEPolicies = L"Software\\Policies\\Microsoft\\Internet Explorer";
inline const std::wstring IERestrictions = IEPolicies + L"\\Restrictions";
inline const std::wstring IEControlPanel = IEPolicies + L"\\Control Panel";
inline const std::wstring Zone3 = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
inline const std::wstring International = L"Control Panel\\International";
inline const std::wstring WinLogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline const std::wstring ExeCommand = L"exefile\\shell\\open\\command";
inline const std::wstring DefaultHiveScopes = L".Default\\Software\\Microsoft\\Internet Explorer\\SearchScopes";
inline const std::wstring EvilScope = L"{11111111-2222-3333-4444-555555555555}";

// What this machine holds of the catalogue's settings, removed before a test so every item starts
// alike and the rows are known.
inline std::vector<TRegFact> CatalogueSettingsRemoved() {
    return {
        NoKey(HKCU, Scopes),
        NoKey(HKCU, Toolbar),
        NoKey(HKCU, DesktopIcons),
        NoKey(HKCU, ExplorerPolicies),
        NoKey(HKCU, SystemPolicies),
        NoKey(HKCU, IEPolicies),
        NoKey(HKLM, Ratings),
        NoKey(HKCU, L"Identities"),
        NoKey(HKU, DefaultHiveScopes),
        NoVal(HKCU, Main, L"Start Page"),
        NoVal(HKCU, Main, L"Local Page"),
        NoVal(HKCU, Main, L"Default_Page_URL"),
        NoVal(HKCU, Main, L"Default_Secondary_Page_URL"),
        NoVal(HKCU, Main, L"Window Title"),
        NoVal(HKLM, Search, L"SearchAssistant"),
        NoVal(HKLM, Search, L"CustomizeSearch"),
        NoVal(HKLM, WinLogon, L"LegalNoticeCaption"),
        NoVal(HKLM, WinLogon, L"LegalNoticeText"),
    };
}

}  // namespace repairkeys

}  // namespace sktest
