#include "base/Format.h"

#include <windows.h>

#include <cmath>
#include <cstdio>

namespace sk {

namespace {

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t buf[16] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 16) > 0 && buf[0]) return buf;
    return fallback;
}

std::wstring AsText(const TFormatArg& arg) {
    if (const auto* s = std::get_if<std::wstring>(&arg)) return *s;
    if (const auto* i = std::get_if<int64_t>(&arg)) return std::to_wstring(*i);
    return FormatNumber2(std::get<double>(arg), false);
}

int64_t AsInteger(const TFormatArg& arg) {
    if (const auto* i = std::get_if<int64_t>(&arg)) return *i;
    if (const auto* d = std::get_if<double>(&arg)) return static_cast<int64_t>(*d);
    return 0;
}

double AsDouble(const TFormatArg& arg) {
    if (const auto* d = std::get_if<double>(&arg)) return *d;
    if (const auto* i = std::get_if<int64_t>(&arg)) return static_cast<double>(*i);
    return 0;
}

}  // namespace

std::wstring FormatNumber2(double value, bool thousands) {
    if (!std::isfinite(value)) value = 0;
    wchar_t raw[64];
    std::swprintf(raw, 64, L"%.2f", std::fabs(value));
    std::wstring digits = raw;
    const auto dot = digits.find(L'.');
    std::wstring whole = digits.substr(0, dot), frac = digits.substr(dot + 1);
    if (thousands) {
        const std::wstring sep = LocaleText(LOCALE_STHOUSAND, L",");
        for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3) whole.insert(static_cast<size_t>(i), sep);
    }
    std::wstring out = (value < 0 && std::fabs(value) >= 0.005) ? L"-" : L"";
    return out + whole + LocaleText(LOCALE_SDECIMAL, L".") + frac;
}

std::wstring FormatText(const std::wstring& pattern, const std::vector<TFormatArg>& args) {
    std::wstring out;
    size_t next = 0;
    auto take = [&]() -> const TFormatArg* { return next < args.size() ? &args[next++] : nullptr; };
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        if (c != L'%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        const std::wstring rest = pattern.substr(i + 1, 3);
        if (pattern[i + 1] == L'%') {
            out += L'%';
            ++i;
        } else if (pattern[i + 1] == L'd') {
            if (const auto* a = take()) out += std::to_wstring(AsInteger(*a));
            ++i;
        } else if (pattern[i + 1] == L's') {
            if (const auto* a = take()) out += AsText(*a);
            ++i;
        } else if (rest == L".2f" || rest == L".2n") {
            if (const auto* a = take()) out += FormatNumber2(AsDouble(*a), rest[2] == L'n');
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Trimmed(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= L' ') ++first;
    while (last > first && text[last - 1] <= L' ') --last;
    return text.substr(first, last - first);
}

bool IsBlankChar(wchar_t c) {
    if (c <= 0x20 || (c >= 0x7F && c <= 0xA0)) return true;
    switch (c) {
        case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x2060: case 0x3000:
        case 0xFEFF:
            return true;
    }
    return c >= 0x2000 && c <= 0x200B;
}

std::wstring TrimmedText(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlankChar(text[first])) ++first;
    while (last > first && IsBlankChar(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace sk
