// Header queries: product codes, video formats, makers, game names.
#include <gtest/gtest.h>

#include <cstring>

#include "reader/raw_image.h"

namespace {

void mount_header(ReaderFixture* fx, const char* game_code, const char* maker, const std::string& name) {
  RawImage image;
  image.set_game_code(game_code);
  image.set_maker_code(maker);
  image.set_game_name(name);
  image.write_table({});
  ASSERT_TRUE(fx->mount(image));
}

}  // namespace

TEST(ReaderDiscInfo, TheRegionLetterGivesTheSuffixAndTheVideoFormat) {
  struct Case {
    const char* code;
    const char* product;
    const char* video;
  } cases[] = {{"ABCE", "DOL-ABC-USA", "USA/NTSC"},
               {"ABCJ", "DOL-ABC-JPN", "Japan/NTSC"},
               {"ABCP", "DOL-ABC-EUR", "Europe/PAL"},
               {"ABCU", "DOL-ABC-EUR", "Europe/PAL"},
               {"ABCe", "DOL-ABC-EUR", "Europe/PAL"}};
  for (const Case& c : cases) {
    ReaderFixture fx;
    mount_header(&fx, c.code, "01", "x");
    char product[260];
    EXPECT_STREQ(IsoGetProductCode(product, sizeof product), c.product);
    EXPECT_STREQ(IsoVideoFormatText(product), c.video);
    EXPECT_STREQ(IsoGetRoot()->name, c.product);
    char small[32];
    EXPECT_STREQ(IsoGetProductCode(small, sizeof small), c.product);
  }
}

TEST(ReaderDiscInfo, ShortBuffersAndNulBytesCutTheProductCode) {
  ReaderFixture fx;
  mount_header(&fx, "A\0CE", "01", "x");
  char product[32];
  EXPECT_STREQ(IsoGetProductCode(product, sizeof product), "DOL-A");
  IsoUnmount();
  mount_header(&fx, "ABCE", "01", "x");
  char tiny[6];
  EXPECT_STREQ(IsoGetProductCode(tiny, sizeof tiny), "DOL-A");
}

TEST(ReaderDiscInfo, MakerCodesAreLookedUpByteForByte) {
  struct Case {
    const char* maker;
    const char* name;
  } cases[] = {{"01", "Nintendo"}, {"5d", "Datel"}, {"5D", "Midway"}, {"DJ", "Fujiko Pro DH Gaps"},
               {"2H", "Ubi Soft"}, {"41", "Ubi Soft"}, {"IC", "Inside-cap"}, {"ZZ", "Unknown 'ZZ'"},
               {"01", "Nintendo"}};
  for (const Case& c : cases) {
    ReaderFixture fx;
    mount_header(&fx, "GTSE", c.maker, "x");
    EXPECT_STREQ(IsoGetMakerName(), c.name) << c.maker;
  }
}

TEST(ReaderDiscInfo, UnknownMakerTextStopsAtTheCodesEnd) {
  ReaderFixture fx;
  RawImage image;
  image.set_maker_code("Z\0");
  image.bytes[6] = 'Q';  // bytes after the code play no part
  image.write_table({});
  ASSERT_TRUE(fx.mount(image));
  EXPECT_STREQ(IsoGetMakerName(), "Unknown 'Z'");
}

TEST(ReaderDiscInfo, WithNothingMountedTheQueriesSeeAClearedHeader) {
  ReaderFixture fx;
  char buffer[260];
  EXPECT_STREQ(IsoGetProductCode(buffer, sizeof buffer), "DOL-");
  EXPECT_STREQ(IsoGetMakerName(), "Unknown ''");
  EXPECT_STREQ(IsoGetGameName(buffer, sizeof buffer), "");
  EXPECT_STREQ(IsoVideoFormatText("DOL-"), "Europe/PAL");
}

TEST(ReaderDiscInfo, TheGameNameEndsAtItsNulOrTheBuffer) {
  ReaderFixture fx;
  mount_header(&fx, "GTSE", "01", "Ｔｒｅｌｖｉｋ Disc");
  char name[260];
  EXPECT_STREQ(IsoGetGameName(name, sizeof name), "Ｔｒｅｌｖｉｋ Disc");
  char short_buffer[5];
  EXPECT_STREQ(IsoGetGameName(short_buffer, sizeof short_buffer), "\x82\x73\x82\x92");
}
