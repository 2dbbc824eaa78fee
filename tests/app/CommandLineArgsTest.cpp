// The command line taken apart: what each accepted line asks for, why each refused one is refused,
// which commands change the machine, and the add-on ids that /plugins prints and /remove takes.
#include "TestSupport.h"

#include "app/CommandLineArgs.h"
#include "base/Format.h"
#include "base/StringTable.h"
#include "clean/IECleaner.h"

using namespace sk;

namespace {

using TArgs = std::vector<std::wstring>;

TCliRequest Accepted(const TArgs& args) {
    const TCliParse parse = ParseCommandLine(args);
    INFO("problem: " << sktest::Narrow(parse.Problem));
    REQUIRE(parse.Ok());
    return parse.Request;
}

}  // namespace

TEST_CASE("accepted command lines ask for what they say") {
    struct TCase {
        TArgs Args;
        TCliRequest Expected;
    };
    const auto request = [](TCliCommand command) {
        TCliRequest r;
        r.Command = command;
        return r;
    };
    std::vector<TCase> cases;
    cases.push_back({{}, request(TCliCommand::Window)});
    cases.push_back({{L"/?"}, request(TCliCommand::Help)});
    cases.push_back({{L"/HELP"}, request(TCliCommand::Help)});
    cases.push_back({{L"/scan"}, request(TCliCommand::Scan)});
    {
        TCliRequest r = request(TCliCommand::Scan);
        r.JsonFile = L"C:\\Reports\\Scan Result.json";
        cases.push_back({{L"/Scan", L"/JSON", L"C:\\Reports\\Scan Result.json"}, r});
        cases.push_back({{L"/json", L"C:\\Reports\\Scan Result.json", L"/SCAN"}, r});
        r.JsonFile = L"-";
        cases.push_back({{L"/scan", L"/json", L"-"}, r});
    }
    {
        TCliRequest r = request(TCliCommand::Repair);
        r.AllItems = true;
        cases.push_back({{L"/repair", L"all"}, r});
        cases.push_back({{L"/REPAIR", L"All"}, r});
    }
    {
        // Commas, separate arguments or both; in the order given, each once.
        TCliRequest r = request(TCliCommand::Repair);
        r.Items = {9, 0, 4, 21};
        cases.push_back({{L"/repair", L"9,0,4,21"}, r});
        cases.push_back({{L"/repair", L"9", L"0,4", L"21"}, r});
        cases.push_back({{L"/repair", L"9,0,9", L"4,0", L"21", L"4"}, r});
        r.JsonFile = L"out.json";
        cases.push_back({{L"/repair", L"9,0", L"4,21", L"/json", L"out.json"}, r});
    }
    {
        TCliRequest r = request(TCliCommand::Clean);
        r.Categories = {IECleanTempFiles, IECleanCookies, IECleanTypedUrls, IECleanHistory};
        cases.push_back({{L"/clean", L"all"}, r});
        cases.push_back({{L"/clean", L"history,addresses", L"COOKIES,temp"}, r});
        r.Categories = {IECleanCookies, IECleanHistory};
        cases.push_back({{L"/clean", L"history,cookies,history"}, r});
    }
    cases.push_back({{L"/plugins"}, request(TCliCommand::PlugIns)});
    {
        TCliRequest r = request(TCliCommand::Remove);
        r.PlugInIds = {L"menu:E%26xport%20to%20Excel", L"com:wow32:{AB12}"};
        r.PlugIns = {{TPlugInKind::MenuExtension, std::nullopt, L"E&xport to Excel"},
                     {TPlugInKind::ComAddOn, TRegView::Wow32, L"{AB12}"}};
        cases.push_back({{L"/remove", L"menu:E%26xport%20to%20Excel,com:wow32:{AB12}"}, r});
        // The same add-on twice (a CLSID in other letters): once.
        cases.push_back({{L"/remove", L"menu:E%26xport%20to%20Excel", L"com:wow32:{AB12},COM:WOW32:{ab12}"}, r});
    }
    for (const auto& [word, action] : {std::pair{L"on", TCliShieldAction::On}, {L"OFF", TCliShieldAction::Off},
                                       {L"Update", TCliShieldAction::Update}, {L"status", TCliShieldAction::Status}}) {
        TCliRequest r = request(TCliCommand::Shield);
        r.Shield = action;
        cases.push_back({{L"/shield", word}, r});
    }
    {
        TCliRequest r = request(TCliCommand::Restore);
        r.Restore = TCliRestoreAction::List;
        cases.push_back({{L"/restore", L"list"}, r});
        r.Restore = TCliRestoreAction::Last;
        cases.push_back({{L"/restore", L"LAST"}, r});
        r.Force = true;
        cases.push_back({{L"/restore", L"last", L"/force"}, r});
        cases.push_back({{L"/FORCE", L"/restore", L"last"}, r});
        // An id keeps its letters as given.
        r.Restore = TCliRestoreAction::Point;
        r.RestoreId = L"20261210-134400-305-Repair";
        cases.push_back({{L"/restore", L"20261210-134400-305-Repair", L"/force"}, r});
    }

    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.Args.empty() ? L"(none)" : c.Args.front()));
        CAPTURE(c.Args.size());
        CHECK(Accepted(c.Args) == c.Expected);
    }
}

TEST_CASE("refused command lines say why") {
    struct TCase {
        TArgs Args;
        std::wstring Problem;
    };
    const std::vector<TCase> cases = {
        {{L"scan"}, Fmt(IDS_COMMANDLINE_Unexpected, L"scan")},
        {{L"-scan"}, Fmt(IDS_COMMANDLINE_Unexpected, L"-scan")},
        {{L"/scan", L"now"}, Fmt(IDS_COMMANDLINE_Unexpected, L"now")},
        {{L"/plugins", L"all"}, Fmt(IDS_COMMANDLINE_Unexpected, L"all")},
        {{L"/bogus"}, Fmt(IDS_COMMANDLINE_UnknownSwitch, L"/bogus")},
        {{L"/"}, Fmt(IDS_COMMANDLINE_UnknownSwitch, L"/")},
        {{L"/scan", L"/plugins"}, Fmt(IDS_COMMANDLINE_OneCommand, L"/plugins")},
        {{L"/scan", L"/scan"}, Fmt(IDS_COMMANDLINE_OneCommand, L"/scan")},
        {{L"/json", L"out.json"}, IDS_COMMANDLINE_NoCommand},
        {{L"/scan", L"/json"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/json")},
        {{L"/scan", L"/json", L""}, Fmt(IDS_COMMANDLINE_MissingValue, L"/json")},
        {{L"/json", L"/scan"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/json")},
        {{L"/scan", L"/json", L"a", L"/JSON", L"b"}, Fmt(IDS_COMMANDLINE_Twice, L"/JSON")},
        {{L"/restore", L"last", L"/force", L"/force"}, Fmt(IDS_COMMANDLINE_Twice, L"/force")},
        {{L"/repair"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/repair")},
        {{L"/repair", L"/json", L"x"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/repair")},
        {{L"/repair", L"all,3"}, Fmt(IDS_COMMANDLINE_AllAlone, L"/repair")},
        {{L"/repair", L"3", L"all"}, Fmt(IDS_COMMANDLINE_AllAlone, L"/repair")},
        {{L"/repair", L"22"}, Fmt(IDS_COMMANDLINE_BadItem, L"22")},
        {{L"/repair", L"-1"}, Fmt(IDS_COMMANDLINE_BadItem, L"-1")},
        {{L"/repair", L"4x"}, Fmt(IDS_COMMANDLINE_BadItem, L"4x")},
        {{L"/repair", L"004"}, Fmt(IDS_COMMANDLINE_BadItem, L"004")},
        {{L"/repair", L"0,,4"}, Fmt(IDS_COMMANDLINE_BadItem, L"")},
        {{L"/repair", L"\x0664"}, Fmt(IDS_COMMANDLINE_BadItem, L"\x0664")},  // an Arabic-Indic four
        {{L"/clean"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/clean")},
        {{L"/clean", L"temp,cache"}, Fmt(IDS_COMMANDLINE_BadCategory, L"cache")},
        {{L"/clean", L"cookies", L"all"}, Fmt(IDS_COMMANDLINE_AllAlone, L"/clean")},
        {{L"/remove"}, Fmt(IDS_COMMANDLINE_MissingValue, L"/remove")},
        {{L"/remove", L"Export to Excel"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"Export to Excel")},
        {{L"/remove", L"menu:"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"menu:")},
        {{L"/remove", L"menu:%zz"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"menu:%zz")},
        {{L"/remove", L"menu:%C3"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"menu:%C3")},  // half a character
        {{L"/remove", L"com:{AB12}"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"com:{AB12}")},
        {{L"/remove", L"com:wow16:{AB12}"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"com:wow16:{AB12}")},
        {{L"/remove", L"dll:{AB12}"}, Fmt(IDS_COMMANDLINE_BadPlugInId, L"dll:{AB12}")},
        {{L"/shield"}, Fmt(IDS_COMMANDLINE_BadShieldAction, L"/shield")},
        {{L"/shield", L"on,off"}, Fmt(IDS_COMMANDLINE_BadShieldAction, L"/shield")},
        {{L"/shield", L"on", L"off"}, Fmt(IDS_COMMANDLINE_BadShieldAction, L"/shield")},
        {{L"/shield", L"enable"}, Fmt(IDS_COMMANDLINE_BadShieldAction, L"/shield")},
        {{L"/restore"}, Fmt(IDS_COMMANDLINE_BadRestore, L"/restore")},
        {{L"/restore", L"last,list"}, Fmt(IDS_COMMANDLINE_BadRestore, L"/restore")},
        {{L"/restore", L"a", L"b"}, Fmt(IDS_COMMANDLINE_BadRestore, L"/restore")},
        {{L"/restore", L"list", L"/force"}, IDS_COMMANDLINE_ForceOnlyRestore},
        {{L"/repair", L"all", L"/force"}, IDS_COMMANDLINE_ForceOnlyRestore},
        {{L"/force"}, IDS_COMMANDLINE_NoCommand},
        {{L"/?", L"/json", L"-"}, Fmt(IDS_COMMANDLINE_Unexpected, L"/json")},
    };
    for (const TCase& c : cases) {
        std::wstring line;
        for (const std::wstring& a : c.Args) line += L"[" + a + L"]";
        CAPTURE(sktest::Narrow(line));
        const TCliParse parse = ParseCommandLine(c.Args);
        CHECK_FALSE(parse.Ok());
        CHECK(parse.Problem == c.Problem);
    }
}

TEST_CASE("only the commands that change the machine are kept from running beside the window") {
    struct TCase {
        TArgs Args;
        bool Changes;
    };
    const std::vector<TCase> cases = {
        {{L"/scan"}, false},           {{L"/plugins"}, false},          {{L"/shield", L"status"}, false},
        {{L"/restore", L"list"}, false}, {{L"/?"}, false},              {{L"/repair", L"all"}, true},
        {{L"/repair", L"3"}, true},    {{L"/clean", L"temp"}, true},    {{L"/remove", L"menu:x"}, true},
        {{L"/shield", L"on"}, true},   {{L"/shield", L"off"}, true},    {{L"/shield", L"update"}, true},
        {{L"/restore", L"last"}, true}, {{L"/restore", L"some-id"}, true},
    };
    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.Args.back()));
        CHECK(ChangesMachine(Accepted(c.Args)) == c.Changes);
    }
}

TEST_CASE("an add-on id names exactly its add-on and reads back to it") {
    const std::vector<TPlugInRef> plugIns = {
        {TPlugInKind::MenuExtension, std::nullopt, L"E&xport to Microsoft Excel"},
        {TPlugInKind::MenuExtension, std::nullopt, L"a,b:c \"d\" 100% \t/x"},
        {TPlugInKind::MenuExtension, std::nullopt, L"\u00DCbersetzen \u2013 \u7FFB\u8A33 \U0001F600"},
        {TPlugInKind::MenuExtension, std::nullopt, L"-._~{}"},
        {TPlugInKind::ComAddOn, TRegView::Native, L"{AB12CD34-0000-1111-2222-333344445555}"},
        {TPlugInKind::ComAddOn, TRegView::Wow32, L"{AB12CD34-0000-1111-2222-333344445555}"},
        {TPlugInKind::ComAddOn, TRegView::Wow64, L"{00000000-0000-0000-0000-00000000000A}"},
    };
    std::vector<std::wstring> ids;
    for (const TPlugInRef& p : plugIns) {
        const std::wstring id = PlugInId(p);
        CAPTURE(sktest::Narrow(id));
        ids.push_back(id);
        // Nothing a command line or a list splits at.
        const size_t kindEnd = id.find(L':') + 1;
        const size_t nameStart = p.Kind == TPlugInKind::ComAddOn ? id.find(L':', kindEnd) + 1 : kindEnd;
        CHECK(id.find_first_of(L" ,\"\t:/", nameStart) == std::wstring::npos);
        for (wchar_t c : id) CHECK(c < 0x80);
        const std::optional<TPlugInRef> back = ParsePlugInId(id);
        REQUIRE(back.has_value());
        CHECK(*back == p);
        CHECK(SamePlugIn(*back, p));
    }
    CHECK(ids[0] == L"menu:E%26xport%20to%20Microsoft%20Excel");
    CHECK(ids[2] == L"menu:%C3%9Cbersetzen%20%E2%80%93%20%E7%BF%BB%E8%A8%B3%20%F0%9F%98%80");
    CHECK(ids[3] == L"menu:-._~{}");
    CHECK(ids[4] == L"com:native:{AB12CD34-0000-1111-2222-333344445555}");
    CHECK(ids[5] == L"com:wow32:{AB12CD34-0000-1111-2222-333344445555}");
    // Every id differs from the others.
    for (size_t i = 0; i < ids.size(); ++i)
        for (size_t j = i + 1; j < ids.size(); ++j) CHECK(ids[i] != ids[j]);

    // A CLSID in other letters is the same add-on; a name in other letters, or another view, is not.
    const TPlugInRef lower{TPlugInKind::ComAddOn, TRegView::Native, L"{ab12cd34-0000-1111-2222-333344445555}"};
    CHECK(PlugInId(lower) == ids[4]);
    CHECK(SamePlugIn(lower, plugIns[4]));
    CHECK_FALSE(SamePlugIn(lower, plugIns[5]));
    CHECK_FALSE(SamePlugIn({TPlugInKind::MenuExtension, std::nullopt, L"e&xport to microsoft excel"}, plugIns[0]));
    CHECK_FALSE(SamePlugIn({TPlugInKind::MenuExtension, std::nullopt, plugIns[4].Name}, plugIns[4]));
    // A name typed as it is, without a comma or "%", names its add-on too.
    CHECK(*ParsePlugInId(L"menu:E&xport to Microsoft Excel") == plugIns[0]);
    CHECK(*ParsePlugInId(L"MENU:E%26xport%20to%20Microsoft%20Excel") == plugIns[0]);
}
