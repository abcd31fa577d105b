// trelvik-cli edit run as a process: its command line, what it prints first,
// its exit status, and that a refused or dry run leaves the image as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/image_edit.h"
#include "hand_made_disc.h"
#include "support/test_support.h"
#include "tool_run.h"

namespace {

using namespace tool_run;
using Bytes = std::vector<uint8_t>;

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(TrelvikEdit, CommandLinesStatusesAndFirstLines) {
  test_support::ScratchDir dir;
  const std::string image = dir.at("disc.gcm"), ciso = dir.at("disc.ciso"), data = dir.at("data.bin");
  const Bytes disc = hand_made_disc::make_disc({{false, "a.txt", 0x8000, 100},
                                                {true, "dir", 0, 4},
                                                {false, "b.bin", 0x9000, 2000}});
  test_support::write_file(ciso, test_support::make_ciso(disc));
  test_support::write_patterned_file(data, 3000, 7);

  struct Case {
    std::vector<std::string> args;  // after "edit"; IMG is the image
    int status;
    bool on_stdout;     // where the first line is looked for
    std::string first;  // the first line starts with this
    bool changes;       // the image is written
  };
  const std::string e = "trelvik-cli: error: ";
  const Case cases[] = {
      // The command line.
      {{}, 2, false, e + "no image given", false},
      {{"IMG"}, 2, false, e + "nothing to do", false},
      {{"IMG", "--replace", "/a.txt"}, 2, false, e + "option --replace needs two values", false},
      {{"IMG", "--bogus"}, 2, false, e + "unknown option '--bogus'", false},
      {{"IMG", "other.gcm", "--remove", "/a.txt"}, 2, false, e + "one image at a time", false},
      {{"IMG", "-q", "--quiet", "--remove", "/a.txt"}, 2, false, e + "option --quiet is given twice", false},
      {{"IMG", "--region", "mars"}, 2, false, e + "unknown region 'mars'", false},
      {{"IMG", "-i", "GZLE01", "--maker-id", "99"}, 2, false, e + "--game-id GZLE01 names the maker 01", false},
      {{"IMG", "--revision=256"}, 2, false, e + "--revision takes a number from 0 to 255", false},
      {{"--help"}, 0, true, "Usage: trelvik-cli edit IMAGE ACTION...", false},
      // Refusals: nothing is written, even when an earlier action was fine.
      {{"IMG", "--remove", "/nope/x"}, 1, false,
       e + "--remove '/nope/x': the image has no '/nope' (builder code " + std::to_string(EDIT_ERR_NO_SUCH_ENTRY) + ")",
       false},
      {{"IMG", "--remove", "/a.txt", "--rename", "/a.txt", "c.txt"}, 1, false,
       e + "--rename '/a.txt': the image has no '/a.txt'", false},
      {{"IMG", "--rename", "/dir", "A.TXT"}, 1, false, e + "--rename '/dir': '/A.TXT' exists already", false},
      {{"IMG", "--rename", "/dir", "a/b"}, 1, false,
       e + "--rename '/dir': the name of '/a/b' is not allowed (builder code " + std::to_string(EDIT_ERR_BAD_NAME) +
           "): the name holds a \"/\"", false},
      {{"IMG", "--add", "/dir/b.bin", "DATA"}, 1, false, e + "--add '/dir/b.bin': '/dir/b.bin' exists already", false},
      {{"IMG", "--replace", "/dir", "DATA"}, 1, false, e + "--replace '/dir': '/dir' is a file where a folder", false},
      {{"CISO", "--remove", "/a.txt"}, 1, false, e, false},
      // A dry run prints the plan and writes nothing.
      {{"IMG", "--replace", "/dir/b.bin", "DATA", "-n"}, 0, true, "would replace '/dir/b.bin': 3000 bytes at 0x", false},
      {{"IMG", "--rename", "/a.txt", "x=y.txt", "--dry-run"}, 0, true, "would rename '/a.txt' to 'x=y.txt'", false},
      // Edits; a cut header field is warned about even when quiet.
      // Paths are UTF-8 (the suite's own literals are code page 932).
      {{"IMG", "--add", u8"/新しい/ファイル.bin", "DATA"}, 0, true,
       std::string(u8"added '/新しい/ファイル.bin': 3000 bytes at 0x"), true},
      {{"IMG", "-q", "--game-id", "GZLX", "--remove", "/dir"}, 0, false,
       "trelvik-cli: warning: game ID \"GZLX\" is longer than 3 bytes", true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"edit"};
    std::string shown;
    for (const std::string& a : c.args) {
      args.push_back(a == "IMG" ? image : a == "CISO" ? ciso : a == "DATA" ? data : a);
      shown += " " + a;
    }
    SCOPED_TRACE(shown);
    test_support::write_file(image, disc);
    ToolRun r = run_program(TRELVIK_CLI_PATH, args);
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string line = first_line(c.on_stdout ? r.out : r.err);
    EXPECT_EQ(line.compare(0, c.first.size(), c.first), 0) << line;
    EXPECT_EQ(test_support::read_file(image) != disc, c.changes);
  }
  // A container's refusal says how to get a plain image.
  ToolRun r = run_program(TRELVIK_CLI_PATH, {"edit", ciso, "--remove", "/a.txt"});
  EXPECT_TRUE(contains(r.err, "ombrel-cli convert")) << r.err;

  // What the edits above did, as ombrel-cli reads it back.
  test_support::write_file(image, disc);
  r = run_program(TRELVIK_CLI_PATH, {"edit", image, "--rename", "/a.txt", "x=y.txt", "--replace", "/dir/b.bin", data,
                                     "-i", "GZLE01"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "set game code 'GZL', region letter 'E', maker ID '01'")) << r.out;
  ToolRun ls = run_program(OMBREL_CLI_PATH, {"ls", "-R", image});
  EXPECT_TRUE(contains(ls.out, "/x=y.txt")) << ls.out;
  EXPECT_TRUE(contains(ls.out, "3000")) << ls.out;
  ToolRun info = run_program(OMBREL_CLI_PATH, {"info", image});
  EXPECT_TRUE(contains(info.out, "GZLE01")) << info.out;
}

}  // namespace
