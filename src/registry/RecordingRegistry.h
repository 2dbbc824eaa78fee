// A registry backend that tells a recorder what is about to change before it lets the change
// through: every value about to be written or deleted, every key about to be made (by CreateSubkey
// or by OpenKey with create) or removed with its subtree. Engines take it like any other backend,
// so they need not list in advance what they will change.
#pragma once

#include <memory>
#include <string>

#include "registry/RegistryStore.h"
#include "registry/RegistryTree.h"

namespace sk {

// Receives the places about to change, before each change. It records their present state (read
// through the backend it was made for) and raises TError when it cannot; the change is then not
// made and the error reaches the engine, which stops.
class TRegistryChangeSink {
public:
    virtual ~TRegistryChangeSink() = default;
    // A value of key is about to be written or deleted.
    virtual void BeforeValueChange(const TRegKeyPlace& key, const std::wstring& name) = 0;
    // key is about to be made (it does not exist now) or removed with everything beneath it.
    virtual void BeforeKeyChange(const TRegKeyPlace& key) = 0;
};

// Wraps inner (not owned); reads pass straight through. A key it hands out raises the sink's
// TError from SetValue, DeleteValue, CreateSubkey and DeleteSubkeyTree, and OpenKey with create
// raises it, when the sink cannot record: nothing is changed then. Changes that would change
// nothing (deleting an absent value or key, making a key that exists) are passed on unreported.
class TRecordingRegistryBackend : public TRegistryBackend {
public:
    TRecordingRegistryBackend(TRegistryBackend& inner, TRegistryChangeSink& sink) : FInner(inner), FSink(sink) {}

    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, TRegView view, const std::wstring& path, bool create) override;
    void NotifyAssociationsChanged() override { FInner.NotifyAssociationsChanged(); }

    TRegistryBackend& Inner() { return FInner; }
    TRegistryChangeSink& Sink() { return FSink; }

    // Reports the outermost key on the way to key that does not exist yet, if any: the one whose
    // removal undoes the making of all of them.
    void ReportMissing(const TRegKeyPlace& key);

private:
    TRegistryBackend& FInner;    // not owned
    TRegistryChangeSink& FSink;  // not owned
};

}  // namespace sk
