// The update of the hosts list from its sources, done on the downloader's worker thread: the
// version check is the download itself, a conditional GET with the validators of the installed
// list. A list is never replaced by a bad one: each body passes the list rules before it is kept,
// and when any source is refused or fails, the list file stays as it was.
//
// Versions: a list whose first line carries a date marker ("# 2010-09-07") is newer when its date
// is later; otherwise the server's ETag and Last-Modified decide (304: up to date) and, when it
// sends neither, the body's SHA-256 against the installed one.
//
// Several sources ("HostsListUrl" holding several addresses separated by blanks) are fetched one
// after another and merged into the list file, in their order, duplicates removed (the first
// wins). Each source's own copy lies in the folder "lists" beside the list file.
//
// Settings (section "SURFKEEP"), written only when an update succeeded as a whole:
//   HostsListSources               the addresses the installed list was made from
//   HostsListETag, HostsListLastModified, HostsListHash
//                                  of the first source; "2", "3", ... appended for the others
// The validators are only sent while HostsListSources names the sources of HostsListUrl.
//
// A newer list is installed as a whole: the sources' copies and the list file are replaced, the
// settings above written, and while the shield is on the new list becomes the hosts file at once
// (TIESecurity::TurnOn). With a restore store, all of that is recorded first in one restore point
// "shield-update".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "registry/RestoreStore.h"
#include "security/IESecurityFuncs.h"
#include "security/KivHttpGet.h"

namespace sk {

enum class TSourceOutcome {
    NotModified,  // the server answered 304
    SameVersion,  // the same or an older date marker
    SameContent,  // no date marker, and the same bytes
    Newer,
    Refused,      // the body broke a list rule, was larger than allowed, or was sent from a bad place;
                  // or it could not be installed (no restore point, a file that cannot be written)
    Failed,       // no answer, a status other than 200, cut short, too slow, ...
};

struct TSourceResult {
    std::wstring Url;
    TSourceOutcome Outcome = TSourceOutcome::Failed;
    std::wstring Reason;     // for Refused and Failed: a text for a sentence of the caller's
    uint32_t ErrorCode = 0;  // the downloader's code (HTTP status, platform error, kHttpGet...)
    int Status = 0;
    uint64_t Bytes = 0;
    size_t Entries = 0;      // of a body that was read whole
    std::wstring ETag, LastModified;  // the server's validators
};

struct TListUpdateResult {
    bool Installed = false;   // the list file was replaced
    bool HostsInstalled = false;  // ... and, the shield being on, the hosts file too
    std::wstring HostsProblem;    // why the hosts file was not changed although the shield is on, or ""
    bool UpToDate = false;    // nothing newer anywhere, nothing failed
    int FailedSource = -1;    // the first source that was refused or failed
    std::vector<TSourceResult> Sources;
    std::wstring PointId;     // the restore point of the install; "" when nothing was installed or
                              // no store was given
    // The status line: "Updating is completed.", "Current hosts data is the latest version (304:
    // not modified).", "The new hosts list from <url> was not installed: it is a web page, ...".
    std::wstring Text() const;
};

struct TListUpdateProgress {
    size_t Source = 0, Sources = 1;  // from 0
    std::wstring Url;
    uint64_t CurrentSize = 0, TotalSize = 0;
    uint32_t SpeedBPS = 0;
};

class THostsListUpdate {
public:
    // shield: the program's one hosts-file manager (not owned); its ListUrls, ListFileName, limits
    // and settings file are read at each Start. Window thread only.
    explicit THostsListUpdate(TIESecurity& shield);
    ~THostsListUpdate();
    THostsListUpdate(const THostsListUpdate&) = delete;
    THostsListUpdate& operator=(const THostsListUpdate&) = delete;

    // false while an update runs.
    bool Start();
    bool Busy() const { return FRunning; }
    // Ends a running update without OnDone; the list file stays as it was. Returns within a few
    // seconds even while a network call blocks.
    void Stop();
    // Where an install is recorded before it changes anything (not owned; nullptr: not recorded).
    // When the point cannot be made, nothing is installed and the update reports why.
    void SetRestoreStore(const TRestoreStore* store) { FStore = store; }

    std::function<void(const TListUpdateProgress&)> OnProgress;
    // Exactly once per Start that is not stopped, after the last source.
    std::function<void(const TListUpdateResult&)> OnDone;
    // Each source's answer must begin within DeadlineMs and then keep coming; one network step is
    // bounded by TimeoutMs.
    uint32_t DeadlineMs = 60000;
    uint32_t TimeoutMs = 30000;

    // Where source n (from 0) of count sources is kept.
    std::wstring CopyOf(size_t n, size_t count) const;
    TKivHttpGet& Downloader() { return *FGet; }

private:
    class TPostWindow;
    struct TCheck;

    void StartSource();
    void SourceEnded(TSourceResult result);
    void Finish();
    void Install(TListUpdateResult& result);
    void WriteValidators(const TListUpdateResult& result) const;
    std::wstring KeySuffix(size_t n) const;

    TIESecurity& FShield;  // not owned
    const TRestoreStore* FStore = nullptr;  // not owned
    std::unique_ptr<TKivHttpGet> FGet;
    std::unique_ptr<TPostWindow> FWindow;
    bool FRunning = false;
    std::vector<std::wstring> FUrls;
    bool FSameSources = false;  // the installed list was made from these sources
    size_t FIndex = 0;
    std::vector<TSourceResult> FResults;
    std::vector<std::shared_ptr<TCheck>> FChecks;
};

}  // namespace sk
