// The command line into options: value forms, flags, and the mistakes a user
// makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/trelvik_options.h"

namespace {

bool parse(const std::vector<std::string>& args, TrelvikOptions* options, std::string* error) {
  return parse_trelvik_args(args, options, error);
}

TEST(OptionParsing, ValuesComeFromTheNextArgumentOrAfterEquals) {
  TrelvikOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--game-id", "GAL", "--game-name=Some Name", "--maker-id", "01",
                     "--region=usa", "--apploader", "a.img", "--main-program", "m.dol",
                     "--base-dir", "files", "--output", "--dash-named.gcm"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.game_id, "GAL");
  EXPECT_EQ(o.game_name, "Some Name");
  EXPECT_EQ(o.maker_id, "01");
  EXPECT_EQ(o.region, "usa");
  EXPECT_EQ(o.apploader, "a.img");
  EXPECT_EQ(o.main_program, "m.dol");
  EXPECT_EQ(o.base_dir, "files");
  EXPECT_EQ(o.output, "--dash-named.gcm");  // a value is taken as it stands
  EXPECT_TRUE(o.header_from.empty());
}

TEST(OptionParsing, FlagsDefaultToMaximiseWithMagicAndCanBeTurnedOff) {
  TrelvikOptions o;
  std::string error;
  ASSERT_TRUE(parse({}, &o, &error));
  EXPECT_TRUE(o.maximise);
  EXPECT_TRUE(o.disc_magic);
  EXPECT_FALSE(o.quiet);
  EXPECT_FALSE(o.help);
  ASSERT_TRUE(parse({"--no-maximise", "--no-disc-magic", "--quiet"}, &o, &error));
  EXPECT_FALSE(o.maximise);
  EXPECT_FALSE(o.disc_magic);
  EXPECT_TRUE(o.quiet);
}

TEST(OptionParsing, MistakesAreRefusedWithTheOptionNamed) {
  TrelvikOptions o;
  std::string error;
  EXPECT_FALSE(parse({"--colour", "red"}, &o, &error));
  EXPECT_NE(error.find("unknown option '--colour'"), std::string::npos) << error;
  EXPECT_FALSE(parse({"game.gcm"}, &o, &error));
  EXPECT_NE(error.find("unexpected operand 'game.gcm'"), std::string::npos) << error;
  EXPECT_FALSE(parse({"--output"}, &o, &error));
  EXPECT_NE(error.find("--output needs a value"), std::string::npos) << error;
  EXPECT_FALSE(parse({"--quiet=yes"}, &o, &error));
  EXPECT_NE(error.find("--quiet takes no value"), std::string::npos) << error;
  // --root replaces the inputs it holds; the wizard's mode takes none of the
  // rebuild's options.
  EXPECT_FALSE(parse({"--root", "dir", "--base-dir", "files"}, &o, &error));
  EXPECT_NE(error.find("--root takes the place of --base-dir"), std::string::npos) << error;
  for (const char* option : {"--root=dir", "--align=4", "--allow-oversize"}) {
    EXPECT_FALSE(parse({option, "--no-disc-magic"}, &o, &error)) << option;
    EXPECT_NE(error.find("does not go with --no-disc-magic"), std::string::npos) << error;
  }
  EXPECT_FALSE(parse({"--region", "usa", "--region=japan"}, &o, &error));
  EXPECT_NE(error.find("--region is given twice"), std::string::npos) << error;
}

TEST(OptionParsing, HelpStopsParsingBeforeLaterMistakes) {
  TrelvikOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--help", "--bogus"}, &o, &error));
  EXPECT_TRUE(o.help);
}

TEST(OptionParsing, HelpDocumentsEveryOptionAndBuilderCode) {
  const std::string usage = trelvik_usage();
  for (const char* option :
       {"--game-id", "--game-name", "--maker-id", "--region", "--apploader", "--main-program",
        "--base-dir", "--output", "--header-from", "--no-maximise", "--no-disc-magic", "--quiet",
        "--help", "0xC2339F3D"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  for (int code = 1; code <= BUILD_ERROR_LAST; ++code) {
    char entry[8];
    std::snprintf(entry, sizeof entry, "%4d  ", code);
    EXPECT_NE(usage.find(entry), std::string::npos) << "code " << code;
  }
}

TEST(RegionNames, MapToTheWizardsListPositionsInAnyCase) {
  uint16_t index = 99;
  ASSERT_TRUE(region_index_for_name("japan", &index));
  EXPECT_EQ(index, 0);
  ASSERT_TRUE(region_index_for_name("USA", &index));
  EXPECT_EQ(index, 1);
  ASSERT_TRUE(region_index_for_name("Europe", &index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(region_index_for_name("pal", &index));
  EXPECT_FALSE(region_index_for_name("", &index));
  EXPECT_FALSE(region_index_for_name("japa", &index));
}

}  // namespace
