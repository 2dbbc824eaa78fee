#include "security/IESecurityFuncs.h"

#include <shlobj.h>

#include <algorithm>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProductInfo.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "security/InternetSupport.h"
#include "base/Sha256.h"
#include "security/TextFile.h"

namespace sk {

namespace {

using namespace hostsline;

[[noreturn]] void RaiseListRefused(const std::wstring& listFileName, const std::wstring& reason, size_t line) {
    throw TShieldRefusal(TShieldRefusal::ListRefused, Fmt(IDS_IESECURITY_ListNotInstalled, listFileName, reason),
                         reason, line);
}

[[noreturn]] void RaiseNoBackup(const std::wstring& reason) {
    throw TShieldRefusal(TShieldRefusal::NoBackup, Fmt(IDS_IESECURITY_NoBackup, reason), reason);
}

// The kind of a list line; a line the list rules refuse raises, naming it: whoever altered the
// download could otherwise send the user's bank to a server of their choosing.
template <typename Ch>
TListLine CheckedListLine(std::basic_string_view<Ch> line, size_t number, const std::wstring& listFileName,
                          bool clean) {
    const TListLine kind = ClassifyListLine(line, clean);
    switch (kind) {
        case TListLine::ForeignAddress: {
            const auto t = Trim(line);
            RaiseListRefused(listFileName,
                             Fmt(IDS_IESECURITY_ReasonForeignAddress, number, Widen(HostField(t)), Widen(FirstField(t))),
                             number);
        }
        case TListLine::ControlCharacter:
            RaiseListRefused(listFileName, Fmt(IDS_IESECURITY_ReasonControlCharacter, number), number);
        case TListLine::WebPage: RaiseListRefused(listFileName, Fmt(IDS_IESECURITY_ReasonWebPage, number), number);
        default: return kind;
    }
}

template <typename Ch>
void WriteCommentedOut(TFileReplacement& out, std::basic_string_view<Ch> line) {
    std::basic_string<Ch> text;
    text.reserve(line.size() + 2);
    text += Ch('#');
    text += Ch(' ');
    text.append(line.data(), line.size());
    out.WriteLine(std::basic_string_view<Ch>(text));
}

void WriteDefaultText(TFileReplacement& out) {
    for (const auto& line : TIESecurity::DefaultHostsText()) out.WriteLine(std::wstring_view(line));
}

// The reason of a failed write, without the file's name (the caller's sentence names it) and
// without a closing full stop.
std::wstring WhyNotWritten(const TError& e, const std::wstring& fileName) {
    std::wstring why = e.Message();
    const std::wstring prefix = L"Unable to write to " + fileName + L". ";
    if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
    while (!why.empty() && (why.back() == L'.' || why.back() == L' ')) why.pop_back();
    return why;
}

bool StartsWithDigit(const std::wstring& text) { return !text.empty() && text[0] >= L'0' && text[0] <= L'9'; }

std::wstring ProgramFolderOrExe() { return ProgramFolder.empty() ? FileFolderOf(ExecutablePath()) : ProgramFolder; }

void FlushSystemResolverCache() {
    static const std::wstring dll = [] {
        wchar_t system[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
        return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(system) + L"\\dnsapi.dll";
    }();
    if (dll.empty()) return;
    // Kept loaded for the process, so that each flush finds it in memory: loading a library takes
    // milliseconds under Wine.
    static const TModule keep(::LoadLibraryW(dll.c_str()));
    FlushResolverCacheWith(dll);
}

uint64_t MaxBytesFromSettings(const std::wstring& settingsFileName) {
    if (settingsFileName.empty() || !FileExists(settingsFileName)) return kDefaultMaxHostsFileBytes;
    const int mb = TProfileFile(settingsFileName).ReadInteger(kSettingsSection, L"HostsMaxSizeMB", 0);
    if (mb <= 0) return kDefaultMaxHostsFileBytes;
    return static_cast<uint64_t>(std::min(mb, 4096)) * 1024 * 1024;
}

bool SameHash(const std::wstring& file, const TSha256Digest& digest) {
    TSha256Digest other{};
    return HashFile(file, other) && other == digest;
}

uint64_t FileSizeOf(const std::wstring& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// "<name>-20250131-235959" or "<name>-20250131-235959-02".
bool IsDatedBackupName(const std::wstring& name, const std::wstring& base) {
    if (name.size() != base.size() + 16 && name.size() != base.size() + 19) return false;
    if (!EqualsAsciiNoCase(std::wstring_view(name).substr(0, base.size()), std::wstring_view(base))) return false;
    const std::wstring_view rest = std::wstring_view(name).substr(base.size());
    auto digits = [&](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i)
            if (rest[i] < L'0' || rest[i] > L'9') return false;
        return true;
    };
    if (rest[0] != L'-' || !digits(1, 8) || rest[9] != L'-' || !digits(10, 6)) return false;
    return rest.size() == 16 || (rest[16] == L'-' && digits(17, 2));
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
      FMaxFileBytes(options.MaxFileBytes),
      FFiles(options.Files ? *options.Files : RealFileCalls()) {
    const std::wstring programFolder = ProgramFolderOrExe();
    if (options.HostsFileName.empty()) {
        HostsFileName = SystemHostsFileName();
    } else {
        HostsFileName = options.HostsFileName;
        ForceFolders(FileFolderOf(HostsFileName));
    }
    ListFileName = options.ListFileName.empty() ? programFolder + L"hosts.txt" : options.ListFileName;
    BackupFileName = options.BackupFileName.empty() ? programFolder + L"backup\\hosts" : options.BackupFileName;

    FSettingsFileName = options.SettingsFileName;
    if (FSettingsFileName.empty())
        FSettingsFileName = ConfigFileName.empty() ? programFolder + L"config\\config.ini" : ConfigFileName;
    ListUrls = ListUrlsFromSettings(FSettingsFileName);
    ListUrl = ListUrls.front();
    if (FMaxFileBytes == 0) FMaxFileBytes = MaxBytesFromSettings(FSettingsFileName);

    // A replacement cut off by the end of the process (a crash, a power cut) is finished here: the
    // old file goes back where the new one never arrived, and temporary files go.
    for (const std::wstring* file : {&HostsFileName, &ListFileName, &BackupFileName}) {
        RecoverInterruptedSwap(*file);
        RemoveLeftoverTempFiles(FileFolderOf(*file));
    }
    MakeFirstBackup();
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

std::vector<std::wstring> TIESecurity::ListUrlsFromSettings(const std::wstring& settingsFileName) {
    std::vector<std::wstring> urls;
    if (!settingsFileName.empty() && FileExists(settingsFileName)) {
        const std::wstring text = TProfileFile(settingsFileName).ReadString(kSettingsSection, L"HostsListUrl", L"");
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && IsBlank(text[i])) ++i;
            size_t e = i;
            while (e < text.size() && !IsBlank(text[e])) ++e;
            if (e > i) {
                std::wstring url = text.substr(i, e - i);
                if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
            }
            i = e;
        }
    }
    if (urls.empty()) urls.push_back(kHostsListURL);
    return urls;
}

std::wstring TIESecurity::ListUrlFromSettings(const std::wstring& settingsFileName) {
    return ListUrlsFromSettings(settingsFileName).front();
}

void TIESecurity::HostsFileChanged() {
    try {
        if (FFlushResolverCache) FFlushResolverCache();
    } catch (...) {
        // Names blocked now take effect once the resolver's entries expire.
    }
}

// ---- Backups ----

bool TIESecurity::IsShieldFile(const std::wstring& fileName) const { return IsShieldFile(fileName, nullptr); }

bool TIESecurity::IsShieldFile(const std::wstring& fileName, TTextEncoding* encoding) const {
    bool signature = false;
    try {
        TTextReader reader(fileName, Limits());
        if (encoding) *encoding = reader.Encoding();
        reader.ForEachLine([&](auto line) {
            signature = line.size() >= kShieldSignature.size() &&
                        EqualsAscii(line.substr(0, kShieldSignature.size()), kShieldSignature);
            return false;
        });
    } catch (const TError&) {
        return false;
    }
    if (signature) return true;
    // An earlier version copied the list whole.
    if (fileName == ListFileName || !FileExists(ListFileName)) return false;
    const uint64_t size = FileSizeOf(fileName);
    if (size == 0 || size != FileSizeOf(ListFileName)) return false;
    TSha256Digest list{};
    return HashFile(ListFileName, list) && SameHash(fileName, list);
}

void TIESecurity::MakeFirstBackup() {
    if (FileExists(BackupFileName)) return;
    const std::wstring folder = FileFolderOf(BackupFileName);
    if (!ForceFolders(folder)) {
        // The program must start anyway; Turn on refuses while no backup can be made.
        FBackupProblem = Fmt(IDS_IESECURITY_BackupFolderFailed, folder);
        return;
    }
    const bool hostsExists = FileExists(HostsFileName);
    if (hostsExists && IsShieldFile(HostsFileName)) {
        FBackupProblem = IDS_IESECURITY_BackupSkippedShield;
        return;
    }
    try {
        TFileReplacement backup(BackupFileName, &FFiles);
        // Without a hosts file the user's own state is the default one, and that is what turning
        // the shield off must bring back later.
        TSha256Digest digest{};
        if (hostsExists) {
            digest = CopyBytesInto(HostsFileName, backup, Limits()).Hash;
        } else {
            WriteDefaultText(backup);
        }
        backup.Commit();
        if (hostsExists && !SameHash(BackupFileName, digest)) {
            ::DeleteFileW(BackupFileName.c_str());
            FBackupProblem = Fmt(IDS_IESECURITY_BackupMismatch, BackupFileName);
        }
    } catch (const TError& e) {
        // Tried again at the next start; a dated backup at Turn on stands in meanwhile.
        FBackupProblem = Fmt(IDS_IESECURITY_BackupWriteFailed, BackupFileName, WhyNotWritten(e, BackupFileName));
    }
}

std::vector<std::wstring> TIESecurity::DatedBackups() const {
    const std::wstring folder = FileFolderOf(BackupFileName);
    const std::wstring base = FileNameOf(BackupFileName);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    const TFindHandle find(::FindFirstFileW((folder + base + L"-*").c_str(), &fd));
    if (find) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsDatedBackupName(fd.cFileName, base))
                names.push_back(fd.cFileName);
        } while (::FindNextFileW(find.Get(), &fd));
    }
    // The names sort by their time and number; newest first.
    std::sort(names.begin(), names.end(), std::greater<>());
    for (auto& name : names) name = folder + name;
    return names;
}

std::wstring TIESecurity::NewestBackup() const { return NewestBackup(DatedBackups()); }

std::wstring TIESecurity::NewestBackup(const std::vector<std::wstring>& dated) const {
    for (const std::wstring& file : dated)
        if (!IsShieldFile(file)) return file;
    if (FileExists(BackupFileName) && !IsShieldFile(BackupFileName)) return BackupFileName;
    return {};
}

std::wstring TIESecurity::DatedBackupName(const std::vector<std::wstring>& dated) const {
    SYSTEMTIME t{};
    ::GetSystemTime(&t);  // UTC: the names keep their order across changes of the clock's zone
    wchar_t stamp[32];
    ::swprintf(stamp, 32, L"-%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    const std::wstring name = BackupFileName + stamp;
    // Within one second the copies are numbered, always above the newest one of that second
    // (lower numbers may have been pruned already, and a name must never sort below its elders).
    int next = 1;
    for (const std::wstring& file : dated) {
        if (file.size() < name.size() || file.compare(0, name.size(), name) != 0) continue;
        const int n = file.size() == name.size() ? 1 : std::stoi(file.substr(name.size() + 1));
        next = std::max(next, n + 1);
    }
    if (next == 1) return name;
    wchar_t suffix[8];
    ::swprintf(suffix, 8, L"-%02d", std::min(next, 99));
    return name + suffix;
}

TIESecurity::TDatedBackup::~TDatedBackup() {
    Wait();
    // Turn on did not go through: its backup was not needed.
    if (FCommitted && !FKept) ::DeleteFileW(FName.c_str());
}

void TIESecurity::TDatedBackup::Finish() {
    try {
        FFile->Commit();
        FCommitted = true;
        if (FVerify && !SameHash(FName, FDigest)) {
            ::DeleteFileW(FName.c_str());
            FCommitted = false;
            FError = Fmt(IDS_IESECURITY_BackupMismatch, FName);
        }
    } catch (const TError& e) {
        FError = Fmt(IDS_IESECURITY_BackupWriteFailed, FName, WhyNotWritten(e, FName));
    } catch (...) {
        FError = Fmt(IDS_IESECURITY_BackupWriteFailed, FName, std::wstring(L"?"));
    }
}

void TIESecurity::TDatedBackup::Start() {
    FDone.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto run = [](PTP_CALLBACK_INSTANCE, void* self) {
        auto* backup = static_cast<TDatedBackup*>(self);
        backup->Finish();
        ::SetEvent(backup->FDone.Get());
    };
    if (!FDone || !::TrySubmitThreadpoolCallback(run, this, nullptr)) {
        FDone.Reset();
        Finish();
    }
}

void TIESecurity::TDatedBackup::Wait() {
    if (FDone) ::WaitForSingleObject(FDone.Get(), INFINITE);
    FDone.Reset();
}

std::wstring TIESecurity::TDatedBackup::Keep() {
    Wait();
    if (!FError.empty()) RaiseNoBackup(FError);
    FKept = true;
    return FName;
}

void TIESecurity::StartDatedBackup(TDatedBackup& backup) {
    const std::wstring folder = FileFolderOf(BackupFileName);
    if (!ForceFolders(folder)) RaiseNoBackup(Fmt(IDS_IESECURITY_BackupFolderFailed, folder));
    const bool hostsExists = FileExists(HostsFileName);

    // The same bytes as the newest backup: that one holds them already, and ten copies of one
    // file would push older, different ones out.
    const std::vector<std::wstring> dated = DatedBackups();
    const std::wstring newest = NewestBackup(dated);
    if (hostsExists && !newest.empty()) {
        TSha256Digest current{};
        if (FileSizeOf(newest) == FileSizeOf(HostsFileName) && HashFile(HostsFileName, current) &&
            SameHash(newest, current))
            return;
    }

    const std::wstring name = DatedBackupName(dated);
    backup.FName = name;
    try {
        backup.FFile = std::make_unique<TFileReplacement>(name, &FFiles);
        if (hostsExists)
            backup.FDigest = CopyBytesInto(HostsFileName, *backup.FFile, Limits()).Hash;
        else
            WriteDefaultText(*backup.FFile);
    } catch (const TError& e) {
        RaiseNoBackup(Fmt(IDS_IESECURITY_BackupWriteFailed, name, WhyNotWritten(e, name)));
    }
    // The flush to disk waits for the disk: it runs while the list is checked. Then the copy is
    // read back and compared.
    backup.FVerify = hostsExists;
    backup.Start();
}

void TIESecurity::PruneDatedBackups() const {
    const std::vector<std::wstring> dated = DatedBackups();
    for (size_t i = kDatedBackupsKept; i < dated.size(); ++i) ::DeleteFileW(dated[i].c_str());
}

std::vector<THostsUserEntry> TIESecurity::UserEntries() const {
    std::wstring source;
    if (!ShieldOn && FileExists(HostsFileName) && !IsShieldFile(HostsFileName))
        source = HostsFileName;
    else
        source = NewestBackup();
    std::vector<THostsUserEntry> entries;
    if (source.empty()) return entries;
    TTextReader reader(source, Limits());
    reader.ForEachLine([&](auto line) {
        const auto t = Trim(line);
        if (!IsCommentOrBlank(t)) entries.push_back({reader.LineNumber(), Widen(t), KeepsUserEntry(t)});
        return true;
    });
    return entries;
}

std::vector<THostsUserEntry> TIESecurity::UserEntriesNotKept() const {
    std::vector<THostsUserEntry> entries = UserEntries();
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const THostsUserEntry& e) { return e.Kept; }),
                  entries.end());
    return entries;
}

TShieldState TIESecurity::State() const {
    TShieldState state;
    state.ShieldOn = ShieldOn;
    state.ListPresent = FileExists(ListFileName);
    state.HostsPresent = FileExists(HostsFileName);
    state.HostsIsShield = state.HostsPresent && IsShieldFile(HostsFileName);
    state.NewestBackup = NewestBackup();
    if (FileExists(BackupFileName)) state.FirstBackup = BackupFileName;
    state.DatedBackups = DatedBackups();
    state.BackupProblem = FBackupProblem;
    return state;
}

// ---- The shield ----

void TIESecurity::WriteUserSection(const std::wstring& source, TFileReplacement& out, TTurnOnReport& report) const {
    std::vector<std::wstring> kept;
    TTextReader reader(source, Limits());
    reader.ForEachLine([&](auto line) {
        const auto t = Trim(line);
        if (IsCommentOrBlank(t)) return true;
        if (KeepsUserEntry(t))
            kept.push_back(Widen(line));
        else
            report.NotKept.push_back({reader.LineNumber(), Widen(t), false});
        return true;
    });
    report.UserEntriesKept = kept.size();
    if (kept.empty()) return;
    out.WriteLine(kUserSectionBegin);
    for (const auto& line : kept) out.WriteLine(std::wstring_view(line));
    out.WriteLine(kUserSectionEnd);
}

void TIESecurity::TurnOn() {
    FLastTurnOn = {};
    if (!FileExists(ListFileName)) return;
    TTurnOnReport report;

    // Whose the current hosts file is: the user's, unless the shield is on or wrote it. The user's
    // own entries are taken from it, or else from the newest backup.
    const bool hostsExists = FileExists(HostsFileName);
    TTextEncoding hostsEncoding = TTextEncoding::Ansi;
    const bool saveCurrent = !ShieldOn && !(hostsExists && IsShieldFile(HostsFileName, &hostsEncoding));
    std::wstring userSource;
    if (saveCurrent) {
        if (hostsExists) userSource = HostsFileName;
    } else {
        report.BackupNote = ShieldOn ? IDS_IESECURITY_BackupSkippedOn : IDS_IESECURITY_BackupSkippedShield;
        userSource = NewestBackup();
        if (userSource.empty()) RaiseNoBackup(IDS_IESECURITY_BackupMissing);
    }
    report.UserEntriesFrom = userSource;

    // ---- The first change: the user's own file goes to a dated backup before it is replaced. Its
    // flush to disk runs while the list is checked; a list that is refused takes it away again.
    TDatedBackup backup;
    if (saveCurrent) StartDatedBackup(backup);

    // The new hosts file, beside the old one: the hosts file has not changed when a line is refused.
    TFileReplacement hosts(HostsFileName, &FFiles);
    const TTextEncoding encoding = userSource.empty()               ? TTextEncoding::Ansi
                                   : userSource == HostsFileName ? hostsEncoding
                                                                 : EncodingOfFile(userSource);
    hosts.SetEncoding(encoding);
    hosts.WriteLine(kShieldSignature);
    TTextReader list(ListFileName, Limits());
    list.ForEachLine([&](auto line) {
        switch (CheckedListLine(line, list.LineNumber(), ListFileName, list.LineIsClean())) {
            case TListLine::Entry:
                if constexpr (std::is_same_v<decltype(line), std::wstring_view>) {
                    // A name the hosts file's encoding cannot hold would be written damaged.
                    if (!CanEncode(line, encoding)) {
                        WriteCommentedOut(hosts, line);
                        ++report.HeaderLines;
                        break;
                    }
                }
                hosts.WriteLine(line);
                ++report.ListEntries;
                break;
            case TListLine::Header:
            case TListLine::NoMapping:
                // Accepted, but the list does not decide what "localhost" is on this computer.
                WriteCommentedOut(hosts, line);
                ++report.HeaderLines;
                break;
            default: hosts.WriteLine(line); break;
        }
        return true;
    });
    if (report.ListEntries == 0) RaiseListRefused(ListFileName, IDS_IESECURITY_ReasonEmpty, 0);
    if (!userSource.empty()) WriteUserSection(userSource, hosts, report);

    if (!backup.FName.empty()) {
        report.BackupMade = backup.Keep();
        PruneDatedBackups();
    }
    hosts.Commit();
    HostsFileChanged();
    ShieldOn = true;
    report.Done = true;
    FLastTurnOn = std::move(report);
}

void TIESecurity::TurnOff() {
    FLastTurnOff = {};
    TTurnOffReport report;
    const std::wstring newest = NewestBackup();
    TFileReplacement hosts(HostsFileName, &FFiles);
    if (!newest.empty()) {
        CopyBytesInto(newest, hosts, Limits());
        report.RestoredFrom = newest;
    } else {
        WriteDefaultText(hosts);
        // The user's entries the shield kept are all that is left of their own file.
        if (FileExists(HostsFileName) && IsShieldFile(HostsFileName)) {
            bool inSection = false;
            TTextReader(HostsFileName, Limits()).ForEachLine([&](auto line) {
                const auto t = Trim(line);
                if (EqualsAscii(t, kUserSectionBegin)) {
                    inSection = true;
                } else if (EqualsAscii(t, kUserSectionEnd)) {
                    inSection = false;
                } else if (inSection && !IsCommentOrBlank(t)) {
                    hosts.WriteLine(line);
                    ++report.UserEntriesKept;
                }
                return true;
            });
        }
        report.Note = Fmt(IDS_IESECURITY_TurnedOffNoBackup, report.UserEntriesKept);
    }
    // ---- The first change: the hosts file is replaced.
    hosts.Commit();
    HostsFileChanged();
    ShieldOn = false;
    report.Done = true;
    FLastTurnOff = std::move(report);
}

TListSummary TIESecurity::CheckListFile(const std::wstring& fileName, const TReadLimits& limits) {
    TListSummary summary;
    TTextReader reader(fileName, limits);
    reader.ForEachLine([&](auto line) {
        const size_t number = reader.LineNumber();
        if (number == 1) {
            const auto t = Trim(line);
            if (!t.empty() && t.front() == '#') summary.Marker = MarkerOfLine(Widen(t));
        }
        switch (CheckedListLine(line, number, fileName, reader.LineIsClean())) {
            case TListLine::Entry: ++summary.Entries; break;
            case TListLine::Header:
            case TListLine::NoMapping: ++summary.HeaderLines; break;
            default: break;
        }
        summary.Lines = number;
        return true;
    });
    if (summary.Entries == 0) RaiseListRefused(fileName, IDS_IESECURITY_ReasonEmpty, 0);
    if (StartsWithDigit(summary.Marker)) {
        try {
            const TVersionDate date = hostsline::ParseVersionDate(summary.Marker);
            summary.HasDate = date.Year >= 1970 && date.Month >= 1 && date.Month <= 12 && date.Day >= 1 &&
                              date.Day <= 31;
            if (summary.HasDate) summary.Date = date;
        } catch (const TConvertError&) {
            // A marker that is no date: the list is compared by its content.
        }
    }
    HashFile(fileName, summary.Hash);
    return summary;
}

// ---- Listing, adding, deleting ----

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
    TTextReader(HostsFileName, Limits()).ForEachLine([&](auto line) {
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
    TTextReader(HostsFileName, Limits()).ForEachLine([&](auto line) {
        if (IsEntryLine(line)) ++count;
        return true;
    });
    return count;
}

void TIESecurity::AddHost(const std::wstring& host, bool skipIfPresent) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return;
    // One name, on one line: a line break would let the text start lines of its own.
    if (!IsWritableHostName(name)) throw TError(Fmt(IDS_IESECURITY_BadHostName, std::wstring(name)));
    const bool exists = FileExists(HostsFileName);
    const TTextEncoding encoding = exists ? EncodingOfFile(HostsFileName) : TTextEncoding::Ansi;
    if (!CanEncode(name, encoding)) throw TError(Fmt(IDS_IESECURITY_HostNotEncodable, std::wstring(name)));
    if (skipIfPresent && exists && HostExists(host)) return;

    // The rest of the file stays byte for byte; the new line goes in the file's own encoding, on a
    // line of its own.
    TFileReplacement hosts(HostsFileName, &FFiles);
    TCopiedText old;
    if (exists) old = CopyBytesInto(HostsFileName, hosts, Limits());
    if (!old.Empty && !old.EndsWithLineBreak) hosts.Write(EncodeText(L"\r\n", old.Encoding));
    hosts.Write(EncodeText(L"127.0.0.1\t" + std::wstring(name) + L"\r\n", old.Encoding));
    // ---- The first change: the hosts file is replaced.
    hosts.Commit();
    HostsFileChanged();
}

bool TIESecurity::HostExists(const std::wstring& host) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return false;
    bool found = false;
    TTextReader(HostsFileName, Limits()).ForEachLine([&](auto line) {
        found = LineMatches(line, name);
        return !found;
    });
    return found;
}

void TIESecurity::DeleteHost(const std::wstring& host) {
    const auto name = Trim(std::wstring_view(host));
    if (name.empty()) return;
    // The bytes of the first matching line, its line break included; the rest of the file stays
    // as it is, in its own encoding.
    bool found = false;
    uint64_t begin = 0, end = 0;
    {
        TTextReader reader(HostsFileName, Limits());
        end = reader.FileSize();
        reader.ForEachLine([&](auto line) {
            if (found) {
                end = reader.LineStartByte();
                return false;
            }
            if (LineMatches(line, name)) {
                found = true;
                begin = reader.LineStartByte();
            }
            return true;
        });
    }
    if (!found) return;
    TFileReplacement hosts(HostsFileName, &FFiles);
    CopyBytesInto(HostsFileName, hosts, Limits(), begin, end);
    // ---- The first change: the hosts file is replaced.
    hosts.Commit();
    HostsFileChanged();
}

// ---- Lines and markers ----

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
