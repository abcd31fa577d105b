// The host layer over files and folders, run natively and under wine so both
// implementations are exercised.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

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

TEST(HostFolders, MissingFoldersAreCreatedWithTheirParents) {
  test_support::ScratchDir dir;
  const std::string deep = dir.at("a/b/c");
  EXPECT_TRUE(host::make_folders(deep.c_str()));
  EXPECT_EQ(host::path_kind(deep.c_str()), host::PathKind::Folder);
  EXPECT_TRUE(host::make_folders(deep.c_str()));  // already there
  EXPECT_TRUE(host::make_folders(dir.at("a/b/d/").c_str()));
  EXPECT_EQ(host::path_kind(dir.at("a/b/d").c_str()), host::PathKind::Folder);

  test_support::write_file(dir.at("file"), std::string("x"));
  EXPECT_FALSE(host::make_folders(dir.at("file").c_str()));
  EXPECT_FALSE(host::make_folders(dir.at("file/below").c_str()));
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

// Names in a folder, sorted, "." and ".." left out.
std::vector<std::string> sorted_names(const std::string& folder) {
  std::set<std::string> names = list_names(folder);
  names.erase(".");
  names.erase("..");
  return std::vector<std::string>(names.begin(), names.end());
}

std::string text_of(const std::string& path) {
  std::vector<uint8_t> bytes = test_support::read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

// Until its commit an output lies beside its target under a ".NAME.XXXXXX.part"
// name, and the target keeps its bytes; the commit puts it in the target's
// place, a new file or a replaced one, with a name cut to fit when it is long.
TEST(HostOutputs, TheTargetChangesOnlyAtTheCommit) {
  test_support::ScratchDir dir;
#ifdef _WIN32
  // A target path of 259 bytes, the most the ANSI calls take.
  const size_t long_name = 259 - dir.path().string().size() - 1;
#else
  const size_t long_name = 250;
#endif
  for (const std::string& name : {std::string("old.bin"), std::string("new.bin"), std::string(long_name, 'n')}) {
    const std::string target = dir.at(name);
    if (name == "old.bin") test_support::write_file(target, std::string("previous"));
    for (const char* data : {"fresh", "again"}) {
      const bool existed = fs::exists(target);
      const std::string before = existed ? text_of(target) : "";
      host::Output* out = host::output_begin(target.c_str(), data[0] == 'a');
      ASSERT_NE(out, nullptr) << name;
      ASSERT_TRUE(host::file_write(host::output_file(out), data, 5));
      std::vector<std::string> names = sorted_names(dir.path().string());
      ASSERT_EQ(names.size(), existed ? 2u : 1u) << name;
      const std::string& temp = names[0];
      EXPECT_EQ(temp[0], '.');
      EXPECT_EQ(temp.substr(temp.size() - 5), ".part");
      EXPECT_EQ(temp.substr(1, 5), name.substr(0, 5));
      EXPECT_EQ(existed ? text_of(target) : "", before);
      EXPECT_EQ(host::output_commit(out, nullptr), host::Commit::Done);
      EXPECT_EQ(sorted_names(dir.path().string()), std::vector<std::string>{name});
      EXPECT_EQ(text_of(target), data);
    }
    fs::remove(target);
  }
}

// Abandoned or discarded (as an interruption does), an output leaves the
// target as it was and nothing beside it.
TEST(HostOutputs, AnAbandonedOutputLeavesTheTargetAsItWas) {
  test_support::ScratchDir dir;
  const std::string target = dir.at("keep.bin");
  test_support::write_file(target, std::string("previous"));
  host::Output* out = host::output_begin(target.c_str(), true);
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(host::file_write(host::output_file(out), "half", 4));
  host::output_abandon(out);
  EXPECT_EQ(sorted_names(dir.path().string()), std::vector<std::string>{"keep.bin"});

  out = host::output_begin(target.c_str(), false);
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(host::file_write(host::output_file(out), "half", 4));
  host::discard_outputs_in_flight();
#ifndef _WIN32
  // Windows removes a file that is still open once it is closed.
  EXPECT_EQ(sorted_names(dir.path().string()), std::vector<std::string>{"keep.bin"});
#endif
  host::output_abandon(out);
  EXPECT_EQ(sorted_names(dir.path().string()), std::vector<std::string>{"keep.bin"});
  EXPECT_EQ(text_of(target), "previous");
}

// A device is written in place; a folder is never a target.
TEST(HostOutputs, DevicesAreWrittenInPlaceAndFoldersRefused) {
  test_support::ScratchDir dir;
#ifdef _WIN32
  const char* device = "NUL";
#else
  const char* device = "/dev/null";
#endif
  host::Output* out = host::output_begin(device, true);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(host::file_write(host::output_file(out), "gone", 4));
  EXPECT_EQ(host::output_commit(out, nullptr), host::Commit::Done);
  EXPECT_EQ(host::output_begin(dir.path().string().c_str(), true), nullptr);
  EXPECT_TRUE(sorted_names(dir.path().string()).empty());
}

#ifdef _WIN32
// A target another program holds open cannot be replaced: the finished file
// is kept beside it, named, and the target keeps its bytes.
TEST(HostOutputs, ATargetHeldOpenKeepsTheFinishedFileAside) {
  test_support::ScratchDir dir;
  const std::string target = dir.at("held.gcm");
  test_support::write_file(target, std::string("previous"));
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  host::Output* out = host::output_begin(target.c_str(), true);
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(host::file_write(host::output_file(out), "fresh", 5));
  std::string kept;
  EXPECT_EQ(host::output_commit(out, &kept), host::Commit::KeptAside);
  CloseHandle(held);
  EXPECT_EQ(text_of(target), "previous");
  EXPECT_EQ(text_of(kept), "fresh");
  EXPECT_EQ(fs::path(kept).parent_path(), dir.path());
  host::discard_outputs_in_flight();
  EXPECT_TRUE(fs::exists(kept)) << "a kept file is no longer in flight";
}
#else
// A link is a target of its own: replaced by the output, never written
// through, dangling or not; what it points to is never created or changed.
// It also counts as existing, and as lying where it points.
TEST(HostOutputs, ALinkIsReplacedNeverWrittenThrough) {
  test_support::ScratchDir dir;
  fs::create_directories(dir.path() / "elsewhere");
  test_support::write_file(dir.at("elsewhere/victim"), std::string("victim"));
  fs::create_symlink(dir.at("elsewhere/victim"), dir.at("link"));
  fs::create_symlink(dir.at("elsewhere/new"), dir.at("dangling"));
  EXPECT_EQ(host::entry_kind(dir.at("dangling").c_str()), host::EntryKind::Link);
  EXPECT_EQ(host::path_kind(dir.at("dangling").c_str()), host::PathKind::Missing);
  EXPECT_TRUE(host::path_is_inside_folder(dir.at("dangling").c_str(), dir.at("elsewhere").c_str()));
  EXPECT_FALSE(host::path_is_inside_folder(dir.at("new").c_str(), dir.at("elsewhere").c_str()));
  for (const char* name : {"link", "dangling"}) {
    host::Output* out = host::output_begin(dir.at(name).c_str(), true);
    ASSERT_NE(out, nullptr) << name;
    ASSERT_TRUE(host::file_write(host::output_file(out), "fresh", 5));
    EXPECT_EQ(host::output_commit(out, nullptr), host::Commit::Done);
    EXPECT_EQ(host::entry_kind(dir.at(name).c_str()), host::EntryKind::File) << name;
    EXPECT_EQ(text_of(dir.at(name)), "fresh");
  }
  EXPECT_EQ(sorted_names(dir.at("elsewhere")), std::vector<std::string>{"victim"});
  EXPECT_EQ(text_of(dir.at("elsewhere/victim")), "victim");
}
#endif

}  // namespace
