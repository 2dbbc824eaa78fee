// The windows at the display scale they are shown at. Each case runs at the DPI of the Wine prefix
// it is started in: tests/app/at-each-dpi.sh runs this executable at 96, 120, 144 and 192 dpi
// (LogPixels in the prefix's HKCU\Control Panel\Desktop, read when a program starts). A move to a
// monitor of another scale is a WM_DPICHANGED sent to the window.
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WholeWindow.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/FormAbout.h"
#include "app/FormRestorePoints.h"
#include "base/DisplayScale.h"
#include "base/Fonts.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWImage.h"
#include "controls/KWLabel.h"
#include "kit/TabKit.h"
#include "security/ui/FormAddSecurityItem.h"
#include "security/ui/FormAllHostItems.h"

using namespace sk;
using sktest::RectInParent;
using sktest::SizeOf;

namespace {

// Lengths of the 96-dpi layout within one pixel of their scaled size (edges are scaled one by one).
void CheckNear(int actual, int expected, const char* what) {
    INFO(what << ": " << actual << " against " << expected);
    CHECK(actual >= expected - 1);
    CHECK(actual <= expected + 1);
}

void CheckPlace(HWND wnd, TDisplayScale s, int left, int top, int width, int height) {
    REQUIRE(wnd);
    const RECT r = RectInParent(wnd);
    CheckNear(r.left, s.Scale(left), "left");
    CheckNear(r.top, s.Scale(top), "top");
    CheckNear(r.right - r.left, s.Scale(width), "width");
    CheckNear(r.bottom - r.top, s.Scale(height), "height");
}

void CheckClient(HWND wnd, TDisplayScale s, int width, int height) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    CheckNear(rc.right, s.Scale(width), "client width");
    CheckNear(rc.bottom, s.Scale(height), "client height");
}

int FontHeight(HWND wnd) {
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!font || !::GetObjectW(font, sizeof lf, &lf)) return 0;
    return lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
}

// The height of a line of text in a font of the layout at a DPI.
int LineHeight(const TFontLook& look, int dpi) {
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), ProgramFont(look, dpi));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc.Get(), &tm);
    return tm.tmHeight;
}

// A tree with lines keeps its rows of an even height (rounding down).
int EvenHeight(int pixels) { return pixels & ~1; }

bool Overlap(const RECT& a, const RECT& b) {
    RECT both{};
    return ::IntersectRect(&both, &a, &b) != FALSE;
}

// No two things that show side by side in a window overlap: its child windows, and the window-less
// controls on it that a reader would see (texts, links, pictures with a meaning), with each other
// and with those windows.
void CheckNoOverlaps(HWND top) {
    std::vector<HWND> parents = sktest::Descendants(top);
    parents.push_back(top);
    for (HWND parent : parents) {
        if (!IsShowing(parent)) continue;
        struct TThing {
            RECT Rect;
            std::string Name;
        };
        std::vector<TThing> things;
        for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            if (!(::GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE)) continue;
            things.push_back({RectInParent(c), "window " + sktest::Narrow(sktest::WindowText(c))});
        }
        if (TKivGraphicHost* host = TKivGraphicHost::Find(parent))
            for (const TKivGraphicControl* c : host->Controls())
                if (c->Visible() && c->AccessibleRole() != 0)
                    things.push_back({c->PixelRect(), "control " + sktest::Narrow(c->AccessibleName())});
        for (size_t i = 0; i < things.size(); ++i)
            for (size_t j = i + 1; j < things.size(); ++j) {
                INFO(things[i].Name << " and " << things[j].Name);
                CHECK_FALSE(Overlap(things[i].Rect, things[j].Rect));
            }
    }
}

// What a move to a monitor of `dpi` does: WM_DPICHANGED with the place the system suggests.
void MoveToMonitorOf(HWND wnd, int dpi, POINT topLeft) {
    RECT suggested{topLeft.x, topLeft.y, topLeft.x + 100, topLeft.y + 100};  // the size is the window's own
    ::SendMessageW(wnd, 0x02E0 /*WM_DPICHANGED*/, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    sktest::PumpFor(30);
}

}  // namespace

TEST_CASE("the main window lays itself out at the display's scale") {
    const int dpi = SystemDpi();
    const TDisplayScale s = TDisplayScale::FromDpi(dpi);
    INFO("at " << dpi << " dpi");
    sktest::TWholeWindow w;
    TfrmSurfkeep& form = w.Open();
    CHECK(form.Dpi() == dpi);
    CheckClient(form.Handle(), s, 780, 585);

    // The tab strip, the Repair tab's list and buttons, where the layout puts them.
    CheckPlace(form.pgcMain().Handle(), s, 10, 145, 760, 404);
    const HWND list = w.Repair().ItemList();
    CheckPlace(list, s, 3, 3, 744, 330);
    CheckNear(ListView_GetColumnWidth(list, 0), s.Scale(650), "column width");
    const HWND page = ::GetParent(list);
    CheckPlace(sktest::FindChildByText(page, L"Scan"), s, 591, 343, 75, 26);
    CheckPlace(sktest::FindChildByText(page, L"Repair"), s, 672, 343, 75, 26);
    CheckPlace(form.HelpButton().Handle(), s, 699, 6, 25, 24);

    // Texts grow with the scale: fonts by their point size, and the labels that show them.
    CHECK(FontHeight(list) == s.Scale(11));
    const TFontLook body{L"Tahoma", 11}, title{L"Tahoma", 21, true};
    CHECK(LineHeight(body, dpi) >= LineHeight(body, 96) * dpi / 96 - 1);
    CHECK(form.TitleLabel().PixelHeight() >= LineHeight(title, dpi));
    TKivGraphicHost* host = TKivGraphicHost::Find(page);
    REQUIRE(host);
    int links = 0;
    for (const TKivGraphicControl* c : host->Controls()) {
        if (c->AccessibleRole() == 0) continue;
        ++links;
        CHECK(c->PixelHeight() >= LineHeight(body, dpi));
    }
    CHECK(links == 3);  // Select All, Select None, Restore points

    // On every tab nothing runs into anything else.
    for (int tab = 0; tab < form.pgcMain().Count(); ++tab) {
        CAPTURE(tab);
        form.pgcMain().Select(tab);
        sktest::PumpFor(30);
        CheckNoOverlaps(form.Handle());
    }
}

TEST_CASE("the dialogs lay themselves out at their owner's scale") {
    const int dpi = SystemDpi();
    const TDisplayScale s = TDisplayScale::FromDpi(dpi);
    INFO("at " << dpi << " dpi");
    sktest::TWholeWindow w;
    TfrmSurfkeep& form = w.Open();

    TfrmAbout about;
    REQUIRE(about.Create(form.Handle()));
    CheckClient(about.Handle(), s, 448, 324);
    CheckPlace(about.OkButton().Handle(), s, 358, 280, 75, 26);
    CheckPlace(about.CloseButton().Handle(), s, 418, 7, 25, 24);
    CheckNoOverlaps(about.Handle());

    TfrmShowAll all(*w.Security);
    REQUIRE(all.Create(form.Handle()));
    CheckClient(all.Handle(), s, 465, 345);
    CheckPlace(sktest::FindChildByText(all.Handle(), L"Refresh"), s, 304, 303, 75, 26);

    sktest::TTempDir points;
    const TRestoreStore store(points.Path());
    TfrmRestorePoints restore(store);
    REQUIRE(restore.Create(form.Handle()));
    CheckClient(restore.Handle(), s, 600, 470);
    CheckPlace(restore.lstPoints, s, 5, 74, 590, 150);
    CheckPlace(restore.lstDetail, s, 5, 262, 590, 152);
    // The time column takes the width of the user's date format; the others their layout's.
    CheckNear(ListView_GetColumnWidth(restore.lstPoints, 1), s.Scale(165), "column width");
    CheckNear(ListView_GetColumnWidth(restore.lstPoints, 3), s.Scale(80), "column width");
    CheckNear(ListView_GetColumnWidth(restore.lstDetail, 0), s.Scale(170), "column width");
    CHECK(FontHeight(restore.lstPoints) == s.Scale(11));
    CheckPlace(restore.btnRestore.Handle(), s, 439, 428, 75, 26);
    CheckPlace(restore.btnOK.Handle(), s, 520, 428, 75, 26);
    CheckPlace(restore.btnClose.Handle(), s, 569, 6, 25, 24);
    CHECK(restore.lblTitle.PixelHeight() >= LineHeight({L"Tahoma", 13, true}, dpi));
    CheckNoOverlaps(restore.Handle());

    TfrmAddSecurityItem add;
    REQUIRE(add.Create(form.Handle()));
    CheckClient(add.Handle(), s, 344, 176);
    CheckPlace(add.edtName, s, 24, 78, 297, 21);
    CHECK(FontHeight(add.edtName) == s.Scale(11));
    CheckPlace(sktest::FindChildByText(add.Handle(), L"Cancel"), s, 265, 143, 75, 26);
}

TEST_CASE("a move to a monitor of another scale lays the window out anew, and back without drift") {
    const int dpi = SystemDpi();
    const int other = dpi == 144 ? 96 : 144;
    const TDisplayScale s = TDisplayScale::FromDpi(dpi), t = TDisplayScale::FromDpi(other);
    INFO("from " << dpi << " to " << other << " dpi");
    sktest::TWholeWindow w;
    TfrmSurfkeep& form = w.Open();
    const HWND list = w.Repair().ItemList();
    const HWND page = ::GetParent(list);
    const HWND scan = sktest::FindChildByText(page, L"Scan");
    auto* clean = dynamic_cast<TCleanTab*>(form.Page(1));
    REQUIRE(clean);
    const HWND tree = clean->tvIEClean.Handle();
    const int titleHeight = form.TitleLabel().PixelHeight();

    // The size it takes there, asked for before the move (Windows 10 asks with WM_GETDPISCALEDSIZE).
    SIZE size{};
    CHECK(::SendMessageW(form.Handle(), 0x02E4 /*WM_GETDPISCALEDSIZE*/, static_cast<WPARAM>(other),
                         reinterpret_cast<LPARAM>(&size)) == TRUE);
    CHECK(size.cx == t.Scale(780));
    CHECK(size.cy == t.Scale(585));

    MoveToMonitorOf(form.Handle(), other, POINT{40, 30});
    CHECK(form.Dpi() == other);
    RECT wr{};
    ::GetWindowRect(form.Handle(), &wr);
    CHECK(wr.left == 40);
    CHECK(wr.top == 30);
    CheckClient(form.Handle(), t, 780, 585);
    CheckPlace(form.pgcMain().Handle(), t, 10, 145, 760, 404);
    CheckPlace(list, t, 3, 3, 744, 330);
    CheckPlace(scan, t, 591, 343, 75, 26);
    CheckNear(ListView_GetColumnWidth(list, 0), t.Scale(650), "column width");
    CHECK(FontHeight(list) == t.Scale(11));
    CHECK(FontHeight(tree) == t.Scale(11));
    CHECK(TreeView_GetItemHeight(tree) == EvenHeight(t.Scale(18)));
    if (other > dpi)
        CHECK(form.TitleLabel().PixelHeight() > titleHeight);
    else
        CHECK(form.TitleLabel().PixelHeight() < titleHeight);
    for (int tab = 0; tab < form.pgcMain().Count(); ++tab) {
        CAPTURE(tab);
        form.pgcMain().Select(tab);
        sktest::PumpFor(30);
        CheckNoOverlaps(form.Handle());
    }
    form.pgcMain().Select(0);

    // Back again: exactly as it was.
    MoveToMonitorOf(form.Handle(), dpi, POINT{0, 0});
    CheckClient(form.Handle(), s, 780, 585);
    CheckPlace(list, s, 3, 3, 744, 330);
    CheckPlace(scan, s, 591, 343, 75, 26);
    CHECK(ListView_GetColumnWidth(list, 0) == s.Scale(650));
    CHECK(FontHeight(list) == s.Scale(11));
    CHECK(TreeView_GetItemHeight(tree) == EvenHeight(s.Scale(18)));
    CHECK(form.TitleLabel().PixelHeight() == titleHeight);

    SUBCASE("a dialog moves on its own") {
        TfrmAbout about;
        REQUIRE(about.Create(form.Handle()));
        MoveToMonitorOf(about.Handle(), other, POINT{60, 60});
        CheckClient(about.Handle(), t, 448, 324);
        CheckPlace(about.OkButton().Handle(), t, 358, 280, 75, 26);
        CheckNoOverlaps(about.Handle());
    }
}

TEST_CASE("the program asks Windows for per-monitor DPI awareness") {
    const std::wstring program = sktest::TestExeFolder() + L"..\\..\\surfkeep.exe";
    const TModule exe(::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(exe);
    HRSRC res = ::FindResourceW(exe.Get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /*RT_MANIFEST*/);
    REQUIRE(res);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(exe.Get(), res)));
    const std::string manifest(bytes, ::SizeofResource(exe.Get(), res));
    CHECK(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, "
                        "PerMonitor</dpiAwareness>") != std::string::npos);
    CHECK(manifest.find(">true/pm</dpiAware>") != std::string::npos);
}
