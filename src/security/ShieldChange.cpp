#include "security/ShieldChange.h"

#include <memory>
#include <utility>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "security/HostsLine.h"
#include "security/TextFile.h"

namespace sk {

namespace {

const std::wstring& OnOffText(bool on) { return on ? IDS_IESECURITY_RowOn : IDS_IESECURITY_RowOff; }

// Runs change inside point: an error completes the point with the rows so far (so that it
// compares as usual and puts back what was changed) and is raised again; the point's own failure
// to complete afterwards leaves it as interrupted, which still puts back everything recorded.
template <typename TChange, typename TRows>
void RunInPoint(TRestorePoint& point, TChange&& change, TRows&& rows) {
    try {
        change();
    } catch (...) {
        try {
            point.Complete(rows());
        } catch (...) {
        }
        throw;
    }
    try {
        point.Complete(rows());
    } catch (const TError&) {
    }
}

void WriteShieldOn(const TIESecurity& shield, bool on) {
    TProfileFile(shield.SettingsFileName()).WriteBool(kSettingsSection, kIESecurityOnKey, on);
}

}  // namespace

std::vector<TRestoreRow> TurnOnRows(bool wasOn, const TTurnOnReport& report) {
    std::vector<TRestoreRow> rows{{IDS_IESECURITY_RowShield, OnOffText(wasOn), OnOffText(report.Done || wasOn)}};
    if (!report.Done) return rows;
    rows.push_back({IDS_IESECURITY_RowHostsFile, L"",
                    Fmt(IDS_IESECURITY_RowTurnedOn, static_cast<int>(report.ListEntries),
                        static_cast<int>(report.UserEntriesKept))});
    for (const THostsUserEntry& entry : report.NotKept)
        rows.push_back({entry.Text, IDS_IESECURITY_RowInUse, IDS_IESECURITY_NotKept});
    return rows;
}

std::vector<TRestoreRow> TurnOffRows(bool wasOn, const TTurnOffReport& report) {
    std::vector<TRestoreRow> rows{{IDS_IESECURITY_RowShield, OnOffText(wasOn), OnOffText(!report.Done && wasOn)}};
    if (!report.Done) return rows;
    rows.push_back({IDS_IESECURITY_RowHostsFile, L"",
                    report.RestoredFrom.empty() ? report.Note : Fmt(IDS_IESECURITY_RowRestoredFrom, report.RestoredFrom)});
    return rows;
}

TShieldChangeResult TurnShieldOnWithRestorePoint(TIESecurity& shield, const TRestoreStore& store) {
    TShieldChangeResult result;
    if (!FileExists(shield.ListFileName)) {
        // Nothing to install: TurnOn changes nothing, so nothing is recorded.
        shield.TurnOn();
        result.TurnOn = shield.LastTurnOn();
        return result;
    }
    const bool wasOn = shield.ShieldOn;
    auto point = TRestorePoint::Begin(store, {kShieldOnOperation, IDS_IESECURITY_PointTurnOn, {shield.HostsFileName}});
    result.PointId = point->Id();
    point->CaptureFile(shield.HostsFileName);
    point->CaptureSetting(shield.SettingsFileName(), kSettingsSection, kIESecurityOnKey);
    RunInPoint(
        *point,
        [&] {
            shield.TurnOn();
            result.TurnOn = shield.LastTurnOn();
            result.Changed = result.TurnOn.Done;
            if (result.TurnOn.Done) WriteShieldOn(shield, true);
        },
        [&] { return result.Rows = TurnOnRows(wasOn, result.TurnOn); });
    return result;
}

TShieldChangeResult TurnShieldOffWithRestorePoint(TIESecurity& shield, const TRestoreStore& store) {
    TShieldChangeResult result;
    const bool wasOn = shield.ShieldOn;
    auto point =
        TRestorePoint::Begin(store, {kShieldOffOperation, IDS_IESECURITY_PointTurnOff, {shield.HostsFileName}});
    result.PointId = point->Id();
    point->CaptureFile(shield.HostsFileName);
    point->CaptureSetting(shield.SettingsFileName(), kSettingsSection, kIESecurityOnKey);
    RunInPoint(
        *point,
        [&] {
            shield.TurnOff();
            result.TurnOff = shield.LastTurnOff();
            result.Changed = result.TurnOff.Done;
            WriteShieldOn(shield, false);
        },
        [&] { return result.Rows = TurnOffRows(wasOn, result.TurnOff); });
    return result;
}

TShieldChangeResult AddHostWithRestorePoint(TIESecurity& shield,
                                            const TRestoreStore& store,
                                            const std::wstring& host,
                                            bool skipIfPresent) {
    TShieldChangeResult result;
    const std::wstring name(hostsline::Trim(std::wstring_view(host)));
    if (name.empty()) return result;
    const bool exists = FileExists(shield.HostsFileName);
    const bool writable = hostsline::IsWritableHostName(name) &&
                          CanEncode(name, exists ? EncodingOfFile(shield.HostsFileName) : TTextEncoding::Ansi);
    if (!writable) {
        shield.AddHost(name, skipIfPresent);  // raises its error, changing nothing
        return result;
    }
    if (skipIfPresent && exists && shield.HostExists(name)) return result;

    auto point = TRestorePoint::Begin(store, {kShieldAddOperation, IDS_IESECURITY_PointAdd, {name}});
    result.PointId = point->Id();
    point->CaptureFile(shield.HostsFileName);
    RunInPoint(
        *point,
        [&] {
            shield.AddHost(name, skipIfPresent);
            result.Changed = true;
        },
        [&] {
            result.Rows.clear();
            if (result.Changed) result.Rows.push_back({name, IDS_IESECURITY_RowNotBlocked, IDS_IESECURITY_RowBlocked});
            return result.Rows;
        });
    return result;
}

TShieldChangeResult DeleteHostWithRestorePoint(TIESecurity& shield,
                                               const TRestoreStore& store,
                                               const std::wstring& host) {
    TShieldChangeResult result;
    const std::wstring name(hostsline::Trim(std::wstring_view(host)));
    if (name.empty() || !shield.HostExists(name)) return result;

    auto point = TRestorePoint::Begin(store, {kShieldDeleteOperation, IDS_IESECURITY_PointDelete, {name}});
    result.PointId = point->Id();
    point->CaptureFile(shield.HostsFileName);
    RunInPoint(
        *point,
        [&] {
            shield.DeleteHost(name);
            result.Changed = true;
        },
        [&] {
            result.Rows.clear();
            if (result.Changed) result.Rows.push_back({name, IDS_IESECURITY_RowBlocked, IDS_IESECURITY_RowNotBlocked});
            return result.Rows;
        });
    return result;
}

TListUpdateResult RunShieldListUpdate(TIESecurity& shield, const TRestoreStore* store) {
    THostsListUpdate update(shield);
    update.SetRestoreStore(store);
    TListUpdateResult result;
    bool done = false;
    update.OnDone = [&](const TListUpdateResult& r) {
        result = r;
        done = true;
    };
    if (!update.Start()) {
        TSourceResult failed;
        failed.Url = shield.ListUrl;
        failed.Outcome = TSourceOutcome::Failed;
        failed.Reason = IDS_IESECURITY_StartFailed;
        result.Sources.push_back(std::move(failed));
        result.FailedSource = 0;
        return result;
    }
    MSG msg;
    while (!done) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // The thread is asked to end: the update stops with the list as it was, and the
            // request goes on to the caller's own loop.
            update.Stop();
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            TSourceResult stopped;
            stopped.Url = shield.ListUrl;
            stopped.Outcome = TSourceOutcome::Failed;
            stopped.Reason = IDS_IESECURITY_UpdateStopped;
            result.Sources.push_back(std::move(stopped));
            result.FailedSource = 0;
            return result;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return result;
}

void ReloadShieldState(TIESecurity& shield) {
    const std::wstring& file = shield.SettingsFileName();
    const TProfileFile settings(file);
    const bool haveSettings = FileExists(file);
    const bool stored = haveSettings && settings.ReadBool(kSettingsSection, kIESecurityOnKey, false);
    shield.AutoUpdate = haveSettings && settings.ReadBool(kSettingsSection, kIESecurityAutoUpdateKey, false);
    shield.ListUrls = TIESecurity::ListUrlsFromSettings(file);
    shield.ListUrl = shield.ListUrls.empty() ? std::wstring() : shield.ListUrls.front();
    // What the hosts file is decides: a Turn off put back makes it the shield's list again, a
    // Turn on put back the user's own file, whatever was recorded for the switch.
    const bool on = FileExists(shield.HostsFileName) && shield.IsShieldFile(shield.HostsFileName);
    shield.ShieldOn = on;
    if (on != stored) WriteShieldOn(shield, on);
}

}  // namespace sk
