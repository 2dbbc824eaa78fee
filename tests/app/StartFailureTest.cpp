// The program's start inside the test process: a start that fails ends with the error box and exit
// code 1, whatever failed; the title a second copy looks for is read without writing anything.
#include "TestSupport.h"

#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include "app/Application.h"
#include "base/Errors.h"
#include "base/Handles.h"
#include "base/MessageBox.h"
#include "base/Paths.h"
#include "base/StringTable.h"

using namespace sk;

namespace {

struct TBox {
    HWND Owner;
    std::wstring Text, Caption;
    UINT Style;
};
std::vector<TBox> gBoxes;
int BoxHook(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
    gBoxes.push_back({owner, text, caption, style});
    return IDOK;
}

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

}  // namespace

TEST_CASE("a start that fails says why in the error box and ends with 1, whatever failed") {
    ResetStringTable();
    SetMessageBoxHook(BoxHook);
    struct TCase {
        const char* Name;
        std::function<int()> Start;
        int Code;
        std::wstring Box;  // "" for none
    };
    const TCase cases[] = {
        {"a start that runs its window to the end", [] { return 0; }, 0, L""},
        {"the exit code of the message loop", [] { return 7; }, 7, L""},
        {"an error of the program", []() -> int { throw TError(L"Unable to write to C:\\x\\hosts"); }, 1,
         L"Unable to write to C:\\x\\hosts."},
        {"the window cannot be made", []() -> int { throw TError(IDS_SURFKEEP_WindowFailed); }, 1,
         L"The main window could not be created."},
        {"too little memory", []() -> int { throw std::bad_alloc(); }, 1,
         L"There is not enough memory to start Surfkeep."},
        {"another standard exception", []() -> int { throw std::runtime_error("vector too long"); }, 1,
         L"vector too long."},
    };
    for (const auto& c : cases) {
        CAPTURE(c.Name);
        gBoxes.clear();
        CHECK(RunGuardedStart(c.Start) == c.Code);
        if (c.Box.empty()) {
            CHECK(gBoxes.empty());
        } else {
            REQUIRE(gBoxes.size() == 1);
            CHECK(gBoxes[0].Text == c.Box);
            CHECK(gBoxes[0].Caption == L"Surfkeep");
            CHECK(gBoxes[0].Style == (MB_OK | MB_ICONSTOP));
            CHECK(gBoxes[0].Owner == nullptr);
        }
    }
    SetMessageBoxHook(nullptr);
}

HWND gMade = nullptr;
bool gMadeAliveAtBox = false;

TEST_CASE("a window made before the failure is gone when the box shows") {
    ResetStringTable();
    gBoxes.clear();
    SetMessageBoxHook([](HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
        gMadeAliveAtBox = gMade && ::IsWindow(gMade);
        gBoxes.push_back({owner, text, caption, style});
        return IDOK;
    });
    struct TWindow {
        HWND Handle;
        ~TWindow() { ::DestroyWindow(Handle); }
    };
    const int code = RunGuardedStart([]() -> int {
        TWindow window{::CreateWindowExW(0, L"STATIC", L"Surfkeep", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                         nullptr)};
        gMade = window.Handle;
        throw TError(IDS_SURFKEEP_WindowFailed);
    });
    CHECK(code == 1);
    CHECK(gMade != nullptr);
    CHECK_FALSE(gMadeAliveAtBox);
    REQUIRE(gBoxes.size() == 1);
    CHECK(gBoxes[0].Owner == nullptr);
    SetMessageBoxHook(nullptr);
}

TEST_CASE("the title a second copy looks for comes from the language pack, and nothing is written") {
    ResetStringTable();
    sktest::TTempDir dir;
    const std::wstring exe = dir / L"surfkeep.exe";
    CHECK(ReadFormTitle(exe) == L"Surfkeep");
    CHECK(FilesBelow(dir.Path()).empty());

    ::CreateDirectoryW((dir / L"config").c_str(), nullptr);
    sktest::WriteUtf16File(dir / L"config\\config.ini", L"[LANGUAGE]\r\nLanguage=1031\r\n");
    CHECK(ReadFormTitle(exe) == L"Surfkeep");  // no pack for that language
    ::CreateDirectoryW((dir / L"langs").c_str(), nullptr);
    ::CreateDirectoryW((dir / L"langs\\1031").c_str(), nullptr);
    sktest::WriteUtf16File(dir / L"langs\\1031\\surfkeep.ini", L"[Surfkeep Langs]\r\nIDS_SURFKEEP_FormTitle=Surfkeep \x00FC\r\n");
    CHECK(ReadFormTitle(exe) == L"Surfkeep \x00FC");
    CHECK(ReadFormTitle(dir / L"other.exe") == L"Surfkeep");  // a pack is named after its program
    CHECK(FilesBelow(dir.Path()) == std::vector<std::wstring>{L"config", L"langs"});
    CHECK(FilesBelow(dir / L"langs\\1031\\") == std::vector<std::wstring>{L"surfkeep.ini"});
}
