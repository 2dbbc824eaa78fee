// PNG pictures: decoding into premultiplied pixels, errors for bad input, the embedded pictures of
// the program, and drawing with soft edges over what lies beneath.
#include "ControlsTestSupport.h"

#include "base/Errors.h"
#include "controls/Assets.h"
#include "controls/KWPicture.h"

using namespace sk;
using namespace sktest;

TEST_CASE("a PNG with soft edges decodes into premultiplied pixels") {
    // Straight colours: opaque red, half-transparent blue, fully transparent green, 25% white.
    const std::vector<uint32_t> straight = {Pack(255, 0, 0, 255), Pack(0, 0, 255, 128), Pack(0, 255, 0, 0),
                                            Pack(255, 255, 255, 64)};
    const auto png = EncodePng(2, 2, straight);
    const TKivPicture pic = LoadPngMemory(png.data(), png.size());
    REQUIRE(pic.Width() == 2);
    REQUIRE(pic.Height() == 2);
    CHECK_FALSE(pic.Opaque());
    CHECK(pic.Pixel(0, 0) == Pack(255, 0, 0, 255));
    CHECK(pic.Pixel(1, 0) == Pack(0, 0, 128, 128));
    CHECK(pic.Pixel(0, 1) == 0u);
    CHECK(pic.Pixel(1, 1) == Pack(64, 64, 64, 64));
}

TEST_CASE("bad pictures raise clear errors") {
    TTempDir dir;
    SUBCASE("bytes that are not a PNG") {
        const std::vector<unsigned char> junk(100, 0x42);
        CHECK_THROWS_AS(LoadPngMemory(junk.data(), junk.size(), L"junk"), TError);
        try {
            LoadPngMemory(junk.data(), junk.size(), L"junk.png");
        } catch (const TError& e) {
            CHECK(e.Message().find(L"junk.png") != std::wstring::npos);
        }
    }
    SUBCASE("a PNG cut short") {
        auto png = EncodePng(8, 8, std::vector<uint32_t>(64, Pack(1, 2, 3)));
        png.resize(png.size() / 2);
        CHECK_THROWS_AS(LoadPngMemory(png.data(), png.size()), TError);
    }
    SUBCASE("no file") { CHECK_THROWS_AS(LoadPngFile(dir / L"missing.png"), TError); }
    SUBCASE("no resource") { CHECK_THROWS_AS(LoadPngResource(L"NO_SUCH_PICTURE"), TError); }
    SUBCASE("an empty file") {
        WriteBytes(dir / L"empty.png", {});
        CHECK_THROWS_AS(LoadPngFile(dir / L"empty.png"), TError);
    }
}

TEST_CASE("a PNG file loads like the same bytes in memory") {
    TTempDir dir;
    const auto png = EncodePng(3, 1, {Pack(10, 20, 30), Pack(40, 50, 60, 0), Pack(70, 80, 90, 255)});
    WriteBytes(dir / L"p.png", png);
    const TKivPicture a = LoadPngFile(dir / L"p.png");
    const TKivPicture b = LoadPngMemory(png.data(), png.size());
    REQUIRE(a.Width() == 3);
    for (int x = 0; x < 3; ++x)
        CHECK(a.Pixel(x, 0) == b.Pixel(x, 0));
}

TEST_CASE("every picture of the program is embedded at its size") {
    struct TCase {
        const wchar_t* Name;
        int W, H;
    };
    std::vector<TCase> cases = {
        {assets::kMainBackground, 780, 585},
        {assets::kMainHeader, 763, 105},
        {assets::kLogo, 105, 105},
        {assets::kTitleLogo, 20, 20},
        {assets::kPromo, 230, 75},
        {assets::kShieldOn, 95, 95},
        {assets::kShieldOff, 95, 95},
        {assets::kAboutBackground, 448, 324},
        {assets::kAllHostsBackground, 465, 345},
        {assets::kAddDialogBackground, 344, 176},
    };
    for (const wchar_t* icon : assets::kCleanIcons)
        cases.push_back({icon, 16, 16});
    for (const wchar_t* box : {assets::kCheckUnchecked, assets::kCheckChecked, assets::kCheckMixed})
        cases.push_back({box, 16, 16});
    std::vector<std::wstring> stateNames;
    for (const auto& [prefix, w, h] : {std::tuple{L"BUTTON", 75, 26}, std::tuple{L"HELP", 25, 24},
                                       std::tuple{L"MIN", 25, 24}, std::tuple{L"CLOSE", 25, 24}}) {
        for (const wchar_t* state : {L"_NORMAL", L"_HOVER", L"_DOWN", L"_DISABLED"}) {
            stateNames.push_back(std::wstring(prefix) + state);
            cases.push_back({nullptr, w, h});
        }
    }
    size_t state = 0;
    for (TCase& c : cases) {
        const std::wstring name = c.Name ? c.Name : stateNames[state++];
        CAPTURE(Narrow(name));
        const TKivPicture& pic = AssetPicture(name.c_str());
        CHECK(pic.Width() == c.W);
        CHECK(pic.Height() == c.H);
    }
    // The backgrounds cover their windows; the buttons and the logo have soft, see-through edges.
    CHECK(AssetPicture(assets::kMainBackground).Opaque());
    CHECK_FALSE(AssetPicture(assets::kLogo).Opaque());
    CHECK((AssetPicture(L"BUTTON_NORMAL").Pixel(0, 0) >> 24) < 255);
    CHECK((AssetPicture(L"CLOSE_NORMAL").Pixel(12, 1) >> 24) == 0);
    // The four states of a button differ from one another.
    const TKivStatePictures b = AssetStatePictures(L"BUTTON");
    CHECK(b.Normal.Pixel(37, 13) != b.Hover.Pixel(37, 13));
    CHECK(b.Hover.Pixel(37, 13) != b.Down.Pixel(37, 13));
    CHECK(b.Normal.Pixel(0, 13) != b.Disabled.Pixel(0, 13));
}

TEST_CASE("the program icon is resource 1 with a small and a large size") {
    HICON small = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(assets::kProgramIconId), IMAGE_ICON, 16, 16, 0));
    HICON large = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(assets::kProgramIconId), IMAGE_ICON, 48, 48, 0));
    CHECK(small != nullptr);
    CHECK(large != nullptr);
    if (small) ::DestroyIcon(small);
    if (large) ::DestroyIcon(large);
}

TEST_CASE("drawing blends soft edges with what the DC holds, and stretches") {
    TOffscreenBuffer buf;
    REQUIRE(buf.Ensure(4, 2));
    for (int i = 0; i < 8; ++i)
        buf.Bits()[i] = Pack(200, 100, 0);
    // Half-transparent white over orange: halfway between them.
    const TKivPicture half = Solid(2, 1, Pack(255, 255, 255, 128));
    half.Draw(buf.DC(), 1, 0);
    const uint32_t p = buf.Pixel(1, 0);
    CHECK(std::abs(R(p) - 227) <= 2);
    CHECK(std::abs(G(p) - 177) <= 2);
    CHECK(std::abs(B(p) - 128) <= 2);
    CHECK(Rgb(buf.Pixel(0, 0)) == Rgb(Pack(200, 100, 0)));
    CHECK(Rgb(buf.Pixel(3, 0)) == Rgb(Pack(200, 100, 0)));
    // An opaque picture stretched over the whole buffer covers it.
    Solid(1, 1, Pack(0, 0, 255)).DrawStretched(buf.DC(), RECT{0, 0, 4, 2});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            CHECK(Rgb(buf.Pixel(x, y)) == 0x0000FFu);
}
