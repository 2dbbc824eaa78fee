// The real release packages in the test's Wine prefix: the installer run silently into Program Files
// and into a folder of the user's choice, the first start from there, an upgrade over a running copy,
// the silent removal, and the program started from the unpacked portable zip.
#include "ProcessWindow.h"
#include "TestSupport.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <optional>

#include "ReleasePackages.h"
#include "base/ComPtr.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"

using namespace sk;
using sktest::ReadBytes;
using sktest::TTempDir;
using sktest::WriteBytes;

namespace {

const std::wstring kBuiltProgram = sktest::TestExeFolder() + L"..\\..\\surfkeep.exe";
const wchar_t* const kUninstallParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Surfkeep";
const wchar_t* const kWindowClass = L"TfrmSurfkeep";
constexpr DWORD kProcessTimeoutMs = 120000;
constexpr DWORD kWindowTimeoutMs = 60000;

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::wstring ProgramFilesFolder() { return SpecialFolderPath(CSIDL_PROGRAM_FILES, false) + L"Surfkeep\\"; }
std::wstring ShortcutFile() { return SpecialFolderPath(CSIDL_COMMON_PROGRAMS, false) + L"Surfkeep.lnk"; }

// --- processes -------------------------------------------------------------------------------------

struct TProcess {
    THandle Handle;
    DWORD Id = 0;
};

TProcess Start(std::wstring commandLine, const std::wstring& folder) {
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi);
    INFO("starting " << sktest::Narrow(commandLine));
    REQUIRE(started);
    THandle thread(pi.hThread);
    return {THandle(pi.hProcess), pi.dwProcessId};
}

// The exit code, or 0xDEAD for a process that had to be ended after the time-out.
DWORD WaitForExit(const THandle& process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 0xDEAD);
        return 0xDEAD;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

// Runs a command to its end, together with the processes it started: the uninstaller hands its work
// to a copy of itself in %TEMP% and returns at once. The result is that copy's exit code, when
// there is one. Wine's desktop process, started by the first program that opens a window, stays.
DWORD Run(const std::wstring& commandLine) {
    TTempDir folder;
    const TProcess p = Start(commandLine, folder.Path());
    DWORD code = WaitForExit(p.Handle, kProcessTimeoutMs);
    THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    REQUIRE(snapshot.IsValid());
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID != p.Id || entry.th32ProcessID == p.Id) continue;
        if (_wcsicmp(entry.szExeFile, L"explorer.exe") == 0) continue;
        THandle child(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                    entry.th32ProcessID));
        if (child.IsValid()) code = WaitForExit(child, kProcessTimeoutMs);
    }
    return code;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// The program, started from its folder by a user whose current folder is elsewhere, with its
// main window shown.
struct TRunningProgram {
    TTempDir Elsewhere;
    TProcess Process;
    HWND Window = nullptr;

    explicit TRunningProgram(const std::wstring& exe) : Process(Start(Quoted(exe), Elsewhere.Path())) {
        const ULONGLONG end = ::GetTickCount64() + kWindowTimeoutMs;
        while (!Window && ::GetTickCount64() < end) {
            Window = sktest::VisibleWindowOf(Process.Id, kWindowClass);
            if (!Window && ::WaitForSingleObject(Process.Handle.Get(), 100) == WAIT_OBJECT_0) break;
        }
    }
    ~TRunningProgram() {
        if (::WaitForSingleObject(Process.Handle.Get(), 0) != WAIT_OBJECT_0)
            ::TerminateProcess(Process.Handle.Get(), 1);
    }
    std::wstring Title() const {
        wchar_t title[128] = {};
        ::GetWindowTextW(Window, title, 128);
        return title;
    }
    DWORD Close() {
        ::PostMessageW(Window, WM_CLOSE, 0, 0);
        return WaitForExit(Process.Handle, kWindowTimeoutMs);
    }
};

// Goes through the uninstaller's own windows as a user would: Uninstall on its confirmation page,
// OK in every message box (whose texts it returns), Close at the end.
std::vector<std::wstring> UninstallByHand(const std::wstring& uninstaller) {
    TTempDir folder;
    const TProcess starter = Start(Quoted(uninstaller), folder.Path());
    REQUIRE(WaitForExit(starter.Handle, kProcessTimeoutMs) == 0);
    // The copy in %TEMP% that does the work.
    TProcess worker;
    THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == starter.Id && _wcsicmp(entry.szExeFile, L"explorer.exe") != 0) {
            worker.Handle.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                              FALSE, entry.th32ProcessID));
            worker.Id = entry.th32ProcessID;
        }
    }
    REQUIRE(worker.Handle.IsValid());

    std::vector<std::wstring> messages;
    const ULONGLONG end = ::GetTickCount64() + kProcessTimeoutMs;
    while (::WaitForSingleObject(worker.Handle.Get(), 200) == WAIT_TIMEOUT && ::GetTickCount64() < end) {
        HWND box = nullptr, wizard = nullptr;
        for (HWND w : sktest::VisibleWindowsOf(worker.Id, L"#32770")) (::GetDlgItem(w, 0xFFFF) ? box : wizard) = w;
        if (box) {
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
            messages.push_back(text);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        } else if (HWND next = wizard ? ::GetDlgItem(wizard, IDOK) : nullptr;
                   next && ::IsWindowVisible(next) && ::IsWindowEnabled(next)) {
            ::PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
            ::Sleep(1000);  // one press per page
        }
    }
    CHECK(WaitForExit(worker.Handle, 0) == 0);
    return messages;
}

// --- what the installation left -----------------------------------------------------------------

TKey OpenUninstallKey() {
    TKey key;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive());
    return key;
}

std::optional<std::wstring> UninstallString(const wchar_t* name) {
    const TKey key = OpenUninstallKey();
    if (!key.IsValid()) return std::nullopt;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t), L'\0');
    ::RegQueryValueExW(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::optional<DWORD> UninstallNumber(const wchar_t* name) {
    const TKey key = OpenUninstallKey();
    DWORD type = 0, value = 0, size = sizeof value;
    if (!key.IsValid() ||
        ::RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

// One text of a file's version resource, in the language it lists first.
std::wstring VersionText(const std::wstring& file, const std::wstring& name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return L"(no version resource)";
    std::vector<unsigned char> data(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return L"(unreadable)";
    WORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                          &length) ||
        length < 2 * sizeof(WORD))
        return L"(no translation)";
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    wchar_t* text = nullptr;
    if (!::VerQueryValueW(data.data(), (block + name).c_str(), reinterpret_cast<void**>(&text), &length)) return L"";
    return text;
}

std::wstring FixedProductVersion(const std::wstring& file) {
    DWORD ignored = 0;
    std::vector<unsigned char> data(::GetFileVersionInfoSizeW(file.c_str(), &ignored));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (data.empty() || !::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length))
        return L"";
    return std::to_wstring(HIWORD(info->dwProductVersionMS)) + L"." +
           std::to_wstring(LOWORD(info->dwProductVersionMS)) + L"." +
           std::to_wstring(HIWORD(info->dwProductVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwProductVersionLS));
}

std::wstring ShortcutTarget(const std::wstring& lnk) {
    TComInit com;
    TComPtr<IShellLinkW> link;
    TComPtr<IPersistFile> file;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.Receive()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()))) ||
        FAILED(file->Load(lnk.c_str(), STGM_READ)))
        return L"(unreadable)";
    wchar_t target[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, 0);
    return target;
}

// Every place an installation writes to, emptied before and after a case, so that one failing case
// leaves nothing behind for the next.
struct TCleanInstallation {
    std::vector<std::wstring> Folders;

    explicit TCleanInstallation(std::vector<std::wstring> folders) : Folders(std::move(folders)) { Clean(); }
    ~TCleanInstallation() { Clean(); }
    void Clean() {
        TKey parent;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParent, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                            parent.Receive()) == ERROR_SUCCESS)
            ::RegDeleteTreeW(parent.Get(), L"Surfkeep");
        ::DeleteFileW(ShortcutFile().c_str());
        for (const std::wstring& folder : Folders) sktest::DeleteTree(folder);
    }
};

void CheckRegistered(const std::wstring& folder) {
    const std::wstring exe = folder + L"surfkeep.exe";
    const std::wstring uninstaller = folder + L"uninstall.exe";
    std::wstring location = folder;
    location.pop_back();
    CHECK(UninstallString(L"DisplayName") == L"Surfkeep");
    CHECK(UninstallString(L"DisplayVersion") == kVersion);
    CHECK(UninstallString(L"Publisher") == VersionText(exe, L"CompanyName"));
    CHECK(UninstallString(L"DisplayIcon") == exe + L",0");
    CHECK(UninstallString(L"UninstallString") == Quoted(uninstaller));
    CHECK(UninstallString(L"QuietUninstallString") == Quoted(uninstaller) + L" /S");
    CHECK(UninstallString(L"InstallLocation") == location);
    CHECK(UninstallNumber(L"NoModify") == 1u);
    CHECK(UninstallNumber(L"NoRepair") == 1u);
    // In KB: at least the program itself.
    const std::optional<DWORD> size = UninstallNumber(L"EstimatedSize");
    REQUIRE(size.has_value());
    CHECK(*size >= ReadBytes(exe).size() / 1024);
    CHECK(*size < 64 * 1024);
}

}  // namespace

TEST_CASE("the packages carry the product's name and the one version") {
    CHECK(VersionText(kSetupExe, L"ProductName") == L"Surfkeep");
    CHECK(VersionText(kSetupExe, L"ProductVersion") == kVersion);
    CHECK(VersionText(kSetupExe, L"FileDescription") == L"Surfkeep Setup");
    CHECK(VersionText(kSetupExe, L"CompanyName") == VersionText(kBuiltProgram, L"CompanyName"));
    CHECK(FixedProductVersion(kSetupExe) == kVersion + L".0");
    CHECK(VersionText(kBuiltProgram, L"ProductVersion") == kVersion);
    CHECK(FixedProductVersion(kBuiltProgram) == kVersion + L".0");
}

TEST_CASE("installed per machine: first start, upgrade over the running program, removal keeping the hosts backup") {
    const std::wstring folder = ProgramFilesFolder();
    TCleanInstallation clean({folder});
    const std::wstring exe = folder + L"surfkeep.exe";

    REQUIRE(Run(Quoted(kSetupExe) + L" /S") == 0);
    REQUIRE(FileExists(exe));
    CHECK(ReadBytes(exe) == ReadBytes(kBuiltProgram));
    CHECK(FileExists(folder + L"readme.txt"));
    CHECK(FileExists(folder + L"uninstall.exe"));
    CHECK(ShortcutTarget(ShortcutFile()) == exe);
    CheckRegistered(folder);

    // The first start writes the settings and the language pack beside the program.
    {
        TRunningProgram program(exe);
        REQUIRE(program.Window != nullptr);
        CHECK(TProfileFile(folder + L"config\\config.ini").ReadString(L"LANGUAGE", L"Language", L"") == L"1033");
        CHECK(FileExists(folder + L"langs\\1033\\surfkeep.ini"));
        CHECK_FALSE(DirectoryExists(program.Elsewhere / L"config"));
        CHECK(program.Close() == 0);
    }

    // What the user has by now: changed settings, an own title in the language pack, a downloaded
    // list and the backups.
    TProfileFile(folder + L"config\\config.ini").WriteString(L"SURFKEEP", L"IECookies", L"0");
    TProfileFile(folder + L"langs\\1033\\surfkeep.ini")
        .WriteString(L"Surfkeep Langs", L"IDS_SURFKEEP_FormTitle", L"My Surfkeep");
    WriteBytes(folder + L"hosts.txt", Bytes("#v20260101\r\n127.0.0.1 ads.example\r\n"));
    CreateFolder(folder + L"backup");
    if (!FileExists(folder + L"backup\\hosts")) WriteBytes(folder + L"backup\\hosts", Bytes("127.0.0.1 localhost\r\n"));
    CreateFolder(folder + L"backup\\plugins");
    WriteBytes(folder + L"backup\\plugins\\2026-01-01 10-00-00.reg", Bytes("Windows Registry Editor Version 5.00\r\n"));
    const std::vector<std::wstring> userFiles = {L"config\\config.ini", L"langs\\1033\\surfkeep.ini", L"hosts.txt",
                                                 L"backup\\hosts", L"backup\\plugins\\2026-01-01 10-00-00.reg"};
    std::vector<std::vector<unsigned char>> before;
    for (const std::wstring& f : userFiles) before.push_back(ReadBytes(folder + f));
    const std::vector<unsigned char> readme = ReadBytes(folder + L"readme.txt");
    WriteBytes(folder + L"readme.txt", Bytes("changed"));

    // The upgrade closes the running copy, puts the program's own files back and keeps the user's.
    {
        TRunningProgram program(exe);
        REQUIRE(program.Window != nullptr);
        CHECK(program.Title() == L"My Surfkeep");
        REQUIRE(Run(Quoted(kSetupExe) + L" /S") == 0);
        CHECK(WaitForExit(program.Process.Handle, kWindowTimeoutMs) == 0);
    }
    CHECK(ReadBytes(folder + L"readme.txt") == readme);
    CHECK(ReadBytes(exe) == ReadBytes(kBuiltProgram));
    for (size_t i = 0; i < userFiles.size(); ++i) {
        CAPTURE(userFiles[i]);
        CHECK(ReadBytes(folder + userFiles[i]) == before[i]);
    }
    CheckRegistered(folder);

    // Removal as Add/Remove Programs does it unattended.
    const std::optional<std::wstring> quietUninstall = UninstallString(L"QuietUninstallString");
    REQUIRE(quietUninstall.has_value());
    CHECK(Run(*quietUninstall) == 0);
    CHECK_FALSE(OpenUninstallKey().IsValid());
    CHECK_FALSE(FileExists(ShortcutFile()));
    for (const wchar_t* gone : {L"surfkeep.exe", L"uninstall.exe", L"readme.txt", L"hosts.txt"}) {
        CAPTURE(std::wstring(gone));
        CHECK_FALSE(FileExists(folder + gone));
    }
    CHECK_FALSE(DirectoryExists(folder + L"config"));
    CHECK_FALSE(DirectoryExists(folder + L"langs"));
    CHECK(ReadBytes(folder + L"backup\\hosts") == before[3]);
    CHECK(ReadBytes(folder + L"backup\\plugins\\2026-01-01 10-00-00.reg") == before[4]);
}

TEST_CASE("a folder of the user's choice is kept by the next installation and removed whole") {
    const std::wstring parent = L"C:\\Surfkeep Test Apps\\";
    const std::wstring folder = parent + L"Surf Keep\\";
    TCleanInstallation clean({parent, ProgramFilesFolder()});

    // /D= comes last and is never quoted, spaces and all.
    REQUIRE(Run(Quoted(kSetupExe) + L" /S /D=" + folder.substr(0, folder.size() - 1)) == 0);
    CHECK(FileExists(folder + L"surfkeep.exe"));
    CHECK_FALSE(DirectoryExists(ProgramFilesFolder()));
    CheckRegistered(folder);
    CHECK(ShortcutTarget(ShortcutFile()) == folder + L"surfkeep.exe");

    // Without /D= an upgrade goes where the installation is.
    REQUIRE(Run(Quoted(kSetupExe) + L" /S") == 0);
    CHECK_FALSE(DirectoryExists(ProgramFilesFolder()));
    CheckRegistered(folder);

    // Nothing of the user's in it: the folder goes too.
    CHECK(Run(Quoted(folder + L"uninstall.exe") + L" /S") == 0);
    CHECK_FALSE(DirectoryExists(folder));
    CHECK_FALSE(OpenUninstallKey().IsValid());
}

TEST_CASE("the unpacked portable copy runs and keeps its files beside itself") {
    const std::wstring exe = kPortableFolder + L"surfkeep.exe";
    INFO("unpacked by the release_portable_zip test: " << sktest::Narrow(kPortableFolder));
    REQUIRE(FileExists(exe));
    CHECK(VersionText(exe, L"ProductVersion") == kVersion);
    {
        TRunningProgram program(exe);
        REQUIRE(program.Window != nullptr);
        CHECK(FileExists(kPortableFolder + L"config\\config.ini"));
        CHECK(FileExists(kPortableFolder + L"langs\\1033\\surfkeep.ini"));
        CHECK_FALSE(DirectoryExists(program.Elsewhere / L"config"));
        CHECK(program.Close() == 0);
    }
    CHECK_FALSE(OpenUninstallKey().IsValid());
}

TEST_CASE("removal by hand says where the backup of the hosts file stays") {
    const std::wstring parent = L"C:\\Surfkeep Test Apps\\";
    const std::wstring folder = parent + L"Surfkeep\\";
    TCleanInstallation clean({parent});
    for (const bool backup : {true, false}) {
        CAPTURE(backup);
        REQUIRE(Run(Quoted(kSetupExe) + L" /S /D=" + folder.substr(0, folder.size() - 1)) == 0);
        if (backup) {
            CreateFolder(folder + L"backup");
            WriteBytes(folder + L"backup\\hosts", Bytes("127.0.0.1 localhost\r\n"));
        }
        const std::vector<std::wstring> messages = UninstallByHand(folder + L"uninstall.exe");
        CHECK_FALSE(FileExists(folder + L"surfkeep.exe"));
        CHECK_FALSE(OpenUninstallKey().IsValid());
        if (backup) {
            REQUIRE(messages.size() == 1);
            CHECK(messages[0].find(folder + L"backup\\hosts") != std::wstring::npos);
            CHECK(FileExists(folder + L"backup\\hosts"));
            sktest::DeleteTree(folder);
        } else {
            CHECK(messages.empty());
            CHECK_FALSE(DirectoryExists(folder));
        }
    }
}
