#include "TestSupport.h"
#include "UiTestSupport.h"

#include <cstring>
#include <stdexcept>

#include "controls/CheckTree.h"

using namespace sk;
using sktest::PumpFor;

namespace {

struct TTreeFixture {
    HWND Parent;
    TCheckTree Tree;
    std::vector<std::wstring> Log;  // "text:state" for every allowed change

    TTreeFixture() {
        // Shown without activation: under Wine, destroying an activated window costs seconds.
        Parent = ::CreateWindowExW(WS_EX_NOACTIVATE, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                   nullptr, nullptr);
        ::ShowWindow(Parent, SW_SHOWNOACTIVATE);
        REQUIRE(Tree.Create(Parent, 0, 0, 300, 300, 1) != nullptr);
        Tree.OnChecked = [this](TCheckNode& n) { Log.push_back(n.Text + L":" + std::to_wstring(n.CheckState)); };
    }
    ~TTreeFixture() { ::DestroyWindow(Parent); }

    // The state image the tree view shows for a node.
    int ShownImage(const TCheckNode& n) const {
        return static_cast<int>((TreeView_GetItemState(Tree.Handle(), n.Item, TVIS_STATEIMAGEMASK) >> 12) & 0xF);
    }
};

}  // namespace

TEST_CASE("check tree: the four operations") {
    TTreeFixture f;
    SUBCASE("an empty tree") {
        SetAllCheckStates(f.Tree, csChecked);
        CHECK(f.Log.empty());
        CHECK(FindCategoryNode(f.Tree, L"x") == nullptr);
    }
    SUBCASE("adding sets the state through the rule, in order") {
        TCheckNode* a = AddCheckNode(f.Tree, nullptr, csChecked, ctTriState, 0, L"Cookies");
        TCheckNode* b = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 1, L"History");
        CHECK(f.Log == std::vector<std::wstring>{L"Cookies:2"});  // the unchecked one needed no change
        CHECK(f.Tree.TopLevel() == std::vector<TCheckNode*>{a, b});
        CHECK(f.ShownImage(*a) == 2);
        CHECK(f.ShownImage(*b) == 1);
        TCheckNode* none = AddCheckNode(f.Tree, b, csUnchecked, ctNone, -1, L"detail");
        CHECK(f.ShownImage(*none) == 0);
    }
    SUBCASE("select all leaves a disabled node as it is and still reaches its children") {
        TCheckNode* cat = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Cat");
        TCheckNode* off = AddCheckNode(f.Tree, cat, csUnchecked, ctTriState, 0, L"Off");
        TCheckNode* child = AddCheckNode(f.Tree, off, csUnchecked, ctCheckBox, 0, L"Child");
        f.Tree.SetDisabled(*off, true);
        SetAllCheckStates(f.Tree, csChecked);
        CHECK(off->CheckState == csUnchecked);
        CHECK(child->CheckState == csChecked);
        CHECK(f.ShownImage(*off) == 4);  // disabled, unchecked
    }
    SUBCASE("a refused category stays, its children are still visited") {
        TCheckNode* cat = AddCheckNode(f.Tree, nullptr, csUnchecked, ctCheckBox, 0, L"Cat");
        TCheckNode* a = AddCheckNode(f.Tree, cat, csUnchecked, ctCheckBox, 0, L"A");
        f.Tree.OnChecking = [](TCheckNode& n, TCheckState) { return n.Text != L"Cat"; };
        SetAllCheckStates(f.Tree, csChecked);
        CHECK(cat->CheckState == csUnchecked);
        CHECK(a->CheckState == csChecked);
    }
    SUBCASE("FindCategoryNode: first top-level substring match, case matters, lower nodes ignored") {
        TCheckNode* t1 = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Internet Explorer Cookies [3 items]");
        AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Internet Explorer Cookies too");
        AddCheckNode(f.Tree, t1, csUnchecked, ctTriState, 0, L"Only below");
        CHECK(FindCategoryNode(f.Tree, L"Internet Explorer Cookies") == t1);
        CHECK(FindCategoryNode(f.Tree, L"internet explorer cookies") == nullptr);
        CHECK(FindCategoryNode(f.Tree, L"Only below") == nullptr);
    }
}

TEST_CASE("check tree: tri-state tracking") {
    TTreeFixture f;
    TCheckNode* cat = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Cat");
    TCheckNode* a = AddCheckNode(f.Tree, cat, csChecked, ctTriState, 0, L"A");
    TCheckNode* b = AddCheckNode(f.Tree, cat, csChecked, ctTriState, 0, L"B");
    CHECK(cat->CheckState == csChecked);  // all its items are checked
    f.Log.clear();

    f.Tree.SetCheckState(*a, csUnchecked);
    CHECK(cat->CheckState == csMixed);
    CHECK(f.ShownImage(*cat) == 3);
    CHECK(f.Log == std::vector<std::wstring>{L"A:0", L"Cat:1"});

    f.Tree.SetCheckState(*cat, csUnchecked);  // the items follow; the category settles once
    CHECK(a->CheckState == csUnchecked);
    CHECK(b->CheckState == csUnchecked);
    f.Tree.Toggle(*cat);
    CHECK(cat->CheckState == csChecked);
    CHECK(a->CheckState == csChecked);
    CHECK(b->CheckState == csChecked);
}

TEST_CASE("check tree: a checking event that raises half-way leaves the tree tracking its categories") {
    // The cleaning tab's checking event raises when the settings file cannot be written.
    TTreeFixture f;
    TCheckNode* cat = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Cat");
    TCheckNode* a = AddCheckNode(f.Tree, cat, csUnchecked, ctCheckBox, 0, L"A");
    TCheckNode* b = AddCheckNode(f.Tree, cat, csUnchecked, ctCheckBox, 0, L"B");
    f.Tree.OnChecking = [](TCheckNode& n, TCheckState) {
        if (n.Text == L"B") throw std::runtime_error("not now");
        return true;
    };
    CHECK_THROWS(f.Tree.SetCheckState(*cat, csChecked));
    CHECK(a->CheckState == csChecked);
    CHECK(b->CheckState == csUnchecked);

    f.Tree.OnChecking = nullptr;
    f.Tree.SetCheckState(*a, csUnchecked);
    CHECK(cat->CheckState == csUnchecked);  // both items unticked: so is their category
}

TEST_CASE("check tree: the mouse on a check box and the Space key toggle") {
    TTreeFixture f;
    TCheckNode* cat = AddCheckNode(f.Tree, nullptr, csUnchecked, ctTriState, 0, L"Category");
    PumpFor(50);
    RECT rc{};
    std::memcpy(&rc, &cat->Item, sizeof cat->Item);  // TVM_GETITEMRECT takes the item in the rectangle
    REQUIRE(::SendMessageW(f.Tree.Handle(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)));
    // The state image sits just left of the text.
    const int x = rc.left - 8, y = (rc.top + rc.bottom) / 2;
    ::PostMessageW(f.Tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(f.Tree.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    PumpFor(100);
    CHECK(cat->CheckState == csChecked);

    TreeView_SelectItem(f.Tree.Handle(), cat->Item);
    ::PostMessageW(f.Tree.Handle(), WM_KEYDOWN, VK_SPACE, 0);
    PumpFor(100);
    CHECK(cat->CheckState == csUnchecked);
}
