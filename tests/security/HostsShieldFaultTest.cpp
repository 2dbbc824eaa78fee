// The shield when things go wrong, on real files: no backup can be made, the backup is lost while
// the shield is on, the hosts file is read-only or locked, the disk fills during Turn on (a real
// 1 MiB volume where the tests may mount one, else a file-writing substitute), and the process is
// killed during Turn on of a large list. Each case ends with every file (hosts file, list,
// backups, settings) compared by its SHA-256 with what it must be.
#include <memory>

#include "SecurityTestSupport.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/StringTable.h"
#include "security/IESecurityFuncs.h"

using namespace sktest;
using sk::TIESecurity;

namespace {

const std::string kUserHosts = CrLf({"# my own hosts file", "127.0.0.1 dev.example", "1.2.3.4 www.bank.example",
                                     "192.168.1.20 printer"});
const std::string kList = CrLf({"# 2010-09-07", "127.0.0.1 localhost", "0.0.0.0 ads.example", "0.0.0.0 tracker.example"});
const std::string kListInstalled =
    ShieldedHosts({"# 2010-09-07", "# 127.0.0.1 localhost", "0.0.0.0 ads.example", "0.0.0.0 tracker.example"},
                  {"127.0.0.1 dev.example", "192.168.1.20 printer"});

bool Holds(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::string DefaultText() {
    std::vector<std::string> lines;
    for (const auto& l : TIESecurity::DefaultHostsText()) lines.push_back(Narrow(l));
    return CrLf(lines);
}

// The 1 MiB volume the test run mounted, as a Windows folder (with trailing backslash); empty
// when there is none.
std::wstring SmallVolume() {
    wchar_t unixPath[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURFKEEP_SMALL_VOLUME", unixPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path = L"Z:";
    for (const wchar_t* p = unixPath; *p; ++p) path += *p == L'/' ? L'\\' : *p;
    path = sk::WithTrailingBackslash(path);
    return sk::FileExists(path + L".small-volume") ? path : std::wstring();
}

// Fills the volume until only `leave` bytes are free.
void FillVolume(const std::wstring& folder, uint64_t leave) {
    ULARGE_INTEGER freeBytes{};
    REQUIRE(::GetDiskFreeSpaceExW(folder.c_str(), &freeBytes, nullptr, nullptr));
    if (freeBytes.QuadPart <= leave) return;
    WriteAll(folder + L"filler", std::string(static_cast<size_t>(freeBytes.QuadPart - leave), 'f'));
}

}  // namespace

TEST_CASE("no backup can be made: Turn on refuses, and nothing changes") {
    struct {
        const char* name;
        std::function<void(TShieldFixture&, TFaultyCalls&)> fault;
        const wchar_t* reason;
    } cases[] = {
        {"a plain file named backup where the backup folder goes",
         [](TShieldFixture& s, TFaultyCalls&) { WriteAll(s.Dir / L"backup", "not a folder"); }, L"cannot be made"},
        {"the disk is full",
         [](TShieldFixture& s, TFaultyCalls& f) {
             f.Target = s.Dir / L"backup\\";
             f.WriteBudget = 0;
         },
         L"cannot be written"},
        {"the copy does not read back the same",
         [](TShieldFixture& s, TFaultyCalls& f) {
             f.Target = s.Dir / L"backup\\";
             f.CorruptWrites = true;
         },
         L"does not read back the same"},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TShieldFixture s;
        TFaultyCalls faults;
        s.Files = &faults;
        ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        c.fault(s, faults);
        auto shield = s.Make();
        CHECK_FALSE(sk::FileExists(s.Backup));
        CHECK_FALSE(shield->State().BackupProblem.empty());
        WriteAll(s.List, kList);
        const auto before = s.Contents();
        try {
            shield->TurnOn();
            FAIL("no error");
        } catch (const sk::TShieldRefusal& e) {
            CHECK(e.Kind() == sk::TShieldRefusal::NoBackup);
            CHECK(Holds(e.Message(), L"The shield was not turned on, and your hosts file was not changed"));
            CHECK(Holds(e.Message(), c.reason));
        }
        CHECK_FALSE(shield->ShieldOn);
        CHECK(s.Contents() == before);
        CHECK(s.Flushes == 0);
    }
}

TEST_CASE("the backup is lost while the shield is on") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    auto shield = s.Make();
    WriteAll(s.List, kList);
    shield->TurnOn();
    REQUIRE(ReadAll(s.Hosts) == kListInstalled);
    DeleteTree(s.Dir / L"backup");

    // A newer list cannot go in: nothing of the user's own file would be left to carry over.
    WriteAll(s.List, kList + "0.0.0.0 newer.example\r\n");
    auto before = s.Contents();
    const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
    CHECK(Holds(error, IDS_IESECURITY_BackupMissing));
    CHECK(s.Contents() == before);
    CHECK(shield->ShieldOn);

    // Turn off writes the default file with the user's entries that the shield kept.
    shield->TurnOff();
    CHECK_FALSE(shield->ShieldOn);
    CHECK(shield->LastTurnOff().RestoredFrom.empty());
    CHECK(shield->LastTurnOff().UserEntriesKept == 2);
    CHECK(shield->LastTurnOff().Note ==
          L"No backup of your own hosts file was found: the default hosts file was written, with 2 of your own entries.");
    before[Narrow(L"etc\\hosts")] = Sha256Of(DefaultText() + CrLf({"127.0.0.1 dev.example", "192.168.1.20 printer"}));
    CHECK(s.Contents() == before);
}

TEST_CASE("a read-only or locked hosts file: every file stays as it was") {
    struct {
        const char* name;
        std::function<void(TIESecurity&)> run;
        bool on;  // the shield is on before
    } operations[] = {
        {"Turn on", [](TIESecurity& sh) { sh.TurnOn(); }, false},
        {"Turn on of a newer list", [](TIESecurity& sh) { sh.TurnOn(); }, true},
        {"Turn off", [](TIESecurity& sh) { sh.TurnOff(); }, true},
        {"Add", [](TIESecurity& sh) { sh.AddHost(L"new.example", false); }, false},
        {"Delete", [](TIESecurity& sh) { sh.DeleteHost(L"dev.example"); }, false},
    };
    for (const bool locked : {false, true}) {
        for (const auto& op : operations) {
            const std::string name = std::string(op.name) + (locked ? ", locked" : ", read-only");
            CAPTURE(name);
            TShieldFixture s;
            ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
            WriteAll(s.Hosts, kUserHosts);
            auto shield = s.Make();
            WriteAll(s.List, kList);
            if (op.on) {
                shield->TurnOn();
                WriteAll(s.List, kList + "0.0.0.0 newer.example\r\n");
            }
            const auto before = s.Contents();
            s.Flushes = 0;
            sk::THandle lock;
            if (locked)
                lock.Reset(::CreateFileW(s.Hosts.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            else
                ::SetFileAttributesW(s.Hosts.c_str(), FILE_ATTRIBUTE_READONLY);
            const std::wstring error = ErrorOf([&] { op.run(*shield); });
            lock.Reset();
            ::SetFileAttributesW(s.Hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
            CHECK(Holds(error, s.Hosts));
            CHECK(shield->ShieldOn == op.on);
            CHECK(s.Contents() == before);
            CHECK(s.Flushes == 0);
        }
    }
}

TEST_CASE("the disk fills during Turn on") {
    const std::wstring volume = SmallVolume();
    const bool real = !volume.empty();
    if (!real) MESSAGE("no small volume could be mounted: the full disk comes from the file-writing substitute");
    // The large list lies elsewhere; the hosts file and the backups on the small volume.
    std::string big = "# 2010-09-07\r\n";
    for (int i = 0; big.size() < 1500 * 1024; ++i) big += "0.0.0.0 tracker" + std::to_string(i) + ".example\r\n";
    const std::string edited = kUserHosts + "10.0.0.7 nas.lan\r\n";

    struct {
        const char* name;
        std::string list;
        uint64_t leave;  // bytes left free on the volume before Turn on (real volume)
        long long budget;  // bytes the substitute lets through to the volume's files
        const wchar_t* reason;
    } cases[] = {
        // The dated backup fits; the new hosts file does not.
        {"the new hosts file does not fit", big, 256 * 1024, 64 * 1024, L"Unable to write to"},
        // Not even the backup fits.
        {"the backup does not fit", kList, 0, 0, L"The shield was not turned on"},
    };
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        TShieldFixture s;
        TFaultyCalls faults;
        std::wstring onVolume;
        if (real) {
            onVolume = volume + L"sk-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
            DeleteTree(onVolume);
            REQUIRE(::CreateDirectoryW(onVolume.c_str(), nullptr));
            s.Hosts = onVolume + L"etc\\hosts";
            s.Backup = onVolume + L"backup\\hosts";
        } else {
            s.Files = &faults;
            ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
        }
        ::CreateDirectoryW(sk::FileFolderOf(s.Hosts).c_str(), nullptr);
        WriteAll(s.Hosts, kUserHosts);
        auto shield = s.Make();
        REQUIRE(ReadAll(s.Backup) == kUserHosts);
        WriteAll(s.Hosts, edited);  // edited since: a dated backup is due
        WriteAll(s.List, c.list);
        if (real) {
            FillVolume(onVolume, c.leave);
        } else {
            faults.Target = s.Dir / L"etc\\";
            faults.WriteBudget = c.budget;
            if (c.budget == 0) faults.Target = s.Dir.Path();
        }
        const auto before = s.Contents();
        const auto beforeVolume = real ? Snapshot(onVolume) : std::map<std::string, std::string>();
        const std::wstring error = ErrorOf([&] { shield->TurnOn(); });
        CAPTURE(Narrow(error));
        CHECK(Holds(error, c.reason));
        CHECK_FALSE(shield->ShieldOn);
        CHECK(ReadAll(s.Hosts) == edited);
        if (real) {
            // The volume holds what it held, and perhaps the dated backup made first, which is a
            // whole copy of the user's file.
            auto after = Snapshot(onVolume);
            for (auto it = after.begin(); it != after.end();) {
                if (it->first.rfind("backup\\hosts-", 0) == 0 && it->second == Sha256Of(edited))
                    it = after.erase(it);
                else
                    ++it;
            }
            CHECK(after == beforeVolume);
            CHECK(s.Contents() == before);
            DeleteTree(onVolume);
        } else {
            auto after = s.Contents();
            for (auto it = after.begin(); it != after.end();) {
                if (it->first.rfind("backup\\hosts-", 0) == 0 && it->second == Sha256Of(edited))
                    it = after.erase(it);
                else
                    ++it;
            }
            CHECK(after == before);
        }
    }
}

TEST_CASE("the process is killed during Turn on of a large list: the hosts file is the old one or the new one") {
    TShieldFixture s;
    ::CreateDirectoryW((s.Dir / L"etc").c_str(), nullptr);
    WriteAll(s.Hosts, kUserHosts);
    WriteAll(s.List, UnifiedList(250000));
    // The complete new file, made here first.
    std::string complete;
    {
        auto shield = s.Make();
        shield->TurnOn();
        complete = ReadAll(s.Hosts);
        REQUIRE(complete.size() > 5000000);
    }
    const std::wstring child = TestExeFolder() + L"security_turnon_child.exe";
    REQUIRE(sk::FileExists(child));
    int old = 0, whole = 0, recovered = 0;
    for (const DWORD delay : {0u, 1u, 3u, 6u, 10u, 20u, 35u, 50u, 80u, 120u, 160u, 220u, 300u, 450u, 700u, 2000u}) {
        CAPTURE(delay);
        WriteAll(s.Hosts, kUserHosts);
        const std::wstring eventName = L"sk-turnon-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(delay);
        const sk::THandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        std::wstring command = L"\"" + child + L"\" \"" + s.Hosts + L"\" \"" + s.List + L"\" \"" + s.Backup + L"\" \"" +
                               s.Settings + L"\" " + eventName;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        REQUIRE(::CreateProcessW(child.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        const sk::THandle process(pi.hProcess), thread(pi.hThread);
        REQUIRE(::WaitForSingleObject(ready.Get(), 30000) == WAIT_OBJECT_0);
        ::Sleep(delay);
        ::TerminateProcess(process.Get(), 9);
        ::WaitForSingleObject(process.Get(), 30000);

        // Right after the kill: the old file, the new one, or (killed between the two steps of
        // the swap) the old one set aside, whole.
        if (sk::FileExists(s.Hosts)) {
            const std::string now = ReadAll(s.Hosts);
            CHECK((now == kUserHosts || now == complete));
        } else {
            CHECK(ReadAll(sk::AsideNameOf(s.Hosts)) == kUserHosts);
            ++recovered;
        }
        // The next start finishes what was cut off.
        s.Make();
        const std::string after = ReadAll(s.Hosts);
        CHECK((after == kUserHosts || after == complete));
        (after == complete ? whole : old) += 1;
        CHECK_FALSE(sk::FileExists(sk::AsideNameOf(s.Hosts)));
        CHECK(FilesStartingWith(s.Dir / L"etc\\", L"~sk").empty());
        CHECK(FilesStartingWith(s.Dir.Path(), L"~sk").empty());
        CHECK(ReadAll(s.Backup) == kUserHosts);
    }
    MESSAGE("killed with the old file " << old << " times, with the new one " << whole << " times, " << recovered
                                        << " times between the two steps of the swap");
    CHECK(old > 0);
    CHECK(whole > 0);
}
