#include "registry/RecordingRegistry.h"

namespace sk {

namespace {

class TRecordingKey : public TRegistryKey {
public:
    TRecordingKey(TRecordingRegistryBackend& owner, std::unique_ptr<TRegistryKey> inner, TRegKeyPlace place)
        : FOwner(owner), FInner(std::move(inner)), FPlace(std::move(place)) {}

    std::optional<TRegValue> QueryValue(const std::wstring& name) override { return FInner->QueryValue(name); }
    bool ValueExists(const std::wstring& name) override { return FInner->ValueExists(name); }
    bool SubkeyExists(const std::wstring& name) override { return FInner->SubkeyExists(name); }
    bool HasAnySubkey() override { return FInner->HasAnySubkey(); }
    std::vector<std::wstring> SubkeyNames() override { return FInner->SubkeyNames(); }
    std::vector<std::wstring> ValueNames() override { return FInner->ValueNames(); }

    bool SetValue(const std::wstring& name, const TRegValue& value) override {
        FOwner.Sink().BeforeValueChange(FPlace, name);
        return FInner->SetValue(name, value);
    }

    bool DeleteValue(const std::wstring& name) override {
        if (FInner->ValueExists(name)) FOwner.Sink().BeforeValueChange(FPlace, name);
        return FInner->DeleteValue(name);
    }

    bool CreateSubkey(const std::wstring& name) override {
        const std::wstring normal = NormalizeRegPath(name);
        if (!normal.empty()) FOwner.ReportMissing({FPlace.Root, FPlace.View, JoinRegPath(FPlace.Path, normal)});
        return FInner->CreateSubkey(name);
    }

    bool DeleteSubkeyTree(const std::wstring& name) override {
        const std::wstring normal = NormalizeRegPath(name);
        if (!normal.empty() && FInner->SubkeyExists(normal))
            FOwner.Sink().BeforeKeyChange({FPlace.Root, FPlace.View, JoinRegPath(FPlace.Path, normal)});
        return FInner->DeleteSubkeyTree(name);
    }

private:
    TRecordingRegistryBackend& FOwner;  // not owned; outlives its keys
    std::unique_ptr<TRegistryKey> FInner;
    TRegKeyPlace FPlace;
};

}  // namespace

void TRecordingRegistryBackend::ReportMissing(const TRegKeyPlace& key) {
    const std::wstring path = NormalizeRegPath(key.Path);
    if (path.empty() || RegKeyExists(FInner, {key.Root, key.View, path})) return;
    // The first missing part on the way down is the outermost key the change makes. Each part is
    // asked by its full path, so that the view applies to it.
    for (size_t cut = path.find(L'\\');; cut = path.find(L'\\', cut + 1)) {
        const std::wstring prefix = cut == std::wstring::npos ? path : path.substr(0, cut);
        if (!RegKeyExists(FInner, {key.Root, key.View, prefix})) {
            FSink.BeforeKeyChange({key.Root, key.View, prefix});
            return;
        }
        if (cut == std::wstring::npos) return;
    }
}

std::unique_ptr<TRegistryKey> TRecordingRegistryBackend::OpenKey(TRegRoot root,
                                                                 TRegView view,
                                                                 const std::wstring& path,
                                                                 bool create) {
    const std::wstring normal = NormalizeRegPath(path);
    if (create) ReportMissing({root, view, normal});
    auto inner = FInner.OpenKey(root, view, path, create);
    if (!inner) return nullptr;
    return std::make_unique<TRecordingKey>(*this, std::move(inner), TRegKeyPlace{root, view, normal});
}

}  // namespace sk
