// The shield's changes as the program makes them, from the Security tab or the command line alike:
// a restore point first, holding everything the change will touch (the hosts file, the list file
// and the copies of its sources, the settings it writes), then the change, then the rows the user
// saw. Putting such a point back (PlanRestore / RunRestore) returns the hosts file byte for byte
// and the settings as they were; ReloadShieldState then makes the shield's in-memory state follow.
//
//     TShieldChangeResult done = TurnShieldOnWithRestorePoint(shield, ProgramRestoreStore());
//
// When the point cannot be made, TRestorePoint::Begin's TError ("... Nothing was changed") is
// raised before anything changes. An error of the change itself completes the point with what was
// done so far (so it compares as usual and can be put back) and is raised again.
//
// The shield's own records (its dated backups of the user's hosts file) are not part of a point:
// they are copies, never the user's only one, and putting a point back must not take one away.
#pragma once

#include <string>
#include <vector>

#include "registry/RestorePoint.h"
#include "registry/RestoreStore.h"
#include "security/HostsListUpdate.h"
#include "security/IESecurityFuncs.h"

namespace sk {

// The shield's operations, as their restore points name them.
inline constexpr const wchar_t* kShieldOnOperation = L"shield-on";
inline constexpr const wchar_t* kShieldOffOperation = L"shield-off";
inline constexpr const wchar_t* kShieldUpdateOperation = L"shield-update";
inline constexpr const wchar_t* kShieldAddOperation = L"shield-add";
inline constexpr const wchar_t* kShieldDeleteOperation = L"shield-delete";

// The settings keys of the shield's two switches (section "SURFKEEP" of the shield's settings file).
inline constexpr const wchar_t* kIESecurityOnKey = L"IESecurityOn";
inline constexpr const wchar_t* kIESecurityAutoUpdateKey = L"IESecurityAutoUpdate";

struct TShieldChangeResult {
    std::wstring PointId;  // the restore point; "" when there was nothing to change (then none is made)
    bool Changed = false;  // the hosts file was changed
    std::vector<TRestoreRow> Rows;  // what the point records as seen by the user
    TTurnOnReport TurnOn;    // of TurnShieldOnWithRestorePoint
    TTurnOffReport TurnOff;  // of TurnShieldOffWithRestorePoint
};

// TIESecurity::TurnOn, then "IESecurityOn" = 1. Without a list file nothing happens and no point
// is made (TurnOn.Done is false).
TShieldChangeResult TurnShieldOnWithRestorePoint(TIESecurity& shield, const TRestoreStore& store);
// TIESecurity::TurnOff, then "IESecurityOn" = 0.
TShieldChangeResult TurnShieldOffWithRestorePoint(TIESecurity& shield, const TRestoreStore& store);
// TIESecurity::AddHost. No point when the trimmed name is empty or, with skipIfPresent, already
// listed; a name AddHost refuses raises its TError without a point.
TShieldChangeResult AddHostWithRestorePoint(TIESecurity& shield,
                                            const TRestoreStore& store,
                                            const std::wstring& host,
                                            bool skipIfPresent);
// TIESecurity::DeleteHost. No point when no line matches the name.
TShieldChangeResult DeleteHostWithRestorePoint(TIESecurity& shield,
                                               const TRestoreStore& store,
                                               const std::wstring& host);

// Blocking list update for a caller without a window of its own (the command line): runs
// THostsListUpdate, pumping the calling thread's messages until it is done. A newer list that is
// installed, and the TurnOn that follows while the shield is on, are recorded in one restore point
// "shield-update" made before the list file changes (store may be nullptr: no point). Returns the
// update's result, with the point's id.
TListUpdateResult RunShieldListUpdate(TIESecurity& shield, const TRestoreStore* store);

// After a restore point was put back: the shield's switches are read again from its settings file
// and its list addresses too; the stored state then follows the hosts file (a restored hosts file
// that is the shield's own means on, the user's own means off), written to the settings when they
// disagree. Raises TWriteError when that write fails.
void ReloadShieldState(TIESecurity& shield);

// For the points of the shield's changes: the rows of a Turn on and a Turn off, and the texts of
// the shield's state.
std::vector<TRestoreRow> TurnOnRows(bool wasOn, const TTurnOnReport& report);
std::vector<TRestoreRow> TurnOffRows(bool wasOn, const TTurnOffReport& report);

}  // namespace sk
