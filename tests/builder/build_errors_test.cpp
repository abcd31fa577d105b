// Every way a build can fail, with the code it leaves and what it leaves on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "builder/build_fixture.h"
#include "builder/builder_testing.h"
#include "disc/disc_format.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = test_support::fs;

void set_path(char (&field)[260], const std::string& path) {
  std::memset(field, 0, sizeof field);
  std::strncpy(field, path.c_str(), sizeof field - 1);
}

TEST(BuildErrors, NoSettingsRecordIsCodeThree) {
  builder_reset();
  EXPECT_FALSE(builder_prepare(nullptr));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_NO_SETTINGS);
}

TEST(BuildErrors, MissingBootFileIsCodeFourAndLeavesTheOutputUntouched) {
  for (bool apploader : {true, false}) {
    BuildFixture f;
    test_support::write_file(f.output, std::string("keep me"));
    fs::remove(apploader ? f.apploader : f.main_program);
    EXPECT_FALSE(f.prepare());
    EXPECT_EQ(f.error, BUILD_ERR_OPEN_INPUT);
    builder_reset();
    EXPECT_EQ(test_support::read_file(f.output), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  }
}

// The output may not be an input: refused before it is created or
// truncated, naming the input, and the input keeps its bytes.
TEST(BuildErrors, AnOutputThatIsAnInputIsCodeFourteenAndTouchesNothing) {
  BuildFixture f;
  f.add_file("inside.bin", 100, 7);
  const std::vector<uint8_t> apploader = test_support::read_file(f.apploader);
  const std::string inside = (fs::path(f.base) / "inside.bin").string();
  const std::string later = (fs::path(f.base) / "later.gcm").string();
  const struct {
    std::string output, named;
  } cases[] = {{f.apploader, f.apploader}, {inside, f.base}, {later, f.base}};
  for (const auto& c : cases) {
    set_path(f.settings.output_path, c.output);
    EXPECT_FALSE(f.prepare());
    EXPECT_EQ(f.error, BUILD_ERR_OUTPUT_IS_INPUT) << c.output;
    EXPECT_EQ(builder_last_error_path(), c.named);
    builder_reset();
  }
  EXPECT_EQ(test_support::read_file(f.apploader), apploader);
  EXPECT_EQ(test_support::read_file(inside), test_support::patterned_bytes(100, 7));
  EXPECT_FALSE(fs::exists(later));
}

TEST(BuildErrors, OutputThatCannotBeCreatedIsCodeTwo) {
  BuildFixture f;
  set_path(f.settings.output_path, f.scratch.at("no_such_folder/out.gcm"));
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_CREATE_OUTPUT);
}

TEST(BuildErrors, BaseDirectoryThatCannotBeEnteredIsCodeSeven) {
  BuildFixture f;
  set_path(f.settings.base_directory, f.scratch.at("missing"));
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_ENTER_BASE_DIRECTORY);

  set_path(f.settings.base_directory, f.apploader);  // a file, not a folder
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_ENTER_BASE_DIRECTORY);
}

// Names directly inside a folder, sorted.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The image goes to a temporary file until it is complete: a build that
// fails or is reset before its end leaves an existing output byte for byte
// and no other file behind, and a complete one replaces it.
TEST(BuildErrors, AnUnfinishedBuildLeavesTheExistingOutputAsItWas) {
  const std::vector<uint8_t> previous = test_support::patterned_bytes(5000, 9);
  const struct {
    const char* what;
    bool (*stop)(BuildFixture& f);  // true when the build stopped as meant
  } cases[] = {
      {"scan failure", [](BuildFixture& f) {
         set_path(f.settings.base_directory, f.scratch.at("missing"));
         return !f.prepare() && f.error == BUILD_ERR_ENTER_BASE_DIRECTORY;
       }},
      {"reset after the preparation", [](BuildFixture& f) {
         bool prepared = f.prepare();
         builder_reset();
         return prepared;
       }},
      {"source changed during the write", [](BuildFixture& f) {
         if (!f.prepare()) return false;
         f.add_file("data.bin", 101, 1);
         return !f.write(false) && f.error == BUILD_ERR_SOURCE_CHANGED;
       }},
  };
  for (const auto& c : cases) {
    BuildFixture f;
    f.add_file("data.bin", 100, 1);
    test_support::write_file(f.output, previous);
    const std::vector<std::string> before = names_in(f.scratch.path().string());
    EXPECT_TRUE(c.stop(f)) << c.what;
    EXPECT_EQ(test_support::read_file(f.output), previous) << c.what;
    EXPECT_EQ(names_in(f.scratch.path().string()), before) << c.what;
  }
  BuildFixture f;
  f.add_file("data.bin", 100, 1);
  test_support::write_file(f.output, previous);
  ASSERT_TRUE(f.build()) << f.error;
  EXPECT_EQ(be32_at(f.image(), 0x420), 0x2440u + 64) << "the new image replaced the old file";
  EXPECT_EQ(names_in(f.scratch.path().string()),
            (std::vector<std::string>{"apploader.img", "base", "main.dol", "out.gcm"}));
}

TEST(BuildErrors, WriteWithoutPreparationIsRefused) {
  BuildFixture f;
  builder_reset();
  EXPECT_FALSE(builder_write_image(false));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_NOT_PREPARED);

  // A failed preparation does not allow a write either, nor does a second write.
  fs::remove(f.apploader);
  EXPECT_FALSE(f.prepare());
  EXPECT_FALSE(f.write(false));
  EXPECT_EQ(f.error, BUILD_ERR_NOT_PREPARED);

  f.set_apploader(32);
  ASSERT_TRUE(f.build());
  EXPECT_FALSE(builder_write_image(false));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_NOT_PREPARED);
}

TEST(BuildErrors, FailedAllocationIsCodeOne) {
  BuildFixture f;
  for (int i = 0; i < 30; ++i) f.add_file("d/f" + std::to_string(i), 1, 1);
  builder_reset();
  builder_testing_fail_allocations_after(10);
  EXPECT_FALSE(builder_prepare(&f.settings));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_NO_MEMORY);
  builder_testing_fail_allocations_after(-1);
  EXPECT_TRUE(f.build()) << "the engine recovers after a reset";
}

TEST(BuildErrors, FolderPathBeyondThePathFieldIsRefused) {
  BuildFixture f;
  // Nest folders until a folder path passes 259 bytes; keep each level short.
  // No level ends between 256 and 259 bytes, where the path still fits but
  // Windows cannot list the folder (its pattern would not): the last level
  // jumps from below 251 bytes past the field.
  std::string relative;
  while (f.base.size() + relative.size() + 41 < 250) relative += (relative.empty() ? "" : "/") + std::string(40, 'd');
  relative += (relative.empty() ? "" : "/") + std::string(60, 'e');
  std::error_code ec;
  fs::create_directories(fs::path(f.base) / relative, ec);
  if (ec) GTEST_SKIP() << "host cannot hold such a deep path: " << ec.message();
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_PATH_TOO_LONG);
}

TEST(BuildErrors, TooManyNamesForTheSixteenBitNameOffsetAreRefused) {
  BuildFixture f;
  // 700 names of 100 bytes: name offsets pass 65,535 long before the end.
  for (int i = 0; i < 700; ++i) {
    std::string name = std::to_string(i) + std::string(100 - std::to_string(i).size(), 'n');
    f.add_file("f/" + name, 0, 0);
  }
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_TABLE_TOO_LARGE);
}

TEST(BuildErrors, DataBeyondThirtyTwoBitOffsetsIsRefusedBeforeWriting) {
  BuildFixture f;
  // Sparse files: measured, never copied.
  auto sparse = [&](const std::string& name, uint64_t size) {
    fs::path p = fs::path(f.base) / name;
    { std::ofstream(p, std::ios::binary); }
    fs::resize_file(p, size);
  };
  sparse("a.bin", 0x80000000ull);
  sparse("b.bin", 0x80000000ull);  // together past 4 GiB
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_DATA_TOO_LARGE);

  fs::remove(fs::path(f.base) / "a.bin");
  fs::remove(fs::path(f.base) / "b.bin");
  sparse("huge.bin", 0x100000000ull);  // one file of 4 GiB
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_DATA_TOO_LARGE);
}

TEST(BuildErrors, FileThatChangedLengthAfterTheScanFailsTheBuild) {
  BuildFixture f;
  f.add_file("first.bin", 100, 1);
  ASSERT_TRUE(f.prepare());
  f.add_file("first.bin", 101, 1);
  EXPECT_FALSE(f.write(false));
  EXPECT_EQ(f.error, BUILD_ERR_SOURCE_CHANGED);

  // The boot files are measured again when the write starts, so a change
  // before then moves the layout with them instead of breaking it.
  BuildFixture g;
  ASSERT_TRUE(g.prepare());
  g.set_apploader(65);
  EXPECT_TRUE(g.write(false)) << g.error;
  EXPECT_EQ(be32_at(g.image(), 0x420), 0x2440u + 65);
}

TEST(BuildErrors, FileThatVanishedBeforeItsCopyIsCodeFour) {
  BuildFixture f;
  f.add_file("gone.bin", 100, 1);
  ASSERT_TRUE(f.prepare());
  fs::remove(fs::path(f.base) / "gone.bin");
  EXPECT_FALSE(f.write(false));
  EXPECT_EQ(f.error, BUILD_ERR_OPEN_INPUT);
}

#ifndef _WIN32
std::string g_shrink_path;
void shrink_source(int, uint32_t) {
  if (!g_shrink_path.empty()) {
    if (truncate(g_shrink_path.c_str(), 0) != 0) ADD_FAILURE() << "truncate";
    g_shrink_path.clear();
  }
}

TEST(BuildErrors, ReadFailureDuringACopyIsCodeFive) {
  BuildFixture f;
  f.set_apploader(0);
  f.set_main_program(0);
  f.add_file("shrinks.bin", 3 << 20, 1);
  ASSERT_TRUE(f.prepare());
  g_shrink_path = f.scratch.at("base/shrinks.bin");
  builder_set_callbacks(nullptr, shrink_source, nullptr, nullptr);
  EXPECT_FALSE(builder_write_image(false));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_READ);
}

TEST(BuildErrors, WriteFailureOnAFullDiskIsCodeSix) {
  BuildFixture f;
  set_path(f.settings.output_path, "/dev/full");
  ASSERT_TRUE(f.prepare()) << f.error;
  EXPECT_FALSE(f.write(false));
  EXPECT_EQ(f.error, BUILD_ERR_WRITE);
}

TEST(BuildErrors, SymbolicLinksAreFollowedButALoopIsCodeEight) {
  BuildFixture f;
  f.add_file("real/data.bin", 10, 1);
  fs::create_directory_symlink(fs::path(f.base) / "real", fs::path(f.base) / "alias");
  fs::create_symlink(fs::path(f.base) / "real" / "data.bin", fs::path(f.base) / "link.bin");
  ASSERT_TRUE(f.prepare()) << f.error;
  EXPECT_EQ(builder_file_count(), 3u) << "real/data.bin, alias/data.bin, link.bin";
  EXPECT_EQ(builder_directory_count(), 2u);

  fs::create_directory_symlink(fs::path(f.base), fs::path(f.base) / "real" / "loop");
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_ENUMERATE);
}

TEST(BuildErrors, DanglingLinkIsTakenAsAnUnlistableFolder) {
  BuildFixture f;
  fs::create_symlink(fs::path(f.base) / "nowhere", fs::path(f.base) / "dangling");
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_ENUMERATE);
  EXPECT_EQ(builder_last_error_path(), (fs::path(f.base) / "dangling").string());
}
#endif

}  // namespace
