// Helpers of the tests that use the registry: error capture, facts to apply and check, and
// scratch keys and snapshots in the real registry.
#pragma once

#include <doctest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "base/Errors.h"
#include "registry/RegistryStore.h"

namespace doctest {
template <>
struct StringMaker<std::vector<std::wstring>> {
    static String convert(const std::vector<std::wstring>& list) {
        std::string out = "[";
        for (const auto& s : list) {
            out += '"';
            out += sktest::Narrow(s);
            out += "\" ";
        }
        out += ']';
        return String(out.c_str());
    }
};
}  // namespace doctest

namespace sktest {

// Removes a key with everything beneath it from the real registry; true when it was there.
inline bool RemoveRealKey(sk::TRegRoot root, const std::wstring& path) {
    const std::wstring normal = sk::NormalizeRegPath(path);
    const size_t cut = normal.rfind(L'\\');
    sk::TRegistryStore store(sk::WindowsRegistryBackend(), root);
    if (!store.Open(cut == std::wstring::npos ? L"" : normal.substr(0, cut), false)) return false;
    return store.RemoveKey(cut == std::wstring::npos ? normal : normal.substr(cut + 1));
}

// Keys of the real registry that a test owns: gone before it starts and after it ends.
class TScratchKeys {
public:
    TScratchKeys(std::initializer_list<std::pair<sk::TRegRoot, std::wstring>> keys) : FKeys(keys) { RemoveAll(); }
    ~TScratchKeys() { RemoveAll(); }
    TScratchKeys(const TScratchKeys&) = delete;
    TScratchKeys& operator=(const TScratchKeys&) = delete;

private:
    void RemoveAll() {
        for (const auto& [root, path] : FKeys) RemoveRealKey(root, path);
    }
    std::vector<std::pair<sk::TRegRoot, std::wstring>> FKeys;
};

// One statement about the registry: a value (with type and bytes), an absent value, a key, an
// absent key. Fixtures are lists of them (what to write), and so are expectations (what to find).
struct TRegFact {
    enum TKind { Value, NoValue, Key, NoKey };
    TKind Kind;
    sk::TRegRoot Root;
    std::wstring Path;
    std::wstring Name;
    sk::TRegValue Data;
};

inline TRegFact Val(sk::TRegRoot root, std::wstring path, std::wstring name, sk::TRegValue data) {
    return {TRegFact::Value, root, std::move(path), std::move(name), std::move(data)};
}
inline TRegFact Text(sk::TRegRoot root, std::wstring path, std::wstring name, const std::wstring& text) {
    return Val(root, std::move(path), std::move(name), sk::RegText(text));
}
inline TRegFact Num(sk::TRegRoot root, std::wstring path, std::wstring name, int32_t number) {
    return Val(root, std::move(path), std::move(name), sk::RegNumber(number));
}
inline TRegFact NoVal(sk::TRegRoot root, std::wstring path, std::wstring name) {
    return {TRegFact::NoValue, root, std::move(path), std::move(name), {}};
}
inline TRegFact Key(sk::TRegRoot root, std::wstring path) { return {TRegFact::Key, root, std::move(path), {}, {}}; }
inline TRegFact NoKey(sk::TRegRoot root, std::wstring path) { return {TRegFact::NoKey, root, std::move(path), {}, {}}; }

// Makes the facts true: writes values (creating keys), removes values and keys.
inline void ApplyFacts(sk::TRegistryBackend& backend, const std::vector<TRegFact>& facts) {
    for (const auto& f : facts) {
        sk::TRegistryStore store(backend, f.Root);
        switch (f.Kind) {
            case TRegFact::Value:
                REQUIRE(store.Open(f.Path, true));
                store.WriteValue(f.Name, f.Data);
                break;
            case TRegFact::NoValue:
                if (store.Open(f.Path, false)) store.RemoveValue(f.Name);
                break;
            case TRegFact::Key:
                REQUIRE(store.Open(f.Path, true));
                break;
            case TRegFact::NoKey: {
                const std::wstring path = sk::NormalizeRegPath(f.Path);
                const size_t cut = path.rfind(L'\\');
                if (store.Open(cut == std::wstring::npos ? L"" : path.substr(0, cut), false))
                    store.RemoveKey(cut == std::wstring::npos ? path : path.substr(cut + 1));
                break;
            }
        }
    }
}

// Checks that every fact holds.
inline void CheckFacts(sk::TRegistryBackend& backend, const std::vector<TRegFact>& facts) {
    for (const auto& f : facts) {
        INFO("at " << Narrow(f.Path) << " : " << Narrow(f.Name));
        sk::TRegistryStore store(backend, f.Root);
        const bool opened = store.Open(f.Path, false);
        switch (f.Kind) {
            case TRegFact::Value: {
                REQUIRE(opened);
                const auto value = store.ReadValue(f.Name);
                REQUIRE(value.has_value());
                CHECK(value->Type == f.Data.Type);
                if (f.Data.Type == REG_SZ || f.Data.Type == REG_EXPAND_SZ) {
                    // Texts compare as texts, so a value written without its terminating zero still matches.
                    std::wstring expected(f.Data.Data.size() / sizeof(wchar_t), L'\0');
                    if (!expected.empty())
                        memcpy(expected.data(), f.Data.Data.data(), expected.size() * sizeof(wchar_t));
                    expected.resize(std::min(expected.size(), expected.find(L'\0')));
                    CHECK(store.ReadText(f.Name) == expected);
                } else {
                    CHECK(value->Data == f.Data.Data);
                }
                break;
            }
            case TRegFact::NoValue:
                CHECK_FALSE((opened && store.HasValue(f.Name)));
                break;
            case TRegFact::Key:
                CHECK(opened);
                break;
            case TRegFact::NoKey:
                CHECK_FALSE(opened);
                break;
        }
    }
}

// Every key and value below the given keys of the real registry, one line each, for comparing
// the registry before and after.
inline std::vector<std::wstring> DumpRealKeys(const std::vector<std::pair<sk::TRegRoot, std::wstring>>& keys) {
    std::vector<std::wstring> lines;
    struct TWalk {
        static void Run(sk::TRegRoot root, const std::wstring& path, std::vector<std::wstring>& out) {
            sk::TRegistryStore store(sk::WindowsRegistryBackend(), root);
            if (!store.Open(path, false)) return;
            const std::wstring prefix = std::to_wstring(static_cast<int>(root)) + L":" + path;
            out.push_back(prefix);
            for (const auto& name : store.ListValueNames()) {
                std::wstring line = prefix + L" [" + name + L"]";
                if (auto v = store.ReadValue(name)) {
                    line += L" " + std::to_wstring(v->Type) + L":";
                    for (uint8_t b : v->Data) line += L"0123456789ABCDEF"[b >> 4], line += L"0123456789ABCDEF"[b & 15];
                }
                out.push_back(line);
            }
            for (const auto& sub : store.ListSubkeys()) Run(root, sk::JoinRegPath(path, sub), out);
        }
    };
    for (const auto& [root, path] : keys) TWalk::Run(root, path, lines);
    return lines;
}

// A copy of whole keys of the real registry, put back as they were when it goes out of scope:
// everything below each key is removed and the copied values and subkeys written again.
class TRegistrySnapshot {
public:
    explicit TRegistrySnapshot(const std::vector<std::pair<sk::TRegRoot, std::wstring>>& keys) {
        for (const auto& [root, path] : keys) {
            TSaved saved{root, path, false, {}};
            sk::TRegistryStore store(sk::WindowsRegistryBackend(), root);
            if (store.Open(path, false)) {
                saved.Existed = true;
                Copy(store, root, path, saved.Values);
            }
            FSaved.push_back(std::move(saved));
        }
    }
    ~TRegistrySnapshot() {
        for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
            RemoveRealKey(it->Root, it->Path);
            if (!it->Existed) continue;
            sk::TRegistryStore store(sk::WindowsRegistryBackend(), it->Root);
            store.Open(it->Path, true);
            for (const auto& v : it->Values) {
                sk::TRegistryStore key(sk::WindowsRegistryBackend(), it->Root);
                if (key.Open(v.Path, true) && v.Name) key.WriteValue(*v.Name, v.Data);
            }
        }
    }
    TRegistrySnapshot(const TRegistrySnapshot&) = delete;
    TRegistrySnapshot& operator=(const TRegistrySnapshot&) = delete;

private:
    struct TSavedValue {
        std::wstring Path;
        std::optional<std::wstring> Name;  // none: the key alone
        sk::TRegValue Data;
    };
    struct TSaved {
        sk::TRegRoot Root;
        std::wstring Path;
        bool Existed;
        std::vector<TSavedValue> Values;
    };
    static void Copy(sk::TRegistryStore& store,
                     sk::TRegRoot root,
                     const std::wstring& path,
                     std::vector<TSavedValue>& out) {
        out.push_back({path, std::nullopt, {}});
        for (const auto& name : store.ListValueNames())
            if (auto v = store.ReadValue(name)) out.push_back({path, name, *v});
        for (const auto& sub : store.ListSubkeys()) {
            const std::wstring subPath = sk::JoinRegPath(path, sub);
            sk::TRegistryStore child(sk::WindowsRegistryBackend(), root);
            if (child.Open(subPath, false)) Copy(child, root, subPath, out);
        }
    }
    std::vector<TSaved> FSaved;
};

}  // namespace sktest
