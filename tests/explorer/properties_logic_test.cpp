// Properties dialog texts without a window: header values and counts, the
// banner's texts per language, their code page and the language list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disc/disc_format.h"
#include "explorer/core/properties_logic.h"
#include "host/host_text.h"
#include "reader/raw_image.h"

namespace {

// A banner of the given size whose record r holds its own texts: short name
// "S<r>", long name "Long <r>" and so on, written in the record's fields.
std::vector<uint8_t> make_banner(uint32_t size, const std::vector<std::string>& descriptions) {
  std::vector<uint8_t> banner(size, 0);
  std::memcpy(&banner[0], "BNR1", 4);
  for (size_t r = 0; r < descriptions.size(); ++r) {
    uint8_t* record = &banner[BANNER_TEXT_OFFSET + r * BANNER_RECORD_SIZE];
    std::string n = std::to_string(r);
    auto put = [&](uint32_t offset, const std::string& text) {
      std::memcpy(record + offset, text.data(), text.size());
    };
    put(BANNER_SHORT_NAME_OFFSET, "S" + n);
    put(BANNER_SHORT_MAKER_OFFSET, "M" + n);
    put(BANNER_LONG_NAME_OFFSET, "Long name " + n);
    put(BANNER_LONG_MAKER_OFFSET, "Long maker " + n);
    put(BANNER_DESCRIPTION_OFFSET, descriptions[r]);
  }
  return banner;
}

// An image with two folders and the banner among three files.
bool mount_image(ReaderFixture* fx, const char game_code[4], const char maker[2],
                 const std::vector<uint8_t>& banner) {
  RawImage image;
  image.set_game_code(game_code);
  image.set_maker_code(maker);
  image.set_game_name("Sample Game");
  uint32_t bnr = image.add_data(banner);
  uint32_t data = image.add_data(test_support::patterned_bytes(100, 7));
  image.write_table({file_entry("opening.bnr", bnr, uint32_t(banner.size())), dir_entry("a", 5),
                     file_entry("x", data, 100), dir_entry("b", 5), file_entry("y", data, 100)});
  return fx->mount(image);
}

}  // namespace

TEST(ExplorerProperties, HeaderValuesCountsAndVideoTypeComeFromTheImage) {
  ReaderFixture fx;
  const std::vector<uint8_t> banner = make_banner(BANNER_SINGLE_RECORD_SIZE, {"d"});
  ASSERT_TRUE(mount_image(&fx, "GTSJ", "01", banner));
  ImageProperties p = read_image_properties();
  EXPECT_EQ(p.image_path, fx.scratch.at("raw.gcm"));
  EXPECT_EQ(p.counts, "(2 ﾃﾞｨﾚｸﾄﾘ、3 ﾌｧｲﾙ)");  // directories first; the root is not counted
  EXPECT_EQ(p.game_name, "Sample Game");
  EXPECT_EQ(p.maker_name, "Nintendo");
  EXPECT_EQ(p.product_code, "DOL-GTS-JPN");
  EXPECT_EQ(p.video_type, "Japan/NTSC");

  ASSERT_TRUE(mount_image(&fx, "GTSE", "ZZ", banner));
  p = read_image_properties();
  EXPECT_EQ(p.product_code, "DOL-GTS-USA");
  EXPECT_EQ(p.video_type, "USA/NTSC");
  EXPECT_EQ(p.maker_name, "Unknown 'ZZ'");

  ASSERT_TRUE(mount_image(&fx, "GTSP", "01", banner));
  EXPECT_EQ(read_image_properties().video_type, "Europe/PAL");
}

TEST(ExplorerProperties, CountsOfAnImageWithoutFolders) {
  ReaderFixture fx;
  RawImage image;
  uint32_t at = image.add_data(test_support::patterned_bytes(10, 1));
  image.write_table({file_entry("one", at, 10), file_entry("two", at, 10)});
  ASSERT_TRUE(fx.mount(image));
  EXPECT_EQ(read_image_properties().counts, "(0 ﾃﾞｨﾚｸﾄﾘ、2 ﾌｧｲﾙ)");
  EXPECT_FALSE(image_has_banner());
  IsoUnmount();
  EXPECT_FALSE(image_has_banner());
}

TEST(ExplorerProperties, AFieldEndsAtItsFirstNulOrAtItsLastByte) {
  const uint8_t text[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(banner_field_text(text, sizeof text), "ab");
  // A full field has no NUL: the next bytes belong to the next field.
  const uint8_t full[] = {'x', 'y', 'z', 'N', 'E', 'X', 'T'};
  EXPECT_EQ(banner_field_text(full, 3), "xyz");
  EXPECT_EQ(banner_field_text(nullptr, 32), "");
}

TEST(ExplorerProperties, DescriptionLineBreaksBecomeCrLfForTheEdit) {
  EXPECT_EQ(edit_line_breaks("one\ntwo"), "one\r\ntwo");
  EXPECT_EQ(edit_line_breaks("one\r\ntwo\r"), "one\r\ntwo\r\n");
  EXPECT_EQ(edit_line_breaks("\n\n"), "\r\n\r\n");
  EXPECT_EQ(edit_line_breaks("能\n"), "能\r\n");  // 能 ends in the byte 0x5C
}

TEST(ExplorerProperties, SixLanguageBannerOffersSixWindows1252Records) {
  ReaderFixture fx;
  std::string full_description(BANNER_DESCRIPTION_SIZE, 'D');
  ASSERT_TRUE(mount_image(&fx, "GTSP", "01",
                          make_banner(BANNER_SIX_LANGUAGE_SIZE,
                                      {"en", "Fran\xE7" "ais", "es", "it", "nl", full_description})));
  ASSERT_TRUE(image_has_banner());
  EXPECT_TRUE(banner_languages_selectable());
  EXPECT_EQ(banner_code_page(), host::CODE_PAGE_WESTERN);
  EXPECT_EQ(banner_language_names(),
            (std::vector<std::string>{"English", "Deutsch", "Fran\xE7" "ais", "Espa\xF1" "ol",
                                      "Italiano", "Nerderland"}));

  BannerTexts german = banner_texts(1);  // the second record
  EXPECT_EQ(german.description, "Fran\xE7" "ais");
  EXPECT_EQ(german.short_name, "S1");
  EXPECT_EQ(german.long_name, "Long name 1");
  EXPECT_EQ(german.short_maker, "M1");
  EXPECT_EQ(german.long_maker, "Long maker 1");
  // The last record's description fills its field; it ends with the banner.
  EXPECT_EQ(banner_texts(5).description, full_description);
  EXPECT_EQ(banner_texts(6).short_name, "");  // no seventh record
}

TEST(ExplorerProperties, SingleRecordBannerHasOneFixedShiftJisRecord) {
  ReaderFixture fx;
  ASSERT_TRUE(mount_image(&fx, "GTSJ", "01",
                          make_banner(BANNER_SINGLE_RECORD_SIZE, {"日本語の説明"})));
  EXPECT_FALSE(banner_languages_selectable());
  EXPECT_EQ(banner_code_page(), host::CODE_PAGE_JAPANESE);
  EXPECT_EQ(banner_language_names(), std::vector<std::string>{"Japan/USA (NTSC)"});
  for (uint16_t language : {0, 3, 5}) {
    BannerTexts texts = banner_texts(language);
    EXPECT_EQ(texts.description, "日本語の説明");
    EXPECT_EQ(texts.long_name, "Long name 0");
  }
}
