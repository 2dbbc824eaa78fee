#include "registry/RecordingRegistry.h"

namespace sk {

namespace {

class TRecordingKey : public TForwardingRegistryKey {
public:
    TRecordingKey(TRecordingRegistryBackend& owner, std::unique_ptr<TRegistryKey> inner, TRegKeyPlace place)
        : TForwardingRegistryKey(std::move(inner)), FOwner(owner), FPlace(std::move(place)) {}

    bool SetValue(const std::wstring& name, const TRegValue& value) override {
        FOwner.Sink().BeforeValueChange(FPlace, name);
        return TForwardingRegistryKey::SetValue(name, value);
    }

    bool DeleteValue(const std::wstring& name) override {
        if (ValueExists(name)) FOwner.Sink().BeforeValueChange(FPlace, name);
        return TForwardingRegistryKey::DeleteValue(name);
    }

    bool CreateSubkey(const std::wstring& name) override {
        const std::wstring normal = NormalizeRegPath(name);
        if (!normal.empty()) FOwner.ReportMissing({FPlace.Root, FPlace.View, JoinRegPath(FPlace.Path, normal)});
        return TForwardingRegistryKey::CreateSubkey(name);
    }

    bool DeleteSubkeyTree(const std::wstring& name) override {
        const std::wstring normal = NormalizeRegPath(name);
        if (!normal.empty() && SubkeyExists(normal))
            FOwner.Sink().BeforeKeyChange({FPlace.Root, FPlace.View, JoinRegPath(FPlace.Path, normal)});
        return TForwardingRegistryKey::DeleteSubkeyTree(name);
    }

private:
    TRecordingRegistryBackend& FOwner;  // not owned; outlives its keys
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
