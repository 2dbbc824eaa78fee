// The in-memory registry. It mirrors what the contract tests measure on the real registry: names
// match case-insensitively, subkeys enumerate in sorted order, values keep their type and bytes as
// written, and a key deleted under an open handle makes that handle fail rather than dangle.
#include <algorithm>

#include "registry/RegistryStore.h"

namespace sk {

struct TMemoryRegistryBackend::TNode {
    std::wstring Name;
    std::vector<std::shared_ptr<TNode>> Subkeys;  // sorted by CompareRegNames
    std::vector<std::pair<std::wstring, TRegValue>> Values;
    bool Refused = false;
    bool Deleted = false;
};

namespace {

using TNode = TMemoryRegistryBackend::TNode;

// The registry's order: ordinal, ignoring case by upper-casing.
int CompareRegNames(const std::wstring& a, const std::wstring& b) {
    const int r =
        ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
    return r - CSTR_EQUAL;
}

bool SameRegName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && CompareRegNames(a, b) == 0;
}

std::shared_ptr<TNode> ChildOf(const TNode& node, const std::wstring& name) {
    auto it = std::lower_bound(
        node.Subkeys.begin(), node.Subkeys.end(), name,
        [](const std::shared_ptr<TNode>& n, const std::wstring& key) { return CompareRegNames(n->Name, key) < 0; });
    if (it != node.Subkeys.end() && CompareRegNames((*it)->Name, name) == 0) return *it;
    return nullptr;
}

std::shared_ptr<TNode> AddChild(TNode& node, const std::wstring& name) {
    auto child = std::make_shared<TNode>();
    child->Name = name;
    auto it = std::lower_bound(
        node.Subkeys.begin(), node.Subkeys.end(), name,
        [](const std::shared_ptr<TNode>& n, const std::wstring& key) { return CompareRegNames(n->Name, key) < 0; });
    node.Subkeys.insert(it, child);
    return child;
}

// Walks parts from node; with create, makes what is missing (a refused key takes no new subkeys).
std::shared_ptr<TNode> Walk(std::shared_ptr<TNode> node, const std::vector<std::wstring>& parts, bool create) {
    for (const auto& part : parts) {
        if (!node || node->Deleted) return nullptr;
        auto child = ChildOf(*node, part);
        if (!child) {
            if (!create || node->Refused) return nullptr;
            child = AddChild(*node, part);
        }
        node = std::move(child);
    }
    return node;
}

bool AnyRefused(const TNode& node) {
    if (node.Refused) return true;
    return std::any_of(node.Subkeys.begin(), node.Subkeys.end(),
                       [](const std::shared_ptr<TNode>& n) { return AnyRefused(*n); });
}

void MarkDeleted(TNode& node) {
    node.Deleted = true;
    for (auto& sub : node.Subkeys) MarkDeleted(*sub);
}

}  // namespace

class TMemoryRegistryKey : public TRegistryKey {
public:
    TMemoryRegistryKey(TMemoryRegistryBackend& backend, std::shared_ptr<TNode> node)
        : FBackend(backend), FNode(std::move(node)) {}

    std::optional<TRegValue> QueryValue(const std::wstring& name) override {
        if (FNode->Deleted) return std::nullopt;
        for (const auto& [n, v] : FNode->Values)
            if (SameRegName(n, name)) return v;
        return std::nullopt;
    }

    bool ValueExists(const std::wstring& name) override { return QueryValue(name).has_value(); }

    bool SetValue(const std::wstring& name, const TRegValue& value) override {
        if (!Writable()) return false;
        for (auto& [n, v] : FNode->Values) {
            if (SameRegName(n, name)) {
                v = value;
                return true;
            }
        }
        FNode->Values.emplace_back(name, value);
        return true;
    }

    bool DeleteValue(const std::wstring& name) override {
        if (!Writable()) return false;
        auto& values = FNode->Values;
        auto it = std::find_if(values.begin(), values.end(), [&](const auto& p) { return SameRegName(p.first, name); });
        if (it == values.end()) return false;
        values.erase(it);
        return true;
    }

    bool SubkeyExists(const std::wstring& name) override {
        if (FNode->Deleted) return false;
        return Walk(FNode, SplitRegPath(name), false) != nullptr;
    }

    bool CreateSubkey(const std::wstring& name) override {
        if (!Writable()) return false;
        const auto parts = SplitRegPath(name);
        if (parts.empty()) return false;
        auto node = Walk(FNode, parts, true);
        return node && !node->Refused;
    }

    bool DeleteSubkeyTree(const std::wstring& name) override {
        if (!Writable()) return false;
        auto parts = SplitRegPath(name);
        if (parts.empty()) return false;
        const std::wstring last = parts.back();
        parts.pop_back();
        auto parent = Walk(FNode, parts, false);
        if (!parent) return false;
        auto target = ChildOf(*parent, last);
        if (!target || AnyRefused(*target)) return false;
        MarkDeleted(*target);
        auto& subs = parent->Subkeys;
        subs.erase(std::find(subs.begin(), subs.end(), target));
        return true;
    }

    bool HasAnySubkey() override { return !FNode->Deleted && !FNode->Subkeys.empty(); }

    std::vector<std::wstring> SubkeyNames() override {
        std::vector<std::wstring> names;
        if (FNode->Deleted) return names;
        for (const auto& sub : FNode->Subkeys) names.push_back(sub->Name);
        return names;
    }

    std::vector<std::wstring> ValueNames() override {
        std::vector<std::wstring> names;
        if (FNode->Deleted) return names;
        for (const auto& value : FNode->Values) names.push_back(value.first);
        return names;
    }

private:
    bool Writable() const { return !FNode->Deleted && !FBackend.FFailWrites; }

    TMemoryRegistryBackend& FBackend;  // not owned; outlives its keys
    std::shared_ptr<TNode> FNode;
};

TMemoryRegistryBackend::TMemoryRegistryBackend()
    : FMachine(std::make_shared<TNode>()), FUser(std::make_shared<TNode>()), FUsers(std::make_shared<TNode>()) {}

TMemoryRegistryBackend::~TMemoryRegistryBackend() = default;

std::shared_ptr<TNode> TMemoryRegistryBackend::Find(TRegRoot root,
                                                    TRegView view,
                                                    const std::wstring& path,
                                                    bool create) {
    auto parts = SplitRegPath(path);
    std::shared_ptr<TNode> top;
    switch (root) {
        case TRegRoot::CurrentUser:
            top = FUser;
            break;
        case TRegRoot::Users:
            top = FUsers;
            break;
        case TRegRoot::LocalMachine:
            top = FMachine;
            // The 32-bit view of HKLM\Software (and of its Classes) lies in Wow6432Node.
            if (view == TRegView::Wow32 && !parts.empty() && SameRegName(parts[0], L"Software")) {
                const size_t at = parts.size() > 1 && SameRegName(parts[1], L"Classes") ? 2 : 1;
                parts.insert(parts.begin() + static_cast<ptrdiff_t>(at), L"Wow6432Node");
            }
            break;
        case TRegRoot::ClassesRoot: {
            top = FMachine;
            std::vector<std::wstring> prefix{L"Software", L"Classes"};
            if (view == TRegView::Wow32 && !parts.empty()) prefix.push_back(L"Wow6432Node");
            parts.insert(parts.begin(), prefix.begin(), prefix.end());
            // The root itself has to exist for a HKCR-rooted store to work at all.
            Walk(FMachine, {L"Software", L"Classes"}, true);
            break;
        }
    }
    if (create && FFailWrites) {
        auto existing = Walk(top, parts, false);
        return existing;
    }
    return Walk(top, parts, create);
}

std::unique_ptr<TRegistryKey> TMemoryRegistryBackend::OpenKey(TRegRoot root,
                                                              TRegView view,
                                                              const std::wstring& path,
                                                              bool create) {
    auto node = Find(root, view, path, create);
    // The predefined roots always open; any other key refuses full access when marked so.
    if (!node || (node->Refused && !SplitRegPath(path).empty())) return nullptr;
    return std::make_unique<TMemoryRegistryKey>(*this, std::move(node));
}

void TMemoryRegistryBackend::Refuse(TRegRoot root, const std::wstring& path, bool refused) {
    auto node = Find(root, TRegView::Native, path, false);
    if (node) node->Refused = refused;
}

}  // namespace sk
