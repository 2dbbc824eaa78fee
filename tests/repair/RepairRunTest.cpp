// The repair run on the real registry: its restore point is made before the first change and keeps
// the items and the rows; putting it back undoes every change; a point that cannot be made, or a
// change it cannot record, leaves the registry as it was. The keys it touches are copied first and
// put back at the end.
#include "TestSupport.h"

#include <functional>
#include <stdexcept>
#include <utility>

#include "RepairTestSupport.h"
#include "RestoreTestSupport.h"
#include "base/StringTable.h"
#include "registry/Restore.h"
#include "repair/RepairRun.h"

using namespace sk;
using namespace sktest;
using namespace sktest::repairkeys;

namespace {

const std::vector<std::pair<TRegRoot, std::wstring>> TouchedKeys = {
    {HKCU, Main},          {HKCU, HideIcons},      {HKCU, UserPolicies}, {HKCU, L"Software\\Policies"},
    {HKLM, Ratings},       {HKLM, WinLogon},       {HKCR, L".reg"},
};

const std::vector<TRegFact> Clean = {
    NoKey(HKCU, DesktopIcons),
    NoKey(HKCU, ExplorerPolicies),
    NoKey(HKCU, IEPolicies),
    NoKey(HKLM, Ratings),
    NoVal(HKCU, Main, L"Start Page"),
    NoVal(HKCU, Main, L"Local Page"),
    NoVal(HKCU, Main, L"Default_Page_URL"),
    NoVal(HKCU, Main, L"Default_Secondary_Page_URL"),
    NoVal(HKCU, Main, L"Window Title"),
    NoVal(HKLM, WinLogon, L"LegalNoticeCaption"),
    NoVal(HKLM, WinLogon, L"LegalNoticeText"),
};

// Items 0, 1, 4, 9, 12, 18 and 20 broken: values written, deleted and emptied, a key made (4) and a
// subtree removed and made again (9), in HKCU, HKLM and HKCR.
const std::vector<TRegFact> Broken = {
    Text(HKCU, Main, L"Start Page", L"http://start.example/"),
    Val(HKCU, Main, L"Default_Secondary_Page_URL", RegTextList({L"http://a.example/", L"b"})),
    Num(HKCU, ExplorerPolicies, L"NoViewContextMenu", 1),
    Num(HKCU, IEControlPanel, L"GeneralTab", 1),
    Val(HKLM, Ratings, L"Key", RegBytes({0x41, 0, 0x42, 0})),
    Num(HKLM, Ratings + L"\\.Default", L"Level", 3),
    Num(HKCU, ExplorerPolicies, L"NoRun", 1),
    Num(HKCU, ExplorerPolicies, L"NoClose", 1),
    Text(HKCR, L".reg", L"", L"txtfile"),
    Text(HKLM, WinLogon, L"LegalNoticeCaption", L"Notice"),
    Text(HKLM, WinLogon, L"LegalNoticeText", L"Buy now"),
};
const std::vector<int> BrokenItems = {0, 1, 4, 9, 12, 18, 20};

std::vector<std::wstring> ItemTexts(const std::vector<int>& items) {
    std::vector<std::wstring> texts;
    for (int i : items) texts.push_back(*RepairItemAt(i).Text);
    return texts;
}

std::vector<TRestoreRow> ToRestoreRows(const std::vector<TRepairRow>& rows) {
    std::vector<TRestoreRow> out;
    for (const auto& r : rows) out.push_back({r.Label, r.Before, r.After});
    return out;
}

// Calls a function at the first key opened through it: the moment after the run's point is made
// and before its first change.
class TFirstOpenHook : public TRegistryBackend {
public:
    TFirstOpenHook(TRegistryBackend& inner, std::function<void()> hook) : FInner(inner), FHook(std::move(hook)) {}
    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, TRegView view, const std::wstring& path, bool create) override {
        if (FHook) std::exchange(FHook, nullptr)();
        return FInner.OpenKey(root, view, path, create);
    }

private:
    TRegistryBackend& FInner;
    std::function<void()> FHook;
};

}  // namespace

TEST_CASE("repair run: one restore point with the items and the rows, and putting it back undoes every change") {
    TRegistrySnapshot saved(TouchedKeys);
    TRestoreBench bench;
    ApplyFacts(WindowsRegistryBackend(), Clean);
    ApplyFacts(WindowsRegistryBackend(), Broken);
    for (int i : BrokenItems) CHECK(ItemNeedsRepair(i));
    const auto before = DumpRealKeys(TouchedKeys);

    // Item 5 (no check) too, so that the run's order is the order given, not the index order.
    const std::vector<int> items = {12, 5, 0, 1, 4, 9, 18, 20};
    const TRepairRunResult run = RunRepair(bench.Store, items);
    CHECK(run.Problem.empty());
    CHECK(run.Level == TRepairLevel::LogOff);
    REQUIRE(run.Rows.size() > items.size());
    CHECK(run.Rows[0].Label == IDS_IEREPAIR_Repaired_RunInStartMemu);
    CHECK(run.Rows[2].Label == IDS_IEREPAIR_Repaired_LinkFolder);
    CHECK(FailedRowCount(run.Rows) == 0);
    for (int i : BrokenItems) CHECK_FALSE(ItemNeedsRepair(i));

    const auto points = bench.Store.List();
    REQUIRE(points.size() == 1);
    const TRestorePointInfo& point = points[0];
    CHECK(point.Id == run.PointId);
    CHECK(point.State == TRestoreState::Complete);
    CHECK(point.Operation == L"repair");
    CHECK(point.Title == L"Repair");
    CHECK(point.Items == ItemTexts(items));
    CHECK(point.Rows == ToRestoreRows(run.Rows));

    const TRestorePlan plan = PlanRestore(bench.Store, run.PointId);
    CHECK(plan.ChangedSince.empty());
    RunRestore(bench.Store, plan, false);
    CHECK(DumpRealKeys(TouchedKeys) == before);
    for (int i : BrokenItems) CHECK(ItemNeedsRepair(i));
}

TEST_CASE("repair run: nothing is repaired when its restore point cannot be made") {
    TRegistrySnapshot saved(TouchedKeys);
    TTempDir dir;
    ApplyFacts(WindowsRegistryBackend(), Clean);
    ApplyFacts(WindowsRegistryBackend(), Broken);
    const auto before = DumpRealKeys(TouchedKeys);
    WriteBytes(dir / L"backup", {'x'});  // a file where the backup folder should be
    const TRestoreStore store(dir / L"backup\\");

    const std::wstring message = ErrorOf([&] { RunRepair(store, BrokenItems); });
    CHECK(message.rfind(L"Could not create a restore point in ", 0) == 0);
    CHECK(message.find(L"Nothing was changed") != std::wstring::npos);
    CHECK(DumpRealKeys(TouchedKeys) == before);
    CheckFacts(WindowsRegistryBackend(), Broken);
    CHECK(store.List().empty());
}

TEST_CASE("repair run: a change its restore point cannot record stops the run before that change") {
    TRegistrySnapshot saved(TouchedKeys);
    TRestoreBench bench;
    ApplyFacts(WindowsRegistryBackend(), Clean);
    ApplyFacts(WindowsRegistryBackend(), Broken);
    const auto before = DumpRealKeys(TouchedKeys);
    // Once the point is made, its manifest can no longer be replaced.
    TFirstOpenHook hooked(WindowsRegistryBackend(), [&] {
        const auto points = bench.Store.List();
        REQUIRE(points.size() == 1);
        const std::wstring manifest = bench.Store.PointFolder(points[0].Id) + kRestoreManifestName;
        REQUIRE(::DeleteFileW(manifest.c_str()));
        REQUIRE(::CreateDirectoryW(manifest.c_str(), nullptr));
    });

    const TRepairRunResult run = RunRepair(bench.Store, {12, 1}, hooked);
    INFO(Narrow(run.Problem));
    CHECK(run.Problem.rfind(L"Could not record HKCU\\" + ExplorerPolicies + L" [NoRun] in the restore point: ", 0) == 0);
    CHECK(run.Level == TRepairLevel::None);
    // The first step says why it failed, the item's other step that it was not tried; item 1 is not
    // reached.
    REQUIRE(run.Rows.size() == 2);
    CHECK(run.Rows[0] == TRepairRow{IDS_IEREPAIR_Repaired_RunInStartMemu, IDS_IEREPAIR_Repaired_Disabled,
                                    L"Failed: " + run.Problem, true});
    CHECK(run.Rows[1] == TRepairRow{IDS_IEREPAIR_Repaired_CloseInStartMenu, IDS_IEREPAIR_Repaired_Disabled,
                                    L"Failed: " + IDS_IEREPAIR_Reason_Stopped, true});
    CHECK(DumpRealKeys(TouchedKeys) == before);
}

TEST_CASE("repair run: no items, no point; an unknown item, nothing done") {
    TRestoreBench bench;
    const TRepairRunResult run = RunRepair(bench.Store, {});
    CHECK(run.Rows.empty());
    CHECK(run.PointId.empty());
    CHECK(run.Problem.empty());
    CHECK_THROWS_AS(RunRepair(bench.Store, {3, 22}), std::out_of_range);
    CHECK(bench.Store.List().empty());
}
