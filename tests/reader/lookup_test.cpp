// Path lookups: the two match modes, whole-name matching, folders only in
// IsoFindDirectory, trailing "/".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/raw_image.h"

namespace {

class ReaderLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    RawImage image;
    data_ = image.add_data({1, 2, 3});
    // /OPENING.BNR  /A/{b, B2}  /a/{B}  /abcdef  /abc  /x/ (file y)  /f (file)
    image.write_table({file_entry("OPENING.BNR", data_, 3), dir_entry("A", 5), file_entry("b", data_, 1),
                       file_entry("B2", data_, 2), dir_entry("a", 7), file_entry("B", data_, 3),
                       file_entry("abcdef", data_, 1), file_entry("abc", data_ + 1, 2), dir_entry("x", 11),
                       file_entry("y", data_, 1), file_entry("f", data_, 1)});
    ASSERT_TRUE(fx_.mount(image));
  }

  bool find(const char* path, uint8_t mode, uint32_t* size = nullptr) {
    uint32_t o = 0, s = 0;
    bool found = IsoFindFile(path, &o, &s, mode);
    if (size) *size = s;
    return found;
  }

  ReaderFixture fx_;
  uint32_t data_ = 0;
};

// Paths typed on the command line: made canonical, then spelled as images
// spell names.
TEST(Lookup, TypedPathsBecomeCanonicalAndCodePage932) {
  const struct {
    const char* given;
    const char* canonical;
  } cases[] = {
      {"/", "/"},           {"//", "/"},           {"data", "/data"},
      {"/data/", "/data"},  {"//data//levels/", "/data/levels"},
      {"/a/./b", "/a/./b"},  // "." and ".." are names inside an image
      {"/A/b", "/A/b"},
  };
  for (const auto& c : cases) {
    std::string out;
    ASSERT_TRUE(IsoCanonicalPath(c.given, &out)) << c.given;
    EXPECT_EQ(out, c.canonical) << c.given;
  }
  std::string out;
  EXPECT_FALSE(IsoCanonicalPath("", &out));
  EXPECT_FALSE(IsoCanonicalPath(std::string("/a\0b", 4), &out));

#ifndef _WIN32  // on Windows the arguments come in code page 932 already
  const std::string data_utf8 = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";  // データ
  const std::string emoji = "\xF0\x9F\x98\x80.txt";  // no Shift-JIS form: as typed
  EXPECT_EQ(IsoPathFromHostText("/" + data_utf8 + "/" + emoji + "/plain"),
            "/\x83\x66\x81\x5B\x83\x5E/" + emoji + "/plain");
#endif
  EXPECT_EQ(IsoPathFromHostText("/"), "/");
}

}  // namespace

TEST_F(ReaderLookup, MatchModeZeroComparesTheFileNameIgnoringCase) {
  EXPECT_TRUE(find("/opening.bnr", 0));
  EXPECT_FALSE(find("/opening.bnr", 1));
  EXPECT_TRUE(find("/OPENING.BNR", 1));
}

TEST_F(ReaderLookup, FolderComponentsFollowTheModeInTheOppositeSense) {
  uint32_t size = 0;
  // Mode 0: folders exact, so /a/b looks in "a", which holds only "B".
  EXPECT_TRUE(find("/a/b", 0, &size));
  EXPECT_EQ(size, 3u);  // "B" in "a", matched ignoring case
  EXPECT_FALSE(find("/a/b2", 0));
  // Mode 1: folders ignoring case, the first match "A" wins; its "b" matches exactly.
  EXPECT_TRUE(find("/a/b", 1, &size));
  EXPECT_EQ(size, 1u);
  EXPECT_FALSE(find("/A/B", 1));  // "A" holds "b" and "B2", no "B"
}

TEST_F(ReaderLookup, OnlyWholeNamesMatch) {
  uint32_t size = 0;
  EXPECT_TRUE(find("/abc", 1, &size));
  EXPECT_EQ(size, 2u);  // not "abcdef", listed before it
  EXPECT_FALSE(find("/ab", 1));
  EXPECT_FALSE(find("/abcde", 1));
  EXPECT_FALSE(find("/abcdefg", 1));
}

TEST_F(ReaderLookup, TheLastComponentOfAFileLookupMustBeAFile) {
  EXPECT_FALSE(find("/x", 1));
  EXPECT_TRUE(find("/x/y", 1));
  EXPECT_FALSE(find("/f/y", 1));  // a file has no entries
}

TEST_F(ReaderLookup, DirectoryLookupsMatchFoldersOnly) {
  EXPECT_STREQ(IsoFindDirectory("/x", 0)->name, "x");
  EXPECT_EQ(IsoFindDirectory("/f", 0), nullptr);
  EXPECT_EQ(IsoFindDirectory("/x/y", 0), nullptr);
  EXPECT_EQ(IsoFindDirectory("/X", 0), nullptr);
  EXPECT_STREQ(IsoFindDirectory("/X", 1)->name, "x");
  // "A" and "a": exact picks each, ignoring case picks the first.
  EXPECT_EQ(IsoFindDirectory("/a", 0)->firstChild->size, 3u);
  EXPECT_EQ(IsoFindDirectory("/a", 1)->firstChild->size, 1u);
}

TEST_F(ReaderLookup, EmptyComponentsMatchNothing) {
  EXPECT_EQ(IsoFindDirectory("/x/", 0), nullptr);
  EXPECT_EQ(IsoFindDirectory("/", 0), nullptr);
  EXPECT_EQ(IsoFindDirectory("//x", 0), nullptr);
  EXPECT_EQ(IsoFindDirectory("", 0), nullptr);
  EXPECT_FALSE(find("/x//y", 1));
  EXPECT_FALSE(find("/", 1));
  // A component longer than any name simply finds nothing.
  EXPECT_EQ(IsoFindDirectory(("/" + std::string(300, 'x')).c_str(), 0), nullptr);
}

TEST_F(ReaderLookup, PatternsMatchBelowTheirFixedPrefix) {
  struct Case {
    const char* pattern;
    std::vector<std::string> relative;  // each match below its base, in match order
  };
  const Case cases[] = {
      {"/ab*", {"abcdef", "abc"}},  // the last component names exactly
      {"/AB*", {}},
      {"/a/*", {"b", "B2", "B"}},  // a folder ignores ASCII case: A and a both
      {"/**/B*", {"A/B2", "a/B"}},  // ** spans no folder or several
      {"/?/y", {"x/y"}},
      {"/**", {"OPENING.BNR", "A", "a", "abcdef", "abc", "x", "f"}},
      {"/A", {"A"}},  // no wildcard: the folder itself
      {"/", {""}},    // the root: its entries go into the destination
      {"/zz*", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<IsoMatch> matches;
    EXPECT_EQ(IsoMatchPath(c.pattern, &matches), c.relative.size());
    std::vector<std::string> relative;
    for (const IsoMatch& m : matches) relative.push_back(IsoMatchRelativePath(m));
    EXPECT_EQ(relative, c.relative);
  }
  // A match already there, or inside a folder matched with the same base,
  // is left out.
  std::vector<IsoMatch> matches;
  EXPECT_EQ(IsoMatchPath("/**/B*", &matches), 2u);
  EXPECT_EQ(IsoMatchPath("/**", &matches), 7u);
  EXPECT_EQ(matches.size(), 7u);
}
