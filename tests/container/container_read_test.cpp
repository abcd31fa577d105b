// Reading the plain disc back out of every container kind and method.
#include <gtest/gtest.h>

#include <string>

#include "container/container.h"
#include "container/container_testing.h"
#include "host/host_fs.h"
#include "support/test_support.h"
#include "tests/container/test_writer.h"

namespace {

using test_writer::Bytes;

struct Case {
  const char* name;
  ContainerKind kind;
  Bytes file;
  uint64_t disc_size;  // the sample's size, or more where the format rounds it up
  int junk_runs;
  int kernel = -1;  // 1: most of a copy goes through the host's kernel, 0: none, -1: not checked
};

// Reads the whole disc in pieces of `piece` bytes, then asks past its end.
Bytes read_all(Container* c, size_t piece) {
  Bytes out(size_t(container_disc_size(c)));
  for (size_t at = 0; at < out.size(); at += piece) {
    size_t got = 0;
    EXPECT_TRUE(container_read(c, at, out.data() + at, std::min(piece, out.size() - at), &got))
        << container_error_detail(c);
  }
  uint8_t past[16];
  size_t got = 99;
  EXPECT_TRUE(container_read(c, out.size() - 3, past, sizeof past, &got));
  EXPECT_EQ(got, 3u);
  return out;
}

// Copies the whole disc to a file in pieces of three and a bit units, so
// that pieces cut through every block and end inside a unit.
Bytes copy_all(Container* c, const std::string& path) {
  constexpr uint32_t UNIT = 4096, PIECE = 3 * UNIT + 1000;
  host::File* out = host::file_create(path.c_str());
  EXPECT_NE(out, nullptr);
  if (!out) return {};
  const uint64_t size = container_disc_size(c);
  for (uint64_t at = 0; at < size; at += PIECE) {
    const uint64_t n = std::min<uint64_t>(PIECE, size - at);
    uint64_t copied = 0;
    EXPECT_TRUE(container_copy(c, at, n, out, UNIT, &copied)) << container_error_detail(c);
    EXPECT_EQ(copied, n);
  }
  host::file_close(out);
  return test_support::read_file(path);
}

TEST(ContainerRead, EveryKindAndMethodGivesBackThePlainDisc) {
  const Bytes disc = test_writer::sample_disc();
  const uint64_t size = disc.size();
  std::vector<Case> cases;
  auto wia = [&](const char* name, bool rvz, CompressionMethod method, uint32_t chunk, bool pack) {
    test_writer::Written w = test_writer::write_wia(disc, {rvz, method, chunk, pack});
    cases.push_back({name, rvz ? CONTAINER_RVZ : CONTAINER_WIA, w.file, size, w.junk_runs});
  };
  wia("WIA none", false, METHOD_NONE, 2u << 20, false);
  wia("WIA purge", false, METHOD_PURGE, 2u << 20, false);
  wia("WIA bzip2", false, METHOD_BZIP2, 4u << 20, false);
  wia("WIA LZMA", false, METHOD_LZMA, 2u << 20, false);
  wia("WIA LZMA2", false, METHOD_LZMA2, 2u << 20, false);
  wia("RVZ none, packed", true, METHOD_NONE, 0x8000, true);
  wia("RVZ bzip2, packed", true, METHOD_BZIP2, 0x10000, true);
  wia("RVZ LZMA", true, METHOD_LZMA, 0x20000, false);
  wia("RVZ LZMA2, packed", true, METHOD_LZMA2, 0x8000, true);
  wia("RVZ Zstandard, packed", true, METHOD_ZSTD, 0x8000, true);
  wia("RVZ Zstandard, 2 MiB", true, METHOD_ZSTD, 2u << 20, true);
  cases.push_back({"CISO", CONTAINER_CISO, test_writer::write_ciso(disc, 0x8000), 11 * 0x8000, 0, 1});
  cases.push_back({"GCZ", CONTAINER_GCZ, test_writer::write_gcz(disc, 0x4000), size, 0, 0});
  cases.push_back({"WDF v1", CONTAINER_WDF, test_writer::write_wdf(disc, 1), size, 0, 0});
  cases.push_back({"WDF v2, aligned", CONTAINER_WDF, test_writer::write_wdf(disc, 2, 0x1000), size, 0, 1});
  cases.push_back({"plain", CONTAINER_PLAIN, disc, size, 0, 1});

  test_support::ScratchDir dir;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::string path = dir.at("disc");
    test_support::write_file(path, k.file);
    ContainerError error = CONTAINER_ERR_READ;
    std::string detail = "x";
    Container* c = container_open(path.c_str(), &error, &detail);
    ASSERT_NE(c, nullptr) << detail;
    EXPECT_EQ(error, CONTAINER_OK);
    EXPECT_EQ(detail, "");
    EXPECT_EQ(container_kind(c), k.kind);
    EXPECT_EQ(container_disc_size(c), k.disc_size);
    Bytes expected = disc;
    expected.resize(size_t(k.disc_size), 0);
    // Whole, in pieces that cut through every block, and again whole.
    EXPECT_TRUE(read_all(c, expected.size()) == expected);
    EXPECT_TRUE(read_all(c, 7777) == expected);
    EXPECT_TRUE(read_all(c, 0x8000) == expected);
    // Copied to a file. Stored data goes through the kernel where it lies
    // at the same place within a page as on the disc (not so in the WDF
    // without alignment); coded data never does.
    EXPECT_TRUE(copy_all(c, dir.at("copy")) == expected);
#ifdef __linux__
    if (k.kernel >= 0) {
      EXPECT_EQ(container_testing_kernel_copied(c) > expected.size() / 2, k.kernel == 1)
          << container_testing_kernel_copied(c);
    }
#endif
    if (std::string(k.name).find("packed") != std::string::npos) {
      EXPECT_GT(k.junk_runs, 0);
    }
    container_close(c);
  }
}

// A copy that meets the disc's end stops after the last whole unit, as a
// short copy; an output that cannot be written is a write failure.
TEST(ContainerCopy, StopsAtTheLastWholeUnitAndTellsAWriteFailure) {
  const Bytes disc = test_writer::sample_disc();
  test_support::ScratchDir dir;
  for (auto [name, file] : {std::pair{"plain", disc}, std::pair{"CISO", test_writer::write_ciso(disc, 0x8000)}}) {
    SCOPED_TRACE(name);
    test_support::write_file(dir.at("disc"), file);
    Container* c = container_open(dir.at("disc").c_str(), nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    const uint64_t size = container_disc_size(c);
    Bytes expected = disc;
    expected.resize(size_t(size), 0);
    host::File* out = host::file_create(dir.at("copy").c_str());
    ASSERT_NE(out, nullptr);
    uint64_t copied = 99;
    EXPECT_TRUE(container_copy(c, size - 5000, 10000, out, 4096, &copied));
    EXPECT_EQ(copied, 4096u);
    EXPECT_TRUE(container_copy(c, size, 10, out, 4096, &copied));
    EXPECT_EQ(copied, 0u);
    host::file_close(out);
    EXPECT_TRUE(test_support::read_file(dir.at("copy")) ==
                Bytes(expected.end() - 5000, expected.end() - 5000 + 4096));

    host::File* read_only = host::file_open_read(dir.at("copy").c_str());
    ASSERT_NE(read_only, nullptr);
    EXPECT_FALSE(container_copy(c, 0, 0x20000, read_only, 4096, &copied));
    EXPECT_EQ(container_error(c), CONTAINER_ERR_WRITE);
    EXPECT_EQ(copied, 0u);
    host::file_close(read_only);
    container_close(c);
  }
}

// Small reads that go back and forth between as many blocks as the cache
// holds decode each block once, and give the disc's bytes.
TEST(ContainerRead, ReadsAlternatingBetweenBlocksDecodeEachOnce) {
  const Bytes disc = test_writer::sample_disc();
  test_support::ScratchDir dir;
  test_support::write_file(dir.at("disc.gcz"), test_writer::write_gcz(disc, 0x4000));
  Container* c = container_open(dir.at("disc.gcz").c_str(), nullptr, nullptr);
  ASSERT_NE(c, nullptr);
  // Blocks 1 to 16: opening has read block 0.
  ASSERT_GT(disc.size(), (CONTAINER_CACHE_EXTENTS + 1) * 0x4000);
  const uint64_t decodes_before = container_testing_decode_count();
  for (size_t round = 0; round < 10; ++round) {
    for (size_t block = 1; block <= CONTAINER_CACHE_EXTENTS; ++block) {
      const size_t at = block * 0x4000 + 100 * round + block;
      uint8_t byte = 0;
      size_t got = 0;
      ASSERT_TRUE(container_read(c, at, &byte, 1, &got)) << container_error_detail(c);
      ASSERT_EQ(byte, disc[at]) << at;
    }
  }
  EXPECT_EQ(container_testing_decode_count() - decodes_before, CONTAINER_CACHE_EXTENTS);
  container_close(c);
}

TEST(ContainerRead, TheKindComesFromTheMagicWordNeverTheName) {
  const struct {
    const char* bytes;
    ContainerKind kind;
  } rows[] = {
      {"CISO\0\0\x20\0", CONTAINER_CISO}, {"\x01\xC0\x0B\xB1\0\0\0\0", CONTAINER_GCZ},
      {"WIA\x01\x01\0\0\0", CONTAINER_WIA}, {"RVZ\x01\x01\0\0\0", CONTAINER_RVZ},
      {"WII\x01" "DISC", CONTAINER_WDF},    {"GALE01\0\0", CONTAINER_PLAIN},
      {"RVZ\x02\0\0\0\0", CONTAINER_PLAIN},
  };
  for (const auto& row : rows) {
    ContainerKind kind = CONTAINER_WDF;
    EXPECT_TRUE(container_kind_from_magic(reinterpret_cast<const uint8_t*>(row.bytes), 8, &kind));
    EXPECT_EQ(kind, row.kind) << row.bytes;
  }
  ContainerKind kind;
  EXPECT_FALSE(container_kind_from_magic(reinterpret_cast<const uint8_t*>("CISO"), 4, &kind));

  // An RVZ named .gcm is an RVZ; a plain image named .rvz is plain.
  test_support::ScratchDir dir;
  const Bytes disc = test_writer::sample_disc();
  test_support::write_file(dir.at("a.gcm"), test_writer::write_wia(disc, {}).file);
  test_support::write_file(dir.at("b.rvz"), disc);
  for (auto [name, expected] : {std::pair{"a.gcm", CONTAINER_RVZ}, std::pair{"b.rvz", CONTAINER_PLAIN}}) {
    Container* c = container_open(dir.at(name).c_str(), nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(container_kind(c), expected);
    EXPECT_STREQ(container_kind_name(container_kind(c)), expected == CONTAINER_RVZ ? "RVZ" : "plain");
    container_close(c);
  }
}

}  // namespace
