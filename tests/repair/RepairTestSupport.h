// Helpers of the repair tests: error capture and scratch keys in the real registry.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/Errors.h"
#include "repair/RegistryStore.h"

namespace sktest {

// The message of the TError that fn raises, or "(no error)".
template <typename Fn>
std::wstring ErrorOf(Fn&& fn) {
    try {
        fn();
    } catch (const sk::TError& e) {
        return e.Message();
    }
    return L"(no error)";
}

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

}  // namespace sktest
