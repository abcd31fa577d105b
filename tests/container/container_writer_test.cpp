// The container writers: what each kind writes reads back as the disc it was
// given, the disc's filler packs into seeds, a scrubbed CISO keeps what the
// disc uses, and outputs that cannot be written are refused or fail whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "container/container.h"
#include "container/container_writer.h"
#include "container/junk.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"
#include "support/test_support.h"
#include "tests/container/test_writer.h"

namespace {

using test_writer::Bytes;
namespace fs = std::filesystem;

// Writes the disc through a writer in pieces of `piece` bytes; the error of
// whichever step failed, CONTAINER_OK when the file was written.
ContainerError write_disc(const std::string& path, const Bytes& disc, const ContainerWriteOptions& options,
                          size_t piece = 7777, const host::FileId* input = nullptr, std::string* detail = nullptr) {
  ContainerError error = CONTAINER_OK;
  std::string text;
  ContainerWriter* w = container_writer_open(path.c_str(), disc.size(), options, input, &error, &text);
  if (w) {
    for (size_t at = 0; at < disc.size(); at += piece) {
      if (!container_writer_write(w, disc.data() + at, std::min(piece, disc.size() - at))) {
        error = container_writer_error(w);
        text = container_writer_error_detail(w);
        container_writer_abandon(w);
        w = nullptr;
        break;
      }
    }
    if (w) container_writer_finish(w, &error, &text);
  }
  if (detail) *detail = text;
  return error;
}

// The disc a container holds, read back through the layer.
Bytes read_back(const std::string& path, ContainerKind* kind) {
  ContainerError error;
  std::string detail;
  Container* c = container_open(path.c_str(), &error, &detail);
  EXPECT_NE(c, nullptr) << detail;
  if (!c) return {};
  *kind = container_kind(c);
  Bytes disc(size_t(container_disc_size(c)));
  size_t got = 0;
  EXPECT_TRUE(container_read(c, 0, disc.data(), disc.size(), &got)) << container_error_detail(c);
  EXPECT_EQ(got, disc.size());
  container_close(c);
  return disc;
}

// The test disc, 2.5 MiB and a bit, so that every chunk size splits it: the
// sample disc (random data, zeros, filler from inside a sector, text), a
// stretch of one repeated byte, and filler from a sector's start.
Bytes round_trip_disc() {
  Bytes disc = test_writer::sample_disc();
  disc.resize(0x280345, 0);
  std::fill(disc.begin() + 0x100000, disc.begin() + 0x140000, 0xFF);
  junk_fill_disc(disc.data(), 0, 0x200000, disc.data() + 0x200000, 0x10000);
  return disc;
}

ContainerWriteOptions options_for(ContainerKind kind, CompressionMethod method, int level, uint32_t block) {
  ContainerWriteOptions o = container_write_defaults(kind);
  o.method = method;
  o.level = level;
  o.block_size = block;
  return o;
}

TEST(ContainerWriter, EveryKindMethodAndChunkSizeReadsBackAsTheDisc) {
  const Bytes disc = round_trip_disc();
  const struct {
    const char* name;
    ContainerWriteOptions options;
  } cases[] = {
      {"RVZ default", container_write_defaults(CONTAINER_RVZ)},
      {"RVZ none 32K", options_for(CONTAINER_RVZ, METHOD_NONE, 0, 32u << 10)},
      {"RVZ zstd 2M", options_for(CONTAINER_RVZ, METHOD_ZSTD, 19, 2u << 20)},
      {"RVZ zstd -3 32K", options_for(CONTAINER_RVZ, METHOD_ZSTD, -3, 32u << 10)},
      {"RVZ bzip2 64K", options_for(CONTAINER_RVZ, METHOD_BZIP2, 9, 64u << 10)},
      {"RVZ LZMA 32K", options_for(CONTAINER_RVZ, METHOD_LZMA, 5, 32u << 10)},
      {"RVZ LZMA2 128K", options_for(CONTAINER_RVZ, METHOD_LZMA2, 1, 128u << 10)},
      {"WIA default", container_write_defaults(CONTAINER_WIA)},
      {"WIA none", options_for(CONTAINER_WIA, METHOD_NONE, 0, 2u << 20)},
      {"WIA purge", options_for(CONTAINER_WIA, METHOD_PURGE, 0, 2u << 20)},
      {"WIA bzip2 4M", options_for(CONTAINER_WIA, METHOD_BZIP2, 1, 4u << 20)},
      {"WIA LZMA", options_for(CONTAINER_WIA, METHOD_LZMA, 9, 2u << 20)},
      {"GCZ default", container_write_defaults(CONTAINER_GCZ)},
      {"GCZ 4K level 1", options_for(CONTAINER_GCZ, METHOD_NONE, 1, 4u << 10)},
      {"CISO 32K", options_for(CONTAINER_CISO, METHOD_NONE, 0, 32u << 10)},
      {"CISO default", container_write_defaults(CONTAINER_CISO)},
      {"plain", container_write_defaults(CONTAINER_PLAIN)},
  };
  test_support::ScratchDir dir;
  unsigned threads = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    ContainerWriteOptions options = k.options;
    options.threads = threads++ % 3;  // one per core, one, two
    const std::string path = dir.at("out");
    std::string detail;
    ASSERT_EQ(write_disc(path, disc, options, 7777, nullptr, &detail), CONTAINER_OK) << detail;
    ContainerKind kind = CONTAINER_WDF;
    Bytes expected = disc;
    if (options.kind == CONTAINER_CISO) {
      // All-zero blocks are left out, and the disc ends with its last
      // stored block.
      expected.resize(size_t(align_up(disc.size(), options.block_size)), 0);
      size_t stored = 0, end = 0;
      for (size_t at = 0; at < expected.size(); at += options.block_size) {
        if (std::all_of(expected.begin() + at, expected.begin() + at + options.block_size,
                        [](uint8_t b) { return b == 0; })) {
          continue;
        }
        ++stored;
        end = at + options.block_size;
      }
      expected.resize(end);
      EXPECT_EQ(fs::file_size(path), 0x8000 + stored * options.block_size);
    }
    EXPECT_TRUE(read_back(path, &kind) == expected);
    EXPECT_EQ(kind, options.kind);
  }
  // Nothing but the output is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ContainerWriter, RvzPacksTheDiscsFillerAsSeedsAndZerosWhenNotCompressing) {
  // A header, 64 KiB of random data cut off mid-sector, a MiB of zeros, and
  // the disc's filler everywhere else: as a mastered disc's gaps.
  Bytes disc(4u << 20, 0);
  const Bytes sample = test_writer::sample_disc();
  std::copy(sample.begin(), sample.begin() + 0x10000 + 0x123, disc.begin());
  const size_t filler_start = 0x10123, zeros_start = 0x200000, zeros_end = 0x300000;
  junk_fill_disc(disc.data(), 0, filler_start, disc.data() + filler_start, zeros_start - filler_start);
  junk_fill_disc(disc.data(), 0, zeros_end, disc.data() + zeros_end, disc.size() - zeros_end);
  const size_t data = filler_start;

  test_support::ScratchDir dir;
  for (CompressionMethod method : {METHOD_ZSTD, METHOD_NONE}) {
    SCOPED_TRACE(method);
    ContainerWriteOptions options = container_write_defaults(CONTAINER_RVZ);
    options.method = method;
    options.level = method == METHOD_NONE ? 0 : 5;
    const std::string path = dir.at("filler.rvz");
    ASSERT_EQ(write_disc(path, disc, options), CONTAINER_OK);
    // The filler is incompressible: only its seeds (72 bytes a sector) keep
    // the file this small, and without compression the zeros' records too.
    EXPECT_LT(fs::file_size(path), data + 0x8000);
    ContainerKind kind;
    EXPECT_TRUE(read_back(path, &kind) == disc);
  }
}

TEST(ContainerWriter, ScrubbedCisoKeepsTheBlocksTheDiscUses) {
  RawImage image;
  const Bytes a = test_support::patterned_bytes(0x9000, 1), b = test_support::patterned_bytes(0x100, 2);
  const uint32_t a_at = image.add_data(a);
  // Between the files, three blocks of filler no file uses.
  image.bytes.resize(0x30000, 0);
  junk_fill_disc(image.bytes.data(), 0, image.bytes.size() - 0x18000, image.bytes.data() + image.bytes.size() - 0x18000,
                 0x18000);
  const uint32_t b_at = image.add_data(b);
  image.write_table({dir_entry("", 3), file_entry("a", a_at, uint32_t(a.size())),
                     file_entry("b", b_at, uint32_t(b.size()))});
  ReaderFixture reader;
  ASSERT_TRUE(reader.mount(image));
  std::vector<IsoSpan> spans;
  ASSERT_TRUE(IsoListUsedSpans(&spans));
  ContainerWriteOptions options = container_write_defaults(CONTAINER_CISO);
  options.block_size = 0x8000;
  options.scrub = true;
  for (const IsoSpan& s : spans) options.used.push_back({s.start, s.end});
  IsoUnmount();

  const std::string path = reader.scratch.at("scrubbed.ciso");
  ASSERT_EQ(write_disc(path, image.bytes, options), CONTAINER_OK);
  ContainerKind kind;
  const Bytes got = read_back(path, &kind);
  ASSERT_GE(got.size(), image.bytes.size());
  for (size_t block = 0; block * 0x8000 < image.bytes.size(); ++block) {
    const size_t start = block * 0x8000, end = std::min(start + 0x8000, image.bytes.size());
    const bool used = std::any_of(spans.begin(), spans.end(), [&](const IsoSpan& s) { return s.start < end && s.end > start; });
    Bytes expected(image.bytes.begin() + start, image.bytes.begin() + end);
    if (!used) std::fill(expected.begin(), expected.end(), 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin() + start)) << "block " << block;
  }
  // Stored: the boot block, a's and b's with the table; left out: the zero
  // block after a and the three of filler.
  EXPECT_EQ(fs::file_size(path), 0x8000 + 3 * 0x8000);
}

TEST(ContainerWriter, RefusesWhatItCannotWriteAndLeavesNothingHalfWritten) {
  const Bytes disc = test_writer::sample_disc();
  test_support::ScratchDir dir;
  const ContainerWriteOptions rvz = container_write_defaults(CONTAINER_RVZ);

  // Options that do not suit their kind.
  auto with = [](ContainerWriteOptions o, auto change) {
    change(o);
    return o;
  };
  const struct {
    const char* name;
    ContainerWriteOptions options;
    uint64_t disc_size;
    ContainerError error;
  } options[] = {
      {"RVZ chunk not a power of two", with(rvz, [](auto& o) { o.block_size = 48u << 10; }), disc.size(), CONTAINER_ERR_OPTION},
      {"RVZ chunk over 2 MiB", with(rvz, [](auto& o) { o.block_size = 4u << 20; }), disc.size(), CONTAINER_ERR_OPTION},
      {"RVZ purge", with(rvz, [](auto& o) { o.method = METHOD_PURGE, o.level = 0; }), disc.size(), CONTAINER_ERR_OPTION},
      {"RVZ LZMA level 10", with(rvz, [](auto& o) { o.method = METHOD_LZMA, o.level = 10; }), disc.size(), CONTAINER_ERR_OPTION},
      {"RVZ scrubbed", with(rvz, [](auto& o) { o.scrub = true; }), disc.size(), CONTAINER_ERR_OPTION},
      {"WIA Zstandard", options_for(CONTAINER_WIA, METHOD_ZSTD, 5, 2u << 20), disc.size(), CONTAINER_ERR_OPTION},
      {"WIA 3 MiB", options_for(CONTAINER_WIA, METHOD_LZMA, 5, 3u << 20), disc.size(), CONTAINER_ERR_OPTION},
      {"WIA 34 MiB", options_for(CONTAINER_WIA, METHOD_LZMA, 5, 34u << 20), disc.size(), CONTAINER_ERR_OPTION},
      {"GCZ with a method", options_for(CONTAINER_GCZ, METHOD_ZSTD, 5, 32u << 10), disc.size(), CONTAINER_ERR_OPTION},
      {"CISO with a level", options_for(CONTAINER_CISO, METHOD_NONE, 3, 2u << 20), disc.size(), CONTAINER_ERR_OPTION},
      {"CISO too many blocks", options_for(CONTAINER_CISO, METHOD_NONE, 0, 32u << 10), DISC_IMAGE_SIZE, CONTAINER_ERR_OPTION},
      {"WDF", container_write_defaults(CONTAINER_WDF), disc.size(), CONTAINER_ERR_OPTION},
      {"larger than a disc", rvz, uint64_t(DISC_IMAGE_SIZE) + 1, CONTAINER_ERR_TOO_LARGE},
  };
  for (const auto& k : options) {
    SCOPED_TRACE(k.name);
    ContainerError error = CONTAINER_OK;
    std::string detail;
    EXPECT_FALSE(container_write_check(k.options, k.disc_size, &error, &detail));
    EXPECT_EQ(error, k.error);
    EXPECT_FALSE(detail.empty());
    EXPECT_EQ(container_writer_open(dir.at("x").c_str(), k.disc_size, k.options, nullptr, &error, &detail), nullptr);
  }

  // The input itself, by its path or through a link, stays as it was.
  const std::string input = dir.at("input.gcm");
  test_support::write_file(input, disc);
  host::FileId id;
  ASSERT_TRUE(host::path_identity(input.c_str(), &id));
  EXPECT_EQ(write_disc(input, disc, rvz, 7777, &id), CONTAINER_ERR_SAME_FILE);
#ifndef _WIN32
  fs::create_symlink(input, dir.at("link.rvz"));
  EXPECT_EQ(write_disc(dir.at("link.rvz"), disc, rvz, 7777, &id), CONTAINER_ERR_SAME_FILE);
  ASSERT_EQ(mkfifo(dir.at("fifo").c_str(), 0600), 0);
  EXPECT_EQ(write_disc(dir.at("fifo"), disc, rvz), CONTAINER_ERR_CREATE);
#endif
  EXPECT_TRUE(test_support::read_file(input) == disc);
  EXPECT_EQ(write_disc(dir.at("missing/out.rvz"), disc, rvz), CONTAINER_ERR_CREATE);

  // A Wii disc, a disc longer or shorter than announced: an existing output
  // keeps its bytes.
  const std::string out = dir.at("out.rvz"), earlier = "earlier output";
  test_support::write_file(out, earlier);
  Bytes wii = disc;
  write_be32(wii.data() + WII_DISC_MAGIC_OFFSET, WII_DISC_MAGIC);
  EXPECT_EQ(write_disc(out, wii, rvz), CONTAINER_ERR_WII_DISC);
  ContainerError error;
  ContainerWriter* w = container_writer_open(out.c_str(), 100, rvz, nullptr, &error, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(container_writer_write(w, disc.data(), 101));
  container_writer_abandon(w);
  w = container_writer_open(out.c_str(), disc.size(), rvz, nullptr, &error, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(container_writer_write(w, disc.data(), disc.size() - 1));
  EXPECT_FALSE(container_writer_finish(w, &error, nullptr));
  EXPECT_EQ(error, CONTAINER_ERR_WRITE);

#ifndef _WIN32
  // A full disk, as a file size limit: every kind fails cleanly.
  struct rlimit previous;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = previous;
  limited.rlim_cur = 40000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  for (ContainerKind kind : {CONTAINER_RVZ, CONTAINER_WIA, CONTAINER_GCZ, CONTAINER_CISO, CONTAINER_PLAIN}) {
    ContainerWriteOptions o = container_write_defaults(kind);
    if (kind == CONTAINER_WIA) o.method = METHOD_NONE, o.level = 0;  // stays large
    if (kind == CONTAINER_CISO) o.block_size = 32u << 10;
    EXPECT_EQ(write_disc(out, disc, o), CONTAINER_ERR_WRITE) << container_kind_name(kind);
  }
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, handler);
#endif
  EXPECT_EQ(test_support::read_file(out), Bytes(earlier.begin(), earlier.end()));
  // No temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
  }
}

}  // namespace
