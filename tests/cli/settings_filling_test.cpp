// Options into the builder's settings, filled the way the wizard fills them:
// code page 932 texts, cut header fields, refused paths, imported headers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/trelvik_options.h"
#include "support/test_support.h"

namespace {

using test_support::ScratchDir;

TrelvikOptions typed_options() {
  TrelvikOptions o;
  o.game_id = "GTR";
  o.game_name = "Trial";
  o.maker_id = "01";
  o.region = "europe";
  o.apploader = "boot/apploader.img";
  o.main_program = "boot/main.dol";
  o.base_dir = "files";
  o.output = "out.gcm";
  return o;
}

struct Filled {
  bool ok;
  BuildSettings settings;
  std::vector<std::string> warnings;
  std::string error;
};

Filled fill(const TrelvikOptions& o) {
  Filled f;
  std::memset(&f.settings, 0, sizeof f.settings);
  f.ok = options_to_build_settings(o, &f.settings, &f.warnings, &f.error);
  return f;
}

std::string field(const char* bytes, size_t n) { return std::string(bytes, n); }

TEST(SettingsFilling, TypedOptionsFillTheHeaderFieldsAndPaths) {
  Filled f = fill(typed_options());
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_TRUE(f.warnings.empty());
  EXPECT_EQ(field(f.settings.game_code, 4), "GTRU");
  EXPECT_EQ(field(f.settings.maker_code, 2), "01");
  EXPECT_EQ(field(f.settings.game_name, 6), std::string("Trial\0", 6));
  EXPECT_EQ(f.settings.max_fst_size, 0x4000);
  EXPECT_STREQ(f.settings.apploader_path, "boot/apploader.img");
  EXPECT_STREQ(f.settings.main_program_path, "boot/main.dol");
  EXPECT_STREQ(f.settings.base_directory, "files");
  EXPECT_STREQ(f.settings.output_path, "out.gcm");
}

TEST(SettingsFilling, JapaneseNameIsStoredAsCodePage932) {
  TrelvikOptions o = typed_options();
  o.game_name = "\xE8\x83\xBD\xEF\xBD\xBB";  // 能ｻ in UTF-8
  Filled f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(field(f.settings.game_name, 4), std::string("\x94\x5C\xBB\0", 4));
}

TEST(SettingsFilling, OverlongHeaderTextsAreCutWithAWarningEach) {
  TrelvikOptions o = typed_options();
  o.game_id = "GTRX";
  o.maker_id = "01Z";
  o.game_name = std::string(70, 'n');
  Filled f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(field(f.settings.game_code, 4), "GTRU");
  EXPECT_EQ(field(f.settings.maker_code, 2), "01");
  EXPECT_EQ(field(f.settings.game_name, 64), std::string(64, 'n'));
  ASSERT_EQ(f.warnings.size(), 3u);
  EXPECT_NE(f.warnings[0].find("\"GTR\""), std::string::npos) << f.warnings[0];
  EXPECT_NE(f.warnings[1].find("64 bytes"), std::string::npos) << f.warnings[1];
  EXPECT_NE(f.warnings[2].find("\"01\""), std::string::npos) << f.warnings[2];
}

TEST(SettingsFilling, CutCountsCodePage932BytesNotCharacters) {
  TrelvikOptions o = typed_options();
  o.game_id = "\xE8\x83\xBD\xE8\x83\xBD";  // 能能: 4 bytes in code page 932
  Filled f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(field(f.settings.game_code, 4), "\x94\x5C\x94U");
  EXPECT_EQ(f.warnings.size(), 1u);
}

TEST(SettingsFilling, TextWithoutCodePage932FormIsAnError) {
  TrelvikOptions o = typed_options();
  o.game_name = "Caf\xC3\xA9";
  Filled f = fill(o);
  EXPECT_FALSE(f.ok);
  EXPECT_NE(f.error.find("game name"), std::string::npos) << f.error;
  EXPECT_NE(f.error.find("code page 932"), std::string::npos) << f.error;
  o = typed_options();
  o.maker_id = "\xF0\x9F\x98\x80";
  f = fill(o);
  EXPECT_FALSE(f.ok);
  EXPECT_NE(f.error.find("maker ID"), std::string::npos) << f.error;
}

TEST(SettingsFilling, PathsUpTo259BytesFitAndLongerOnesAreRefused) {
  TrelvikOptions o = typed_options();
  o.output = std::string(259, 'o');
  Filled f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(std::strlen(f.settings.output_path), 259u);

  const std::string too_long(260, 'p');
  for (std::string TrelvikOptions::*path :
       {&TrelvikOptions::apploader, &TrelvikOptions::main_program, &TrelvikOptions::base_dir,
        &TrelvikOptions::output, &TrelvikOptions::header_from}) {
    o = typed_options();
    o.*path = too_long;
    f = fill(o);
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.error.find("260 bytes long; at most 259"), std::string::npos) << f.error;
  }
}

TEST(SettingsFilling, EachMissingRequiredOptionIsNamed) {
  for (std::string TrelvikOptions::*opt :
       {&TrelvikOptions::game_id, &TrelvikOptions::game_name, &TrelvikOptions::maker_id,
        &TrelvikOptions::region, &TrelvikOptions::apploader, &TrelvikOptions::main_program,
        &TrelvikOptions::base_dir, &TrelvikOptions::output}) {
    TrelvikOptions o = typed_options();
    o.*opt = "";
    Filled f = fill(o);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.error.find("missing option --"), 0u) << f.error;
  }
}

TEST(SettingsFilling, UnknownRegionIsRefused) {
  TrelvikOptions o = typed_options();
  o.region = "pal";
  Filled f = fill(o);
  EXPECT_FALSE(f.ok);
  EXPECT_NE(f.error.find("unknown region 'pal'"), std::string::npos) << f.error;
}

TEST(SettingsFilling, HeaderImageReplacesTypedFieldsWhichAreThenOptional) {
  ScratchDir dir;
  std::string header(0x60, '\0');
  header.replace(0, 6, "GIMP52");
  header.replace(0x20, 8, "Imported");
  test_support::write_file(dir.at("src.gcm"), header);  // shorter than a header

  TrelvikOptions o = typed_options();
  o.header_from = dir.at("src.gcm");
  o.disc_magic = false;  // the wizard's mode takes any file; default mode a disc only
  Filled f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(field(f.settings.game_code, 4), "GIMP");
  EXPECT_EQ(field(f.settings.maker_code, 2), "52");
  EXPECT_EQ(field(f.settings.game_name, 9), std::string("Imported\0", 9));

  o.game_id = o.game_name = o.maker_id = o.region = "";
  f = fill(o);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(field(f.settings.game_code, 4), "GIMP");
}

TEST(SettingsFilling, MissingHeaderImageIsAnError) {
  ScratchDir dir;
  TrelvikOptions o = typed_options();
  o.header_from = dir.at("absent.gcm");
  Filled f = fill(o);
  EXPECT_FALSE(f.ok);
  EXPECT_NE(f.error.find("cannot open the header image"), std::string::npos) << f.error;
}

TEST(SettingsFilling, WizardStateTakesTheMaximiseChoice) {
  TrelvikOptions o = typed_options();
  WizardState state;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(options_to_wizard_state(o, &state, &warnings, &error)) << error;
  EXPECT_EQ(state.maximise_image, 1);
  EXPECT_EQ(state.region_index, 2);
  o.maximise = false;
  ASSERT_TRUE(options_to_wizard_state(o, &state, &warnings, &error)) << error;
  EXPECT_EQ(state.maximise_image, 0);
}

}  // namespace
