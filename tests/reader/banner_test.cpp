// Banner: kinds by size, text fields per language, the picture's tile order
// and colours, drawn into the host's drawing target.
#include <gtest/gtest.h>

#include <vector>

#include <cstring>

#include "disc/disc_format.h"
#include "reader/raw_image.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// A banner of the given size: pixel i holds 0x8000 | i, and the text record
// r holds the letter 'A' + r throughout its fields.
std::vector<uint8_t> make_banner(uint32_t size) {
  std::vector<uint8_t> b(size, 0);
  for (int i = 0; i < BANNER_PIXEL_COUNT && BANNER_PICTURE_OFFSET + 2u * i + 1 < size; ++i) {
    b[BANNER_PICTURE_OFFSET + 2 * i] = uint8_t(0x80 | (i >> 8));
    b[BANNER_PICTURE_OFFSET + 2 * i + 1] = uint8_t(i);
  }
  for (uint32_t r = 0; r < 6; ++r) {
    uint32_t at = BANNER_TEXT_OFFSET + r * BANNER_RECORD_SIZE;
    if (at + BANNER_RECORD_SIZE > size) break;
    std::memset(&b[at], 'A' + int(r), BANNER_RECORD_SIZE);
    b[at + BANNER_LONG_NAME_OFFSET + 5] = 0;  // long name "XXXXX"
  }
  return b;
}

void mount_with_banner(ReaderFixture* fx, const std::vector<uint8_t>& banner, const char* name = "opening.bnr") {
  RawImage image;
  uint32_t at = image.add_data(banner);
  image.write_table({file_entry(name, at, uint32_t(banner.size()))});
  ASSERT_TRUE(fx->mount(image));
  IsoPrepareBannerPicture();
}

std::string field(uint16_t selector, uint16_t language, size_t width) {
  const uint8_t* p = IsoGetBannerField(selector, language);
  if (!p) return "<none>";
  return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), width));
}

}  // namespace

TEST(ReaderBanner, ASingleRecordBannerAnswersEveryLanguage) {
  ReaderFixture fx;
  mount_with_banner(&fx, make_banner(BANNER_SINGLE_RECORD_SIZE));
  EXPECT_EQ(IsoGetBannerKind(), 0);
  for (uint16_t language = 0; language < 6; ++language) {
    EXPECT_EQ(field(BannerLongName, language, 64), "AAAAA");
    EXPECT_EQ(field(BannerShortName, language, 32), std::string(32, 'A'));  // fills its field, no NUL
  }
}

TEST(ReaderBanner, SixLanguageRecordsFollowEachOther) {
  ReaderFixture fx;
  mount_with_banner(&fx, make_banner(BANNER_SIX_LANGUAGE_SIZE));
  EXPECT_EQ(IsoGetBannerKind(), 1);
  for (uint16_t language = 0; language < 6; ++language)
    EXPECT_EQ(field(BannerLongName, language, 64), std::string(5, char('A' + language)));
  const uint8_t* record5 = IsoGetBannerField(BannerShortName, 5);
  EXPECT_EQ(IsoGetBannerField(BannerPicture, 0) - BANNER_PICTURE_OFFSET + 0x1E60, record5);
  EXPECT_EQ(IsoGetBannerField(BannerShortMaker, 2) - IsoGetBannerField(BannerShortName, 2), 0x20);
  EXPECT_EQ(IsoGetBannerField(BannerLongMaker, 2) - IsoGetBannerField(BannerShortName, 2), 0x80);
  EXPECT_EQ(IsoGetBannerField(BannerDescription, 2) - IsoGetBannerField(BannerShortName, 2), 0xC0);
  EXPECT_EQ(IsoGetBannerField(0, 0), nullptr);
  EXPECT_EQ(IsoGetBannerField(7, 0), nullptr);
  EXPECT_EQ(IsoGetBannerField(BannerLongName, 6), nullptr);  // past the six records
}

TEST(ReaderBanner, AnyOtherSizeIsReadAsSixLanguagesEvenWhenShort) {
  ReaderFixture fx;
  mount_with_banner(&fx, make_banner(8000));
  EXPECT_EQ(IsoGetBannerKind(), 1);
  EXPECT_EQ(field(BannerLongName, 4, 64), "EEEEE");
  // The banner is the image's last data here, so what follows it is the table.
  EXPECT_NE(IsoGetBannerField(BannerLongName, 5), nullptr);
}

TEST(ReaderBanner, TheBannerIsFoundIgnoringTheFileNamesCase) {
  ReaderFixture fx;
  mount_with_banner(&fx, make_banner(BANNER_SINGLE_RECORD_SIZE), "OPENING.BNR");
  EXPECT_EQ(field(BannerLongName, 0, 64), "AAAAA");
}

TEST(ReaderBanner, WithoutABannerTheTextsAreEmptyAndThePictureBlack) {
  ReaderFixture fx;
  RawImage image;
  image.write_table({});
  ASSERT_TRUE(fx.mount(image));
  IsoPrepareBannerPicture();
  EXPECT_EQ(IsoGetBannerKind(), 0);
  EXPECT_EQ(field(BannerLongName, 3, 64), "");
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) ASSERT_EQ(IsoGetBannerPicture()[i], 0) << i;
}

TEST(ReaderBanner, PixelColoursFollowBothFormats) {
  struct Case {
    uint16_t v;
    uint8_t r, g, b;
  } cases[] = {{0xFFFF, 255, 255, 255}, {0xFC00, 255, 0, 0}, {0x8421, 8, 8, 8},
               {0x8000, 0, 0, 0},       {0x7FFF, 225, 225, 225}, {0x0F00, 225, 0, 0},
               {0x0000, 0, 0, 0},       {0x0FFF, 225, 225, 225}, {0x83E0, 0, 255, 0}};
  for (const Case& c : cases) {
    BannerRgb rgb = banner_pixel_rgb(c.v);
    EXPECT_EQ(rgb.red, c.r) << std::hex << c.v;
    EXPECT_EQ(rgb.green, c.g) << std::hex << c.v;
    EXPECT_EQ(rgb.blue, c.b) << std::hex << c.v;
  }
}

TEST(ReaderBanner, StoredPixelsLieTileByTile) {
  // The second tile, the first tile of the second tile row, the second row
  // inside the first tile, and the last pixel.
  struct Case {
    int i, x, y;
  } cases[] = {{16, 4, 0}, {384, 0, 4}, {4, 0, 1}, {3071, 95, 31}};
  for (const Case& c : cases) {
    int x, y;
    banner_pixel_position(c.i, &x, &y);
    EXPECT_EQ(x, c.x) << c.i;
    EXPECT_EQ(y, c.y) << c.i;
  }
}

// Draws the test banner (pixel i = 0x8000 | i), and copies it as RGB, and
// checks every pixel of both against the stored order.
TEST(ReaderBanner, DrawingPutsEveryStoredPixelInPlace) {
  ReaderFixture fx;
  mount_with_banner(&fx, make_banner(BANNER_SIX_LANGUAGE_SIZE));
  EXPECT_EQ(IsoGetBannerPicture()[5], 0x8005);
  const int x0 = 3, y0 = 2;
#ifdef _WIN32
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 128;
  info.bmiHeader.biHeight = -64;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  IsoDrawBanner(reinterpret_cast<IsoDrawTarget>(dc), x0, y0);
  GdiFlush();
  auto at = [&](int x, int y) {
    uint32_t p = static_cast<uint32_t*>(bits)[(y0 + y) * 128 + x0 + x];  // BGRA
    return BannerRgb{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
  };
#else
  BannerCanvas canvas = {};
  IsoDrawBanner(&canvas, 0, 0);
  auto at = [&](int x, int y) {
    const uint8_t* p = canvas.rgb[y][x];
    return BannerRgb{p[0], p[1], p[2]};
  };
  (void)x0;
  (void)y0;
#endif
  // The RGB copy the command line encodes holds the same pixels, rows top to bottom.
  std::vector<uint8_t> rgb(size_t(BANNER_PIXEL_COUNT) * 3);
  IsoGetBannerRgb(rgb.data());
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
    int x, y;
    banner_pixel_position(i, &x, &y);
    BannerRgb want = banner_pixel_rgb(uint16_t(0x8000 | i)), got = at(x, y);
    ASSERT_TRUE(want.red == got.red && want.green == got.green && want.blue == got.blue) << i;
    const uint8_t* copied = &rgb[(size_t(y) * BANNER_WIDTH + size_t(x)) * 3];
    ASSERT_TRUE(want.red == copied[0] && want.green == copied[1] && want.blue == copied[2]) << i;
  }
#ifdef _WIN32
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
#else
  // Drawn with an offset, the picture is clipped at the canvas's edge.
  BannerCanvas shifted = {};
  IsoDrawBanner(&shifted, 90, 30);
  EXPECT_EQ(shifted.rgb[30][91][2], 8);    // stored pixel 1, 0x8001
  EXPECT_EQ(shifted.rgb[31][95][2], 173);  // stored pixel 21, 0x8015, at (5, 1) of the picture
#endif
}
