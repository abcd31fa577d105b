// ombrel-cli's command line: commands and their operands, options anywhere,
// and in-image paths made canonical.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ombrel_options.h"

namespace {

OmbrelOptions parsed(const std::vector<std::string>& args) {
  OmbrelOptions options;
  std::string error;
  EXPECT_TRUE(parse_ombrel_args(args, &options, &error)) << error;
  return options;
}

std::string refusal(const std::vector<std::string>& args) {
  OmbrelOptions options;
  std::string error;
  EXPECT_FALSE(parse_ombrel_args(args, &options, &error));
  return error;
}

TEST(OmbrelOptions, EachCommandTakesItsOperands) {
  OmbrelOptions info = parsed({"info", "a.gcm"});
  EXPECT_EQ(info.command, OmbrelCommand::Info);
  EXPECT_EQ(info.image, "a.gcm");

  OmbrelOptions ls = parsed({"ls", "a.gcm"});
  EXPECT_EQ(ls.command, OmbrelCommand::List);
  EXPECT_EQ(ls.image_path, "/");
  EXPECT_FALSE(ls.recursive);
  EXPECT_EQ(parsed({"ls", "-R", "a.gcm", "/data/levels"}).image_path, "/data/levels");

  OmbrelOptions extract = parsed({"extract", "a.gcm", "data", "/eff/*.szs", "out"});
  EXPECT_EQ(extract.command, OmbrelCommand::Extract);
  EXPECT_EQ(extract.image_paths, (std::vector<std::string>{"/data", "/eff/*.szs"}));
  EXPECT_EQ(extract.destination, "out");

  OmbrelOptions sys = parsed({"sys", "a.gcm", "dol", "out"});
  EXPECT_EQ(sys.command, OmbrelCommand::System);
  EXPECT_EQ(sys.area, ExtractKind::MainProgram);
  EXPECT_EQ(sys.destination, "out");

  OmbrelOptions banner = parsed({"banner", "a.gcm", "b.png"});
  EXPECT_EQ(banner.command, OmbrelCommand::Banner);
  EXPECT_EQ(banner.destination, "b.png");

  OmbrelOptions convert = parsed({"convert", "a.rvz", "a.gcm", "-o"});
  EXPECT_EQ(convert.command, OmbrelCommand::Convert);
  EXPECT_EQ(convert.destination, "a.gcm");
  EXPECT_TRUE(convert.overwrite);

  OmbrelOptions hash = parsed({"hash", "--json", "a.rvz"});
  EXPECT_EQ(hash.command, OmbrelCommand::Hash);
  EXPECT_EQ(hash.image, "a.rvz");
  EXPECT_TRUE(hash.json);
}

TEST(OmbrelOptions, OptionsMayStandAnywhereAndDoubleDashEndsThem) {
  OmbrelOptions a = parsed({"--strict-size", "ls", "a.gcm", "-R"});
  EXPECT_TRUE(a.strict_size);
  EXPECT_TRUE(a.recursive);
  OmbrelOptions b = parsed({"extract", "--", "-odd.gcm", "/", "-out"});
  EXPECT_EQ(b.image, "-odd.gcm");
  EXPECT_EQ(b.destination, "-out");
  EXPECT_FALSE(b.strict_size);
  // A lone "-" is an operand, not an option.
  EXPECT_EQ(parsed({"banner", "a.gcm", "-"}).destination, "-");
}

TEST(OmbrelOptions, HelpStopsTheChecks) {
  EXPECT_TRUE(parsed({"--help"}).help);
  EXPECT_TRUE(parsed({"nonsense", "--help", "--bogus"}).help);
  EXPECT_TRUE(parsed({"-h"}).help);
}

TEST(OmbrelOptions, WrongCommandLinesAreRefusedWithAReason) {
  EXPECT_NE(refusal({}).find("no command"), std::string::npos);
  EXPECT_NE(refusal({"list", "a.gcm"}).find("unknown command 'list'"), std::string::npos);
  EXPECT_NE(refusal({"info", "a.gcm", "--verbose"}).find("unknown option '--verbose'"),
            std::string::npos);
  EXPECT_NE(refusal({"info"}).find("too few"), std::string::npos);
  EXPECT_NE(refusal({"info", "a.gcm", "b.gcm"}).find("too many"), std::string::npos);
  EXPECT_NE(refusal({"ls", "a.gcm", "/a", "/b"}).find("too many"), std::string::npos);
  EXPECT_NE(refusal({"extract", "a.gcm", "/"}).find("extract IMAGE PATH... DEST"), std::string::npos);
  EXPECT_NE(refusal({"extract", "-R", "a.gcm", "/", "out"}).find("-R, --recursive applies to ls only"),
            std::string::npos);
  EXPECT_NE(refusal({"sys", "a.gcm", "bi2", "out"}).find("unknown system area 'bi2'"),
            std::string::npos);
  EXPECT_NE(refusal({"banner", "", "b.png"}).find("empty operand"), std::string::npos);
  EXPECT_NE(refusal({"ls", "--json", "a.gcm"}).find("--json applies to info, hash and check only"), std::string::npos);
  EXPECT_NE(refusal({"hash", "a.gcm", "b.gcm"}).find("too many"), std::string::npos);
  EXPECT_NE(refusal({"extract", "a.gcm", std::string("/a\0b", 4), "out"}).find("zero byte"),
            std::string::npos);
}

TEST(OmbrelOptions, SystemAreasAndTheirFileNames) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {{"boot", "boot.bin"}, {"fst", "fst"}, {"apploader", "apploader"},
               {"dol", "default.dol"}};
  for (const auto& c : cases) {
    ExtractKind area;
    ASSERT_TRUE(parse_system_area(c.name, &area)) << c.name;
    EXPECT_STREQ(system_area_file_name(area), c.file);
  }
  ExtractKind area;
  EXPECT_FALSE(parse_system_area("Boot", &area));
  EXPECT_FALSE(parse_system_area("default.dol", &area));
}

}  // namespace
