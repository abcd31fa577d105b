// The real ombrel-cli run as a process on images that trelvik-cli builds from
// samples/ and from small generated trees: what it prints, what it writes and
// how it fails.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "disc/disc_format.h"
#include "support/test_support.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;
using namespace tool_run;

ToolRun ombrel(const std::vector<std::string>& args) { return run_program(OMBREL_CLI_PATH, args); }

// Builds an image of base with trelvik-cli, not padded to the full size.
void build_image(const fs::path& base, const std::string& output,
                 std::vector<std::string> header = {"--game-id", "GTR", "--game-name",
                                                    "Trelvik Sample", "--maker-id", "01",
                                                    "--region", "usa"}) {
  std::vector<std::string> args = header;
  for (const char* a : {"--apploader", SAMPLES_DIR "/apploader.img", "--main-program",
                        SAMPLES_DIR "/main.dol", "--no-maximise", "--quiet"}) {
    args.push_back(a);
  }
  args.insert(args.end(), {"--base-dir", base.string(), "--output", output});
  ToolRun r = run_program(TRELVIK_CLI_PATH, args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
}

// "d PATH" for each folder and "f PATH SIZE" for each file below root, with
// in-image style paths ("/a/b").
std::map<std::string, std::string> describe_tree(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string path = "/" + fs::relative(e.path(), root).generic_string();
    entries[path] = e.is_directory() ? "d" : "f " + std::to_string(fs::file_size(e.path()));
  }
  return entries;
}

// Both trees hold the same folders and byte-identical files.
void expect_same_tree(const fs::path& expected, const fs::path& actual) {
  ASSERT_EQ(describe_tree(expected), describe_tree(actual));
  for (const auto& e : fs::recursive_directory_iterator(expected)) {
    if (e.is_directory()) continue;
    fs::path other = actual / fs::relative(e.path(), expected);
    EXPECT_EQ(test_support::read_file(e.path()), test_support::read_file(other)) << other;
  }
}

struct ListLine {
  char kind;
  uint64_t size, offset;
  std::string path;
};

std::vector<ListLine> parse_listing(const std::string& text) {
  std::vector<ListLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    ListLine l{};
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
    EXPECT_EQ(t1, 1u) << line;
    if (t3 == std::string::npos) continue;
    l.kind = line[0];
    l.size = std::stoull(line.substr(t1 + 1, t2 - t1 - 1));
    l.offset = std::stoull(line.substr(t2 + 1, t3 - t2 - 1));
    l.path = line.substr(t3 + 1);
    lines.push_back(l);
  }
  return lines;
}

// The sample base directory (with its empty folder, which git does not keep)
// and its image, built once for the whole suite.
class OmbrelCliProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir;
    base_ = scratch_->path() / "base";
    fs::copy(SAMPLES_DIR "/base", base_, fs::copy_options::recursive);
    fs::create_directories(base_ / "empty_folder");
    image_ = scratch_->at("sample.gcm");
    build_image(base_, image_);
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }

  static ScratchDir* scratch_;
  static fs::path base_;
  static std::string image_;
};

ScratchDir* OmbrelCliProcess::scratch_ = nullptr;
fs::path OmbrelCliProcess::base_;
std::string OmbrelCliProcess::image_;

TEST_F(OmbrelCliProcess, InfoShowsHeaderCountsAndEveryLanguage) {
  ToolRun r = ombrel({"info", image_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  int folders = 0, files = 0;
  for (const auto& e : describe_tree(base_)) (e.second == "d" ? folders : files)++;
  const std::string counts = std::to_string(folders) + " folders, " + std::to_string(files) + " files";
  EXPECT_TRUE(contains(r.out, "Image:         " + image_ + "\n"
                              "Entries:       " + counts + "\n"
                              "Game name:     Trelvik Sample\n"
                              "Maker:         Nintendo\n"
                              "Product code:  DOL-GTR-USA\n"
                              "Video format:  USA/NTSC\n"
                              "Game ID:       GTRE01\n"
                              "Disc number:   0 (the first disc)\n"
                              "Revision:      0\n"
                              "Streaming:     off (buffer size 0)\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Main program:  512 bytes at 0x")) << r.out;
  EXPECT_TRUE(contains(r.out, "Banner:        six-language\nEnglish:\n")) << r.out;
  for (const char* language : {"German:", "French:", "Spanish:", "Italian:", "Dutch:"}) {
    EXPECT_TRUE(contains(r.out, std::string("\n") + language + "\n")) << language;
  }
  // Windows-1252 texts in UTF-8, and a 32-byte name with no NUL behind it.
  EXPECT_TRUE(contains(r.out, "  Long name:   Trelvik Beispieldisc f\xC3\xBCr Tests\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "  Short name:  Esempio Trelvik - disco di prova\n")) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 16 + 6 * 6);

  // The same as JSON, for scripts.
  ToolRun json = ombrel({"info", "--json", image_});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const char* field : {"\"game_id\": \"GTRE01\"", "\"disc_number\": 0", "\"audio_streaming\": false",
                            "\"apploader\": {\"offset\": 9280, \"size\": 544}", "\"main_program\": {\"offset\": 9824, \"size\": 512}",
                            "\"long_name\": \"Trelvik Beispieldisc f\xC3\xBCr Tests\""}) {
    EXPECT_TRUE(contains(json.out, field)) << field << "\n" << json.out;
  }
}

// unpack writes sys/ as other disc tools do and files/ as extract does.
TEST_F(OmbrelCliProcess, UnpackWritesTheBootAreasAndTheFiles) {
  ScratchDir dir;
  const std::string dest = dir.at("unpacked");
  ToolRun r = ombrel({"unpack", image_, dest});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> image = test_support::read_file(image_);
  auto span = [&](size_t from, size_t n) {
    return std::vector<uint8_t>(image.begin() + from, image.begin() + from + n);
  };
  EXPECT_EQ(test_support::read_file(dest + "/sys/boot.bin"), span(0, 0x440));
  EXPECT_EQ(test_support::read_file(dest + "/sys/bi2.bin"), span(0x440, 0x2000));
  EXPECT_EQ(test_support::read_file(dest + "/sys/apploader.img"),
            test_support::read_file(SAMPLES_DIR "/apploader.img"));
  EXPECT_EQ(test_support::read_file(dest + "/sys/main.dol"), test_support::read_file(SAMPLES_DIR "/main.dol"));
  EXPECT_EQ(test_support::read_file(dest + "/sys/fst.bin"),
            span(read_be32(&image[0x424]), read_be32(&image[0x428])));
  expect_same_tree(base_, dest + "/files");
  // A second unpack needs --overwrite.
  EXPECT_EQ(ombrel({"unpack", image_, dest}).status, 1);
  EXPECT_EQ(ombrel({"unpack", "-o", image_, dest}).status, 0);
}

// convert writes the plain disc a container holds, and replaces a file only
// with --overwrite; hash and ls read the container as they read the image.
TEST_F(OmbrelCliProcess, ConvertWritesTheContainersPlainDiscAndReplacesOnlyWithOverwrite) {
  ScratchDir dir;
  std::vector<uint8_t> plain = test_support::read_file(image_);
  const std::string ciso = dir.at("game.ciso");
  test_support::write_file(ciso, test_support::make_ciso(plain));
  plain.resize((plain.size() + 0x7FFF) / 0x8000 * 0x8000, 0);
  const std::string padded = dir.at("padded.gcm");
  test_support::write_file(padded, plain);

  const std::string out = dir.at("out.gcm");
  ToolRun first = ombrel({"convert", ciso, out});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(test_support::read_file(out) == plain);

  test_support::write_file(out, std::string("keep"));
  ToolRun again = ombrel({"convert", ciso, out});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(contains(again.err, "--overwrite")) << again.err;
  EXPECT_EQ(read_text(out), "keep");
  ASSERT_EQ(ombrel({"convert", "--overwrite", ciso, out}).status, 0);
  EXPECT_TRUE(test_support::read_file(out) == plain);

  ToolRun ciso_sums = ombrel({"hash", ciso});
  ASSERT_EQ(ciso_sums.status, 0) << ciso_sums.err;
  const std::string sums = ciso_sums.out.substr(ciso_sums.out.find("\nSize:"));
  EXPECT_TRUE(contains(sums, "\nMD5:")) << sums;
  EXPECT_TRUE(contains(ombrel({"hash", padded}).out, sums));
  ToolRun listing = ombrel({"ls", "-R", ciso});
  ASSERT_EQ(listing.status, 0) << listing.err;
  EXPECT_EQ(listing.out, ombrel({"ls", "-R", padded}).out);

  // A plain image over 4 GiB mounts, but is not cut short by a copy.
  test_support::fs::resize_file(padded, (uint64_t(1) << 32) + 0x8000);
  const std::string big_out = dir.at("big.gcm");
  ToolRun big = ombrel({"convert", padded, big_out});
  EXPECT_EQ(big.status, 1);
  EXPECT_TRUE(contains(big.err, "4 GiB")) << big.err;
  EXPECT_FALSE(test_support::fs::exists(big_out));
}

// hash reads the disc without mounting it: a dump whose file table points
// past its end still gets its sums, the same ones md5sum and sha1sum give;
// a file that is no disc gets none.
TEST_F(OmbrelCliProcess, HashGivesTheSumsOfEveryByteEvenOfAnUnmountableDump) {
  ScratchDir dir;
  const std::string damaged = dir.at("damaged.gcm");
  std::vector<uint8_t> bytes = test_support::read_file(image_);
  write_be32(&bytes[0x424], 0x7FFFFF00);
  test_support::write_file(damaged, bytes);
  ASSERT_EQ(ombrel({"info", damaged}).status, 1);

  ToolRun text = ombrel({"hash", damaged});
  ASSERT_EQ(text.status, 0) << text.err;
  auto first_word = [](const std::string& out) { return out.substr(0, out.find(' ')); };
  const std::string md5 = first_word(run_program("md5sum", {damaged}).out);
  const std::string sha1 = first_word(run_program("sha1sum", {damaged}).out);
  ASSERT_EQ(md5.size(), 32u);
  EXPECT_TRUE(contains(text.out, "Size:          " + std::to_string(bytes.size()) + " bytes\n")) << text.out;
  EXPECT_TRUE(contains(text.out, "MD5:           " + md5 + "\n")) << text.out;
  EXPECT_TRUE(contains(text.out, "SHA-1:         " + sha1 + "\n")) << text.out;
  const size_t crc_at = text.out.find("CRC32:         ");
  ASSERT_NE(crc_at, std::string::npos) << text.out;
  const std::string crc = text.out.substr(crc_at + 15, 8);

  ToolRun json = ombrel({"hash", "--json", damaged});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const std::string& field : {"\"size\": " + std::to_string(bytes.size()) + ",", "\"crc32\": \"" + crc + "\"",
                                   "\"md5\": \"" + md5 + "\"", "\"sha1\": \"" + sha1 + "\""})
    EXPECT_TRUE(contains(json.out, field)) << field << json.out;

  test_support::write_file(dir.at("notes.gcm"), std::string(5000, 'x'));
  ToolRun not_disc = ombrel({"hash", dir.at("notes.gcm")});
  EXPECT_EQ(not_disc.status, 1);
  EXPECT_EQ(not_disc.out, "");
  EXPECT_TRUE(contains(not_disc.err, "is not a GameCube disc image: no plausible disc header")) << not_disc.err;
}

TEST_F(OmbrelCliProcess, InfoDecodesShiftJisAndLeavesUndecodableBytesRaw) {
  ScratchDir dir;
  // A single-record banner: its texts are Shift-JIS (this file's literals are
  // stored in code page 932).
  std::vector<uint8_t> banner(BANNER_SINGLE_RECORD_SIZE, 0);
  auto put = [&](uint32_t field, const std::string& text) {
    std::copy(text.begin(), text.end(), banner.begin() + BANNER_TEXT_OFFSET + field);
  };
  put(BANNER_SHORT_NAME_OFFSET, "サンプル");
  put(BANNER_SHORT_MAKER_OFFSET, "\x81\x20 raw");  // a lead byte without its trail byte
  put(BANNER_DESCRIPTION_OFFSET, "one\ntwo");
  test_support::write_file(dir.at("base/opening.bnr"), banner);
  build_image(dir.at("base"), dir.at("jp.gcm"),
              {"--game-id", "JPS", "--game-name", "\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB",
               "--maker-id", "5d", "--region", "japan"});

  ToolRun r = ombrel({"info", dir.at("jp.gcm")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Game name:     \xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\n"
                              "Maker:         Datel\n"
                              "Product code:  DOL-JPS-JPN\n"
                              "Video format:  Japan/NTSC\n"
                              "Game ID:       JPSJ5d\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Banner:        single-record\n"
                              "Japan/USA (NTSC):\n"
                              "  Short name:  \xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\n"
                              "  Short maker: \x81  raw\n"
                              "  Long name:   \n"
                              "  Long maker:  \n"
                              "  Description: one\\ntwo\n"))
      << r.out;
}

TEST_F(OmbrelCliProcess, ImageWithoutBannerHasNoneAndNoPicture) {
  ScratchDir dir;
  test_support::write_file(dir.at("base/only.bin"), test_support::patterned_bytes(100, 9));
  build_image(dir.at("base"), dir.at("plain.gcm"));
  ToolRun r = ombrel({"info", dir.at("plain.gcm")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Banner:        none (no /opening.bnr)\n")) << r.out;

  r = ombrel({"banner", dir.at("plain.gcm"), dir.at("b.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "no banner file /opening.bnr")) << r.err;
  EXPECT_FALSE(fs::exists(dir.at("b.png")));
}

TEST_F(OmbrelCliProcess, RecursiveListingIsExactlyTheSampleTree) {
  ToolRun r = ombrel({"ls", "-R", image_});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<ListLine> lines = parse_listing(r.out);
  std::map<std::string, std::string> listed;
  std::vector<uint8_t> image = test_support::read_file(image_);
  std::vector<std::string> seen;
  for (const ListLine& l : lines) {
    listed[l.path] = l.kind == 'd' ? "d" : "f " + std::to_string(l.size);
    if (l.kind == 'd') {
      EXPECT_EQ(l.size, 0u);
      EXPECT_EQ(l.offset, 0u);
    } else {
      // The offset really holds the file's bytes.
      std::vector<uint8_t> bytes = test_support::read_file(base_ / l.path.substr(1));
      ASSERT_LE(l.offset + l.size, image.size()) << l.path;
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin() + long(l.offset))) << l.path;
    }
    // A folder comes before what it holds.
    std::string parent = l.path.substr(0, l.path.rfind('/'));
    if (!parent.empty()) {
      EXPECT_NE(std::find(seen.begin(), seen.end(), parent), seen.end()) << l.path;
    }
    seen.push_back(l.path);
  }
  EXPECT_EQ(lines.size(), listed.size());
  EXPECT_EQ(listed, describe_tree(base_));
}

TEST_F(OmbrelCliProcess, ListingOneFolderOrOneFile) {
  ToolRun top = ombrel({"ls", image_});
  ASSERT_EQ(top.status, 0) << top.err;
  std::vector<std::string> names;
  for (const ListLine& l : parse_listing(top.out)) names.push_back(l.path);
  std::vector<std::string> expected;
  for (const auto& e : fs::directory_iterator(base_)) {
    expected.push_back("/" + e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);

  // A trailing "/" and a missing leading one name the same folder.
  ToolRun levels = ombrel({"ls", image_, "data/levels/"});
  ASSERT_EQ(levels.status, 0) << levels.err;
  std::vector<ListLine> lines = parse_listing(levels.out);
  ASSERT_EQ(lines.size(), 2u) << levels.out;
  for (const ListLine& l : lines) {
    EXPECT_TRUE(l.path == "/data/levels/deep" || l.path == "/data/levels/level1.txt") << l.path;
  }
  EXPECT_EQ(ombrel({"ls", image_, "/empty_folder"}).out, "");

  ToolRun file = ombrel({"ls", image_, "/data/notes.txt"});
  ASSERT_EQ(file.status, 0) << file.err;
  ASSERT_EQ(parse_listing(file.out).size(), 1u);
  EXPECT_EQ(parse_listing(file.out)[0].size, fs::file_size(base_ / "data/notes.txt"));

  // Folder names are matched exactly, as the explorer matches them.
  for (const char* missing : {"/DATA", "/data/NOTES.TXT", "/nothing", "/data/notes.txt/x"}) {
    ToolRun r = ombrel({"ls", image_, missing});
    EXPECT_EQ(r.status, 1) << missing;
    EXPECT_TRUE(contains(r.err, std::string("'") + missing + "' is neither a folder nor a file"))
        << r.err;
  }
}

TEST_F(OmbrelCliProcess, ExtractingTheRootGivesTheSampleTreeByteForByte) {
  ScratchDir dir;
  const std::string dest = dir.at("new/deeper");  // created with its parent
  ToolRun r = ombrel({"extract", image_, "/", dest});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");  // no progress bar when stderr is not a terminal
  expect_same_tree(base_, dest);
}

TEST_F(OmbrelCliProcess, ExtractionOnATerminalDrawsABarUpToTheWholeSize) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  ScratchDir dir;
  // script(1) gives the tool a terminal and copies what it draws.
  std::string command = quote(OMBREL_CLI_PATH) + " extract " + quote(image_) + " / " +
                        quote(dir.at("out"));
  ToolRun r = run_program("script", {"-qec", command, "/dev/null"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  uint64_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(base_)) {
    if (e.is_regular_file()) total += fs::file_size(e.path());
  }
  char last[64];
  std::snprintf(last, sizeof last, "] 100%%  %7.1f / %.1f MiB", total / 1048576.0, total / 1048576.0);
  EXPECT_TRUE(contains(r.out, "\r[##############################" + std::string(last))) << r.out;
  expect_same_tree(base_, dir.at("out"));
}

TEST_F(OmbrelCliProcess, ExtractingAFolderWritesDestName) {
  ScratchDir dir;
  ToolRun r = ombrel({"extract", image_, "/data/levels", dir.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_tree(base_ / "data/levels", dir.path() / "levels");
  EXPECT_EQ(describe_tree(dir.path()).size(), describe_tree(base_ / "data/levels").size() + 1);

  // A top folder that exists already is written into only when overwriting.
  ScratchDir again;
  fs::create_directories(again.path() / "data");
  r = ombrel({"extract", image_, "/data", again.path().string()});
  EXPECT_EQ(r.status, 1);
  r = ombrel({"extract", "-o", image_, "/data", again.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_tree(base_ / "data", again.path() / "data");
}

TEST_F(OmbrelCliProcess, ExtractingOverAnEarlierCopyNeedsOverwrite) {
  ScratchDir dir;
  ASSERT_EQ(ombrel({"extract", image_, "/data", dir.path().string()}).status, 0);
  test_support::write_file(dir.path() / "data/notes.txt", std::string("edited"));
  test_support::write_file(dir.path() / "data/mine.txt", std::string("mine"));

  // Nothing is written while anything that would be is there already.
  ToolRun r = ombrel({"extract", image_, "/data", dir.path().string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'" + (dir.path() / "data").string() + "', '")) << r.err;
  EXPECT_TRUE(contains(r.err, "more); nothing written (--overwrite")) << r.err;
  EXPECT_EQ(read_text(dir.path() / "data/notes.txt"), "edited");

  // --overwrite replaces files and merges into folders, keeping other files.
  r = ombrel({"extract", image_, "/data", dir.path().string(), "--overwrite"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test_support::read_file(dir.path() / "data/notes.txt"),
            test_support::read_file(base_ / "data/notes.txt"));
  EXPECT_EQ(read_text(dir.path() / "data/mine.txt"), "mine");

  // A file where the folder should go is no folder to merge into.
  ScratchDir blocked;
  test_support::write_file(blocked.path() / "data", std::string("a file"));
  r = ombrel({"extract", "-o", image_, "/data", blocked.path().string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "is not a folder and cannot be replaced")) << r.err;
  EXPECT_EQ(read_text(blocked.path() / "data"), "a file");
}

TEST_F(OmbrelCliProcess, ExtractingOneFile) {
  ScratchDir dir;
  test_support::write_file(dir.at("notes.txt"), std::string(10000, 'x'));  // truncated
  ToolRun r = ombrel({"extract", image_, "/data/notes.txt", dir.path().string()});
  EXPECT_EQ(r.status, 1);
  r = ombrel({"extract", "-o", image_, "/data/notes.txt", dir.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test_support::read_file(dir.at("notes.txt")),
            test_support::read_file(base_ / "data/notes.txt"));

  // Folders ignoring case, the file name exactly, as the reader extracts files.
  ScratchDir other;
  r = ombrel({"extract", image_, "/DATA/LEVELS/deep/level2.txt", other.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test_support::read_file(other.at("level2.txt")),
            test_support::read_file(base_ / "data/levels/deep/level2.txt"));
  r = ombrel({"extract", image_, "/data/Notes.txt", other.path().string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'/data/Notes.txt' is neither a folder nor a file")) << r.err;

  // The empty file.
  r = ombrel({"extract", image_, "/empty.dat", other.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(other.at("empty.dat")), 0u);
}

TEST_F(OmbrelCliProcess, SystemAreasAreTheHeaderTableAndBootFiles) {
  ScratchDir dir;
  const std::string dest = dir.at("sys");
  for (const char* area : {"boot", "fst", "apploader", "dol"}) {
    ToolRun r = ombrel({"sys", image_, area, dest});
    ASSERT_EQ(r.status, 0) << area << ": " << r.err;
  }
  std::vector<uint8_t> image = test_support::read_file(image_);
  std::vector<uint8_t> boot = test_support::read_file(dir.at("sys/boot.bin"));
  EXPECT_EQ(boot, std::vector<uint8_t>(image.begin(), image.begin() + DISC_HEADER_SIZE));
  const uint32_t fst_offset = read_be32(&image[0x424]), fst_size = read_be32(&image[0x428]);
  EXPECT_EQ(test_support::read_file(dir.at("sys/fst")),
            std::vector<uint8_t>(image.begin() + fst_offset, image.begin() + fst_offset + fst_size));
  EXPECT_EQ(test_support::read_file(dir.at("sys/apploader")),
            test_support::read_file(SAMPLES_DIR "/apploader.img"));
  EXPECT_EQ(test_support::read_file(dir.at("sys/default.dol")),
            test_support::read_file(SAMPLES_DIR "/main.dol"));
}

TEST_F(OmbrelCliProcess, BannerPngHoldsEveryDecodedPixel) {
  ScratchDir dir;
  ToolRun r = ombrel({"banner", image_, dir.at("banner.png")});
  ASSERT_EQ(r.status, 0) << r.err;

  std::vector<uint8_t> png = test_support::read_file(dir.at("banner.png"));
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3),
      stbi_image_free);
  ASSERT_TRUE(pixels) << stbi_failure_reason();
  ASSERT_EQ(width, BANNER_WIDTH);
  ASSERT_EQ(height, BANNER_HEIGHT);

  std::vector<uint8_t> bnr = test_support::read_file(base_ / "opening.bnr");
  int mismatches = 0;
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
    int x, y;
    banner_pixel_position(i, &x, &y);
    const uint8_t* stored = &bnr[BANNER_PICTURE_OFFSET + size_t(i) * 2];
    BannerRgb want = banner_pixel_rgb(uint16_t(stored[0] << 8 | stored[1]));
    const stbi_uc* got = pixels.get() + (size_t(y) * BANNER_WIDTH + size_t(x)) * 3;
    if (got[0] != want.red || got[1] != want.green || got[2] != want.blue) {
      if (++mismatches <= 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(OmbrelCliProcess, StrictSizeMountsOnlyFullSizeImages) {
  // Images of any size are read by default.
  EXPECT_EQ(ombrel({"info", image_}).status, 0);

  ToolRun small = ombrel({"--strict-size", "info", image_});
  EXPECT_EQ(small.status, 1);
  EXPECT_TRUE(contains(small.err, "cannot read the image '" + image_ +
                                       "': the image is smaller than a full disc (reader code 5)\n"))
      << small.err;
  EXPECT_EQ(small.out, "");

  // The sample image stretched (sparsely) to exactly a full disc, then one byte more.
  ScratchDir dir;
  const std::string full = dir.at("full.gcm");
  fs::copy_file(image_, full);
  fs::resize_file(full, DISC_IMAGE_SIZE);
  ToolRun ok = ombrel({"ls", "--strict-size", full, "/data"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_TRUE(contains(ok.out, "/data/notes.txt\n"));

  fs::resize_file(full, uint64_t(DISC_IMAGE_SIZE) + 1);
  ToolRun large = ombrel({"--strict-size", "info", full});
  EXPECT_EQ(large.status, 1);
  EXPECT_TRUE(contains(large.err, ": the image is larger than a full disc (reader code 4)\n"))
      << large.err;
}

TEST_F(OmbrelCliProcess, NamesThatWouldLeaveTheDestinationAreNeverWritten) {
  // The sample image with "empty.dat" renamed ".." in its name table.
  ScratchDir dir;
  std::vector<uint8_t> image = test_support::read_file(image_);
  const uint32_t fst_offset = read_be32(&image[0x424]), fst_size = read_be32(&image[0x428]);
  const std::string target("\0empty.dat\0", 11);
  auto table_begin = image.begin() + fst_offset, table_end = table_begin + fst_size;
  auto at = std::search(table_begin, table_end, target.begin(), target.end());
  ASSERT_NE(at, table_end);
  const std::string renamed("\0..\0\0\0\0\0\0\0\0", 11);
  std::copy(renamed.begin(), renamed.end(), at);
  const std::string bad_image = dir.at("bad.gcm");
  test_support::write_file(bad_image, image);

  ToolRun listing = ombrel({"ls", bad_image});
  ASSERT_EQ(listing.status, 0) << listing.err;  // viewing is harmless
  EXPECT_TRUE(contains(listing.out, "\t/..\n")) << listing.out;

  const std::string dest = dir.at("out/inner");
  for (const char* path : {"/", "/.."}) {
    ToolRun r = ombrel({"extract", bad_image, path, dest});
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_TRUE(contains(r.err, "'/..' has a name that cannot be used as a file name here; "
                                "nothing written"))
        << r.err;
  }
  EXPECT_FALSE(fs::exists(dir.at("out")));
  // The other entries still extract one by one.
  EXPECT_EQ(ombrel({"extract", bad_image, "/data", dest}).status, 0);
}

// The image at source with one name of its table replaced by another of at
// most the same length (padded with NULs), written to path.
void write_renamed_image(const std::string& source, const std::string& from, const std::string& to,
                         const std::string& path) {
  std::vector<uint8_t> image = test_support::read_file(source);
  const uint32_t fst_offset = read_be32(&image[0x424]), fst_size = read_be32(&image[0x428]);
  const std::string target = std::string(1, '\0') + from + std::string(1, '\0');
  auto table_begin = image.begin() + fst_offset, table_end = table_begin + fst_size;
  auto at = std::search(table_begin, table_end, target.begin(), target.end());
  ASSERT_NE(at, table_end) << from;
  ASSERT_LE(to.size(), from.size());
  std::string renamed = to + std::string(from.size() - to.size(), '\0');
  std::copy(renamed.begin(), renamed.end(), at + 1);
  test_support::write_file(path, image);
}

// Hostile names and slips: each is refused before anything is written, and
// neither the destination's files nor the image change.
TEST_F(OmbrelCliProcess, HostileNamesAndTargetsWriteNothing) {
  ScratchDir dir;
  // あ/saved in UTF-8 bytes: no Shift-JIS, so on this host it keeps its "/".
  const std::string lead = dir.at("lead.gcm");
  write_renamed_image(image_, "empty.dat", "\xE3\x81\x82/saved", lead);
  test_support::write_file(dir.at("dest/\xE3\x81\x82/saved"), std::string("mine"));
  ToolRun r = ombrel({"extract", "-o", lead, "/", dir.at("dest")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "has a name that cannot be used as a file name here")) << r.err;
  EXPECT_EQ(read_text(dir.at("dest/\xE3\x81\x82/saved")), "mine");
  EXPECT_EQ(describe_tree(dir.at("dest")).size(), 2u);

  // Two entries of one folder with one name: the duplicate is named.
  const std::string twice = dir.at("twice.gcm");
  write_renamed_image(image_, "odd_1001.bin", "empty.dat", twice);
  r = ombrel({"extract", twice, "/", dir.at("twice")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "'/empty.dat' would be written to the same file as an earlier entry"))
      << r.err;
  EXPECT_FALSE(fs::exists(dir.at("twice")));

  // The image among the targets, by a root file's name or a system area's.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"extract", "-o", dir.at("in/opening.bnr"), "/", dir.at("in")},
        {"sys", "-o", dir.at("in/boot.bin"), "boot", dir.at("in")},
        {"banner", dir.at("in/opening.bnr"), dir.at("in/opening.bnr")}}) {
    const std::string image = args[args[0] == "banner" ? 1 : 2];
    fs::create_directories(dir.at("in"));
    fs::copy_file(image_, image, fs::copy_options::overwrite_existing);
    r = ombrel(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(contains(r.err, "'" + image + "' is the image itself")) << r.err;
    EXPECT_EQ(test_support::read_file(image), test_support::read_file(image_)) << args[0];
  }

  // A FIFO is named, never opened.
  ASSERT_EQ(mkfifo(dir.at("pipe").c_str(), 0600), 0);
  r = run_program("timeout", {"20", OMBREL_CLI_PATH, "info", dir.at("pipe")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "is not a GameCube disc image: not a regular file")) << r.err;
}

TEST_F(OmbrelCliProcess, ReaderFailuresAreOneLineWithTheReadersText) {
  ScratchDir dir;
  ToolRun missing = ombrel({"info", dir.at("missing.gcm")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "ombrel-cli: error: the image '" + dir.at("missing.gcm") + "' does not exist (reader code 3)\n");
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

  // What the file is, when it is no image this tool reads: a damaged
  // container names itself and what is wrong.
  test_support::write_file(dir.at("game.rvz"), std::string("RVZ\x01") + std::string(100, '\0'));
  ToolRun rvz = ombrel({"ls", dir.at("game.rvz")});
  EXPECT_EQ(rvz.status, 1);
  EXPECT_TRUE(contains(rvz.err, ": the container is damaged: RVZ: ")) << rvz.err;
  EXPECT_TRUE(contains(rvz.err, " (reader code 19)\n")) << rvz.err;
  test_support::write_file(dir.at("short.gcm"), std::string(100, 'x'));
  ToolRun too_short = ombrel({"info", dir.at("short.gcm")});
  EXPECT_EQ(too_short.status, 1);
  EXPECT_TRUE(contains(too_short.err, "(reader code 6); it is not a GameCube disc image: shorter than a disc header"))
      << too_short.err;

  // A destination too long for the reader's 511-character path buffers.
  std::string long_dest = dir.path().string();
  while (long_dest.size() < 600) long_dest += "/" + std::string(50, 'd');
  ToolRun too_long = ombrel({"extract", image_, "/", long_dest});
  EXPECT_EQ(too_long.status, 1);
  EXPECT_TRUE(contains(too_long.err, "longer than 511 bytes; nothing written")) << too_long.err;

  // A destination folder that is a file.
  test_support::write_file(dir.at("plain"), std::string("x"));
  ToolRun not_folder = ombrel({"sys", image_, "boot", dir.at("plain")});
  EXPECT_EQ(not_folder.status, 1);
  EXPECT_TRUE(contains(not_folder.err, "is not a folder")) << not_folder.err;

  ToolRun unwritable = ombrel({"banner", image_, dir.at("no/such/folder.png")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_TRUE(contains(unwritable.err, "cannot write")) << unwritable.err;
}

TEST_F(OmbrelCliProcess, UsageErrorsAndHelp) {
  ToolRun help = ombrel({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.out, "Usage: ombrel-cli")) << help.out;

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"show", image_}, {"ls", "-x", image_}, {"extract", image_}}) {
    ToolRun r = ombrel(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "ombrel-cli: error: ")) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace

namespace {

TEST(OmbrelCliJapaneseNames, ListedAndExtractedUnderTheirUtf8Names) {
  const std::string data = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";  // データ
  const std::string hajimeni = "\xE3\x81\xAF\xE3\x81\x98\xE3\x82\x81\xE3\x81\xAB.txt";  // はじめに.txt
  const std::string emoji = "\xF0\x9F\x98\x80.txt";  // kept as its bytes in the image
  ScratchDir dir;
  const fs::path base = dir.path() / "base";
  test_support::write_file(base / data / hajimeni, test_support::patterned_bytes(5000, 4));
  test_support::write_file(base / emoji, std::string("smile"));
  const std::string image = dir.at("names.gcm");
  build_image(base, image);

  ToolRun all = ombrel({"ls", "-R", image});
  ASSERT_EQ(all.status, 0) << all.err;
  std::vector<std::string> paths;
  for (const ListLine& l : parse_listing(all.out)) paths.push_back(l.path);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"/" + data, "/" + data + "/" + hajimeni, "/" + emoji}));

  // Paths typed in UTF-8 find the entries.
  ToolRun folder = ombrel({"ls", image, "/" + data});
  ASSERT_EQ(folder.status, 0) << folder.err;
  ASSERT_EQ(parse_listing(folder.out).size(), 1u) << folder.out;
  EXPECT_EQ(parse_listing(folder.out)[0].path, "/" + data + "/" + hajimeni);
  ToolRun missing = ombrel({"ls", image, "/" + data + "/nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(contains(missing.err, "'/" + data + "/nothing' is neither a folder nor a file"))
      << missing.err;

  ToolRun whole = ombrel({"extract", image, "/", dir.at("out")});
  ASSERT_EQ(whole.status, 0) << whole.err;
  expect_same_tree(base, dir.at("out"));
  ToolRun one = ombrel({"extract", image, "/" + data + "/" + hajimeni, dir.at("one")});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(test_support::read_file(dir.path() / "one" / hajimeni),
            test_support::read_file(base / data / hajimeni));
  ToolRun sub = ombrel({"extract", image, "/" + data, dir.at("sub")});
  ASSERT_EQ(sub.status, 0) << sub.err;
  expect_same_tree(base / data, dir.path() / "sub" / data);

  // A refusal names what is in the way by its host path.
  fs::create_directories(dir.path() / "blocked" / data / hajimeni);
  ToolRun blocked = ombrel({"extract", "-o", image, "/" + data, dir.at("blocked")});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_TRUE(contains(blocked.err, "'" + dir.at("blocked/" + data + "/" + hajimeni) + "' is a folder"))
      << blocked.err;
}

}  // namespace
