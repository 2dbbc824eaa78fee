// A repair run as the program makes it, from the Repair tab as from the command line: a restore
// point first, then the repairs of the chosen items through it, then the point completed with the
// rows the user is shown. Every change is recorded before it is made, so the run can be undone.
#pragma once

#include <string>
#include <vector>

#include "registry/RegistryStore.h"
#include "registry/RestoreStore.h"
#include "repair/IERepairFuncs.h"

namespace sk {

// The operation's name in its restore point.
inline constexpr const wchar_t* kRepairOperation = L"repair";

struct TRepairRunResult {
    // What was changed or failed, in the order of the items given: the rows to show, and those the
    // restore point keeps.
    std::vector<TRepairRow> Rows;
    TRepairLevel Level = TRepairLevel::None;  // the highest among the settings repaired
    std::wstring PointId;                     // the run's restore point; "" when no item was given
    // What went wrong with the restore point once the run had begun, for the error box; "" when
    // nothing did. Either a change could not be recorded (that change and everything after it was
    // not made: the run stopped there, its rows say so), or the point could not be completed (the
    // repairs are made and the point, read as interrupted, still puts all of them back).
    std::wstring Problem;
};

// Repairs the items (indexes 0..21, in the order given) under a restore point of store: operation
// "repair", titled like the Repair tab, its items the items' texts, its rows the result's rows.
// When the point cannot be made, raises its TError ("... Nothing was changed") before anything is
// repaired. No item given: nothing is done and no point is made. An index outside 0..21 raises
// std::out_of_range before anything is done.
TRepairRunResult RunRepair(const TRestoreStore& store,
                           const std::vector<int>& indices,
                           TRegistryBackend& registry = WindowsRegistryBackend());

}  // namespace sk
