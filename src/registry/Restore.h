// Putting a restore point back. PlanRestore compares the present state of every recorded place
// with what the operation left and with what the restore will write; RunRestore then writes back
// exactly the recorded before-state, as an operation with its own restore point (so a restore can
// be undone too):
//
//     TRestorePlan plan = PlanRestore(store, id);
//     bool overwrite = false;
//     if (!plan.ChangedSince.empty()) overwrite = AskUser(plan.ChangedSince);  // else stop
//     TRestoreResult done = RunRestore(store, plan, overwrite);
//
// Nothing is written without consent: where a recorded place was changed after the operation
// (by the user or another program), RunRestore refuses unless overwriteChanged is true, and it
// refuses again if the present state no longer matches the plan the user saw.
#pragma once

#include <string>
#include <vector>

#include "registry/RestorePoint.h"
#include "registry/RestoreStore.h"

namespace sk {

// One place where two states differ, for people: where, the state recorded (what the operation
// left, or what a restore will write back) and the state there now.
struct TStateDifference {
    std::wstring Where;
    std::wstring Recorded;
    std::wstring Present;

    bool operator==(const TStateDifference&) const = default;
};

struct TRestorePlan {
    std::wstring Id;
    TRestoreManifest Point;
    // The operation never completed: what it left is unknown, so there is nothing to compare;
    // putting it back restores everything it recorded.
    bool Interrupted = false;
    // Places changed since the operation: Recorded is what the operation left.
    std::vector<TStateDifference> ChangedSince;
    // What the restore will change: Recorded is the state it writes back. Empty when everything
    // is as it was before the operation already.
    std::vector<TStateDifference> Changes;
};

struct TRestoreResult {
    std::wstring PointId;           // the restore's own restore point
    std::vector<TRestoreRow> Rows;  // what it changed: place, state before the restore, after
};

// Reads the point and the present state. TError from TRestoreStore::Load, or when a recorded
// place cannot be read.
TRestorePlan PlanRestore(const TRestoreStore& store,
                         const std::wstring& id,
                         TRegistryBackend& registry = WindowsRegistryBackend());

// Puts the point back: in the reverse order of recording, values with their type and bytes,
// values that were absent deleted, keys the operation made removed, removed keys and their
// subtrees made again, files byte for byte with their attributes, settings (a section that had
// no key before is removed again when it is left empty). Places already as recorded are not
// touched. Raises TError, before writing anything, "%d of the recorded settings were changed
// after the operation. Nothing was put back" when ChangedSince is not empty and overwriteChanged
// is false, and "... changed again ..." when the present state differs from the plan's. When some
// place cannot be written it goes on with the others, completes its own point, then raises
// "Some recorded settings could not be put back: %s".
TRestoreResult RunRestore(const TRestoreStore& store,
                          const TRestorePlan& plan,
                          bool overwriteChanged,
                          TRegistryBackend& registry = WindowsRegistryBackend());

// The differences between two states of one entry, one per value or key for whole keys.
std::vector<TStateDifference> DescribeDifferences(const TRestoreEntry& entry,
                                                  const TEntryState& recorded,
                                                  const TEntryState& present);

}  // namespace sk
