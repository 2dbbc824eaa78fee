#include "plugins/RegBackup.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/Errors.h"
#include "base/Paths.h"

namespace sk {

namespace {

bool SameNameI(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// Whether name is prefix itself or lies beneath it (case ignored, as the registry does).
bool IsUnder(const std::wstring& name, const std::wstring& prefix) {
    if (prefix.empty() || name.size() < prefix.size()) return false;
    if (!SameNameI(name.substr(0, prefix.size()), prefix)) return false;
    return name.size() == prefix.size() || name[prefix.size()] == L'\\';
}

// regedit has no escape for a line break in a key or value name: such a name would end its line
// early, and whatever follows it would be read as lines of the file's own, other keys and values
// that a restore would write. An entry with such a name is left out of the backup.
bool HasLineBreak(const std::wstring& name) { return name.find_first_of(L"\r\n") != std::wstring::npos; }

const wchar_t* const kKeyLeftOut = L"; A key whose name holds a line break is not saved: regedit could not read it back.\r\n\r\n";
const wchar_t* const kValueLeftOut = L"; A value whose name holds a line break is not saved: regedit could not read it back.\r\n";

// A quoted name or text: backslashes and quotes escaped, as regedit reads them.
std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    out += L'"';
    return out;
}

// Text that survives a round trip through a quoted regedit string: one terminating zero, no inner
// zero, no line break (regedit has no escape for one).
bool IsPlainText(const std::vector<uint8_t>& data) {
    if (data.size() < sizeof(wchar_t) || data.size() % sizeof(wchar_t) != 0) return false;
    const size_t count = data.size() / sizeof(wchar_t);
    for (size_t i = 0; i < count; ++i) {
        const wchar_t c = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (c == L'\0') return i + 1 == count;
        if (c == L'\r' || c == L'\n') return false;
    }
    return false;
}

std::wstring TextOfPlain(const std::vector<uint8_t>& data) {
    std::wstring text(data.size() / sizeof(wchar_t) - 1, L'\0');
    if (!text.empty()) memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
}

std::wstring HexLine(std::wstring line, const std::vector<uint8_t>& data) {
    static const wchar_t digits[] = L"0123456789abcdef";
    size_t column = line.size();
    for (size_t i = 0; i < data.size(); ++i) {
        line += digits[data[i] >> 4];
        line += digits[data[i] & 0x0F];
        column += 2;
        if (i + 1 < data.size()) {
            line += L',';
            ++column;
            if (column > 76) {
                line += L"\\\r\n  ";
                column = 2;
            }
        }
    }
    return line + L"\r\n";
}

const wchar_t* RootName(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot: return L"HKEY_CLASSES_ROOT";
        case TRegRoot::CurrentUser: return L"HKEY_CURRENT_USER";
        case TRegRoot::LocalMachine: return L"HKEY_LOCAL_MACHINE";
        case TRegRoot::Users: return L"HKEY_USERS";
    }
    return L"HKEY_CURRENT_USER";
}

HKEY RootHandle(TRegRoot root) {
    switch (root) {
        case TRegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case TRegRoot::CurrentUser: return HKEY_CURRENT_USER;
        case TRegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case TRegRoot::Users: return HKEY_USERS;
    }
    return HKEY_CURRENT_USER;
}

REGSAM ViewFlag(TRegView view) {
    switch (view) {
        case TRegView::Wow32: return KEY_WOW64_32KEY;
        case TRegView::Wow64: return KEY_WOW64_64KEY;
        case TRegView::Native: break;
    }
    return 0;
}

}  // namespace

std::wstring LayoutRegKeyName(TRegRoot root, TRegView view, const std::wstring& path) {
    auto parts = SplitRegPath(path);
    if (view == TRegView::Wow32) {
        if (root == TRegRoot::LocalMachine && !parts.empty() && SameNameI(parts[0], L"Software")) {
            const size_t at = parts.size() > 1 && SameNameI(parts[1], L"Classes") ? 2 : 1;
            parts.insert(parts.begin() + static_cast<ptrdiff_t>(at), L"Wow6432Node");
        } else if (root == TRegRoot::ClassesRoot && !parts.empty()) {
            parts.insert(parts.begin(), L"Wow6432Node");
        }
    }
    std::wstring name = RootName(root);
    for (const auto& part : parts) name += L'\\' + part;
    return name;
}

namespace {

// The kernel's name of an open key ("\REGISTRY\MACHINE\SOFTWARE\..."), or "" when it cannot say.
std::wstring KernelKeyName(HKEY key) {
    using TNtQueryKey = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<TNtQueryKey>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    if (!query) return {};
    constexpr int kKeyNameInformation = 3;
    std::vector<uint8_t> buffer(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            ULONG length = 0;
            memcpy(&length, buffer.data(), sizeof(length));
            if (length > buffer.size() - sizeof(ULONG)) return {};
            std::wstring name(length / sizeof(wchar_t), L'\0');
            memcpy(name.data(), buffer.data() + sizeof(ULONG), name.size() * sizeof(wchar_t));
            return name;
        }
        if (needed <= buffer.size()) return {};
        buffer.resize(needed);
    }
    return {};
}

std::wstring KernelKeyName(HKEY root, const std::wstring& path, REGSAM view) {
    TKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) return {};
    return KernelKeyName(key.Get());
}

// "\REGISTRY\USER\<the user's SID>", found through a key every profile has.
const std::wstring& CurrentUserKernelName() {
    static const std::wstring name = [] {
        std::wstring software = KernelKeyName(HKEY_CURRENT_USER, L"Software", 0);
        const std::wstring tail = L"\\Software";
        if (software.size() <= tail.size() || !SameNameI(software.substr(software.size() - tail.size()), tail))
            return std::wstring();
        return software.substr(0, software.size() - tail.size());
    }();
    return name;
}

// The regedit name for a kernel key name, or "" for a hive we do not name.
std::wstring RegeditNameOf(const std::wstring& kernel) {
    struct TMap {
        std::wstring Prefix;
        const wchar_t* Name;
    };
    const std::wstring& user = CurrentUserKernelName();
    const TMap maps[] = {
        {user.empty() ? std::wstring() : user + L"_Classes", L"HKEY_CURRENT_USER\\Software\\Classes"},
        {user, L"HKEY_CURRENT_USER"},
        {L"\\REGISTRY\\USER", L"HKEY_USERS"},
        {L"\\REGISTRY\\MACHINE", L"HKEY_LOCAL_MACHINE"},
    };
    for (const auto& map : maps)
        if (IsUnder(kernel, map.Prefix)) return map.Name + kernel.substr(map.Prefix.size());
    return {};
}

}  // namespace

std::wstring RegFileValueLine(const std::wstring& name, const TRegValue& value) {
    if (HasLineBreak(name)) return kValueLeftOut;
    const std::wstring head = name.empty() ? std::wstring(L"@=") : Quoted(name) + L"=";
    if (value.Type == REG_SZ && IsPlainText(value.Data)) return head + Quoted(TextOfPlain(value.Data)) + L"\r\n";
    if (value.Type == REG_DWORD && value.Data.size() == sizeof(uint32_t)) {
        uint32_t number = 0;
        memcpy(&number, value.Data.data(), sizeof(number));
        wchar_t text[16];
        swprintf(text, 16, L"dword:%08x", static_cast<unsigned>(number));
        return head + text + L"\r\n";
    }
    if (value.Type == REG_BINARY) return HexLine(head + L"hex:", value.Data);
    wchar_t type[24];
    swprintf(type, 24, L"hex(%x):", static_cast<unsigned>(value.Type));
    return HexLine(head + type, value.Data);
}

std::wstring SystemRegKeyName(TRegRoot root, TRegView view, const std::wstring& path) {
    const std::wstring normal = NormalizeRegPath(path);
    if (!normal.empty()) {
        const std::wstring name = RegeditNameOf(KernelKeyName(RootHandle(root), normal, ViewFlag(view)));
        if (!name.empty()) return name;
    }
    return LayoutRegKeyName(root, view, normal);
}

TRegKeyNamer DefaultRegKeyNamer(TRegistryBackend& backend) {
    if (&backend == &WindowsRegistryBackend()) return SystemRegKeyName;
    return LayoutRegKeyName;
}

namespace {

void AppendKeyTree(TRegistryBackend& backend, TRegRoot root, TRegView view, const std::wstring& path,
                   const std::wstring& name, std::wstring& out) {
    std::vector<std::wstring> subkeys;
    {
        TRegistryStore store(backend, root, view);
        if (!store.Open(path, false)) return;
        // Its subkeys' names hold the same line break: none of them can be saved either.
        if (HasLineBreak(name)) {
            out += kKeyLeftOut;
            return;
        }
        out += L"[" + name + L"]\r\n";
        for (const auto& valueName : store.ListValueNames()) {
            const auto value = store.ReadValue(valueName);
            if (value) out += RegFileValueLine(valueName, *value);
        }
        out += L"\r\n";
        subkeys = store.ListSubkeys();
    }
    for (const auto& subkey : subkeys)
        AppendKeyTree(backend, root, view, JoinRegPath(path, subkey), name + L"\\" + subkey, out);
}

}  // namespace

std::wstring RegFileKeyTree(TRegistryBackend& backend, const TRegKeyNamer& namer, TRegRoot root, TRegView view,
                            const std::wstring& path) {
    const std::wstring normal = NormalizeRegPath(path);
    if (normal.empty()) return {};  // a whole hive is never saved (nor deleted)
    std::wstring out;
    {
        TRegistryStore store(backend, root, view);
        if (!store.Open(normal, false)) return {};
    }
    AppendKeyTree(backend, root, view, normal, namer(root, view, normal), out);
    return out;
}

std::wstring RegFileValue(TRegistryBackend& backend, const TRegKeyNamer& namer, TRegRoot root, TRegView view,
                          const std::wstring& path, const std::wstring& name) {
    const std::wstring normal = NormalizeRegPath(path);
    std::optional<TRegValue> value;
    {
        TRegistryStore store(backend, root, view);
        if (!store.Open(normal, false)) return {};
        value = store.ReadValue(name);
    }
    if (!value) return {};
    const std::wstring key = namer(root, view, normal);
    if (HasLineBreak(key)) return kKeyLeftOut;
    return L"[" + key + L"]\r\n" + RegFileValueLine(name, *value) + L"\r\n";
}

TRegBackupFile::TRegBackupFile(std::wstring folder, const SYSTEMTIME& time)
    : FFolder(WithTrailingBackslash(folder)), FTime(time) {}

TRegBackupFile::~TRegBackupFile() { Close(); }

namespace {

// Makes every missing folder of path, from the top down.
bool MakeFolders(const std::wstring& path) {
    if (DirectoryExists(path)) return true;
    for (size_t pos = path.find(L'\\'); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1)) {
        const std::wstring part = path.substr(0, pos);
        if (part.empty() || part.back() == L':' || DirectoryExists(part)) continue;
        CreateFolder(part);
    }
    return DirectoryExists(path);
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        if (!::WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

}  // namespace

void TRegBackupFile::Create() {
    if (!MakeFolders(FFolder)) throw TWriteError(L"Unable to write to " + FFolder);
    wchar_t stamp[64];
    swprintf(stamp, 64, L"%04u-%02u-%02u %02u-%02u-%02u", FTime.wYear, FTime.wMonth, FTime.wDay, FTime.wHour,
             FTime.wMinute, FTime.wSecond);
    for (int n = 1;; ++n) {
        std::wstring name = FFolder + stamp;
        if (n > 1) name += L" (" + std::to_wstring(n) + L")";
        name += L".reg";
        THandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            FFile = std::move(file);
            FFileName = name;
            break;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || n >= 1000)
            throw TWriteError(L"Unable to write to " + name);
    }
    const uint8_t bom[] = {0xFF, 0xFE};
    const std::wstring header = kRegFileHeader;
    if (!WriteAll(FFile.Get(), bom, sizeof(bom)) ||
        !WriteAll(FFile.Get(), header.data(), header.size() * sizeof(wchar_t))) {
        FFile.Reset();
        ::DeleteFileW(FFileName.c_str());
        const std::wstring name = FFileName;
        FFileName.clear();
        throw TWriteError(L"Unable to write to " + name);
    }
    FSize = FHeaderSize = sizeof(bom) + header.size() * sizeof(wchar_t);
}

void TRegBackupFile::Append(const std::wstring& text) {
    if (!FFile) Create();
    const uint64_t before = FSize;
    const size_t bytes = text.size() * sizeof(wchar_t);
    // A half-written entry would put damaged values back when the file is opened: cut it off.
    if (!WriteAll(FFile.Get(), text.data(), bytes) || !::FlushFileBuffers(FFile.Get())) {
        Truncate(before);
        throw TWriteError(L"Unable to write to " + FFileName);
    }
    FSize += bytes;
}

void TRegBackupFile::Truncate(uint64_t size) {
    if (!FFile) return;
    if (size < FHeaderSize) size = FHeaderSize;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFilePointerEx(FFile.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(FFile.Get())) FSize = size;
    ::FlushFileBuffers(FFile.Get());
}

std::wstring TRegBackupFile::Close() {
    if (FFile) {
        FFile.Reset();
        if (FSize <= FHeaderSize) {
            ::DeleteFileW(FFileName.c_str());
            FFileName.clear();
        }
    }
    return FFileName;
}

}  // namespace sk
