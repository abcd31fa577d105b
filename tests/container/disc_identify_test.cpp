// What a file is, from its first bytes and its size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disc/disc_format.h"
#include "container/disc_identify.h"
#include "container/test_writer.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> header_with(const std::string& start, uint32_t fst_offset, uint32_t fst_size) {
  std::vector<uint8_t> head(DISC_IDENTIFY_BYTES, 0);
  std::memcpy(head.data(), start.data(), start.size());
  write_be32(&head[0x424], fst_offset);
  write_be32(&head[0x428], fst_size);
  return head;
}

TEST(DiscIdentify, MagicWordsAndPlausibleHeadersTellWhatAFileIs) {
  std::vector<uint8_t> magic = header_with("", 0, 0);
  write_be32(&magic[GAMECUBE_DISC_MAGIC_OFFSET], GAMECUBE_DISC_MAGIC);
  std::vector<uint8_t> wii = header_with("RSBE01", 0, 0);
  write_be32(&wii[WII_DISC_MAGIC_OFFSET], WII_DISC_MAGIC);
  const struct {
    std::vector<uint8_t> head;
    uint64_t size;
    DiscFileKind kind;
    std::string detail;  // container or reason
  } rows[] = {
      {magic, 0x10000, DiscFileKind::GameCubeImage, ""},
      {header_with("GTRE01", 0x2440, 0x40), 0x3000, DiscFileKind::GameCubeImage, ""},
      {header_with("GTRE01", 0x2440, 0x40), 0x2470, DiscFileKind::NotADisc, "no plausible disc header"},
      {header_with("GT\x01" "E01", 0x2440, 0x40), 0x3000, DiscFileKind::NotADisc, "no plausible disc header"},
      {header_with("GTRE01", 0x100, 0x40), 0x3000, DiscFileKind::NotADisc, "no plausible disc header"},
      {wii, 0x10000, DiscFileKind::WiiImage, ""},
      {{}, 0, DiscFileKind::NotADisc, "0 bytes"},
      {header_with("GTRE01", 0, 0), 0x43F, DiscFileKind::NotADisc, "shorter than a disc header"},
  };
  for (const auto& row : rows) {
    const size_t n = row.head.size() < row.size ? row.head.size() : size_t(row.size);
    DiscFileIdentity id = identify_disc_bytes(row.head.data(), n, row.size);
    EXPECT_EQ(id.kind, row.kind) << row.detail;
    EXPECT_EQ(id.reason, row.detail);
  }

  test_support::ScratchDir dir;
  EXPECT_EQ(identify_disc_file(dir.path().string().c_str()).reason, "a folder");
  EXPECT_EQ(identify_disc_file(dir.at("missing").c_str()).reason, "does not exist");
  test_support::write_file(dir.at("image.gcm"), magic);
  EXPECT_EQ(identify_disc_file(dir.at("image.gcm").c_str()).kind, DiscFileKind::GameCubeImage);
  test_support::write_file(dir.at("wii.iso"), wii);
  EXPECT_EQ(identify_disc_file(dir.at("wii.iso").c_str()).kind, DiscFileKind::WiiImage);
  // A container is opened and what it holds is named: a GameCube disc, or a
  // Wii disc.
  test_writer::Bytes disc = test_writer::sample_disc();
  test_support::write_file(dir.at("disc.ciso"), test_writer::write_ciso(disc, 0x8000));
  DiscFileIdentity ciso = identify_disc_file(dir.at("disc.ciso").c_str());
  EXPECT_EQ(ciso.container, "CISO");
  write_be32(&disc[WII_DISC_MAGIC_OFFSET], WII_DISC_MAGIC);
  test_support::write_file(dir.at("wii.gcz"), test_writer::write_gcz(disc, 0x8000));
  DiscFileIdentity wii_gcz = identify_disc_file(dir.at("wii.gcz").c_str());
  EXPECT_EQ(wii_gcz.kind, DiscFileKind::WiiImage);
  EXPECT_EQ(wii_gcz.container, "GCZ");
  // A container that is damaged says what is wrong.
  for (const char* magic_word : {"RVZ\x01", "WIA\x01", "CISO", "WII\x01" "DISC"}) {
    test_support::write_file(dir.at("damaged"), header_with(magic_word, 0, 0));
    DiscFileIdentity damaged = identify_disc_file(dir.at("damaged").c_str());
    EXPECT_EQ(damaged.kind, DiscFileKind::NotADisc) << magic_word;
    EXPECT_FALSE(damaged.container.empty()) << magic_word;
    EXPECT_EQ(damaged.reason.compare(0, damaged.container.size() + 1, damaged.container + ":"), 0)
        << damaged.reason;
  }
}

}  // namespace
