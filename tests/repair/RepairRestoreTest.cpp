// Repairs undone on the real registry: each of the 22 items broken, repaired through a restore
// point, and put back, and then all 22 at once; `reg export` (Wine's own reg.exe) of every key the
// item works in, and an exact dump of every key the catalogue touches, are the same before the
// repair and after the restore, byte for byte, types included. The keys are copied first and put
// back at the end.
#include "TestSupport.h"

#include <algorithm>
#include <set>

#include "RepairTestSupport.h"
#include "RestoreTestSupport.h"
#include "base/StringTable.h"
#include "registry/Restore.h"
#include "registry/RegistryTree.h"
#include "repair/IERepairFuncs.h"

using namespace sk;
using namespace sktest;
using namespace sktest::repairkeys;

namespace {

const std::wstring OETitleKey = L"Identities\\{RESTORE-1}\\Software\\Microsoft\\Outlook Express\\5.0";

const std::vector<TRegFact> Clean = CatalogueSettingsRemoved();

// Each item broken, with values of every type the catalogue meets.
std::vector<TRegFact> BrokenItem(int index) {
    switch (index) {
        case 0:
            return {Text(HKCU, Main, L"Start Page", L"http://start.example/"),
                    Text(HKCU, Main, L"Local Page", L"http://local.example/"),
                    Val(HKCU, Main, L"Default_Secondary_Page_URL", RegTextList({L"http://a.example/", L"b"}))};
        case 1:
            return {Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1)};
        case 2:
            return {Text(HKLM, Search, L"SearchAssistant", L"http://search.example/"),
                    Text(HKCU, Scopes, L"DefaultScope", EvilScope),
                    Text(HKCU, Scopes + L"\\" + EvilScope, L"DisplayName", L"Evil search"),
                    Text(HKCU, Scopes + L"\\" + BingScopeGuid, L"DisplayName", L"Old Bing"),
                    Text(HKU, DefaultHiveScopes, L"DefaultScope", EvilScope)};
        case 3:
            return {Val(HKCU, Main, L"Window Title", RegText(L"Hijacked %USERNAME%", REG_EXPAND_SZ))};
        case 4:
            return {Num(HKCU, DesktopIcons, IEDesktopIconGuid, 1)};
        case 5:
            return {Text(HKCU, Toolbar, L"LinksFolderName", L"Sponsored links")};
        case 6:
            return {Num(HKCU, IERestrictions, L"NoViewSource", 1)};
        case 7:
            return {Num(HKCU, Zone3, L"1803", 3)};
        case 8:
            return {Text(HKCU, Toolbar, L"BrandBitmap", L"C:\\brand.bmp"),
                    Text(HKCU, Toolbar, L"BackBitmapIE5", L"C:\\back.bmp")};
        case 9:
            return {Num(HKCU, IEControlPanel, L"GeneralTab", 1), Num(HKCU, IEControlPanel, L"Proxy", 1),
                    Val(HKLM, Ratings, L"Key", RegBytes({0x41, 0, 0x42, 0})),
                    Num(HKLM, Ratings + L"\\.Default", L"Level", 3)};
        case 10:
            return {Num(HKCU, ExplorerPolicies, L"NoFileMenu", 1)};
        case 11:
            return {Num(HKCU, SystemPolicies, L"DisableRegistryTools", 1)};
        case 12:
            return {Num(HKCU, ExplorerPolicies, L"NoRun", 1), Num(HKCU, ExplorerPolicies, L"NoClose", 1)};
        case 13:
            return {Num(HKCU, ExplorerPolicies, L"NoFolderOptions", 1)};
        case 14:
            return {Num(HKCU, ExplorerPolicies, L"NoNetHood", 1)};
        case 15:
            return {Text(HKCU, International, L"sLongDate", L"'Hacked' dddd")};
        case 16:
            return {Num(HKCU, ExplorerPolicies, L"NoDesktop", 1)};
        case 17:
            return {Val(HKCU, ExplorerPolicies, L"NoDrives", RegBytes({4, 0, 0, 0}))};
        case 18:
            return {Text(HKCR, L".reg", L"", L"txtfile")};
        case 19:
            return {Text(HKCR, ExeCommand, L"", L"evil.exe \"%1\" %*")};
        case 20:
            return {Text(HKLM, WinLogon, L"LegalNoticeCaption", L"Notice"),
                    Text(HKLM, WinLogon, L"LegalNoticeText", L"Buy now")};
        case 21:
            return {Text(HKCU, OETitleKey, L"WindowTitle", L"Hijacked Mail")};
    }
    return {};
}

// Every key the catalogue reads or changes, for the exact dump.
const std::vector<std::pair<TRegRoot, std::wstring>> TouchedKeys = {
    {HKCU, Main},      {HKCU, Scopes},        {HKCU, Toolbar},
    {HKCU, HideIcons}, {HKCU, UserPolicies},  {HKCU, L"Software\\Policies"},
    {HKCU, Zone3},     {HKCU, International}, {HKCU, L"Identities"},
    {HKLM, Search},    {HKLM, Ratings},       {HKLM, WinLogon},
    {HKCR, L".reg"},   {HKCR, ExeCommand},    {HKU, DefaultHiveScopes},
};

// `reg export` of one key with everything beneath it: the .reg file's bytes, or a marker when
// reg.exe finds no such key.
std::vector<unsigned char> RegExport(TRegRoot root, const std::wstring& path, const TTempDir& dir) {
    const std::wstring file = dir / L"export.reg";
    ::DeleteFileW(file.c_str());
    std::wstring command = L"reg.exe export \"" + RegRootName(root) + L"\\" + path + L"\" \"" + file + L"\" /y";
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;  // its messages are not ours to print
    PROCESS_INFORMATION pi{};
    // Starting a program under Wine fails now and then while the server is busy: a few tries.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) ::Sleep(200);
        started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &si, &pi);
        if (!started) error = ::GetLastError();
    }
    INFO("CreateProcess error " << error);
    REQUIRE(started);
    THandle process(pi.hProcess), thread(pi.hThread);
    REQUIRE(::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    if (code != 0) return {'(', 'n', 'o', ' ', 'k', 'e', 'y', ')'};
    auto bytes = ReadBytes(file);
    REQUIRE(bytes.size() > 2);
    return bytes;
}

using TKeyList = std::vector<std::pair<TRegRoot, std::wstring>>;

TKeyList ExportKeysOf(const std::vector<TRegFact>& facts) {
    TKeyList keys;
    for (const auto& f : facts)
        if (std::find(keys.begin(), keys.end(), std::pair{f.Root, f.Path}) == keys.end())
            keys.push_back({f.Root, f.Path});
    return keys;
}

std::vector<std::vector<unsigned char>> ExportAll(const TKeyList& keys, const TTempDir& dir) {
    std::vector<std::vector<unsigned char>> out;
    for (const auto& [root, path] : keys) out.push_back(RegExport(root, path, dir));
    return out;
}

std::wstring AsText(const std::vector<unsigned char>& bytes) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

// reg export of each key now is what it was, byte for byte.
void CheckExports(const TKeyList& keys, const std::vector<std::vector<unsigned char>>& was, const TTempDir& dir) {
    const auto now = ExportAll(keys, dir);
    REQUIRE(now.size() == was.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        INFO("reg export " << Narrow(RegRootName(keys[i].first) + L"\\" + keys[i].second));
        CHECK(now[i].size() == was[i].size());
        CHECK(AsText(now[i]) == AsText(was[i]));
        CHECK(now[i] == was[i]);
    }
}

std::vector<TRestoreRow> ToRestoreRows(const std::vector<TRepairRow>& rows) {
    std::vector<TRestoreRow> out;
    for (const auto& r : rows) out.push_back({r.Label, r.Before, r.After});
    return out;
}

std::vector<std::wstring> ItemTexts(const std::vector<int>& items) {
    std::vector<std::wstring> texts;
    for (int i : items) texts.push_back(*RepairItemAt(i).Text);
    return texts;
}

// Repairs the items through a restore point; the point's id.
std::wstring RepairRecorded(const TRestoreStore& store, const std::vector<int>& items) {
    auto point = TRestorePoint::Begin(store, {L"repair", IDS_IEREPAIR_Title, ItemTexts(items)});
    std::vector<TRepairRow> rows;
    for (int i : items) RepairItem(i, rows, point->Registry());
    REQUIRE_FALSE(rows.empty());
    point->Complete(ToRestoreRows(rows));
    return point->Id();
}

bool AnyNeedsRepair(const std::vector<int>& items) {
    return std::any_of(items.begin(), items.end(), [](int i) { return ItemNeedsRepair(i); });
}

// Keys big enough to hold everything the catalogue changes, for reg.exe in the all-at-once case.
const TKeyList WideKeys = {
    {HKCU, L"Software\\Microsoft\\Internet Explorer"},
    {HKCU, L"Software\\Microsoft\\Windows\\CurrentVersion"},
    {HKCU, L"Software\\Policies"},
    {HKCU, International},
    {HKCU, L"Identities"},
    {HKLM, L"Software\\Microsoft\\Internet Explorer\\Search"},
    {HKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies"},
    {HKLM, WinLogon},
    {HKCR, L".reg"},
    {HKCR, L"exefile"},
    {HKU, L".Default\\Software\\Microsoft\\Internet Explorer"},
};

}  // namespace

TEST_CASE("repair undone: each of the 22 items broken, repaired, restored: reg export byte-identical") {
    TRegistrySnapshot saved(TouchedKeys);
    TTempDir dir;
    for (int index = 0; index < RepairItemCount; ++index) {
        CAPTURE(index);
        TRestoreBench bench;
        ApplyFacts(WindowsRegistryBackend(), Clean);
        const auto broken = BrokenItem(index);
        REQUIRE_FALSE(broken.empty());
        ApplyFacts(WindowsRegistryBackend(), broken);
        const bool scanned = RepairItemAt(index).Scanned;
        if (scanned) CHECK(ItemNeedsRepair(index));
        const TKeyList keys = ExportKeysOf(broken);
        const auto exported = ExportAll(keys, dir);
        const auto dumped = DumpRealKeys(TouchedKeys);

        const std::wstring id = RepairRecorded(bench.Store, {index});
        if (scanned) CHECK_FALSE(ItemNeedsRepair(index));  // the repair went through the recording registry
        CHECK(DumpRealKeys(TouchedKeys) != dumped);

        const TRestorePlan plan = PlanRestore(bench.Store, id);
        CHECK(plan.ChangedSince.empty());
        CHECK_FALSE(plan.Changes.empty());
        RunRestore(bench.Store, plan, false);
        CheckExports(keys, exported, dir);
        CHECK(DumpRealKeys(TouchedKeys) == dumped);
        if (scanned) CHECK(ItemNeedsRepair(index));
    }
}

TEST_CASE("repair undone: all 22 items at once, restored and the restore restored") {
    TRegistrySnapshot saved(TouchedKeys);
    TTempDir dir;
    TRestoreBench bench;
    ApplyFacts(WindowsRegistryBackend(), Clean);
    std::vector<int> all;
    for (int i = 0; i < RepairItemCount; ++i) {
        ApplyFacts(WindowsRegistryBackend(), BrokenItem(i));
        all.push_back(i);
    }
    REQUIRE(AnyNeedsRepair(all));
    const auto exported = ExportAll(WideKeys, dir);
    const auto dumped = DumpRealKeys(TouchedKeys);

    const std::wstring id = RepairRecorded(bench.Store, all);
    CHECK_FALSE(AnyNeedsRepair(all));
    const auto repairedExport = ExportAll(WideKeys, dir);
    const auto repairedDump = DumpRealKeys(TouchedKeys);
    CHECK(repairedExport != exported);

    const TRestorePlan plan = PlanRestore(bench.Store, id);
    CHECK(plan.ChangedSince.empty());
    const TRestoreResult undo = RunRestore(bench.Store, plan, false);
    CheckExports(WideKeys, exported, dir);
    CHECK(DumpRealKeys(TouchedKeys) == dumped);

    // The restore is itself undone: back to the repaired state.
    RunRestore(bench.Store, PlanRestore(bench.Store, undo.PointId), false);
    CHECK_FALSE(AnyNeedsRepair(all));
    CheckExports(WideKeys, repairedExport, dir);
    CHECK(DumpRealKeys(TouchedKeys) == repairedDump);

    const auto list = bench.Store.List();
    REQUIRE(list.size() == 3);
    CHECK(list[2].Title == IDS_IEREPAIR_Title);
    CHECK(list[2].Items.size() == 22);
    CHECK(list[2].Rows.size() > 22);
}
