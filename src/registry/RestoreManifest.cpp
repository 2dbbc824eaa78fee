#include "registry/RestoreManifest.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "base/StringTable.h"

namespace sk {

using TJson = nlohmann::ordered_json;

namespace {

constexpr const char* kFormat = "Surfkeep restore point";
constexpr int kVersion = 1;

[[noreturn]] void Bad(const std::string& what) { throw std::runtime_error(what); }

std::string HexOf(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> BytesOfHex(const std::string& hex) {
    if (hex.size() % 2) Bad("odd number of hex digits");
    std::vector<uint8_t> out(hex.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) Bad("not a hex digit in \"" + hex + "\"");
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return out;
}

bool IsExactUtf8(const std::wstring& text) {
    if (text.empty()) return true;
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr) > 0;
}

// Names and texts that must come back exact: UTF-8 when they can be; UTF-16 that is not valid
// Unicode (a lone surrogate) as hex under "<field>Utf16".
void PutText(TJson& j, const char* field, const std::wstring& text) {
    if (IsExactUtf8(text)) {
        j[field] = ToUtf8(text);
    } else {
        j[std::string(field) + "Utf16"] =
            HexOf(reinterpret_cast<const uint8_t*>(text.data()), text.size() * sizeof(wchar_t));
    }
}

std::wstring GetText(const TJson& j, const char* field) {
    if (auto it = j.find(field); it != j.end()) return FromUtf8(it->get<std::string>());
    if (auto it = j.find(std::string(field) + "Utf16"); it != j.end()) {
        const auto bytes = BytesOfHex(it->get<std::string>());
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        return text;
    }
    Bad(std::string("missing \"") + field + "\"");
}

std::string RootText(TRegRoot root) { return ToUtf8(RegRootName(root)); }

TRegRoot RootOf(const std::string& text) {
    if (text == "HKCR") return TRegRoot::ClassesRoot;
    if (text == "HKCU") return TRegRoot::CurrentUser;
    if (text == "HKLM") return TRegRoot::LocalMachine;
    if (text == "HKU") return TRegRoot::Users;
    Bad("unknown root \"" + text + "\"");
}

std::string ViewText(TRegView view) {
    switch (view) {
        case TRegView::Wow32:
            return "32-bit";
        case TRegView::Wow64:
            return "64-bit";
        case TRegView::Native:
            break;
    }
    return "native";
}

TRegView ViewOf(const std::string& text) {
    if (text == "native") return TRegView::Native;
    if (text == "32-bit") return TRegView::Wow32;
    if (text == "64-bit") return TRegView::Wow64;
    Bad("unknown view \"" + text + "\"");
}

const char* KindText(TRestoreEntryKind kind) {
    switch (kind) {
        case TRestoreEntryKind::Value:
            return "value";
        case TRestoreEntryKind::Key:
            return "key";
        case TRestoreEntryKind::File:
            return "file";
        case TRestoreEntryKind::Setting:
            return "setting";
    }
    return "value";
}

TRestoreEntryKind KindOf(const std::string& text) {
    if (text == "value") return TRestoreEntryKind::Value;
    if (text == "key") return TRestoreEntryKind::Key;
    if (text == "file") return TRestoreEntryKind::File;
    if (text == "setting") return TRestoreEntryKind::Setting;
    Bad("unknown entry kind \"" + text + "\"");
}

DWORD TypeOf(const TJson& j) {
    if (j.is_number_unsigned()) return j.get<DWORD>();
    const std::string name = j.get<std::string>();
    for (DWORD type = 0; type <= REG_QWORD; ++type)
        if (ToUtf8(RegTypeName(type)) == name) return type;
    unsigned value = 0;
    if (std::sscanf(name.c_str(), "REG_0x%x", &value) == 1) return value;
    Bad("unknown value type \"" + name + "\"");
}

void PutValue(TJson& j, const TRegValue& value) {
    j["type"] = ToUtf8(RegTypeName(value.Type));
    j["hex"] = HexOf(value.Data.data(), value.Data.size());
    j["shows"] = ToUtf8(DescribeRegData(value));  // for people only; "hex" is what counts
}

TRegValue GetValue(const TJson& j) {
    TRegValue value;
    value.Type = TypeOf(j.at("type"));
    value.Data = BytesOfHex(j.at("hex").get<std::string>());
    return value;
}

TJson TreeJson(const TRegTree& tree) {
    TJson j = TJson::object();
    TJson values = TJson::array();
    for (const auto& [name, value] : tree.Values) {
        TJson v = TJson::object();
        PutText(v, "name", name);
        PutValue(v, value);
        values.push_back(std::move(v));
    }
    j["values"] = std::move(values);
    TJson subkeys = TJson::array();
    for (const auto& sub : tree.Subkeys) {
        TJson s = TJson::object();
        PutText(s, "name", sub.Name);
        TJson inner = TreeJson(sub.Tree);
        s["values"] = std::move(inner["values"]);
        s["subkeys"] = std::move(inner["subkeys"]);
        subkeys.push_back(std::move(s));
    }
    j["subkeys"] = std::move(subkeys);
    return j;
}

TRegTree TreeOf(const TJson& j) {
    TRegTree tree;
    for (const auto& v : j.at("values")) tree.Values.emplace_back(GetText(v, "name"), GetValue(v));
    for (const auto& s : j.at("subkeys")) tree.Subkeys.push_back({GetText(s, "name"), TreeOf(s)});
    return tree;
}

TJson StateJson(TRestoreEntryKind kind, const TEntryState& state) {
    if (!state.Present) return nullptr;
    TJson j = TJson::object();
    switch (kind) {
        case TRestoreEntryKind::Value:
            PutValue(j, state.Value);
            break;
        case TRestoreEntryKind::Key:
            j = TreeJson(state.Tree);
            break;
        case TRestoreEntryKind::File:
            if (!state.FileCopy.empty()) PutText(j, "copy", state.FileCopy);
            j["size"] = state.FileSize;
            j["sha256"] = state.FileSha256;
            j["attributes"] = state.FileAttributes;
            break;
        case TRestoreEntryKind::Setting:
            PutText(j, "text", state.Text);
            break;
    }
    return j;
}

TEntryState StateOf(TRestoreEntryKind kind, const TJson& j) {
    TEntryState state;
    if (j.is_null()) return state;
    state.Present = true;
    switch (kind) {
        case TRestoreEntryKind::Value:
            state.Value = GetValue(j);
            break;
        case TRestoreEntryKind::Key:
            state.Tree = TreeOf(j);
            break;
        case TRestoreEntryKind::File:
            if (j.contains("copy") || j.contains("copyUtf16")) state.FileCopy = GetText(j, "copy");
            state.FileSize = j.at("size").get<uint64_t>();
            state.FileSha256 = j.at("sha256").get<std::string>();
            state.FileAttributes = j.value("attributes", DWORD{0});
            break;
        case TRestoreEntryKind::Setting:
            state.Text = GetText(j, "text");
            break;
    }
    return state;
}

TJson EntryJson(const TRestoreEntry& e) {
    TJson j = TJson::object();
    j["kind"] = KindText(e.Kind);
    j["where"] = ToUtf8(e.Where());
    switch (e.Kind) {
        case TRestoreEntryKind::Value:
        case TRestoreEntryKind::Key:
            j["root"] = RootText(e.Key.Root);
            j["view"] = ViewText(e.Key.View);
            PutText(j, "key", e.Key.Path);
            if (e.Kind == TRestoreEntryKind::Value) PutText(j, "name", e.Name);
            break;
        case TRestoreEntryKind::File:
            PutText(j, "path", e.Path);
            break;
        case TRestoreEntryKind::Setting:
            PutText(j, "file", e.Path);
            PutText(j, "section", e.Section);
            PutText(j, "settingKey", e.SettingKey);
            j["sectionHadKeys"] = e.SectionHadKeys;
            break;
    }
    j["before"] = StateJson(e.Kind, e.Before);
    if (e.After) j["after"] = StateJson(e.Kind, *e.After);
    return j;
}

TRestoreEntry EntryOf(const TJson& j) {
    TRestoreEntry e;
    e.Kind = KindOf(j.at("kind").get<std::string>());
    switch (e.Kind) {
        case TRestoreEntryKind::Value:
        case TRestoreEntryKind::Key:
            e.Key.Root = RootOf(j.at("root").get<std::string>());
            e.Key.View = ViewOf(j.at("view").get<std::string>());
            e.Key.Path = GetText(j, "key");
            if (e.Kind == TRestoreEntryKind::Value) e.Name = GetText(j, "name");
            break;
        case TRestoreEntryKind::File:
            e.Path = GetText(j, "path");
            break;
        case TRestoreEntryKind::Setting:
            e.Path = GetText(j, "file");
            e.Section = GetText(j, "section");
            e.SettingKey = GetText(j, "settingKey");
            e.SectionHadKeys = j.at("sectionHadKeys").get<bool>();
            break;
    }
    e.Before = StateOf(e.Kind, j.at("before"));
    if (auto it = j.find("after"); it != j.end()) e.After = StateOf(e.Kind, *it);
    if (e.Kind == TRestoreEntryKind::File && e.Before.Present && e.Before.FileCopy.empty())
        Bad("a file entry without its copy");
    return e;
}

}  // namespace

std::wstring TRestoreEntry::Where() const {
    switch (Kind) {
        case TRestoreEntryKind::Value:
            return DescribeRegValue(Key, Name);
        case TRestoreEntryKind::Key:
            return DescribeRegKey(Key);
        case TRestoreEntryKind::File:
            return Path;
        case TRestoreEntryKind::Setting: {
            const size_t cut = Path.find_last_of(L"\\/");
            return (cut == std::wstring::npos ? Path : Path.substr(cut + 1)) + L" [" + Section + L"] " + SettingKey;
        }
    }
    return {};
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring IsoTime(const FILETIME& time) {
    SYSTEMTIME st{};
    ::FileTimeToSystemTime(&time, &st);
    wchar_t buf[40];
    swprintf(buf, 40, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond, st.wMilliseconds);
    return buf;
}

std::wstring SortableStamp(const FILETIME& time) {
    SYSTEMTIME st{};
    ::FileTimeToSystemTime(&time, &st);
    wchar_t buf[40];
    swprintf(buf, 40, L"%04u%02u%02u-%02u%02u%02u-%03u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
             st.wMilliseconds);
    return buf;
}

namespace {

std::optional<FILETIME> TimeOf(const SYSTEMTIME& st) {
    FILETIME ft{};
    if (!::SystemTimeToFileTime(&st, &ft)) return std::nullopt;
    return ft;
}

}  // namespace

std::optional<FILETIME> ParseIsoTime(const std::wstring& text) {
    SYSTEMTIME st{};
    unsigned y, mo, d, h, mi, s, ms;
    wchar_t z = 0;
    if (swscanf(text.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2u.%3u%lc", &y, &mo, &d, &h, &mi, &s, &ms, &z) != 8 || z != L'Z')
        return std::nullopt;
    st = {static_cast<WORD>(y), static_cast<WORD>(mo), 0,
          static_cast<WORD>(d), static_cast<WORD>(h),  static_cast<WORD>(mi),
          static_cast<WORD>(s), static_cast<WORD>(ms)};
    return TimeOf(st);
}

std::optional<FILETIME> ParseSortableStamp(const std::wstring& text) {
    unsigned y, mo, d, h, mi, s, ms;
    if (text.size() < 19 || text[8] != L'-' || text[15] != L'-') return std::nullopt;
    if (swscanf(text.c_str(), L"%4u%2u%2u-%2u%2u%2u-%3u", &y, &mo, &d, &h, &mi, &s, &ms) != 7) return std::nullopt;
    const SYSTEMTIME st{static_cast<WORD>(y), static_cast<WORD>(mo), 0,
                        static_cast<WORD>(d), static_cast<WORD>(h),  static_cast<WORD>(mi),
                        static_cast<WORD>(s), static_cast<WORD>(ms)};
    return TimeOf(st);
}

std::string ManifestToJson(const TRestoreManifest& m) {
    TJson j = TJson::object();
    j["format"] = kFormat;
    j["version"] = kVersion;
    PutText(j, "id", m.Id);
    PutText(j, "operation", m.Operation);
    PutText(j, "title", m.Title);
    TJson items = TJson::array();
    for (const auto& item : m.Items) items.push_back(ToUtf8(item));
    j["items"] = std::move(items);
    if (!m.Restores.empty()) PutText(j, "restores", m.Restores);
    j["started"] = ToUtf8(IsoTime(m.Started));
    j["state"] = m.Complete ? "complete" : "in progress";
    if (m.Complete) j["completed"] = ToUtf8(IsoTime(m.Completed));
    TJson rows = TJson::array();
    for (const auto& r : m.Rows)
        rows.push_back({{"label", ToUtf8(r.Label)}, {"before", ToUtf8(r.Before)}, {"after", ToUtf8(r.After)}});
    j["rows"] = std::move(rows);
    TJson entries = TJson::array();
    for (const auto& e : m.Entries) entries.push_back(EntryJson(e));
    j["entries"] = std::move(entries);
    return j.dump(2, ' ', false, TJson::error_handler_t::replace) + "\n";
}

TRestoreManifest ManifestFromJson(const std::string& text) {
    TRestoreManifest m;
    try {
        const TJson j = TJson::parse(text);
        if (j.value("format", std::string()) != kFormat) Bad("not a restore point manifest");
        if (j.value("version", 0) != kVersion) Bad("manifest version " + std::to_string(j.value("version", 0)));
        m.Id = GetText(j, "id");
        m.Operation = GetText(j, "operation");
        m.Title = GetText(j, "title");
        for (const auto& item : j.at("items")) m.Items.push_back(FromUtf8(item.get<std::string>()));
        if (j.contains("restores") || j.contains("restoresUtf16")) m.Restores = GetText(j, "restores");
        const auto started = ParseIsoTime(FromUtf8(j.at("started").get<std::string>()));
        if (!started) Bad("bad start time");
        m.Started = *started;
        const std::string state = j.at("state").get<std::string>();
        if (state != "complete" && state != "in progress") Bad("unknown state \"" + state + "\"");
        m.Complete = state == "complete";
        if (m.Complete) {
            const auto completed = ParseIsoTime(FromUtf8(j.at("completed").get<std::string>()));
            if (!completed) Bad("bad completion time");
            m.Completed = *completed;
        }
        for (const auto& r : j.at("rows"))
            m.Rows.push_back({FromUtf8(r.at("label").get<std::string>()), FromUtf8(r.at("before").get<std::string>()),
                              FromUtf8(r.at("after").get<std::string>())});
        for (const auto& e : j.at("entries")) {
            m.Entries.push_back(EntryOf(e));
            if (m.Complete && !m.Entries.back().After) Bad("an entry of a complete point without its after-state");
        }
    } catch (const TJson::exception& e) {
        Bad(e.what());
    }
    return m;
}

}  // namespace sk
