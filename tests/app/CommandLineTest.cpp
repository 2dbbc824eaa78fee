// The real program run as a script runs it, in a Wine prefix of this test's own (it repairs the
// registry and swaps the hosts file, which the other tests rely on as the fresh prefix has them):
// exit codes, the JSON report read back, the console texts from the language pack, the restore
// points of every change, bad arguments, and a change refused while the window is open.
#include "CommandLineTestSupport.h"
#include "HttpTestServer.h"
#include "ProcessWindow.h"

#include <algorithm>
#include <set>

#include "base/Format.h"
#include "base/StringTable.h"
#include "repair/IERepairFuncs.h"

using namespace sk;
using namespace sktest;
using TJson = nlohmann::json;

namespace {

const wchar_t* const kMenuExt = L"Software\\Microsoft\\Internet Explorer\\MenuExt";
const wchar_t* const kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const std::wstring kAddOnName = L"E&xport to Sponsor, Inc.";

std::set<int> NeedingRepair(const TJson& report) {
    std::set<int> found;
    for (const TJson& item : report.at("items"))
        if (item.at("needsRepair").get<bool>()) found.insert(item.at("index").get<int>());
    return found;
}

std::wstring ReadText(HKEY root, const wchar_t* path, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (::RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return L"(absent)";
    return buffer;
}

void WriteText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    REQUIRE(::RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

// Standard output and standard error of a run that asked for its JSON there (/json -): the report.
TJson JsonOut(const TCliResult& run) {
    INFO("stdout: " << run.Out);
    INFO("stderr: " << run.Err);
    return TJson::parse(run.Out);
}

std::vector<std::wstring> Errors(const TJson& report) {
    std::vector<std::wstring> errors;
    for (const TJson& e : report.at("errors")) errors.push_back(Wide(e));
    return errors;
}

// The restore points' folders.
std::vector<std::wstring> PointFolders(const TProgramCopy& program) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW((program / L"backup\\restore\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST_CASE("a script's round on a fresh machine: scan, remove, repair, undo, shield on and back") {
    TProgramCopy program;
    const std::wstring startPage = ReadText(HKEY_CURRENT_USER, kMain, L"Start Page");
    // A context-menu extension of an add-on, for /plugins and /remove.
    WriteText(HKEY_CURRENT_USER, std::wstring(kMenuExt) + L"\\" + kAddOnName, nullptr, L"res://sponsor.dll/export.htm");

    // The first run makes the settings and the language pack, as the window's first start does.
    const TCliResult scan = program.Run(L"/scan /json scan.json");
    INFO("stderr: " << scan.Err);
    CHECK(scan.Code == 1);
    CHECK(FileExists(program / L"config\\config.ini"));
    const std::wstring pack = program / (L"langs\\1033\\" + ChangeFileExt(FileNameOf(program.Exe()), L".ini"));
    REQUIRE(FileExists(pack));
    const TJson report = ReadJson(program / L"scan.json");
    CHECK(report.at("command") == "scan");
    CHECK(report.at("exitCode") == 1);
    CHECK(report.at("errors").empty());
    REQUIRE(report.at("items").size() == 22);
    for (size_t i = 0; i < 22; ++i) {
        CHECK(report["items"][i].at("index") == i);
        CHECK(Wide(report["items"][i].at("text")) == *RepairItemAt(static_cast<int>(i)).Text);
    }
    CHECK(NeedingRepair(report) == std::set<int>{0, 4, 9, 18});
    // The shield as a fresh machine has it.
    CHECK(report.at("shield").at("on") == false);
    CHECK(report["shield"].at("entries") == 0);
    CHECK(report["shield"].at("listVersion").is_null());
    // The add-on, with an id to remove it by.
    std::wstring id;
    for (const TJson& p : report.at("plugins"))
        if (Wide(p.at("name")) == kAddOnName) {
            CHECK(p.at("kind") == "menuExtension");
            CHECK(p.at("view").is_null());
            CHECK(p.at("file").is_null());
            id = Wide(p.at("id"));
        }
    REQUIRE_FALSE(id.empty());
    // The human-readable lines went to standard output, in the pack's texts.
    CHECK(Contains(scan.OutText(), Fmt(IDS_COMMANDLINE_ScanNeedsRepair, 4)));
    CHECK(Contains(scan.OutText(), id));

    SUBCASE("every change has its restore point, and a restore puts back what it recorded") {
        // /remove by the id /plugins printed.
        const TCliResult remove = program.Run(L"/remove " + id + L" /json -");
        CHECK(remove.Code == 0);
        const TJson removed = JsonOut(remove);
        CHECK(Errors(removed).empty());
        CHECK_FALSE(Wide(removed.at("restorePoint")).empty());
        CHECK(Wide(removed.at("plugins").at(0).at("id")) == id);
        CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(kMenuExt) + L"\\" + kAddOnName));

        // /repair all repairs what the scan found, with the rows the window shows.
        const TCliResult repair = program.Run(L"/repair all /json repair.json");
        INFO("stderr: " << repair.Err);
        CHECK(repair.Code == 0);
        CHECK(repair.Err.empty());
        const TJson repaired = ReadJson(program / L"repair.json");
        CHECK(repaired.at("exitCode") == 0);
        CHECK(Errors(repaired).empty());
        const std::wstring repairPoint = Wide(repaired.at("restorePoint"));
        CHECK_FALSE(repairPoint.empty());
        std::vector<int> items;
        for (const TJson& item : repaired.at("items")) {
            items.push_back(item.at("index").get<int>());
            CHECK(item.at("needsRepair") == false);
        }
        CHECK(items == std::vector<int>{0, 4, 9, 18});
        REQUIRE(repaired.at("rows").size() >= 4);
        bool homePage = false;
        for (const TJson& row : repaired["rows"]) {
            CHECK_FALSE(Wide(row.at("label")).empty());
            CHECK(row.at("before") != row.at("after"));
            if (Wide(row["before"]) == startPage && Wide(row["after"]) == L"about:blank") homePage = true;
        }
        CHECK(homePage);
        CHECK(ReadText(HKEY_CURRENT_USER, kMain, L"Start Page") == L"about:blank");

        // Nothing needs repair now; the text comes from the language pack.
        REQUIRE(::WritePrivateProfileStringW(L"Surfkeep Langs", L"IDS_COMMANDLINE_ScanInOrder", L"Alles in Ordnung.",
                                             pack.c_str()));
        const TCliResult again = program.Run(L"/scan /json again.json");
        CHECK(again.Code == 0);
        CHECK(NeedingRepair(ReadJson(program / L"again.json")).empty());
        CHECK(Contains(again.OutText(), L"Alles in Ordnung."));

        // Someone changes a repaired setting: the restore refuses, says what changed, and writes nothing.
        WriteText(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://intranet.example/");
        const TCliResult refused = program.Run(L"/restore " + repairPoint + L" /json -");
        CHECK(refused.Code == 2);
        const TJson refusal = JsonOut(refused);
        REQUIRE(Errors(refusal).size() == 1);
        CHECK(Contains(Errors(refusal)[0], L"/force"));
        CHECK(Contains(refused.ErrText(), L"http://intranet.example/"));
        REQUIRE(refusal.at("changedSince").size() == 1);
        CHECK(Contains(Wide(refusal["changedSince"][0].at("where")), L"Start Page"));
        CHECK(Contains(Wide(refusal["changedSince"][0].at("present")), L"http://intranet.example/"));
        CHECK(ReadText(HKEY_CURRENT_USER, kMain, L"Start Page") == L"http://intranet.example/");

        // With /force it puts everything back, the changed setting too.
        const TCliResult forced = program.Run(L"/restore " + repairPoint + L" /force /json -");
        CHECK(forced.Code == 0);
        const TJson restored = JsonOut(forced);
        CHECK(Errors(restored).empty());
        CHECK_FALSE(restored.at("rows").empty());
        CHECK(Wide(restored.at("restores")) == repairPoint);
        CHECK(ReadText(HKEY_CURRENT_USER, kMain, L"Start Page") == startPage);

        // The points, newest first: the restore's own, the repair's, the removal's.
        const TCliResult list = program.Run(L"/restore list /json -");
        CHECK(list.Code == 0);
        const TJson points = JsonOut(list).at("restorePoints");
        REQUIRE(points.size() == 3);
        CHECK(points[0].at("operation") == "restore");
        CHECK(Wide(points[1].at("id")) == repairPoint);
        CHECK(points[1].at("operation") == "repair");
        CHECK(points[1].at("state") == "complete");
        CHECK(points[2].at("operation") == "plugin-removal");
        CHECK(PointFolders(program).size() == 3);
    }

    SUBCASE("the shield goes on with the list beside the program, updates it, and goes off; a restore puts the hosts file back") {
        const std::wstring hosts = Wide(report["shield"].at("hostsFile"));
        const std::vector<unsigned char> before = ReadBytes(hosts);

        // Without a list there is nothing to turn on.
        const TCliResult noList = program.Run(L"/shield on");
        CHECK(noList.Code == 2);
        CHECK(noList.ErrText() == ErrorBoxText(Fmt(IDS_COMMANDLINE_NoHostsList, program / L"hosts.txt")) + L"\r\n");
        CHECK(ReadBytes(hosts) == before);

        const std::string list =
            "# 2026-01-15\r\n127.0.0.1 ads.example\r\n127.0.0.1 tracker.example\r\n127.0.0.1 popups.example\r\n";
        WriteBytes(program / L"hosts.txt", std::vector<unsigned char>(list.begin(), list.end()));
        const TCliResult on = program.Run(L"/shield on /json -");
        CHECK(on.Code == 0);
        const TJson turnedOn = JsonOut(on);
        CHECK(Errors(turnedOn).empty());
        CHECK_FALSE(Wide(turnedOn.at("restorePoint")).empty());
        CHECK_FALSE(turnedOn.at("rows").empty());
        CHECK(ReadBytes(hosts) != before);

        const TCliResult status = program.Run(L"/shield status /json -");
        CHECK(status.Code == 0);
        const TJson shield = JsonOut(status).at("shield");
        CHECK(shield.at("on") == true);
        CHECK(shield.at("entries") == 3);
        CHECK(shield.at("listVersion") == "2026-01-15");

        const TCliResult undo = program.Run(L"/restore last");
        INFO("stderr: " << undo.Err);
        CHECK(undo.Code == 0);
        CHECK(ReadBytes(hosts) == before);
        const TCliResult off = program.Run(L"/shield status");
        CHECK(off.Code == 0);
        CHECK(Contains(off.OutText(), Fmt(IDS_COMMANDLINE_ShieldState, IDS_COMMANDLINE_Off, 0, L"2026-01-15")));

        // On again, then a newer list from the server goes into the hosts file at once.
        REQUIRE(program.Run(L"/shield on").Code == 0);
        const std::vector<unsigned char> withList = ReadBytes(hosts);
        THttpTestServer server;
        server.On("/hosts.txt", Answer(200, "# 2026-02-01\n0.0.0.0 ads.example\n0.0.0.0 tracker.example\n"
                                            "0.0.0.0 popups.example\n0.0.0.0 miner.example\n"));
        REQUIRE(::WritePrivateProfileStringW(L"SURFKEEP", L"HostsListUrl", server.Url("/hosts.txt").c_str(),
                                             (program / L"config\\config.ini").c_str()));
        const TCliResult update = program.Run(L"/shield update /json -");
        CHECK(update.Code == 0);
        const TJson updated = JsonOut(update);
        CHECK(Errors(updated).empty());
        CHECK(updated.at("update").at("installed") == true);
        CHECK(updated["update"].at("hostsInstalled") == true);
        CHECK(updated["update"].at("sources").at(0).at("outcome") == "newer");
        CHECK_FALSE(Wide(updated.at("restorePoint")).empty());
        CHECK(updated.at("shield").at("entries") == 4);
        CHECK(updated["shield"].at("listVersion") == "2026-02-01");
        CHECK(ReadBytes(hosts) != withList);

        // Off puts the user's own hosts file back, byte for byte.
        const TCliResult turnOff = program.Run(L"/shield off /json -");
        CHECK(turnOff.Code == 0);
        const TJson turnedOff = JsonOut(turnOff);
        CHECK(Errors(turnedOff).empty());
        CHECK_FALSE(Wide(turnedOff.at("restorePoint")).empty());
        CHECK(turnedOff.at("shield").at("on") == false);
        CHECK(ReadBytes(hosts) == before);
    }
}

TEST_CASE("arguments that are not understood exit 3 with the usage, and change nothing") {
    TProgramCopy program;
    struct TCase {
        const wchar_t* Arguments;
        std::wstring Problem;
    };
    const std::vector<TCase> cases = {
        {L"/bogus", Fmt(IDS_COMMANDLINE_UnknownSwitch, L"/bogus")},
        {L"/repair 22", Fmt(IDS_COMMANDLINE_BadItem, L"22")},
        {L"/scan /plugins /json report.json", Fmt(IDS_COMMANDLINE_OneCommand, L"/plugins")},
        {L"/shield on off", Fmt(IDS_COMMANDLINE_BadShieldAction, L"/shield")},
    };
    for (const TCase& c : cases) {
        CAPTURE(Narrow(c.Arguments));
        const TCliResult run = program.Run(c.Arguments);
        CHECK(run.Code == 3);
        CHECK(run.Out.empty());
        CHECK(run.ErrText() == ErrorBoxText(c.Problem) + L"\r\n\r\n" + IDS_COMMANDLINE_Usage + L"\r\n");
    }
    CHECK_FALSE(FileExists(program / L"report.json"));
    CHECK_FALSE(DirectoryExists(program / L"backup"));
    // Asked for, the usage goes to standard output.
    const TCliResult help = program.Run(L"/?");
    CHECK(help.Code == 0);
    CHECK(help.OutText() == IDS_COMMANDLINE_Usage + L"\r\n");
    CHECK(help.Err.empty());
}

TEST_CASE("while the window is open a change refuses with exit 2 and says why; a scan runs beside it") {
    TProgramCopy program;
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + program.Exe() + L"\"";
    REQUIRE(::CreateProcessW(program.Exe().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             program.Dir().Path().c_str(), &si, &pi));
    THandle process(pi.hProcess), thread(pi.hThread);
    HWND window = nullptr;
    for (const ULONGLONG end = ::GetTickCount64() + 60000; !window && ::GetTickCount64() < end;) {
        window = VisibleWindowOf(pi.dwProcessId, L"TfrmSurfkeep");
        if (!window && ::WaitForSingleObject(process.Get(), 50) == WAIT_OBJECT_0) break;
    }
    REQUIRE(window != nullptr);
    const std::wstring startPage = ReadText(HKEY_CURRENT_USER, kMain, L"Start Page");

    const TCliResult repair = program.Run(L"/repair all /json refused.json");
    CHECK(repair.Code == 2);
    CHECK(repair.ErrText() == ErrorBoxText(IDS_COMMANDLINE_WindowOpen) + L"\r\n");
    const TJson refused = ReadJson(program / L"refused.json");
    CHECK(refused.at("exitCode") == 2);
    CHECK(Errors(refused) == std::vector<std::wstring>{IDS_COMMANDLINE_WindowOpen});
    CHECK(ReadText(HKEY_CURRENT_USER, kMain, L"Start Page") == startPage);
    CHECK(PointFolders(program).empty());

    // Whatever the earlier tests left to repair, the scan reports it.
    const TCliResult scan = program.Run(L"/scan /json -");
    CHECK((scan.Code == 0 || scan.Code == 1));
    const TJson scanned = JsonOut(scan);
    CHECK(scanned.at("items").size() == 22);
    CHECK(Errors(scanned).empty());

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(::WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0);
}
