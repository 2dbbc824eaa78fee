#include "security/HostsLine.h"

namespace sk::hostsline {

namespace {

int PieceToInt(std::wstring_view piece, const std::wstring& marker) {
    unsigned v = 0;
    if (!ParseDecimal(piece, 0x7FFFFFFF, v))
        throw TConvertError(L"The version marker \"" + marker + L"\" is not a date: '" + std::wstring(piece) +
                            L"' is not a valid integer value.");
    return static_cast<int>(v);
}

}  // namespace

std::wstring MarkerOfLine(std::wstring_view line) {
    const auto hash = line.find(L'#');
    return std::wstring(Trim(hash == std::wstring_view::npos ? line : line.substr(hash + 1)));
}

TVersionDate ParseVersionDate(std::wstring_view text) {
    TVersionDate date;
    const std::wstring marker(Trim(text));
    if (marker.empty()) return date;
    const std::wstring_view m = marker;
    size_t dashes = 0;
    for (wchar_t c : m)
        if (c == L'-') ++dashes;
    if (dashes == 2) {
        const auto first = m.find(L'-');
        const auto second = m.find(L'-', first + 1);
        date.Year = PieceToInt(m.substr(0, first), marker);
        date.Month = PieceToInt(m.substr(first + 1, second - first - 1), marker);
        date.Day = PieceToInt(m.substr(second + 1), marker);
    } else if (dashes == 0) {
        date.Year = PieceToInt(m.substr(0, 4), marker);
        const auto rest = m.size() > 4 ? m.substr(4) : std::wstring_view();
        date.Month = PieceToInt(rest.substr(0, 2), marker);
        date.Day = PieceToInt(rest.size() > 2 ? rest.substr(rest.size() - 2) : rest, marker);
    }
    return date;
}

}  // namespace sk::hostsline
