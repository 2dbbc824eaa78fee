// Runs the real program: first start in an empty folder, one copy per executable name, and the
// start that cannot write its settings.
#include "ProcessWindow.h"
#include "PumpUntil.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <set>

#include "base/Handles.h"
#include "base/Paths.h"
#include "base/StringTable.h"

using namespace sk;
using sktest::TTempDir;

namespace {

const std::wstring kProgram = sktest::TestExeFolder() + L"..\\..\\surfkeep.exe";

struct TRunning {
    PROCESS_INFORMATION Info{};
    THandle Process, Thread;
    DWORD Id() const { return Info.dwProcessId; }
};

TRunning Start(const std::wstring& exe) {
    TRunning r;
    STARTUPINFOW si{sizeof si};
    std::wstring cmd = L"\"" + exe + L"\"";
    REQUIRE(::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, FileFolderOf(exe).c_str(), &si,
                             &r.Info));
    r.Process.Reset(r.Info.hProcess);
    r.Thread.Reset(r.Info.hThread);
    return r;
}

HWND WaitForWindow(const TRunning& r, const wchar_t* className, DWORD timeoutMs = 20000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < end) {
        if (HWND w = sktest::VisibleWindowOf(r.Id(), className)) return w;
        if (::WaitForSingleObject(r.Process.Get(), 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

DWORD WaitForExit(const TRunning& r, DWORD timeoutMs = 20000) {
    if (::WaitForSingleObject(r.Process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(r.Process.Get(), 99);
        return 0xDEAD;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(r.Process.Get(), &code);
    return code;
}

void Close(const TRunning& r, HWND wnd) {
    ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    CHECK(WaitForExit(r) == 0);
}

std::wstring CopyProgram(const TTempDir& dir, const std::wstring& name) {
    const std::wstring target = dir / name;
    REQUIRE(::CopyFileW(kProgram.c_str(), target.c_str(), FALSE));
    return target;
}

// The DLLs that the executable names in its import tables (ordinary and, where the linker fills in
// their directory, delay-loaded), read from the file itself, lower case.
std::vector<std::wstring> ImportedDlls(const std::wstring& exe, bool delayed = true) {
    const std::vector<unsigned char> file = sktest::ReadBytes(exe);
    auto at = [&](size_t offset, size_t size) {
        REQUIRE(offset + size <= file.size());
        return file.data() + offset;
    };
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
    REQUIRE(dos->e_magic == IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64)));
    REQUIRE(nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    auto fileOffset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        FAIL("address outside every section");
        return 0;
    };
    auto nameAt = [&](DWORD rva) {
        std::wstring name;
        for (size_t o = fileOffset(rva); *at(o, 1) != 0; ++o) name += static_cast<wchar_t>(std::towlower(*at(o, 1)));
        return name;
    };
    std::vector<std::wstring> dlls;
    const auto& dirs = nt->OptionalHeader.DataDirectory;
    if (DWORD rva = dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress) {
        for (size_t o = fileOffset(rva);; o += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(o, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
            if (d->Name == 0) break;
            dlls.push_back(nameAt(d->Name));
        }
    }
    if (DWORD rva = delayed ? dirs[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress : 0) {
        for (size_t o = fileOffset(rva);; o += sizeof(IMAGE_DELAYLOAD_DESCRIPTOR)) {
            const auto* d = reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(at(o, sizeof(IMAGE_DELAYLOAD_DESCRIPTOR)));
            if (d->DllNameRVA == 0) break;
            dlls.push_back(nameAt(d->DllNameRVA));
        }
    }
    return dlls;
}

// The DLLs the loader resolves before the program runs.
std::vector<std::wstring> StaticImports(const std::wstring& exe) { return ImportedDlls(exe, false); }

// A message box's caption and text.
std::pair<std::wstring, std::wstring> BoxTexts(HWND box) {
    wchar_t caption[64] = {}, text[512] = {};
    ::GetWindowTextW(box, caption, 64);
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    return {caption, text};
}

}  // namespace

TEST_CASE("the program needs no DLL beyond those that come with Windows") {
    // Wine brings DLLs of its own (zlib1.dll among them) that a real Windows does not have: a
    // program that imports one starts here and fails on the user's machine.
    const std::set<std::wstring> windowsDlls = {
        L"advapi32.dll", L"bcrypt.dll",   L"comctl32.dll", L"gdi32.dll",  L"kernel32.dll", L"msimg32.dll",
        L"msvcrt.dll",   L"ole32.dll",    L"oleaut32.dll", L"shell32.dll", L"shlwapi.dll",
        L"user32.dll",   L"uxtheme.dll",  L"version.dll",  L"wininet.dll", L"dnsapi.dll",
        L"bcrypt.dll"};
    const std::vector<std::wstring> dlls = ImportedDlls(kProgram);
    CHECK(std::find(dlls.begin(), dlls.end(), L"kernel32.dll") != dlls.end());
    for (const std::wstring& dll : dlls) {
        INFO(sktest::Narrow(dll));
        CHECK(windowsDlls.count(dll) == 1);
    }
}

TEST_CASE("only Known DLLs are imported as the program starts; the others wait until it calls them") {
    // The system loads these from its own folder whatever lies beside the program; any other DLL the
    // loader would look for in the program's folder first.
    const std::set<std::wstring> knownDlls = {
        L"advapi32.dll", L"clbcatq.dll", L"combase.dll",  L"comdlg32.dll", L"coml2.dll",   L"gdi32.dll",
        L"gdiplus.dll",  L"imagehlp.dll", L"imm32.dll",    L"kernel32.dll", L"msctf.dll",   L"msvcrt.dll",
        L"normaliz.dll", L"nsi.dll",      L"ole32.dll",    L"oleaut32.dll", L"psapi.dll",   L"rpcrt4.dll",
        L"sechost.dll",  L"setupapi.dll", L"shcore.dll",   L"shell32.dll",  L"shlwapi.dll", L"user32.dll",
        L"wldap32.dll",  L"ws2_32.dll"};
    const std::vector<unsigned char> file = sktest::ReadBytes(kProgram);
    REQUIRE(file.size() > 0x400);
    for (const std::wstring& dll : StaticImports(kProgram)) {
        INFO(sktest::Narrow(dll));
        CHECK(knownDlls.count(dll) == 1);
    }
    // The program does use these: they are delay-loaded, named in the file for the helper that
    // loads them, or loaded by their full path in the system folder (a UTF-16 name in the file).
    const std::string bytes(file.begin(), file.end());
    for (const char* dll : {"bcrypt.dll", "comctl32.dll", "version.dll", "wininet.dll"}) {
        INFO(std::string(dll));
        const auto statics = StaticImports(kProgram);
        CHECK(std::find(statics.begin(), statics.end(), std::wstring(dll, dll + strlen(dll))) == statics.end());
        std::string wide;
        for (const char* c = dll; *c; ++c) wide += std::string{*c, '\0'};
        CHECK((bytes.find(dll) != std::string::npos || bytes.find(wide) != std::string::npos));
    }
}

TEST_CASE("a version.dll or wininet.dll planted beside the program is never loaded") {
    TTempDir dir;
    // A name of its own, so that Wine can be told about this program alone.
    const std::wstring name = L"sk-planted-" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    const std::wstring exe = CopyProgram(dir, name);
    const std::wstring planted = sktest::TestExeFolder() + L"sktest_planted.dll";
    for (const wchar_t* dll : {L"version.dll", L"wininet.dll"})
        REQUIRE(::CopyFileW(planted.c_str(), (dir / dll).c_str(), FALSE));
    // The planted DLL does tell when it is loaded.
    {
        const std::wstring probe = dir / L"probe.dll";
        REQUIRE(::CopyFileW(planted.c_str(), probe.c_str(), FALSE));
        HMODULE module = ::LoadLibraryW(probe.c_str());
        REQUIRE(module != nullptr);
        ::FreeLibrary(module);
        CHECK(FileExists(probe + L".loaded"));
    }
    // Wine prefers its own DLLs unless told otherwise; told to prefer native ones, it looks in the
    // program's folder first, as Windows does for a DLL that is not a Known DLL. (Wine takes such an
    // override for one program from its registry; a WINEDLLOVERRIDES in the environment block of
    // CreateProcessW it does not see.) Wine's own user32.dll imports version.dll, so under Wine a
    // planted version.dll is loaded with user32 before any code of the program runs; on Windows
    // user32 is a Known DLL that imports no such thing. There only wininet.dll is told to Wine.
    const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const std::wstring overrides = L"Software\\Wine\\AppDefaults\\" + name + L"\\DllOverrides";
    if (wine) {
        TKey key;
        REQUIRE(::RegCreateKeyExW(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Receive(), nullptr) == ERROR_SUCCESS);
        const std::wstring order = L"native,builtin";
        REQUIRE(::RegSetValueExW(key.Get(), L"wininet", 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                                 static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
    }
    const TRunning r = Start(exe);
    HWND wnd = WaitForWindow(r, L"TfrmSurfkeep");
    CHECK(wnd != nullptr);
    // The window has read its version (version.dll) and the shield's state by now.
    if (wnd)
        Close(r, wnd);
    else
        WaitForExit(r, 5000);
    if (wine) ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + name).c_str());
    if (!wine) CHECK_FALSE(FileExists(dir / L"version.dll.loaded"));
    CHECK_FALSE(FileExists(dir / L"wininet.dll.loaded"));
}

TEST_CASE("first start in an empty folder opens the window and writes the settings") {
    TTempDir dir;
    const std::wstring exe = CopyProgram(dir, L"surfkeep.exe");
    const TRunning a = Start(exe);
    HWND wnd = WaitForWindow(a, L"TfrmSurfkeep");
    REQUIRE(wnd != nullptr);
    wchar_t title[64] = {};
    ::GetWindowTextW(wnd, title, 64);
    CHECK(std::wstring(title) == L"Surfkeep");
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    CHECK(rc.right == 780);
    CHECK(rc.bottom == 585);
    CHECK((::GetWindowLongW(wnd, GWL_STYLE) & WS_CAPTION) == 0);
    CHECK(FileExists(dir / L"config\\config.ini"));
    CHECK(FileExists(dir / L"langs\\1033\\surfkeep.ini"));
    CHECK_FALSE(FileExists(dir / L"langs\\1033\\help.chm"));
    Close(a, wnd);
}

TEST_CASE("one copy per executable name") {
    TTempDir dir, other;
    const std::wstring exe = CopyProgram(dir, L"surfkeep.exe");
    const TRunning first = Start(exe);
    HWND wnd = WaitForWindow(first, L"TfrmSurfkeep");
    REQUIRE(wnd != nullptr);

    SUBCASE("the same name, in the same or another folder, is refused and brings the first forward") {
        for (const std::wstring& second : {exe, CopyProgram(other, L"surfkeep.exe")}) {
            CAPTURE(second);
            // Put something else in front first.
            HWND front = ::CreateWindowExW(0, L"STATIC", L"front", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                           nullptr, nullptr);
            ::SetForegroundWindow(front);
            const TRunning b = Start(second);
            CHECK(WaitForExit(b) == 0);
            CHECK(sktest::VisibleWindowOf(b.Id(), L"TfrmSurfkeep") == nullptr);
            // The first copy comes forward when its own thread has taken the request, which may
            // follow the second copy's exit.
            CHECK(sktest::PumpUntil([&] { return ::GetForegroundWindow() == wnd; }, 5000));
            ::DestroyWindow(front);
        }
    }
    SUBCASE("a second copy in an empty folder writes nothing there") {
        const std::wstring second = CopyProgram(other, L"surfkeep.exe");
        const TRunning b = Start(second);
        CHECK(WaitForExit(b) == 0);
        CHECK_FALSE(DirectoryExists(other / L"config"));
        CHECK_FALSE(DirectoryExists(other / L"langs"));
        CHECK_FALSE(FileExists(other / L"backup\\hosts"));
    }
    SUBCASE("a renamed copy runs beside it") {
        const std::wstring renamed = CopyProgram(dir, L"surfkeep-copy.exe");
        const TRunning b = Start(renamed);
        HWND second = WaitForWindow(b, L"TfrmSurfkeep");
        CHECK(second != nullptr);
        CHECK(FileExists(dir / L"langs\\1033\\surfkeep-copy.ini"));
        if (second) Close(b, second);
    }
    Close(first, wnd);
}

TEST_CASE("a start that cannot write its settings shows the error and opens no window") {
    TTempDir dir;
    const std::wstring exe = CopyProgram(dir, L"surfkeep.exe");
    sktest::WriteBytes(dir / L"config", {'x'});  // a file where the settings folder should be
    const TRunning r = Start(exe);
    HWND box = WaitForWindow(r, L"#32770");
    REQUIRE(box != nullptr);
    const auto [caption, text] = BoxTexts(box);
    CHECK(caption == L"Surfkeep");
    CHECK(text == L"Unable to write to " + dir / L"config\\config.ini" + L".");
    CHECK(sktest::VisibleWindowOf(r.Id(), L"TfrmSurfkeep") == nullptr);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(WaitForExit(r) == 1);
}

TEST_CASE("a window started while a command-line change holds the program says so and ends") {
    TTempDir dir;
    const std::wstring exe = CopyProgram(dir, L"surfkeep.exe");
    // What a running change from the command line holds (this test stands in for it).
    const THandle commandLine(::CreateMutexW(nullptr, FALSE, L"surfkeep.exe|command-line"));
    const THandle instance(::CreateMutexW(nullptr, FALSE, L"surfkeep.exe"));
    REQUIRE(commandLine);
    REQUIRE(instance);
    const TRunning r = Start(exe);
    HWND box = WaitForWindow(r, L"#32770");
    REQUIRE(box != nullptr);
    const auto [caption, text] = BoxTexts(box);
    CHECK(caption == L"Surfkeep");
    CHECK(text == IDS_SURFKEEP_CommandLineBusy);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(WaitForExit(r) == 0);
    // A second copy writes nothing in the program's folder.
    CHECK_FALSE(DirectoryExists(dir / L"config"));
}

TEST_CASE("first start: settings, language pack and hosts backup come in that order, the tabs' switches after them") {
    TTempDir dir;
    const std::wstring exe = CopyProgram(dir, L"surfkeep.exe");
    const TRunning a = Start(exe);
    HWND wnd = WaitForWindow(a, L"TfrmSurfkeep");
    REQUIRE(wnd != nullptr);
    // The tabs not shown at start write their switches once they are made, after the first paint.
    const std::wstring config = dir / L"config\\config.ini";
    auto setting = [&](const wchar_t* key) {
        wchar_t value[16] = {};
        ::GetPrivateProfileStringW(L"SURFKEEP", key, L"", value, 16, config.c_str());
        return std::wstring(value);
    };
    const ULONGLONG end = ::GetTickCount64() + 10000;
    while ((setting(L"IESecurityOn").empty() || setting(L"IETempFiles").empty()) && ::GetTickCount64() < end)
        ::Sleep(50);
    CHECK(setting(L"IESecurityOn") == L"0");
    CHECK(setting(L"IESecurityAutoUpdate") == L"0");
    CHECK(setting(L"IETempFiles") == L"1");
    auto written = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        REQUIRE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    };
    // The settings file goes into its folder first; the pack, the backup and the switches follow.
    const uint64_t settingsMade = written(dir / L"config"), pack = written(dir / L"langs\\1033\\surfkeep.ini"),
                   backup = written(dir / L"backup\\hosts"), switches = written(config);
    CHECK(settingsMade <= pack);
    CHECK(pack <= backup);
    CHECK(backup <= switches);
    Close(a, wnd);
}
