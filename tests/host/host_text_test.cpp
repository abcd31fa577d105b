// Conversions between UTF-8 and the code pages of disc images: exact both
// ways, and refused rather than approximated.
#include <gtest/gtest.h>

#include <string>

#include "host/host_text.h"

namespace {

// Byte strings spelled out, so the test does not depend on the compiler's
// execution character set.
const std::string kNouUtf8 = "\xE8\x83\xBD";  // 能
const std::string kNouCp932 = "\x94\x5C";     // its second byte is the backslash
const std::string kSaizuUtf8 = "\xEF\xBD\xBB\xEF\xBD\xB2\xEF\xBD\xBD\xEF\xBE\x9E";  // ｻｲｽﾞ
const std::string kSaizuCp932 = "\xBB\xB2\xBD\xDE";

TEST(HostText, JapaneseRoundTripsBetweenUtf8AndCp932) {
  std::string cp932, utf8;
  ASSERT_TRUE(host::utf8_to_cp932("a" + kNouUtf8 + "b", &cp932));
  EXPECT_EQ(cp932, "a" + kNouCp932 + "b");
  ASSERT_TRUE(host::cp932_to_utf8(cp932, &utf8));
  EXPECT_EQ(utf8, "a" + kNouUtf8 + "b");
}

TEST(HostText, HalfWidthKatakanaTakeOneByteEach) {
  std::string cp932, utf8;
  ASSERT_TRUE(host::utf8_to_cp932(kSaizuUtf8, &cp932));
  EXPECT_EQ(cp932, kSaizuCp932);
  ASSERT_TRUE(host::cp932_to_utf8(kSaizuCp932, &utf8));
  EXPECT_EQ(utf8, kSaizuUtf8);
}

TEST(HostText, AsciiAndEmptyTextPassUnchanged) {
  const std::string ascii = "GALE01 Zelda ~\\/ 0123";
  std::string out = "junk";
  ASSERT_TRUE(host::utf8_to_cp932(ascii, &out));
  EXPECT_EQ(out, ascii);
  ASSERT_TRUE(host::cp932_to_utf8(ascii, &out));
  EXPECT_EQ(out, ascii);
  ASSERT_TRUE(host::cp1252_to_utf8(ascii, &out));
  EXPECT_EQ(out, ascii);
  ASSERT_TRUE(host::utf8_to_cp932("", &out));
  EXPECT_EQ(out, "");
}

TEST(HostText, CharactersWithoutCp932FormAreRefusedNotReplaced) {
  std::string out = "untouched";
  EXPECT_FALSE(host::utf8_to_cp932("caf\xC3\xA9", &out));         // é
  EXPECT_FALSE(host::utf8_to_cp932("x\xF0\x9F\x98\x80y", &out));  // an emoji
  EXPECT_FALSE(host::utf8_to_cp932("\xC2\xA5", &out));            // ¥ has no byte of its own
  EXPECT_EQ(out, "untouched");
}

TEST(HostText, InvalidInputBytesAreRefused) {
  std::string out;
  EXPECT_FALSE(host::utf8_to_cp932("ab\xC3", &out));      // cut-off sequence
  EXPECT_FALSE(host::utf8_to_cp932("\xFF\xFE", &out));    // never valid UTF-8
  EXPECT_FALSE(host::utf8_to_cp932("\xC0\xAF", &out));    // overlong slash
  EXPECT_FALSE(host::cp932_to_utf8("ab\x81", &out));      // lead byte at the end
  EXPECT_FALSE(host::cp932_to_utf8("\x81\x20x", &out));   // lead byte without a trail byte
}

TEST(HostText, Windows1252MapsToUnicodeAndRefusesItsUndefinedBytes) {
  std::string out;
  ASSERT_TRUE(host::cp1252_to_utf8("Fran\xE7ois \x80", &out));
  EXPECT_EQ(out, "Fran\xC3\xA7ois \xE2\x82\xAC");  // ç and the euro sign
  for (char undefined : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
    EXPECT_FALSE(host::cp1252_to_utf8(std::string("a") + undefined, &out))
        << "byte " << int(static_cast<unsigned char>(undefined));
  }
}

// File names through the name conversions, with a capacity to spare.
struct NameResult {
  bool fits;
  bool converted;
  std::string name;
};

using NameConversion = bool (*)(const char*, char*, size_t, bool*);

NameResult convert_name(NameConversion conversion, const std::string& name, size_t capacity) {
  std::string out(capacity, '\x7F');
  NameResult r{false, false, ""};
  r.fits = conversion(name.c_str(), &out[0], capacity, &r.converted);
  if (r.fits) r.name = out.c_str();
  return r;
}

NameResult disc_name(const std::string& host_name, size_t capacity = 256) {
  return convert_name(host::disc_name_from_host_name, host_name, capacity);
}

NameResult host_name(const std::string& disc_name, size_t capacity = 256) {
  return convert_name(host::host_name_from_disc_name, disc_name, capacity);
}

const std::string kDataUtf8 = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";  // データ
const std::string kDataCp932 = "\x83\x66\x81\x5B\x83\x5E";

#ifndef _WIN32
TEST(HostText, HostNamesBecomeCp932DiscNamesAndBack) {
  for (const auto& pair : {std::make_pair(kDataUtf8, kDataCp932),
                           std::make_pair(kNouUtf8 + ".dat", kNouCp932 + ".dat"),
                           std::make_pair(kSaizuUtf8 + ".bin", kSaizuCp932 + ".bin"),
                           std::make_pair(std::string("plain.txt"), std::string("plain.txt"))}) {
    NameResult d = disc_name(pair.first);
    EXPECT_TRUE(d.fits && d.converted) << pair.first;
    EXPECT_EQ(d.name, pair.second);
    NameResult h = host_name(pair.second);
    EXPECT_TRUE(h.fits && h.converted) << pair.first;
    EXPECT_EQ(h.name, pair.first);
  }
}

TEST(HostText, NamesWithoutAFormInTheOtherCodeAreCopiedUnchanged) {
  // An emoji, invalid UTF-8, and the yen sign the C library would turn into
  // the backslash byte.
  for (const std::string& name : {std::string("\xF0\x9F\x98\x80.txt"), std::string("a\xFF"),
                                  std::string("\xC2\xA5" "100")}) {
    NameResult d = disc_name(name);
    EXPECT_TRUE(d.fits);
    EXPECT_FALSE(d.converted);
    EXPECT_EQ(d.name, name);
  }
  // A lead byte without its trail byte, and bytes code page 932 leaves unused.
  for (const std::string& name : {std::string("ab\x81"), std::string("\xFF\xFE")}) {
    NameResult h = host_name(name);
    EXPECT_TRUE(h.fits);
    EXPECT_FALSE(h.converted);
    EXPECT_EQ(h.name, name);
  }
}

TEST(HostText, NameConversionsRespectTheCapacityOfTheConvertedName) {
  // データ: 6 bytes in code page 932, 9 in UTF-8; half-width ｻｲｽﾞ: 4 and 12.
  EXPECT_EQ(disc_name(kDataUtf8, 7).name, kDataCp932);
  EXPECT_FALSE(disc_name(kDataUtf8, 6).fits);
  EXPECT_EQ(host_name(kSaizuCp932, 13).name, kSaizuUtf8);
  EXPECT_FALSE(host_name(kSaizuCp932, 12).fits);
  EXPECT_FALSE(host_name(kSaizuCp932, 5).fits);
  // A name kept unchanged needs its own length.
  EXPECT_EQ(host_name("ab\x81", 4).name, "ab\x81");
  EXPECT_FALSE(host_name("ab\x81", 3).fits);
  // Longer than one conversion piece.
  std::string long_utf8, long_cp932;
  for (int i = 0; i < 200; ++i) {
    long_utf8 += kDataUtf8;
    long_cp932 += kDataCp932;
  }
  EXPECT_EQ(disc_name(long_utf8, 4096).name, long_cp932);
  EXPECT_EQ(host_name(long_cp932, 4096).name, long_utf8);
  // One character beyond the end of a long name is still checked.
  EXPECT_FALSE(disc_name(long_utf8 + "\xF0\x9F\x98\x80", 4096).converted);
}
#else
TEST(HostText, WindowsNamesPassUnchangedBothWays) {
  // The ANSI file functions already give and take code page 932.
  for (const std::string& name : {kDataCp932, kNouCp932 + ".dat", std::string("ab\x81")}) {
    NameResult d = disc_name(name);
    EXPECT_TRUE(d.fits && d.converted);
    EXPECT_EQ(d.name, name);
    NameResult h = host_name(name);
    EXPECT_TRUE(h.fits && h.converted);
    EXPECT_EQ(h.name, name);
  }
  EXPECT_FALSE(host_name(kDataCp932, 6).fits);
}
#endif

}  // namespace

// Folder listings in the order Windows gives on NTFS: case folded first, the
// unchanged names breaking ties; Windows keeps its own listing order.
TEST(HostNames, FoldersAreListedInWindowsOrder) {
  const std::vector<std::string> listed = {"b", "\xCE\xA9", "a", "_x", "A", "\xCF\x89", "Z",
                                           "\xC3\xA9", "E", "f1", "F0", "\xFF"};
  std::vector<std::string> names = listed;
  host::sort_names_as_windows_lists(&names);
#ifdef _WIN32
  EXPECT_EQ(names, listed);
#else
  // Ω (U+03A9) and ω (U+03C9) fold together; é (U+00E9) after '_' (U+005F);
  // a byte that is no UTF-8 after them all.
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "b", "E", "F0", "f1", "Z", "_x", "\xC3\xA9",
                                             "\xCE\xA9", "\xCF\x89", "\xFF"}));
#endif
}
