// Names of the scanned tree go into the image in code page 932 whatever the
// host's own encoding, and everything measured on names counts those bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "builder/build_fixture.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "wizard/core/wizard_logic.h"

namespace {

// Each name in code page 932 and as this host's file functions spell it.
struct Name {
  std::string disc;
  std::string host;
};

#ifdef _WIN32
Name name(const std::string& cp932, const std::string&) { return {cp932, cp932}; }
#else
Name name(const std::string& cp932, const std::string& utf8) { return {cp932, utf8}; }
#endif

const Name kData = name("\x83\x66\x81\x5B\x83\x5E", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF");  // データ
// はじめに.txt: 12 bytes in code page 932, 16 in UTF-8.
const Name kHajimeni = name("\x82\xCD\x82\xB6\x82\xDF\x82\xC9.txt",
                            "\xE3\x81\xAF\xE3\x81\x98\xE3\x82\x81\xE3\x81\xAB.txt");
// 能力.dat: the first character's second byte is 0x5C.
const Name kNouryoku = name("\x94\x5C\x97\xCD.dat", "\xE8\x83\xBD\xE5\x8A\x9B.dat");
// ｻｲｽﾞ: one byte per character in code page 932, three in UTF-8.
const Name kSaizu = name("\xBB\xB2\xBD\xDE", "\xEF\xBD\xBB\xEF\xBD\xB2\xEF\xBD\xBD\xEF\xBE\x9E");

std::string sep() { return std::string(1, host::PATH_SEPARATOR); }

// The names of the image's table, in table order.
std::vector<std::string> table_names(const std::vector<uint8_t>& image) {
  uint32_t fst = be32_at(image, 0x424), size = be32_at(image, 0x428);
  uint32_t count = be32_at(image, fst + 8);
  std::vector<std::string> names;
  const char* area = reinterpret_cast<const char*>(image.data()) + fst + count * FST_ENTRY_SIZE;
  const char* end = reinterpret_cast<const char*>(image.data()) + fst + size;
  for (const char* p = area; p < end; p += std::strlen(p) + 1) names.push_back(p);
  return names;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

const SourceNode* child_named(const SourceNode* folder, const std::string& disc_name) {
  for (const SourceNode* n = folder->first_child; n; n = n->next_sibling)
    if (disc_name == n->name) return n;
  return nullptr;
}

}  // namespace

TEST(BuilderHostNames, JapaneseNamesAreWrittenInCodePage932) {
  BuildFixture fx;
  make_host_folder(fx.base + sep() + kData.host);
  write_host_file(fx.base + sep() + kData.host + sep() + kHajimeni.host, {'h', 'i'});
  write_host_file(fx.base + sep() + kNouryoku.host, test_support::patterned_bytes(3000, 7));
  make_host_folder(fx.base + sep() + kSaizu.host);
  ASSERT_TRUE(fx.prepare()) << fx.error;

  // The tree holds the disc names; the host paths still open the files.
  const SourceNode* data = child_named(builder_tree(), kData.disc);
  ASSERT_NE(data, nullptr);
  const SourceNode* hajimeni = child_named(data, kHajimeni.disc);
  ASSERT_NE(hajimeni, nullptr);
  EXPECT_EQ(std::string(hajimeni->full_path), fx.base + sep() + kData.host + sep() + kHajimeni.host);
  // The table's size counts the code page 932 bytes: four entries and the root.
  EXPECT_EQ(fst_total_size(), 5 * FST_ENTRY_SIZE + (6 + 1) + (12 + 1) + (8 + 1) + (4 + 1));

  ASSERT_TRUE(fx.write(false)) << fx.error;
  builder_reset();
  std::vector<uint8_t> image = fx.image();
  EXPECT_EQ(sorted(table_names(image)),
            sorted({kData.disc, kHajimeni.disc, kNouryoku.disc, kSaizu.disc}));
  // The file's bytes went in from its host path.
  uint32_t fst = be32_at(image, 0x424);
  std::vector<std::string> names = table_names(image);
  size_t index = size_t(std::find(names.begin(), names.end(), kNouryoku.disc) - names.begin()) + 1;
  uint32_t offset = be32_at(image, fst + index * FST_ENTRY_SIZE + 4);
  ASSERT_EQ(be32_at(image, fst + index * FST_ENTRY_SIZE + 8), 3000u);
  EXPECT_TRUE(std::equal(image.begin() + offset, image.begin() + offset + 3000,
                         test_support::patterned_bytes(3000, 7).begin()));
}

TEST(BuilderHostNames, TheLongNameRuleCountsTheBytesWritten) {
  BuildFixture fx;
  write_host_file(fx.base + sep() + kHajimeni.host, {});  // 12 bytes written: not long
  ASSERT_TRUE(fx.prepare()) << fx.error;
  EXPECT_FALSE(measure_tree(builder_tree(), nullptr).has_long_names);

  // はじめにね.txt: 14 bytes.
  write_host_file(fx.base + sep() +
                      name("\x82\xCD\x82\xB6\x82\xDF\x82\xC9\x82\xCB.txt",
                           "\xE3\x81\xAF\xE3\x81\x98\xE3\x82\x81\xE3\x81\xAB\xE3\x81\xAD.txt")
                          .host,
                  {});
  ASSERT_TRUE(fx.prepare()) << fx.error;
  EXPECT_TRUE(measure_tree(builder_tree(), nullptr).has_long_names);
}

#ifndef _WIN32
TEST(BuilderHostNames, NamesWithoutACodePage932FormKeepTheirBytes) {
  BuildFixture fx;
  const std::string emoji = "\xF0\x9F\x98\x80.txt", invalid = "a\xFF";
  write_host_file(fx.base + sep() + emoji, {'1'});
  make_host_folder(fx.base + sep() + invalid);
  write_host_file(fx.base + sep() + invalid + sep() + kHajimeni.host, {'2', '3'});
  ASSERT_TRUE(fx.build()) << fx.error;
  builder_reset();
  // The odd names are kept; the name inside their folder is still converted.
  EXPECT_EQ(sorted(table_names(fx.image())), sorted({emoji, invalid, kHajimeni.disc}));
}
#endif
