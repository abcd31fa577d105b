// Dats: a redump-style Logiqx file read safely, and a disc found in it by
// its size and checksums.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/disc_dat.h"

namespace {

DiscHashes sums() {
  DiscHashes h;
  h.crc32 = 0x1234ABCD;
  for (int i = 0; i < 16; ++i) h.md5[i] = uint8_t(i);
  for (int i = 0; i < 20; ++i) h.sha1[i] = uint8_t(0xA0 + i);
  return h;
}

const char kDat[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
    "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
    "<datafile>\n"
    "  <header><name>Nintendo - GameCube</name><!-- a <comment> --></header>\n"
    "  <game name=\"Other Game (USA)\"><rom name=\"other.iso\" size=\"1459978240\" crc=\"00000000\"/></game>\n"
    "  <game name=\"Sample &amp; Co. (Japan) &#x2605;\">\n"
    "    <description>Sample</description>\n"
    "    <rom name=\"sample.iso\" size=\"49220\" crc=\"1234ABCD\" md5=\"000102030405060708090a0b0c0d0e0f\" "
    "sha1=\"a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3\"/>\n"
    "  </game>\n"
    "  <game name=\"Same Sums, Other Size\"><rom name=\"s.iso\" size=\"49221\" crc=\"1234abcd\"/></game>\n"
    "</datafile>\n";

}  // namespace

TEST(DiscDat, TheDiscIsFoundByItsSizeAndEveryChecksumListed) {
  std::vector<DatRom> roms;
  std::string error;
  ASSERT_TRUE(parse_dat(kDat, &roms, &error)) << error;
  ASSERT_EQ(roms.size(), 3u);
  const std::vector<DatRom> found = match_dat(roms, 49220, sums());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].game, "Sample & Co. (Japan) \xE2\x98\x85");
  EXPECT_EQ(found[0].name, "sample.iso");
  DiscHashes other = sums();
  other.sha1[19] ^= 1;
  EXPECT_TRUE(match_dat(roms, 49220, other).empty());
}

TEST(DiscDat, WhatIsNoWellFormedDatIsRefusedWithItsLine) {
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      // An entity the DOCTYPE defines is never expanded, nor anything it names fetched.
      {"<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n<d><game name=\"&x;\"/></d>", "line 2: the entity &x;"},
      {"<d><game name=\"a\"><rom crc=\"1\"/></d>", "closes no open element"},
      {"<d><game name=\"a\">", "is not closed"},
      {"<d><game name=a/></d>", "unquoted attribute value"},
      {"<d><game name=\"&#0;\"/></d>", "out of range"},
      {"<d><!-- never ends", "unterminated comment"},
  };
  for (const auto& c : cases) {
    std::vector<DatRom> roms;
    std::string error;
    EXPECT_FALSE(parse_dat(c.text, &roms, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  std::string deep;
  for (size_t i = 0; i <= DAT_MAX_DEPTH; ++i) deep += "<a>";
  std::vector<DatRom> roms;
  std::string error;
  EXPECT_FALSE(parse_dat(deep, &roms, &error));
  EXPECT_NE(error.find("nested too deep"), std::string::npos) << error;
}
