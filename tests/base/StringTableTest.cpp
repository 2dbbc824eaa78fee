#include "TestSupport.h"

#include <set>

#include "base/StringTable.h"

using namespace sk;

TEST_CASE("string table: 208 distinct keys in pack order") {
    // The 178 texts of the first version and the hosts shield's 30 that came with real lists.
    const auto entries = StringTableEntries();
    CHECK(entries.size() == 208);
    std::set<std::wstring> keys;
    for (const auto& e : entries) keys.insert(e.Key);
    CHECK(keys.size() == 208);
    CHECK(std::wstring(entries.front().Key) == L"IDS_SURFKEEP_FormTitle");
    CHECK(std::wstring(entries.back().Key) == L"IDS_IEPLUGIN_BHO");
    // The About group ends with the close button; the plug-in group comes last.
    size_t warning = 0, pluginTitle = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].Text == &IDS_ABOUT_Close) warning = i;
        if (entries[i].Text == &IDS_IEPLUGIN_Title) pluginTitle = i;
    }
    CHECK(pluginTitle == warning + 1);
}

TEST_CASE("string table: built-in texts that are easy to get wrong") {
    ResetStringTable();
    CHECK(IDS_IEREPAIR_MSG_Title == L"Information\xFF01");
    CHECK(IDS_IEREPAIR_Repaired_LogOnAdvertise.back() == L'\x6846');
    CHECK(IDS_IESECURITY_DataInfo == L"%d items in all, top 100 are listed above.\x3002");
    CHECK(IDS_IESECURITY_TurnOffInfo == L"IE security shield was turned off.\r\nTurning it on is recommended.");
    CHECK(IDS_IEREPAIR_ViewSource == L"Repair \"Source\" item in \"View\" menu.");
    CHECK(IDS_SURFKEEP_UpdateTipsTitle == L"Upgrage");
    CHECK(IDS_IECLEAN_Title == L"Cleanning");
    for (const std::wstring* t : {&IDS_IEREPAIR_Changed, &IDS_IEREPAIR_Repaired_IEHistorySetting, &IDS_IEPLUGIN_BHOFile,
                                  &IDS_IEPLUGIN_BHOAppID, &IDS_IEPLUGIN_BHOComObject, &IDS_IEPLUGIN_BHO})
        CHECK(t->back() == L' ');
    // No built-in text holds a backslash, so reading an absent key never changes it.
    for (const auto& e : StringTableEntries()) {
        CAPTURE(std::wstring(e.Key));
        CHECK(std::wstring(e.BuiltIn).find(L'\\') == std::wstring::npos);
        CHECK(!std::wstring(e.BuiltIn).empty());
    }
}
