// Restore points against the in-memory registry and the real (Wine) registry under scratch keys,
// with real files and settings in scratch folders: what is recorded, when it is on disk, how it
// goes back, and what happens when the point cannot be written, the state moved on since, or the
// operation was killed half-way.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>

#include "RestoreTestSupport.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/StringTable.h"
#include "registry/RestoreFiles.h"

using namespace sk;
using namespace sktest;

namespace {

constexpr TRegRoot HKCU = TRegRoot::CurrentUser;
constexpr TRegRoot HKLM = TRegRoot::LocalMachine;

TRegValue Raw(std::vector<uint8_t> bytes, DWORD type) { return RegBytes(bytes, type); }

std::wstring Pid() { return std::to_wstring(::GetCurrentProcessId()); }

// Runs body on the in-memory registry and on the real one, each with an empty key of its own
// (under HKCU and, in both views, under HKLM\Software).
void OnBothRegistries(const std::function<void(TRegistryBackend&, const std::wstring& key)>& body) {
    {
        INFO("in-memory registry");
        TMemoryRegistryBackend memory;
        body(memory, L"Software\\SkRestore");
    }
    {
        INFO("real registry");
        const std::wstring key = L"Software\\SkRestore" + Pid();
        TScratchKeys scratch({{HKCU, key}, {HKLM, key}, {HKLM, L"Software\\Wow6432Node\\SkRestore" + Pid()}});
        body(WindowsRegistryBackend(), key);
    }
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<TRegFact> SampleKey(const std::wstring& k) {
    return {
        Val(HKCU, k, L"Text", RegText(L"old")),
        Val(HKCU, k, L"Num", RegNumber(7)),
        Val(HKCU, k, L"Bin", Raw({0, 1, 2, 0xFF}, REG_BINARY)),
        Val(HKCU, k, L"Exp", RegText(L"%TEMP%\\x", REG_EXPAND_SZ)),
        Val(HKCU, k, L"List", RegTextList({L"a", L"b"})),
        Val(HKCU, k, L"NoZero", Raw({'A', 0, 'B', 0}, REG_SZ)),  // a text without its terminating zero
        Val(HKCU, k, L"Nothing", Raw({}, REG_NONE)),
        Val(HKCU, k + L"\\Sub", L"", RegText(L"sub default")),
        Val(HKCU, k + L"\\Sub\\Deep", L"v", RegNumber(1)),
        Val(HKCU, k + L"\\Sub\\Deep", L"w", Raw({1, 2, 3}, 0x1234)),
    };
}

}  // namespace

TEST_CASE("recording: each change recorded once, before it is made, with exact types and bytes") {
    OnBothRegistries([](TRegistryBackend& reg, const std::wstring& k) {
        ApplyFacts(reg, SampleKey(k));
        const auto before = DumpKey(reg, {HKCU, TRegView::Native, k});
        TRestoreBench bench;
        auto point = TRestorePoint::Begin(bench.Store, {L"test", L"Test", {L"one item"}}, reg);
        {
            TRegistryStore s(point->Registry(), HKCU);
            REQUIRE(s.Open(k, false));
            s.WriteText(L"Text", L"new");
            s.WriteText(L"Text", L"newer");  // recorded once: the first state counts
            CHECK(s.RemoveValue(L"Num"));
            s.WriteValue(L"Bin", RegBytes({9}));
            CHECK_FALSE(s.RemoveValue(L"Missing"));  // changes nothing: not recorded
            s.WriteText(L"Fresh", L"x");
            s.AddSubkey(L"Made\\Inner");
            REQUIRE(s.Open(k + L"\\Made\\Inner", false));
            s.WriteText(L"v", L"1");  // beneath a key the operation made: covered by it
            REQUIRE(s.Open(k + L"\\Opened\\Deeper", true));
            REQUIRE(s.Open(k, false));
            CHECK(s.RemoveKey(L"Sub"));
            CHECK_FALSE(s.RemoveKey(L"NoSuchKey"));
            REQUIRE(s.Open(k + L"\\Sub", true));  // made again: covered by the removed key's record
            s.WriteText(L"after", L"1");
        }
        const auto& entries = point->Manifest().Entries;
        REQUIRE(entries.size() == 7);
        const TRegKeyPlace key{HKCU, TRegView::Native, k};
        struct TExpected {
            TRestoreEntryKind Kind;
            std::wstring Where;
            bool Present;
        };
        const std::vector<TExpected> expected = {
            {TRestoreEntryKind::Value, L"HKCU\\" + k + L" [Text]", true},
            {TRestoreEntryKind::Value, L"HKCU\\" + k + L" [Num]", true},
            {TRestoreEntryKind::Value, L"HKCU\\" + k + L" [Bin]", true},
            {TRestoreEntryKind::Value, L"HKCU\\" + k + L" [Fresh]", false},
            {TRestoreEntryKind::Key, L"HKCU\\" + k + L"\\Made", false},
            {TRestoreEntryKind::Key, L"HKCU\\" + k + L"\\Opened", false},
            {TRestoreEntryKind::Key, L"HKCU\\" + k + L"\\Sub", true},
        };
        for (size_t i = 0; i < expected.size(); ++i) {
            CAPTURE(i);
            CHECK(entries[i].Kind == expected[i].Kind);
            CHECK(entries[i].Where() == expected[i].Where);
            CHECK(entries[i].Before.Present == expected[i].Present);
            CHECK(entries[i].Key.View == TRegView::Native);
        }
        CHECK(entries[0].Before.Value == RegText(L"old"));
        CHECK(entries[1].Before.Value == RegNumber(7));
        CHECK(entries[2].Before.Value == Raw({0, 1, 2, 0xFF}, REG_BINARY));
        TRegTree sub;
        sub.Values = {{L"", RegText(L"sub default")}};
        TRegTree deep;
        deep.Values = {{L"v", RegNumber(1)}, {L"w", Raw({1, 2, 3}, 0x1234)}};
        sub.Subkeys.push_back({L"Deep", deep});
        CHECK(SameRegTree(entries[6].Before.Tree, sub));

        // The manifest on disk says the same, before completion already.
        const TRestoreManifest onDisk = ManifestFromJson(ManifestText(bench.Store, point->Id()));
        CHECK_FALSE(onDisk.Complete);
        REQUIRE(onDisk.Entries.size() == entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            CAPTURE(i);
            CHECK(SameEntryState(entries[i], onDisk.Entries[i].Before, entries[i].Before));
            CHECK_FALSE(onDisk.Entries[i].After.has_value());
        }

        point->Complete({{L"Label", L"was", L"is"}});
        const TRestoreManifest done = ManifestFromJson(ManifestText(bench.Store, point->Id()));
        CHECK(done.Complete);
        CHECK(done.Rows == std::vector<TRestoreRow>{{L"Label", L"was", L"is"}});
        REQUIRE(done.Entries[0].After);
        CHECK(done.Entries[0].After->Value == RegText(L"newer"));
        CHECK_FALSE(done.Entries[1].After->Present);
        CHECK(done.Entries[4].After->Present);  // the key the operation made, with Inner and its value

        const TRestorePlan plan = PlanRestore(bench.Store, point->Id(), reg);
        CHECK_FALSE(plan.Interrupted);
        CHECK(plan.ChangedSince.empty());
        CHECK_FALSE(plan.Changes.empty());
        const TRestoreResult result = RunRestore(bench.Store, plan, false, reg);
        CHECK_FALSE(result.Rows.empty());
        const auto after = DumpKey(reg, key);
        CHECK(Sorted(after) == Sorted(before));
        if (&reg == &WindowsRegistryBackend()) CHECK(after == before);  // Wine enumerates values sorted
    });
}

namespace {

// A backend that, before each change reaches the registry, reads how many entries the restore
// point's manifest on disk holds.
class TDiskWatch : public TRegistryBackend {
public:
    TDiskWatch(TRegistryBackend& inner, std::function<void()> onChange)
        : FInner(inner), FOnChange(std::move(onChange)) {}
    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root,
                                          TRegView view,
                                          const std::wstring& path,
                                          bool create) override {
        if (create && !FInner.OpenKey(root, view, path, false)) FOnChange();
        auto key = FInner.OpenKey(root, view, path, create);
        return key ? std::make_unique<TKey>(*this, std::move(key)) : nullptr;
    }

private:
    struct TKey : TRegistryKey {
        TKey(TDiskWatch& o, std::unique_ptr<TRegistryKey> k) : Owner(o), Inner(std::move(k)) {}
        std::optional<TRegValue> QueryValue(const std::wstring& n) override { return Inner->QueryValue(n); }
        bool ValueExists(const std::wstring& n) override { return Inner->ValueExists(n); }
        bool SetValue(const std::wstring& n, const TRegValue& v) override {
            return Owner.FOnChange(), Inner->SetValue(n, v);
        }
        bool DeleteValue(const std::wstring& n) override { return Owner.FOnChange(), Inner->DeleteValue(n); }
        bool SubkeyExists(const std::wstring& n) override { return Inner->SubkeyExists(n); }
        bool CreateSubkey(const std::wstring& n) override { return Owner.FOnChange(), Inner->CreateSubkey(n); }
        bool DeleteSubkeyTree(const std::wstring& n) override { return Owner.FOnChange(), Inner->DeleteSubkeyTree(n); }
        bool HasAnySubkey() override { return Inner->HasAnySubkey(); }
        std::vector<std::wstring> SubkeyNames() override { return Inner->SubkeyNames(); }
        std::vector<std::wstring> ValueNames() override { return Inner->ValueNames(); }
        TDiskWatch& Owner;
        std::unique_ptr<TRegistryKey> Inner;
    };
    TRegistryBackend& FInner;
    std::function<void()> FOnChange;
};

}  // namespace

TEST_CASE("recording: every record is in the manifest on disk before its change reaches the registry") {
    TMemoryRegistryBackend memory;
    const std::wstring k = L"Software\\Watched";
    ApplyFacts(memory, {Text(HKCU, k, L"A", L"a"), Text(HKCU, k, L"B", L"b"), Key(HKCU, k + L"\\Gone")});
    TRestoreBench bench;
    std::wstring id;
    std::vector<size_t> seen;
    TDiskWatch watch(memory, [&] { seen.push_back(ManifestFromJson(ManifestText(bench.Store, id)).Entries.size()); });
    auto point = TRestorePoint::Begin(bench.Store, {L"test", L"Test", {}}, watch);
    id = point->Id();
    auto key = point->Registry().OpenKey(HKCU, TRegView::Native, k, false);
    REQUIRE(key);
    CHECK(key->SetValue(L"A", RegText(L"1")));
    CHECK(key->SetValue(L"A", RegText(L"2")));
    CHECK(key->DeleteValue(L"B"));
    CHECK(key->CreateSubkey(L"New"));
    CHECK(key->DeleteSubkeyTree(L"Gone"));
    CHECK(point->Registry().OpenKey(HKCU, TRegView::Native, k + L"\\Made\\Deep", true));
    CHECK(seen == std::vector<size_t>{1, 1, 2, 3, 4, 5});
}

TEST_CASE("recording: the view is part of each record, and each view goes back to its own state") {
    OnBothRegistries([](TRegistryBackend& reg, const std::wstring& k) {
        const TRegKeyPlace wow32{HKLM, TRegView::Wow32, k}, native{HKLM, TRegView::Native, k};
        for (const auto& [place, number] : {std::pair{wow32, 32}, std::pair{native, 64}}) {
            TRegistryStore s(reg, HKLM, place.View);
            REQUIRE(s.Open(k + L"\\Inside", true));
            s.WriteNumber(L"v", number);
            REQUIRE(s.Open(k, false));
            s.WriteNumber(L"v", number);
        }
        const auto before32 = DumpKey(reg, wow32), before64 = DumpKey(reg, native);
        REQUIRE(before32 != before64);
        TRestoreBench bench;
        auto point = TRestorePoint::Begin(bench.Store, {L"views", L"Views", {}}, reg);
        {
            TRegistryStore s32(point->Registry(), HKLM, TRegView::Wow32);
            REQUIRE(s32.Open(k, false));
            s32.WriteNumber(L"v", 0);
            CHECK(s32.RemoveKey(L"Inside"));
            TRegistryStore s64(point->Registry(), HKLM, TRegView::Native);
            REQUIRE(s64.Open(k, false));
            s64.WriteNumber(L"v", 0);
        }
        const auto& entries = point->Manifest().Entries;
        REQUIRE(entries.size() == 3);
        CHECK(entries[0].Key.View == TRegView::Wow32);
        CHECK(entries[0].Where() == L"HKLM\\" + k + L" [v] (" + IDS_RESTORE_View32 + L")");
        CHECK(entries[0].Before.Value == RegNumber(32));
        CHECK(entries[1].Key.View == TRegView::Wow32);
        CHECK(entries[1].Kind == TRestoreEntryKind::Key);
        CHECK(entries[2].Key.View == TRegView::Native);
        CHECK(entries[2].Before.Value == RegNumber(64));
        point->Complete({});
        CHECK(DumpKey(reg, native) != before64);
        RunRestore(bench.Store, PlanRestore(bench.Store, point->Id(), reg), false, reg);
        CHECK(DumpKey(reg, wow32) == before32);
        CHECK(DumpKey(reg, native) == before64);
    });
}

TEST_CASE("a restore point that cannot be written stops the operation before the change") {
    TMemoryRegistryBackend memory;
    const std::wstring k = L"Software\\Stopped";
    ApplyFacts(memory, {Text(HKCU, k, L"A", L"a")});
    TTempDir dir;

    SUBCASE("no point can be made: Begin raises and nothing is left") {
        WriteBytes(dir / L"backup", {'x'});  // a file where the backup folder should be
        TRestoreStore store(dir / L"backup");
        const std::wstring message = ErrorOf([&] { TRestorePoint::Begin(store, {L"test", L"Test", {}}, memory); });
        CHECK(message.rfind(L"Could not create a restore point in ", 0) == 0);
        CHECK(message.find(L"Nothing was changed") != std::wstring::npos);
        CHECK(store.List().empty());
    }
    SUBCASE("the manifest cannot be replaced mid-way: the change is not made, later ones are recorded again") {
        TRestoreStore store(dir / L"backup");
        auto point = TRestorePoint::Begin(store, {L"test", L"Test", {}}, memory);
        const std::wstring manifest = store.PointFolder(point->Id()) + kRestoreManifestName;
        REQUIRE(::DeleteFileW(manifest.c_str()));
        REQUIRE(::CreateDirectoryW(manifest.c_str(), nullptr));  // nothing can take its place now
        TRegistryStore s(point->Registry(), HKCU);
        REQUIRE(s.Open(k, false));
        const std::wstring message = ErrorOf([&] { s.WriteText(L"A", L"changed"); });
        CHECK(message.rfind(L"Could not record HKCU\\" + k + L" [A] in the restore point: ", 0) == 0);
        CHECK(s.ReadText(L"A") == L"a");
        CHECK(ErrorOf([&] { s.RemoveKey(L"Absent"); }) == L"(no error)");  // nothing to change, nothing to record
        CHECK(ErrorOf([&] { point->CaptureFile(dir / L"backup\\x.txt"); }) != L"(no error)");
        CHECK(point->Manifest().Entries.empty());
        REQUIRE(::RemoveDirectoryW(manifest.c_str()));
        s.WriteText(L"A", L"changed");
        REQUIRE(point->Manifest().Entries.size() == 1);
        CHECK(point->Manifest().Entries[0].Before.Value == RegText(L"a"));
    }
}

namespace {

std::vector<unsigned char> Utf8Bom(const std::string& text) {
    std::vector<unsigned char> out{0xEF, 0xBB, 0xBF};
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    return out;
}

std::vector<unsigned char> AllBytes() {
    std::vector<unsigned char> out;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) out.push_back(static_cast<unsigned char>(b ^ round));
    return out;
}

}  // namespace

TEST_CASE("files: replaced, emptied, deleted, made and moved files go back byte for byte") {
    TRestoreBench bench;
    TTempDir files;
    const std::wstring utf16 = files / L"utf16.txt", utf8 = files / L"utf8.txt", binary = files / L"data.bin",
                       locked = files / L"hosts", made = files / L"made.txt", dll = files / L"addon.dll";
    const std::wstring moved = bench.Dir / L"backup\\plugins\\addon.dll";
    WriteUtf16File(utf16, L"127.0.0.1 localhost\r\n# \x6846\x3002 \xFF01\r\n");
    WriteBytes(utf8, Utf8Bom("# \xE6\xA1\x86 hosts\n"));
    WriteBytes(binary, AllBytes());
    WriteBytes(locked, {'r', 'o', '\r', '\n'});
    REQUIRE(::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    WriteBytes(dll, {'M', 'Z', 0, 1, 2});
    const auto original = [&] {
        return std::vector<std::vector<unsigned char>>{ReadBytes(utf16), ReadBytes(utf8), ReadBytes(binary),
                                                       ReadBytes(locked), ReadBytes(dll)};
    };
    const auto was = original();

    auto point = TRestorePoint::Begin(bench.Store, {L"files", L"Files", {}});
    for (const auto& f : {utf16, utf8, binary, locked, made, dll, moved}) point->CaptureFile(f);
    point->CaptureFile(utf16);  // once per file
    CHECK(point->Manifest().Entries.size() == 7);
    WriteUtf16File(utf16, L"replaced");
    WriteBytes(utf8, {});
    REQUIRE(::DeleteFileW(binary.c_str()));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(locked, {'n', 'e', 'w'});
    WriteBytes(made, {'m'});
    REQUIRE(restorefiles::MakeFolders(bench.Dir / L"backup\\plugins"));
    REQUIRE(::MoveFileW(dll.c_str(), moved.c_str()));
    point->Complete({});
    const auto& entries = point->Manifest().Entries;
    CHECK(entries[0].Before.FileCopy.rfind(L"files\\", 0) == 0);
    CHECK(ReadBytes(bench.Store.PointFolder(point->Id()) + entries[2].Before.FileCopy) == AllBytes());
    CHECK_FALSE(entries[4].Before.Present);

    const TRestorePlan plan = PlanRestore(bench.Store, point->Id());
    CHECK(plan.ChangedSince.empty());
    CHECK(plan.Changes.size() == 7);
    RunRestore(bench.Store, plan, false);
    CHECK(original() == was);
    CHECK((::GetFileAttributesW(locked.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
    CHECK_FALSE(FileExists(made));
    CHECK_FALSE(FileExists(moved));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("files: a copy that went missing or was altered never puts wrong bytes back") {
    TRestoreBench bench;
    const std::wstring hosts = bench.Dir / L"hosts";
    WriteBytes(hosts, {'o', 'l', 'd'});
    auto point = TRestorePoint::Begin(bench.Store, {L"shield-on", L"Turn on", {}});
    point->CaptureFile(hosts);
    WriteBytes(hosts, {'n', 'e', 'w'});
    point->Complete({});
    const std::wstring copy = bench.Store.PointFolder(point->Id()) + point->Manifest().Entries[0].Before.FileCopy;

    SUBCASE("missing: the plan says so before anything is written") {
        REQUIRE(::DeleteFileW(copy.c_str()));
        CHECK(ErrorOf([&] { PlanRestore(bench.Store, point->Id()); }) == L"The restore point " + point->Id() +
                                                                             L" cannot be read: its copy of " + hosts +
                                                                             L" is missing or damaged");
    }
    SUBCASE("altered: the file is left as it is and the restore says what it could not put back") {
        WriteBytes(copy, {'b', 'a', 'd'});
        const TRestorePlan plan = PlanRestore(bench.Store, point->Id());
        CHECK(ErrorOf([&] { RunRestore(bench.Store, plan, false); }) ==
              L"Some recorded settings could not be put back: " + hosts);
    }
    CHECK(ReadBytes(hosts) == std::vector<unsigned char>{'n', 'e', 'w'});
}

TEST_CASE("settings: single keys go back, the file byte for byte, and other settings are left alone") {
    TRestoreBench bench;
    const std::wstring ini = bench.Dir / L"config.ini";
    const TProfileFile settings(ini);
    settings.WriteString(L"LANGUAGE", L"Language", L"1033");
    settings.WriteString(L"SURFKEEP", L"ShieldOn", L"0");
    settings.WriteString(L"SURFKEEP", L"AutoUpdate", L"1");
    settings.WriteString(L"SURFKEEP", L"Title", L"\x6846 quoted ");
    const auto was = ReadBytes(ini);
    REQUIRE(was.size() > 2);
    CHECK((was[0] == 0xFF && was[1] == 0xFE));

    auto change = [&] {
        auto point = TRestorePoint::Begin(bench.Store, {L"shield-on", L"Turn on", {}});
        for (const auto& [section, key] : {std::pair{L"SURFKEEP", L"ShieldOn"}, std::pair{L"SURFKEEP", L"HostsUrl"},
                                           std::pair{L"SURFKEEP", L"Title"}, std::pair{L"NEW", L"Key"}})
            point->CaptureSetting(ini, section, key);
        CHECK(point->Manifest().Entries[1].SectionHadKeys);
        CHECK_FALSE(point->Manifest().Entries[3].SectionHadKeys);
        settings.WriteString(L"SURFKEEP", L"ShieldOn", L"1");
        settings.WriteString(L"SURFKEEP", L"HostsUrl", L"http://list.example/hosts.txt");
        ::WritePrivateProfileStringW(L"SURFKEEP", L"Title", nullptr, ini.c_str());
        settings.WriteString(L"NEW", L"Key", L" spaced ");
        point->Complete({});
        return point->Id();
    };
    SUBCASE("alone: the file is as it was") {
        const std::wstring id = change();
        RunRestore(bench.Store, PlanRestore(bench.Store, id), false);
        CHECK(ReadBytes(ini) == was);
    }
    SUBCASE("with another setting changed since: it stays") {
        const std::wstring id = change();
        settings.WriteString(L"SURFKEEP", L"AutoUpdate", L"0");
        const TRestorePlan plan = PlanRestore(bench.Store, id);
        CHECK(plan.ChangedSince.empty());  // not a setting the operation recorded
        RunRestore(bench.Store, plan, false);
        CHECK(settings.ReadString(L"SURFKEEP", L"AutoUpdate", L"?") == L"0");
        CHECK(settings.ReadString(L"SURFKEEP", L"ShieldOn", L"?") == L"0");
        CHECK(settings.ReadString(L"SURFKEEP", L"HostsUrl", L"?") == L"?");
        CHECK(settings.ReadString(L"SURFKEEP", L"Title", L"?") == L"\x6846 quoted ");
        CHECK_FALSE(settings.SectionHasKey(L"NEW"));
    }
}

TEST_CASE(
    "a restore after the user changed a recorded value: the difference is shown, nothing written without consent") {
    const std::wstring k = L"Software\\SkRestoreSince" + Pid();
    TScratchKeys scratch({{HKCU, k}});
    TRestoreBench bench;
    const std::wstring file = bench.Dir / L"hosts";
    ApplyFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://home.example/")});
    WriteBytes(file, {'o', 'l', 'd'});

    auto point = TRestorePoint::Begin(bench.Store, {L"repair", L"Repair", {L"Home page"}});
    {
        TRegistryStore s(point->Registry(), HKCU);
        REQUIRE(s.Open(k, false));
        s.WriteText(L"Start Page", L"about:blank");
    }
    point->CaptureFile(file);
    WriteBytes(file, {'n', 'e', 'w'});
    point->Complete({{L"Home page", L"http://home.example/", L"about:blank"}});
    const std::wstring id = point->Id();
    point.reset();

    ApplyFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://mine.example/")});
    const TRestorePlan plan = PlanRestore(bench.Store, id);
    const std::wstring where = L"HKCU\\" + k + L" [Start Page]";
    CHECK(plan.ChangedSince ==
          std::vector<TStateDifference>{{where, L"REG_SZ \"about:blank\"", L"REG_SZ \"http://mine.example/\""}});
    CHECK(plan.Changes.size() == 2);
    CHECK(plan.Changes[0] ==
          TStateDifference{where, L"REG_SZ \"http://home.example/\"", L"REG_SZ \"http://mine.example/\""});

    const auto untouched = [&] {
        CheckFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://mine.example/")});
        CHECK(ReadBytes(file) == std::vector<unsigned char>{'n', 'e', 'w'});
        CHECK(bench.Store.List().size() == 1);  // no restore was even begun
    };
    CHECK(ErrorOf([&] { RunRestore(bench.Store, plan, false); }) ==
          L"1 of the recorded settings were changed after the operation. Nothing was put back");
    untouched();
    // Changed once more after the user saw the plan: the consent was for something else.
    ApplyFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://other.example/")});
    CHECK(ErrorOf([&] { RunRestore(bench.Store, plan, true); }) == IDS_RESTORE_ChangedAgain);
    CheckFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://other.example/")});
    CHECK(bench.Store.List().size() == 1);

    const TRestorePlan again = PlanRestore(bench.Store, id);
    const TRestoreResult result = RunRestore(bench.Store, again, true);
    CheckFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"Start Page", L"http://home.example/")});
    CHECK(ReadBytes(file) == std::vector<unsigned char>{'o', 'l', 'd'});
    CHECK(result.Rows.size() == 2);
    CHECK(result.Rows[1] ==
          TRestoreRow{where, L"REG_SZ \"http://other.example/\"", L"REG_SZ \"http://home.example/\""});
}

TEST_CASE("a restore is an operation of its own: restoring it goes back to the state before it") {
    const std::wstring k = L"Software\\SkRestoreTwice" + Pid();
    TScratchKeys scratch({{HKCU, k}});
    TRestoreBench bench;
    ApplyFacts(WindowsRegistryBackend(), {Num(HKCU, k, L"NoRun", 1), Text(HKCU, k + L"\\Evil", L"", L"x")});
    const auto broken = DumpRealKeys({{HKCU, k}});
    auto point = TRestorePoint::Begin(bench.Store, {L"repair", L"Repair", {L"Start menu"}});
    {
        TRegistryStore s(point->Registry(), HKCU);
        REQUIRE(s.Open(k, false));
        s.RemoveValue(L"NoRun");
        s.RemoveKey(L"Evil");
        s.WriteNumber(L"Repaired", 1);
    }
    point->Complete({{L"Run", L"Disabled", L"Enabled"}});
    const std::wstring first = point->Id();
    const auto repaired = DumpRealKeys({{HKCU, k}});

    const TRestoreResult undo = RunRestore(bench.Store, PlanRestore(bench.Store, first), false);
    CHECK(DumpRealKeys({{HKCU, k}}) == broken);
    const TRestoreResult redo = RunRestore(bench.Store, PlanRestore(bench.Store, undo.PointId), false);
    CHECK(DumpRealKeys({{HKCU, k}}) == repaired);

    const auto list = bench.Store.List();
    REQUIRE(list.size() == 3);
    CHECK(list[0].Id == redo.PointId);
    CHECK(list[0].Title == L"Restore of Restore of Repair");
    CHECK(list[0].Restores == undo.PointId);
    CHECK(list[0].Operation == L"restore");
    CHECK(list[1].Id == undo.PointId);
    CHECK(list[1].Restores == first);
    CHECK(list[1].Items == std::vector<std::wstring>{L"Start menu"});
    CHECK(list[2].Id == first);
    CHECK(list[2].Rows == std::vector<TRestoreRow>{{L"Run", L"Disabled", L"Enabled"}});
    for (const auto& info : list) CHECK(info.State == TRestoreState::Complete);
    CHECK(bench.Store.LastId() == redo.PointId);
}

namespace {

std::wstring ChildKey(DWORD parent) { return L"Software\\SkRestoreKilled" + std::to_wstring(parent); }

}  // namespace

// Run by the next case in a process of its own: records and changes until it is killed.
TEST_CASE("restore child: records and changes until it is killed") {
    wchar_t buffer[1024] = {};
    if (!::GetEnvironmentVariableW(L"SK_RESTORE_CHILD", buffer, 1024)) return;  // not the child
    const std::wstring args = buffer;                                           // "<parent pid>|<backup folder>"
    const DWORD parent = std::stoul(args.substr(0, args.find(L'|')));
    const TRestoreStore store(args.substr(args.find(L'|') + 1));
    auto point = TRestorePoint::Begin(store, {L"repair", L"Repair", {L"Killed"}});
    TRegistryStore s(point->Registry(), HKCU);
    REQUIRE(s.Open(ChildKey(parent), false));
    s.WriteText(L"A", L"changed");
    s.RemoveValue(L"B");
    s.RemoveKey(L"Sub");
    s.WriteNumber(L"C", 3);
    REQUIRE(s.Open(ChildKey(parent) + L"\\Made\\Deeper", true));
    const std::wstring ready = L"SkRestoreChildReady" + std::to_wstring(parent);
    THandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str()));
    REQUIRE(event);
    ::SetEvent(event.Get());
    ::Sleep(INFINITE);  // killed here, half-way through its operation
}

TEST_CASE("a point whose operation was killed half-way reads as interrupted and puts back what was changed") {
    const DWORD self = ::GetCurrentProcessId();
    const std::wstring k = ChildKey(self);
    TScratchKeys scratch({{HKCU, k}});
    ApplyFacts(WindowsRegistryBackend(), {Text(HKCU, k, L"A", L"a"), Val(HKCU, k, L"B", Raw({1, 2}, REG_BINARY)),
                                          Text(HKCU, k + L"\\Sub\\Deep", L"x", L"y")});
    const auto before = DumpRealKeys({{HKCU, k}});
    TRestoreBench bench;

    THandle ready(::CreateEventW(nullptr, TRUE, FALSE, (L"SkRestoreChildReady" + std::to_wstring(self)).c_str()));
    REQUIRE(ready);
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" -tc=\"restore child*\"";
    ::SetEnvironmentVariableW(L"SK_RESTORE_CHILD",
                              (std::to_wstring(self) + L"|" + bench.Dir.Path() + L"backup").c_str());
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {  // Wine refuses a start now and then
        if (attempt) ::Sleep(200);
        started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    }
    ::SetEnvironmentVariableW(L"SK_RESTORE_CHILD", nullptr);
    REQUIRE(started);
    THandle process(pi.hProcess), thread(pi.hThread);
    const HANDLE both[2] = {ready.Get(), process.Get()};
    REQUIRE(::WaitForMultipleObjects(2, both, FALSE, 120000) == WAIT_OBJECT_0);
    CHECK(bench.Store.List().at(0).State == TRestoreState::InProgress);
    ::TerminateProcess(process.Get(), 9);
    ::WaitForSingleObject(process.Get(), 30000);

    CHECK(DumpRealKeys({{HKCU, k}}) != before);
    const auto list = bench.Store.List();
    REQUIRE(list.size() == 1);
    CHECK(list[0].State == TRestoreState::Interrupted);
    CHECK(RestoreStateText(list[0].State) == L"Interrupted");
    REQUIRE(bench.Store.LastId() == list[0].Id);
    const TRestorePlan plan = PlanRestore(bench.Store, list[0].Id);
    CHECK(plan.Interrupted);
    CHECK(plan.ChangedSince.empty());
    CHECK(plan.Point.Entries.size() == 5);
    RunRestore(bench.Store, plan, false);
    CHECK(DumpRealKeys({{HKCU, k}}) == before);
}

TEST_CASE("retention: the oldest points go first, by count and by size; never the newest nor one in progress") {
    auto make = [](const TRestoreStore& store, const std::wstring& file) {
        auto point = TRestorePoint::Begin(store, {L"test", L"Test", {}});
        if (!file.empty()) point->CaptureFile(file);
        point->Complete({});
        return point->Id();
    };
    auto ids = [](const TRestoreStore& store) {
        std::vector<std::wstring> out;
        for (const auto& info : store.List()) out.push_back(info.Id);
        return out;
    };
    SUBCASE("by count") {
        TRestoreBench bench({3, 1ull << 40});
        std::vector<std::wstring> made;
        for (int i = 0; i < 5; ++i) made.push_back(make(bench.Store, L""));
        CHECK(ids(bench.Store) == std::vector<std::wstring>{made[4], made[3], made[2]});
    }
    SUBCASE("by size, and a point larger than the limit alone is kept") {
        TRestoreBench bench({50, 1024 * 1024});
        const std::wstring file = bench.Dir / L"big.bin";
        WriteBytes(file, std::vector<unsigned char>(400 * 1024, 0x5A));
        std::vector<std::wstring> made;
        for (int i = 0; i < 3; ++i) made.push_back(make(bench.Store, file));
        CHECK(ids(bench.Store) == std::vector<std::wstring>{made[2], made[1]});
        WriteBytes(file, std::vector<unsigned char>(1500 * 1024, 0xA5));
        const std::wstring huge = make(bench.Store, file);
        CHECK(ids(bench.Store) == std::vector<std::wstring>{huge});
        CHECK(bench.Store.List()[0].Bytes > 1500 * 1024);
    }
    SUBCASE("a point in progress stays") {
        TRestoreBench bench({1, 1ull << 40});
        auto running = TRestorePoint::Begin(bench.Store, {L"running", L"Running", {}});
        const std::wstring done = make(bench.Store, L"");
        const auto list = bench.Store.List();
        REQUIRE(list.size() == 2);
        CHECK(list[0].Id == done);
        CHECK(list[1].Id == running->Id());
        CHECK(list[1].State == TRestoreState::InProgress);
        CHECK(bench.Store.LastId() == done);
        CHECK(ErrorOf([&] { bench.Store.Load(running->Id()); }) ==
              L"The restore point " + running->Id() + L" is still being written by a running operation");
        running.reset();
        CHECK(bench.Store.StateOf(list[1].Id) == TRestoreState::Interrupted);
    }
    SUBCASE("the limits are settings") {
        TTempDir dir;
        const std::wstring ini = dir / L"config.ini";
        CHECK(ReadRestoreLimits(ini).MaxPoints == 50);
        CHECK(ReadRestoreLimits(ini).MaxBytes == 200ull * 1024 * 1024);
        TProfileFile(ini).WriteString(L"SURFKEEP", L"RestorePointsMax", L"7");
        TProfileFile(ini).WriteString(L"SURFKEEP", L"RestorePointsMaxMB", L"3");
        CHECK(ReadRestoreLimits(ini).MaxPoints == 7);
        CHECK(ReadRestoreLimits(ini).MaxBytes == 3ull * 1024 * 1024);
        TProfileFile(ini).WriteString(L"SURFKEEP", L"RestorePointsMax", L"0");
        CHECK(ReadRestoreLimits(ini).MaxPoints == 50);
    }
}

TEST_CASE("manifests: readable JSON that gives back every name and byte; ids sort and stay unique") {
    TMemoryRegistryBackend memory;
    const std::wstring k = L"Software\\\x6846\x67B6";                  // a key name outside ASCII
    const std::wstring lone = std::wstring(L"odd") + wchar_t(0xD800);  // a value name that is no valid Unicode
    ApplyFacts(memory, {Val(HKCU, k, lone, RegBytes({1})), Text(HKCU, k, L"", L"\x3002 default")});
    TRestoreBench bench;
    auto point = TRestorePoint::Begin(bench.Store, {L"Plug-in removal!", L"Plug-ins \x6846", {L"Item \x3002"}}, memory);
    {
        TRegistryStore s(point->Registry(), HKCU);
        REQUIRE(s.Open(k, false));
        s.RemoveValue(lone);
        s.WriteText(L"", L"new");
    }
    point->Complete({{L"\x6846", L"a", L"b"}});
    CHECK(point->Id().substr(19) == L"-plug-in-removal");

    const std::string text = ManifestText(bench.Store, point->Id());
    const auto json = nlohmann::json::parse(text);
    CHECK(json["format"] == "Surfkeep restore point");
    CHECK(json["state"] == "complete");
    CHECK(json["title"] == "Plug-ins \xE6\xA1\x86");
    CHECK(json["entries"][1]["where"] == "HKCU\\Software\\\xE6\xA1\x86\xE6\x9E\xB6 [(Default)]");
    CHECK(json["entries"][1]["before"]["type"] == "REG_SZ");
    CHECK(json["entries"][0]["before"]["hex"] == "01");
    CHECK(text.find("\n  \"entries\": [\n") != std::string::npos);  // pretty-printed for people

    const TRestoreManifest back = ManifestFromJson(text);
    CHECK(back.Title == L"Plug-ins \x6846");
    REQUIRE(back.Entries.size() == 2);
    CHECK(back.Entries[0].Name == lone);
    CHECK(back.Entries[0].Key.Path == k);
    CHECK(back.Entries[1].Before.Value == RegText(L"\x3002 default"));
    RunRestore(bench.Store, PlanRestore(bench.Store, point->Id(), memory), false, memory);
    CheckFacts(memory, {Val(HKCU, k, lone, RegBytes({1})), Text(HKCU, k, L"", L"\x3002 default")});

    SUBCASE("ids of points made in one burst are unique and sort in the order they were made") {
        std::vector<std::wstring> made;
        for (int i = 0; i < 6; ++i) made.push_back(TRestorePoint::Begin(bench.Store, {L"burst", L"Burst", {}})->Id());
        for (size_t i = 1; i < made.size(); ++i) CHECK(made[i - 1] < made[i]);
        const auto list = bench.Store.List();
        for (size_t i = 1; i < list.size(); ++i) CHECK(list[i - 1].Id > list[i].Id);
    }
    SUBCASE("a damaged or unknown point") {
        const std::wstring damaged = L"20200101-000000-000-repair";
        REQUIRE(::CreateDirectoryW(bench.Store.PointFolder(damaged).c_str(), nullptr));
        WriteBytes(bench.Store.PointFolder(damaged) + kRestoreManifestName, {'{', 'x'});
        const auto list = bench.Store.List();
        REQUIRE(list.size() == 3);
        CHECK(list.back().Id == damaged);
        CHECK(list.back().State == TRestoreState::Damaged);
        CHECK_FALSE(list.back().Problem.empty());
        CHECK(ErrorOf([&] {
                  bench.Store.Load(damaged);
              }).rfind(L"The restore point " + damaged + L" cannot be read: ", 0) == 0);
        CHECK(ErrorOf([&] { bench.Store.Load(L"20200101-000000-001-none"); }) ==
              L"There is no restore point 20200101-000000-001-none");
        CHECK(ErrorOf([&] { bench.Store.Load(L"..\\..\\x"); }) == L"There is no restore point ..\\..\\x");
    }
}
