// The shield's changes with their restore points, on the files of a scratch folder laid out as
// beside the program (hosts file, hosts.txt, backup\, backup\restore\, the settings file) and our
// own server on 127.0.0.1: each change is put back with PlanRestore / RunRestore and must leave the
// hosts file, the list and the settings byte for byte as before; the shield's state follows.
#include <functional>
#include <map>
#include <memory>

#include "HttpTestServer.h"
#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/StringTable.h"
#include "registry/Restore.h"
#include "security/ShieldChange.h"

using namespace sktest;
using sk::TRestoreState;

namespace {

const std::string kUserHosts =
    CrLf({"# my own hosts file", "127.0.0.1 dev.example", "10.0.0.5 nas.local", "203.0.113.9 bank.example"});

std::string DatedList(const std::string& date, const std::string& name) {
    return CrLf({"# " + date, "127.0.0.1 localhost", "0.0.0.0 " + name});
}

struct TChangeFixture {
    TShieldFixture S;
    THttpTestServer Server;
    sk::TRestoreStore Store{S.Dir / L"backup\\"};
    std::unique_ptr<sk::TIESecurity> Shield;

    TChangeFixture() {
        ::CreateDirectoryW((S.Dir / L"etc").c_str(), nullptr);
        WriteAll(S.Hosts, kUserHosts);
        WriteAll(S.List, UnifiedList(20));
        // Written by the profile functions, as the program's own settings file is.
        const sk::TProfileFile settings(S.Settings);
        settings.WriteString(L"SURFKEEP", L"HostsListUrl", Server.Url("/hosts.txt"));
        settings.WriteString(L"SURFKEEP", sk::kIESecurityOnKey, L"0");
        settings.WriteString(L"SURFKEEP", sk::kIESecurityAutoUpdateKey, L"0");
        Shield = S.Make();
    }
    // The shield on, as an earlier Turn on left it (no restore point).
    void TurnedOn() {
        Shield->TurnOn();
        REQUIRE(Shield->ShieldOn);
        sk::TProfileFile(S.Settings).WriteString(L"SURFKEEP", sk::kIESecurityOnKey, L"1");
    }
    std::map<std::string, std::string> Hashes() const {
        std::map<std::string, std::string> out;
        for (auto [name, file] : {std::pair{"hosts", &S.Hosts}, std::pair{"hosts.txt", &S.List},
                                  std::pair{"settings", &S.Settings}})
            out[name] = sk::FileExists(*file) ? Sha256Of(ReadAll(*file)) : "(absent)";
        return out;
    }
    void PutBack(const std::wstring& id) {
        const sk::TRestorePlan plan = sk::PlanRestore(Store, id);
        CHECK(plan.ChangedSince.empty());
        CHECK_FALSE(plan.Changes.empty());
        sk::RunRestore(Store, plan, false);
    }
    std::wstring Setting(const wchar_t* key) const {
        return sk::TProfileFile(S.Settings).ReadString(L"SURFKEEP", key, L"(absent)");
    }
};

// The operations as the tab and the command line run them; each returns the point's id.
struct TOperation {
    const char* Name;
    const wchar_t* Operation;
    bool StartOn;  // the shield is on before
    bool EndOn;    // ... and after
    std::function<std::wstring(TChangeFixture&, const sk::TRestoreStore&)> Run;
};

std::vector<TOperation> Operations() {
    return {
        {"turn on", sk::kShieldOnOperation, false, true,
         [](TChangeFixture& f, const sk::TRestoreStore& store) {
             const auto done = sk::TurnShieldOnWithRestorePoint(*f.Shield, store);
             CHECK(done.TurnOn.Done);
             CHECK(done.Changed);
             return done.PointId;
         }},
        {"turn off", sk::kShieldOffOperation, true, false,
         [](TChangeFixture& f, const sk::TRestoreStore& store) {
             const auto done = sk::TurnShieldOffWithRestorePoint(*f.Shield, store);
             CHECK(done.TurnOff.Done);
             return done.PointId;
         }},
        {"add", sk::kShieldAddOperation, false, false,
         [](TChangeFixture& f, const sk::TRestoreStore& store) {
             return sk::AddHostWithRestorePoint(*f.Shield, store, L"  ads.example ", true).PointId;
         }},
        {"delete", sk::kShieldDeleteOperation, true, true,
         [](TChangeFixture& f, const sk::TRestoreStore& store) {
             return sk::DeleteHostWithRestorePoint(*f.Shield, store, L"tracker1.example").PointId;
         }},
        {"update", sk::kShieldUpdateOperation, true, true,
         [](TChangeFixture& f, const sk::TRestoreStore& store) {
             f.Server.On("/hosts.txt", Answer(200, DatedList("2011-01-01", "new.example")));
             const sk::TListUpdateResult done = sk::RunShieldListUpdate(*f.Shield, &store);
             CHECK(done.Text() == IDS_IESECURITY_DownloadCompleted);
             CHECK(done.HostsInstalled);
             return done.PointId;
         }},
    };
}

}  // namespace

TEST_CASE("each shield change is put back byte for byte, and the shield's state follows") {
    for (const TOperation& op : Operations()) {
        CAPTURE(op.Name);
        TChangeFixture f;
        if (op.StartOn) f.TurnedOn();
        const auto before = f.Hashes();
        const bool onBefore = f.Shield->ShieldOn;

        const std::wstring id = op.Run(f, f.Store);
        REQUIRE_FALSE(id.empty());
        CHECK(f.Hashes() != before);
        CHECK(f.Shield->ShieldOn == op.EndOn);
        CHECK(f.Setting(sk::kIESecurityOnKey) == (op.EndOn ? L"1" : L"0"));

        const auto points = f.Store.List();
        REQUIRE(points.size() == 1);
        CHECK(points[0].Id == id);
        CHECK(points[0].Operation == op.Operation);
        CHECK(points[0].State == TRestoreState::Complete);
        CHECK_FALSE(points[0].Items.empty());
        CHECK_FALSE(points[0].Rows.empty());

        f.PutBack(id);
        CHECK(f.Hashes() == before);
        sk::ReloadShieldState(*f.Shield);
        CHECK(f.Shield->ShieldOn == onBefore);
        const sk::TShieldState state = f.Shield->State();
        CHECK(state.ShieldOn == onBefore);
        CHECK(state.HostsIsShield == onBefore);
        CHECK(f.Hashes() == before);  // the stored state agreed: nothing more was written
    }
}

TEST_CASE("what the points record as seen by the user") {
    TChangeFixture f;
    const auto on = sk::TurnShieldOnWithRestorePoint(*f.Shield, f.Store);
    CHECK(on.Rows.front() == sk::TRestoreRow{IDS_IESECURITY_RowShield, IDS_IESECURITY_RowOff, IDS_IESECURITY_RowOn});
    // The public-address entry of the user's own file is not carried over, and says so.
    CHECK(on.Rows.back() == sk::TRestoreRow{L"203.0.113.9 bank.example", IDS_IESECURITY_RowInUse, IDS_IESECURITY_NotKept});
    const auto add = sk::AddHostWithRestorePoint(*f.Shield, f.Store, L"ads.example", true);
    CHECK(add.Rows == std::vector<sk::TRestoreRow>{{L"ads.example", IDS_IESECURITY_RowNotBlocked, IDS_IESECURITY_RowBlocked}});
    const auto points = f.Store.List();
    REQUIRE(points.size() == 2);
    CHECK(points[0].Items == std::vector<std::wstring>{L"ads.example"});
    CHECK(points[0].Title == IDS_IESECURITY_PointAdd);
    CHECK(points[1].Title == IDS_IESECURITY_PointTurnOn);
    CHECK(points[1].Rows == on.Rows);
}

TEST_CASE("nothing to change: no restore point") {
    TChangeFixture f;
    CHECK(sk::AddHostWithRestorePoint(*f.Shield, f.Store, L"dev.example", true).PointId.empty());  // listed already
    CHECK(sk::AddHostWithRestorePoint(*f.Shield, f.Store, L"   ", true).PointId.empty());
    CHECK(sk::DeleteHostWithRestorePoint(*f.Shield, f.Store, L"absent.example").PointId.empty());
    // A name the hosts file cannot take: the engine's error, and no point.
    CHECK(ErrorOf([&] { sk::AddHostWithRestorePoint(*f.Shield, f.Store, L"a#b", true); }).find(L"was not added") !=
          std::wstring::npos);
    ::DeleteFileW(f.S.List.c_str());
    const auto on = sk::TurnShieldOnWithRestorePoint(*f.Shield, f.Store);
    CHECK(on.PointId.empty());
    CHECK_FALSE(on.TurnOn.Done);
    CHECK_FALSE(f.Shield->ShieldOn);
    CHECK(f.Store.List().empty());
    CHECK(ReadAll(f.S.Hosts) == kUserHosts);
}

TEST_CASE("a restore point that cannot be made: nothing changes, and the error says why") {
    for (const TOperation& op : Operations()) {
        CAPTURE(op.Name);
        TChangeFixture f;
        if (op.StartOn) f.TurnedOn();
        // A file where the restore points' folder belongs.
        WriteAll(f.S.Dir / L"backup\\restore", "x");
        const auto before = f.Hashes();
        const auto files = f.S.Contents();
        const bool onBefore = f.Shield->ShieldOn;
        if (op.Operation == std::wstring(sk::kShieldUpdateOperation)) {
            f.Server.On("/hosts.txt", Answer(200, DatedList("2011-01-01", "new.example")));
            const sk::TListUpdateResult done = sk::RunShieldListUpdate(*f.Shield, &f.Store);
            CHECK_FALSE(done.Installed);
            CHECK(done.PointId.empty());
            CHECK(done.FailedSource == 0);
            CHECK(done.Text().find(L"Could not create a restore point in ") != std::wstring::npos);
        } else {
            const std::wstring error = ErrorOf([&] { op.Run(f, f.Store); });
            CHECK(error.rfind(L"Could not create a restore point in ", 0) == 0);
            CHECK(error.find(L"Nothing was changed") != std::wstring::npos);
        }
        CHECK(f.Hashes() == before);
        CHECK(f.S.Contents() == files);  // no dated backup, no copy of a source, no leftovers
        CHECK(f.Shield->ShieldOn == onBefore);
    }
}

TEST_CASE("an update without a store installs without a point; an up-to-date list makes none") {
    TChangeFixture f;
    f.TurnedOn();
    f.Server.On("/hosts.txt", Answer(200, DatedList("2011-01-01", "new.example")));
    const sk::TListUpdateResult first = sk::RunShieldListUpdate(*f.Shield, nullptr);
    CHECK(first.Installed);
    CHECK(first.PointId.empty());
    CHECK(ReadAll(f.S.Hosts).find("0.0.0.0 new.example") != std::string::npos);
    const sk::TListUpdateResult again = sk::RunShieldListUpdate(*f.Shield, &f.Store);
    CHECK(again.UpToDate);
    CHECK(again.PointId.empty());
    CHECK(f.Store.List().empty());
}

TEST_CASE("a restore that brings the shield's list back while the switch says off: the switch follows") {
    TChangeFixture f;
    f.TurnedOn();
    const auto add = sk::AddHostWithRestorePoint(*f.Shield, f.Store, L"ads.example", true);
    const std::string shielded = ReadAll(f.S.Hosts);
    sk::TurnShieldOffWithRestorePoint(*f.Shield, f.Store);
    REQUIRE(f.Setting(sk::kIESecurityOnKey) == L"0");
    // The Add is put back over the Turn off, with the user's consent: the shield's list is back.
    const sk::TRestorePlan plan = sk::PlanRestore(f.Store, add.PointId);
    CHECK_FALSE(plan.ChangedSince.empty());
    sk::RunRestore(f.Store, plan, true);
    CHECK(ReadAll(f.S.Hosts) != shielded);
    sk::ReloadShieldState(*f.Shield);
    CHECK(f.Shield->ShieldOn);
    CHECK(f.Shield->State().HostsIsShield);
    CHECK(f.Setting(sk::kIESecurityOnKey) == L"1");
}
