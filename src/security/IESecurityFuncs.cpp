#include "security/IESecurityFuncs.h"

#include <shlobj.h>

#include "base/Paths.h"
#include "base/ProductInfo.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "security/InternetSupport.h"
#include "security/TextFile.h"

namespace sk {

namespace {

using namespace hostsline;

// Refuses a list with any line that maps names anywhere but this computer: whoever altered the
// download could otherwise send the user's bank to a server of their choosing.
template <typename Ch>
void CheckListLine(std::basic_string_view<Ch> line, size_t number, const std::wstring& listFileName) {
    const auto t = Trim(line);
    if (IsCommentOrBlank(t) || IsLoopbackOrNull(FirstField(t))) return;
    const auto names = HostField(t);
    const std::wstring what =
        names.empty() ? L"(\"" + Widen(t) + L"\") is not a mapping to this computer"
                      : L"sends \"" + Widen(names) + L"\" to " + Widen(FirstField(t)) + L", which is not this computer";
    throw TError(L"The hosts list \"" + listFileName + L"\" was not installed: its line " + std::to_wstring(number) +
                 L" " + what + L". A hosts list may only point names at 127.0.0.1, 0.0.0.0, ::1 or ::.");
}

// The lines of the file, normalised, into the replacement.
void CopyLines(const std::wstring& source, TFileReplacement& out) {
    TTextReader(source).ForEachLine([&](auto line) {
        out.WriteLine(line);
        return true;
    });
}

void WriteDefaultText(TFileReplacement& out) {
    for (const auto& line : TIESecurity::DefaultHostsText()) out.WriteLine(std::wstring_view(line));
}

std::wstring ProgramFolderOrExe() { return ProgramFolder.empty() ? FileFolderOf(ExecutablePath()) : ProgramFolder; }

void FlushSystemResolverCache() {
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    // A full path: the program runs elevated and must not pick up a dnsapi.dll planted elsewhere.
    const TModule dns(::LoadLibraryW((std::wstring(system) + L"\\dnsapi.dll").c_str()));
    if (!dns) return;
    using TFlush = BOOL(WINAPI*)();
    const auto flush =
        reinterpret_cast<TFlush>(reinterpret_cast<void*>(::GetProcAddress(dns.Get(), "DnsFlushResolverCache")));
    if (flush) flush();
}

}  // namespace

TIESecurity::TIESecurity() : TIESecurity(TIESecurityOptions{}) {}

TIESecurity::TIESecurity(const TIESecurityOptions& options)
    : FPump(options.Pump ? *options.Pump : WindowsMessagePump()),
      FFlushResolverCache(options.FlushResolverCache ? options.FlushResolverCache : FlushSystemResolverCache),
      FTimeoutMs(options.TimeoutMs) {
    const std::wstring programFolder = ProgramFolderOrExe();
    if (options.HostsFileName.empty()) {
        HostsFileName = SystemHostsFileName();
    } else {
        HostsFileName = options.HostsFileName;
        ForceFolders(FileFolderOf(HostsFileName));
    }
    ListFileName = options.ListFileName.empty() ? programFolder + L"hosts.txt" : options.ListFileName;
    BackupFileName = options.BackupFileName.empty() ? programFolder + L"backup\\hosts" : options.BackupFileName;
    MakeBackup();

    std::wstring settings = options.SettingsFileName;
    if (settings.empty()) settings = ConfigFileName.empty() ? programFolder + L"config\\config.ini" : ConfigFileName;
    ListUrl = ListUrlFromSettings(settings);
}

std::wstring TIESecurity::SystemHostsFileName() {
    std::wstring system = SpecialFolderPath(CSIDL_SYSTEM, true);
    if (system.empty()) {
        // Never a path relative to whatever the current folder is.
        wchar_t buffer[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
        system = WithTrailingBackslash(std::wstring(buffer, n < MAX_PATH ? n : 0));
    }
    const std::wstring folder = system + L"drivers\\etc\\";
    ForceFolders(folder);
    return folder + L"Hosts";
}

std::wstring TIESecurity::ListUrlFromSettings(const std::wstring& settingsFileName) {
    if (!settingsFileName.empty() && FileExists(settingsFileName)) {
        const std::wstring url(
            Trim(std::wstring_view(TProfileFile(settingsFileName).ReadString(kSettingsSection, L"HostsListUrl", L""))));
        if (!url.empty()) return url;
    }
    return kHostsListURL;
}

void TIESecurity::MakeBackup() {
    if (FileExists(BackupFileName)) return;
    try {
        ForceFolders(FileFolderOf(BackupFileName));
        TFileReplacement backup(BackupFileName);
        // Without a hosts file the user's own state is the default one, and that is what turning
        // the shield off must bring back later.
        if (FileExists(HostsFileName))
            CopyLines(HostsFileName, backup);
        else
            WriteDefaultText(backup);
        backup.Commit();
    } catch (const TError&) {
        // The program must start anyway; the backup is tried again at the next start.
    }
}

void TIESecurity::HostsFileChanged() {
    try {
        if (FFlushResolverCache) FFlushResolverCache();
    } catch (...) {
        // Names blocked now take effect once the resolver's entries expire.
    }
}

void TIESecurity::TurnOn() {
    if (!FileExists(ListFileName)) return;
    TTextReader list(ListFileName);
    TFileReplacement hosts(HostsFileName);
    size_t number = 0;
    list.ForEachLine([&](auto line) {
        CheckListLine(line, ++number, ListFileName);
        hosts.WriteLine(line);
        return true;
    });
    hosts.Commit();
    HostsFileChanged();
    ShieldOn = true;
}

void TIESecurity::TurnOff() {
    TFileReplacement hosts(HostsFileName);
    if (FileExists(BackupFileName))
        CopyLines(BackupFileName, hosts);
    else
        WriteDefaultText(hosts);
    hosts.Commit();
    HostsFileChanged();
    ShieldOn = false;
}

void TIESecurity::ListHosts(int limit, THostListedEvent callback) {
    OnHostListed = callback;
    // The window runs while we list and may start another listing, which replaces OnHostListed;
    // this call keeps calling its own receiver.
    const THostListedEvent listed = std::move(callback);
    ListingDone = false;
    struct TDone {
        bool& Flag;
        ~TDone() { Flag = true; }  // also when the file cannot be read: nobody waits for ever
    } done{ListingDone};

    TThrottledPump pump(FPump);
    int count = 0;
    std::wstring host;
    TTextReader(HostsFileName).ForEachLine([&](auto line) {
        pump.MaybePump();
        if (!IsEntryLine(line)) return true;
        ++count;
        AssignWide(host, HostField(Trim(line)));
        if (listed) listed(host);
        return limit <= 0 || count < limit;
    });
    ListingDone = true;
    if (listed) listed(std::wstring());
}

int TIESecurity::CountHosts() {
    if (!FileExists(HostsFileName)) return 0;
    int count = 0;
    TTextReader(HostsFileName).ForEachLine([&](auto line) {
        if (IsEntryLine(line)) ++count;
        return true;
    });
    return count;
}

void TIESecurity::AddHost(const std::wstring& host, bool skipIfPresent) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return;
    const bool exists = FileExists(HostsFileName);
    if (skipIfPresent && exists && HostExists(host)) return;

    // The rest of the file stays byte for byte; the new line goes in the file's own encoding, on a
    // line of its own.
    TFileReplacement hosts(HostsFileName);
    TCopiedText old;
    if (exists) old = CopyBytesInto(HostsFileName, hosts);
    if (!old.Empty && !old.EndsWithLineBreak) hosts.Write(EncodeText(L"\r\n", old.Encoding));
    hosts.Write(EncodeText(L"127.0.0.1\t" + std::wstring(name) + L"\r\n", old.Encoding));
    hosts.Commit();
    HostsFileChanged();
}

bool TIESecurity::HostExists(const std::wstring& host) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return false;
    bool found = false;
    TTextReader(HostsFileName).ForEachLine([&](auto line) {
        found = LineMatches(line, name);
        return !found;
    });
    return found;
}

void TIESecurity::DeleteHost(const std::wstring& host) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return;
    size_t match = 0;
    bool found = false;
    TTextReader(HostsFileName).ForEachLine([&](auto line) {
        found = LineMatches(line, name);
        if (!found) ++match;
        return !found;
    });
    if (!found) return;
    TFileReplacement hosts(HostsFileName);
    size_t index = 0;
    TTextReader(HostsFileName).ForEachLine([&](auto line) {
        if (index++ != match) hosts.WriteLine(line);
        return true;
    });
    hosts.Commit();
    HostsFileChanged();
}

bool TIESecurity::NeedUpdate() {
    if (!FileExists(ListFileName)) return true;
    const std::wstring local = ReadLocalVersion(ListFileName);
    const std::wstring remote = ReadRemoteVersion(ListUrl);
    const TVersionDate localDate = ParseVersionDate(local);
    const TVersionDate remoteDate = ParseVersionDate(remote);
    return remoteDate > localDate;
}

std::wstring TIESecurity::HostOfLine(const std::wstring& line) {
    return std::wstring(HostField(Trim(std::wstring_view(line))));
}

bool TIESecurity::IsHostEntry(const std::wstring& line) { return IsEntryLine(std::wstring_view(line)); }

std::wstring TIESecurity::MarkerOfLine(std::wstring_view line) { return hostsline::MarkerOfLine(line); }

std::wstring TIESecurity::ReadLocalVersion(const std::wstring& fileName) {
    if (!FileExists(fileName)) return {};
    std::wstring marker;
    TTextReader(fileName).ForEachLine([&](auto line) {
        marker = MarkerOfLine(Widen(line));
        return false;
    });
    return marker;
}

std::wstring TIESecurity::ReadRemoteVersion(const std::wstring& url) {
    return hostsline::MarkerOfLine(ReadFirstLine(url, FTimeoutMs));
}

TUrlParts TIESecurity::SplitUrl(const std::wstring& url) { return sk::SplitUrl(url); }

TVersionDate TIESecurity::ParseVersionDate(const std::wstring& text) { return hostsline::ParseVersionDate(text); }

void TIESecurity::ParseVersionDate(const std::wstring& text, int& year, int& month, int& day) {
    const TVersionDate date = ParseVersionDate(text);
    year = date.Year;
    month = date.Month;
    day = date.Day;
}

bool TIESecurity::IsLoopbackOrNullAddress(std::wstring_view address) { return IsLoopbackOrNull(address); }

std::vector<std::wstring> TIESecurity::DefaultHostsText() {
    return {
        L"# copyright (c) 1993-2009 microsoft corp.",
        L"#",
        L"# this is a sample hosts file used by microsoft tcp/ip for windows.",
        L"#",
        L"# this file contains the mappings of ip addresses to host names. each",
        L"# entry should be kept on an individual line. the ip address should",
        L"# be placed in the first column followed by the corresponding host name.",
        L"# the ip address and the host name should be separated by at least one",
        L"# space.",
        L"#",
        L"# additionally, comments (such as these) may be inserted on individual",
        L"# lines or following the machine name denoted by a '#' symbol.",
        L"#",
        L"# for example:",
        L"#",
        L"#      102.54.94.97     rhino.acme.com          # source server",
        L"#       38.25.63.10     x.acme.com              # x client host",
        L"127.0.0.1       localhost",
    };
}

}  // namespace sk
