// The host layer over files and folders, run natively and under wine so both
// implementations are exercised.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "host/host_fs.h"
#include "support/test_support.h"

namespace {

namespace fs = test_support::fs;

std::set<std::string> list_names(const std::string& folder) {
  std::set<std::string> names;
  host::DirListing* listing = host::dir_open(folder.c_str());
  EXPECT_NE(listing, nullptr) << folder;
  if (!listing) return names;
  const char* name = nullptr;
  host::ListStep step;
  while ((step = host::dir_next(listing, &name)) == host::ListStep::Entry) names.insert(name);
  EXPECT_EQ(step, host::ListStep::End);
  host::dir_close(listing);
  return names;
}

TEST(HostFolders, ListingYieldsEveryEntryWithItsLongName) {
  test_support::ScratchDir dir;
  test_support::write_file(dir.path() / "a_rather_long_file_name.txt", std::string("x"));
  test_support::write_file(dir.path() / "Mixed.CASE", std::string(""));
  fs::create_directory(dir.path() / "sub");
  std::set<std::string> names = list_names(dir.path().string());
  names.erase(".");
  names.erase("..");
  EXPECT_EQ(names, (std::set<std::string>{"a_rather_long_file_name.txt", "Mixed.CASE", "sub"}));
}

TEST(HostFolders, ListingAMissingFolderCannotStart) {
  test_support::ScratchDir dir;
  EXPECT_EQ(host::dir_open(dir.at("missing").c_str()), nullptr);
}

TEST(HostFolders, FolderTestFollowsTheFolderBitAndTakesUnreadableAsFolder) {
  test_support::ScratchDir dir;
  test_support::write_file(dir.path() / "file.bin", std::string("abc"));
  EXPECT_TRUE(host::is_directory(dir.path().string().c_str()));
  EXPECT_FALSE(host::is_directory(dir.at("file.bin").c_str()));
  EXPECT_TRUE(host::is_directory(dir.at("missing").c_str()));
}

TEST(HostFolders, PathsUseTheHostSeparator) {
#ifdef _WIN32
  EXPECT_EQ(host::PATH_SEPARATOR, '\\');
  test_support::ScratchDir dir;
  fs::create_directory(dir.path() / "inner");
  std::string backslashed = dir.path().string() + "\\inner";
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_NE(host::dir_open(backslashed.c_str()), nullptr);
#else
  EXPECT_EQ(host::PATH_SEPARATOR, '/');
#endif
}

TEST(HostFolders, EnteringAFolderKeepsTheCurrentDirectory) {
  test_support::ScratchDir dir;
  fs::path before = fs::current_path();
  EXPECT_TRUE(host::can_enter_directory(dir.path().string().c_str()));
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_FALSE(host::can_enter_directory(dir.at("missing").c_str()));
  test_support::write_file(dir.path() / "f", std::string("x"));
  EXPECT_FALSE(host::can_enter_directory(dir.at("f").c_str()));
}

TEST(HostFolders, MakingAFolderThatExistsFails) {
  test_support::ScratchDir dir;
  EXPECT_TRUE(host::make_directory(dir.at("new").c_str()));
  EXPECT_FALSE(host::make_directory(dir.at("new").c_str()));
  host::FileId a, b, c;
  ASSERT_TRUE(host::path_identity(dir.at("new").c_str(), &a));
  ASSERT_TRUE(host::path_identity(dir.at("new").c_str(), &b));
  ASSERT_TRUE(host::path_identity(dir.path().string().c_str(), &c));
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
}

TEST(HostFiles, CreateWriteSeekAndReadBack) {
  test_support::ScratchDir dir;
  std::string path = dir.at("data.bin");
  host::File* f = host::file_create(path.c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(host::file_write(f, "hello world", 11));
  ASSERT_TRUE(host::file_seek(f, 6));
  ASSERT_TRUE(host::file_write(f, "WORLD", 5));
  uint64_t length = 0;
  ASSERT_TRUE(host::file_length(f, &length));
  EXPECT_EQ(length, 11u);
  host::file_close(f);

  f = host::file_open_read(path.c_str());
  ASSERT_NE(f, nullptr);
  char buffer[16] = {};
  EXPECT_FALSE(host::file_read(f, buffer, 12)) << "a short read is a failure";
  ASSERT_TRUE(host::file_seek(f, 0));
  size_t got = 0;
  ASSERT_TRUE(host::file_read_some(f, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 11u);
  EXPECT_EQ(std::string(buffer, got), "hello WORLD");
  host::file_close(f);

  ASSERT_TRUE(host::measure_file(path.c_str(), &length));
  EXPECT_EQ(length, 11u);
  EXPECT_FALSE(host::measure_file(dir.at("missing").c_str(), &length));
  EXPECT_EQ(host::file_open_read(dir.path().string().c_str()), nullptr) << "a folder is not a file";
}

TEST(HostFiles, CreatingTruncatesAnExistingFile) {
  test_support::ScratchDir dir;
  std::string path = dir.at("old.bin");
  test_support::write_file(path, std::string(1000, 'x'));
  host::File* f = host::file_create(path.c_str());
  ASSERT_NE(f, nullptr);
  uint64_t length = 99;
  ASSERT_TRUE(host::file_length(f, &length));
  EXPECT_EQ(length, 0u);
  host::file_close(f);
  EXPECT_TRUE(host::remove_file(path.c_str()));
  EXPECT_FALSE(fs::exists(path));
}

TEST(HostFiles, ExtendingWithZerosGrowsTheFileAndLeavesThePositionAtTheEnd) {
  test_support::ScratchDir dir;
  std::string path = dir.at("grow.bin");
  host::File* f = host::file_create(path.c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(host::file_write(f, "abc", 3));
  ASSERT_TRUE(host::file_extend_with_zeros(f, 100000));
  ASSERT_TRUE(host::file_write(f, "z", 1));
  host::file_close(f);
  std::vector<uint8_t> bytes = test_support::read_file(path);
  ASSERT_EQ(bytes.size(), 100001u);
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_TRUE(std::all_of(bytes.begin() + 3, bytes.end() - 1, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(bytes.back(), 'z');
}

}  // namespace
