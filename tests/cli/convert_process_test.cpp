// ombrel-cli convert and trelvik-cli writing containers, run as processes:
// which kind and settings a command line asks for, every kind read back
// byte for byte, and outputs that must not be written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;
using namespace tool_run;

ToolRun ombrel(const std::vector<std::string>& args) { return run_program(OMBREL_CLI_PATH, args); }

// The first four bytes of a file, as text where they are letters.
std::string magic_of(const std::string& path) {
  std::vector<uint8_t> bytes = test_support::read_file(path);
  bytes.resize(4);
  return std::string(bytes.begin(), bytes.end());
}

// A small disc built by trelvik-cli, and the arguments that build it into
// any output.
struct SmallDisc {
  ScratchDir dir;
  std::string base = dir.at("base"), image = dir.at("disc.gcm");

  SmallDisc() {
    test_support::write_patterned_file(base + "/a.bin", 1000, 1);
    test_support::write_patterned_file(base + "/sub/b.bin", 300000, 2);
    test_support::write_patterned_file(base + "/c.bin", 600000, 3);
    ToolRun r = run_program(TRELVIK_CLI_PATH, build_args(image));
    EXPECT_EQ(r.status, 0) << r.err;
  }

  std::vector<std::string> build_args(const std::string& output, std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"--game-id", "GCV", "--game-name", "Convert", "--maker-id", "01",
                                     "--region", "usa", "--apploader", SAMPLES_DIR "/apploader.img",
                                     "--main-program", SAMPLES_DIR "/main.dol", "--base-dir", base,
                                     "--output", output, "--no-maximise", "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
};

// Whether image holds the disc plain, read back through ombrel-cli convert.
// A CISO records no disc size: its disc ends with its last block, so zeros
// may follow the disc.
bool holds_disc(const std::string& image, const std::vector<uint8_t>& plain, const ScratchDir& dir) {
  const std::string out = dir.at("read-back.gcm");
  ToolRun r = ombrel({"convert", "--overwrite", image, out});
  EXPECT_EQ(r.status, 0) << image << ": " << r.err;
  const std::vector<uint8_t> back = test_support::read_file(out);
  return back.size() >= plain.size() && std::equal(plain.begin(), plain.end(), back.begin()) &&
         std::count(back.begin() + plain.size(), back.end(), 0) == ptrdiff_t(back.size() - plain.size());
}

// The kind follows the output's extension (any case) unless --format says
// otherwise; a setting the kind does not take, a value out of its range and
// an unknown name are wrong command lines for both tools.
TEST(ConvertOptions, KindAndSettingsFollowTheCommandLine) {
  SmallDisc disc;
  const struct {
    std::vector<std::string> args;  // IMAGE and OUT (in the scratch folder) are appended
    const char* out;
    int status;
    const char* said;  // in stderr, or the written file's first bytes for status 0
  } cases[] = {
      {{}, "x.RVZ", 0, "RVZ\x01"},
      {{}, "x.Wia", 0, "WIA\x01"},
      {{}, "x.gcz", 0, "\x01\xC0\x0B\xB1"},
      {{}, "x.ciso", 0, "CISO"},
      {{"--format", "rvz"}, "x.gcm", 0, "RVZ\x01"},
      {{"--format=plain"}, "x.rvz", 0, "GCVE"},
      {{"--compression", "bzip2", "--level", "9", "--block-size", "64K"}, "x.rvz", 0, "RVZ\x01"},
      {{"--compression", "purge", "--block-size", "4M"}, "x.wia", 0, "WIA\x01"},
      {{"--level", "-3"}, "x.rvz", 0, "RVZ\x01"},
      {{"--scrub", "--block-size", "32768"}, "x.ciso", 0, "CISO"},
      {{"--compression", "zstd"}, "x.gcz", 2, "a compression method applies to RVZ and WIA only, not to GCZ"},
      {{"--level", "5"}, "x.ciso", 2, "a compression level applies to RVZ, WIA and GCZ only, not to CISO"},
      {{"--block-size", "2M"}, "x.gcm", 2, "a block size applies to RVZ, WIA, GCZ and CISO only"},
      {{"--scrub"}, "x.rvz", 2, "scrubbing applies to CISO only, not to RVZ"},
      {{"--compression", "purge"}, "x.rvz", 2, "RVZ: compresses with zstd, bzip2, LZMA, LZMA2 or none"},
      {{"--compression", "zstd"}, "x.wia", 2, "WIA: compresses with purge, bzip2, LZMA, LZMA2 or none"},
      {{"--block-size", "96K"}, "x.rvz", 2, "RVZ takes a power of two from 32 KiB to 2 MiB"},
      {{"--level", "12"}, "x.gcz", 2, "GCZ: level 12 is outside 1 to 9"},
      {{"--compression", "none", "--level", "3"}, "x.wia", 2, "takes no compression level with none"},
      {{"--format", "wdf"}, "x.wdf", 2, "unknown format 'wdf'"},
      {{"--compression", "gzip"}, "x.rvz", 2, "unknown compression 'gzip'"},
      {{"--level", "five"}, "x.rvz", 2, "the level 'five' is not a whole number"},
      {{"--block-size", "-1"}, "x.rvz", 2, "is not a number of bytes"},
      {{"--level", "5", "--level", "6"}, "x.rvz", 2, "option --level is given twice"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(disc.image);
    args.push_back(dir.at(c.out));
    ToolRun r = ombrel(args);
    const std::string shown = args[1] + " ... " + c.out;
    EXPECT_EQ(r.status, c.status) << shown << ": " << r.err;
    if (c.status == 0) {
      EXPECT_EQ(magic_of(dir.at(c.out)), std::string(c.said, 4)) << shown;
    } else {
      EXPECT_TRUE(contains(r.err, c.said)) << shown << ": " << r.err;
      EXPECT_FALSE(fs::exists(dir.at(c.out))) << shown;
    }
    // trelvik-cli takes the same settings (all but --scrub) by the same rule.
    if (c.args.empty() || c.args[0] == "--scrub") continue;
    ScratchDir build_dir;
    ToolRun b = run_program(TRELVIK_CLI_PATH, disc.build_args(build_dir.at(c.out), c.args));
    EXPECT_EQ(b.status, c.status) << "trelvik-cli " << shown << ": " << b.err;
    if (c.status == 0) EXPECT_EQ(magic_of(build_dir.at(c.out)), std::string(c.said, 4)) << shown;
    if (c.status != 0) EXPECT_TRUE(contains(b.err, c.said)) << "trelvik-cli " << shown << ": " << b.err;
  }
  ToolRun elsewhere = ombrel({"ls", "--format", "rvz", disc.image});
  EXPECT_EQ(elsewhere.status, 2);
  EXPECT_TRUE(contains(elsewhere.err, "--format applies to convert only, not to ls")) << elsewhere.err;
  // A dry run names the kind and its settings and writes nothing.
  ScratchDir dir;
  ToolRun dry = ombrel({"convert", "-n", "--level", "3", disc.image, dir.at("dry.rvz")});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_TRUE(contains(dry.out, "RVZ") && contains(dry.out, "level 3") && contains(dry.out, "nothing written"))
      << dry.out;
  EXPECT_FALSE(fs::exists(dir.at("dry.rvz")));
}

// Every kind converts into every other directly and reads back as the disc,
// byte for byte; a scrubbed CISO keeps every file and reads back the same
// where the disc is used.
TEST(ConvertOptions, EveryKindConvertsIntoEveryOtherAndReadsBackExactly) {
  SmallDisc disc;
  ScratchDir dir;
  const std::vector<uint8_t> plain = test_support::read_file(disc.image);
  const std::vector<std::vector<std::string>> kinds = {
      {"a.rvz"}, {"a.wia"}, {"b.wia", "--compression", "bzip2"}, {"a.gcz"}, {"a.ciso"}, {"a.gcm"}};
  std::string previous = disc.image;
  // Each is made from the one before it: RVZ from plain, WIA from RVZ, ...
  for (const auto& kind : kinds) {
    const std::string out = dir.at(kind[0]);
    std::vector<std::string> args = {"convert", previous, out};
    args.insert(args.end(), kind.begin() + 1, kind.end());
    ToolRun r = ombrel(args);
    ASSERT_EQ(r.status, 0) << kind[0] << ": " << r.err;
    EXPECT_TRUE(holds_disc(out, plain, dir)) << kind[0];
    previous = out;
  }

  // Past the last file, in blocks of their own, bytes no part of the disc
  // uses: a scrubbed CISO leaves them out, an unscrubbed one keeps them.
  std::vector<uint8_t> unused = plain;
  unused.resize((plain.size() + 0x7FFF) / 0x8000 * 0x8000, 0);
  const std::vector<uint8_t> used_part = unused;
  unused.resize(unused.size() + 0x10000, 0xA5);
  test_support::write_file(dir.at("unused.gcm"), unused);
  ASSERT_EQ(ombrel({"convert", "--block-size", "32K", "--format", "rvz", dir.at("unused.gcm"), dir.at("u")}).status, 0);
  for (const bool scrub : {false, true}) {
    std::vector<std::string> args = {"convert", "--overwrite", "--block-size", "32K", dir.at("u"), dir.at("u.ciso")};
    if (scrub) args.push_back("--scrub");
    ASSERT_EQ(ombrel(args).status, 0);
    EXPECT_TRUE(holds_disc(dir.at("u.ciso"), scrub ? used_part : unused, dir)) << scrub;
    EXPECT_EQ(fs::file_size(dir.at("read-back.gcm")), scrub ? used_part.size() : unused.size()) << scrub;
  }
}

// A build straight into a container holds the plain build's disc, for a new
// tree and for a rebuild of an unpacked disc.
TEST(ConvertOptions, TrelvikBuildsIntoContainersWhatItBuildsAsPlainImages) {
  SmallDisc disc;
  ScratchDir dir;
  const std::vector<uint8_t> plain = test_support::read_file(disc.image);
  for (const char* out : {"game.rvz", "game.ciso"}) {
    ToolRun r = run_program(TRELVIK_CLI_PATH, disc.build_args(dir.at(out)));
    ASSERT_EQ(r.status, 0) << out << ": " << r.err;
    EXPECT_TRUE(holds_disc(dir.at(out), plain, dir)) << out;
  }
  ASSERT_EQ(ombrel({"unpack", disc.image, dir.at("unpacked")}).status, 0);
  for (const char* out : {"re.gcm", "re.gcz"}) {
    ToolRun r = run_program(TRELVIK_CLI_PATH,
                            {"--root", dir.at("unpacked"), "--output", dir.at(out), "--no-maximise", "--quiet"});
    ASSERT_EQ(r.status, 0) << out << ": " << r.err;
  }
  EXPECT_TRUE(holds_disc(dir.at("re.gcz"), test_support::read_file(dir.at("re.gcm")), dir));
}

// A CISO leaves out the zero blocks at the disc's end, where its last files
// may lie: its disc runs on in zeros as far as they go, and convert writes
// that same disc into every kind, as hash sums it.
TEST(ConvertOptions, ACisosDiscIsTheSameWhateverItBecomes) {
  SmallDisc disc;
  ScratchDir dir;
  test_support::write_file(disc.base + "/zz.bin", std::vector<uint8_t>(300000, 0));  // last in the table and data
  ASSERT_EQ(run_program(TRELVIK_CLI_PATH, disc.build_args(dir.at("z.gcm"))).status, 0);
  ASSERT_EQ(ombrel({"convert", "--block-size", "32K", dir.at("z.gcm"), dir.at("z.ciso")}).status, 0);
  // The sums and size, without the image's name.
  auto sums = [](const std::string& image) {
    ToolRun r = ombrel({"hash", image});
    EXPECT_EQ(r.status, 0) << image << ": " << r.err;
    return r.out.substr(std::min(r.out.find('\n'), r.out.size()));
  };
  const std::string expected = sums(dir.at("z.ciso"));
  // A CISO's last stored block is whole: at the source's block size it ends inside the zeros.
  const std::vector<std::vector<std::string>> outputs = {
      {"back.gcm"}, {"back.rvz"}, {"back.gcz"}, {"back.ciso", "--block-size", "32K"}};
  for (const auto& out : outputs) {
    std::vector<std::string> args = {"convert", dir.at("z.ciso"), dir.at(out[0])};
    args.insert(args.end(), out.begin() + 1, out.end());
    ASSERT_EQ(ombrel(args).status, 0) << out[0];
    EXPECT_EQ(sums(dir.at(out[0])), expected) << out[0];
  }
  const std::vector<uint8_t> plain = test_support::read_file(dir.at("z.gcm")),
                             back = test_support::read_file(dir.at("back.gcm"));
  EXPECT_NE(expected.find("Size:          " + std::to_string(back.size()) + " bytes"), std::string::npos);
  // It ends where zz.bin ends, past the CISO's last stored block.
  ToolRun ls = ombrel({"ls", dir.at("z.ciso"), "/zz.bin"});
  unsigned long long size = 0, offset = 0;
  ASSERT_EQ(std::sscanf(ls.out.c_str(), "f\t%llu\t%llu", &size, &offset), 2) << ls.out;
  EXPECT_EQ(back.size(), offset + size);
  EXPECT_TRUE(back.size() <= plain.size() && std::equal(back.begin(), back.end(), plain.begin()));
}

// Outputs that cannot or must not be written: the image itself (also through
// a link), a FIFO, a folder that does not exist, a disk that fills up. Each
// fails with exit status 1, writes nothing and leaves what was there.
TEST(ConvertOptions, HostileOutputsFailAndLeaveWhatWasThere) {
  SmallDisc disc;
  const std::vector<uint8_t> image_bytes = test_support::read_file(disc.image);
  const std::vector<uint8_t> previous = test_support::patterned_bytes(5000, 7);
  ScratchDir dir;
  const std::string rvz = dir.at("disc.rvz");
  ASSERT_EQ(ombrel({"convert", disc.image, rvz}).status, 0);
  const std::vector<uint8_t> rvz_bytes = test_support::read_file(rvz);
  fs::create_symlink(rvz, dir.at("link.rvz"));
  ASSERT_EQ(mkfifo(dir.at("fifo.ciso").c_str(), 0644), 0);
  test_support::write_file(dir.at("kept.ciso"), previous);
  const struct {
    const char* what;
    std::string image, out;
    const char* said;
    const char* limit;  // the shell's ulimit -f, in 512-byte blocks
  } cases[] = {
      {"the image itself", rvz, rvz, "is the image itself", ""},
      {"the image through a link", rvz, dir.at("link.rvz"), "is the image itself", ""},
      {"the image as another kind", rvz, dir.at("link.rvz"), "is the image itself", ""},
      {"a FIFO", disc.image, dir.at("fifo.ciso"), "cannot be replaced", ""},
      {"a missing folder", disc.image, dir.at("missing/out.gcz"), "cannot create the file", ""},
      {"a full disk", disc.image, dir.at("kept.ciso"), "is the disk full?", "256"},
  };
  for (const auto& c : cases) {
    std::string command = "ulimit -f " + std::string(*c.limit ? c.limit : "unlimited") + "; exec " +
                          quote(OMBREL_CLI_PATH) + " convert --overwrite " + quote(c.image) + " " + quote(c.out);
    if (std::string(c.what) == "the image as another kind") command += " --format gcz";
    ToolRun r = run_program("/bin/sh", {"-c", command});
    EXPECT_EQ(r.status, 1) << c.what << ": " << r.err;
    EXPECT_TRUE(contains(r.err, c.said)) << c.what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.what << ": " << r.err;
  }
  EXPECT_TRUE(test_support::read_file(rvz) == rvz_bytes);
  EXPECT_TRUE(test_support::read_file(dir.at("kept.ciso")) == previous);
  EXPECT_TRUE(fs::is_fifo(dir.at("fifo.ciso")));
  EXPECT_TRUE(test_support::read_file(disc.image) == image_bytes);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"disc.rvz", "fifo.ciso", "kept.ciso", "link.rvz"}));
}

}  // namespace
