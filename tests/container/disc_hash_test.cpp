// Whole-disc CRC32, MD5 and SHA-1: the sums of discs smaller than one read
// buffer, of exactly one, just over one and of several turns of the ring,
// against values Python's zlib and hashlib gave for the same bytes; and a
// read failure part way, which must stop the run and name its offset. Built
// natively (nettle) and in the Windows engine suite (BCrypt).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "container/disc_hash.h"
#include "container/container.h"
#include "support/test_support.h"
#include "tests/container/test_writer.h"

namespace {

using test_support::ScratchDir;

// Every disc is a prefix of test_support::patterned_bytes(LARGEST, 7).
constexpr size_t LARGEST = 37761081;
static_assert(LARGEST > DISC_HASH_BUFFERS * DISC_HASH_BUFFER_SIZE + DISC_HASH_BUFFER_SIZE,
              "the largest disc must go round the ring more than once");
static_assert(LARGEST % DISC_HASH_BUFFER_SIZE != 0, "and end inside a buffer");

struct Expected {
  size_t size;
  const char* crc32;
  const char* md5;
  const char* sha1;
};

// python3: x = 0x9E3779B9 ^ 7; x = (x * 1664525 + 1013904223) % 2**32 per
// byte, each byte x >> 24; zlib.crc32, hashlib.md5 and hashlib.sha1 of the
// first size bytes.
const Expected kDiscs[] = {
  {9287, "1b25af35", "760e6be02df67789e6fb8bd3a59b4af5", "dfa1b666bc8ed15d5201d2a6b61ad47a1801fb23"},
  {DISC_HASH_BUFFER_SIZE, "17a237df", "c683e37f65da68191f03196356dbf625", "5c617439c3b40d16c09e41c4b5396751f6e329ad"},
  {DISC_HASH_BUFFER_SIZE + 1, "881092a1", "8a5ccc157b1e91e64f92cac5cd16a3f5",
   "36d457b73d26e5962f7753afe27cf9a2398d4e4b"},
  {LARGEST, "77a005d3", "b8a66b9637efb98722d4d0ff511347c4", "24b2b40b41057af16f18050eb8f9416e4e138c19"},
};

struct HashRun {
  bool ok = false;
  DiscHashes sums = {};
  std::string error;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
};

HashRun hash_file(const std::string& path, ContainerKind expected_kind) {
  HashRun run;
  ContainerError code;
  std::string detail;
  Container* c = container_open(path.c_str(), &code, &detail);
  EXPECT_NE(c, nullptr) << detail;
  if (!c) return run;
  EXPECT_EQ(container_kind(c), expected_kind);
  run.ok = hash_disc(
      c, &run.sums, [&run](uint64_t done, uint64_t total) { run.progress.emplace_back(done, total); }, &run.error);
  container_close(c);
  return run;
}

void expect_sums(const HashRun& run, const Expected& disc) {
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(crc32_hex(run.sums.crc32), disc.crc32);
  EXPECT_EQ(hex(run.sums.md5, sizeof run.sums.md5), disc.md5);
  EXPECT_EQ(hex(run.sums.sha1, sizeof run.sums.sha1), disc.sha1);
  // Progress starts at 0, never goes back, and ends at the disc's size,
  // with a report for every buffer read.
  ASSERT_FALSE(run.progress.empty());
  EXPECT_EQ(run.progress.front().first, 0u);
  EXPECT_EQ(run.progress.back(), std::make_pair(uint64_t(disc.size), uint64_t(disc.size)));
  for (size_t i = 1; i < run.progress.size(); ++i) {
    EXPECT_GE(run.progress[i].first, run.progress[i - 1].first);
    EXPECT_EQ(run.progress[i].second, disc.size);
  }
  EXPECT_GE(run.progress.size(), 1 + (disc.size + DISC_HASH_BUFFER_SIZE - 1) / DISC_HASH_BUFFER_SIZE);
}

TEST(DiscHash, SumsOfEverySizeMatchIndependentlyComputedValues) {
  ScratchDir dir;
  const std::vector<uint8_t> bytes = test_support::patterned_bytes(LARGEST, 7);
  for (const Expected& disc : kDiscs) {
    SCOPED_TRACE(disc.size);
    const std::string path = dir.at("disc.gcm");
    test_support::write_file(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + disc.size));
    expect_sums(hash_file(path, CONTAINER_PLAIN), disc);
  }

  // Through a container: the sums are those of the plain disc inside.
  const Expected& disc = kDiscs[2];
  const std::string gcz = dir.at("disc.gcz");
  test_support::write_file(gcz, test_writer::write_gcz({bytes.begin(), bytes.begin() + disc.size}, 0x8000));
  expect_sums(hash_file(gcz, CONTAINER_GCZ), disc);

  EXPECT_EQ(hex(nullptr, 0), "");
  EXPECT_EQ(crc32_hex(0x0012ABCDu), "0012abcd");
}

TEST(DiscHash, ReadFailurePartWayStopsTheRunAndNamesItsOffset) {
  ScratchDir dir;
  // A GCZ of 129 blocks whose last one, starting at the second buffer, fails
  // its checksum: the first buffer is already with the hashing threads.
  const uint32_t block_size = 0x8000;
  const size_t size = DISC_HASH_BUFFER_SIZE + 1;
  const uint32_t blocks = uint32_t((size + block_size - 1) / block_size);
  std::vector<uint8_t> gcz = test_writer::write_gcz(test_support::patterned_bytes(size, 7), block_size);
  gcz[32 + 8 * blocks + 4 * (blocks - 1)] ^= 0xFF;
  test_support::write_file(dir.at("damaged.gcz"), gcz);
  HashRun run = hash_file(dir.at("damaged.gcz"), CONTAINER_GCZ);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.error, "cannot read the disc at offset 4194304 (0x400000): GCZ: block 128 fails its checksum");
  EXPECT_EQ(run.error.find('\n'), std::string::npos);

#ifndef _WIN32
  // A plain image cut short after it was opened: the first buffer comes, the
  // second read fails.
  const std::string path = dir.at("shrinking.gcm");
  test_support::write_patterned_file(path, 3 * DISC_HASH_BUFFER_SIZE, 7);
  ContainerError code;
  Container* c = container_open(path.c_str(), &code, nullptr);
  ASSERT_NE(c, nullptr);
  std::filesystem::resize_file(path, DISC_HASH_BUFFER_SIZE + 1000);
  DiscHashes sums;
  std::string error;
  EXPECT_FALSE(hash_disc(c, &sums, nullptr, &error));
  EXPECT_EQ(error, "cannot read the disc at offset 4194304 (0x400000): plain: cannot read the disc's data");
  container_close(c);
#endif
}

}  // namespace
