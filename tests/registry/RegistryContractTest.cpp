// One table of behaviours that both registry backends must show: the real registry (under a scratch
// key that is removed afterwards) and the in-memory substitute. A case that fails on one backend
// only means the substitute has drifted from the real thing.
#include "TestSupport.h"

#include <functional>

#include "RegistryTestSupport.h"
#include "base/Errors.h"
#include "registry/RegistryStore.h"

using namespace sk;
using sktest::ErrorOf;

namespace {

using TBytes = std::vector<uint8_t>;

TRegValue RawText(const std::wstring& text, DWORD type = REG_SZ) {  // no terminating zero
    TRegValue v;
    v.Type = type;
    v.Data.resize(text.size() * sizeof(wchar_t));
    if (!text.empty()) memcpy(v.Data.data(), text.data(), v.Data.size());
    return v;
}

// Each case runs on its own empty key `key` under HKEY_CURRENT_USER (and, where it needs the
// machine root, under `key` in HKEY_LOCAL_MACHINE).
struct TContractCase {
    const char* Name;
    std::function<void(TRegistryBackend&, const std::wstring& key)> Run;
};

const TContractCase ContractCases[] = {
    {"open: absent without create, made with create, nested and case-insensitive",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         CHECK_FALSE(s.Open(key + L"\\One\\Two", false));
         CHECK(s.Open(key + L"\\One\\Two", true));
         CHECK(s.IsOpen());
         CHECK(s.Open(key + L"\\ONE\\two", false));
         CHECK(s.Open(L"\\" + key + L"\\one\\\\Two\\", false));  // stray separators are ignored
         CHECK(s.Open(key, false));
         CHECK(s.HasSubkey(L"one"));
         CHECK(s.HasSubkey(L"One\\TWO"));
         CHECK_FALSE(s.HasSubkey(L"Three"));
         CHECK(s.HasAnySubkey());
         CHECK(s.Open(key + L"\\One\\Two", false));
         CHECK_FALSE(s.HasAnySubkey());
     }},
    {"open \"\" is the root; a store starts on the root",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         CHECK(s.Open(L"", false));
         CHECK(s.HasSubkey(key));
         TRegistryStore fresh(b);
         CHECK(fresh.HasSubkey(key));
     }},
    {"a failed open reads nothing and writes nowhere",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         CHECK(s.Open(key, false));
         s.WriteText(L"Here", L"x");
         CHECK_FALSE(s.Open(key + L"\\Absent", false));
         CHECK_FALSE(s.IsOpen());
         CHECK_FALSE(s.HasValue(L"Here"));
         CHECK(s.ReadText(L"Here") == L"");
         CHECK(s.ListSubkeys().empty());
         CHECK(ErrorOf([&] { s.WriteText(L"Stray", L"y"); }) == L"Failed to set data for 'Stray'");
         CHECK_FALSE(s.RemoveKey(key));
         TRegistryStore root(b);
         CHECK_FALSE(root.HasValue(L"Stray"));
         CHECK(root.HasSubkey(key));
     }},
    {"text: absent, REG_SZ, REG_EXPAND_SZ unexpanded, cut at zero, no terminator, wrong types",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         CHECK(s.ReadText(L"Absent") == L"");
         CHECK_FALSE(s.HasValue(L"Absent"));
         s.WriteText(L"Plain", L"about:blank");
         s.WriteValue(L"Expand", RegText(L"%SystemRoot%\\x", REG_EXPAND_SZ));
         s.WriteValue(L"Cut", RawText(std::wstring(L"ab\0cd", 5)));
         s.WriteValue(L"Bare", RawText(L"bare"));
         s.WriteValue(L"Empty", RawText(L""));
         s.WriteText(L"Unicode", L"Message box \x6846\xFF01");
         s.WriteNumber(L"Number", 1);
         s.WriteValue(L"Binary", RegBytes({1, 2}));
         s.WriteValue(L"List", RegTextList({L"a"}));
         CHECK(s.HasValue(L"PLAIN"));
         CHECK(s.ReadText(L"plain") == L"about:blank");
         CHECK(s.ReadText(L"Expand") == L"%SystemRoot%\\x");
         CHECK(s.ReadText(L"Cut") == L"ab");
         CHECK(s.ReadText(L"Bare") == L"bare");
         CHECK(s.ReadText(L"Empty") == L"");
         CHECK(s.HasValue(L"Empty"));
         CHECK(s.ReadText(L"Unicode") == L"Message box \x6846\xFF01");
         CHECK(ErrorOf([&] { s.ReadText(L"Number"); }) == L"Invalid data type for 'Number'");
         CHECK(ErrorOf([&] { s.ReadText(L"Binary"); }) == L"Invalid data type for 'Binary'");
         CHECK(ErrorOf([&] { s.ReadText(L"List"); }) == L"Invalid data type for 'List'");
     }},
    {"number: REG_DWORD both signs; absent, wrong type and wrong size raise",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         s.WriteNumber(L"One", 1);
         s.WriteNumber(L"Minus", -1);
         s.WriteValue(L"Text", RegText(L"1"));
         s.WriteValue(L"Short", RegBytes({1, 0}, REG_DWORD));
         TRegValue qword = RegBytes({1, 0, 0, 0, 0, 0, 0, 0}, REG_QWORD);
         s.WriteValue(L"Wide", qword);
         CHECK(s.ReadNumber(L"one") == 1);
         CHECK(s.ReadNumber(L"Minus") == -1);
         CHECK(s.ReadValue(L"Minus") == RegBytes({0xFF, 0xFF, 0xFF, 0xFF}, REG_DWORD));
         CHECK(ErrorOf([&] { s.ReadNumber(L"Absent"); }) == L"Failed to get data for 'Absent'");
         CHECK(ErrorOf([&] { s.ReadNumber(L"Text"); }) == L"Invalid data type for 'Text'");
         CHECK(ErrorOf([&] { s.ReadNumber(L"Wide"); }) == L"Invalid data type for 'Wide'");
         CHECK(ErrorOf([&] { s.ReadNumber(L"Short"); }) == L"Failed to get data for 'Short'");
     }},
    {"bytes: REG_BINARY and REG_NONE up to the limit; longer, absent and other types raise",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         const TBytes full(260, 0xAB), over(261, 0xAB);
         s.WriteValue(L"Full", RegBytes(full));
         s.WriteValue(L"Over", RegBytes(over));
         s.WriteValue(L"None", RegBytes({4, 0}, REG_NONE));
         s.WriteValue(L"Empty", RegBytes({}));
         s.WriteNumber(L"Number", 4);
         CHECK(s.ReadBytes(L"Full") == full);
         CHECK(s.ReadBytes(L"None") == TBytes{4, 0});
         CHECK(s.ReadBytes(L"Empty").empty());
         CHECK(s.ReadBytes(L"Over", 300) == over);
         CHECK(ErrorOf([&] { s.ReadBytes(L"Over"); }) == L"Failed to get data for 'Over'");
         CHECK(ErrorOf([&] { s.ReadBytes(L"Absent"); }) == L"Failed to get data for 'Absent'");
         CHECK(ErrorOf([&] { s.ReadBytes(L"Number"); }) == L"Invalid data type for 'Number'");
     }},
    {"writes: overwrite changes the type, the first spelling of a name stays, default value",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         s.WriteNumber(L"Value", 5);
         s.WriteText(L"VALUE", L"five");
         CHECK(s.ReadValue(L"value") == RegText(L"five"));
         CHECK(s.ListValueNames() == std::vector<std::wstring>{L"Value"});
         CHECK_FALSE(s.HasValue(L""));
         s.WriteText(L"", L"regfile");
         CHECK(s.HasValue(L""));
         CHECK(s.ReadText(L"") == L"regfile");
         CHECK(s.RemoveValue(L""));
         CHECK_FALSE(s.HasValue(L""));
         CHECK(s.RemoveValue(L"value"));
         CHECK_FALSE(s.RemoveValue(L"Value"));
         CHECK_FALSE(s.ReadValue(L"Value").has_value());
         CHECK(s.ListValueNames().empty());
     }},
    {"raw values keep type and bytes",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         const TRegValue odd = RegBytes({1, 2, 3}, REG_SZ);
         const TRegValue custom = RegBytes({9}, 0x1234);
         const TRegValue empty = RegBytes({}, REG_MULTI_SZ);
         s.WriteValue(L"Odd", odd);
         s.WriteValue(L"Custom", custom);
         s.WriteValue(L"EmptyList", empty);
         CHECK(s.ReadValue(L"Odd") == odd);
         CHECK(s.ReadValue(L"Custom") == custom);
         CHECK(s.ReadValue(L"EmptyList") == empty);
     }},
    {"enumeration: subkeys sorted ignoring case, values in written order when written sorted",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         for (const wchar_t* name : {L"zeta", L"Gamma2", L"alpha", L"gamma10", L"Beta", L"S-1-5-21-9", L".Default"})
             s.AddSubkey(name);
         CHECK(s.ListSubkeys() == std::vector<std::wstring>{L".Default", L"alpha", L"Beta", L"gamma10", L"Gamma2",
                                                            L"S-1-5-21-9", L"zeta"});
         // The real registries disagree on the order of values written unsorted (Windows keeps the
         // written order, Wine sorts); engines must not rely on either, so the contract covers only this.
         for (const wchar_t* name : {L"", L"A", L"b", L"C", L"url1", L"url10", L"url2"}) s.WriteText(name, L"v");
         CHECK(s.ListValueNames() == std::vector<std::wstring>{L"", L"A", L"b", L"C", L"url1", L"url10", L"url2"});
     }},
    {"subkeys: add nested, remove a tree, absent and empty names",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         s.AddSubkey(L"Ratings\\Deep\\Deeper");
         {
             TRegistryStore deep(b);
             REQUIRE(deep.Open(key + L"\\Ratings\\Deep", false));
             deep.WriteText(L"Key", L"secret");
         }
         CHECK(s.HasSubkey(L"RATINGS\\deep\\deeper"));
         CHECK(s.RemoveKey(L"ratings"));
         CHECK_FALSE(s.HasSubkey(L"Ratings"));
         CHECK_FALSE(s.RemoveKey(L"Ratings"));
         CHECK_FALSE(s.RemoveKey(L""));
         CHECK_FALSE(s.HasSubkey(L""));
         CHECK(ErrorOf([&] { s.AddSubkey(L""); }) == L"Failed to create key ");
         s.AddSubkey(L"Ratings");
         TRegistryStore again(b);
         REQUIRE(again.Open(key + L"\\Ratings", false));
         CHECK_FALSE(again.HasAnySubkey());
         CHECK(again.ListValueNames().empty());
     }},
    {"a key removed under an open store: reads find nothing, writes fail",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore held(b);
         REQUIRE(held.Open(key + L"\\Gone\\Child", true));
         held.WriteText(L"v", L"x");
         TRegistryStore remover(b);
         REQUIRE(remover.Open(key, false));
         CHECK(remover.RemoveKey(L"Gone"));
         CHECK_FALSE(held.HasValue(L"v"));
         CHECK(held.ReadText(L"v") == L"");
         CHECK(ErrorOf([&] { held.WriteText(L"v", L"y"); }) == L"Failed to set data for 'v'");
         CHECK_FALSE(remover.HasSubkey(L"Gone"));
     }},
    {"text lists: absent, split, stop at the first empty entry, wrong type, clear",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore s(b);
         REQUIRE(s.Open(key, false));
         using TList = std::vector<std::wstring>;
         s.WriteValue(L"Two", RegTextList({L"a", L"b"}));
         s.WriteValue(L"Gap", RawText(std::wstring(L"a\0\0b\0\0", 6), REG_MULTI_SZ));
         s.WriteValue(L"Unended", RawText(std::wstring(L"a\0b", 3), REG_MULTI_SZ));
         s.WriteValue(L"Nothing", RegBytes({}, REG_MULTI_SZ));
         s.WriteText(L"Text", L"a");
         const TRegRoot hkcu = TRegRoot::CurrentUser;
         CHECK(s.ReadTextList(hkcu, key, L"Two") == TList{L"a", L"b"});
         CHECK(s.ReadTextList(hkcu, key, L"Gap") == TList{L"a"});
         CHECK(s.ReadTextList(hkcu, key, L"Unended") == TList{L"a", L"b"});
         CHECK(s.ReadTextList(hkcu, key, L"Nothing").empty());
         CHECK(s.ReadTextList(hkcu, key, L"Absent").empty());
         CHECK(s.ReadTextList(hkcu, key + L"\\Absent", L"Two").empty());
         CHECK(ErrorOf([&] { s.ReadTextList(hkcu, key, L"Text"); }) == L"Invalid data type for 'Text'");
         s.ClearTextList(hkcu, key, L"Two");
         CHECK(s.ReadValue(L"Two")->Type == DWORD(REG_MULTI_SZ));
         CHECK(s.ReadTextList(hkcu, key, L"Two").empty());
         s.ClearTextList(hkcu, key + L"\\Absent", L"Two");
         CHECK_FALSE(s.HasSubkey(L"Absent"));
         s.ClearTextList(hkcu, key, L"New");  // the key opens, so the value is made
         CHECK(s.ReadValue(L"New")->Type == DWORD(REG_MULTI_SZ));
     }},
    {"roots and views: HKCR is the machine's Software\\Classes; the 32-bit view has its own Software",
     [](TRegistryBackend& b, const std::wstring& key) {
         TRegistryStore classes(b, TRegRoot::ClassesRoot);
         REQUIRE(classes.Open(key, true));
         classes.WriteText(L"", L"regfile");
         TRegistryStore machine(b, TRegRoot::LocalMachine);
         REQUIRE(machine.Open(L"Software\\Classes\\" + key, false));
         CHECK(machine.ReadText(L"") == L"regfile");

         TRegistryStore wow32(b, TRegRoot::LocalMachine, TRegView::Wow32);
         REQUIRE(wow32.Open(key, true));  // key starts with "Software\"
         wow32.WriteNumber(L"Bits", 32);
         TRegistryStore native(b, TRegRoot::LocalMachine);
         CHECK_FALSE(native.Open(key, false));
         TRegistryStore wow64(b, TRegRoot::LocalMachine, TRegView::Wow64);
         CHECK_FALSE(wow64.Open(key, false));
         const std::wstring below = key.substr(key.find(L'\\') + 1);
         REQUIRE(native.Open(L"Software\\Wow6432Node\\" + below, false));
         CHECK(native.ReadNumber(L"Bits") == 32);
     }},
};

}  // namespace

TEST_CASE("registry contract: the real registry and the substitute agree") {
    const std::wstring base = L"Software\\SurfkeepContract" + std::to_wstring(::GetCurrentProcessId());
    sktest::TScratchKeys scratch({{TRegRoot::CurrentUser, base},
                                  {TRegRoot::LocalMachine, base},
                                  {TRegRoot::LocalMachine, L"Software\\Wow6432Node\\" + base.substr(9)},
                                  {TRegRoot::LocalMachine, L"Software\\Classes\\" + base}});
    int index = 0;
    for (const auto& c : ContractCases) {
        const std::wstring key = base + L"\\Case" + std::to_wstring(index++);
        for (const bool real : {true, false}) {
            INFO(std::string(c.Name) << (real ? " [real registry]" : " [substitute]"));
            TMemoryRegistryBackend memory;
            TRegistryBackend& backend = real ? WindowsRegistryBackend() : memory;
            TRegistryStore(backend).Open(key, true);
            c.Run(backend, key);
        }
    }
}

TEST_CASE("substitute: refused keys and failing writes") {
    TMemoryRegistryBackend b;
    TRegistryStore(b, TRegRoot::LocalMachine).Open(L"Software\\Locked\\Inner", true);
    b.Refuse(TRegRoot::LocalMachine, L"Software\\Locked");
    TRegistryStore s(b, TRegRoot::LocalMachine);
    CHECK_FALSE(s.Open(L"Software\\Locked", false));
    CHECK_FALSE(s.Open(L"Software\\Locked", true));
    CHECK(s.Open(L"Software\\Locked\\Inner", false));  // access is per key
    CHECK_FALSE(s.Open(L"Software\\Locked\\New", true));
    REQUIRE(s.Open(L"Software", false));
    CHECK(s.HasSubkey(L"Locked"));
    CHECK(s.ListSubkeys() == std::vector<std::wstring>{L"Locked"});
    CHECK_FALSE(s.RemoveKey(L"Locked"));

    b.FailWrites(true);
    CHECK(ErrorOf([&] { s.WriteNumber(L"n", 1); }) == L"Failed to set data for 'n'");
    CHECK(ErrorOf([&] { s.AddSubkey(L"Fresh"); }) == L"Failed to create key Fresh");
    CHECK_FALSE(s.Open(L"Software\\Fresh", true));
    CHECK(s.Open(L"Software", true));  // an existing key still opens
    b.FailWrites(false);
    s.AddSubkey(L"Fresh");
    CHECK(s.HasSubkey(L"Fresh"));
}

TEST_CASE("registry paths: normalized, joined and split into key names") {
    CHECK(NormalizeRegPath(L"\\a\\\\b\\") == L"a\\b");
    CHECK(JoinRegPath(L"a\\", L"\\b") == L"a\\b");
    const std::pair<std::wstring, std::vector<std::wstring>> cases[] = {
        {L"", {}},
        {L"\\\\", {}},
        {L"Software", {L"Software"}},
        {L"\\Software\\\\Classes\\CLSID\\", {L"Software", L"Classes", L"CLSID"}},
        {L"Software\\Microsoft\\Internet Explorer", {L"Software", L"Microsoft", L"Internet Explorer"}},
    };
    for (const auto& [path, names] : cases) {
        CAPTURE(path);
        CHECK(SplitRegPath(path) == names);
    }
}
