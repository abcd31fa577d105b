// What both tools have in common, run as processes: exit statuses, message
// lines, --version, --dry-run, extraction by patterns, check, trelvik-cli
// edit's command lines and refusals; and the README's CLI sections against
// --help.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "builder/image_edit.h"
#include "hand_made_disc.h"
#include "support/test_support.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;
using namespace tool_run;

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string replaced(std::string text, const std::string& mark, const std::string& value) {
  for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
    text.replace(at, mark.size(), value);
  return text;
}

// The value of "LABEL:   value" in hash's output.
std::string hash_value(const std::string& out, const std::string& label) {
  const size_t at = out.find(label + ":");
  if (at == std::string::npos) return "";
  const std::string rest = first_line(out.substr(at + label.size() + 1));
  return rest.substr(rest.find_first_not_of(' '));
}

}  // namespace

TEST(CommandLineConventions, StatusAndFirstLineOfEachCase) {
  ScratchDir dir;
  const std::string d = dir.path().string();
  const std::vector<std::string> programs = {"-a", SAMPLES_DIR "/apploader.img", "-m", SAMPLES_DIR "/main.dol"};
  std::vector<std::string> inputs = programs;
  inputs.insert(inputs.end(), {"-b", SAMPLES_DIR "/base"});
  // The sample disc under its six-character ID; its checksums for the dats.
  std::vector<std::string> args = {"-i", "GTRE01", "-t", "Trelvik Sample", "-d", d + "/s.gcm", "--no-maximise", "-q"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  ToolRun r = run_program(TRELVIK_CLI_PATH, args);
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_program(OMBREL_CLI_PATH, {"hash", d + "/s.gcm"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dat_rom = "<rom name=\"s.iso\" size=\"49220\" crc=\"" + hash_value(r.out, "CRC32") + "\" md5=\"" +
                              hash_value(r.out, "MD5") + "\" sha1=\"" + hash_value(r.out, "SHA-1") + "\"/>";
  test_support::write_file(d + "/match.dat", "<datafile><game name=\"Trelvik Sample (USA)\">" + dat_rom + "</game></datafile>");
  test_support::write_file(d + "/other.dat", std::string("<datafile><game name=\"Other\"><rom crc=\"0\"/></game></datafile>"));
  // A cut copy, a FIFO, a folder that is no unpacked disc, an unpacked disc
  // whose boot.bin is the 0x430 bytes sys writes, content past a full disc.
  fs::copy_file(d + "/s.gcm", d + "/cut.gcm");
  fs::resize_file(d + "/cut.gcm", 0x3000);
  ASSERT_EQ(mkfifo((d + "/pipe").c_str(), 0600), 0);
  fs::create_directories(d + "/plain");
  ASSERT_EQ(run_program(OMBREL_CLI_PATH, {"unpack", "-q", d + "/s.gcm", d + "/u"}).status, 0);
  ASSERT_EQ(run_program(OMBREL_CLI_PATH, {"sys", "-o", d + "/s.gcm", "boot", d + "/u/sys"}).status, 0);
  ASSERT_EQ(fs::file_size(d + "/u/sys/boot.bin"), 0x430u);
  fs::create_directories(d + "/big");
  test_support::write_file(d + "/big/a.bin", std::string("a"));
  fs::resize_file(d + "/big/a.bin", 1500000000);
  test_support::write_file(d + "/old.gcm", std::string("old"));
  // What trelvik-cli edit works on: a hand-made disc, written anew before
  // each edit, the same disc in a CISO, and a file of data.
  const std::vector<uint8_t> disc = hand_made_disc::make_disc(
      {{false, "a.txt", 0x8000, 100}, {true, "dir", 0, 4}, {false, "b.bin", 0x9000, 2000}});
  test_support::write_file(d + "/e.ciso", test_support::make_ciso(disc));
  test_support::write_patterned_file(d + "/data.bin", 3000, 7);

  enum Tool { T, O, E };  // E: trelvik-cli edit
  struct Case {
    Tool tool;
    std::vector<std::string> args;  // $D the scratch folder, $I the sample disc, $IN the sample's
                                    // inputs, $AM its apploader and main program, $E the disc to edit
    int status;
    bool on_stdout;
    std::string first;     // what the stream's first line begins with
    bool changes = false;  // edit: the disc is written
  };
  const std::string t_err = "trelvik-cli: error: ", o_err = "ombrel-cli: error: ";
  const std::string no_entry = std::to_string(EDIT_ERR_NO_SUCH_ENTRY), bad_name = std::to_string(EDIT_ERR_BAD_NAME);
  const Case cases[] = {
      // --version and -h on both; 2 for what the command line alone shows wrong.
      {T, {"--version"}, 0, true, "trelvik-cli " GCDISC_VERSION},
      {O, {"-V"}, 0, true, "ombrel-cli " GCDISC_VERSION},
      {T, {"-h"}, 0, true, "Usage: trelvik-cli"},
      {O, {"-h"}, 0, true, "Usage: ombrel-cli"},
      {T, {"--bogus"}, 2, false, t_err + "unknown option '--bogus' (see --help)"},
      {O, {"info"}, 2, false, o_err + "too few operands"},
      {O, {"ls", "--dat", "x.dat", "$I"}, 2, false, o_err + "--dat applies to check only, not to ls"},
      {T, {"-i", "GTRE01", "--maker-id", "02", "-t", "x", "$IN", "-d", "$D/n.gcm"}, 2, false,
       t_err + "--game-id GTRE01 names the maker 01, --maker-id 02"},
      {T, {"-i", "GTRE01", "--region", "japan", "-t", "x", "$IN", "-d", "$D/n.gcm"}, 2, false,
       t_err + "--game-id GTRE01 has the region letter E, --region japan"},
      // 1 for a missing input in both, in English with the engine's code.
      {T, {"-a", "$D/nope", "-m", "$D/nope", "-b", "$D", "-i", "GTR", "-t", "x", "--maker-id", "01", "--region", "usa",
           "-d", "$D/n.gcm"},
       1, false, t_err + "the apploader '$D/nope' does not exist"},
      {O, {"info", "$D/nope.gcm"}, 1, false, o_err + "the image '$D/nope.gcm' does not exist (reader code 3)"},
      {T, {"-r", "$D/plain", "-d", "$D/n.gcm"}, 1, false, t_err + "'$D/plain' is not an unpacked disc"},
      // A cut is warned of even with -q; a header of 0x430 bytes rebuilds.
      {T, {"-i", "GTREX", "-t", "x", "--maker-id", "01", "--region", "usa", "$IN", "-d", "$D/w.gcm", "-q",
        "--no-maximise"},
       0, false, "trelvik-cli: warning: game ID \"GTREX\" is longer than 3 bytes; using \"GTR\""},
      {T, {"-r", "$D/u", "-d", "$D/r.gcm", "-q", "--no-maximise"}, 0, false, ""},
      // Replacing an output is said, and -o is accepted; a dry run writes nothing.
      {T, {"-r", "$D/u", "-d", "$D/old.gcm", "-o", "--no-maximise"}, 0, false,
       "trelvik-cli: replacing the existing image '$D/old.gcm'"},
      {T, {"-r", "$D/u", "-d", "$D/dry.gcm", "-n"}, 0, true, "would write '$D/dry.gcm' (1459978240 bytes)"},
      {T, {"-r", "$D/u", "-b", "x", "-d", "$D/n.gcm"}, 2, false, t_err + "--root takes the place of --base-dir"},
      {T, {"-i", "GTR", "-t", "x", "--maker-id", "01", "--region", "usa", "$AM", "-b", "$D/big", "-d", "$D/n.gcm"}, 1, false,
       t_err + "the image would end at 1500"},
      {O, {"extract", "-n", "$I", "/data/*.txt", "/*.TXT", "$D/x"}, 0, true, "would write '$D/x/notes.txt' (795 bytes)"},
      {O, {"extract", "$I", "/zz*", "$D/x"}, 1, false, o_err + "'/zz*' matches nothing in the image"},
      {O, {"convert", "-n", "$I", "$D/c.gcm"}, 0, true, "would write '$D/c.gcm' (49220 bytes)"},
      {O, {"convert", "-o", "$I", "$D/pipe"}, 1, false,
       o_err + "'$D/pipe' is not a regular file (a FIFO, socket or device) and cannot be replaced; nothing written"},
      {O, {"sys", "$I", "boot", "$D/pipe"}, 1, false,
       o_err + "the destination '$D/pipe' is a FIFO, socket or device, not a folder"},
      {O, {"info", "$I"}, 0, true, "Image:         $D/s.gcm"},
      // check: an error fails it; a dat names the game or says none has the sums.
      {O, {"check", "$D/cut.gcm"}, 1, true, "error: '/"},
      {O, {"check", "--dat", "$D/match.dat", "$I"}, 0, true, "dat: Trelvik Sample (USA) (s.iso)"},
      {O, {"check", "--dat", "$D/other.dat", "$I"}, 0, true, "dat: no game in '$D/other.dat' has this disc's"},
      {O, {"check", "--dat", "$D/pipe", "$I"}, 1, false, o_err + "the dat '$D/pipe' "},
      // edit's command line.
      {E, {}, 2, false, t_err + "no image given"},
      {E, {"$E"}, 2, false, t_err + "nothing to do"},
      {E, {"$E", "--replace", "/a.txt"}, 2, false, t_err + "option --replace needs two values"},
      {E, {"$E", "--bogus"}, 2, false, t_err + "unknown option '--bogus'"},
      {E, {"$E", "other.gcm", "--remove", "/a.txt"}, 2, false, t_err + "one image at a time"},
      {E, {"$E", "-q", "--quiet", "--remove", "/a.txt"}, 2, false, t_err + "option --quiet is given twice"},
      {E, {"$E", "--region", "mars"}, 2, false, t_err + "unknown region 'mars'"},
      {E, {"$E", "-i", "GZLE01", "--maker-id", "99"}, 2, false, t_err + "--game-id GZLE01 names the maker 01"},
      {E, {"$E", "--revision=256"}, 2, false, t_err + "--revision takes a number from 0 to 255"},
      {E, {"--help"}, 0, true, "Usage: trelvik-cli edit IMAGE ACTION..."},
      // edit's refusals: nothing is written, even when an earlier action was fine.
      {E, {"$E", "--remove", "/nope/x"}, 1, false,
       t_err + "--remove '/nope/x': the image has no '/nope' (builder code " + no_entry + ")"},
      {E, {"$E", "--remove", "/a.txt", "--rename", "/a.txt", "c.txt"}, 1, false,
       t_err + "--rename '/a.txt': the image has no '/a.txt'"},
      {E, {"$E", "--rename", "/dir", "A.TXT"}, 1, false, t_err + "--rename '/dir': '/A.TXT' exists already"},
      {E, {"$E", "--rename", "/dir", "a/b"}, 1, false,
       t_err + "--rename '/dir': the name of '/a/b' is not allowed (builder code " + bad_name +
           "): the name holds a \"/\""},
      {E, {"$E", "--add", "/dir/b.bin", "$D/data.bin"}, 1, false, t_err + "--add '/dir/b.bin': '/dir/b.bin' exists already"},
      {E, {"$E", "--replace", "/dir", "$D/data.bin"}, 1, false, t_err + "--replace '/dir': '/dir' is a file where a folder"},
      {E, {"$D/e.ciso", "--remove", "/a.txt"}, 1, false, t_err},
      // An edit's dry run prints the plan and writes nothing.
      {E, {"$E", "--replace", "/dir/b.bin", "$D/data.bin", "-n"}, 0, true,
       "would replace '/dir/b.bin': 3000 bytes at 0x"},
      {E, {"$E", "--rename", "/a.txt", "x=y.txt", "--dry-run"}, 0, true, "would rename '/a.txt' to 'x=y.txt'"},
      // Edits; a cut header field is warned about even when quiet. Paths are
      // UTF-8 (the suite's own literals are code page 932).
      {E, {"$E", "--add", u8"/新しい/ファイル.bin", "$D/data.bin"}, 0, true,
       std::string(u8"added '/新しい/ファイル.bin': 3000 bytes at 0x"), true},
      {E, {"$E", "-q", "--game-id", "GZLX", "--remove", "/dir"}, 0, false,
       "trelvik-cli: warning: game ID \"GZLX\" is longer than 3 bytes", true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> a;
    if (c.tool == E) a.push_back("edit");
    for (const std::string& arg : c.args) {
      if (arg == "$IN" || arg == "$AM") {
        a.insert(a.end(), (arg == "$IN" ? inputs : programs).begin(), (arg == "$IN" ? inputs : programs).end());
      } else {
        a.push_back(replaced(replaced(replaced(arg, "$E", d + "/e.gcm"), "$I", d + "/s.gcm"), "$D", d));
      }
    }
    std::string shown;
    for (const std::string& arg : a) shown += " " + arg;
    SCOPED_TRACE(shown);
    if (c.tool == E) test_support::write_file(d + "/e.gcm", disc);
    // The sample's note on its size comes before check's dat line.
    const ToolRun run = run_program(c.tool == O ? OMBREL_CLI_PATH : TRELVIK_CLI_PATH, a);
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string stream = c.on_stdout ? run.out : run.err;
    if (a[0] == "check" && a[1] == "--dat" && c.on_stdout) stream = stream.substr(stream.find('\n') + 1);
    EXPECT_EQ(first_line(stream).substr(0, replaced(c.first, "$D", d).size()), replaced(c.first, "$D", d)) << stream;
    if (c.tool == E) EXPECT_EQ(test_support::read_file(d + "/e.gcm") != disc, c.changes);
  }
  // A container's refusal says how to get a plain image.
  EXPECT_TRUE(contains(run_program(TRELVIK_CLI_PATH, {"edit", d + "/e.ciso", "--remove", "/a.txt"}).err,
                       "ombrel-cli convert"));
  // What an edit of one file's name, another's data and the header did, as
  // ombrel-cli reads it back.
  test_support::write_file(d + "/e.gcm", disc);
  r = run_program(TRELVIK_CLI_PATH, {"edit", d + "/e.gcm", "--rename", "/a.txt", "x=y.txt", "--replace",
                                             "/dir/b.bin", d + "/data.bin", "-i", "GZLE01"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "set game code 'GZL', region letter 'E', maker ID '01'")) << r.out;
  r = run_program(OMBREL_CLI_PATH, {"ls", "-R", d + "/e.gcm"});
  EXPECT_TRUE(contains(r.out, "/x=y.txt") && contains(r.out, "3000")) << r.out;
  EXPECT_TRUE(contains(run_program(OMBREL_CLI_PATH, {"info", d + "/e.gcm"}).out, "GZLE01"));
  // The dry runs and refusals left nothing behind.
  for (const char* left : {"n.gcm", "dry.gcm", "c.gcm", "x"}) EXPECT_FALSE(fs::exists(d + "/" + left)) << left;
  EXPECT_GT(fs::file_size(d + "/old.gcm"), 3u);
}

// Every option --help lists is in the README's section of that tool, and
// every option a section names is one of the tools' own.
TEST(CommandLineConventions, TheReadmeNamesTheOptionsHelpLists) {
  const std::string readme = read_text(README_PATH);
  const std::regex option("--[a-z][a-z0-9-]*");
  auto options_in = [&](const std::string& text) {
    std::set<std::string> found;
    for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i) found.insert(i->str());
    return found;
  };
  // trelvik-cli's section covers its edit command, whose options edit --help lists.
  const std::set<std::string> trelvik =
      options_in(run_program(TRELVIK_CLI_PATH, {"--help"}).out + run_program(TRELVIK_CLI_PATH, {"edit", "--help"}).out);
  const std::set<std::string> ombrel = options_in(run_program(OMBREL_CLI_PATH, {"--help"}).out);
  ASSERT_TRUE(trelvik.count("--dry-run") && ombrel.count("--dry-run"));
  for (const char* tool : {"trelvik-cli", "ombrel-cli"}) {
    SCOPED_TRACE(tool);
    const size_t start = readme.find(std::string("\n## ") + tool + "\n");
    ASSERT_NE(start, std::string::npos);
    const std::set<std::string> section = options_in(readme.substr(start, readme.find("\n## ", start + 1) - start));
    for (const std::string& o : std::string(tool) == "trelvik-cli" ? trelvik : ombrel)
      EXPECT_TRUE(section.count(o)) << o << " is not in the README";
    for (const std::string& o : section) EXPECT_TRUE(trelvik.count(o) || ombrel.count(o)) << o << " is no option";
  }
}
