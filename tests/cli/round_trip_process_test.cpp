// The modder's loop with the real tools: ombrel-cli unpack, a change, then
// trelvik-cli --root, on a hand-made disc with what retail discs carry (disc
// number, revision, streaming, a bi2 block, files on 32 KiB boundaries, data
// in another order than the table, Japanese names).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "disc/disc_format.h"
#include "hand_made_disc.h"
#include "support/test_support.h"
#include "tool_run.h"

namespace {

using test_support::ScratchDir;
using namespace tool_run;
using hand_made_disc::Entry;
using hand_made_disc::make_disc;

const std::string kMusic = "\xE9\x9F\xB3\xE6\xA5\xBD";      // 音楽 in UTF-8
const std::string kMusicSjis = "\x89\xB9\x8A\x79";         // and in Shift-JIS

// Path -> (offset, length) of every file, and every path in table order.
struct Table {
  std::map<std::string, std::pair<uint32_t, uint32_t>> files;
  std::vector<std::string> order;
};

Table read_table(const std::vector<uint8_t>& disc) {
  Table t;
  const uint32_t fst = read_be32(&disc[0x424]);
  const uint32_t count = read_be32(&disc[fst + 8]);
  const char* names = reinterpret_cast<const char*>(&disc[fst + 12 * count]);
  std::vector<std::pair<uint32_t, std::string>> open{{count, ""}};
  for (uint32_t i = 1; i < count; ++i) {
    while (i >= open.back().first) open.pop_back();
    const uint8_t* e = &disc[fst + 12 * i];
    std::string path = open.back().second + "/" + (names + (read_be32(e) & 0xFFFFFF));
    t.order.push_back(path);
    if (e[0]) {
      open.push_back({read_be32(e + 8), path});
    } else {
      t.files[path] = {read_be32(e + 4), read_be32(e + 8)};
    }
  }
  return t;
}

ToolRun trelvik(const std::vector<std::string>& args) { return run_program(TRELVIK_CLI_PATH, args); }
ToolRun ombrel(const std::vector<std::string>& args) { return run_program(OMBREL_CLI_PATH, args); }

TEST(RoundTrip, UnpackChangeRebuildKeepsWhatMakesTheDiscAndReachesAFixedPoint) {
  ScratchDir dir;
  // Table order and data order differ; track.adx and zeta.bin lie on 32 KiB
  // boundaries, alpha.dat on 4 KiB, b.txt on 4 bytes.
  const std::vector<Entry> entries = {
      {false, "zeta.bin", 0x20000, 100},   {true, kMusicSjis, 0, 5},       {false, "track.adx", 0x10000, 5000},
      {false, "b.txt", 0x9804, 7},         {false, "alpha.dat", 0x9000, 2048},
      {false, "removed.bin", 0x9810, 3},
  };
  const std::vector<uint8_t> original = make_disc(entries);
  test_support::write_file(dir.at("original.gcm"), original);

  ToolRun r = ombrel({"unpack", dir.at("original.gcm"), dir.at("u1")});
  ASSERT_EQ(r.status, 0) << r.err;
  // The change: one file removed, one changed, two new ones.
  std::filesystem::remove(dir.at("u1/files/removed.bin"));
  test_support::write_file(dir.at("u1/files/zeta.bin"), std::string(300, 'z'));
  test_support::write_file(dir.at("u1/files/aaa_new.txt"), std::string("new text"));
  test_support::write_file(dir.at("u1/files/" + kMusic + "/new.adx"), std::string(1000, 'a'));
  r = trelvik({"--root", dir.at("u1"), "--output", dir.at("rebuilt.gcm"), "--no-maximise"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const std::string& line : {std::string("added '/aaa_new.txt'"), "added '/" + kMusic + "/new.adx'", std::string("removed '/removed.bin'")})
    EXPECT_TRUE(contains(r.err, line)) << line << "\n" << r.err;

  const std::vector<uint8_t> rebuilt = test_support::read_file(dir.at("rebuilt.gcm"));
  // The disc's identity and the header fields other tools keep, and bi2.
  EXPECT_TRUE(std::equal(original.begin(), original.begin() + DISC_IDENTITY_SIZE, rebuilt.begin()));
  EXPECT_TRUE(std::equal(original.begin() + 0x20, original.begin() + 0x60, rebuilt.begin() + 0x20));
  EXPECT_EQ(read_be32(&rebuilt[0x400]), 0x1234u);
  EXPECT_EQ(read_be32(&rebuilt[0x42C]), 0x8000u) << "the larger max table size stays";
  EXPECT_TRUE(std::equal(original.begin() + BI2_OFFSET, original.begin() + APPLOADER_OFFSET,
                         rebuilt.begin() + BI2_OFFSET));
  // The old order with the removed entry dropped and new ones last in their folder.
  Table t = read_table(rebuilt);
  EXPECT_EQ(t.order, (std::vector<std::string>{"/zeta.bin", "/" + kMusicSjis, "/" + kMusicSjis + "/track.adx",
                                               "/" + kMusicSjis + "/b.txt", "/" + kMusicSjis + "/new.adx",
                                               "/alpha.dat", "/aaa_new.txt"}));
  // Data in the order of the old offsets, each file on its old alignment
  // class; new files on 2,048 bytes.
  auto at = [&](const std::string& p) { return t.files.at(p).first; };
  const std::string music = "/" + kMusicSjis;
  EXPECT_LT(at("/alpha.dat"), at(music + "/b.txt"));
  EXPECT_LT(at(music + "/b.txt"), at(music + "/track.adx"));
  EXPECT_LT(at(music + "/track.adx"), at("/zeta.bin"));
  // New files after every kept one, in table order.
  EXPECT_LT(at("/zeta.bin"), at(music + "/new.adx"));
  EXPECT_LT(at(music + "/new.adx"), at("/aaa_new.txt"));
  EXPECT_EQ(at("/alpha.dat") % 0x1000, 0u);
  EXPECT_EQ(at(music + "/b.txt"), at("/alpha.dat") + 2048) << "4-byte class: right behind alpha.dat";
  EXPECT_EQ(at(music + "/track.adx") % 0x8000, 0u);
  EXPECT_EQ(at("/zeta.bin") % 0x8000, 0u);
  EXPECT_EQ(at("/aaa_new.txt") % 0x800, 0u);
  EXPECT_EQ(at(music + "/new.adx") % 0x800, 0u);
  // Every file's bytes where its entry says.
  for (const auto& [path, where] : t.files) {
    const std::string host = path == music + "/b.txt" || path == music + "/track.adx" || path == music + "/new.adx"
                                 ? "u1/files/" + kMusic + path.substr(music.size())
                                 : "u1/files" + path;
    std::vector<uint8_t> bytes = test_support::read_file(dir.at(host));
    ASSERT_EQ(bytes.size(), where.second) << path;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), rebuilt.begin() + where.first)) << path;
  }

  // The fixed point: unpacking and rebuilding again gives the same bytes.
  ASSERT_EQ(ombrel({"unpack", dir.at("rebuilt.gcm"), dir.at("u2")}).status, 0);
  r = trelvik({"--root", dir.at("u2"), "--output", dir.at("again.gcm"), "--no-maximise", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test_support::read_file(dir.at("again.gcm")), rebuilt);

  // The unpacked disc's own files are never the output; errors name its paths.
  const std::string boot_bin = dir.at("u2/sys/boot.bin");
  const std::vector<uint8_t> boot = test_support::read_file(boot_bin);
  r = trelvik({"--root", dir.at("u2"), "--output", boot_bin, "--no-maximise"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "is the unpacked disc's '" + boot_bin + "'")) << r.err;
  EXPECT_EQ(test_support::read_file(boot_bin), boot);
  r = trelvik({"--root", dir.at("u2"), "--output", dir.at("u2/files/new.gcm"), "--no-maximise"});
  EXPECT_TRUE(contains(r.err, "lies inside the base directory '" + dir.at("u2/files") + "'")) << r.err;
}

// A new file takes 32 KiB only when every kept file of its extension, two at
// least, lies on such a boundary; one may be there by chance.
TEST(RoundTrip, NewFilesTake32KibOnlyWhenEveryKeptFileOfTheirKindHasIt) {
  struct Case {
    const char* what;
    std::vector<Entry> kept;
    uint32_t new_alignment;
  };
  const Entry last = {false, "z.bin", 0x20000, 100};  // the new file's place comes after it
  const Case cases[] = {
      {"one .adx on 32 KiB", {{false, "a.adx", 0x10000, 5000}, last}, 0x800},
      {"two .adx on 32 KiB", {{false, "a.adx", 0x10000, 5000}, {false, "b.ADX", 0x18000, 100}, last}, 0x8000},
      {"one of two .adx on 32 KiB", {{false, "a.adx", 0x10000, 5000}, {false, "b.adx", 0x18800, 100}, last}, 0x800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    test_support::write_file(dir.at("disc.gcm"), make_disc(c.kept));
    ASSERT_EQ(ombrel({"unpack", dir.at("disc.gcm"), dir.at("u")}).status, 0);
    test_support::write_file(dir.at("u/files/new.adx"), std::string(1000, 'n'));
    ToolRun r = trelvik({"--root", dir.at("u"), "--output", dir.at("out.gcm"), "--no-maximise", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Table t = read_table(test_support::read_file(dir.at("out.gcm")));
    const uint32_t z_end = t.files.at("/z.bin").first + 100;
    EXPECT_EQ(t.files.at("/new.adx").first, (z_end + c.new_alignment - 1) / c.new_alignment * c.new_alignment);
  }
}

// Only a missing sys/main.dol means a disc without a main program; a link to
// nothing is an error that names it, and nothing is written.
TEST(RoundTrip, ADanglingMainDolIsAnErrorNotAMissingProgram) {
  ScratchDir dir;
  test_support::write_file(dir.at("disc.gcm"), make_disc({{false, "a.bin", 0x8000, 100}}));
  ASSERT_EQ(ombrel({"unpack", dir.at("disc.gcm"), dir.at("u")}).status, 0);
  const std::string main_dol = dir.at("u/sys/main.dol");
  std::filesystem::remove(main_dol);
  std::filesystem::create_symlink(dir.at("gone.dol"), main_dol);
  test_support::write_file(dir.at("out.gcm"), std::string("user's image"));
  ToolRun r = trelvik({"--root", dir.at("u"), "--output", dir.at("out.gcm"), "--no-maximise"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "the main program '" + main_dol + "' is a link to something that does not exist"))
      << r.err;
  EXPECT_EQ(read_text(dir.at("out.gcm")), "user's image");

  std::filesystem::remove(main_dol);
  r = trelvik({"--root", dir.at("u"), "--output", dir.at("out.gcm"), "--no-maximise", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_be32(&test_support::read_file(dir.at("out.gcm"))[0x420]), 0u) << "no main program";
}

}  // namespace
