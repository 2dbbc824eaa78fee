#include "TestSupport.h"

#include "base/Format.h"

using namespace sk;

TEST_CASE("FormatText fills the string table's placeholders") {
    struct Case {
        std::wstring pattern;
        std::vector<TFormatArg> args;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"%d files", {int64_t{42}}, L"42 files"},
        {L"Scanning: %s", {std::wstring(L"C:\\a b")}, L"Scanning: C:\\a b"},
        {L"%.2f KB", {1.5}, L"1.50 KB"},
        {L"%.2n / %.2n KB", {1234567.891, 0.0}, L"1,234,567.89 / 0.00 KB"},
        {L"%d files/items are cleaned, %s disk space is released.", {int64_t{5000000000LL}, std::wstring(L"1.00 GB")},
         L"5000000000 files/items are cleaned, 1.00 GB disk space is released."},
        {L"100%% done", {}, L"100% done"},
        {L"Cleaned", {int64_t{3}}, L"Cleaned"},   // a translation without placeholders shows as it is
        {L"Error(%d) occurred.", {}, L"Error() occurred."},
        {L"trailing %", {}, L"trailing %"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.pattern);
        CHECK(FormatText(c.pattern, c.args) == c.expected);
    }
    CHECK(Fmt(L"%d of %s", 3, L"five") == L"3 of five");
}

TEST_CASE("Trimmed takes blanks and control characters off both ends only") {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L""},
        {L" \t\r\n ", L""},
        {L"ads.example", L"ads.example"},
        {L"  ads.example\t", L"ads.example"},
        {L"\x1F a b \x01", L"a b"},
        {L"\xA0x\xA0", L"\xA0x\xA0"},  // a no-break space is text
    };
    for (const auto& [text, expected] : cases) {
        CAPTURE(text);
        CHECK(Trimmed(text) == expected);
    }
}
