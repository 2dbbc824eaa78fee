// The real registry through advapi32. Keys are opened for full access; a key that refuses it does
// not open, which callers treat as nothing there.
#include "registry/RegistryStore.h"

#include <shlobj.h>

#include "base/Handles.h"

namespace sk {

namespace {

HKEY RootHandle(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case TRegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case TRegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case TRegRoot::Users:
            return HKEY_USERS;
    }
    return HKEY_CURRENT_USER;
}

REGSAM ViewFlag(TRegView view) {
    switch (view) {
        case TRegView::Wow32:
            return KEY_WOW64_32KEY;
        case TRegView::Wow64:
            return KEY_WOW64_64KEY;
        case TRegView::Native:
            break;
    }
    return 0;
}

class TWindowsKey : public TRegistryKey {
public:
    // owned is empty for a predefined root, which is never closed.
    TWindowsKey(HKEY handle, TKey owned, REGSAM view) : FHandle(handle), FOwned(std::move(owned)), FView(view) {}

    std::optional<TRegValue> QueryValue(const std::wstring& name) override {
        TRegValue value;
        // Most values the program reads are short; one call usually does.
        value.Data.resize(512);
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD type = REG_NONE;
            DWORD size = static_cast<DWORD>(value.Data.size());
            const LONG r = ::RegQueryValueExW(FHandle, name.c_str(), nullptr, &type, value.Data.data(), &size);
            if (r == ERROR_MORE_DATA) {
                value.Data.resize(size > value.Data.size() ? size : value.Data.size() * 2);
                continue;
            }
            if (r != ERROR_SUCCESS) return std::nullopt;
            value.Type = type;
            value.Data.resize(size);
            return value;
        }
        return std::nullopt;  // a value that keeps growing while we read it
    }

    bool ValueExists(const std::wstring& name) override {
        return ::RegQueryValueExW(FHandle, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    bool SetValue(const std::wstring& name, const TRegValue& value) override {
        static const BYTE empty = 0;
        const BYTE* data = value.Data.empty() ? &empty : value.Data.data();
        return ::RegSetValueExW(FHandle, name.c_str(), 0, value.Type, data, static_cast<DWORD>(value.Data.size())) ==
               ERROR_SUCCESS;
    }

    bool DeleteValue(const std::wstring& name) override {
        return ::RegDeleteValueW(FHandle, name.c_str()) == ERROR_SUCCESS;
    }

    bool SubkeyExists(const std::wstring& name) override {
        TKey sub;
        return ::RegOpenKeyExW(FHandle, name.c_str(), 0, KEY_READ | FView, sub.Receive()) == ERROR_SUCCESS;
    }

    bool CreateSubkey(const std::wstring& name) override {
        TKey sub;
        return ::RegCreateKeyExW(FHandle, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | FView,
                                 nullptr, sub.Receive(), nullptr) == ERROR_SUCCESS;
    }

    bool DeleteSubkeyTree(const std::wstring& name) override {
        {
            TKey sub;
            if (::RegOpenKeyExW(FHandle, name.c_str(), 0, KEY_ALL_ACCESS | FView, sub.Receive()) != ERROR_SUCCESS)
                return false;
            // Everything beneath the key first; the key itself through its parent, in its view.
            if (::RegDeleteTreeW(sub.Get(), nullptr) != ERROR_SUCCESS) return false;
        }
        return ::RegDeleteKeyExW(FHandle, name.c_str(), FView, 0) == ERROR_SUCCESS;
    }

    bool HasAnySubkey() override {
        DWORD count = 0;
        if (::RegQueryInfoKeyW(FHandle, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        return count > 0;
    }

    std::vector<std::wstring> SubkeyNames() override {
        std::vector<std::wstring> names;
        std::wstring buffer(256, L'\0');  // key names are at most 255 characters
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(buffer.size());
            const LONG r = ::RegEnumKeyExW(FHandle, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_MORE_DATA) {
                buffer.resize(buffer.size() * 2);
                --index;
                continue;
            }
            if (r != ERROR_SUCCESS) break;
            names.emplace_back(buffer.data(), length);
        }
        return names;
    }

    std::vector<std::wstring> ValueNames() override {
        std::vector<std::wstring> names;
        DWORD maxName = 0;
        ::RegQueryInfoKeyW(FHandle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr,
                           nullptr, nullptr);
        std::wstring buffer(maxName + 2 > 256 ? maxName + 2 : 256, L'\0');
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(buffer.size());
            const LONG r = ::RegEnumValueW(FHandle, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_MORE_DATA && buffer.size() < 32768) {
                buffer.resize(buffer.size() * 2);
                --index;
                continue;
            }
            if (r != ERROR_SUCCESS) break;
            names.emplace_back(buffer.data(), length);
        }
        return names;
    }

private:
    HKEY FHandle;
    TKey FOwned;
    REGSAM FView;
};

class TWindowsRegistryBackend : public TRegistryBackend {
public:
    std::unique_ptr<TRegistryKey> OpenKey(TRegRoot root,
                                          TRegView view,
                                          const std::wstring& path,
                                          bool create) override {
        const HKEY rootKey = RootHandle(root);
        const REGSAM viewFlag = ViewFlag(view);
        if (path.empty()) return std::make_unique<TWindowsKey>(rootKey, TKey(), viewFlag);
        TKey key;
        LONG r;
        if (create) {
            r = ::RegCreateKeyExW(rootKey, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | viewFlag,
                                  nullptr, key.Receive(), nullptr);
        } else {
            r = ::RegOpenKeyExW(rootKey, path.c_str(), 0, KEY_ALL_ACCESS | viewFlag, key.Receive());
        }
        if (r != ERROR_SUCCESS) return nullptr;
        const HKEY handle = key.Get();
        return std::make_unique<TWindowsKey>(handle, std::move(key), viewFlag);
    }

    void NotifyAssociationsChanged() override { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }
};

}  // namespace

TRegistryBackend& WindowsRegistryBackend() {
    static TWindowsRegistryBackend backend;
    return backend;
}

}  // namespace sk
