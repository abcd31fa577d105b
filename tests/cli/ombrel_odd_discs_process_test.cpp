// ombrel-cli run as a process on discs that are not what a plain build
// gives: no main program or one behind the table, a cut image, data outside
// the files. What it writes, what it refuses and what it warns of.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "container/junk.h"
#include "disc/disc_format.h"
#include "hand_made_disc.h"
#include "support/test_support.h"
#include "tests/container/test_writer.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using hand_made_disc::make_disc;
using test_support::read_file;
using test_support::ScratchDir;
using namespace tool_run;
using Bytes = std::vector<uint8_t>;

ToolRun ombrel(const std::vector<std::string>& args) { return run_program(OMBREL_CLI_PATH, args); }

Bytes span(const Bytes& disc, uint32_t first, uint32_t length) {
  return Bytes(disc.begin() + first, disc.begin() + first + length);
}

// make_disc's apploader (0x60 bytes from 0x2440) and main program (0x120
// bytes from 0x24A0, its table right behind).
constexpr uint32_t kProgramAt = APPLOADER_OFFSET + 0x60;
constexpr uint32_t kApploaderLength = 0x60, kProgramLength = 0x120;

}  // namespace

// sys gives the areas' spans where the header's offsets make sense, else
// the lengths of the areas' own headers; a disc without a main program has
// no default.dol, and nothing is written for it.
TEST(OmbrelCliOddDiscs, SystemAreasWithoutSaneSpans) {
  struct Case {
    const char* what;
    uint32_t program_at;  // where the header says the main program is
    int apploader;        // expected length
    int program;          // expected length, -1 refused
  };
  const Case cases[] = {
      // A homebrew loader's disc: its main program offset is 0.
      {"no main program", 0, kApploaderLength, -1},
      {"the table before the main program", 0x2F000, 0x2F000 - APPLOADER_OFFSET, kProgramLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    Bytes disc = make_disc({{false, "a.bin", 0x8000, 5000}});
    std::copy(disc.begin() + kProgramAt, disc.begin() + kProgramAt + kProgramLength, disc.begin() + 0x2F000);
    write_be32(&disc[0x420], c.program_at);
    test_support::write_file(dir.at("disc.gcm"), disc);

    ToolRun r = ombrel({"sys", dir.at("disc.gcm"), "apploader", dir.at("out")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.at("out/apploader")), span(disc, APPLOADER_OFFSET, c.apploader));

    if (c.program >= 0) {
      r = ombrel({"sys", dir.at("disc.gcm"), "dol", dir.at("out")});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(read_file(dir.at("out/default.dol")), span(disc, c.program_at, c.program));
      continue;
    }
    // Refused before anything is made: no folder, and the user's file stays.
    r = ombrel({"sys", dir.at("disc.gcm"), "dol", dir.at("new")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "(reader code 22); nothing written")) << r.err;
    EXPECT_FALSE(fs::exists(dir.at("new")));
    test_support::write_file(dir.at("out/default.dol"), std::string("user's program"));
    EXPECT_EQ(ombrel({"sys", "-o", dir.at("disc.gcm"), "dol", dir.at("out")}).status, 1);
    EXPECT_EQ(read_file(dir.at("out/default.dol")), Bytes({'u', 's', 'e', 'r', '\'', 's', ' ', 'p', 'r', 'o', 'g',
                                                           'r', 'a', 'm'}));
  }
}

// An image that ends before its files do is still read, with a warning that
// names how many files lie past its end and the size it should have. A CISO
// leaves out trailing zero blocks by design: its disc runs on in zeros.
TEST(OmbrelCliOddDiscs, FilesPastTheImagesEndAreWarnedOf) {
  Bytes disc = make_disc({{false, "a.bin", 0x8000, 5000}, {false, "z.bin", 0x20000, 0x10000}});
  std::fill(disc.begin() + 0x20000, disc.end(), 0);  // z.bin is all zeros
  ScratchDir dir;
  test_support::write_file(dir.at("whole.gcm"), disc);
  test_support::write_file(dir.at("cut.gcm"), Bytes(disc.begin(), disc.begin() + 0x28000));
  test_support::write_file(dir.at("disc.ciso"), test_writer::write_ciso(disc, 0x8000));
  const std::string warning = "ombrel-cli: warning: the image ends at 163840 bytes, before 1 file of its file "
                              "table end; it should be at least 196608 bytes";
  struct Case {
    const char* image;
    bool warned;
  };
  for (const Case& c : {Case{"whole.gcm", false}, Case{"cut.gcm", true}, Case{"disc.ciso", false}}) {
    SCOPED_TRACE(c.image);
    for (const char* command : {"info", "ls"}) {
      ToolRun r = ombrel({command, dir.at(c.image)});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(contains(r.out, command == std::string("ls") ? "/z.bin" : "Game name:")) << r.out;
      EXPECT_EQ(contains(r.err, warning), c.warned) << r.err;
      if (!c.warned) EXPECT_EQ(r.err, "");
    }
  }
  // The CISO's disc runs on in the zero blocks it leaves out, to z.bin's end.
  EXPECT_TRUE(contains(ombrel({"info", dir.at("disc.ciso")}).out, "196608 bytes"));
  ToolRun strict = ombrel({"--strict-size", "info", dir.at("cut.gcm")});
  EXPECT_EQ(strict.status, 1);
  EXPECT_TRUE(contains(strict.err, "(reader code 5)")) << strict.err;
}

// unpack counts the bytes outside the boot areas, the table and the files
// that are neither zeros nor the disc's filler: a rebuild would lose them.
// The files' own bytes never count, nor does filler across read blocks.
TEST(OmbrelCliOddDiscs, UnpackWarnsOfDataOutsideTheFiles) {
  enum Gap { Zeros, Filler, Foreign };
  for (Gap gap : {Zeros, Filler, Foreign}) {
    SCOPED_TRACE(gap);
    ScratchDir dir;
    Bytes disc = make_disc({{false, "a.bin", 0x8000, 5000}});
    disc.resize(0x130000);
    // Between the table and a.bin, and behind a.bin to the end: each starts
    // inside a filler sector.
    const uint32_t table_end = read_be32(&disc[0x424]) + read_be32(&disc[0x428]), a_end = 0x8000 + 5000;
    uint32_t n = 0;
    for (auto [from, to] : {std::make_pair(table_end, 0x8000u), std::make_pair(a_end, uint32_t(disc.size()))}) {
      n += to - from;
      if (gap != Zeros) junk_fill_disc(disc.data(), disc[DISC_NUMBER_OFFSET], from, &disc[from], to - from);
      for (uint32_t i = from; gap == Foreign && i < to; ++i) disc[i] = (disc[i] ^ 0x5A) ? uint8_t(disc[i] ^ 0x5A) : 1;
    }
    test_support::write_file(dir.at("disc.gcm"), disc);
    ToolRun r = ombrel({"unpack", dir.at("disc.gcm"), dir.at("u")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.at("u/files/a.bin")), span(disc, 0x8000, 5000));
    if (gap != Foreign) {
      EXPECT_EQ(r.err, "");
      continue;
    }
    EXPECT_TRUE(contains(r.err, "ombrel-cli: warning: " + std::to_string(n) +
                                    " bytes outside the boot areas, the file table and the files are "
                                    "neither zeros nor the disc's filler; they are not in '" +
                                    dir.at("u") + "', so a rebuild from it will not contain them\n"))
        << r.err;
  }
}
