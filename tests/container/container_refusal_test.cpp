// Damaged and hostile containers: each is refused with its code and a text
// naming the container and what is wrong, when opened or at the latest when
// the damaged part is read.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "container/container.h"
#include "container/decompress.h"
#include "support/test_support.h"
#include "tests/container/test_writer.h"

namespace {

using test_writer::Bytes;
using Damage = std::function<void(Bytes&)>;

struct Row {
  const char* what;
  Damage damage;
  ContainerError error;
  const char* detail;  // the detail begins with this
};

uint64_t get_be(const Bytes& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b[at + i];
  return v;
}
uint64_t get_le64(const Bytes& b, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}
Damage be(size_t at, int n, uint64_t v) {
  return [=](Bytes& b) {
    for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * (n - 1 - i)));
  };
}
Damage le(size_t at, int n, uint64_t v) {
  return [=](Bytes& b) {
    for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
}
// A field found through another: the WIA tables' offsets, the WDF table's.
Damage at_table(size_t pointer, size_t field, int n, uint64_t v) {
  return [=](Bytes& b) { be(size_t(get_be(b, pointer, 8)) + field, n, v)(b); };
}
Damage cut_to(size_t n) {
  return [=](Bytes& b) { b.resize(n); };
}

// Opens each damaged file and reads its whole disc; the first failure must be
// the row's.
void check_rows(const Bytes& base, const std::vector<Row>& rows) {
  test_support::ScratchDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes file = base;
    row.damage(file);
    test_support::write_file(dir.at("damaged"), file);
    ContainerError error = CONTAINER_OK;
    std::string detail;
    Container* c = container_open(dir.at("damaged").c_str(), &error, &detail);
    if (c) {
      Bytes disc(size_t(container_disc_size(c)));
      size_t got = 0;
      EXPECT_FALSE(container_read(c, 0, disc.data(), disc.size(), &got));
      error = container_error(c);
      detail = container_error_detail(c);
      container_close(c);
    }
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(detail.rfind(row.detail, 0), 0u) << detail;
  }
}

constexpr size_t DISC = 0x48;  // WIA/RVZ disc header
constexpr uint64_t HUNDRED_TB = 100ull << 40;
const char* const WII = "a Wii disc; this tool reads GameCube discs";

TEST(ContainerRefusals, WiaAndRvz) {
  const Bytes disc = test_writer::sample_disc();
  // Method none keeps the tables readable for damaging.
  const Bytes rvz = test_writer::write_wia(disc, {true, METHOD_NONE, 0x8000, false}).file;
  const size_t raw = DISC + 0xB8, groups = DISC + 0xC8;
  check_rows(rvz, {
      {"newer version", be(0x08, 4, 0x02000000), CONTAINER_ERR_UNSUPPORTED, "RVZ: version 2.00 is newer"},
      {"Wii disc type", be(DISC, 4, 2), CONTAINER_ERR_WII_DISC, WII},
      {"Wii disc header", be(DISC + 0x10 + 0x18, 4, 0x5D1C9EA3), CONTAINER_ERR_WII_DISC, WII},
      {"unknown disc type", be(DISC, 4, 9), CONTAINER_ERR_UNSUPPORTED, "RVZ: disc type 9"},
      {"100 TB disc", be(0x24, 8, HUNDRED_TB), CONTAINER_ERR_TOO_LARGE, "RVZ: a disc of 109951162777600 bytes"},
      {"purge in RVZ", be(DISC + 4, 4, 1), CONTAINER_ERR_UNSUPPORTED, "RVZ: compression method 1"},
      {"unknown method", be(DISC + 4, 4, 6), CONTAINER_ERR_UNSUPPORTED, "RVZ: compression method 6"},
      {"64 MiB chunks", be(DISC + 0xC, 4, 64u << 20), CONTAINER_ERR_TOO_LARGE, "RVZ: chunks of 67108864"},
      {"48 KiB chunks", be(DISC + 0xC, 4, 0xC000), CONTAINER_ERR_DAMAGED, "RVZ: chunks of 49152 bytes are not"},
      {"Wii partitions", be(DISC + 0x90, 4, 1), CONTAINER_ERR_DAMAGED, "RVZ: a GameCube disc with Wii"},
      {"short disc header", be(0x0C, 4, 0x40), CONTAINER_ERR_DAMAGED, "RVZ: the disc header is 64 bytes"},
      {"4 billion groups", be(DISC + 0xC4, 4, 0xFFFFFFFF), CONTAINER_ERR_TOO_LARGE, "RVZ: the group table lists"},
      {"group table past the end", be(groups, 8, 1ull << 40), CONTAINER_ERR_DAMAGED,
       "RVZ: the group table lies past the end of the file"},
      {"huge stored group table", be(DISC + 0xD0, 4, 0xFFFFFFF0), CONTAINER_ERR_DAMAGED,
       "RVZ: the group table is stored in"},
      {"group past the end", at_table(groups, 12 * 3, 4, 0x3FFFFFFF), CONTAINER_ERR_DAMAGED,
       "RVZ: group 3 lies past the end of the file"},
      {"group size wrapping", at_table(groups, 12 * 3 + 4, 4, 0x7FFFFFFF), CONTAINER_ERR_DAMAGED, "RVZ: group 3"},
      {"group shorter than its chunk", at_table(groups, 12 * 1 + 4, 4, 0x100), CONTAINER_ERR_DAMAGED,
       "RVZ: group 1: it holds fewer bytes"},
      {"packed data cut short", at_table(groups, 12 * 1 + 8, 4, 0x100), CONTAINER_ERR_DAMAGED, "RVZ: group 1: it"},
      {"raw data past the disc", at_table(raw, 8, 8, 1ull << 40), CONTAINER_ERR_DAMAGED,
       "RVZ: raw data area 0 runs past the disc's end"},
      {"raw data's group count", at_table(raw, 20, 4, 3), CONTAINER_ERR_DAMAGED, "RVZ: raw data area 0 lists 3 groups"},
      {"raw data's first group", at_table(raw, 16, 4, 0xFFFFFFF0), CONTAINER_ERR_DAMAGED,
       "RVZ: raw data area 0 refers to groups past"},
      {"100 raw data areas", be(DISC + 0xB4, 4, 100), CONTAINER_ERR_DAMAGED,
       "RVZ: the raw data table: it holds fewer bytes"},
      {"cut inside the header", cut_to(0x100), CONTAINER_ERR_DAMAGED, "RVZ: the disc header lies past the end"},
  });

  const Bytes zstd = test_writer::write_wia(disc, {true, METHOD_ZSTD, 0x8000, false}).file;
  const size_t group0 = DISC + 0xDC;  // the writer puts the groups first
  test_writer::WiaOptions shorter = {true, METHOD_ZSTD, 0x8000, false, disc.size() - 100};
  check_rows(zstd, {
      {"damaged stream", [=](Bytes& b) { b[group0 + 8] ^= 0x55; }, CONTAINER_ERR_DAMAGED, "RVZ: group 0: it"},
      {"cut short", cut_to(group0 + 10), CONTAINER_ERR_DAMAGED, "RVZ: the group table lies past the end"},
  });
  check_rows(test_writer::write_wia(disc, shorter).file, {
      {"a group longer than its place", [](Bytes&) {}, CONTAINER_ERR_DAMAGED,
       "RVZ: group 10: it decompresses to more bytes than it should hold"},
  });
  const Bytes wia = test_writer::write_wia(disc, {false, METHOD_LZMA, 2u << 20, false}).file;
  check_rows(wia, {
      {"LZMA properties", be(DISC + 0xD5, 1, 250), CONTAINER_ERR_DAMAGED, "WIA: the disc header: its LZMA"},
      {"Zstandard in WIA", be(DISC + 4, 4, 5), CONTAINER_ERR_UNSUPPORTED, "WIA: compression method 5"},
      {"1 MiB chunks in WIA", be(DISC + 0xC, 4, 1u << 20), CONTAINER_ERR_DAMAGED, "WIA: chunks of 1048576"},
  });
}

TEST(ContainerRefusals, Gcz) {
  const Bytes gcz = test_writer::write_gcz(test_writer::sample_disc(), 0x4000);
  const size_t blocks = 21, data = 32 + 12 * blocks;
  // The last block marked stored and given `extra` more bytes at the file's end.
  auto last_block_stored_and_longer = [=](size_t extra) -> Damage {
    return [=](Bytes& b) {
      le(32 + 8 * (blocks - 1), 8, get_le64(b, 32 + 8 * (blocks - 1)) | (1ull << 63))(b);
      le(8, 8, get_le64(b, 8) + extra)(b);
      b.resize(b.size() + extra);
    };
  };
  check_rows(gcz, {
      {"100 TB disc", le(16, 8, HUNDRED_TB), CONTAINER_ERR_TOO_LARGE, "GCZ: a disc of 109951162777600"},
      {"block size 0", le(24, 4, 0), CONTAINER_ERR_DAMAGED, "GCZ: the block size is 0"},
      {"64 MiB blocks", le(24, 4, 64u << 20), CONTAINER_ERR_TOO_LARGE, "GCZ: blocks of 67108864"},
      {"16-byte blocks", le(24, 4, 16), CONTAINER_ERR_UNSUPPORTED, "GCZ: blocks of 16 bytes are smaller"},
      {"block count", le(28, 4, 5), CONTAINER_ERR_DAMAGED, "GCZ: 5 blocks of 16384 bytes do not make"},
      {"data past the end", le(8, 8, 1ull << 40), CONTAINER_ERR_DAMAGED, "GCZ: its tables and data run past"},
      {"blocks out of order", le(32 + 8 * 2, 8, 0x7000000), CONTAINER_ERR_DAMAGED, "GCZ: block 2 lies past"},
      {"stored block too short",
       [](Bytes& b) { le(32 + 8 * 2, 8, get_le64(b, 32 + 8) - (1ull << 63) + 0x10)(b); },
       CONTAINER_ERR_DAMAGED, "GCZ: block 1 has a stored size"},
      {"stored block of 33 MiB", last_block_stored_and_longer(33u << 20), CONTAINER_ERR_TOO_LARGE,
       "GCZ: block 20 is stored in 3460"},
      {"stored block past its block size", last_block_stored_and_longer(0x20000), CONTAINER_ERR_DAMAGED,
       "GCZ: block 20 has a stored size of 13"},
      {"checksum", le(32 + 8 * blocks, 4, 1), CONTAINER_ERR_DAMAGED, "GCZ: block 0 fails its checksum"},
      {"damaged stream", [=](Bytes& b) { b[data + 1] ^= 0xFF; }, CONTAINER_ERR_DAMAGED, "GCZ: block 0"},
      {"cut short", cut_to(data + 100), CONTAINER_ERR_DAMAGED, "GCZ: its tables and data run past"},
  });
}

TEST(ContainerRefusals, CisoWdfAndPlain) {
  const Bytes disc = test_writer::sample_disc();
  check_rows(test_writer::write_ciso(disc, 0x8000), {
      {"block size 0", le(4, 4, 0), CONTAINER_ERR_DAMAGED, "CISO: the block size is 0"},
      {"64 MiB blocks", le(4, 4, 64u << 20), CONTAINER_ERR_TOO_LARGE, "CISO: blocks of 67108864"},
      {"map entry 2", be(8 + 5, 1, 2), CONTAINER_ERR_DAMAGED, "CISO: block map entry 5 is neither"},
      {"block past a disc", [](Bytes& b) { le(4, 4, 1u << 20)(b); b[8 + 2000] = 1; }, CONTAINER_ERR_TOO_LARGE,
       "CISO: stored blocks reach past"},
      {"blocks cut off", cut_to(0x8000 + 0x8000 * 3), CONTAINER_ERR_DAMAGED, "CISO: the file holds fewer than"},
      {"header cut off", cut_to(100), CONTAINER_ERR_DAMAGED, "CISO: the block map lies past"},
  });
  const size_t table = 48;
  check_rows(test_writer::write_wdf(disc, 2), {
      {"version 0", be(8, 4, 0), CONTAINER_ERR_DAMAGED, "WDF: version 0"},
      {"version 3", [](Bytes& b) { be(8, 4, 3)(b); be(20, 4, 3)(b); }, CONTAINER_ERR_UNSUPPORTED, "WDF: version 3"},
      {"100 TB disc", be(24, 8, HUNDRED_TB), CONTAINER_ERR_TOO_LARGE, "WDF: a disc of"},
      {"2 billion chunks", be(44, 4, 0x7FFFFFFF), CONTAINER_ERR_TOO_LARGE, "WDF: the chunk table lists"},
      {"table past the end", be(table, 8, 1ull << 40), CONTAINER_ERR_DAMAGED, "WDF: the chunk table lies past"},
      {"table magic", at_table(table, 3, 1, 2), CONTAINER_ERR_DAMAGED, "WDF: the chunk table does not begin"},
      {"chunk data past the end", at_table(table, 8 + 8, 8, 1ull << 40), CONTAINER_ERR_DAMAGED,
       "WDF: chunk 0 lies past the end of the file"},
      {"chunk past the disc", at_table(table, 8 + 24, 8, 0x51000), CONTAINER_ERR_DAMAGED,
       "WDF: chunk 1 runs past the disc's end"},
      {"chunks overlapping", at_table(table, 8 + 24, 8, 0x100), CONTAINER_ERR_DAMAGED,
       "WDF: chunk 1 is out of order or overlaps"},
  });
  check_rows(disc, {{"plain Wii disc", be(0x18, 4, 0x5D1C9EA3), CONTAINER_ERR_WII_DISC, WII}});

  ContainerError error = CONTAINER_OK;
  std::string detail;
  EXPECT_EQ(container_open("/no/such/disc.rvz", &error, &detail), nullptr);
  EXPECT_EQ(error, CONTAINER_ERR_OPEN);
  EXPECT_EQ(detail, "cannot open the file");
}

TEST(ContainerRefusals, StreamsOfAnotherLengthOrCutShort) {
  Bytes data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 / 13);
  Decompressor* d = decompressor_create();
  const uint8_t lzma_properties[5] = {0x5D, 0, 0, 0x10, 0};
  const uint8_t lzma2_properties[1] = {16};
  for (CompressionMethod method : {METHOD_BZIP2, METHOD_LZMA, METHOD_LZMA2, METHOD_ZSTD}) {
    SCOPED_TRACE(method);
    const char* why = "";
    const bool lzma = method == METHOD_LZMA;
    ASSERT_TRUE(decompressor_setup(d, method, lzma ? lzma_properties : lzma2_properties, lzma ? 5 : 1,
                                   data.size(), &why));
    Bytes stored = test_writer::compress(method, data), out(data.size() + 1);
    EXPECT_TRUE(decompress(d, stored.data(), stored.size(), out.data(), data.size(), &why)) << why;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    EXPECT_FALSE(decompress(d, stored.data(), stored.size(), out.data(), data.size() - 1, &why));
    EXPECT_STREQ(why, "it decompresses to more bytes than it should hold");
    EXPECT_FALSE(decompress(d, stored.data(), stored.size(), out.data(), data.size() + 1, &why));
    EXPECT_FALSE(decompress(d, stored.data(), stored.size() / 2, out.data(), data.size(), &why));
  }
  decompressor_destroy(d);
}

}  // namespace
