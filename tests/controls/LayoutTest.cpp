// Where pictures and captions go: the placement of a picture, the text layout shared by buttons and
// labels, the text-format switches and the caption's accelerator.
#include "ControlsTestSupport.h"

#include "base/Handles.h"
#include "controls/KWClasses.h"
#include "controls/KWCustomButton.h"

using namespace sk;

TEST_CASE("PlacePicture puts a 20 x 10 picture in a 100 x 50 area by each of the nineteen placements") {
    struct TCase {
        TKivAlignment Alignment;
        int X, Y;
    };
    // Custom coordinates 7, 3; no margins.
    const TCase cases[] = {
        {kalTopLeft, 0, 0},        {kalTopCenter, 40, 0},    {kalTopRight, 80, 0},     {kalMiddleLeft, 0, 20},
        {kalMiddleCenter, 40, 20}, {kalMiddleRight, 80, 20}, {kalBottomLeft, 0, 40},   {kalBottomCenter, 40, 40},
        {kalBottomRight, 80, 40},  {kalCenter, 40, 20},      {kalLeft, 0, 20},         {kalRight, 80, 20},
        {kalCustom, 7, 3},         {kalTopCustom, 7, 0},     {kalMiddleCustom, 7, 20}, {kalBottomCustom, 7, 40},
        {kalCustomLeft, 0, 3},     {kalCustomCenter, 40, 3}, {kalCustomRight, 80, 3},
    };
    for (const TCase& c : cases) {
        CAPTURE(static_cast<int>(c.Alignment));
        const POINT p = PlacePicture(c.Alignment, 100, 50, 20, 10, 7, 3, 0);
        CHECK(p.x == c.X);
        CHECK(p.y == c.Y);
    }
}

TEST_CASE("PlacePicture keeps the picture at least the margins from the left and top edges") {
    struct TCase {
        const char* Name;
        TKivAlignment Alignment;
        int W, H, w, h, X0, Y0, M;
        int X, Y;
    };
    const TCase cases[] = {
        // A larger picture centres at negative coordinates, then the margin rule moves it to 0, 0.
        {"larger, centred", kalCenter, 100, 50, 121, 61, 0, 0, 0, 0, 0},
        {"larger, centred, margins 3", kalCenter, 100, 50, 121, 61, 0, 0, 3, 3, 3},
        {"custom x -5", kalCustom, 100, 50, 20, 10, -5, 4, 0, 0, 4},
        {"top-left with margins", kalTopLeft, 100, 50, 20, 10, 0, 0, 5, 5, 5},
        {"bottom-right ignores margins", kalBottomRight, 100, 50, 20, 10, 0, 0, 5, 80, 40},
        {"odd difference rounds down", kalCenter, 101, 51, 20, 10, 0, 0, 0, 40, 20},
    };
    for (const TCase& c : cases) {
        CAPTURE(c.Name);
        const POINT p = PlacePicture(c.Alignment, c.W, c.H, c.w, c.h, c.X0, c.Y0, c.M);
        CHECK(p.x == c.X);
        CHECK(p.y == c.Y);
    }
}

TEST_CASE("the text format starts with word break, tabs, edit-control breaks and both ellipses") {
    CHECK(kKivDefaultTextFormat == 0x4A050u);
}

TEST_CASE("choosing a trimming switches prefixes off and keeps at most one ellipsis") {
    struct TCase {
        TKivTextTrimmingType Trimming;
        UINT Ellipsis;
    };
    const TCase cases[] = {
        {kttNone, 0},
        {kttCharacter, 0},
        {kttWord, 0},
        {kttEllipsisCharacter, DT_END_ELLIPSIS},
        {kttEllipsisWord, DT_WORD_ELLIPSIS},
        {kttEllipsisPath, DT_PATH_ELLIPSIS},
    };
    for (const TCase& c : cases) {
        CAPTURE(static_cast<int>(c.Trimming));
        const UINT f = ApplyTextTrimming(kKivDefaultTextFormat, c.Trimming);
        CHECK((f & DT_NOPREFIX) != 0);
        CHECK((f & kKivEllipsisFlags) == c.Ellipsis);
        CHECK((f & ~(kKivEllipsisFlags | DT_NOPREFIX)) == (kKivDefaultTextFormat & ~kKivEllipsisFlags));
    }
}

TEST_CASE("word wrap off means one line; on again means word break") {
    const UINT off = ApplyWordWrap(kKivDefaultTextFormat, false);
    CHECK((off & DT_SINGLELINE) != 0);
    CHECK((off & DT_WORDBREAK) == 0);
    const UINT on = ApplyWordWrap(off, true);
    CHECK(on == kKivDefaultTextFormat);
}

TEST_CASE("the measuring rectangle loses the custom offsets") {
    struct TCase {
        TKivAlignment Alignment;
        RECT Expected;
    };
    const TCase cases[] = {
        {kalTopLeft, {0, 0, 100, 60}},      {kalCustom, {0, 0, 93, 51}},       {kalTopCustom, {0, 0, 93, 60}},
        {kalMiddleCustom, {0, 0, 93, 60}},  {kalBottomCustom, {0, 0, 93, 60}}, {kalCustomLeft, {0, 0, 100, 51}},
        {kalCustomCenter, {0, 0, 100, 51}}, {kalCustomRight, {0, 0, 100, 51}}, {kalBottomRight, {0, 0, 100, 60}},
    };
    for (const TCase& c : cases) {
        CAPTURE(static_cast<int>(c.Alignment));
        const RECT r = TextMeasureRect(c.Alignment, 100, 60, 7, 9);
        CHECK(EqualRect(&r, &c.Expected));
    }
}

TEST_CASE("caption layout by placement, one line and wrapped") {
    // A 100 x 60 control, custom coordinates 7, 9, no margins, a measured text height of 20: the
    // free height is 40 and half of it 20.
    struct TCase {
        TKivAlignment Alignment;
        UINT OneLineFlags;
        int OneLineLeft, OneLineTop;
        UINT WrappedFlags;
        int WrappedLeft, WrappedTop;
    };
    const TCase cases[] = {
        {kalTopLeft, 0, 0, 0, 0, 0, 0},
        {kalTopCenter, DT_CENTER, 0, 0, DT_CENTER, 0, 0},
        {kalTopRight, DT_RIGHT, 0, 0, DT_RIGHT, 0, 0},
        {kalMiddleLeft, DT_VCENTER, 0, 0, 0, 0, 20},
        {kalMiddleCenter, DT_VCENTER | DT_CENTER, 0, 0, DT_CENTER, 0, 20},
        {kalMiddleRight, DT_VCENTER | DT_RIGHT, 0, 0, DT_RIGHT, 0, 20},
        {kalBottomLeft, DT_BOTTOM, 0, 0, 0, 0, 40},
        {kalBottomCenter, DT_BOTTOM | DT_CENTER, 0, 0, DT_CENTER, 0, 40},
        {kalBottomRight, DT_BOTTOM | DT_RIGHT, 0, 0, DT_RIGHT, 0, 40},
        {kalCenter, DT_VCENTER | DT_CENTER, 0, 0, DT_CENTER, 0, 20},
        {kalLeft, DT_VCENTER, 0, 0, 0, 0, 20},
        {kalRight, DT_VCENTER | DT_RIGHT, 0, 0, DT_RIGHT, 0, 20},
        {kalCustom, 0, 7, 9, 0, 7, 9},
        {kalTopCustom, 0, 7, 0, 0, 7, 0},
        {kalMiddleCustom, DT_VCENTER, 7, 0, 0, 7, 20},
        {kalBottomCustom, DT_BOTTOM, 7, 0, 0, 7, 40},
        {kalCustomLeft, 0, 0, 9, 0, 0, 9},
        {kalCustomCenter, DT_CENTER, 0, 9, DT_CENTER, 0, 9},
        {kalCustomRight, DT_RIGHT, 0, 9, DT_RIGHT, 0, 9},
    };
    const UINT oneLine = ApplyWordWrap(kKivDefaultTextFormat, false);
    const UINT wrapped = kKivDefaultTextFormat;
    for (const TCase& c : cases) {
        CAPTURE(static_cast<int>(c.Alignment));
        const TKivTextLayout a = TextLayoutFromHeight(oneLine, c.Alignment, 100, 60, 7, 9, 0, 20);
        CHECK(a.Flags == (oneLine | c.OneLineFlags));
        CHECK(a.Box.left == c.OneLineLeft);
        CHECK(a.Box.top == c.OneLineTop);
        CHECK(a.Box.right == 100);
        CHECK(a.Box.bottom == 60);
        const TKivTextLayout b = TextLayoutFromHeight(wrapped, c.Alignment, 100, 60, 7, 9, 0, 20);
        CHECK(b.Flags == (wrapped | c.WrappedFlags));
        CHECK(b.Box.left == c.WrappedLeft);
        CHECK(b.Box.top == c.WrappedTop);
    }
}

TEST_CASE("caption layout edge cases: tall text, margins, stale placement flags") {
    SUBCASE("a wrapped caption taller than the control starts at the top, never above it") {
        for (TKivAlignment a : {kalBottomLeft, kalCenter, kalMiddleCustom, kalBottomCustom}) {
            CAPTURE(static_cast<int>(a));
            CHECK(TextLayoutFromHeight(kKivDefaultTextFormat, a, 100, 30, 0, 0, 0, 45).Box.top == 0);
        }
    }
    SUBCASE("margins 4 with custom 2, 10 put the text at 4, 10 and take 4 off the right and bottom") {
        const TKivTextLayout l = TextLayoutFromHeight(kKivDefaultTextFormat, kalCustom, 100, 60, 2, 10, 4, 20);
        CHECK(l.Box.left == 4);
        CHECK(l.Box.top == 10);
        CHECK(l.Box.right == 96);
        CHECK(l.Box.bottom == 56);
    }
    SUBCASE("placement flags and the measuring flag left in the stored format do not leak") {
        const UINT dirty = kKivDefaultTextFormat | DT_RIGHT | DT_BOTTOM | DT_CALCRECT;
        CHECK(TextLayoutFromHeight(dirty, kalTopLeft, 100, 60, 0, 0, 0, 20).Flags == kKivDefaultTextFormat);
    }
}

TEST_CASE("measured layout with a real font: defaults, and a two-line caption centred") {
    TMemDC dc(::CreateCompatibleDC(nullptr));
    TSelectObject font(dc.Get(), DefaultKivFont().Handle());
    const std::wstring text = L"Two words wrapped";
    RECT one{0, 0, 1000, 1000};
    ::DrawTextW(dc.Get(), L"Two", -1, &one, DT_CALCRECT | DT_SINGLELINE);
    const int lineHeight = one.bottom - one.top;
    REQUIRE(lineHeight > 0);

    SUBCASE("defaults: from the top-left corner, word-wrapped, with ellipsis") {
        const TKivTextLayout l = MeasureTextLayout(dc.Get(), text, kKivDefaultTextFormat, kalTopLeft, 60, 80, 0, 0, 0);
        CHECK(l.Box.left == 0);
        CHECK(l.Box.top == 0);
        CHECK((l.Flags & DT_WORDBREAK) != 0);
        CHECK((l.Flags & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS)) != 0);
    }
    SUBCASE("centred with word wrap: the block starts at half the free height") {
        RECT m{0, 0, 60, 80};
        ::DrawTextW(dc.Get(), text.c_str(), -1, &m, kKivDefaultTextFormat | DT_CALCRECT);
        const int th = m.bottom - m.top;
        CHECK(th >= 2 * lineHeight);
        const TKivTextLayout l =
            MeasureTextLayout(dc.Get(), text, kKivDefaultTextFormat, kalMiddleCenter, 60, 80, 0, 0, 0);
        CHECK(l.Box.top == (80 - th) / 2);
        CHECK((l.Flags & DT_CENTER) != 0);
        CHECK((l.Flags & DT_VCENTER) == 0);
    }
    SUBCASE("centred on one line: left to DrawText's vertical centring") {
        const UINT f = ApplyWordWrap(kKivDefaultTextFormat, false);
        const TKivTextLayout l = MeasureTextLayout(dc.Get(), text, f, kalMiddleCenter, 60, 80, 0, 0, 0);
        CHECK(l.Box.top == 0);
        CHECK((l.Flags & (DT_VCENTER | DT_CENTER)) == (DT_VCENTER | DT_CENTER));
    }
}

TEST_CASE("the accelerator of a caption") {
    struct TCase {
        const wchar_t* Caption;
        wchar_t Key;
    };
    const TCase cases[] = {
        {L"&Ok", L'O'},
        {L"Turn &on", L'O'},
        {L"Save && &quit", L'Q'},
        {L"No key", 0},
        {L"Trailing&", 0},
        {L"&&", 0},
        {L"", 0},
        {L"&\u00e9t\u00e9", L'\u00c9'},
    };
    for (const TCase& c : cases) {
        CAPTURE(sktest::Narrow(c.Caption));
        CHECK(AcceleratorOf(c.Caption) == c.Key);
    }
}
