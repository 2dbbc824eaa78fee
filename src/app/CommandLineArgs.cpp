#include "app/CommandLineArgs.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "base/Format.h"
#include "base/StringTable.h"
#include "clean/IECleaner.h"
#include "repair/IERepairFuncs.h"

namespace sk {

namespace {

std::wstring Lower(std::wstring text) {
    // ASCII only: switches and their words are English, and a Turkish "I" must not change them.
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring UpperAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

bool IsSwitch(const std::wstring& arg) { return !arg.empty() && arg[0] == L'/'; }

std::vector<std::wstring> SplitCommas(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(L',', start);
        parts.push_back(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (comma == std::wstring::npos) return parts;
        start = comma + 1;
    }
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

// A repair item's index: decimal digits only, 0 to 21.
std::optional<int> ItemIndex(const std::wstring& text) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value >= RepairItemCount) return std::nullopt;
    return value;
}

std::optional<int> CategoryOf(const std::wstring& word) {
    const std::wstring w = Lower(word);
    if (w == L"temp") return IECleanTempFiles;
    if (w == L"cookies") return IECleanCookies;
    if (w == L"addresses") return IECleanTypedUrls;
    if (w == L"history") return IECleanHistory;
    return std::nullopt;
}

bool SafeIdChar(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_' || c == L'~' || c == L'{' || c == L'}';
}

std::wstring EncodeIdText(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (SafeIdChar(c)) {
            out += c;
            continue;
        }
        // The character's UTF-8 bytes (a surrogate pair together; a lone surrogate as U+FFFD).
        const int units = (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                           text[i + 1] <= 0xDFFF)
                              ? 2
                              : 1;
        char bytes[8] = {};
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data() + i, units, bytes, sizeof bytes, nullptr, nullptr);
        static const wchar_t hex[] = L"0123456789ABCDEF";
        for (int b = 0; b < n; ++b) {
            const auto byte = static_cast<unsigned char>(bytes[b]);
            out += L'%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
        i += static_cast<size_t>(units - 1);
    }
    return out;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// Undoes EncodeIdText; unset for a broken escape or bytes that are not UTF-8.
std::optional<std::wstring> DecodeIdText(const std::wstring& text) {
    std::wstring out;
    std::string bytes;  // a run of escapes, decoded together
    auto flush = [&]() -> bool {
        if (bytes.empty()) return true;
        const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                            nullptr, 0);
        if (n <= 0) return false;
        std::wstring part(static_cast<size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), part.data(), n);
        out += part;
        bytes.clear();
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') {
            if (!flush()) return std::nullopt;
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!flush()) return std::nullopt;
    return out;
}

// Reads the values after a switch: every following argument up to the next switch, each split at
// its commas. "" when there are none.
std::vector<std::wstring> TakeValues(const std::vector<std::wstring>& args, size_t& at) {
    std::vector<std::wstring> values;
    while (at + 1 < args.size() && !IsSwitch(args[at + 1])) {
        ++at;
        for (const std::wstring& part : SplitCommas(args[at])) values.push_back(part);
    }
    return values;
}

}  // namespace

std::wstring RegViewName(TRegView view) {
    switch (view) {
        case TRegView::Wow32: return L"wow32";
        case TRegView::Wow64: return L"wow64";
        case TRegView::Native: break;
    }
    return L"native";
}

std::wstring PlugInId(const TPlugInRef& plugIn) {
    if (plugIn.Kind == TPlugInKind::MenuExtension) return L"menu:" + EncodeIdText(plugIn.Name);
    return L"com:" + RegViewName(plugIn.View.value_or(TRegView::Native)) + L":" + EncodeIdText(UpperAscii(plugIn.Name));
}

std::optional<TPlugInRef> ParsePlugInId(const std::wstring& id) {
    const size_t colon = id.find(L':');
    if (colon == std::wstring::npos) return std::nullopt;
    const std::wstring kind = Lower(id.substr(0, colon));
    TPlugInRef ref;
    std::wstring rest = id.substr(colon + 1);
    if (kind == L"menu") {
        ref.Kind = TPlugInKind::MenuExtension;
    } else if (kind == L"com") {
        const size_t second = rest.find(L':');
        if (second == std::wstring::npos) return std::nullopt;
        const std::wstring view = Lower(rest.substr(0, second));
        if (view == L"native")
            ref.View = TRegView::Native;
        else if (view == L"wow32")
            ref.View = TRegView::Wow32;
        else if (view == L"wow64")
            ref.View = TRegView::Wow64;
        else
            return std::nullopt;
        rest = rest.substr(second + 1);
        ref.Kind = TPlugInKind::ComAddOn;
    } else {
        return std::nullopt;
    }
    const std::optional<std::wstring> name = DecodeIdText(rest);
    if (!name || name->empty()) return std::nullopt;
    ref.Name = *name;
    return ref;
}

bool SamePlugIn(const TPlugInRef& wanted, const TPlugInRef& listed) {
    if (wanted.Kind != listed.Kind) return false;
    if (wanted.Kind == TPlugInKind::MenuExtension) return wanted.Name == listed.Name;
    return wanted.View.value_or(TRegView::Native) == listed.View.value_or(TRegView::Native) &&
           UpperAscii(wanted.Name) == UpperAscii(listed.Name);
}

bool ChangesMachine(const TCliRequest& request) {
    switch (request.Command) {
        case TCliCommand::Repair:
        case TCliCommand::Clean:
        case TCliCommand::Remove:
            return true;
        case TCliCommand::Shield:
            return request.Shield != TCliShieldAction::Status;
        case TCliCommand::Restore:
            return request.Restore != TCliRestoreAction::List;
        default:
            return false;
    }
}

TCliParse ParseCommandLine(const std::vector<std::wstring>& args) {
    TCliParse parse;
    TCliRequest& r = parse.Request;
    if (args.empty()) return parse;
    auto fail = [&parse](std::wstring problem) {
        parse.Problem = std::move(problem);
        return parse;
    };

    bool haveCommand = false, force = false;
    for (size_t at = 0; at < args.size(); ++at) {
        const std::wstring& arg = args[at];
        if (!IsSwitch(arg)) return fail(Fmt(IDS_COMMANDLINE_Unexpected, arg));
        const std::wstring name = Lower(arg);

        if (name == L"/json") {
            if (r.JsonFile) return fail(Fmt(IDS_COMMANDLINE_Twice, arg));
            if (at + 1 >= args.size() || args[at + 1].empty() || IsSwitch(args[at + 1]))
                return fail(Fmt(IDS_COMMANDLINE_MissingValue, arg));
            r.JsonFile = args[++at];
            continue;
        }
        if (name == L"/force") {
            if (force) return fail(Fmt(IDS_COMMANDLINE_Twice, arg));
            force = true;
            continue;
        }

        TCliCommand command;
        if (name == L"/?" || name == L"/help")
            command = TCliCommand::Help;
        else if (name == L"/scan")
            command = TCliCommand::Scan;
        else if (name == L"/repair")
            command = TCliCommand::Repair;
        else if (name == L"/clean")
            command = TCliCommand::Clean;
        else if (name == L"/plugins")
            command = TCliCommand::PlugIns;
        else if (name == L"/remove")
            command = TCliCommand::Remove;
        else if (name == L"/shield")
            command = TCliCommand::Shield;
        else if (name == L"/restore")
            command = TCliCommand::Restore;
        else
            return fail(Fmt(IDS_COMMANDLINE_UnknownSwitch, arg));
        if (haveCommand) return fail(Fmt(IDS_COMMANDLINE_OneCommand, arg));
        haveCommand = true;
        r.Command = command;

        switch (command) {
            case TCliCommand::Repair: {
                const std::vector<std::wstring> values = TakeValues(args, at);
                if (values.empty()) return fail(Fmt(IDS_COMMANDLINE_MissingValue, arg));
                for (const std::wstring& v : values) {
                    if (Lower(v) == L"all") {
                        if (values.size() != 1) return fail(Fmt(IDS_COMMANDLINE_AllAlone, arg));
                        r.AllItems = true;
                        continue;
                    }
                    const std::optional<int> index = ItemIndex(v);
                    if (!index) return fail(Fmt(IDS_COMMANDLINE_BadItem, v));
                    AddOnce(r.Items, *index);
                }
                break;
            }
            case TCliCommand::Clean: {
                const std::vector<std::wstring> values = TakeValues(args, at);
                if (values.empty()) return fail(Fmt(IDS_COMMANDLINE_MissingValue, arg));
                bool chosen[5] = {};
                for (const std::wstring& v : values) {
                    if (Lower(v) == L"all") {
                        if (values.size() != 1) return fail(Fmt(IDS_COMMANDLINE_AllAlone, arg));
                        for (int c = IECleanTempFiles; c <= IECleanHistory; ++c) chosen[c] = true;
                        continue;
                    }
                    const std::optional<int> category = CategoryOf(v);
                    if (!category) return fail(Fmt(IDS_COMMANDLINE_BadCategory, v));
                    chosen[*category] = true;
                }
                for (int c = IECleanTempFiles; c <= IECleanHistory; ++c)
                    if (chosen[c]) r.Categories.push_back(c);
                break;
            }
            case TCliCommand::Remove: {
                const std::vector<std::wstring> values = TakeValues(args, at);
                if (values.empty()) return fail(Fmt(IDS_COMMANDLINE_MissingValue, arg));
                for (const std::wstring& v : values) {
                    const std::optional<TPlugInRef> ref = ParsePlugInId(v);
                    if (!ref) return fail(Fmt(IDS_COMMANDLINE_BadPlugInId, v));
                    const bool known = std::any_of(r.PlugIns.begin(), r.PlugIns.end(),
                                                   [&](const TPlugInRef& p) { return SamePlugIn(*ref, p); });
                    if (known) continue;
                    r.PlugInIds.push_back(v);
                    r.PlugIns.push_back(*ref);
                }
                break;
            }
            case TCliCommand::Shield: {
                const std::vector<std::wstring> values = TakeValues(args, at);
                if (values.size() != 1) return fail(Fmt(IDS_COMMANDLINE_BadShieldAction, arg));
                const std::wstring v = Lower(values[0]);
                if (v == L"on")
                    r.Shield = TCliShieldAction::On;
                else if (v == L"off")
                    r.Shield = TCliShieldAction::Off;
                else if (v == L"update")
                    r.Shield = TCliShieldAction::Update;
                else if (v == L"status")
                    r.Shield = TCliShieldAction::Status;
                else
                    return fail(Fmt(IDS_COMMANDLINE_BadShieldAction, arg));
                break;
            }
            case TCliCommand::Restore: {
                const std::vector<std::wstring> values = TakeValues(args, at);
                if (values.size() != 1 || values[0].empty()) return fail(Fmt(IDS_COMMANDLINE_BadRestore, arg));
                const std::wstring v = Lower(values[0]);
                if (v == L"list") {
                    r.Restore = TCliRestoreAction::List;
                } else if (v == L"last") {
                    r.Restore = TCliRestoreAction::Last;
                } else {
                    r.Restore = TCliRestoreAction::Point;
                    r.RestoreId = values[0];
                }
                break;
            }
            default:
                break;  // the commands without values
        }
    }
    if (!haveCommand) return fail(IDS_COMMANDLINE_NoCommand);
    if (force) {
        if (r.Command != TCliCommand::Restore || r.Restore == TCliRestoreAction::List)
            return fail(IDS_COMMANDLINE_ForceOnlyRestore);
        r.Force = true;
    }
    if (r.Command == TCliCommand::Help && r.JsonFile) return fail(Fmt(IDS_COMMANDLINE_Unexpected, L"/json"));
    return parse;
}

}  // namespace sk
