#include "security/HostsListUpdate.h"

#include <algorithm>
#include <unordered_set>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Sha256.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "base/Window.h"
#include "registry/RestorePoint.h"
#include "security/HostsLine.h"
#include "security/ShieldChange.h"
#include "security/TextFile.h"

namespace sk {

namespace {

constexpr UINT kNextMessage = WM_APP + 3;
constexpr WPARAM kNextSource = 1;
constexpr WPARAM kFinish = 2;
// While a window reads the hosts file, the install waits: its listing lets messages run, and
// replacing the file under it would mix two files in one list.
constexpr UINT_PTR kListingTimer = 1;
constexpr UINT kListingRetryMs = 50;

// A date at most two days ahead of today's (the server's clock and zone may run ahead of ours).
bool InTheFuture(const TVersionDate& date) {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    FILETIME ft{};
    ::SystemTimeToFileTime(&now, &ft);
    ULARGE_INTEGER t{};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += 2ull * 24 * 3600 * 10000000;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    SYSTEMTIME limit{};
    ::FileTimeToSystemTime(&ft, &limit);
    return date > TVersionDate{limit.wYear, limit.wMonth, limit.wDay};
}

std::wstring DateText(const TVersionDate& d) {
    wchar_t text[16];
    ::swprintf(text, 16, L"%04d-%02d-%02d", d.Year, d.Month, d.Day);
    return text;
}

// The date marker of a list file's first line, when it has one.
bool LocalDate(const std::wstring& file, TVersionDate& date) {
    const std::wstring marker = TIESecurity::ReadLocalVersion(file);
    if (marker.empty() || marker[0] < L'0' || marker[0] > L'9') return false;
    try {
        date = hostsline::ParseVersionDate(marker);
    } catch (const TConvertError&) {
        return false;
    }
    return date.Year >= 1970 && date.Month >= 1 && date.Month <= 12 && date.Day >= 1 && date.Day <= 31;
}

std::wstring Joined(const std::vector<std::wstring>& urls) {
    std::wstring text;
    for (const auto& url : urls) text += (text.empty() ? L"" : L" ") + url;
    return text;
}

}  // namespace

// What the worker found of one source's body and of the copy it may replace; written on the
// worker thread by the body check, read on the window thread after the download's final event.
struct THostsListUpdate::TCheck {
    TListSummary Remote;
    bool Checked = false;
    TSha256Digest LocalHash{};
    bool HasLocal = false;
};

class THostsListUpdate::TPostWindow final : public TWindow {
public:
    explicit TPostWindow(THostsListUpdate& owner) : FOwner(owner) {
        CreateWnd(L"SurfkeepHostsListUpdate", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kNextMessage) {
            if (!FOwner.FRunning) return 0;
            if (wParam == kNextSource)
                FOwner.StartSource();
            else
                FOwner.Finish();
            return 0;
        }
        return TWindow::HandleMessage(msg, wParam, lParam);
    }

private:
    THostsListUpdate& FOwner;
};

std::wstring TListUpdateResult::Text() const {
    if (FailedSource >= 0 && static_cast<size_t>(FailedSource) < Sources.size()) {
        const TSourceResult& s = Sources[static_cast<size_t>(FailedSource)];
        return Fmt(s.Outcome == TSourceOutcome::Refused ? IDS_IESECURITY_UpdateRefused : IDS_IESECURITY_UpdateFailed,
                   s.Url, s.Reason);
    }
    if (Installed && !HostsProblem.empty()) return Fmt(IDS_IESECURITY_UpdateHostsNotChanged, HostsProblem);
    if (Installed) return IDS_IESECURITY_DownloadCompleted;
    const bool all304 = !Sources.empty() && std::all_of(Sources.begin(), Sources.end(), [](const TSourceResult& s) {
        return s.Outcome == TSourceOutcome::NotModified;
    });
    return all304 ? IDS_IESECURITY_UpdateNotModified : IDS_IESECURITY_LatestFile;
}

THostsListUpdate::THostsListUpdate(TIESecurity& shield)
    : FShield(shield), FGet(std::make_unique<TKivHttpGet>()), FWindow(std::make_unique<TPostWindow>(*this)) {
    FGet->UseCache = false;
    FGet->OnProcess = [this](TKivHttpGet*, int, const std::wstring& url, const std::wstring&, uint64_t current,
                             uint64_t total, uint32_t speed) {
        if (OnProgress) OnProgress({FIndex, FUrls.size(), url, current, total, speed});
    };
    FGet->OnFileCompleted = [this](TKivHttpGet* get, int, const std::wstring& url, const std::wstring&, int64_t) {
        TSourceResult r;
        r.Url = url;
        r.Status = get->LastResult().Status;
        r.Bytes = get->LastResult().Bytes;
        r.ETag = get->LastResult().ETag;
        r.LastModified = get->LastResult().LastModified;
        const TCheck& check = *FChecks[FIndex];
        r.Entries = check.Remote.Entries;
        const std::wstring staging = CopyOf(FIndex, FUrls.size()) + L".new";
        TVersionDate local;
        const std::wstring copy = CopyOf(FIndex, FUrls.size());
        if (check.Remote.HasDate && InTheFuture(check.Remote.Date)) {
            // Installed, it would hold back every later list.
            r.Outcome = TSourceOutcome::Refused;
            r.Reason = Fmt(IDS_IESECURITY_ReasonFutureDate, DateText(check.Remote.Date));
            r.ErrorCode = kHttpGetRefused;
        } else if (!check.HasLocal) {
            r.Outcome = TSourceOutcome::Newer;
        } else if (check.Remote.HasDate && LocalDate(copy, local)) {
            r.Outcome = check.Remote.Date > local ? TSourceOutcome::Newer : TSourceOutcome::SameVersion;
        } else {
            r.Outcome = check.Remote.Hash == check.LocalHash ? TSourceOutcome::SameContent : TSourceOutcome::Newer;
        }
        if (r.Outcome != TSourceOutcome::Newer) ::DeleteFileW(staging.c_str());
        SourceEnded(std::move(r));
    };
    FGet->OnNotModified = [this](TKivHttpGet* get) {
        TSourceResult r;
        r.Url = FUrls[FIndex];
        r.Outcome = TSourceOutcome::NotModified;
        r.Status = get->LastResult().Status;
        SourceEnded(std::move(r));
    };
    FGet->OnError = [this](TKivHttpGet* get, const std::wstring& url, const std::wstring&, uint32_t code, bool&) {
        const TDownloadResult& d = get->LastResult();
        TSourceResult r;
        r.Url = url;
        r.ErrorCode = code;
        r.Status = d.Status;
        r.Bytes = d.Bytes;
        const bool refused = d.Outcome == TDownloadOutcome::Refused || d.Outcome == TDownloadOutcome::TooLarge ||
                             d.Outcome == TDownloadOutcome::Redirect;
        r.Outcome = refused ? TSourceOutcome::Refused : TSourceOutcome::Failed;
        r.Reason = d.Reason();
        if (r.Reason.empty()) r.Reason = Fmt(IDS_IESECURITY_ReasonNetwork, code, InternetErrorText(code));
        SourceEnded(std::move(r));
    };
}

THostsListUpdate::~THostsListUpdate() {
    Stop();
    FGet.reset();
    FWindow.reset();
}

std::wstring THostsListUpdate::CopyOf(size_t n, size_t count) const {
    if (count <= 1) return FShield.ListFileName;
    return FileFolderOf(FShield.ListFileName) + L"lists\\source" + std::to_wstring(n + 1) + L".txt";
}

std::wstring THostsListUpdate::KeySuffix(size_t n) const { return n == 0 ? L"" : std::to_wstring(n + 1); }

bool THostsListUpdate::Start() {
    if (FRunning || FGet->Busy()) return false;
    FUrls = FShield.ListUrls;
    if (FUrls.empty()) return false;
    const TProfileFile settings(FShield.SettingsFileName());
    // Never stored: a single list was downloaded straight into the list file from its address.
    const std::wstring stored = FileExists(FShield.SettingsFileName())
                                    ? settings.ReadString(kSettingsSection, L"HostsListSources", L"(none)")
                                    : std::wstring(L"(none)");
    FSameSources = stored == Joined(FUrls) || (stored == L"(none)" && FUrls.size() == 1);
    FResults.clear();
    FChecks.clear();
    for (size_t i = 0; i < FUrls.size(); ++i) FChecks.push_back(std::make_shared<TCheck>());
    FIndex = 0;
    FRunning = true;
    StartSource();
    return FRunning;
}

void THostsListUpdate::StartSource() {
    if (FGet->Busy()) {  // the worker is still returning from the previous source's last event
        ::PostMessageW(FWindow->Handle(), kNextMessage, kNextSource, 0);
        return;
    }
    const size_t n = FIndex;
    const std::wstring url = FUrls[n];
    const std::wstring copy = CopyOf(n, FUrls.size());
    const std::wstring staging = copy + L".new";
    ::DeleteFileW(staging.c_str());
    ForceFolders(FileFolderOf(copy));

    TDownloadOptions options;
    options.MaxBytes = FShield.Limits().MaxBytes;
    options.DeadlineMs = DeadlineMs;
    options.AcceptChunked = true;
    const bool hasCopy = FileExists(copy);
    if (FSameSources && hasCopy) {
        const TProfileFile settings(FShield.SettingsFileName());
        options.IfNoneMatch = settings.ReadString(kSettingsSection, L"HostsListETag" + KeySuffix(n), L"");
        options.IfModifiedSince = settings.ReadString(kSettingsSection, L"HostsListLastModified" + KeySuffix(n), L"");
    }
    // On the worker thread: the list rules on the whole body, and the hash of the copy it may
    // replace. Only what the lambda holds is used there.
    const std::shared_ptr<TCheck> check = FChecks[n];
    const TReadLimits limits = FShield.Limits();
    // A list made from other sources is no copy of this one.
    const std::wstring localCopy = hasCopy && FSameSources ? copy : std::wstring();
    options.CheckBody = [check, limits, localCopy](const std::wstring& file) -> std::wstring {
        try {
            check->Remote = TIESecurity::CheckListFile(file, limits);
        } catch (const TShieldRefusal& e) {
            return e.Reason();
        } catch (const TFileTooLargeError& e) {
            return e.Reason();
        } catch (const TLineTooLongError& e) {
            return e.Reason();
        } catch (const TError& e) {
            return e.Message();
        }
        check->Checked = true;
        check->HasLocal = !localCopy.empty() && HashFile(localCopy, check->LocalHash);
        return {};
    };
    FGet->TimeoutMs = TimeoutMs;
    if (!FGet->DownloadFile(url, staging, options)) {
        TSourceResult r;
        r.Url = url;
        r.Outcome = TSourceOutcome::Failed;
        r.Reason = IDS_IESECURITY_StartFailed;
        FResults.push_back(std::move(r));
        ::PostMessageW(FWindow->Handle(), kNextMessage, kFinish, 0);
    }
}

void THostsListUpdate::Stop() {
    if (!FRunning) return;
    FRunning = false;  // the steps already posted do nothing now
    FWindow->StopTimer(kListingTimer);
    FGet->Stop(false);
    for (size_t i = 0; i < FUrls.size(); ++i) ::DeleteFileW((CopyOf(i, FUrls.size()) + L".new").c_str());
}

void THostsListUpdate::SourceEnded(TSourceResult result) {
    // Inside the downloader's final event: the next step comes once it has returned.
    FResults.push_back(std::move(result));
    const bool failed = FResults.back().Outcome == TSourceOutcome::Refused ||
                        FResults.back().Outcome == TSourceOutcome::Failed;
    if (!failed && FIndex + 1 < FUrls.size()) {
        ++FIndex;
        ::PostMessageW(FWindow->Handle(), kNextMessage, kNextSource, 0);
    } else {
        ::PostMessageW(FWindow->Handle(), kNextMessage, kFinish, 0);
    }
}

void THostsListUpdate::Finish() {
    if (FGet->Busy()) {  // the worker is still returning from its last event
        ::PostMessageW(FWindow->Handle(), kNextMessage, kFinish, 0);
        return;
    }
    if (!FShield.ListingDone) {
        FWindow->StartTimer(kListingTimer, kListingRetryMs, [this] {
            FWindow->StopTimer(kListingTimer);
            if (FRunning) Finish();
        });
        return;
    }
    TListUpdateResult result;
    result.Sources = FResults;
    for (size_t i = 0; i < FResults.size(); ++i) {
        const auto outcome = FResults[i].Outcome;
        if (outcome == TSourceOutcome::Refused || outcome == TSourceOutcome::Failed) {
            result.FailedSource = static_cast<int>(i);
            break;
        }
    }
    if (result.FailedSource < 0 && FResults.size() == FUrls.size()) {
        try {
            Install(result);
        } catch (const TError& e) {
            result.Installed = false;
            // Not installed (no restore point, a file that cannot be written): said as such.
            TSourceResult& s = result.Sources.back();
            s.Outcome = TSourceOutcome::Refused;
            s.Reason = e.Message();
            result.FailedSource = static_cast<int>(result.Sources.size() - 1);
        }
    }
    // A failed update keeps nothing of what it fetched.
    for (size_t i = 0; i < FUrls.size(); ++i) ::DeleteFileW((CopyOf(i, FUrls.size()) + L".new").c_str());
    FRunning = false;
    if (OnDone) OnDone(result);
}

void THostsListUpdate::Install(TListUpdateResult& result) {
    const size_t count = FUrls.size();
    bool newer = false;
    for (const auto& s : result.Sources) newer = newer || s.Outcome == TSourceOutcome::Newer;
    // The merged list is made again when its sources changed or it is gone.
    const bool remerge = count > 1 && (!FSameSources || !FileExists(FShield.ListFileName));
    if (!newer && !remerge) {
        result.UpToDate = true;
        WriteValidators(result);
        return;
    }

    // What the install will change is recorded first: the copies it replaces, the merged list,
    // the validators and, while the shield is on, the hosts file.
    std::unique_ptr<TRestorePoint> point;
    std::vector<TRestoreRow> rows;
    for (size_t i = 0; i < count; ++i) {
        if (result.Sources[i].Outcome != TSourceOutcome::Newer) continue;
        const std::wstring copy = CopyOf(i, count);
        rows.push_back({FUrls[i],
                        FileExists(copy) ? TIESecurity::ReadLocalVersion(copy) : std::wstring(IDS_RESTORE_FileAbsent),
                        Fmt(IDS_IESECURITY_RowEntries, static_cast<int>(result.Sources[i].Entries))});
    }
    if (FStore) {
        point = TRestorePoint::Begin(*FStore, {kShieldUpdateOperation, IDS_IESECURITY_PointUpdate, FUrls});
        result.PointId = point->Id();
        for (size_t i = 0; i < count; ++i)
            if (result.Sources[i].Outcome == TSourceOutcome::Newer) point->CaptureFile(CopyOf(i, count));
        if (count > 1) point->CaptureFile(FShield.ListFileName);
        const std::wstring& settings = FShield.SettingsFileName();
        point->CaptureSetting(settings, kSettingsSection, L"HostsListSources");
        for (size_t i = 0; i < count; ++i)
            for (const wchar_t* key : {L"HostsListETag", L"HostsListLastModified", L"HostsListHash"})
                point->CaptureSetting(settings, kSettingsSection, key + KeySuffix(i));
        if (FShield.ShieldOn) point->CaptureFile(FShield.HostsFileName);
    }
    try {
        // ---- The first change: the sources' copies, then the list file, are replaced.
        for (size_t i = 0; i < count; ++i) {
            if (result.Sources[i].Outcome != TSourceOutcome::Newer) continue;
            const std::wstring copy = CopyOf(i, count);
            DWORD error = 0;
            if (!TrySwapInFile(copy, copy + L".new", error))
                throw TWriteError(L"Unable to write to " + copy + L". " + SystemErrorText(error));
        }
        if (count > 1) {
            // In the sources' order; an entry whose names all came before is left out.
            TFileReplacement merged(FShield.ListFileName, &FShield.Files());
            merged.SetEncoding(TTextEncoding::Utf8);
            TVersionDate newest;
            bool dated = false;
            for (size_t i = 0; i < count; ++i) {
                TVersionDate date;
                if (LocalDate(CopyOf(i, count), date) && (!dated || date > newest)) {
                    newest = date;
                    dated = true;
                }
            }
            merged.WriteLine(dated ? L"# " + DateText(newest)
                                   : L"# Hosts list merged by Surfkeep from " + std::to_wstring(count) + L" sources");
            std::unordered_set<std::wstring> seen;
            std::wstring key;
            for (size_t i = 0; i < count; ++i) {
                merged.WriteLine(L"# Source " + std::to_wstring(i + 1) + L": " + FUrls[i]);
                TTextReader(CopyOf(i, count), FShield.Limits()).ForEachLine([&](auto line) {
                    if (hostsline::ClassifyListLine(line) == hostsline::TListLine::Entry) {
                        bool fresh = false;
                        hostsline::ForEachName(hostsline::HostField(hostsline::Trim(line)), [&](auto name) {
                            key.clear();
                            for (auto c : name) key += hostsline::AsciiLower(static_cast<wchar_t>(c));
                            fresh = seen.insert(key).second || fresh;
                            return true;
                        });
                        if (!fresh) return true;
                    }
                    merged.WriteLine(line);
                    return true;
                });
            }
            merged.Commit();
        }
        result.Installed = true;
        WriteValidators(result);

        // While the shield is on, the new list protects at once.
        if (FShield.ShieldOn) {
            try {
                FShield.TurnOn();
                result.HostsInstalled = FShield.LastTurnOn().Done;
                rows.push_back({IDS_IESECURITY_RowHostsFile, L"",
                                Fmt(IDS_IESECURITY_RowEntries, static_cast<int>(FShield.LastTurnOn().ListEntries))});
            } catch (const TError& e) {
                // The list is saved and waits for the next Turn on; the hosts file is as it was.
                result.HostsProblem = e.Message();
            }
        }
    } catch (...) {
        if (point) {
            try {
                point->Complete(rows);
            } catch (...) {
            }
        }
        throw;
    }
    if (point) {
        try {
            point->Complete(rows);
        } catch (const TError&) {
            // The list stands; the point, left as interrupted, still puts back all it recorded.
        }
    }
}

void THostsListUpdate::WriteValidators(const TListUpdateResult& result) const {
    // The validators of what is installed now (a 304 leaves the stored ones as they are).
    const size_t count = FUrls.size();
    const TProfileFile settings(FShield.SettingsFileName());
    settings.WriteString(kSettingsSection, L"HostsListSources", Joined(FUrls));
    for (size_t i = 0; i < count; ++i) {
        const TSourceResult& s = result.Sources[i];
        const TCheck& check = *FChecks[i];
        if (s.Outcome == TSourceOutcome::NotModified || !check.Checked) continue;
        const std::wstring suffix = KeySuffix(i);
        settings.WriteString(kSettingsSection, L"HostsListETag" + suffix, s.ETag);
        settings.WriteString(kSettingsSection, L"HostsListLastModified" + suffix, s.LastModified);
        const TSha256Digest& installed = s.Outcome == TSourceOutcome::Newer || !check.HasLocal ? check.Remote.Hash
                                                                                              : check.LocalHash;
        settings.WriteString(kSettingsSection, L"HostsListHash" + suffix, TSha256::Hex(installed));
    }
}

}  // namespace sk
