// The grammar of hosts-file lines and of the addresses they name, as pure functions on text: no
// files, no network. The rules work on decoded text (wchar_t) and, for plain ASCII files, on their
// bytes (char) alike, so that long lists need not be decoded line by line.
#pragma once

#include <compare>
#include <cstdint>
#include <cstring>
#if defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <type_traits>
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

// ---- Lists and the user's own entries ----

// An IPv6 address with an optional zone ("fe80::1%lo0"): the zone is a name of letters, digits,
// "_", "." and "-".
template <typename Ch>
bool ParseIPv6WithZone(std::basic_string_view<Ch> s, unsigned short out[8]) {
    const auto percent = s.find(Ch('%'));
    if (percent != std::basic_string_view<Ch>::npos) {
        const auto zone = s.substr(percent + 1);
        if (zone.empty()) return false;
        for (const Ch ch : zone) {
            const wchar_t c = static_cast<wchar_t>(ch);
            const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                            c == L'_' || c == L'.' || c == L'-';
            if (!ok) return false;
        }
        s = s.substr(0, percent);
    }
    return ParseIPv6(s, out);
}

enum class TAddressKind {
    Invalid,         // not an address written the plain way
    LoopbackOrNull,  // 127.0.0.0/8, 0.0.0.0, ::1, ::
    Private,         // 10/8, 172.16/12, 192.168/16, 169.254/16, fc00::/7, fe80::/10
    Public,
};

template <typename Ch>
TAddressKind ClassifyAddress(std::basic_string_view<Ch> address) {
    unsigned char v4[4];
    if (ParseIPv4(address, v4)) {
        if (v4[0] == 127 || (v4[0] == 0 && v4[1] == 0 && v4[2] == 0 && v4[3] == 0)) return TAddressKind::LoopbackOrNull;
        if (v4[0] == 10 || (v4[0] == 172 && v4[1] >= 16 && v4[1] <= 31) || (v4[0] == 192 && v4[1] == 168) ||
            (v4[0] == 169 && v4[1] == 254))
            return TAddressKind::Private;
        return TAddressKind::Public;
    }
    unsigned short v6[8];
    if (address.find(Ch(':')) == std::basic_string_view<Ch>::npos || !ParseIPv6WithZone(address, v6))
        return TAddressKind::Invalid;
    bool zeroHead = true;
    for (int i = 0; i < 7; ++i)
        if (v6[i] != 0) zeroHead = false;
    if (zeroHead && v6[7] <= 1) return TAddressKind::LoopbackOrNull;
    if ((v6[0] & 0xFE00) == 0xFC00 || (v6[0] & 0xFFC0) == 0xFE80) return TAddressKind::Private;
    return TAddressKind::Public;
}

// The names of an already trimmed host field, one by one, up to a "#" that starts a comment.
template <typename Ch, typename F>
void ForEachName(std::basic_string_view<Ch> field, F&& f) {
    size_t i = 0;
    while (i < field.size()) {
        while (i < field.size() && (field[i] == Ch(' ') || field[i] == Ch('\t'))) ++i;
        if (i >= field.size() || field[i] == Ch('#')) return;
        size_t e = i;
        while (e < field.size() && field[e] != Ch(' ') && field[e] != Ch('\t')) ++e;
        if (!f(field.substr(i, e - i))) return;
        i = e;
    }
}

// The standard header lines of public lists ("127.0.0.1 localhost", "255.255.255.255
// broadcasthost", "fe80::1%lo0 localhost", "ff02::1 ip6-allnodes", ...): every name on the line is
// one of those names with one of its usual addresses (ip6-localnet appears with fe00::0 and with
// ff00::0), or an address of this computer written as a name ("0.0.0.0 0.0.0.0").
template <typename Ch>
bool IsHeaderMapping(std::basic_string_view<Ch> address, std::basic_string_view<Ch> names) {
    unsigned short v6[8];
    const bool isV6 = address.find(Ch(':')) != std::basic_string_view<Ch>::npos && ParseIPv6WithZone(address, v6);
    auto v6Is = [&](unsigned short head, unsigned short last) {
        if (!isV6 || v6[0] != head || v6[7] != last) return false;
        for (int i = 1; i < 7; ++i)
            if (v6[i] != 0) return false;
        return true;
    };
    const bool loopback = ClassifyAddress(address) == TAddressKind::LoopbackOrNull;
    bool any = false, all = true;
    ForEachName(names, [&](std::basic_string_view<Ch> name) {
        any = true;
        auto is = [&](const wchar_t* text) { return EqualsAsciiNoCase(name, std::wstring_view(text)); };
        bool ok;
        if (is(L"localhost") || is(L"localhost.localdomain") || is(L"local"))
            ok = loopback || v6Is(0xFE80, 1);
        else if (is(L"broadcasthost"))
            ok = EqualsAscii(address, "255.255.255.255");
        else if (is(L"ip6-localhost") || is(L"ip6-loopback"))
            ok = isV6 && loopback;
        else if (is(L"ip6-localnet"))
            ok = v6Is(0xFE00, 0) || v6Is(0xFF00, 0);
        else if (is(L"ip6-mcastprefix"))
            ok = v6Is(0xFF00, 0);
        else if (is(L"ip6-allnodes"))
            ok = v6Is(0xFF02, 1);
        else if (is(L"ip6-allrouters"))
            ok = v6Is(0xFF02, 2);
        else if (is(L"ip6-allhosts"))
            ok = v6Is(0xFF02, 3);
        else
            ok = loopback && ClassifyAddress(name) == TAddressKind::LoopbackOrNull;
        all = all && ok;
        return all;
    });
    return any && all;
}

// A control character other than the tab (the line breaks are gone already): a resolver may read
// one as the end of a line and the rest as a line of its own.
template <typename Ch>
bool HoldsControlCharacter(std::basic_string_view<Ch> line) {
    for (const Ch ch : line) {
        const auto c = static_cast<std::make_unsigned_t<Ch>>(ch);
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    }
    return false;
}

// True when no byte is a control character other than the tab (nor DEL): sixteen bytes at a time
// where the processor has SSE2, else eight, exactly either way.
inline bool HasNoControlBytes(const char* p, size_t n) {
    size_t i = 0;
#if defined(_M_X64) || defined(__SSE2__)
    const __m128i c1f = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8('\t'), del = _mm_set1_epi8(0x7F);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i low = _mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(_mm_min_epu8(v, c1f), v));
        if (_mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi8(v, del)))) return false;
    }
#else
    constexpr uint64_t lows = 0x7F7F7F7F7F7F7F7Full, highs = 0x8080808080808080ull;
    auto zeroBytes = [](uint64_t x) { return ~(((x & lows) + lows) | x) & highs; };
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        const uint64_t below20 = ~(((w & lows) + 0x6060606060606060ull) | w) & highs;
        const uint64_t tabs = zeroBytes(w ^ 0x0909090909090909ull);
        const uint64_t dels = zeroBytes(w ^ 0x7F7F7F7F7F7F7F7Full);
        if ((below20 & ~tabs) | dels) return false;
    }
#endif
    for (; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    }
    return true;
}

// The line nearly every line of a list is, told at a glance: "0.0.0.0 <name>" or
// "127.0.0.1 <name>" whose first name is neither a header name (localhost, broadcasthost, the
// ip6- names) nor possibly an address, and no control character.
// clean: the line is known to hold no control character but tabs.
inline bool IsPlainEntry(std::string_view line, bool clean = false) {
    const char* p = line.data();
    const size_t n = line.size();
    uint64_t head;
    size_t off;
    if (n <= 10) return false;
    std::memcpy(&head, p, 8);
    if (std::memcmp(&head, "0.0.0.0 ", 8) == 0)
        off = 8;
    else if (std::memcmp(&head, "127.0.0.", 8) == 0 && p[8] == '1' && p[9] == ' ')
        off = 10;
    else
        return false;
    const char first = static_cast<char>(p[off] | 0x20);  // ASCII letters in lower case
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '.' || c == ':'; };
    if (static_cast<unsigned char>(p[off]) <= ' ' || p[off] == '#') return false;
    if (hex(first)) {
        // Possibly an address written as a name ("0.0.0.0 0.0.0.0"): not while a character that
        // no address holds comes before the name's end.
        size_t i = off;
        while (i < n && hex(static_cast<char>(p[i] | 0x20))) ++i;
        if (i == n || p[i] == ' ' || p[i] == '\t') return false;
    } else if (first == 'l' || first == 'i' || (first == 'b' && n - off >= 13)) {
        size_t end = off;
        while (end < n && p[end] != ' ' && p[end] != '\t') ++end;
        const std::string_view name(p + off, end - off);
        for (const char* header : {"localhost", "localhost.localdomain", "local", "broadcasthost", "ip6-localhost",
                                   "ip6-loopback", "ip6-localnet", "ip6-mcastprefix", "ip6-allnodes", "ip6-allrouters",
                                   "ip6-allhosts"})
            if (EqualsAsciiNoCase(name, std::string_view(header))) return false;
    }
    return clean || HasNoControlBytes(p + off, n - off);
}

// What one line of a downloaded list is. Only Entry lines become active lines of the system hosts
// file; the refused kinds refuse the whole list.
enum class TListLine {
    Blank,
    Comment,
    Entry,             // names mapped to 127.0.0.0/8, 0.0.0.0, ::1 or ::
    Header,            // a standard header line: accepted, written commented out
    NoMapping,         // a single word: accepted, written commented out
    ForeignAddress,    // refused: names sent to any other address, in any notation
    ControlCharacter,  // refused
    WebPage,           // refused: markup, as in a captive portal's "200 OK" page
};

// clean: the line is known to hold no control character but tabs (it only saves time).
template <typename Ch>
TListLine ClassifyListLine(std::basic_string_view<Ch> line, bool clean = false) {
    if constexpr (std::is_same_v<Ch, char>) {
        if (IsPlainEntry(line, clean)) return TListLine::Entry;
    }
    if (HoldsControlCharacter(line)) return TListLine::ControlCharacter;
    const auto t = Trim(line);
    if (t.empty()) return TListLine::Blank;
    if (t.front() == Ch('#')) return TListLine::Comment;
    if (t.front() == Ch('<')) return TListLine::WebPage;
    const auto address = FirstField(t);
    const auto names = HostField(t);
    if (names.empty() || names.front() == Ch('#')) return TListLine::NoMapping;
    if (IsLoopbackOrNull(address)) {
        // Nearly every line of a list ends here: header names start with "l", "b", "i" or, for an
        // address written as a name, a digit or ":".
        const wchar_t first = AsciiLower(static_cast<wchar_t>(names.front()));
        if (first != L'l' && first != L'b' && first != L'i' && first != L':' && (first < L'0' || first > L'9'))
            return TListLine::Entry;
        return IsHeaderMapping(address, names) ? TListLine::Header : TListLine::Entry;
    }
    return IsHeaderMapping(address, names) ? TListLine::Header : TListLine::ForeignAddress;
}

// Whether an entry of the user's own hosts file goes on working while the shield is on: one that
// points at this computer or the local network does; one that points a name at a public address
// (the classic hijack) or that no resolver reads the plain way does not.
template <typename Ch>
bool KeepsUserEntry(std::basic_string_view<Ch> trimmed) {
    if (HoldsControlCharacter(trimmed) || HostField(trimmed).empty()) return false;
    const TAddressKind kind = ClassifyAddress(FirstField(trimmed));
    return kind == TAddressKind::LoopbackOrNull || kind == TAddressKind::Private;
}

// A host name AddHost may write: not empty, no character at or below U+0020 (blanks, tabs, line
// breaks, control characters), no "#" and no DEL.
inline bool IsWritableHostName(std::wstring_view name) {
    if (name.empty()) return false;
    for (wchar_t c : name)
        if (c <= L' ' || c == L'#' || c == 0x7F) return false;
    return true;
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
