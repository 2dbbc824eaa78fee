// Whole keys of a registry as values: read a key with everything beneath it, compare two such
// copies, and make a key hold exactly a copy again. Restore points keep removed keys this way.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace sk {

// Where a key lies: root, view and path ("" is the root itself).
struct TRegKeyPlace {
    TRegRoot Root = TRegRoot::CurrentUser;
    TRegView View = TRegView::Native;
    std::wstring Path;
};

// A key's values (type and bytes) and subkeys, each list in the registry's enumeration order.
struct TRegTree {
    struct TSubkey;
    std::vector<std::pair<std::wstring, TRegValue>> Values;
    std::vector<TSubkey> Subkeys;
};
struct TRegTree::TSubkey {
    std::wstring Name;
    TRegTree Tree;
};

// The same names (ignoring case, as the registry does) holding the same types and bytes, in any
// order: two copies of one key compare equal whatever order a backend enumerates in.
bool SameRegTree(const TRegTree& a, const TRegTree& b);

// The key with everything beneath it; std::nullopt when the key does not exist. Raises TError
// "Could not read %s" when the key or one beneath it exists but does not open (a copy missing a
// part would put back less than was there).
std::optional<TRegTree> ReadRegTree(TRegistryBackend& backend, const TRegKeyPlace& key);

// Makes the key hold exactly tree: missing keys are made, values that differ are written with
// their type and bytes, values and subkeys that the tree lacks are removed; what already matches
// is left alone. Returns false when some part could not be written (the rest is still done).
bool WriteRegTree(TRegistryBackend& backend, const TRegKeyPlace& key, const TRegTree& tree);

// Removes the key with everything beneath it; true when it is gone afterwards (or was not there).
bool RemoveRegKey(TRegistryBackend& backend, const TRegKeyPlace& key);

// Whether the key exists (it need not open for full access).
bool RegKeyExists(TRegistryBackend& backend, const TRegKeyPlace& key);

// "HKCU\Software\...": the root's short name and the path, with " (32-bit)" / " (64-bit)" for an
// explicit view. With a value name: "... [name]" ("(Default)" for the default value).
std::wstring RegRootName(TRegRoot root);
std::wstring DescribeRegKey(const TRegKeyPlace& key);
std::wstring DescribeRegValue(const TRegKeyPlace& key, const std::wstring& name);
// A value for people: "REG_SZ "text"", "REG_DWORD 1 (0x00000001)", "REG_BINARY 01 02 ...".
std::wstring DescribeRegData(const TRegValue& value);
std::wstring RegTypeName(DWORD type);  // "REG_SZ", ..., or "REG_0x1234" for an unknown type

// Whether two key or value names are the same for the registry: ordinal, ignoring case.
bool RegNamesEqual(const std::wstring& a, const std::wstring& b);

}  // namespace sk
