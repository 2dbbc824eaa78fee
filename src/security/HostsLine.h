// The grammar of hosts-file lines and of the addresses they name, as pure functions on text: no
// files, no network. The rules work on decoded text (wchar_t) and, for plain ASCII files, on their
// bytes (char) alike, so that long lists need not be decoded line by line.
#pragma once

#include <compare>
#include <string>
#include <string_view>
#include <vector>

#include "base/Errors.h"

namespace sk {

// A version marker piece that is not a decimal integer.
class TConvertError : public TError {
public:
    using TError::TError;
};

struct TVersionDate {
    int Year = 0, Month = 0, Day = 0;
    auto operator<=>(const TVersionDate&) const = default;
};

namespace hostsline {

// Blanks and control characters: every character up to U+0020.
inline bool IsBlank(wchar_t c) { return c <= L' '; }

template <typename Ch>
std::basic_string_view<Ch> Trim(std::basic_string_view<Ch> s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(static_cast<wchar_t>(s[b]))) ++b;
    while (e > b && IsBlank(static_cast<wchar_t>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

inline wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

template <typename A, typename B>
bool EqualsAsciiNoCase(std::basic_string_view<A> a, std::basic_string_view<B> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(static_cast<wchar_t>(a[i])) != AsciiLower(static_cast<wchar_t>(b[i]))) return false;
    return true;
}

inline bool StartsWithAsciiNoCase(std::wstring_view s, std::wstring_view prefix) {
    return s.size() >= prefix.size() && EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix);
}

// The host field of an already trimmed line: what follows its first space, or failing that its
// first tab, trimmed.
template <typename Ch>
std::basic_string_view<Ch> HostField(std::basic_string_view<Ch> trimmed) {
    auto sep = trimmed.find(Ch(' '));
    if (sep == std::basic_string_view<Ch>::npos) sep = trimmed.find(Ch('\t'));
    if (sep == std::basic_string_view<Ch>::npos) return {};
    return Trim(trimmed.substr(sep + 1));
}

// The address field of an already trimmed line: everything up to its first space or tab.
template <typename Ch>
std::basic_string_view<Ch> FirstField(std::basic_string_view<Ch> trimmed) {
    size_t i = 0;
    while (i < trimmed.size() && trimmed[i] != Ch(' ') && trimmed[i] != Ch('\t')) ++i;
    return trimmed.substr(0, i);
}

template <typename Ch>
bool IsCommentOrBlank(std::basic_string_view<Ch> trimmed) {
    return trimmed.empty() || trimmed.front() == Ch('#');
}

// A line that is neither blank nor a comment and whose host field is not "localhost".
template <typename Ch>
bool IsEntryLine(std::basic_string_view<Ch> line) {
    const auto t = Trim(line);
    return !IsCommentOrBlank(t) && !EqualsAsciiNoCase(HostField(t), std::wstring_view(L"localhost"));
}

// A commented-out mapping is not the host being present: "#127.0.0.1 example.com" must not keep
// AddHost from blocking example.com, nor be what DeleteHost removes.
template <typename Ch>
bool LineMatches(std::basic_string_view<Ch> line, std::wstring_view trimmedHost) {
    const auto t = Trim(line);
    return !IsCommentOrBlank(t) && EqualsAsciiNoCase(HostField(t), trimmedHost);
}

template <typename Ch>
bool ParseDecimal(std::basic_string_view<Ch> s, unsigned limit, unsigned& value) {
    if (s.empty() || s.size() > 10) return false;
    unsigned long long v = 0;
    for (const Ch c : s) {
        if (c < Ch('0') || c > Ch('9')) return false;
        v = v * 10 + static_cast<unsigned>(c - Ch('0'));
    }
    if (v > limit) return false;
    value = static_cast<unsigned>(v);
    return true;
}

// Dotted decimal only: four parts of 0..255 without leading zeros, so that no resolver can read a
// part as octal or hexadecimal and land somewhere else.
template <typename Ch>
bool ParseIPv4(std::basic_string_view<Ch> s, unsigned char out[4]) {
    for (int i = 0; i < 4; ++i) {
        const auto dot = s.find(Ch('.'));
        if (i < 3 && dot == std::basic_string_view<Ch>::npos) return false;
        const auto part = i < 3 ? s.substr(0, dot) : s;
        if (part.size() > 1 && part.front() == Ch('0')) return false;
        unsigned v = 0;
        if (!ParseDecimal(part, 255, v)) return false;
        out[i] = static_cast<unsigned char>(v);
        if (i < 3) s.remove_prefix(dot + 1);
    }
    return true;
}

template <typename Ch>
bool ParseHexGroup(std::basic_string_view<Ch> s, unsigned& value) {
    if (s.empty() || s.size() > 4) return false;
    value = 0;
    for (const Ch ch : s) {
        const wchar_t c = static_cast<wchar_t>(ch);
        int d;
        if (c >= L'0' && c <= L'9')
            d = c - L'0';
        else if (c >= L'a' && c <= L'f')
            d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            d = c - L'A' + 10;
        else
            return false;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return true;
}

template <typename Ch>
bool ParseGroups(std::basic_string_view<Ch> s, std::vector<unsigned>& groups) {
    if (s.empty()) return true;
    for (;;) {
        const auto colon = s.find(Ch(':'));
        unsigned v = 0;
        if (!ParseHexGroup(s.substr(0, colon), v)) return false;
        groups.push_back(v);
        if (colon == std::basic_string_view<Ch>::npos) return true;
        s.remove_prefix(colon + 1);
    }
}

// Plain hexadecimal groups, with at most one "::"; no embedded IPv4 part and no zone.
template <typename Ch>
bool ParseIPv6(std::basic_string_view<Ch> s, unsigned short out[8]) {
    std::vector<unsigned> head, tail;
    const Ch gapText[] = {Ch(':'), Ch(':')};
    const std::basic_string_view<Ch> gapMark(gapText, 2);
    const auto gap = s.find(gapMark);
    if (gap == std::basic_string_view<Ch>::npos) {
        if (!ParseGroups(s, head) || head.size() != 8) return false;
    } else {
        if (s.find(gapMark, gap + 1) != std::basic_string_view<Ch>::npos) return false;
        if (!ParseGroups(s.substr(0, gap), head) || !ParseGroups(s.substr(gap + 2), tail)) return false;
        if (head.size() + tail.size() > 7) return false;
    }
    for (int i = 0; i < 8; ++i) out[i] = 0;
    for (size_t i = 0; i < head.size(); ++i) out[i] = static_cast<unsigned short>(head[i]);
    for (size_t i = 0; i < tail.size(); ++i) out[8 - tail.size() + i] = static_cast<unsigned short>(tail[i]);
    return true;
}

template <typename Ch>
bool EqualsAscii(std::basic_string_view<Ch> s, std::string_view ascii) {
    if (s.size() != ascii.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != static_cast<Ch>(ascii[i])) return false;
    return true;
}

// 127.0.0.0/8, 0.0.0.0, ::1 or ::, written the plain way.
template <typename Ch>
bool IsLoopbackOrNull(std::basic_string_view<Ch> address) {
    // Nearly every line of a list uses one of these two.
    if (EqualsAscii(address, "127.0.0.1") || EqualsAscii(address, "0.0.0.0")) return true;
    unsigned char v4[4];
    if (ParseIPv4(address, v4)) return v4[0] == 127 || (v4[0] == 0 && v4[1] == 0 && v4[2] == 0 && v4[3] == 0);
    // IPv6 text always holds a colon; checking for one first keeps the common IPv4 path cheap.
    if (address.find(Ch(':')) == std::basic_string_view<Ch>::npos) return false;
    unsigned short v6[8];
    if (!ParseIPv6(address, v6)) return false;
    for (int i = 0; i < 7; ++i)
        if (v6[i] != 0) return false;
    return v6[7] <= 1;
}

template <typename Ch>
std::wstring Widen(std::basic_string_view<Ch> s) {
    return std::wstring(s.begin(), s.end());
}

// Into a string that keeps its buffer from call to call (assigning from char iterators would
// build a temporary string each time).
template <typename Ch>
void AssignWide(std::wstring& out, std::basic_string_view<Ch> s) {
    out.resize(s.size());
    for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<wchar_t>(s[i]);
}

// The text after the first "#" of the line (all of it without one), trimmed.
std::wstring MarkerOfLine(std::wstring_view line);

// A version marker as a date: "2010-09-07" (exactly two dashes) or "20100907" (none); any other
// count of dashes, or an empty marker, gives 0-0-0. Raises TConvertError for a piece that is not a
// decimal integer.
TVersionDate ParseVersionDate(std::wstring_view marker);

}  // namespace hostsline
}  // namespace sk
