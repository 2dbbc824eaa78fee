#include "security/IESecurityFuncs.h"

#include <shlobj.h>

#include "base/InternetHandles.h"
#include "base/Paths.h"
#include "base/ProductInfo.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "security/InternetSupport.h"
#include "security/TextFile.h"

namespace sk {

namespace {

// The first line of a list is all the version check needs; a body without any line break is
// still read whole up to this length, and no further.
constexpr size_t kMaxMarkerLineBytes = 64 * 1024;

bool IsBlank(wchar_t c) { return c <= L' '; }

// The line rules work on decoded text and, for plain ASCII files, on their bytes alike.
template <typename Ch>
std::basic_string_view<Ch> Trim(std::basic_string_view<Ch> s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(static_cast<wchar_t>(s[b]))) ++b;
    while (e > b && IsBlank(static_cast<wchar_t>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

template <typename A, typename B>
bool EqualsAsciiNoCase(std::basic_string_view<A> a, std::basic_string_view<B> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(static_cast<wchar_t>(a[i])) != AsciiLower(static_cast<wchar_t>(b[i]))) return false;
    return true;
}

bool StartsWithAsciiNoCase(std::wstring_view s, std::wstring_view prefix) {
    return s.size() >= prefix.size() && EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix);
}

// The host field of an already trimmed line: what follows its first space, or failing that its
// first tab, trimmed.
template <typename Ch>
std::basic_string_view<Ch> HostField(std::basic_string_view<Ch> trimmed) {
    auto sep = trimmed.find(Ch(' '));
    if (sep == std::basic_string_view<Ch>::npos) sep = trimmed.find(Ch('\t'));
    if (sep == std::basic_string_view<Ch>::npos) return {};
    return Trim(trimmed.substr(sep + 1));
}

template <typename Ch>
bool IsCommentOrBlank(std::basic_string_view<Ch> trimmed) {
    return trimmed.empty() || trimmed.front() == Ch('#');
}

template <typename Ch>
bool IsEntryLine(std::basic_string_view<Ch> line) {
    const auto t = Trim(line);
    return !IsCommentOrBlank(t) && !EqualsAsciiNoCase(HostField(t), std::wstring_view(L"localhost"));
}

// A commented-out mapping is not the host being present: "#127.0.0.1 example.com" must not keep
// AddHost from blocking example.com, nor be what DeleteHost removes.
template <typename Ch>
bool LineMatches(std::basic_string_view<Ch> line, std::wstring_view trimmedHost) {
    const auto t = Trim(line);
    return !IsCommentOrBlank(t) && EqualsAsciiNoCase(HostField(t), trimmedHost);
}

template <typename Ch>
bool ParseDecimal(std::basic_string_view<Ch> s, unsigned limit, unsigned& value) {
    if (s.empty() || s.size() > 10) return false;
    unsigned long long v = 0;
    for (const Ch c : s) {
        if (c < Ch('0') || c > Ch('9')) return false;
        v = v * 10 + static_cast<unsigned>(c - Ch('0'));
    }
    if (v > limit) return false;
    value = static_cast<unsigned>(v);
    return true;
}

// Dotted decimal only: four parts of 0..255 without leading zeros, so that no resolver can read a
// part as octal or hexadecimal and land somewhere else.
template <typename Ch>
bool ParseIPv4(std::basic_string_view<Ch> s, unsigned char out[4]) {
    for (int i = 0; i < 4; ++i) {
        const auto dot = s.find(Ch('.'));
        if (i < 3 && dot == std::basic_string_view<Ch>::npos) return false;
        const auto part = i < 3 ? s.substr(0, dot) : s;
        if (part.size() > 1 && part.front() == Ch('0')) return false;
        unsigned v = 0;
        if (!ParseDecimal(part, 255, v)) return false;
        out[i] = static_cast<unsigned char>(v);
        if (i < 3) s.remove_prefix(dot + 1);
    }
    return true;
}

template <typename Ch>
bool ParseHexGroup(std::basic_string_view<Ch> s, unsigned& value) {
    if (s.empty() || s.size() > 4) return false;
    value = 0;
    for (const Ch ch : s) {
        const wchar_t c = static_cast<wchar_t>(ch);
        int d;
        if (c >= L'0' && c <= L'9')
            d = c - L'0';
        else if (c >= L'a' && c <= L'f')
            d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            d = c - L'A' + 10;
        else
            return false;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return true;
}

template <typename Ch>
bool ParseGroups(std::basic_string_view<Ch> s, std::vector<unsigned>& groups) {
    if (s.empty()) return true;
    for (;;) {
        const auto colon = s.find(Ch(':'));
        unsigned v = 0;
        if (!ParseHexGroup(s.substr(0, colon), v)) return false;
        groups.push_back(v);
        if (colon == std::basic_string_view<Ch>::npos) return true;
        s.remove_prefix(colon + 1);
    }
}

// Plain hexadecimal groups, with at most one "::"; no embedded IPv4 part and no zone.
template <typename Ch>
bool ParseIPv6(std::basic_string_view<Ch> s, unsigned short out[8]) {
    std::vector<unsigned> head, tail;
    const Ch gapText[] = {Ch(':'), Ch(':')};
    const std::basic_string_view<Ch> gapMark(gapText, 2);
    const auto gap = s.find(gapMark);
    if (gap == std::basic_string_view<Ch>::npos) {
        if (!ParseGroups(s, head) || head.size() != 8) return false;
    } else {
        if (s.find(gapMark, gap + 1) != std::basic_string_view<Ch>::npos) return false;
        if (!ParseGroups(s.substr(0, gap), head) || !ParseGroups(s.substr(gap + 2), tail)) return false;
        if (head.size() + tail.size() > 7) return false;
    }
    for (int i = 0; i < 8; ++i) out[i] = 0;
    for (size_t i = 0; i < head.size(); ++i) out[i] = static_cast<unsigned short>(head[i]);
    for (size_t i = 0; i < tail.size(); ++i) out[8 - tail.size() + i] = static_cast<unsigned short>(tail[i]);
    return true;
}

template <typename Ch>
bool EqualsAscii(std::basic_string_view<Ch> s, std::string_view ascii) {
    if (s.size() != ascii.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != static_cast<Ch>(ascii[i])) return false;
    return true;
}

template <typename Ch>
bool IsLoopbackOrNull(std::basic_string_view<Ch> address) {
    // Nearly every line of a list uses one of these two.
    if (EqualsAscii(address, "127.0.0.1") || EqualsAscii(address, "0.0.0.0")) return true;
    unsigned char v4[4];
    if (ParseIPv4(address, v4)) return v4[0] == 127 || (v4[0] == 0 && v4[1] == 0 && v4[2] == 0 && v4[3] == 0);
    // IPv6 text always holds a colon; checking for one first keeps the common IPv4 path cheap.
    if (address.find(Ch(':')) == std::basic_string_view<Ch>::npos) return false;
    unsigned short v6[8];
    if (!ParseIPv6(address, v6)) return false;
    for (int i = 0; i < 7; ++i)
        if (v6[i] != 0) return false;
    return v6[7] <= 1;
}

template <typename Ch>
std::wstring Widen(std::basic_string_view<Ch> s) {
    return std::wstring(s.begin(), s.end());
}

// Into a string that keeps its buffer from call to call (assigning from char iterators would
// build a temporary string each time).
template <typename Ch>
void AssignWide(std::wstring& out, std::basic_string_view<Ch> s) {
    out.resize(s.size());
    for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<wchar_t>(s[i]);
}

template <typename Ch>
std::basic_string_view<Ch> FirstField(std::basic_string_view<Ch> trimmed) {
    size_t i = 0;
    while (i < trimmed.size() && trimmed[i] != Ch(' ') && trimmed[i] != Ch('\t')) ++i;
    return trimmed.substr(0, i);
}

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

int PieceToInt(std::wstring_view piece, const std::wstring& marker) {
    unsigned v = 0;
    if (!ParseDecimal(piece, 0x7FFFFFFF, v))
        throw TConvertError(L"The version marker \"" + marker + L"\" is not a date: '" + std::wstring(piece) +
                            L"' is not a valid integer value.");
    return static_cast<int>(v);
}

std::wstring ProgramFolderOrExe() { return ProgramFolder.empty() ? FileFolderOf(ExecutablePath()) : ProgramFolder; }

void FlushSystemResolverCache() {
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    FlushResolverCacheWith(std::wstring(system) + L"\\dnsapi.dll");
}

[[noreturn]] void RaiseCheckError(const std::wstring& url, DWORD code) {
    throw TUpdateCheckError(L"Unable to check for a newer hosts list at " + url + L" (error " + std::to_wstring(code) +
                                L"): " + InternetErrorText(code),
                            code);
}

}  // namespace

bool FlushResolverCacheWith(const std::wstring& dllPath) {
    const TModule dns(::LoadLibraryW(dllPath.c_str()));
    if (!dns) return false;
    using TFlush = BOOL(WINAPI*)();
    const auto flush =
        reinterpret_cast<TFlush>(reinterpret_cast<void*>(::GetProcAddress(dns.Get(), "DnsFlushResolverCache")));
    if (!flush) return false;
    flush();
    return true;
}

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

std::wstring TIESecurity::MarkerOfLine(std::wstring_view line) {
    const auto hash = line.find(L'#');
    return std::wstring(Trim(hash == std::wstring_view::npos ? line : line.substr(hash + 1)));
}

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
    const TUrlParts parts = SplitUrl(url);
    if (parts.ServerName.empty())
        throw TUpdateCheckError(L"Unable to check for a newer hosts list: the address \"" + url + L"\" names no server",
                                ERROR_INTERNET_INVALID_URL);

    const TInternetHandle internet(::InternetOpenW(L"Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) RaiseCheckError(url, ::GetLastError());
    SetInternetTimeouts(internet.Get(), FTimeoutMs);
    const TInternetHandle connection(::InternetConnectW(internet.Get(), parts.ServerName.c_str(), parts.Port, nullptr,
                                                        nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) RaiseCheckError(url, ::GetLastError());
    const wchar_t* accept[] = {L"*/*", nullptr};
    const TInternetHandle request(::HttpOpenRequestW(connection.Get(), L"GET", parts.ObjectPath.c_str(), nullptr,
                                                     nullptr, accept, parts.Secure ? INTERNET_FLAG_SECURE : 0, 0));
    if (!request) RaiseCheckError(url, ::GetLastError());
    SetInternetTimeouts(request.Get(), FTimeoutMs);
    if (!::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) RaiseCheckError(url, ::GetLastError());

    int status = 0;
    DWORD error = 0;
    if (!QueryStatusCode(request.Get(), status, error)) RaiseCheckError(url, error);
    // An error page's first line is no version marker.
    if (status != HTTP_STATUS_OK)
        throw TUpdateCheckError(L"Unable to check for a newer hosts list at " + url +
                                    L": the server answered with status " + std::to_wstring(status),
                                static_cast<uint32_t>(status));

    std::vector<unsigned char> line;
    for (;;) {
        unsigned char byte = 0;
        DWORD read = 0;
        if (!::InternetReadFile(request.Get(), &byte, 1, &read)) RaiseCheckError(url, ::GetLastError());
        if (read == 0 || byte == '\r' || byte == '\n') break;
        line.push_back(byte);
        if (line.size() >= kMaxMarkerLineBytes) break;
    }
    std::wstring text = DecodeText(line.data(), line.size());
    // A UTF-16 body stops at the low byte of its line break; the line is what came before it.
    text = text.substr(0, text.find_first_of(L"\r\n"));
    return MarkerOfLine(text);
}

TUrlParts TIESecurity::SplitUrl(const std::wstring& url) {
    TUrlParts parts;
    std::wstring_view rest = Trim(std::wstring_view(url));
    if (StartsWithAsciiNoCase(rest, L"https://")) {
        rest.remove_prefix(8);
        parts.Secure = true;
        parts.Port = INTERNET_DEFAULT_HTTPS_PORT;
    } else if (StartsWithAsciiNoCase(rest, L"http://")) {
        rest.remove_prefix(7);
    }
    const auto slash = rest.find(L'/');
    if (slash == std::wstring_view::npos) {
        parts.ObjectPath = std::wstring(rest);
        return parts;
    }
    std::wstring_view server = rest.substr(0, slash);
    parts.ObjectPath = std::wstring(rest.substr(slash));

    // "host:port" and "[v6-address]:port"; a port that is no number stays part of the name, and
    // connecting to that name then fails with a clear error.
    unsigned port = 0;
    if (!server.empty() && server.front() == L'[') {
        const auto close = server.find(L']');
        if (close != std::wstring_view::npos) {
            const auto after = server.substr(close + 1);
            if (after.empty()) {
                server = server.substr(1, close - 1);
            } else if (after.front() == L':' && ParseDecimal(after.substr(1), 65535, port) && port > 0) {
                server = server.substr(1, close - 1);
                parts.Port = static_cast<INTERNET_PORT>(port);
            }
        }
    } else if (const auto colon = server.find(L':');
               colon != std::wstring_view::npos && server.find(L':', colon + 1) == std::wstring_view::npos) {
        if (ParseDecimal(server.substr(colon + 1), 65535, port) && port > 0) {
            server = server.substr(0, colon);
            parts.Port = static_cast<INTERNET_PORT>(port);
        }
    }
    parts.ServerName = std::wstring(server);
    return parts;
}

TVersionDate TIESecurity::ParseVersionDate(const std::wstring& text) {
    TVersionDate date;
    const std::wstring marker(Trim(std::wstring_view(text)));
    if (marker.empty()) return date;
    const std::wstring_view m = marker;
    size_t dashes = 0;
    for (wchar_t c : m)
        if (c == L'-') ++dashes;
    if (dashes == 2) {
        const auto first = m.find(L'-');
        const auto second = m.find(L'-', first + 1);
        date.Year = PieceToInt(m.substr(0, first), marker);
        date.Month = PieceToInt(m.substr(first + 1, second - first - 1), marker);
        date.Day = PieceToInt(m.substr(second + 1), marker);
    } else if (dashes == 0) {
        date.Year = PieceToInt(m.substr(0, 4), marker);
        const auto rest = m.size() > 4 ? m.substr(4) : std::wstring_view();
        date.Month = PieceToInt(rest.substr(0, 2), marker);
        date.Day = PieceToInt(rest.size() > 2 ? rest.substr(rest.size() - 2) : rest, marker);
    }
    return date;
}

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
