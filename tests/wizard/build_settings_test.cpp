// How the wizard's state becomes the builder's settings record: typed header
// fields, an imported header, region letters, fixed-width fields and paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "container/test_writer.h"
#include "support/test_support.h"
#include "wizard/filled_state.h"
#include "wizard/core/header_image.h"
#include "wizard/core/wizard_state.h"

namespace {

using test_support::ScratchDir;

WizardState typed_state() {
  return filled_wizard_state("Trial Game", {"boot/apploader.img", "boot/main.dol", "files", "out.gcm"});
}

std::string field(const char* bytes, size_t n) { return std::string(bytes, n); }

TEST(WizardState, InitSetsJapanNoImportAndMaximise) {
  WizardState state;
  std::memset(&state, 0xAB, sizeof(state));
  wizard_state_init(&state);
  EXPECT_EQ(state.region_index, 0);
  EXPECT_EQ(state.import_header, 0);
  EXPECT_EQ(state.maximise_image, 1);
  EXPECT_EQ(state.game_id[0], '\0');
  EXPECT_EQ(state.output_path[0], '\0');
  EXPECT_EQ(state.total_data_size, 0u);
  EXPECT_EQ(state.write_finished, 0);
}

TEST(WizardState, RegionIndexMapsToJapanUsaAndEuropeForAnyOtherValue) {
  EXPECT_EQ(region_letter(0), 'J');
  EXPECT_EQ(region_letter(1), 'E');
  EXPECT_EQ(region_letter(2), 'U');
  EXPECT_EQ(region_letter(7), 'U');
  EXPECT_EQ(region_letter(0xFFFF), 'U');
}

TEST(FillBuildSettings, TypedHeaderFieldsArePaddedWithZeros) {
  WizardState state = typed_state();
  // A header buffer at hand is ignored while the import is off.
  uint8_t unused_header[DISC_HEADER_SIZE];
  std::memset(unused_header, 'X', sizeof(unused_header));
  BuildSettings settings;
  std::memset(&settings, 0xCC, sizeof(settings));
  fill_build_settings(state, unused_header, &settings);

  EXPECT_EQ(field(settings.game_code, 4), "GTRE");
  EXPECT_EQ(field(settings.maker_code, 2), "01");
  EXPECT_EQ(field(settings.game_name, 64), std::string("Trial Game") + std::string(54, '\0'));
  EXPECT_EQ(settings.max_fst_size, 0x4000);
  EXPECT_STREQ(settings.output_path, "out.gcm");
  EXPECT_STREQ(settings.base_directory, "files");
  EXPECT_STREQ(settings.main_program_path, "boot/main.dol");
  EXPECT_STREQ(settings.apploader_path, "boot/apploader.img");
  // Nothing of the previous contents survives behind the paths' terminators.
  EXPECT_EQ(field(settings.output_path, 260), std::string("out.gcm") + std::string(253, '\0'));
}

TEST(FillBuildSettings, ShortIdsLeaveZerosAndRegionLetterStaysFourth) {
  WizardState state = typed_state();
  std::strcpy(state.game_id, "A");
  std::strcpy(state.maker_id, "9");
  state.region_index = 7;
  BuildSettings settings;
  fill_build_settings(state, nullptr, &settings);
  EXPECT_EQ(field(settings.game_code, 4), std::string("A\0\0U", 4));
  EXPECT_EQ(field(settings.maker_code, 2), std::string("9\0", 2));
}

TEST(FillBuildSettings, FullLengthNameFillsTheFieldWithoutTerminator) {
  WizardState state = typed_state();
  const std::string name(64, 'N');
  std::memcpy(state.game_name, name.c_str(), 65);
  BuildSettings settings;
  fill_build_settings(state, nullptr, &settings);
  EXPECT_EQ(field(settings.game_name, 64), name);
  // The next field starts right behind it, untouched by a terminator.
  EXPECT_EQ(settings.max_fst_size, 0x4000);
}

TEST(FillBuildSettings, ImportedHeaderFieldsWinOverTypedOnes) {
  WizardState state = typed_state();
  state.import_header = 1;
  state.region_index = 0;
  uint8_t header[DISC_HEADER_SIZE] = {};
  std::memcpy(header, "GXYP8P", 6);  // a European code stays 'P'
  std::memcpy(header + 0x20, "Imported name", 13);
  header[0x20 + 63] = 'Z';  // the imported name's bytes are taken whole
  header[0x1C] = 0xC2;      // neighbouring bytes are not copied
  BuildSettings settings;
  fill_build_settings(state, header, &settings);
  EXPECT_EQ(field(settings.game_code, 4), "GXYP");
  EXPECT_EQ(field(settings.maker_code, 2), "8P");
  std::string expected_name = std::string("Imported name") + std::string(50, '\0') + "Z";
  EXPECT_EQ(field(settings.game_name, 64), expected_name);
  EXPECT_EQ(settings.max_fst_size, 0x4000);
  EXPECT_STREQ(settings.output_path, "out.gcm");
}

TEST(FillBuildSettings, ImportedHeaderBytesAreCopiedWhateverTheyHold) {
  WizardState state = typed_state();
  state.import_header = 1;
  uint8_t header[DISC_HEADER_SIZE];
  for (size_t i = 0; i < sizeof(header); ++i) header[i] = uint8_t(0x80 + i);
  header[1] = 0;  // a zero inside the code does not end the copy
  BuildSettings settings;
  fill_build_settings(state, header, &settings);
  EXPECT_EQ(0, std::memcmp(settings.game_code, header, 4));
  EXPECT_EQ(0, std::memcmp(settings.maker_code, header + 4, 2));
  EXPECT_EQ(0, std::memcmp(settings.game_name, header + 0x20, 64));
}

TEST(CopyFixedField, CutsLongTextAndPadsShortText) {
  char f[5];
  std::memset(f, 'x', sizeof(f));
  copy_fixed_field(f, 4, "ABCDEFG");
  EXPECT_EQ(std::string(f, 5), "ABCDx");  // no terminator written past the width
  copy_fixed_field(f, 4, "AB");
  EXPECT_EQ(std::string(f, 5), std::string("AB\0\0x", 5));
  copy_fixed_field(f, 4, "");
  EXPECT_EQ(std::string(f, 4), std::string(4, '\0'));
}

TEST(ReadImportedHeader, ReadsTheFirstBytesOfALongFile) {
  ScratchDir dir;
  std::vector<uint8_t> bytes = test_support::patterned_bytes(5000, 3);
  test_support::write_file(dir.at("image.gcm"), bytes);
  uint8_t header[DISC_HEADER_SIZE];
  ASSERT_TRUE(read_imported_header(dir.at("image.gcm").c_str(), header));
  EXPECT_EQ(0, std::memcmp(header, bytes.data(), DISC_HEADER_SIZE));
}

TEST(ReadImportedHeader, ShortFileIsZeroPadded) {
  ScratchDir dir;
  test_support::write_file(dir.at("short.gcm"), std::string("GSHJ01"));
  uint8_t header[DISC_HEADER_SIZE];
  std::memset(header, 0xEE, sizeof(header));
  ASSERT_TRUE(read_imported_header(dir.at("short.gcm").c_str(), header));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header), 6), "GSHJ01");
  for (size_t i = 6; i < DISC_HEADER_SIZE; ++i) ASSERT_EQ(header[i], 0) << "at " << i;
}

TEST(ReadImportedHeader, MissingFileFailsWithZeroedHeader) {
  ScratchDir dir;
  uint8_t header[DISC_HEADER_SIZE];
  std::memset(header, 0xEE, sizeof(header));
  EXPECT_FALSE(read_imported_header(dir.at("absent.gcm").c_str(), header));
  for (size_t i = 0; i < DISC_HEADER_SIZE; ++i) ASSERT_EQ(header[i], 0) << "at " << i;
}

// A container's own bytes are never the header: the disc inside it is, and
// a container that gives none is refused as an image that cannot be opened.
// Any other file, a plain Wii disc included, is taken as it is. Default mode
// also refuses what is no GameCube disc, and a disc shorter than the boot
// blocks it copies.
TEST(ReadImportedHeader, ContainersGiveTheDiscTheyHold) {
  ScratchDir dir;
  const test_writer::Bytes disc = test_writer::sample_disc();
  const test_writer::Bytes rvz = test_writer::write_wia(disc, {}).file;
  test_support::write_file(dir.at("disc.rvz"), rvz);
  test_support::write_file(dir.at("cut.rvz"), test_writer::Bytes(rvz.begin(), rvz.begin() + 200));
  test_writer::Bytes wii = disc;
  write_be32(&wii[GAMECUBE_DISC_MAGIC_OFFSET], 0);
  write_be32(&wii[WII_DISC_MAGIC_OFFSET], WII_DISC_MAGIC);
  test_support::write_file(dir.at("wii.ciso"), test_support::make_ciso(wii));
  test_support::write_file(dir.at("wii.iso"), wii);
  test_support::write_file(dir.at("notes.txt"), std::string(20000, 'x'));
  test_support::write_file(dir.at("short.gcm"), test_writer::Bytes(disc.begin(), disc.begin() + 0x1000));

  uint8_t header[DISC_HEADER_SIZE];
  HeaderImageResult result;
  ASSERT_TRUE(read_imported_header(dir.at("disc.rvz").c_str(), header, &result)) << result.detail;
  EXPECT_EQ(0, std::memcmp(header, disc.data(), sizeof header));
  ASSERT_TRUE(read_imported_header(dir.at("wii.iso").c_str(), header));
  EXPECT_EQ(0, std::memcmp(header, wii.data(), sizeof header));
  const struct {
    const char* file;
    HeaderImageFault fault;
  } refused[] = {{"cut.rvz", HeaderImageFault::DamagedContainer}, {"wii.ciso", HeaderImageFault::WiiDisc}};
  for (const auto& r : refused) {
    std::memset(header, 0xEE, sizeof header);
    EXPECT_FALSE(read_imported_header(dir.at(r.file).c_str(), header, &result)) << r.file;
    EXPECT_EQ(result.fault, r.fault) << r.file;
    EXPECT_EQ(header[0], 0) << r.file;
  }

  uint8_t head[APPLOADER_OFFSET];
  EXPECT_EQ(read_header_disc(dir.at("disc.rvz").c_str(), head).fault, HeaderImageFault::None);
  EXPECT_EQ(0, std::memcmp(head, disc.data(), sizeof head));
  EXPECT_EQ(read_header_disc(dir.at("wii.iso").c_str(), head).fault, HeaderImageFault::WiiDisc);
  EXPECT_EQ(read_header_disc(dir.at("notes.txt").c_str(), head).fault, HeaderImageFault::NotAGameCubeDisc);
  EXPECT_EQ(read_header_disc(dir.at("short.gcm").c_str(), head).fault, HeaderImageFault::TooShort);
  EXPECT_EQ(read_header_disc(dir.at("absent.gcm").c_str(), head).fault, HeaderImageFault::CannotOpen);
}

}  // namespace
