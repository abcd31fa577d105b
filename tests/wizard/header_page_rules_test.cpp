// What the header page stores from its edits and when each page lets Next
// through: byte-counted cuts (code page 932 counts two bytes per character),
// the import path rule and the minimal accepted values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wizard/core/wizard_logic.h"
#include "wizard/filled_state.h"
#include "wizard/core/wizard_state.h"

namespace {

WizardState filled_state() {
  return filled_wizard_state("Trial", {"apploader.img", "main.dol", "files", "out.gcm"});
}

TEST(HeaderFields, LongIdsAreCutToTheirLeadingBytesAndReportTheCut) {
  WizardState state;
  wizard_state_init(&state);
  EXPECT_TRUE(store_cut_text("GTRX", GAME_ID_LIMIT, state.game_id));
  EXPECT_STREQ(state.game_id, "GTR");
  EXPECT_TRUE(store_cut_text("012", MAKER_ID_LIMIT, state.maker_id));
  EXPECT_STREQ(state.maker_id, "01");
  // Fitting texts, one character included, are kept and report no cut.
  EXPECT_FALSE(store_cut_text("G", GAME_ID_LIMIT, state.game_id));
  EXPECT_STREQ(state.game_id, "G");
  EXPECT_FALSE(store_cut_text("AB", MAKER_ID_LIMIT, state.maker_id));
  EXPECT_STREQ(state.maker_id, "AB");
}

TEST(HeaderFields, DoubleByteCharactersCountTwoBytes) {
  WizardState state;
  wizard_state_init(&state);
  // Two characters of code page 932 are four bytes: over the game ID's three.
  const std::string two_kana = "ゲム";
  ASSERT_EQ(two_kana.size(), 4u);
  EXPECT_TRUE(store_cut_text(two_kana, GAME_ID_LIMIT, state.game_id));
  EXPECT_EQ(std::string(state.game_id), two_kana.substr(0, 3));
  // One kana is two bytes: a maker ID that fits exactly.
  EXPECT_FALSE(store_cut_text("ゲ", MAKER_ID_LIMIT, state.maker_id));
  EXPECT_EQ(std::strlen(state.maker_id), 2u);
}

TEST(HeaderFields, AnEditShowingWhatWasLoadedGivesBackTheLoadedBytes) {
  // ゲム cut to 3 bytes ends in a lone lead byte, which the edit shows as ・.
  const std::string cut = std::string("ゲム").substr(0, 3);
  const std::string shown = "ゲ・";
  const struct {
    const char* what;
    std::string typed, expected;
  } cases[] = {
      {"left as loaded", shown, cut},
      {"typed anew", "ゲム", "ゲム"},
      {"emptied", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(header_edit_text(c.typed, shown, cut), c.expected) << c.what;
  // Stored again, the kept bytes stay as they were and report no cut.
  WizardState state;
  wizard_state_init(&state);
  EXPECT_FALSE(store_cut_text(header_edit_text(shown, shown, cut), GAME_ID_LIMIT, state.game_id));
  EXPECT_EQ(std::string(state.game_id), cut);
}

TEST(HeaderFields, GameNameKeepsSixtyFourBytesAndReachesTheSettingsWhole) {
  WizardState state = filled_state();
  std::string long_name(40, 'x');
  for (int i = 0; i < 20; ++i) long_name += "名";  // 80 bytes in all
  store_cut_text(long_name, GAME_NAME_LIMIT, state.game_name);
  ASSERT_EQ(std::strlen(state.game_name), 64u);
  BuildSettings settings;
  fill_build_settings(state, nullptr, &settings);
  EXPECT_EQ(std::string(settings.game_name, 64), long_name.substr(0, 64));
}

TEST(PageChecks, HeaderNeedsIdsAndNameOrAnImportPath) {
  WizardState state = filled_state();
  EXPECT_TRUE(header_page_complete(state));
  WizardState no_id = state;
  no_id.game_id[0] = '\0';
  EXPECT_FALSE(header_page_complete(no_id));
  WizardState no_name = state;
  no_name.game_name[0] = '\0';
  EXPECT_FALSE(header_page_complete(no_name));
  WizardState no_maker = state;
  no_maker.maker_id[0] = '\0';
  EXPECT_FALSE(header_page_complete(no_maker));
  // Importing needs the image path, whatever the header fields hold.
  state.import_header = 1;
  EXPECT_FALSE(header_page_complete(state));
  std::strcpy(state.import_image_path, "game.gcm");
  state.game_id[0] = '\0';
  EXPECT_TRUE(header_page_complete(state));
}

TEST(PageChecks, OtherPagesNeedEachPathFilled) {
  WizardState state = filled_state();
  EXPECT_TRUE(boot_files_page_complete(state));
  EXPECT_TRUE(base_directory_page_complete(state));
  EXPECT_TRUE(output_file_page_complete(state));

  WizardState no_apploader = state;
  no_apploader.apploader_path[0] = '\0';
  EXPECT_FALSE(boot_files_page_complete(no_apploader));
  WizardState no_program = state;
  no_program.main_program_path[0] = '\0';
  EXPECT_FALSE(boot_files_page_complete(no_program));
  state.base_directory[0] = '\0';
  EXPECT_FALSE(base_directory_page_complete(state));
  state.output_path[0] = '\0';
  EXPECT_FALSE(output_file_page_complete(state));
}

TEST(FileChooser, SaveNamesGetTheExtensionUnlessTheyEndInItExactly) {
  char name[260];
  std::strcpy(name, "C:\\games\\disc");
  EXPECT_TRUE(append_default_extension(name, sizeof(name), ".gcm"));
  EXPECT_STREQ(name, "C:\\games\\disc.gcm");
  // Already there: unchanged, also when appended once before.
  EXPECT_TRUE(append_default_extension(name, sizeof(name), ".gcm"));
  EXPECT_STREQ(name, "C:\\games\\disc.gcm");
  // The comparison is case-sensitive.
  std::strcpy(name, "disc.GCM");
  append_default_extension(name, sizeof(name), ".gcm");
  EXPECT_STREQ(name, "disc.GCM.gcm");
  // No default extension: nothing to add.
  std::strcpy(name, "disc");
  append_default_extension(name, sizeof(name), "");
  EXPECT_STREQ(name, "disc");
}

TEST(FileChooser, ExtensionThatWouldOverflowTheBufferIsNotAppended) {
  char name[260];
  std::memset(name, 'a', 256);
  name[256] = '\0';  // 256 + 4 bytes would need 261 with the NUL
  EXPECT_FALSE(append_default_extension(name, sizeof(name), ".gcm"));
  EXPECT_EQ(std::strlen(name), 256u);
  name[255] = '\0';  // 255 + 4 + NUL fits exactly
  EXPECT_TRUE(append_default_extension(name, sizeof(name), ".gcm"));
  EXPECT_EQ(std::strlen(name), 259u);
}

}  // namespace
