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

}  // namespace
