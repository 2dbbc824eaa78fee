#include "registry/RegistryTree.h"

#include <algorithm>
#include <cstring>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/StringTable.h"

namespace sk {

namespace {

TRegKeyPlace Child(const TRegKeyPlace& key, const std::wstring& name) {
    return {key.Root, key.View, JoinRegPath(key.Path, name)};
}

// Splits "a\b\c" into "a\b" and "c"; a one-part path has the root ("") as its parent.
std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return {L"", path};
    return {path.substr(0, cut), path.substr(cut + 1)};
}

[[noreturn]] void RaiseUnreadable(const TRegKeyPlace& key) {
    throw TError(Fmt(IDS_RESTORE_KeyUnreadable, DescribeRegKey(key)));
}

void ReadInto(TRegistryBackend& backend, const TRegKeyPlace& place, TRegistryKey& key, TRegTree& tree) {
    for (const auto& name : key.ValueNames())
        if (auto value = key.QueryValue(name)) tree.Values.emplace_back(name, std::move(*value));
    for (const auto& name : key.SubkeyNames()) {
        const TRegKeyPlace child = Child(place, name);
        const auto sub = backend.OpenKey(child.Root, child.View, child.Path, false);
        if (!sub) RaiseUnreadable(child);
        TRegTree::TSubkey entry{name, {}};
        ReadInto(backend, child, *sub, entry.Tree);
        tree.Subkeys.push_back(std::move(entry));
    }
}

const TRegValue* FindValue(const TRegTree& tree, const std::wstring& name) {
    for (const auto& [n, v] : tree.Values)
        if (RegNamesEqual(n, name)) return &v;
    return nullptr;
}

const TRegTree* FindSubkey(const TRegTree& tree, const std::wstring& name) {
    for (const auto& sub : tree.Subkeys)
        if (RegNamesEqual(sub.Name, name)) return &sub.Tree;
    return nullptr;
}

std::wstring TextUpToZero(const std::vector<uint8_t>& data, size_t from, size_t* end) {
    std::wstring text;
    size_t i = from;
    for (; i + 1 < data.size(); i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == L'\0') break;
        text += c;
    }
    if (end) *end = i + 2;
    return text;
}

std::wstring Shortened(std::wstring text) {
    constexpr size_t kMax = 200;
    if (text.size() > kMax) text = text.substr(0, kMax) + L"\x2026";
    return text;
}

std::wstring ViewSuffix(TRegView view) {
    switch (view) {
        case TRegView::Wow32:
            return L" (" + IDS_RESTORE_View32 + L")";
        case TRegView::Wow64:
            return L" (" + IDS_RESTORE_View64 + L")";
        case TRegView::Native:
            break;
    }
    return L"";
}

}  // namespace

bool RegNamesEqual(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool SameRegTree(const TRegTree& a, const TRegTree& b) {
    if (a.Values.size() != b.Values.size() || a.Subkeys.size() != b.Subkeys.size()) return false;
    for (const auto& [name, value] : a.Values) {
        const TRegValue* other = FindValue(b, name);
        if (!other || !(*other == value)) return false;
    }
    for (const auto& sub : a.Subkeys) {
        const TRegTree* other = FindSubkey(b, sub.Name);
        if (!other || !SameRegTree(sub.Tree, *other)) return false;
    }
    return true;
}

bool RegKeyExists(TRegistryBackend& backend, const TRegKeyPlace& key) {
    if (backend.OpenKey(key.Root, key.View, key.Path, false)) return true;
    if (key.Path.empty()) return false;
    // It may be there without granting full access: ask its parent, by full path from the root
    // so that the view applies.
    const auto [parentPath, name] = SplitLast(key.Path);
    if (const auto parent = backend.OpenKey(key.Root, key.View, parentPath, false)) return parent->SubkeyExists(name);
    const auto root = backend.OpenKey(key.Root, key.View, L"", false);
    return root && root->SubkeyExists(key.Path);
}

std::optional<TRegTree> ReadRegTree(TRegistryBackend& backend, const TRegKeyPlace& key) {
    const auto opened = backend.OpenKey(key.Root, key.View, key.Path, false);
    if (!opened) {
        if (RegKeyExists(backend, key)) RaiseUnreadable(key);
        return std::nullopt;
    }
    TRegTree tree;
    ReadInto(backend, key, *opened, tree);
    return tree;
}

bool WriteRegTree(TRegistryBackend& backend, const TRegKeyPlace& key, const TRegTree& tree) {
    const auto opened = backend.OpenKey(key.Root, key.View, key.Path, true);
    if (!opened) return false;
    bool ok = true;
    for (const auto& name : opened->ValueNames())
        if (!FindValue(tree, name)) ok = opened->DeleteValue(name) && ok;
    for (const auto& [name, value] : tree.Values) {
        const auto present = opened->QueryValue(name);
        if (!present || !(*present == value)) ok = opened->SetValue(name, value) && ok;
    }
    for (const auto& name : opened->SubkeyNames())
        if (!FindSubkey(tree, name)) ok = opened->DeleteSubkeyTree(name) && ok;
    for (const auto& sub : tree.Subkeys) ok = WriteRegTree(backend, Child(key, sub.Name), sub.Tree) && ok;
    return ok;
}

bool RemoveRegKey(TRegistryBackend& backend, const TRegKeyPlace& key) {
    if (key.Path.empty()) return false;  // a root is never removed
    const auto [parentPath, name] = SplitLast(key.Path);
    if (const auto parent = backend.OpenKey(key.Root, key.View, parentPath, false))
        if (parent->DeleteSubkeyTree(name)) return true;
    return !RegKeyExists(backend, key);
}

std::wstring RegRootName(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot:
            return L"HKCR";
        case TRegRoot::CurrentUser:
            return L"HKCU";
        case TRegRoot::LocalMachine:
            return L"HKLM";
        case TRegRoot::Users:
            return L"HKU";
    }
    return L"HKCU";
}

std::wstring DescribeRegKey(const TRegKeyPlace& key) {
    std::wstring text = RegRootName(key.Root);
    if (!key.Path.empty()) text += L"\\" + key.Path;
    return text + ViewSuffix(key.View);
}

std::wstring DescribeRegValue(const TRegKeyPlace& key, const std::wstring& name) {
    std::wstring text = RegRootName(key.Root);
    if (!key.Path.empty()) text += L"\\" + key.Path;
    text += L" [" + (name.empty() ? IDS_RESTORE_DefaultValue : name) + L"]";
    return text + ViewSuffix(key.View);
}

std::wstring RegTypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return L"REG_NONE";
        case REG_SZ:
            return L"REG_SZ";
        case REG_EXPAND_SZ:
            return L"REG_EXPAND_SZ";
        case REG_BINARY:
            return L"REG_BINARY";
        case REG_DWORD:
            return L"REG_DWORD";
        case REG_DWORD_BIG_ENDIAN:
            return L"REG_DWORD_BIG_ENDIAN";
        case REG_LINK:
            return L"REG_LINK";
        case REG_MULTI_SZ:
            return L"REG_MULTI_SZ";
        case REG_RESOURCE_LIST:
            return L"REG_RESOURCE_LIST";
        case REG_FULL_RESOURCE_DESCRIPTOR:
            return L"REG_FULL_RESOURCE_DESCRIPTOR";
        case REG_RESOURCE_REQUIREMENTS_LIST:
            return L"REG_RESOURCE_REQUIREMENTS_LIST";
        case REG_QWORD:
            return L"REG_QWORD";
    }
    wchar_t buf[16];
    swprintf(buf, 16, L"REG_0x%X", static_cast<unsigned>(type));
    return buf;
}

std::wstring DescribeRegData(const TRegValue& value) {
    const std::wstring type = RegTypeName(value.Type);
    const auto& data = value.Data;
    wchar_t buf[64];
    switch (value.Type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return type + L" \"" + Shortened(TextUpToZero(data, 0, nullptr)) + L"\"";
        case REG_MULTI_SZ: {
            std::wstring text;
            size_t at = 0;
            while (at + 1 < data.size()) {
                size_t end = 0;
                const std::wstring entry = TextUpToZero(data, at, &end);
                if (entry.empty()) break;
                if (!text.empty()) text += L", ";
                text += L"\"" + entry + L"\"";
                at = end;
            }
            return type + (text.empty() ? L"" : L" " + Shortened(text));
        }
        case REG_DWORD:
            if (data.size() == 4) {
                uint32_t n;
                memcpy(&n, data.data(), 4);
                swprintf(buf, 64, L" %u (0x%08X)", n, n);
                return type + buf;
            }
            break;
        case REG_QWORD:
            if (data.size() == 8) {
                unsigned long long n;
                memcpy(&n, data.data(), 8);
                swprintf(buf, 64, L" %llu (0x%016llX)", n, n);
                return type + buf;
            }
            break;
        default:
            break;
    }
    std::wstring text = type;
    constexpr size_t kShown = 64;
    for (size_t i = 0; i < data.size() && i < kShown; ++i) {
        swprintf(buf, 64, L" %02X", data[i]);
        text += buf;
    }
    if (data.size() > kShown) text += Fmt(L" \x2026 (%d)", static_cast<long long>(data.size()));
    return text;
}

}  // namespace sk
