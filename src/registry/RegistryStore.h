// Registry access for the whole program. Engines reach the registry only through TRegistryStore,
// which sits on a TRegistryBackend: the real registry (advapi32) or an in-memory tree that behaves
// the same way, so engine logic runs in tests against either.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <optional>
#include <string>
#include <vector>

namespace sk {

enum class TRegRoot { ClassesRoot, CurrentUser, LocalMachine, Users };
enum class TRegView { Native, Wow32, Wow64 };  // KEY_WOW64_32KEY / KEY_WOW64_64KEY on Windows

struct TRegValue {
    DWORD Type = REG_NONE;
    std::vector<uint8_t> Data;

    bool operator==(const TRegValue&) const = default;
};

// Builders for the value kinds the program writes and its tests set up.
TRegValue RegText(const std::wstring& text, DWORD type = REG_SZ);  // with its terminating zero
TRegValue RegNumber(int32_t number);                               // REG_DWORD
TRegValue RegBytes(const std::vector<uint8_t>& bytes, DWORD type = REG_BINARY);
TRegValue RegTextList(const std::vector<std::wstring>& entries);  // REG_MULTI_SZ

// One open key of a backend. Names are single key or value names ("" is the default value).
// Every call reports failure by its result; nothing here throws.
class TRegistryKey {
public:
    virtual ~TRegistryKey() = default;
    virtual std::optional<TRegValue> QueryValue(const std::wstring& name) = 0;  // absent -> nullopt
    virtual bool ValueExists(const std::wstring& name) = 0;
    virtual bool SetValue(const std::wstring& name, const TRegValue& value) = 0;
    virtual bool DeleteValue(const std::wstring& name) = 0;
    // Whether the subkey exists (it need not grant full access).
    virtual bool SubkeyExists(const std::wstring& name) = 0;
    virtual bool CreateSubkey(const std::wstring& name) = 0;
    virtual bool DeleteSubkeyTree(const std::wstring& name) = 0;  // the subkey and all beneath it
    virtual bool HasAnySubkey() = 0;
    virtual std::vector<std::wstring> SubkeyNames() = 0;  // enumeration order
    virtual std::vector<std::wstring> ValueNames() = 0;   // enumeration order
};

// A key that hands every call to another: a wrapper derives from it and overrides what it watches.
class TForwardingRegistryKey : public TRegistryKey {
public:
    explicit TForwardingRegistryKey(std::unique_ptr<TRegistryKey> inner) : FInner(std::move(inner)) {}

    std::optional<TRegValue> QueryValue(const std::wstring& name) override { return FInner->QueryValue(name); }
    bool ValueExists(const std::wstring& name) override { return FInner->ValueExists(name); }
    bool SetValue(const std::wstring& name, const TRegValue& value) override { return FInner->SetValue(name, value); }
    bool DeleteValue(const std::wstring& name) override { return FInner->DeleteValue(name); }
    bool SubkeyExists(const std::wstring& name) override { return FInner->SubkeyExists(name); }
    bool CreateSubkey(const std::wstring& name) override { return FInner->CreateSubkey(name); }
    bool DeleteSubkeyTree(const std::wstring& name) override { return FInner->DeleteSubkeyTree(name); }
    bool HasAnySubkey() override { return FInner->HasAnySubkey(); }
    std::vector<std::wstring> SubkeyNames() override { return FInner->SubkeyNames(); }
    std::vector<std::wstring> ValueNames() override { return FInner->ValueNames(); }

private:
    std::unique_ptr<TRegistryKey> FInner;
};

// What a store needs of a registry: open a key by root, view and path for full access.
class TRegistryBackend {
public:
    virtual ~TRegistryBackend() = default;
    // path is relative to the root, "\"-separated, without leading or trailing "\"; "" is the root.
    // With create, missing keys on the way are made. nullptr when absent or refused.
    virtual std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root,
                                                  TRegView view,
                                                  const std::wstring& path,
                                                  bool create) = 0;
    // Tells the shell that file associations or desktop icons changed in this registry (the real
    // backend sends SHCNE_ASSOCCHANGED; a substitute only counts).
    virtual void NotifyAssociationsChanged() {}
};

// The real registry (advapi32). One process-wide instance; it keeps no state.
TRegistryBackend& WindowsRegistryBackend();

// An in-memory registry: keys and values match case-insensitively (ordinal, upper-cased, as
// Windows does), subkeys enumerate sorted that way and values in the order they were first
// written, as on Windows (Wine sorts values too, and sorts "_" before letters: code must not rely
// on either order). HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes (Wine does not merge
// in the user's classes either), HKEY_USERS is a tree of its own, and the 32-bit view of
// HKLM\Software and HKCR lies under "Wow6432Node", as on 64-bit Windows.
class TMemoryRegistryBackend : public TRegistryBackend {
public:
    TMemoryRegistryBackend();
    ~TMemoryRegistryBackend() override;
    TMemoryRegistryBackend(const TMemoryRegistryBackend&) = delete;
    TMemoryRegistryBackend& operator=(const TMemoryRegistryBackend&) = delete;

    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root, TRegView view, const std::wstring& path, bool create) override;

    // Makes the key (which must exist) refuse full access, as a key that grants reading only does:
    // it still shows in enumerations and SubkeyExists, but OpenKey fails for it, no subkey can be
    // made in it and it cannot be deleted. Its subkeys keep their own access.
    void Refuse(TRegRoot root, const std::wstring& path, bool refused = true);
    // Makes every later write (SetValue, DeleteValue, key creation and deletion) fail.
    void FailWrites(bool fail) { FFailWrites = fail; }
    void NotifyAssociationsChanged() override { ++FAssociationNotifications; }
    int AssociationNotifications() const { return FAssociationNotifications; }

    struct TNode;  // the tree, defined in the .cpp

private:
    friend class TMemoryRegistryKey;
    std::shared_ptr<TNode> Find(TRegRoot root, TRegView view, const std::wstring& path, bool create);
    std::shared_ptr<TNode> FMachine, FUser, FUsers;
    bool FFailWrites = false;
    int FAssociationNotifications = 0;
};

// One store per operation, bound to one root and view, holding at most one open key. Before any
// Open (and after Close) the store works on the root itself; a failed Open leaves no key open, so a
// store whose Open failed reads nothing and writes nothing (writes raise "Failed to set data").
class TRegistryStore {
public:
    explicit TRegistryStore(TRegistryBackend& backend,
                            TRegRoot root = TRegRoot::CurrentUser,
                            TRegView view = TRegView::Native);
    ~TRegistryStore();
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    bool Open(const std::wstring& path, bool create);  // "" opens the root
    void Close();
    bool IsOpen() const { return FKey != nullptr; }
    const std::wstring& CurrentPath() const { return FPath; }
    TRegRoot Root() const { return FRoot; }

    bool HasValue(const std::wstring& name);
    bool HasSubkey(const std::wstring& name);
    bool HasAnySubkey();
    // REG_SZ or REG_EXPAND_SZ (not expanded), up to the first zero; "" when absent.
    // TError "Invalid data type for '%s'" on any other type.
    std::wstring ReadText(const std::wstring& name);
    // REG_DWORD. TError "Failed to get data for '%s'" when absent, "Invalid data type" on another type.
    int32_t ReadNumber(const std::wstring& name);
    // REG_BINARY or REG_NONE, at most maxSize bytes: longer data raises "Failed to get data for '%s'",
    // an absent value too; another type raises "Invalid data type for '%s'".
    std::vector<uint8_t> ReadBytes(const std::wstring& name, size_t maxSize = 260);
    // REG_SZ / REG_DWORD, created or overwritten; TError "Failed to set data for '%s'" on failure.
    void WriteText(const std::wstring& name, const std::wstring& value);
    void WriteNumber(const std::wstring& name, int32_t value);
    bool RemoveValue(const std::wstring& name);
    bool RemoveKey(const std::wstring& name);  // the subkey with everything beneath it
    void AddSubkey(const std::wstring& name);  // TError "Failed to create key %s" on failure
    std::vector<std::wstring> ListSubkeys();
    std::vector<std::wstring> ListValueNames();
    // A REG_MULTI_SZ under root\path (this store's view; the open key is not touched), split at zero
    // characters up to the first empty entry or the data's end; empty when the key or value is
    // absent; "Invalid data type for '%s'" on another type.
    std::vector<std::wstring> ReadTextList(TRegRoot root, const std::wstring& path, const std::wstring& name);
    // Writes an empty REG_MULTI_SZ under root\path if that key opens (it is not created).
    void ClearTextList(TRegRoot root, const std::wstring& path, const std::wstring& name);
    // Raw access for exports and restores (any type): absent -> std::nullopt.
    std::optional<TRegValue> ReadValue(const std::wstring& name);
    void WriteValue(const std::wstring& name, const TRegValue& value);  // "Failed to set data" on failure

private:
    TRegistryKey* Current();  // the open key, the root before any Open, nullptr after a failed one

    TRegistryBackend& FBackend;  // not owned
    TRegRoot FRoot;
    TRegView FView;
    std::unique_ptr<TRegistryKey> FKey;
    std::unique_ptr<TRegistryKey> FRootKey;  // opened on first use when no key is open
    std::wstring FPath;
    bool FOpenFailed = false;
};

// "a\\b\\" -> "a\b": the form backends take (no leading, trailing or doubled separators).
std::wstring NormalizeRegPath(const std::wstring& path);
// Joins two registry paths with one "\".
std::wstring JoinRegPath(const std::wstring& a, const std::wstring& b);
// "\\a\\b\\" -> {"a", "b"}: the key names of a path, empty parts left out.
std::vector<std::wstring> SplitRegPath(const std::wstring& path);

}  // namespace sk
