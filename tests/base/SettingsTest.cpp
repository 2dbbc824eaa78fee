#include "TestSupport.h"

#include <shlobj.h>

#include <algorithm>

#include "base/Errors.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"

using namespace sk;
using sktest::TTempDir;

namespace {

// Lines of a UTF-16 text file, without their line ends.
std::vector<std::wstring> FileLines(const std::wstring& file) {
    std::vector<std::wstring> lines;
    std::wstring text = sktest::ReadTextFile(file), line;
    for (wchar_t c : text) {
        if (c == L'\n') {
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_CASE("profile file: absent, empty, cut, integers, booleans, sections") {
    TTempDir dir;
    const std::wstring file = dir / L"t.ini";
    std::wstring longValue(3000, L'x');
    longValue[0] = L'a';
    sktest::WriteUtf16File(file, L"[A]\r\nEmpty=\r\nText= hello world \r\nLong=" + longValue +
                                     L"\r\nDec=42\r\nNeg=-7\r\nHex=0x40C\r\nHexUpper=0X1f\r\nShortHex=0x\r\nWord=abc\r\n"
                                     L"Mixed=12abc\r\nZero=0\r\nTwo=2\r\nHuge=99999999999\r\n"
                                     L"[HeaderOnly]\r\n[CommentsOnly]\r\n;just a comment\r\n");
    const TProfileFile ini(file);

    SUBCASE("texts") {
        CHECK(ini.ReadString(L"A", L"Missing", L"def") == L"def");
        CHECK(ini.ReadString(L"A", L"Empty", L"def") == L"");  // present but empty is not absent
        CHECK(ini.ReadString(L"A", L"Text", L"def") == L"hello world");
        CHECK(ini.ReadString(L"a", L"text", L"def") == L"hello world");  // names ignore case
        CHECK(ini.ReadString(L"Nowhere", L"Text", L"def") == L"def");
        const std::wstring cut = ini.ReadString(L"A", L"Long", L"");
        CHECK(cut.size() == 2047);
        CHECK(cut == longValue.substr(0, 2047));
    }
    SUBCASE("integers and booleans") {
        struct Case {
            const wchar_t* key;
            int expected;
        };
        const Case cases[] = {{L"Dec", 42},      {L"Neg", -7},   {L"Hex", 0x40C}, {L"HexUpper", 0x1F},
                              {L"ShortHex", 99}, {L"Word", 99},  {L"Mixed", 99},  {L"Empty", 99},
                              {L"Missing", 99},  {L"Huge", 99}};
        for (const auto& c : cases) {
            CAPTURE(std::wstring(c.key));
            CHECK(ini.ReadInteger(L"A", c.key, 99) == c.expected);
        }
        CHECK(ini.ReadBool(L"A", L"Zero", true) == false);
        CHECK(ini.ReadBool(L"A", L"Two", false) == true);
        CHECK(ini.ReadBool(L"A", L"Missing", true) == true);
        CHECK(ini.ReadBool(L"A", L"Word", false) == false);
    }
    SUBCASE("a section exists only when it holds a key") {
        CHECK(ini.SectionHasKey(L"A"));
        CHECK_FALSE(ini.SectionHasKey(L"HeaderOnly"));
        CHECK_FALSE(ini.SectionHasKey(L"CommentsOnly"));
        CHECK_FALSE(ini.SectionHasKey(L"Nowhere"));
        CHECK_FALSE(TProfileFile(dir / L"none.ini").SectionHasKey(L"A"));
    }
    SUBCASE("blanks at either end and enclosing quotes survive a write and a read") {
        for (const std::wstring v : {L"[Need to repair] ", L"  lead", L"\"quoted\"", L"'single'", L"\"half", L" "}) {
            CAPTURE(v);
            ini.WriteString(L"Q", L"V", v);
            CHECK(ini.ReadString(L"Q", L"V", L"") == v);
        }
    }
    SUBCASE("writes replace in place and append new keys and sections in order") {
        ini.WriteString(L"A", L"Dec", L"43");
        ini.WriteInteger(L"New", L"First", 1);
        ini.WriteBool(L"New", L"Second", false);
        CHECK(ini.ReadInteger(L"A", L"Dec", 0) == 43);
        const auto lines = FileLines(file);
        REQUIRE(lines.size() >= 3);
        CHECK(lines[lines.size() - 3] == L"[New]");
        CHECK(lines[lines.size() - 2] == L"First=1");
        CHECK(lines[lines.size() - 1] == L"Second=0");
    }
}

TEST_CASE("profile section: reads every key as the single-key reads do") {
    // The language pack is read a section at a time; each key must come out exactly as reading it
    // alone would give it, whatever the file holds.
    TTempDir dir;
    const std::wstring file = dir / L"pack.ini";
    std::wstring longValue(3000, L'y');
    sktest::WriteUtf16File(file, L"[Other]\r\nPlain=from another section\r\n"
                                 L"[S]\r\n"
                                 L"Plain=text\r\n"
                                 L"  Padded  =  both ends  \r\n"
                                 L"Tabbed=\tx\t\r\n"
                                 L"Quoted=\"[Need to repair] \"\r\n"
                                 L"Single=' a '\r\n"
                                 L"Half=\"open\r\n"
                                 L"Mismatched=\"a'\r\n"
                                 L"Inner=a \"b\" c\r\n"
                                 L"Empty=\r\n"
                                 L"EmptyQuotes=\"\"\r\n"
                                 L"Equals=a=b=c\r\n"
                                 L"Escaped=line\\none\r\n"
                                 L"Twice=first\r\nTWICE=second\r\n"
                                 L"Unicode=\u4E2D\u6587 \u00E9\r\n"
                                 L"NoValueLine\r\n"
                                 L";Comment=not a key\r\n"
                                 L"Long=" + longValue + L"\r\n"
                                 L"[Third]\r\nAfter=x\r\n");
    const TProfileFile ini(file);
    const TProfileSection section = ini.ReadSection(L"s");
    CHECK_FALSE(section.Empty());
    for (const wchar_t* key : {L"Plain", L"Padded", L"padded", L"Tabbed", L"Quoted", L"Single", L"Half", L"Mismatched",
                               L"Inner", L"Empty", L"EmptyQuotes", L"Equals", L"Escaped", L"Twice", L"Unicode",
                               L"Long", L"After", L"Missing", L"NoValueLine"}) {
        CAPTURE(std::wstring(key));
        CHECK(section.ReadString(key, L"<absent>") == ini.ReadString(L"S", key, L"<absent>"));
    }
    CHECK(section.ReadString(L"Quoted", L"") == L"[Need to repair] ");
    CHECK(section.ReadString(L"Long", L"").size() == 2047);
    CHECK(ini.ReadSection(L"Nowhere").Empty());
    CHECK(TProfileFile(dir / L"none.ini").ReadSection(L"S").Empty());
}

TEST_CASE("profile file: new files are UTF-16 and keep any language") {
    TTempDir dir;
    const std::wstring file = dir / L"new.ini";
    const TProfileFile ini(file);
    const std::wstring text = L"Information\xFF01 \x6846 \x3002 \x00E9\x00FC \x0416";
    ini.WriteString(L"S", L"K", text);
    const auto bytes = sktest::ReadBytes(file);
    REQUIRE(bytes.size() > 2);
    CHECK(bytes[0] == 0xFF);
    CHECK(bytes[1] == 0xFE);
    CHECK(ini.ReadString(L"S", L"K", L"") == text);
}

TEST_CASE("profile file: a write that cannot happen raises 'Unable to write to <file>'") {
    TTempDir dir;
    const std::wstring file = dir / L"no-such-folder\\x.ini";
    try {
        TProfileFile(file).WriteString(L"S", L"K", L"V");
        FAIL("no error raised");
    } catch (const TWriteError& e) {
        CHECK(e.Message() == L"Unable to write to " + file);
    }
}

TEST_CASE("EscapeText and UnescapeText") {
    struct Case {
        std::wstring plain, escaped;
    };
    const Case escapes[] = {
        {L"", L""},
        {L"a\r\nb", L"a\\nb"},
        {L"a\rb", L"a\\nb"},
        {L"a\nb", L"a\\nb"},
        {L"a\r\n\r\nb", L"a\\n\\nb"},
        {L"\t\b\v\f", L"\\t\\b\\v\\f"},
        {L"C:\\dir", L"C:\\\\dir"},
        {L"plain text", L"plain text"},
        {L"\x6846\x3002", L"\x6846\x3002"},
    };
    for (const auto& c : escapes) {
        CAPTURE(c.plain);
        CHECK(EscapeText(c.plain) == c.escaped);
    }
    const Case unescapes[] = {
        {L"two\r\nlines", L"two\\nlines"},
        {L"one\\", L"one\\\\"},            // a doubled backslash is one
        {L"\\x41", L"\\x41"},              // unknown escapes keep their backslash
        {L"a\\qb", L"a\\qb"},
        {L"end\\", L"end\\"},              // a final lone backslash is copied
        {std::wstring(L"a\0b", 3), L"a\\0b"},
        {L"\t\v\b\f", L"\\t\\v\\b\\f"},
        {L"\\n", L"\\\\n"},                // an escaped backslash does not start an escape
        {L"", L""},
    };
    for (const auto& c : unescapes) {
        CAPTURE(c.escaped);
        CHECK(UnescapeText(c.escaped) == c.plain);
    }
    // A round trip turns every kind of line break into CR LF.
    CHECK(UnescapeText(EscapeText(L"a\rb\nc\r\nd\\e")) == L"a\r\nb\r\nc\r\nd\\e");
}

TEST_CASE("path helpers") {
    struct Case {
        std::wstring in, out;
    };
    for (const auto& c : {Case{L"", L""}, Case{L"C:\\a", L"C:\\a\\"}, Case{L"C:\\a\\", L"C:\\a\\"}, Case{L"\\", L"\\"}}) {
        CAPTURE(c.in);
        CHECK(WithTrailingBackslash(c.in) == c.out);
    }
    for (const auto& c : {Case{L"C:\\Windows\\system32\\drivers\\etc\\hosts", L"C:\\Windows\\system32\\drivers\\etc\\"},
                          Case{L"C:hosts", L"C:\\"}, Case{L"hosts", L""}, Case{L"C:\\dir\\", L"C:\\dir\\"},
                          Case{L"\\\\server\\share\\f.txt", L"\\\\server\\share\\"}}) {
        CAPTURE(c.in);
        CHECK(FileFolderOf(c.in) == c.out);
    }
    CHECK(ChangeFileExt(L"surfkeep.exe", L".ini") == L"surfkeep.ini");
    CHECK(ChangeFileExt(L"surfkeep", L".ini") == L"surfkeep.ini");
    CHECK(ChangeFileExt(L"my.app.exe", L".ini") == L"my.app.ini");
    CHECK(FileExtOf(L"C:\\Help\\surfkeep.htm") == L".htm");
    CHECK(FileExtOf(L"http://www.example.com/a.b/page.HTM") == L".HTM");
    CHECK(FileExtOf(L"C:\\my.folder\\readme") == L"");
    CHECK(FileExtOf(L"notes. old") == L"");
    CHECK(FileExtOf(L"archive.tar.gz") == L".gz");
    const std::wstring system = SpecialFolderPath(CSIDL_SYSTEM, false);
    CHECK(!system.empty());
    CHECK(system.back() == L'\\');
    CHECK(SpecialFolderPath(0x7FFF, false) == L"");
}

TEST_CASE("first start in an empty folder creates the settings file and the English pack") {
    TTempDir dir;
    ResetStringTable();
    LoadSettingsFor(dir / L"surfkeep.exe");
    LoadStringTable();

    CHECK(ProgramFolder == dir.Path());
    CHECK(ConfigFileName == dir / L"config\\config.ini");
    CHECK(LanguageId == 1033);
    CHECK(LangPackFileName == dir / L"langs\\1033\\surfkeep.ini");
    CHECK(HelpFileName == dir / L"langs\\1033\\help.chm");
    CHECK(ProductVersionText == L"");  // no such executable, so no version
    CHECK_FALSE(FileExists(HelpFileName));

    CHECK(FileLines(ConfigFileName) == std::vector<std::wstring>{L"[LANGUAGE]", L"Language=1033"});

    // The pack: every key in order, "ModifyTime" after the About group, the plug-in group last,
    // the non-ASCII texts intact and line breaks escaped.
    const auto lines = FileLines(LangPackFileName);
    const auto entries = StringTableEntries();
    REQUIRE(lines.size() == entries.size() + 2);
    CHECK(lines[0] == L"[Surfkeep Langs]");
    size_t line = 1;
    for (const auto& e : entries) {
        const std::wstring expected = std::wstring(e.Key) + L"=" + ProfileStoredText(EscapeText(e.BuiltIn));
        CHECK(lines[line++] == expected);
        if (std::wstring(e.Key) == L"IDS_ABOUT_Close") CHECK(lines[line++] == L"ModifyTime=//[20100907]");
    }
    CHECK(lines[1] == L"IDS_SURFKEEP_FormTitle=Surfkeep");
    bool sawForum = false, sawTurnOff = false;
    for (const auto& l : lines) {
        sawForum |= l == L"IDS_SURFKEEP_Forum=Forum";
        sawTurnOff |= l == L"IDS_IESECURITY_TurnOffInfo=IE security shield was turned off.\\nTurning it on is recommended.";
    }
    CHECK(sawForum);
    CHECK(std::find(lines.begin(), lines.end(), L"IDS_IEREPAIR_Changed=\"[Need to repair] \"") != lines.end());
    CHECK(sawTurnOff);
    // Reading the fresh pack gives the built-in texts back, unchanged.
    for (const auto& e : entries) {
        CAPTURE(std::wstring(e.Key));
        CHECK(*e.Text == e.BuiltIn);
    }
}

TEST_CASE("the Language setting chooses the folder and the pack") {
    struct Case {
        const wchar_t* configText;  // nullptr: no settings file
        int languageId;
        std::vector<std::wstring> configAfter;
    };
    const Case cases[] = {
        {L"[LANGUAGE]\r\nLanguage=0x40C\r\n", 1036, {L"[LANGUAGE]", L"Language=0x40C"}},
        {L"[LANGUAGE]\r\nLanguage=2052\r\n", 2052, {L"[LANGUAGE]", L"Language=2052"}},
        {L"[LANGUAGE]\r\nLanguage=french\r\n", 1033, {L"[LANGUAGE]", L"Language=french"}},  // not corrected
        {L"[LANGUAGE]\r\n", 1033, {L"[LANGUAGE]", L"Language=1033"}},  // empty section gets the key
        {L"[SURFKEEP]\r\nIECookies=0\r\n", 1033, {L"[SURFKEEP]", L"IECookies=0", L"[LANGUAGE]", L"Language=1033"}},
        {L"\x0001\x0002garbage without any structure\r\n\xFFFF", 1033, {}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::wstring(c.configText));
        TTempDir dir;
        CreateFolder(dir / L"config");
        sktest::WriteUtf16File(dir / L"config\\config.ini", c.configText);
        ResetStringTable();
        LoadSettingsFor(dir / L"surfkeep.exe");
        LoadStringTable();
        CHECK(LanguageId == c.languageId);
        const std::wstring folder = dir / (L"langs\\" + std::to_wstring(c.languageId) + L"\\");
        CHECK(DirectoryExists(folder));
        CHECK(LangPackFileName == folder + L"surfkeep.ini");
        CHECK(FileExists(LangPackFileName));
        CHECK(IDS_IEREPAIR_Title == L"Repair");  // a new pack for any language holds the English texts
        if (!c.configAfter.empty()) CHECK(FileLines(ConfigFileName) == c.configAfter);
    }
}

TEST_CASE("a partial or edited language pack") {
    TTempDir dir;
    CreateFolder(dir / L"langs");
    CreateFolder(dir / L"langs\\1033");
    const std::wstring pack = dir / L"langs\\1033\\surfkeep.ini";
    const std::wstring text =
        L"[Surfkeep Langs]\r\n"
        L"IDS_IEREPAIR_Title=R\x00E9parer\r\n"
        L"IDS_IESECURITY_TurnOffInfo=Off.\\nTurn it on.\r\n"
        L"IDS_SURFKEEP_Help=\r\n"
        L"IDS_IECLEAN_Title=C:\\\\Temp\\qx\\\r\n"
        L"IDS_IECLEAN_CleanReport=Done\r\n"
        L"IDS_SURFKEEP_Forum=Community\r\n"
        L"IDS_UNKNOWN_Key=ignored\r\n"
        L"IDS_SHOWALL_Title=" +
        std::wstring(3000, L'w') + L"\r\n";
    sktest::WriteUtf16File(pack, text);
    ResetStringTable();
    LoadSettingsFor(dir / L"surfkeep.exe");
    LoadStringTable();

    CHECK(IDS_IEREPAIR_Title == L"R\x00E9parer");
    CHECK(IDS_IESECURITY_TurnOffInfo == L"Off.\r\nTurn it on.");
    CHECK(IDS_SURFKEEP_Help == L"");  // present and empty blanks the text
    CHECK(IDS_IECLEAN_Title == L"C:\\Temp\\qx\\");
    CHECK(IDS_IECLEAN_CleanReport == L"Done");
    CHECK(IDS_SURFKEEP_Forum == L"Community");
    CHECK(IDS_SHOWALL_Title == std::wstring(2047, L'w'));
    CHECK(IDS_SURFKEEP_FormTitle == L"Surfkeep");  // missing keys keep their built-in texts
    CHECK(IDS_IEREPAIR_MSG_Title == L"Information\xFF01");
    // The pack is never rewritten: the missing keys are not added.
    CHECK(sktest::ReadTextFile(pack) == text);
}

TEST_CASE("a pack whose section has no key is written afresh") {
    TTempDir dir;
    CreateFolder(dir / L"langs");
    CreateFolder(dir / L"langs\\1033");
    const std::wstring pack = dir / L"langs\\1033\\surfkeep.ini";
    sktest::WriteUtf16File(pack, L"[Surfkeep Langs]\r\n; nothing here\r\n");
    ResetStringTable();
    LoadSettingsFor(dir / L"surfkeep.exe");
    LoadStringTable();
    CHECK(TProfileFile(pack).ReadString(kLangPackSection, L"IDS_ABOUT_Close", L"") == L"Close");
    CHECK(TProfileFile(pack).ReadString(kLangPackSection, L"ModifyTime", L"") == L"//[20100907]");
    CHECK(IDS_ABOUT_Close == L"Close");
}

TEST_CASE("a settings folder that cannot be made ends in 'Unable to write to'") {
    TTempDir dir;
    sktest::WriteBytes(dir / L"config", {'x'});  // a file where the folder should be
    try {
        LoadSettingsFor(dir / L"surfkeep.exe");
        FAIL("no error raised");
    } catch (const TWriteError& e) {
        CHECK(e.Message() == L"Unable to write to " + dir / L"config\\config.ini");
        CHECK(ErrorBoxText(e.Message()) == e.Message() + L".");
    }
}

TEST_CASE("error box text gets a full stop unless it already ends in punctuation") {
    CHECK(ErrorBoxText(L"Failed") == L"Failed.");
    CHECK(ErrorBoxText(L"Failed.") == L"Failed.");
    CHECK(ErrorBoxText(L"Failed!") == L"Failed!");
    CHECK(ErrorBoxText(L"Invalid data type for 'X'") == L"Invalid data type for 'X'");
    CHECK(ErrorBoxText(L"Ends in a digit 5") == L"Ends in a digit 5.");
}

TEST_CASE("ReadProductVersion") {
    // The test executable has no version resource.
    CHECK(ReadProductVersion(sktest::TestExeFolder() + L"base_settings_test.exe") == L"");
    CHECK(ReadProductVersion(L"C:\\no\\such\\file.exe") == L"");
    // The program's own resource: language 0409, code page 04e4.
    // The build makes the program before this test (the test depends on it): a missing program is
    // a fault of the build, not a reason to check nothing.
    const std::wstring exe = sktest::TestExeFolder() + L"..\\..\\surfkeep.exe";
    REQUIRE(FileExists(exe));
    CHECK(ReadProductVersion(exe) == L"" SURFKEEP_VERSION_W);
}
