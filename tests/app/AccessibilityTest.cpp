// What a screen reader is told, asked in-process as a screen reader asks (AccessibleObjectFromWindow;
// under Wine a request from another process gets E_NOINTERFACE), and the high-contrast look of the
// whole window.
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "WholeWindow.h"

#include <oleacc.h>

#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "controls/KWFocus.h"
#include "controls/KWGraphicControl.h"
#include "controls/KWImagePanel.h"
#include "controls/KWTheme.h"

using namespace sk;

namespace {

// One thing in the tree of accessible objects: a simple part (its parent and number) or an object.
struct TFound {
    std::wstring Name, DefaultAction, Shortcut;
    long Role = 0, State = 0;
    int Depth = 0;
    TComPtr<IAccessible> Object;  // its own object, or the parent of a simple part
    long Id = CHILDID_SELF;
};

VARIANT Child(long id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Take(BSTR b) {
    std::wstring s = b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
    if (b) ::SysFreeString(b);
    return s;
}

void Describe(IAccessible* acc, long id, TFound& f) {
    const VARIANT v = Child(id);
    BSTR b = nullptr;
    if (acc->get_accName(v, &b) == S_OK) f.Name = Take(b);
    b = nullptr;
    if (acc->get_accDefaultAction(v, &b) == S_OK) f.DefaultAction = Take(b);
    b = nullptr;
    if (acc->get_accKeyboardShortcut(v, &b) == S_OK) f.Shortcut = Take(b);
    VARIANT r;
    ::VariantInit(&r);
    if (SUCCEEDED(acc->get_accRole(v, &r)) && r.vt == VT_I4) f.Role = r.lVal;
    VARIANT s;
    ::VariantInit(&s);
    if (SUCCEEDED(acc->get_accState(v, &s)) && s.vt == VT_I4) f.State = s.lVal;
}

void Walk(IAccessible* acc, int depth, std::vector<TFound>& out) {
    long count = 0;
    if (FAILED(acc->get_accChildCount(&count)) || depth > 12) return;
    for (long id = 1; id <= count; ++id) {
        TFound f;
        f.Depth = depth;
        IDispatch* disp = nullptr;
        const HRESULT hr = acc->get_accChild(Child(id), &disp);
        TComPtr<IAccessible> child;
        if (hr == S_OK && disp) {
            disp->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(child.Receive()));
            disp->Release();
        }
        if (child) {
            Describe(child.Get(), CHILDID_SELF, f);
            IAccessible* raw = child.Get();
            raw->AddRef();
            *f.Object.Receive() = raw;
            out.push_back(std::move(f));
            Walk(raw, depth + 1, out);
        } else {
            Describe(acc, id, f);
            acc->AddRef();
            *f.Object.Receive() = acc;
            f.Id = id;
            out.push_back(std::move(f));
        }
    }
}

std::vector<TFound> TreeOf(HWND wnd) {
    TComPtr<IAccessible> top;
    const LRESULT answer = ::SendMessageW(wnd, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    const HRESULT hr = ::AccessibleObjectFromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                    reinterpret_cast<void**>(top.Receive()));
    INFO("WM_GETOBJECT " << std::hex << answer << ", AccessibleObjectFromWindow " << hr);
    REQUIRE(SUCCEEDED(hr));
    REQUIRE(top);
    std::vector<TFound> all;
    Walk(top.Get(), 0, all);
    return all;
}

const TFound* Find(const std::vector<TFound>& all, const std::wstring& name, long role) {
    for (const TFound& f : all)
        if (f.Name == name && f.Role == role) return &f;
    return nullptr;
}

std::string Dump(const std::vector<TFound>& all) {
    std::string out;
    for (const TFound& f : all)
        out += std::string(static_cast<size_t>(f.Depth) * 2, ' ') + std::to_string(f.Role) + " " + sktest::Narrow(f.Name) +
               (f.Id != CHILDID_SELF ? " (part)" : "") + "\n";
    return out;
}

}  // namespace

TEST_CASE("a screen reader finds the window's parts with their names, roles and actions") {
    const TComInit com;
    sktest::TWholeWindow w;
    TfrmSurfkeep& form = w.Open();
    const std::vector<TFound> all = TreeOf(form.Handle());
    INFO(Dump(all));

    // The caption strip: the title and the frame's buttons, named.
    CHECK(Find(all, L"Surfkeep", ROLE_SYSTEM_STATICTEXT));
    const TFound* help = Find(all, L"Help", ROLE_SYSTEM_PUSHBUTTON);
    REQUIRE(help);
    CHECK(help->DefaultAction == L"Press");
    CHECK(Find(all, L"Minimize", ROLE_SYSTEM_PUSHBUTTON));
    CHECK(Find(all, L"Close", ROLE_SYSTEM_PUSHBUTTON));
    CHECK(Find(all, IDS_SURFKEEP_Desciption, ROLE_SYSTEM_STATICTEXT));
    CHECK(Find(all, IDS_SURFKEEP_HomepageURL, ROLE_SYSTEM_GRAPHIC));  // the logo, named by its hint

    // The tabs.
    const TFound* tabs = nullptr;
    for (const TFound& f : all)
        if (f.Role == ROLE_SYSTEM_PAGETABLIST) tabs = &f;
    REQUIRE(tabs);
    for (const wchar_t* caption : {L"Repair", L"Cleanning", L"Plug-ins", L"Security"})
        CHECK(Find(all, caption, ROLE_SYSTEM_PAGETAB));
    const TFound* repairTab = Find(all, L"Repair", ROLE_SYSTEM_PAGETAB);
    REQUIRE(repairTab);
    CHECK((repairTab->State & STATE_SYSTEM_SELECTED) != 0);

    // The Repair tab: its links, buttons and list.
    const TFound* selectAll = Find(all, L"Select All", ROLE_SYSTEM_LINK);
    const TFound* selectNone = Find(all, L"Select None", ROLE_SYSTEM_LINK);
    const TFound* scan = Find(all, L"Scan", ROLE_SYSTEM_PUSHBUTTON);
    REQUIRE(selectAll);
    REQUIRE(selectNone);
    REQUIRE(scan);
    CHECK(selectAll->DefaultAction == L"Jump");
    CHECK((selectAll->State & STATE_SYSTEM_FOCUSABLE) != 0);
    CHECK(scan->Shortcut == L"Alt+S");
    CHECK(Find(all, L"Repair", ROLE_SYSTEM_PUSHBUTTON));
    CHECK(Find(all, L"Restore points", ROLE_SYSTEM_LINK));
    bool list = false;
    for (const TFound& f : all) list = list || f.Role == ROLE_SYSTEM_LIST;
    CHECK(list);

    SUBCASE("accDoDefaultAction on Select All ticks every line; on Select None none") {
        CHECK(selectAll->Object->accDoDefaultAction(Child(selectAll->Id)) == S_OK);
        for (const auto& line : w.Repair().Lines()) CHECK(line.Ticked);
        CHECK(selectNone->Object->accDoDefaultAction(Child(selectNone->Id)) == S_OK);
        for (const auto& line : w.Repair().Lines()) CHECK_FALSE(line.Ticked);
    }
    SUBCASE("a push button presses, a page tab switches") {
        const TFound* repair = Find(all, L"Repair", ROLE_SYSTEM_PUSHBUTTON);
        REQUIRE(repair);
        CHECK(repair->Object->accDoDefaultAction(Child(CHILDID_SELF)) == S_OK);
        CHECK(w.Repair().ShowingResults());
        const TFound* security = Find(all, L"Security", ROLE_SYSTEM_PAGETAB);
        REQUIRE(security);
        CHECK(security->Object->accDoDefaultAction(Child(security->Id)) == S_OK);
        CHECK(form.pgcMain().Selected() == 3);
        // The Security tab's list is named after the label above it.
        const std::vector<TFound> now = TreeOf(form.Handle());
        INFO(Dump(now));
        CHECK(Find(now, L"Hosts list:", ROLE_SYSTEM_LIST));
    }
    SUBCASE("the focus on a link is told: its state, the focused child, the focus event") {
        struct THook {
            static void CALLBACK Event(HWINEVENTHOOK, DWORD, HWND wnd, LONG object, LONG child, DWORD, DWORD) {
                if (object == OBJID_CLIENT) Seen().push_back({wnd, child});
            }
            static std::vector<std::pair<HWND, LONG>>& Seen() {
                static std::vector<std::pair<HWND, LONG>> seen;
                return seen;
            }
        };
        THook::Seen().clear();
        const HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, &THook::Event,
                                                     ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
        ::SetForegroundWindow(form.Handle());
        const TKivFocusItem link = [&] {
            const HWND page = ::GetParent(w.Repair().ItemList());
            for (TKivGraphicControl* c : TKivGraphicHost::Find(page)->Controls())
                if (c->AccessibleName() == L"Select All") return TKivFocusItem{page, c, {}};
            return TKivFocusItem{};
        }();
        REQUIRE(link.Control);
        REQUIRE(FocusItem(link));
        sktest::PumpFor(50);
        const std::vector<TFound> now = TreeOf(form.Handle());
        const TFound* focused = Find(now, L"Select All", ROLE_SYSTEM_LINK);
        REQUIRE(focused);
        CHECK((focused->State & STATE_SYSTEM_FOCUSED) != 0);
        VARIANT f;
        ::VariantInit(&f);
        CHECK(focused->Object->get_accFocus(&f) == S_OK);
        CHECK(f.vt == VT_I4);
        CHECK(f.lVal == focused->Id);
        if (hook) {
            bool told = false;
            for (const auto& [wnd, child] : THook::Seen()) told = told || (wnd == link.Window && child == focused->Id);
            CHECK(told);
            ::UnhookWinEvent(hook);
        }
    }
}

TEST_CASE("with a high-contrast theme the windows draw with the system's colours and no skin behind texts") {
    sktest::TWholeWindow w;
    TfrmSurfkeep& form = w.Open();
    SetKivHighContrastOverride(1);
    struct TBack {
        ~TBack() { SetKivHighContrastOverride(-1); }
    } back;
    ::SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
    ::UpdateWindow(form.Handle());
    const TKivPicture shot = RenderWindow(form.Handle());
    REQUIRE(!shot.Empty());
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    auto at = [&](int x, int y) { return shot.Pixel(x, y) & 0xFFFFFF; };  // 0x00RRGGBB
    auto rgb = [](COLORREF c) { return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c); };
    const TDisplayScale s = form.Scale();
    // The caption strip and the header, which are pictures in the skin, are the window colour now.
    CHECK(at(s.Scale(300), s.Scale(20)) == rgb(window));
    CHECK(at(s.Scale(600), s.Scale(120)) == rgb(window));
    // The title's text is drawn in the window text colour.
    const RECT title = form.TitleLabel().PixelRect();
    bool text = false;
    for (int x = title.left; x < title.right && !text; ++x)
        for (int y = title.top; y < title.bottom && !text; ++y) text = at(x, y) == rgb(::GetSysColor(COLOR_WINDOWTEXT));
    CHECK(text);
    // A push button: the button face with a frame in the button text colour, no picture.
    const HWND scan = sktest::FindChildByText(::GetParent(w.Repair().ItemList()), L"Scan");
    const TKivPicture button = RenderWindow(scan);
    CHECK((button.Pixel(button.Width() / 2, 2) & 0xFFFFFF) == rgb(::GetSysColor(COLOR_BTNFACE)));
    CHECK((button.Pixel(0, button.Height() / 2) & 0xFFFFFF) == rgb(::GetSysColor(COLOR_BTNTEXT)));

    SUBCASE("and back to the skin") {
        SetKivHighContrastOverride(0);
        ::SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
        const TKivPicture skin = RenderWindow(form.Handle());
        CHECK((skin.Pixel(s.Scale(300), s.Scale(20)) & 0xFFFFFF) != rgb(window));
    }
}
