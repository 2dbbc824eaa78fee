#include "registry/RegistryStore.h"

#include "base/Errors.h"
#include "base/Format.h"

#include <cstring>

namespace sk {

TRegValue RegText(const std::wstring& text, DWORD type) {
    TRegValue v;
    v.Type = type;
    v.Data.resize((text.size() + 1) * sizeof(wchar_t));
    memcpy(v.Data.data(), text.c_str(), v.Data.size());
    return v;
}

TRegValue RegNumber(int32_t number) {
    TRegValue v;
    v.Type = REG_DWORD;
    v.Data.resize(sizeof(number));
    memcpy(v.Data.data(), &number, sizeof(number));
    return v;
}

TRegValue RegBytes(const std::vector<uint8_t>& bytes, DWORD type) {
    TRegValue v;
    v.Type = type;
    v.Data = bytes;
    return v;
}

TRegValue RegTextList(const std::vector<std::wstring>& entries) {
    std::wstring joined;
    for (const auto& e : entries) {
        joined += e;
        joined += L'\0';
    }
    // The list ends in an empty entry; an empty list is that terminator alone.
    TRegValue v;
    v.Type = REG_MULTI_SZ;
    v.Data.resize((joined.size() + 1) * sizeof(wchar_t));
    memcpy(v.Data.data(), joined.c_str(), v.Data.size());
    return v;
}

std::wstring NormalizeRegPath(const std::wstring& path) {
    std::wstring out;
    out.reserve(path.size());
    for (wchar_t c : path) {
        if (c == L'\\' && (out.empty() || out.back() == L'\\')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == L'\\') out.pop_back();
    return out;
}

std::wstring JoinRegPath(const std::wstring& a, const std::wstring& b) {
    if (a.empty()) return NormalizeRegPath(b);
    if (b.empty()) return NormalizeRegPath(a);
    return NormalizeRegPath(a + L'\\' + b);
}

std::vector<std::wstring> SplitRegPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

namespace {

[[noreturn]] void RaiseInvalidType(const std::wstring& name) { throw TError(Fmt(L"Invalid data type for '%s'", name)); }
[[noreturn]] void RaiseGetFailed(const std::wstring& name) { throw TError(Fmt(L"Failed to get data for '%s'", name)); }
[[noreturn]] void RaiseSetFailed(const std::wstring& name) { throw TError(Fmt(L"Failed to set data for '%s'", name)); }

// Text of a string value: up to the first zero character, an odd trailing byte ignored.
std::wstring TextOf(const std::vector<uint8_t>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

TRegistryStore::TRegistryStore(TRegistryBackend& backend, TRegRoot root, TRegView view)
    : FBackend(backend), FRoot(root), FView(view) {}

TRegistryStore::~TRegistryStore() = default;

bool TRegistryStore::Open(const std::wstring& path, bool create) {
    Close();
    const std::wstring normal = NormalizeRegPath(path);
    FKey = FBackend.OpenKey(FRoot, FView, normal, create);
    if (!FKey) {
        FOpenFailed = true;
        return false;
    }
    FPath = normal;
    return true;
}

void TRegistryStore::Close() {
    FKey.reset();
    FPath.clear();
    FOpenFailed = false;
}

TRegistryKey* TRegistryStore::Current() {
    if (FKey) return FKey.get();
    if (FOpenFailed) return nullptr;
    if (!FRootKey) FRootKey = FBackend.OpenKey(FRoot, FView, L"", false);
    return FRootKey.get();
}

bool TRegistryStore::HasValue(const std::wstring& name) {
    TRegistryKey* key = Current();
    return key && key->ValueExists(name);
}

bool TRegistryStore::HasSubkey(const std::wstring& name) {
    TRegistryKey* key = Current();
    const std::wstring normal = NormalizeRegPath(name);
    return key && !normal.empty() && key->SubkeyExists(normal);
}

bool TRegistryStore::HasAnySubkey() {
    TRegistryKey* key = Current();
    return key && key->HasAnySubkey();
}

std::optional<TRegValue> TRegistryStore::ReadValue(const std::wstring& name) {
    TRegistryKey* key = Current();
    if (!key) return std::nullopt;
    return key->QueryValue(name);
}

std::wstring TRegistryStore::ReadText(const std::wstring& name) {
    const auto value = ReadValue(name);
    if (!value) return {};
    if (!IsText(value->Type)) RaiseInvalidType(name);
    return TextOf(value->Data);
}

int32_t TRegistryStore::ReadNumber(const std::wstring& name) {
    const auto value = ReadValue(name);
    if (!value) RaiseGetFailed(name);
    if (value->Type != REG_DWORD) RaiseInvalidType(name);
    // A REG_DWORD of the wrong size is as unreadable as a wrong type.
    if (value->Data.size() != sizeof(int32_t)) RaiseGetFailed(name);
    int32_t number;
    memcpy(&number, value->Data.data(), sizeof(number));
    return number;
}

std::vector<uint8_t> TRegistryStore::ReadBytes(const std::wstring& name, size_t maxSize) {
    auto value = ReadValue(name);
    if (!value) RaiseGetFailed(name);
    if (value->Type != REG_BINARY && value->Type != REG_NONE) RaiseInvalidType(name);
    if (value->Data.size() > maxSize) RaiseGetFailed(name);
    return std::move(value->Data);
}

void TRegistryStore::WriteValue(const std::wstring& name, const TRegValue& value) {
    TRegistryKey* key = Current();
    if (!key || !key->SetValue(name, value)) RaiseSetFailed(name);
}

void TRegistryStore::WriteText(const std::wstring& name, const std::wstring& value) {
    WriteValue(name, RegText(value));
}

void TRegistryStore::WriteNumber(const std::wstring& name, int32_t value) { WriteValue(name, RegNumber(value)); }

bool TRegistryStore::RemoveValue(const std::wstring& name) {
    TRegistryKey* key = Current();
    return key && key->DeleteValue(name);
}

bool TRegistryStore::RemoveKey(const std::wstring& name) {
    TRegistryKey* key = Current();
    const std::wstring normal = NormalizeRegPath(name);
    // An empty name would be the open key itself; the store never deletes what it stands on.
    return key && !normal.empty() && key->DeleteSubkeyTree(normal);
}

void TRegistryStore::AddSubkey(const std::wstring& name) {
    TRegistryKey* key = Current();
    const std::wstring normal = NormalizeRegPath(name);
    if (!key || normal.empty() || !key->CreateSubkey(normal)) throw TError(Fmt(L"Failed to create key %s", name));
}

std::vector<std::wstring> TRegistryStore::ListSubkeys() {
    TRegistryKey* key = Current();
    return key ? key->SubkeyNames() : std::vector<std::wstring>{};
}

std::vector<std::wstring> TRegistryStore::ListValueNames() {
    TRegistryKey* key = Current();
    return key ? key->ValueNames() : std::vector<std::wstring>{};
}

std::vector<std::wstring> TRegistryStore::ReadTextList(TRegRoot root,
                                                       const std::wstring& path,
                                                       const std::wstring& name) {
    std::vector<std::wstring> entries;
    const auto key = FBackend.OpenKey(root, FView, NormalizeRegPath(path), false);
    if (!key) return entries;
    const auto value = key->QueryValue(name);
    if (!value) return entries;
    if (value->Type != REG_MULTI_SZ) RaiseInvalidType(name);
    std::wstring all(value->Data.size() / sizeof(wchar_t), L'\0');
    if (!all.empty()) memcpy(all.data(), value->Data.data(), all.size() * sizeof(wchar_t));
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find(L'\0', pos);
        if (end == std::wstring::npos) end = all.size();
        if (end == pos) break;  // the empty entry that ends the list
        entries.push_back(all.substr(pos, end - pos));
        pos = end + 1;
    }
    return entries;
}

void TRegistryStore::ClearTextList(TRegRoot root, const std::wstring& path, const std::wstring& name) {
    const auto key = FBackend.OpenKey(root, FView, NormalizeRegPath(path), false);
    if (!key) return;
    if (!key->SetValue(name, RegTextList({}))) RaiseSetFailed(name);
}

}  // namespace sk
