// The real trelvik-cli run as a process on a small generated tree: the image
// it writes, what it prints, and how it fails.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "container/test_writer.h"
#include "disc/disc_format.h"
#include "support/test_support.h"
#include "tool_run.h"

namespace {

using test_support::ScratchDir;
using namespace tool_run;

struct CliRun {
  int status;
  std::string output;  // stdout, then stderr
  std::string stdout_only;
};

// One run of the tool (or of program, given the tool and its arguments);
// output holds stdout then stderr.
CliRun run_cli(const std::vector<std::string>& args, const std::string& program = TRELVIK_CLI_PATH) {
  ToolRun t = run_program(program, args);
  return {t.status, t.out + t.err, t.out};
}

// Apploader, main program and a base folder with a file in a sub-folder.
struct Inputs {
  ScratchDir dir;
  std::vector<uint8_t> apploader = test_support::patterned_bytes(300, 1);
  std::vector<uint8_t> main_program = test_support::patterned_bytes(5000, 2);
  std::vector<uint8_t> data = test_support::patterned_bytes(10000, 3);

  Inputs() {
    test_support::write_file(dir.at("apploader.img"), apploader);
    test_support::write_file(dir.at("main.dol"), main_program);
    test_support::write_file(dir.at("base/sub/data.bin"), data);
  }

  std::vector<std::string> args(const std::string& output) const {
    return {"--game-id", "GTR",        "--game-name", "Trial Build", "--maker-id",
            "01",        "--region",   "usa",         "--apploader", dir.at("apploader.img"),
            "--main-program", dir.at("main.dol"), "--base-dir", dir.at("base"),
            "--output",  output,       "--no-maximise"};
  }
};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TEST(TrelvikCliProcess, BuildWritesHeaderBootFilesAndData) {
  Inputs in;
  const std::string out = in.dir.at("out.gcm");
  CliRun r = run_cli(with(in.args(out), {"--no-disc-magic"}));
  ASSERT_EQ(r.status, 0) << r.output;

  std::vector<uint8_t> image = test_support::read_file(out);
  ASSERT_GT(image.size(), 0x2440u + 300 + 5000);
  EXPECT_EQ(std::string(image.begin(), image.begin() + 6), "GTRE01");
  EXPECT_EQ(std::string(image.begin() + 0x20, image.begin() + 0x2C), std::string("Trial Build\0", 12));
  EXPECT_EQ(read_be32(&image[GAMECUBE_DISC_MAGIC_OFFSET]), 0u);
  EXPECT_EQ(read_be32(&image[0x420]), APPLOADER_OFFSET + 300);
  const uint32_t fst_offset = read_be32(&image[0x424]);
  EXPECT_EQ(fst_offset, APPLOADER_OFFSET + 300 + 5000);
  EXPECT_GT(read_be32(&image[0x428]), 0u);  // the final header, with the table size
  EXPECT_EQ(read_be32(&image[0x42C]), DEFAULT_MAX_FST_SIZE);
  EXPECT_TRUE(std::equal(in.apploader.begin(), in.apploader.end(), image.begin() + APPLOADER_OFFSET));
  EXPECT_TRUE(std::equal(in.main_program.begin(), in.main_program.end(),
                         image.begin() + APPLOADER_OFFSET + 300));
  // Not maximised: the image ends with the only file's data, at a 2,048 boundary.
  ASSERT_EQ(image.size() - in.data.size(), align_to_file_boundary(image.size() - in.data.size()));
  EXPECT_TRUE(std::equal(in.data.begin(), in.data.end(), image.end() - in.data.size()));
}

TEST(TrelvikCliProcess, LogLinesAreStampedUtf8OnStdout) {
  Inputs in;
  CliRun r = run_cli(in.args(in.dir.at("out.gcm")));
  ASSERT_EQ(r.status, 0) << r.output;
  // The first line: "書き込み開始" (start of writing) in UTF-8.
  const std::string start = "\xE6\x9B\xB8\xE3\x81\x8D\xE8\xBE\xBC\xE3\x81\xBF\xE9\x96\x8B\xE5\xA7\x8B";
  std::regex first_line("^[0-2][0-9]:[0-5][0-9]:[0-6][0-9]      " + start + "\n");
  EXPECT_TRUE(std::regex_search(r.stdout_only, first_line)) << r.stdout_only;
  EXPECT_TRUE(contains(r.stdout_only, "'" + in.dir.at("base/sub/data.bin") + "'")) << r.stdout_only;
}

TEST(TrelvikCliProcess, DiscMagicIsWrittenUnlessTurnedOff) {
  Inputs in;
  const std::string out = in.dir.at("out.gcm");
  CliRun r = run_cli(in.args(out));
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<uint8_t> image = test_support::read_file(out);
  EXPECT_EQ(read_be32(&image[GAMECUBE_DISC_MAGIC_OFFSET]), GAMECUBE_DISC_MAGIC);
}

// Default mode writes what other tools check: the bi2 region word of the
// region letter, or what --header-from takes of a GameCube disc.
TEST(TrelvikCliProcess, DefaultModeWritesTheRegionWordAndCopiesWhatMakesADisc) {
  Inputs in;
  const struct {
    const char* region;
    uint32_t word;
  } regions[] = {{"japan", BI2_REGION_JAPAN}, {"usa", BI2_REGION_USA}, {"europe", BI2_REGION_EUROPE}};
  std::vector<std::string> args = in.args(in.dir.at("out.gcm"));
  for (const auto& r : regions) {
    args[7] = r.region;  // --region's value
    ASSERT_EQ(run_cli(args).status, 0) << r.region;
    std::vector<uint8_t> image = test_support::read_file(in.dir.at("out.gcm"));
    EXPECT_EQ(read_be32(&image[BI2_OFFSET + BI2_REGION_OFFSET]), r.word) << r.region;
  }
  // A source disc with a disc number, a revision, streaming and its own bi2.
  std::vector<uint8_t> source = test_support::read_file(in.dir.at("out.gcm"));
  const uint8_t identity[] = {'S', 'R', 'C', 'P', '0', '8', 1, 2, 1, 10};
  std::copy(std::begin(identity), std::end(identity), source.begin());
  source[BI2_OFFSET + 0x100] = 0x5A;
  test_support::write_file(in.dir.at("source.gcm"), source);
  ASSERT_EQ(run_cli(with(in.args(in.dir.at("copy.gcm")), {"--header-from", in.dir.at("source.gcm")})).status, 0);
  std::vector<uint8_t> copy = test_support::read_file(in.dir.at("copy.gcm"));
  EXPECT_TRUE(std::equal(source.begin(), source.begin() + DISC_IDENTITY_SIZE, copy.begin()));
  EXPECT_TRUE(std::equal(source.begin() + 0x20, source.begin() + 0x60, copy.begin() + 0x20));
  EXPECT_TRUE(std::equal(source.begin() + BI2_OFFSET, source.begin() + APPLOADER_OFFSET, copy.begin() + BI2_OFFSET));
  // The same disc in a container gives the same header.
  test_support::write_file(in.dir.at("source.ciso"), test_support::make_ciso(source));
  ASSERT_EQ(run_cli(with(in.args(in.dir.at("from-ciso.gcm")), {"--header-from", in.dir.at("source.ciso")})).status, 0);
  std::vector<uint8_t> from_ciso = test_support::read_file(in.dir.at("from-ciso.gcm"));
  EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + APPLOADER_OFFSET, from_ciso.begin()));
  // Only a GameCube disc is taken, except in the wizard's own mode.
  test_support::write_file(in.dir.at("notes.txt"), std::string(20000, 'x'));
  CliRun r = run_cli(with(in.args(in.dir.at("copy.gcm")), {"--header-from", in.dir.at("notes.txt")}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "is not a GameCube disc image: no plausible disc header")) << r.output;
  r = run_cli(with(in.args(in.dir.at("copy.gcm")), {"--header-from", in.dir.at("notes.txt"), "--no-disc-magic"}));
  EXPECT_EQ(r.status, 0) << r.output;
  // The wizard's mode reads the disc inside a container as well (never the
  // container's own bytes): the image equals the one from the plain disc,
  // and a container that gives no disc is refused in both modes.
  const test_writer::Bytes rvz = test_writer::write_wia(source, {}).file;
  test_support::write_file(in.dir.at("source.rvz"), rvz);
  test_support::write_file(in.dir.at("cut.rvz"), test_writer::Bytes(rvz.begin(), rvz.begin() + 200));
  for (const char* from : {"source.gcm", "source.rvz"}) {
    r = run_cli(with(in.args(in.dir.at(std::string(from) + ".out")),
                     {"--header-from", in.dir.at(from), "--no-disc-magic"}));
    ASSERT_EQ(r.status, 0) << r.output;
  }
  std::vector<uint8_t> from_rvz = test_support::read_file(in.dir.at("source.rvz.out"));
  EXPECT_EQ(std::string(from_rvz.begin(), from_rvz.begin() + 6), "SRCP08");
  EXPECT_TRUE(from_rvz == test_support::read_file(in.dir.at("source.gcm.out")));
  for (bool magic : {true, false}) {
    std::vector<std::string> args = with(in.args(in.dir.at("copy.gcm")), {"--header-from", in.dir.at("cut.rvz")});
    if (!magic) args.push_back("--no-disc-magic");
    r = run_cli(args);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "cut.rvz' cannot be read: RVZ: ")) << r.output;
  }
}

// Content past a full disc is refused before anything is written to it,
// with the excess and, where it helps, --align 4.
TEST(TrelvikCliProcess, ContentPastAFullDiscIsRefusedUnlessAllowed) {
  Inputs in;
  // A sparse file that leaves 64 KiB, and 40 small files that need 80 KiB at
  // 2,048 bytes each but fit at 4.
  const std::string big = in.dir.at("base/big.bin");
  test_support::write_file(big, std::string());
  ASSERT_EQ(truncate(big.c_str(), DISC_IMAGE_SIZE - 0x10000), 0);
  for (int i = 0; i < 40; ++i) test_support::write_file(in.dir.at("base/s/" + std::to_string(i)), std::string("x"));
  CliRun r = run_cli(in.args(in.dir.at("out.gcm")));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "bytes past a full disc (1459978240 bytes); nothing was written (with --align 4"))
      << r.output;
  EXPECT_FALSE(exists(in.dir.at("out.gcm")));
  // --align takes powers of two from 4 to 32,768 only.
  EXPECT_EQ(run_cli(with(in.args(in.dir.at("out.gcm")), {"--align", "3"})).status, 2);
}

TEST(TrelvikCliProcess, QuietSuccessPrintsNothing) {
  Inputs in;
  CliRun r = run_cli(with(in.args(in.dir.at("out.gcm")), {"--quiet"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_TRUE(exists(in.dir.at("out.gcm")));
}

TEST(TrelvikCliProcess, HelpExitsCleanlyWithUsage) {
  CliRun r = run_cli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.stdout_only, "Usage: trelvik-cli")) << r.output;
}

TEST(TrelvikCliProcess, WrongOptionsFailBeforeTouchingTheOutput) {
  Inputs in;
  const std::string out = in.dir.at("out.gcm");
  test_support::write_file(out, std::string("previous image"));

  CliRun r = run_cli(with(in.args(out), {"--region=mars"}));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.output, "unknown option") || contains(r.output, "twice")) << r.output;

  std::vector<std::string> args = in.args(out);
  args[7] = "mars";  // --region's value
  r = run_cli(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.output, "error: unknown region 'mars'")) << r.output;

  args = in.args(out);
  args[3] = "Caf\xC3\xA9";  // --game-name's value, with no code page 932 form
  r = run_cli(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.output, "code page 932")) << r.output;

  args = in.args(out);
  args[9] = in.dir.at("missing.img");  // --apploader's value
  r = run_cli(args);
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(contains(r.output, "the apploader '" + in.dir.at("missing.img") + "' does not exist"))
      << r.output;

  EXPECT_EQ(test_support::read_file(out).size(), std::string("previous image").size());
}

// An output that is one of the inputs is refused before anything is
// created or truncated; every input survives byte for byte.
TEST(TrelvikCliProcess, AnOutputThatIsAnInputIsRefusedAndEveryInputSurvives) {
  Inputs in;
  const std::string header = in.dir.at("header.gcm");
  ASSERT_EQ(run_cli(in.args(header)).status, 0);
  const std::vector<uint8_t> header_bytes = test_support::read_file(header);
  ASSERT_EQ(link(in.dir.at("main.dol").c_str(), in.dir.at("main-link.dol").c_str()), 0);
  const struct {
    std::string output;
    std::vector<std::string> more;
    std::string said;
  } cases[] = {
      {in.dir.at("apploader.img"), {}, "is the apploader"},
      {in.dir.at("main-link.dol"), {}, "is the main program"},
      {in.dir.at("base/sub/data.bin"), {}, "lies inside the base directory"},
      {in.dir.at("base/sub/new.gcm"), {}, "lies inside the base directory"},
      {header, {"--header-from", header}, "is the header image"},
  };
  for (const auto& c : cases) {
    CliRun r = run_cli(with(in.args(c.output), c.more));
    EXPECT_NE(r.status, 0) << c.output;
    EXPECT_TRUE(contains(r.output, "the output '" + c.output + "' " + c.said)) << r.output;
    EXPECT_FALSE(contains(r.output, "removed")) << r.output;
    EXPECT_EQ(test_support::read_file(in.dir.at("apploader.img")), in.apploader);
    EXPECT_EQ(test_support::read_file(in.dir.at("main.dol")), in.main_program);
    EXPECT_EQ(test_support::read_file(in.dir.at("base/sub/data.bin")), in.data);
    EXPECT_EQ(test_support::read_file(header), header_bytes);
    EXPECT_FALSE(exists(in.dir.at("base/sub/new.gcm")));
  }
}

// A FIFO is never opened for reading: as an input or inside the base
// directory it is named and refused at once instead of blocking the build.
TEST(TrelvikCliProcess, FifosAreRefusedAtOnce) {
  Inputs in;
  ASSERT_EQ(mkfifo(in.dir.at("pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(in.dir.at("base/sub/pipe").c_str(), 0600), 0);
  const std::string out = in.dir.at("out.gcm");
  std::vector<std::string> args = in.args(out);
  CliRun r = run_cli(with({"20", TRELVIK_CLI_PATH}, args), "timeout");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(contains(r.output, "'" + in.dir.at("base/sub/pipe") + "' is not a regular file"))
      << r.output;
  EXPECT_FALSE(exists(out));
  for (size_t value : {size_t(9), size_t(11)}) {  // --apploader's and --main-program's values
    args = in.args(out);
    args[value] = in.dir.at("pipe");
    r = run_cli(with({"20", TRELVIK_CLI_PATH}, args), "timeout");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "'" + in.dir.at("pipe") + "' is not a regular file")) << r.output;
  }
  r = run_cli(with(with({"20", TRELVIK_CLI_PATH}, in.args(out)), {"--header-from", in.dir.at("pipe")}),
              "timeout");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(contains(r.output, "the header image '" + in.dir.at("pipe") + "' is not a regular file"))
      << r.output;
}

TEST(TrelvikCliProcess, UncreatableOutputIsReported) {
  Inputs in;
  CliRun r = run_cli(in.args("/nonexistent/x.gcm"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "cannot create the output image '/nonexistent/x.gcm'")) << r.output;
}

TEST(TrelvikCliProcess, FullDiskFailsTheWriteAndLeavesDevicesAlone) {
  Inputs in;
  CliRun r = run_cli(in.args("/dev/full"));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "writing the output image '/dev/full' failed")) << r.output;
  struct stat st;
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace

TEST(TrelvikCliProcess, JapaneseNamesAreStoredInShiftJisAndUnconvertibleOnesNamed) {
  Inputs in;
  const std::string data_utf8 = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";  // データ
  const std::string data_cp932 = "\x83\x66\x81\x5B\x83\x5E";
  // 31 times "ア" and "a": 63 bytes in the image (the most the explorer
  // reads), 94 in UTF-8.
  std::string long_utf8;
  for (int i = 0; i < 31; ++i) long_utf8 += "\xE3\x82\xA2";
  long_utf8 += "a";
  const std::string emoji = "\xF0\x9F\x98\x80.txt";
  const std::string long_path = in.dir.at("base/" + data_utf8 + "/" + long_utf8);
  test_support::write_file(long_path, std::string("long"));
  test_support::write_file(in.dir.at("base/" + emoji), std::string("smile"));

  const std::string out = in.dir.at("out.gcm");
  CliRun r = run_cli(in.args(out));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "warning: the name of '" + in.dir.at("base/" + emoji) +
                                     "' has no Shift-JIS form"))
      << r.output;
  EXPECT_FALSE(contains(r.output, "bytes long")) << r.output;  // counted in Shift-JIS
  std::string::size_type first = r.output.find("no Shift-JIS form");
  EXPECT_EQ(r.output.find("no Shift-JIS form", first + 1), std::string::npos) << r.output;
  // The log names the file by its host path.
  EXPECT_TRUE(contains(r.stdout_only, "'" + long_path + "'")) << r.stdout_only;

  std::vector<uint8_t> image = test_support::read_file(out);
  std::string table(image.begin() + read_be32(&image[0x424]),
                    image.begin() + read_be32(&image[0x424]) + read_be32(&image[0x428]));
  EXPECT_TRUE(contains(table, data_cp932 + std::string("\0", 1)));
  EXPECT_FALSE(contains(table, data_utf8));
  EXPECT_TRUE(contains(table, emoji));
}
