// The hosts-file manager behind the security shield: it swaps the system hosts file for the list of
// malicious hosts and back, and lists, counts, adds and deletes blocking lines. Window thread only,
// except CheckListFile. The list's update from its server is THostsListUpdate's.
//
// The user's own hosts file is never lost: Turn on refuses unless a verified backup of it exists,
// saves the current file as a dated backup first (byte for byte), and Turn off puts the newest
// backup back byte for byte. Every file is replaced whole through a temporary file beside it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/Handles.h"
#include "base/MessagePump.h"
#include "security/HostsLine.h"
#include "security/InternetSupport.h"
#include "security/TextFile.h"

namespace sk {

// One host name per call; an empty text marks the end (ListingDone is already true then).
using THostListedEvent = std::function<void(const std::wstring& host)>;

// The first line of every hosts file the shield writes: a shielded file is known by it, so that it
// is never taken for the user's own. Not translated, for that reason.
inline constexpr std::string_view kShieldSignature =
    "# Hosts file written by the Surfkeep security shield. Turning the shield off puts your own hosts file back.";
// The section of the user's own entries that Turn on carries over.
inline constexpr std::string_view kUserSectionBegin =
    "# Surfkeep: your own entries for this computer and your local network, kept while the shield is on";
inline constexpr std::string_view kUserSectionEnd = "# Surfkeep: end of your own entries";

inline constexpr uint64_t kDefaultMaxHostsFileBytes = 64ull * 1024 * 1024;
inline constexpr size_t kMaxHostsLineChars = 4096;
inline constexpr size_t kDatedBackupsKept = 10;

// Where the manager keeps its files and how it reaches the platform. Empty names mean the real
// places; tests point all of them into a folder of their own.
struct TIESecurityOptions {
    std::wstring HostsFileName;     // default: "Hosts" in system32\drivers\etc
    std::wstring ListFileName;      // default: "hosts.txt" in the program's folder
    std::wstring BackupFileName;    // default: "backup\hosts" in the program's folder; the dated
                                    // backups lie beside it ("hosts-20250131-235959")
    std::wstring SettingsFileName;  // default: the program's settings file
    TMessagePump* Pump = nullptr;   // default: WindowsMessagePump()
    // Called after every change of the hosts file. Default: DnsFlushResolverCache of dnsapi.dll
    // when the system has it.
    std::function<void()> FlushResolverCache;
    // 0: "HostsMaxSizeMB" of the settings file, or 64 MiB.
    uint64_t MaxFileBytes = 0;
    // Writes, flushes and replacements of files; default: the real ones.
    TFileCalls* Files = nullptr;
};

// A list refused by the list rules, or the user's file when no backup of it can be made. Reason()
// is the short text for a sentence of the caller's ("its line 15 sends ... to ...").
class TShieldRefusal : public TError {
public:
    enum TKind { ListRefused, NoBackup };
    TShieldRefusal(TKind kind, std::wstring message, std::wstring reason, size_t line = 0)
        : TError(std::move(message)), FKind(kind), FReason(std::move(reason)), FLine(line) {}
    TKind Kind() const { return FKind; }
    const std::wstring& Reason() const { return FReason; }
    size_t Line() const { return FLine; }  // the refused line of a list, from 1; 0 for a whole-file reason

private:
    TKind FKind;
    std::wstring FReason;
    size_t FLine;
};

// Loads the library at the full path dllPath, calls its DnsFlushResolverCache and answers whether
// the function was there to call. The shield's default flush passes dnsapi.dll of the system
// folder: the program runs elevated and must not pick up a dnsapi.dll planted elsewhere.
bool FlushResolverCacheWith(const std::wstring& dllPath);

// One active line of the user's own hosts file.
struct THostsUserEntry {
    size_t Line = 0;     // from 1
    std::wstring Text;   // the line, trimmed
    bool Kept = false;   // carried over while the shield is on
};

// What a list holds, as CheckListFile found it.
struct TListSummary {
    size_t Lines = 0;
    size_t Entries = 0;
    size_t HeaderLines = 0;  // standard header lines and single words, written commented out
    std::wstring Marker;     // the text of the first line's marker ("" without a "#" comment there)
    bool HasDate = false;    // the marker is a date (then Date holds it)
    TVersionDate Date;
    TSha256Digest Hash{};
};

// What the latest Turn on did, for the tab.
struct TTurnOnReport {
    bool Done = false;            // the hosts file is the list now
    std::wstring BackupMade;      // the dated backup made first; empty when none was made (or
                                  // none was needed: the newest backup holds the same bytes)
    std::wstring BackupNote;      // why no backup was made of a shielded file (a user text), or empty
    std::wstring UserEntriesFrom; // the file the user's entries were taken from
    size_t ListEntries = 0;
    size_t HeaderLines = 0;
    size_t UserEntriesKept = 0;
    std::vector<THostsUserEntry> NotKept;
};

// What the latest Turn off did.
struct TTurnOffReport {
    bool Done = false;
    std::wstring RestoredFrom;  // the backup put back, or empty when the default text was written
    size_t UserEntriesKept = 0; // without a backup: the user's entries taken over from the shielded file
    std::wstring Note;          // a user text when something was not as expected, or empty
};

// The shield's files as they are now.
struct TShieldState {
    bool ShieldOn = false;        // the stored state (what the tab loaded)
    bool ListPresent = false;
    bool HostsPresent = false;
    bool HostsIsShield = false;   // the hosts file is one the shield wrote
    std::wstring NewestBackup;    // what Turn off puts back; empty when there is none
    std::wstring FirstBackup;     // BackupFileName, when it exists
    std::vector<std::wstring> DatedBackups;  // newest first
    std::wstring BackupProblem;   // why the first-start backup could not be made, or empty
};

class TIESecurity {
public:
    // The real places, made once at process start. Makes the one-time backup of the hosts file.
    TIESecurity();
    explicit TIESecurity(const TIESecurityOptions& options);
    TIESecurity(const TIESecurity&) = delete;
    TIESecurity& operator=(const TIESecurity&) = delete;

    std::wstring HostsFileName;
    std::wstring ListFileName;
    std::wstring BackupFileName;
    std::wstring ListUrl;                // the first of ListUrls (what a single download fetches)
    std::vector<std::wstring> ListUrls;  // every source, from "HostsListUrl" (separated by blanks)
    bool ShieldOn = false;
    bool AutoUpdate = false;  // kept here for the tab, which loads and saves it
    bool ListingDone = true;
    THostListedEvent OnHostListed;

    // Makes the list file the hosts file: its lines checked by the list rules, the standard header
    // lines written commented out, the user's own entries for this computer and the local network
    // appended. Saves the current hosts file as a dated backup first unless it is the shield's own
    // (then the newest backup must exist). Nothing happens without a list file. Raises
    // TShieldRefusal (a refused list, no verified backup) or TError (a file that cannot be read
    // or written) with the hosts file untouched; ShieldOn then keeps its value.
    void TurnOn();
    // Puts the newest backup back, byte for byte (the default text, with the user's entries of the
    // shielded file, when there is none).
    void TurnOff();
    // Calls callback with the host field of each entry line, at most limit times (0: all), then
    // once with an empty text. Lets the window's messages run while it reads.
    void ListHosts(int limit, THostListedEvent callback);
    int CountHosts();
    // Raises TError for a name holding a blank, a line break, a control character or "#".
    void AddHost(const std::wstring& host, bool skipIfPresent);
    bool HostExists(const std::wstring& host);
    // Removes the first matching line; the rest of the file stays byte for byte.
    void DeleteHost(const std::wstring& host);

    const TTurnOnReport& LastTurnOn() const { return FLastTurnOn; }
    const TTurnOffReport& LastTurnOff() const { return FLastTurnOff; }
    TShieldState State() const;
    // The active lines of the user's own hosts file (the newest backup, or the hosts file itself
    // while it is not the shield's), each marked whether Turn on carries it over.
    std::vector<THostsUserEntry> UserEntries() const;
    // Those of them that are not kept while the shield is on.
    std::vector<THostsUserEntry> UserEntriesNotKept() const;
    // True when the file is one the shield wrote, or a copy of the list file.
    bool IsShieldFile(const std::wstring& fileName) const;

    const std::wstring& SettingsFileName() const { return FSettingsFileName; }
    TReadLimits Limits() const { return {FMaxFileBytes, kMaxHostsLineChars}; }
    TFileCalls& Files() const { return FFiles; }

    // Checks a list file by the list rules without changing anything: raises TShieldRefusal for a
    // refused list, TFileTooLargeError and TLineTooLongError beyond the limits. Any thread.
    static TListSummary CheckListFile(const std::wstring& fileName, const TReadLimits& limits);

    static std::wstring HostOfLine(const std::wstring& line);
    static bool IsHostEntry(const std::wstring& line);
    // The marker of the file's first line; empty when the file does not exist.
    static std::wstring ReadLocalVersion(const std::wstring& fileName);
    static TUrlParts SplitUrl(const std::wstring& url);
    // Raises TConvertError for a piece that is not a decimal integer.
    static TVersionDate ParseVersionDate(const std::wstring& text);
    static void ParseVersionDate(const std::wstring& text, int& year, int& month, int& day);
    static std::vector<std::wstring> DefaultHostsText();

    // The text after the first "#" of the line (all of it without one), trimmed.
    static std::wstring MarkerOfLine(std::wstring_view line);
    // 127.0.0.0/8, 0.0.0.0, ::1 or ::, written the plain way.
    static bool IsLoopbackOrNullAddress(std::wstring_view address);

    // The system hosts file, its folder made when missing.
    static std::wstring SystemHostsFileName();
    // The list address: "HostsListUrl" of section "SURFKEEP" in the settings file, when set (the
    // first of its addresses when it holds several).
    static std::wstring ListUrlFromSettings(const std::wstring& settingsFileName);
    static std::vector<std::wstring> ListUrlsFromSettings(const std::wstring& settingsFileName);

private:
    void HostsFileChanged();
    void MakeFirstBackup();
    // The dated backups, newest first.
    std::vector<std::wstring> DatedBackups() const;
    std::wstring NewestBackup() const;
    std::wstring NewestBackup(const std::vector<std::wstring>& dated) const;
    // The signature test that also tells the file's encoding.
    bool IsShieldFile(const std::wstring& fileName, TTextEncoding* encoding) const;
    // A dated backup under way: its bytes are written at once; the flush to disk, the move into
    // its name and the read-back run on a thread of the system's pool (a thread of its own would
    // cost more to start than the flush takes). Dropped without Keep (Turn on did not go through),
    // a backup it made is removed again.
    struct TDatedBackup {
        TDatedBackup() = default;
        ~TDatedBackup();
        TDatedBackup(const TDatedBackup&) = delete;
        TDatedBackup& operator=(const TDatedBackup&) = delete;
        void Start();  // the flush, the move and the read-back, on the pool (or here, failing that)
        // Waits for them; raises TShieldRefusal(NoBackup) when the copy failed.
        std::wstring Keep();

        std::wstring FName;  // empty: none was needed
        std::unique_ptr<TFileReplacement> FFile;
        TSha256Digest FDigest{};
        bool FVerify = false;  // a copy of the hosts file (not the default text): read it back
        THandle FDone;         // set when the pool's part has run
        std::wstring FError;   // written by the pool's part
        bool FCommitted = false;
        bool FKept = false;

    private:
        void Finish();
        void Wait();
    };
    // Saves the hosts file (or the default text when there is none) as a new dated backup; none
    // when the newest backup holds the same bytes already. Raises TShieldRefusal(NoBackup).
    void StartDatedBackup(TDatedBackup& backup);
    // Keeps the newest ten dated backups.
    void PruneDatedBackups() const;
    // Writes the user's entries of source that Turn on keeps, in the marked section.
    void WriteUserSection(const std::wstring& source, TFileReplacement& out, TTurnOnReport& report) const;
    std::wstring DatedBackupName(const std::vector<std::wstring>& dated) const;

    TMessagePump& FPump;
    std::function<void()> FFlushResolverCache;
    uint64_t FMaxFileBytes;
    TFileCalls& FFiles;
    std::wstring FSettingsFileName;
    std::wstring FBackupProblem;
    TTurnOnReport FLastTurnOn;
    TTurnOffReport FLastTurnOff;
};

}  // namespace sk
