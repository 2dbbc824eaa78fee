// Where restore points live: backup\restore\<sortable time stamp>-<operation>\ with manifest.json
// and the copies of files. Lists them newest first and keeps them within their limits.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/RestoreManifest.h"

namespace sk {

// How many restore points are kept, and how many bytes they may take in all; the oldest go first.
struct TRestoreLimits {
    int MaxPoints = 50;
    uint64_t MaxBytes = 200ull * 1024 * 1024;
};

// Settings of section "SURFKEEP": RestorePointsMax (50) and RestorePointsMaxMB (200). A value
// below 1 (or none) keeps the default.
inline constexpr const wchar_t* kRestorePointsMaxKey = L"RestorePointsMax";
inline constexpr const wchar_t* kRestorePointsMaxMBKey = L"RestorePointsMaxMB";
TRestoreLimits ReadRestoreLimits(const std::wstring& settingsFile);

enum class TRestoreState {
    Complete,     // the operation finished and recorded what it left
    Interrupted,  // the operation stopped before it completed (killed, crashed, or an error): restorable
    InProgress,   // an operation is writing it right now: not restorable yet
    Damaged,      // the manifest cannot be read: not restorable
};
// "Complete", "Interrupted", "In progress", "Damaged" from the string table.
const std::wstring& RestoreStateText(TRestoreState state);

// One line of the list of restore points.
struct TRestorePointInfo {
    std::wstring Id;  // the folder's name; sorts by time
    TRestoreState State = TRestoreState::Damaged;
    std::wstring Operation;
    std::wstring Title;
    std::vector<std::wstring> Items;
    std::vector<TRestoreRow> Rows;
    std::wstring Restores;  // for a restore: the point it put back
    FILETIME Started{};     // UTC; for a damaged point, the time in its name
    uint64_t Bytes = 0;     // all its files
    std::wstring Problem;   // for a damaged point: why it cannot be read
};

class TRestoreStore {
public:
    // backupFolder is the program's backup folder ("<program>\backup\"); the points go in its
    // "restore" folder, which is made when the first point is.
    explicit TRestoreStore(const std::wstring& backupFolder, TRestoreLimits limits = {});

    const std::wstring& Folder() const { return FFolder; }  // ends in a backslash
    const TRestoreLimits& Limits() const { return FLimits; }

    // Every point, newest first; a folder without a readable manifest is listed as Damaged.
    std::vector<TRestorePointInfo> List() const;
    // The newest point that can be put back (complete or interrupted), if any.
    std::optional<std::wstring> LastId() const;
    // A point's state without reading more than needed; Damaged for an unknown id too.
    TRestoreState StateOf(const std::wstring& id) const;
    // The manifest of a point that can be put back. TError "There is no restore point %s" for an
    // unknown id (or one that is not a plain folder name), "... is still being written" for one in
    // progress, "The restore point %s cannot be read: %s" for a damaged one.
    TRestoreManifest Load(const std::wstring& id) const;
    std::wstring PointFolder(const std::wstring& id) const;  // ends in a backslash

    // Makes the folder of a new point and returns its id: the time stamp of now (UTC, to the
    // millisecond) and the operation's name. Ids are unique and sort after every existing one,
    // even for two points in the same millisecond or after the clock went back. TError
    // "Could not create a restore point in %s: %s. Nothing was changed" on failure.
    std::wstring CreatePoint(const std::wstring& operation) const;

    // Removes the oldest points until at most Limits().MaxPoints remain and they take at most
    // Limits().MaxBytes; keep (the point just made) and points in progress are never removed.
    // Best effort: a point that cannot be removed is passed over.
    void Prune(const std::wstring& keep) const;

private:
    std::vector<std::wstring> PointIds() const;  // newest first

    std::wstring FFolder;
    TRestoreLimits FLimits;
};

// The program's own restore points: backup\restore\ beside the program (its folder as settled at
// start, or the executable's before that), with the limits of the settings file.
TRestoreStore ProgramRestoreStore();

// The lock file a point holds while its operation runs (deleted when the holder ends, even killed).
inline constexpr const wchar_t* kRestoreLockName = L"writing.lock";
inline constexpr const wchar_t* kRestoreManifestName = L"manifest.json";

}  // namespace sk
