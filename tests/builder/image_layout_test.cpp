// Where the header, boot area, apploader, main program, table and data land.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "builder/build_fixture.h"
#include "disc/disc_format.h"

namespace {

bool all_zero(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  return std::all_of(bytes.begin() + from, bytes.begin() + to, [](uint8_t b) { return b == 0; });
}

TEST(ImageLayout, HeaderFieldsAndZeroAreasAreWrittenAsLaidOut) {
  BuildFixture f;
  f.set_apploader(7001);  // odd lengths are not rounded
  f.set_main_program(333);
  f.add_file("a.bin", 10, 1);
  std::memcpy(f.settings.game_name, "0123456789012345678901234567890123456789012345678901234567890123", 64);
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> image = f.image();

  EXPECT_EQ(std::string(reinterpret_cast<char*>(&image[0]), 6), "GTSE01");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&image[0x20]), 64), std::string(f.settings.game_name, 64));
  EXPECT_TRUE(all_zero(image, 6, 0x20)) << "no disc magic unless asked";
  EXPECT_TRUE(all_zero(image, 0x60, 0x420));
  EXPECT_EQ(be32_at(image, 0x420), 0x2440u + 7001u);
  EXPECT_EQ(be32_at(image, 0x420), 16281u);
  EXPECT_EQ(be32_at(image, 0x424), 0x2440u + 7001u + 333u);
  EXPECT_EQ(be32_at(image, 0x428), 12u * 2 + 6);
  EXPECT_EQ(be32_at(image, 0x42C), 16384u) << "a small table keeps the starting value";
  EXPECT_TRUE(all_zero(image, 0x430, 0x2440));

  auto apploader = test_support::read_file(f.apploader);
  auto main_program = test_support::read_file(f.main_program);
  EXPECT_TRUE(std::equal(apploader.begin(), apploader.end(), image.begin() + 0x2440));
  EXPECT_TRUE(std::equal(main_program.begin(), main_program.end(), image.begin() + 16281));
}

TEST(ImageLayout, DiscMagicIsWrittenOnlyWhenAsked) {
  BuildFixture f;
  ASSERT_TRUE(f.prepare());
  builder_set_disc_magic(true);
  ASSERT_TRUE(f.write(false));
  std::vector<uint8_t> image = f.image();
  EXPECT_EQ(be32_at(image, 0x1C), GAMECUBE_DISC_MAGIC);
  EXPECT_TRUE(all_zero(image, 6, 0x1C));

  ASSERT_TRUE(f.build());  // a reset clears the option
  EXPECT_EQ(be32_at(f.image(), 0x1C), 0u);
}

TEST(ImageLayout, AnOptionSetAfterThePreparationMovesTheLayoutTheWriteUses) {
  // The write takes the preparation's layout unless an option moved it since.
  const struct {
    const char* what;
    void (*set)();
    uint32_t main_program_offset, first_data_alignment;
  } cases[] = {
      {"nothing set", [] {}, 0x2440u + 100u, 2048u},
      {"file alignment", [] { builder_set_file_alignment(32768); }, 0x2440u + 100u, 32768u},
      {"without a main program", [] { builder_set_without_main_program(true); }, 0u, 2048u},
  };
  for (const auto& c : cases) {
    BuildFixture f;
    f.set_apploader(100);
    f.set_main_program(50000);  // so that the first file is not on 32 KiB by chance
    f.add_file("a.bin", 10, 1);
    ASSERT_TRUE(f.prepare()) << c.what;
    c.set();
    ASSERT_TRUE(f.write(false)) << c.what << " " << f.error;
    const std::vector<uint8_t> image = f.image();
    EXPECT_EQ(be32_at(image, 0x420), c.main_program_offset) << c.what;
    const uint32_t data_offset = be32_at(image, be32_at(image, 0x424) + FST_ENTRY_SIZE + 4);
    EXPECT_EQ(data_offset % 32768 == 0, c.first_data_alignment == 32768u) << c.what << " " << data_offset;
    EXPECT_EQ(data_offset % c.first_data_alignment, 0u) << c.what;
  }
}

TEST(ImageLayout, ZeroLengthBootFilesPutEverythingBackToBack) {
  BuildFixture f;
  f.set_apploader(0);
  f.set_main_program(0);
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> image = f.image();
  EXPECT_EQ(be32_at(image, 0x420), 0x2440u);
  EXPECT_EQ(be32_at(image, 0x424), 0x2440u);
  EXPECT_EQ(image.size(), 0x2440u + 12) << "a tree without files ends with its table";
}

TEST(ImageLayout, TableEndingOnABoundaryIsFollowedDirectlyByTheFirstFile) {
  BuildFixture f;
  // The table is 2 entries + "x.bin\0" = 30 bytes; pick the apploader length
  // that makes it end at 0x3000.
  f.add_file("x.bin", 100, 3);
  size_t table = 12 * 2 + 6;
  f.set_apploader(0x3000 - 0x2440 - table - 64);
  f.set_main_program(64);
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> image = f.image();
  uint32_t fst_end = be32_at(image, 0x424) + be32_at(image, 0x428);
  ASSERT_EQ(fst_end, 0x3000u);
  uint32_t first_file = be32_at(image, be32_at(image, 0x424) + 12 + 4);
  EXPECT_EQ(first_file, 0x3000u);
  EXPECT_EQ(image.size(), 0x3000u + 100) << "without maximising the image ends at the last byte";
}

TEST(ImageLayout, LargeTableRaisesMaxFstSize) {
  BuildFixture f;
  // 600 files with 20-byte names: 601 * 12 + 600 * 21 = 19,812 bytes.
  for (int i = 0; i < 600; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file_%015d", i);
    f.add_file(name, 0, 0);
  }
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> image = f.image();
  EXPECT_EQ(be32_at(image, 0x428), 19812u);
  EXPECT_EQ(be32_at(image, 0x42C), 19812u);
}

TEST(ImageLayout, SmallStartingMaxFstSizeIsRaisedToTheTableSize) {
  BuildFixture f;
  f.settings.max_fst_size = 10;
  ASSERT_TRUE(f.build());
  EXPECT_EQ(be32_at(f.image(), 0x42C), 12u);
}

TEST(ImageLayout, GapsBetweenFilesAreZero) {
  BuildFixture f;
  f.add_file("only/one.bin", 3, 9);
  f.add_file("only/two.bin", 5, 9);
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> image = f.image();
  uint32_t fst = be32_at(image, 0x424);
  uint32_t fst_end = fst + be32_at(image, 0x428);
  uint32_t first = be32_at(image, fst + 24 + 4);
  uint32_t first_size = be32_at(image, fst + 24 + 8);
  uint32_t second = be32_at(image, fst + 36 + 4);
  uint32_t second_size = be32_at(image, fst + 36 + 8);
  EXPECT_TRUE(all_zero(image, fst_end, first));
  EXPECT_EQ(second, first + 2048);
  EXPECT_TRUE(all_zero(image, first + first_size, second)) << "padding behind a short file";
  EXPECT_EQ(image.size(), second + second_size);
}

}  // namespace
