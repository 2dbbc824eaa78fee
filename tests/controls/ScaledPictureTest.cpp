// Pictures at display scales: the scale arithmetic, the drawing each scale is made from, every
// embedded picture at the four drawn scales, exact sizes at any scale, and the resampling filter.
#include "ControlsTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "controls/Assets.h"
#include "controls/Resample.h"
#include "controls/ScaledAssets.h"

using namespace sk;
using namespace sktest;

namespace {

constexpr int kScales[] = {100, 110, 125, 140, 150, 175, 200, 250};

int A(uint32_t p) { return static_cast<int>(p >> 24); }

bool Near(uint32_t a, uint32_t b, int tolerance) {
    return std::abs(A(a) - A(b)) <= tolerance && std::abs(R(a) - R(b)) <= tolerance &&
           std::abs(G(a) - G(b)) <= tolerance && std::abs(B(a) - B(b)) <= tolerance;
}

// The RCDATA names of this executable, which links the program's pictures.
std::vector<std::wstring> EmbeddedNames() {
    std::vector<std::wstring> names;
    ::EnumResourceNamesW(
        ::GetModuleHandleW(nullptr), RT_RCDATA,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            if (!IS_INTRESOURCE(name)) reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

// The names at 100 % (no scale suffix).
std::vector<std::wstring> BaseNames() {
    std::vector<std::wstring> out;
    for (const std::wstring& n : EmbeddedNames()) {
        bool scaled = false;
        for (const int s : kDrawnScales)
            if (s != 100 && n.size() > 4 && n.ends_with(L"_" + std::to_wstring(s))) scaled = true;
        if (!scaled) out.push_back(n);
    }
    return out;
}

}  // namespace

TEST_CASE("a display scale rounds like MulDiv, halves up") {
    CHECK(TDisplayScale::FromDpi(96) == TDisplayScale());
    CHECK(TDisplayScale::FromDpi(120) == TDisplayScale::FromPercent(125));
    CHECK(TDisplayScale::FromDpi(144) == TDisplayScale::FromPercent(150));
    CHECK(TDisplayScale::FromDpi(192) == TDisplayScale::FromPercent(200));
    CHECK(TDisplayScale::FromDpi(168).Is(175));
    CHECK_FALSE(TDisplayScale::FromDpi(121).Is(125));
    for (const int dpi : {96, 100, 106, 110, 120, 134, 144, 150, 168, 192, 216, 240, 288, 480}) {
        const TDisplayScale s = TDisplayScale::FromDpi(dpi);
        for (int length = 0; length <= 1200; ++length) {
            if (s.Scale(length) != ::MulDiv(length, dpi, 96)) {
                CAPTURE(dpi);
                CAPTURE(length);
                CHECK(s.Scale(length) == ::MulDiv(length, dpi, 96));
                break;
            }
        }
    }
    CHECK(TDisplayScale::FromPercent(125).Scale(26) == 33);  // 32.5
    CHECK(TDisplayScale::FromPercent(150).Scale(95) == 143);  // 142.5
    CHECK(TDisplayScale::FromPercent(150).Scale(1) == 2);
    CHECK(TDisplayScale::FromPercent(110).Scale(75) == 83);  // 82.5
    CHECK(TDisplayScale::FromPercent(140).Scale(75) == 105);
    // A nonsense DPI neither fails nor asks for huge pictures.
    CHECK(TDisplayScale::FromDpi(0) == TDisplayScale());
    CHECK(TDisplayScale::FromDpi(-5) == TDisplayScale());
    CHECK(TDisplayScale::FromDpi(100000).Scale(100) == 800);
    CHECK(TDisplayScale::FromPercent(1).Scale(100) == 25);
}

TEST_CASE("each scale is made from its own drawing, or from the next larger one") {
    const std::pair<int, int> table[] = {{100, 100}, {101, 125}, {110, 125}, {125, 125}, {126, 150}, {140, 150},
                                         {150, 150}, {151, 200}, {175, 200}, {200, 200}, {225, 200}, {250, 200},
                                         {90, 100},  {50, 100}};
    for (const auto& [percent, drawn] : table) {
        CAPTURE(percent);
        CHECK(DrawnScaleFor(TDisplayScale::FromPercent(percent)) == drawn);
    }
    CHECK(DrawnScaleFor(TDisplayScale::FromDpi(120)) == 125);
    CHECK(DrawnScaleFor(TDisplayScale::FromDpi(121)) == 150);
    CHECK(ScaledAssetName(L"BUTTON_NORMAL", 100) == L"BUTTON_NORMAL");
    CHECK(ScaledAssetName(L"BUTTON_NORMAL", 125) == L"BUTTON_NORMAL_125");
    CHECK(ScaledAssetName(L"LOGO", 200) == L"LOGO_200");

    // The picture at 110 % is the 125 % drawing reduced (not the 100 % one enlarged), and so on.
    const std::pair<int, int> resampled[] = {{110, 125}, {140, 150}, {175, 200}, {250, 200}};
    for (const auto& [percent, drawn] : resampled) {
        CAPTURE(percent);
        const TDisplayScale s = TDisplayScale::FromPercent(percent);
        const TKivPicture& pic = AssetPictureAt(L"BUTTON_HOVER", s);
        const TKivPicture expected =
            ResamplePicture(AssetPicture(ScaledAssetName(L"BUTTON_HOVER", drawn).c_str()), pic.Width(), pic.Height());
        int differ = 0;
        for (int y = 0; y < pic.Height(); ++y)
            for (int x = 0; x < pic.Width(); ++x)
                differ += pic.Pixel(x, y) != expected.Pixel(x, y);
        CHECK(differ == 0);
    }
}

TEST_CASE("every picture is embedded at 100, 125, 150 and 200 %, each at its scaled size") {
    const std::vector<std::wstring> all = EmbeddedNames();
    const std::set<std::wstring> names(all.begin(), all.end());
    const std::vector<std::wstring> bases = BaseNames();
    // Every picture the program names is there.
    std::vector<std::wstring> known = {assets::kMainBackground, assets::kMainHeader, assets::kAboutBackground,
                                       assets::kAllHostsBackground, assets::kAddDialogBackground, assets::kLogo,
                                       assets::kTitleLogo, assets::kPromo, assets::kShieldOn, assets::kShieldOff,
                                       assets::kCheckUnchecked, assets::kCheckChecked, assets::kCheckMixed};
    for (const wchar_t* icon : assets::kCleanIcons)
        known.push_back(icon);
    for (const wchar_t* prefix : {assets::kButton, assets::kHelp, assets::kMin, assets::kClose})
        for (const wchar_t* state : {L"_NORMAL", L"_HOVER", L"_DOWN", L"_DISABLED"})
            known.push_back(std::wstring(prefix) + state);
    for (const std::wstring& k : known) {
        CAPTURE(Narrow(k));
        CHECK(std::find(bases.begin(), bases.end(), k) != bases.end());
    }
    // Each at every drawn scale, and nothing at a scale without its 100 % picture.
    CHECK(all.size() == bases.size() * std::size(kDrawnScales));
    for (const std::wstring& base : bases) {
        CAPTURE(Narrow(base));
        const SIZE size = AssetBaseSize(base.c_str());
        for (const int drawn : kDrawnScales) {
            CAPTURE(drawn);
            const std::wstring name = ScaledAssetName(base, drawn);
            REQUIRE(names.count(name) == 1);
            // make-assets draws exactly the size the program computes, so no drawn scale is resampled.
            const TKivPicture& pic = AssetPicture(name.c_str());
            const TDisplayScale s = TDisplayScale::FromPercent(drawn);
            CHECK(pic.Width() == s.Scale(size.cx));
            CHECK(pic.Height() == s.Scale(size.cy));
        }
    }
}

TEST_CASE("a picture at any scale has exactly its scaled size, the states of a button one size") {
    const std::vector<std::wstring> bases = BaseNames();
    REQUIRE(bases.size() >= 35);
    for (const int percent : kScales) {
        CAPTURE(percent);
        const TDisplayScale s = TDisplayScale::FromPercent(percent);
        for (const std::wstring& base : bases) {
            CAPTURE(Narrow(base));
            const SIZE size = AssetBaseSize(base.c_str());
            const TKivPicture& pic = AssetPictureAt(base.c_str(), s);
            CHECK(pic.Width() == s.Scale(size.cx));
            CHECK(pic.Height() == s.Scale(size.cy));
            CHECK(AssetSizeAt(base.c_str(), s).cx == pic.Width());
            const TKivPicture& drawing = AssetPicture(ScaledAssetName(base, DrawnScaleFor(s)).c_str());
            // A drawn scale gives the drawing itself; another one a resampled copy, made only once.
            CHECK((pic == drawing) == s.Is(DrawnScaleFor(s)));
            CHECK(&AssetPictureAt(base.c_str(), s) == &pic);
        }
        for (const wchar_t* prefix : {assets::kButton, assets::kHelp, assets::kMin, assets::kClose}) {
            CAPTURE(Narrow(prefix));
            const TKivStatePictures p = AssetStatePicturesAt(prefix, s);
            for (const TKivPicture* state : {&p.Hover, &p.Down, &p.Disabled}) {
                CHECK(state->Width() == p.Normal.Width());
                CHECK(state->Height() == p.Normal.Height());
            }
        }
        CHECK(AssetPictureAt(assets::kMainBackground, s).Opaque());
        CHECK(AssetPictureForDpi(assets::kLogo, 96 * percent / 100).Width() ==
              TDisplayScale::FromDpi(96 * percent / 100).Scale(105));
    }
}

TEST_CASE("resampled pictures keep their colours where they are") {
    const TKivPicture& button100 = AssetPicture(L"BUTTON_NORMAL");
    const uint32_t buttonCentre = button100.Pixel(37, 13);
    const TKivPicture& back100 = AssetPicture(assets::kMainBackground);
    const uint32_t caption = back100.Pixel(390, 17);
    for (const int percent : kScales) {
        CAPTURE(percent);
        const TDisplayScale s = TDisplayScale::FromPercent(percent);
        const TKivPicture& button = AssetPictureAt(L"BUTTON_NORMAL", s);
        const int w = button.Width(), h = button.Height();
        // Rounded corners stay see-through (an area average may take in 1/255 of the curve beside
        // them), the face keeps its colour.
        for (const POINT corner : {POINT{0, 0}, POINT{w - 1, 0}, POINT{0, h - 1}, POINT{w - 1, h - 1}}) {
            CAPTURE(corner.x);
            CAPTURE(corner.y);
            CHECK(A(button.Pixel(corner.x, corner.y)) <= 1);
        }
        CHECK(A(button.Pixel(w / 2, h / 2)) == 255);
        CHECK(Near(button.Pixel(w / 2, h / 2), buttonCentre, 3));
        // Above the close button's cross lies nothing.
        const TKivPicture& close = AssetPictureAt(L"CLOSE_NORMAL", s);
        CHECK(A(close.Pixel(close.Width() / 2, s.Scale(1))) == 0);
        CHECK(A(close.Pixel(close.Width() / 2, close.Height() / 2)) > 200);
        // The main window: the caption strip's blue and the page's white where they were.
        const TKivPicture& back = AssetPictureAt(assets::kMainBackground, s);
        CHECK(Near(back.Pixel(s.Scale(390), s.Scale(17)), caption, 3));
        CHECK(back.Pixel(s.Scale(390), s.Scale(350)) == 0xFFFFFFFFu);
    }
}

TEST_CASE("resampling averages areas when reducing and interpolates when enlarging, premultiplied") {
    SUBCASE("four blocks reduced by half keep their colours") {
        const uint32_t colours[4] = {Pack(255, 0, 0), Pack(0, 255, 0), Pack(0, 0, 255), Pack(255, 255, 255, 0)};
        const TKivPicture pic = MakePicture(4, 4, [&](int x, int y) { return colours[(y / 2) * 2 + x / 2]; });
        const TKivPicture half = ResamplePicture(pic, 2, 2);
        REQUIRE(half.Width() == 2);
        CHECK(half.Pixel(0, 0) == Pack(255, 0, 0));
        CHECK(half.Pixel(1, 0) == Pack(0, 255, 0));
        CHECK(half.Pixel(0, 1) == Pack(0, 0, 255));
        CHECK(half.Pixel(1, 1) == 0u);
        CHECK_FALSE(half.Opaque());
    }
    SUBCASE("a see-through pixel lends no colour: white beside clear averages to half-covered white") {
        const TKivPicture pic = MakePicture(2, 1, [](int x, int) { return x == 0 ? Pack(255, 255, 255) : 0u; });
        CHECK(Near(ResamplePicture(pic, 1, 1).Pixel(0, 0), Pack(128, 128, 128, 128), 1));
    }
    SUBCASE("three pixels into two weigh each by the part it covers") {
        const TKivPicture pic = MakePicture(3, 1, [](int x, int) { return Pack(x * 90, x * 90, x * 90); });
        const TKivPicture two = ResamplePicture(pic, 2, 1);
        CHECK(Near(two.Pixel(0, 0), Pack(30, 30, 30), 1));    // (0 + 45) / 1.5
        CHECK(Near(two.Pixel(1, 0), Pack(150, 150, 150), 1));  // (45 + 180) / 1.5
    }
    SUBCASE("an even colour stays exactly that colour, larger or smaller") {
        const TKivPicture pic = Solid(7, 5, Pack(200, 100, 50, 128));
        const uint32_t want = pic.Pixel(0, 0);
        const std::pair<int, int> sizes[] = {{17, 12}, {3, 2}, {10, 3}, {4, 9}};
        for (const auto& [w, h] : sizes) {
            const TKivPicture out = ResamplePicture(pic, w, h);
            REQUIRE(out.Width() == w);
            REQUIRE(out.Height() == h);
            int differ = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    differ += out.Pixel(x, y) != want;
            CHECK(differ == 0);
        }
        CHECK(ResamplePicture(Solid(6, 6, Pack(1, 2, 3)), 13, 4).Opaque());
    }
    SUBCASE("an enlarged hard edge stays premultiplied and falls off steadily") {
        const TKivPicture pic = MakePicture(8, 2, [](int x, int) { return x < 4 ? Pack(40, 160, 250) : 0u; });
        const TKivPicture big = ResamplePicture(pic, 21, 5);
        REQUIRE(big.Width() == 21);
        for (int y = 0; y < 5; ++y) {
            int previous = 256;
            for (int x = 0; x < 21; ++x) {
                const uint32_t p = big.Pixel(x, y);
                CAPTURE(x);
                CHECK(R(p) <= A(p));
                CHECK(G(p) <= A(p));
                CHECK(B(p) <= A(p));
                CHECK(A(p) <= previous);
                previous = A(p);
            }
            CHECK(big.Pixel(0, y) == Pack(40, 160, 250));
            CHECK(big.Pixel(20, y) == 0u);
        }
    }
    SUBCASE("the same size is the same picture; an empty size none") {
        const TKivPicture pic = Pattern(5, 4);
        CHECK(ResamplePicture(pic, 5, 4) == pic);
        CHECK(ResamplePicture(pic, 0, 4).Empty());
        CHECK(ResamplePicture(TKivPicture(), 3, 3).Empty());
    }
}
