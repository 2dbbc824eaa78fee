#include "repair/RepairRun.h"

#include <memory>

#include "base/Errors.h"
#include "base/StringTable.h"
#include "registry/RestorePoint.h"

namespace sk {

namespace {

// Between the catalogue and the restore point's recording registry: the first change the point
// cannot record raises there (and is not made); the catalogue turns that into a failed row and
// would go on with the next setting. This stops the run instead: every later change raises too,
// without being tried, and the run ends after the item at hand.
class TStopAtRecordFailure : public TRegistryBackend {
public:
    explicit TStopAtRecordFailure(TRegistryBackend& recording) : FInner(recording) {}

    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, TRegView view, const std::wstring& path, bool create) override;
    void NotifyAssociationsChanged() override { FInner.NotifyAssociationsChanged(); }

    // The point's message for the change it could not record; "" while every change was recorded.
    const std::wstring& Failure() const { return FFailure; }

    // Runs a change: refused once the run has stopped; a TError it raises stops the run (the keys
    // of the backends beneath raise nothing themselves: only the recording does).
    template <typename F>
    auto Change(F&& change) {
        if (!FFailure.empty()) throw TError(IDS_IEREPAIR_Reason_Stopped);
        try {
            return change();
        } catch (const TError& e) {
            FFailure = e.Message();
            throw;
        }
    }

private:
    TRegistryBackend& FInner;  // not owned
    std::wstring FFailure;
};

class TStopAtRecordFailureKey : public TForwardingRegistryKey {
public:
    TStopAtRecordFailureKey(TStopAtRecordFailure& owner, std::unique_ptr<TRegistryKey> inner)
        : TForwardingRegistryKey(std::move(inner)), FOwner(owner) {}

    bool SetValue(const std::wstring& name, const TRegValue& value) override {
        return FOwner.Change([&] { return TForwardingRegistryKey::SetValue(name, value); });
    }
    bool DeleteValue(const std::wstring& name) override {
        return FOwner.Change([&] { return TForwardingRegistryKey::DeleteValue(name); });
    }
    bool CreateSubkey(const std::wstring& name) override {
        return FOwner.Change([&] { return TForwardingRegistryKey::CreateSubkey(name); });
    }
    bool DeleteSubkeyTree(const std::wstring& name) override {
        return FOwner.Change([&] { return TForwardingRegistryKey::DeleteSubkeyTree(name); });
    }

private:
    TStopAtRecordFailure& FOwner;  // not owned; outlives its keys
};

std::unique_ptr<TRegistryKey> TStopAtRecordFailure::OpenKey(TRegRoot root,
                                                            TRegView view,
                                                            const std::wstring& path,
                                                            bool create) {
    // Opening with creation may make keys: a change like the others. Reading goes on after a stop.
    auto inner = create ? Change([&] { return FInner.OpenKey(root, view, path, true); })
                        : FInner.OpenKey(root, view, path, false);
    if (!inner) return nullptr;
    return std::make_unique<TStopAtRecordFailureKey>(*this, std::move(inner));
}

std::vector<TRestoreRow> ToRestoreRows(const std::vector<TRepairRow>& rows) {
    std::vector<TRestoreRow> out;
    out.reserve(rows.size());
    for (const auto& row : rows) out.push_back({row.Label, row.Before, row.After});
    return out;
}

}  // namespace

TRepairRunResult RunRepair(const TRestoreStore& store, const std::vector<int>& indices, TRegistryBackend& registry) {
    TRepairRunResult result;
    std::vector<std::wstring> items;
    for (int index : indices) items.push_back(*RepairItemAt(index).Text);  // out_of_range before anything
    if (indices.empty()) return result;

    const auto point = TRestorePoint::Begin(store, {kRepairOperation, IDS_IEREPAIR_Title, items}, registry);
    result.PointId = point->Id();
    TStopAtRecordFailure guarded(point->Registry());
    for (int index : indices) {
        const TRepairLevel level = RepairItem(index, result.Rows, guarded);
        if (level > result.Level) result.Level = level;
        if (!guarded.Failure().empty()) break;
    }
    result.Problem = guarded.Failure();
    try {
        point->Complete(ToRestoreRows(result.Rows));
    } catch (const TError& e) {
        // The repairs stand; the point, left as interrupted, still puts back all it recorded.
        if (result.Problem.empty()) result.Problem = e.Message();
    }
    return result;
}

}  // namespace sk
