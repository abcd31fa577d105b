// The reader on every container: the same tree and the same extracted bytes
// as from the plain image, and a container damaged inside a file's data
// stops the copy with its own code and words.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "container/test_writer.h"
#include "reader/raw_image.h"

namespace {

namespace fs = test_support::fs;

TEST(ReaderContainers, EveryContainerReadsAsThePlainImage) {
  // a.bin's data at 0x10000 (GCZ blocks 4 to 8 of 16 KiB), b.txt's at
  // 0x30000, the table behind them.
  RawImage image;
  const std::vector<uint8_t> a_bytes = test_support::patterned_bytes(70000, 1);
  const std::vector<uint8_t> b_bytes = test_support::patterned_bytes(300, 2);
  image.bytes.resize(0x40000);
  std::copy(a_bytes.begin(), a_bytes.end(), image.bytes.begin() + 0x10000);
  std::copy(b_bytes.begin(), b_bytes.end(), image.bytes.begin() + 0x30000);
  image.write_table({file_entry("a.bin", 0x10000, 70000), dir_entry("d", 4), file_entry("b.txt", 0x30000, 300)});
  image.bytes.resize((image.bytes.size() + 0x7FFF) / 0x8000 * 0x8000);  // whole 32 KiB sectors
  const test_writer::Bytes& disc = image.bytes;
  test_writer::WiaOptions rvz;
  test_writer::WiaOptions wia;
  wia.rvz = false;
  wia.method = METHOD_LZMA2;
  wia.chunk_size = 0x200000;
  const struct {
    const char* name;
    test_writer::Bytes file;
  } containers[] = {{"disc.rvz", test_writer::write_wia(disc, rvz).file},
                    {"disc.wia", test_writer::write_wia(disc, wia).file},
                    {"disc.gcz", test_writer::write_gcz(disc, 0x4000)},
                    {"disc.ciso", test_writer::write_ciso(disc, 0x8000)},
                    {"disc.wdf", test_writer::write_wdf(disc, 2)}};

  ReaderFixture fx;
  ASSERT_TRUE(fx.mount(image));
  const std::vector<std::string> plain_tree = list_tree();
  IsoUnmount();
  for (const auto& c : containers) {
    test_support::write_file(fx.scratch.at(c.name), c.file);
    ASSERT_TRUE(fx.mount_path(fx.scratch.at(c.name))) << c.name << ": " << IsoGetErrorText();
    EXPECT_EQ(IsoGetImageSize(), disc.size()) << c.name;
    EXPECT_EQ(list_tree(), plain_tree) << c.name;
    const std::string out = fx.scratch.at(std::string(c.name) + ".out");
    fs::create_directory(out);
    ASSERT_TRUE(IsoExtractDirectory("/", out.c_str())) << c.name << ": " << IsoGetErrorText();
    EXPECT_EQ(test_support::read_file(out + "/a.bin"), test_support::patterned_bytes(70000, 1)) << c.name;
    EXPECT_EQ(test_support::read_file(out + "/d/b.txt"), test_support::patterned_bytes(300, 2)) << c.name;
    IsoUnmount();
  }

  // A GCZ whose block 4 (compressed) or 5 (stored as it is), inside a.bin's
  // data, is spoiled: the table still reads, the copy of a.bin stops with the
  // container's code and words.
  for (int spoiled : {4, 5}) {
    test_writer::Bytes gcz = test_writer::write_gcz(disc, 0x4000);
    const uint32_t blocks = uint32_t(disc.size() / 0x4000);
    const size_t data_start = 32 + size_t(blocks) * 12;  // header, block offsets, checksums
    uint64_t start = 0;
    for (int i = 7; i >= 0; --i) start = (start << 8) | gcz[32 + spoiled * 8 + i];
    gcz[data_start + (start & ~(uint64_t(1) << 63)) + 10] ^= 0xFF;
    test_support::write_file(fx.scratch.at("broken.gcz"), gcz);
    ASSERT_TRUE(fx.mount_path(fx.scratch.at("broken.gcz"))) << IsoGetErrorText();
    const std::string out = fx.scratch.at("broken" + std::to_string(spoiled));
    fs::create_directory(out);
    fx.record_callbacks();
    EXPECT_FALSE(IsoExtractDirectory("/", out.c_str())) << spoiled;
    // Progress for the whole blocks before the spoiled one: a.bin begins
    // with block 4, and a GCZ block holds four of the copy's blocks.
    EXPECT_EQ(std::count_if(fx.events.begin(), fx.events.end(),
                            [](const std::string& e) { return e.rfind("p:", 0) == 0; }),
              (spoiled - 4) * 4);
    EXPECT_EQ(IsoGetLastError(), IsoErrContainerDamaged) << spoiled;
    EXPECT_NE(std::string(IsoGetErrorText()).find("(GCZ: block " + std::to_string(spoiled)), std::string::npos)
        << IsoGetErrorText();
    IsoUnmount();
  }
}

}  // namespace

// A CISO leaves out the zero blocks at the disc's end, so its files may end
// past its last stored block: the disc runs on in zeros as far as they go,
// and extraction, the size, the past-end count and the check agree. A plain
// image cut as short still ends where it ends.
TEST(ReaderContainers, ACisosDiscRunsOnInZerosAsFarAsItsFiles) {
  RawImage image;
  image.bytes.resize(0x10000);
  const std::vector<uint8_t> a_bytes = test_support::patterned_bytes(0x3000, 1);
  std::copy(a_bytes.begin(), a_bytes.end(), image.bytes.begin() + 0x8000);
  // The table is the last data, at 0x10000: stored blocks end at 0x18000.
  // u.bin starts on it and runs past that end, z.bin lies wholly past it.
  image.write_table({file_entry("a.bin", 0x8000, 0x3000), file_entry("u.bin", 0x10000, 0x10000),
                     file_entry("z.bin", 0x30000, 0x12345)});
  test_writer::Bytes plain = image.bytes;
  plain.resize(0x42345, 0);  // the disc the table describes

  ReaderFixture fx;
  test_support::write_file(fx.scratch.at("disc.ciso"), test_writer::write_ciso(image.bytes, 0x8000));
  ASSERT_TRUE(fx.mount_path(fx.scratch.at("disc.ciso"))) << IsoGetErrorText();
  EXPECT_EQ(IsoGetImageSize(), plain.size());
  uint64_t needed = 0;
  EXPECT_EQ(IsoCountFilesPastEnd(&needed), 0u);
  std::vector<IsoFinding> findings;
  ASSERT_TRUE(IsoCheckDisc(&findings));
  for (const IsoFinding& f : findings) {
    EXPECT_NE(f.kind, IsoFindFilePastEnd) << f.entry;
    EXPECT_NE(f.kind, IsoFindShortImage);
  }
  uint64_t outside = 1;
  EXPECT_TRUE(IsoCountOutsideData(&outside)) << IsoGetErrorText();
  EXPECT_EQ(outside, 0u);
  const std::string out = fx.scratch.at("out");
  fs::create_directory(out);
  ASSERT_TRUE(IsoExtractDirectory("/", out.c_str())) << IsoGetErrorText();
  EXPECT_EQ(test_support::read_file(out + "/a.bin"), a_bytes);
  EXPECT_TRUE(test_support::read_file(out + "/u.bin") ==
              test_writer::Bytes(plain.begin() + 0x10000, plain.begin() + 0x20000));
  EXPECT_TRUE(test_support::read_file(out + "/z.bin") == test_writer::Bytes(0x12345, 0));
  IsoUnmount();

  ASSERT_TRUE(fx.mount(image));
  EXPECT_EQ(IsoGetImageSize(), image.bytes.size());
  EXPECT_EQ(IsoCountFilesPastEnd(&needed), 2u);
  EXPECT_EQ(needed, plain.size());
  EXPECT_FALSE(IsoExtractFile("/z.bin", fx.scratch.at("z.bin").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrRead);
}
