// The restore point of one operation while it runs. Begin makes it (on disk, flushed) before the
// operation's first change; the operation then changes the registry only through Registry(), which
// records each value and key before it changes, and calls CaptureFile / CaptureSetting before it
// replaces, moves or deletes a file or writes a setting; Complete records the rows the user saw
// and what the operation left. Every record is on disk before the call returns, so an operation
// that is killed half-way leaves a point that reads as interrupted and still puts back all it had
// changed.
//
//     auto point = TRestorePoint::Begin(store, {L"repair", IDS_IEREPAIR_Title, items});
//     for (int i : ticked) RepairItem(i, rows, point->Registry());
//     point->Complete(ToRestoreRows(rows));
//
// Every capture raises TError when the point cannot be written; the change must then not be made
// (the recording backend makes sure of that for registry changes).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/Handles.h"
#include "registry/RecordingRegistry.h"
#include "registry/RestoreManifest.h"
#include "registry/RestoreStore.h"

namespace sk {

// What an operation is, for its restore point.
struct TRestoreOperation {
    std::wstring Operation;           // short machine name: letters, digits and "-" ("repair")
    std::wstring Title;               // for people ("Repair")
    std::vector<std::wstring> Items;  // the items it works on, as the user saw them
    std::wstring Restores;            // for a restore: the id of the point it puts back
};

class TRestorePoint : private TRegistryChangeSink {
public:
    // Makes the point's folder and writes its manifest (state "in progress"), flushed, and holds
    // its lock until Complete or destruction. store and registry (not owned; registry is the one
    // the operation changes) must outlive the point. TError "Could not create a restore point in %s: %s.
    // Nothing was changed" on failure; nothing is left behind then.
    static std::unique_ptr<TRestorePoint> Begin(const TRestoreStore& store,
                                                const TRestoreOperation& operation,
                                                TRegistryBackend& registry = WindowsRegistryBackend());
    // Without Complete, the point stays as written: it reads as interrupted.
    ~TRestorePoint() override;
    TRestorePoint(const TRestorePoint&) = delete;
    TRestorePoint& operator=(const TRestorePoint&) = delete;

    const std::wstring& Id() const { return FManifest.Id; }
    const std::wstring& Folder() const { return FFolder; }
    const TRestoreManifest& Manifest() const { return FManifest; }

    // The registry to hand to the operation: reads pass through; each value about to be written
    // or deleted and each key about to be made or removed is recorded first (once: the first time
    // it, or a key above it, is touched). Its keys raise the capture's TError instead of changing.
    TRegistryBackend& Registry() { return FRecording; }

    // Records a value's or a key's present state (a key with its whole subtree, or its absence),
    // for changes made around Registry(). Once per place, like Registry().
    void CaptureValue(const TRegKeyPlace& key, const std::wstring& name);
    void CaptureKey(const TRegKeyPlace& key);
    // Before a file is replaced, moved or deleted (a move captures both its ends): a flushed copy
    // of its bytes inside the point's folder, or that it is absent. Once per path.
    void CaptureFile(const std::wstring& path);
    // Before one setting of a profile file is written or removed: its text or its absence, and
    // whether its section held any key. Once per file, section and key.
    void CaptureSetting(const std::wstring& file, const std::wstring& section, const std::wstring& key);

    // Records the rows the user saw and the present state of every captured place, and marks the
    // point complete; then removes the oldest points beyond the store's limits (never this one).
    // TError "Could not save the restore point %s: %s" when the manifest cannot be written (or the
    // store's "Could not read %s" when a recorded place cannot be read): the point then still
    // reads as interrupted and puts back everything recorded. An operation that stopped on an
    // error may still call Complete with the rows it made, so that its point compares as usual.
    void Complete(const std::vector<TRestoreRow>& rows);
    bool Completed() const { return FManifest.Complete; }

private:
    TRestorePoint(const TRestoreStore& store, TRegistryBackend& registry);

    void BeforeValueChange(const TRegKeyPlace& key, const std::wstring& name) override { CaptureValue(key, name); }
    void BeforeKeyChange(const TRegKeyPlace& key) override { CaptureKey(key); }

    bool KeyCovered(const TRegKeyPlace& key) const;
    void Append(TRestoreEntry entry);  // writes the manifest with it, or raises and forgets it
    bool WriteManifest(DWORD& error) const;
    [[noreturn]] void RaiseRecordFailed(const std::wstring& what, const std::wstring& why) const;

    using TKeyId = std::tuple<int, int, std::wstring>;                  // root, view, upper-case path
    using TValueId = std::tuple<int, int, std::wstring, std::wstring>;  // ... and upper-case name

    const TRestoreStore& FStore;  // not owned
    TRegistryBackend& FRegistry;  // not owned
    TRecordingRegistryBackend FRecording;
    TRestoreManifest FManifest;
    std::wstring FFolder;
    THandle FLock;
    int FFileCount = 0;
    std::set<TKeyId> FKeys;
    std::set<TValueId> FValues;
    std::set<std::wstring> FFiles;
    std::set<std::tuple<std::wstring, std::wstring, std::wstring>> FSettings;
};

// The present state of a recorded place (registry through registry). Raises TError when it
// cannot be read.
TEntryState ReadEntryState(const TRestoreEntry& entry, TRegistryBackend& registry);
// Whether two states of one entry are the same: type and bytes, whole subtrees (in any order),
// file size and digest, setting text.
bool SameEntryState(const TRestoreEntry& entry, const TEntryState& a, const TEntryState& b);

}  // namespace sk
