// Fills the string table's templates: "%d" (integer), "%s" (text), "%.2f" (two decimals) and
// "%.2n" (two decimals with thousands separators), "%%" for a percent sign. Arguments are taken in
// order; a placeholder without an argument is left out, and a template without placeholders (a
// translation that dropped them) simply shows without the values.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace sk {

using TFormatArg = std::variant<int64_t, double, std::wstring>;

std::wstring FormatText(const std::wstring& pattern, const std::vector<TFormatArg>& args);

inline TFormatArg ToFormatArg(int v) { return int64_t{v}; }
inline TFormatArg ToFormatArg(long v) { return int64_t{v}; }
inline TFormatArg ToFormatArg(long long v) { return int64_t{v}; }
inline TFormatArg ToFormatArg(unsigned v) { return int64_t{v}; }
inline TFormatArg ToFormatArg(unsigned long v) { return int64_t(v); }
inline TFormatArg ToFormatArg(unsigned long long v) { return int64_t(v); }
inline TFormatArg ToFormatArg(double v) { return v; }
inline TFormatArg ToFormatArg(const std::wstring& v) { return v; }
inline TFormatArg ToFormatArg(const wchar_t* v) { return std::wstring(v); }

template <typename... Args>
std::wstring Fmt(const std::wstring& pattern, Args&&... args) {
    std::vector<TFormatArg> list;
    (list.push_back(ToFormatArg(std::forward<Args>(args))), ...);
    return FormatText(pattern, list);
}

// A number with two decimals, with or without thousands separators, in the user's format.
std::wstring FormatNumber2(double value, bool thousands);

// The text without the blanks and control characters (anything up to U+0020) at either end: for
// names and paths, where a no-break space is part of the text.
std::wstring Trimmed(const std::wstring& text);
// Whether a character shows nothing: a control character (C0, DEL, C1) or a blank of any kind (the
// space, no-break spaces, the typographic spaces, the ideographic space, zero-width spaces).
bool IsBlankChar(wchar_t c);
// The text without such characters at either end; "" when it holds nothing else: for captions and
// labels, which must show something.
std::wstring TrimmedText(const std::wstring& text);
inline bool IsBlankText(const std::wstring& text) { return TrimmedText(text).empty(); }

}  // namespace sk
