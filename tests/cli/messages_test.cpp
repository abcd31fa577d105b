// What the tool says: one distinct line per builder code, and log lines with
// their UTC stamp in UTF-8.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/trelvik_options.h"

namespace {

TrelvikOptions paths() {
  TrelvikOptions o;
  o.apploader = "in/apploader.img";
  o.main_program = "in/main.dol";
  o.base_dir = "in/files";
  o.output = "out/disc.gcm";
  return o;
}

TEST(BuildErrorMessages, EveryCodeHasItsOwnTextWithItsNumber) {
  std::set<std::string> texts;
  for (uint16_t code = 1; code <= BUILD_ERROR_LAST; ++code) {
    std::string text = build_error_message(code, paths(), "");
    const std::string suffix = " (builder code " + std::to_string(code) + ")";
    ASSERT_GE(text.size(), suffix.size());
    EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix) << text;
    texts.insert(text.substr(0, text.size() - suffix.size()));
  }
  EXPECT_EQ(texts.size(), size_t(BUILD_ERROR_LAST));
}

TEST(BuildErrorMessages, NameThePathsConcerned) {
  const TrelvikOptions o = paths();
  EXPECT_NE(build_error_message(BUILD_ERR_CREATE_OUTPUT, o, "").find("'out/disc.gcm'"),
            std::string::npos);
  EXPECT_NE(build_error_message(BUILD_ERR_WRITE, o, "").find("'out/disc.gcm'"), std::string::npos);
  EXPECT_NE(build_error_message(BUILD_ERR_ENTER_BASE_DIRECTORY, o, "").find("'in/files'"),
            std::string::npos);
  std::string open = build_error_message(BUILD_ERR_OPEN_INPUT, o, "");
  EXPECT_NE(open.find("'in/apploader.img'"), std::string::npos) << open;
  EXPECT_NE(open.find("'in/main.dol'"), std::string::npos) << open;
  // The builder's own path for the error, when it names one.
  for (uint16_t code : {BUILD_ERR_OPEN_INPUT, BUILD_ERR_READ, BUILD_ERR_ENUMERATE, BUILD_ERR_PATH_TOO_LONG,
                        BUILD_ERR_SOURCE_CHANGED, BUILD_ERR_NOT_REGULAR_FILE}) {
    std::string text = build_error_message(code, o, "", "in/files/x/dangling");
    EXPECT_NE(text.find("'in/files/x/dangling'"), std::string::npos) << text;
  }
  EXPECT_NE(build_error_message(BUILD_ERR_OUTPUT_IS_INPUT, o, "", "in/main.dol")
                .find("the output 'out/disc.gcm' is the main program 'in/main.dol'"),
            std::string::npos);
  // The table's limits are the format's own in default mode, 16-bit in the wizard's.
  TrelvikOptions wizard_mode = o;
  wizard_mode.disc_magic = false;
  EXPECT_NE(build_error_message(BUILD_ERR_TABLE_TOO_LARGE, o, "").find("16,777,215"), std::string::npos);
  EXPECT_NE(build_error_message(BUILD_ERR_TABLE_TOO_LARGE, wizard_mode, "").find("65,535"), std::string::npos);
}

TEST(BuildErrorMessages, FileErrorsQuoteTheLastStepOthersDoNot) {
  const std::string step = "12:00:00      adding 'x/broken.bin'";
  for (uint16_t code : {BUILD_ERR_OPEN_INPUT, BUILD_ERR_READ, BUILD_ERR_SOURCE_CHANGED}) {
    EXPECT_NE(build_error_message(code, paths(), step).find("x/broken.bin"), std::string::npos)
        << code;
  }
  EXPECT_EQ(build_error_message(BUILD_ERR_WRITE, paths(), step).find("broken"), std::string::npos);
}

TEST(BuildErrorMessages, UnknownCodeStillSaysTheBuildFailed) {
  std::string text = build_error_message(99, paths(), "");
  EXPECT_NE(text.find("failed"), std::string::npos);
  EXPECT_NE(text.find("99"), std::string::npos);
}

TEST(LogLines, StampHasTwoDigitFieldsAndSixBlanks) {
  EXPECT_EQ(utf8_log_line(9, 5, 7, "done"), "09:05:07      done");
  EXPECT_EQ(utf8_log_line(23, 59, 0, ""), "23:59:00      ");
}

TEST(LogLines, BuilderTextsAreConvertedToUtf8) {
  // "書き込み開始" in code page 932, and the same in UTF-8.
  const char cp932[] = "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x8A\x4A\x8E\x6E";
  const std::string utf8 =
      "\xE6\x9B\xB8\xE3\x81\x8D\xE8\xBE\xBC\xE3\x81\xBF\xE9\x96\x8B\xE5\xA7\x8B";
  EXPECT_EQ(utf8_log_line(1, 2, 3, cp932), "01:02:03      " + utf8);
}

TEST(LogLines, QuotedHostPathKeepsItsOwnBytes) {
  // "追加 '" in code page 932, then a UTF-8 host path that would be mistaken
  // for half-width katakana if converted, then a byte invalid in code page 932.
  const std::string text = std::string("\x92\xC7\x89\xC1 '") + "dir/caf\xC3\xA9\x80.bin'";
  const std::string line = utf8_log_line(0, 0, 0, text.c_str());
  EXPECT_EQ(line, "00:00:00      \xE8\xBF\xBD\xE5\x8A\xA0 'dir/caf\xC3\xA9\x80.bin'");
}

TEST(LogLines, InvalidBuilderTextFallsBackToItsRawBytes) {
  EXPECT_EQ(utf8_log_line(0, 0, 0, "bad \x81"), "00:00:00      bad \x81");
}

}  // namespace
