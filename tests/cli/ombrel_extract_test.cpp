// ombrel-cli's side of an extraction: destination folders, what is checked
// before the reader writes anything, and whole-job progress.
#include <gtest/gtest.h>

#include <string>

#include "cli/ombrel_extract.h"
#include "cli/ombrel_test_tree.h"
#include "host/host_fs.h"
#include "support/test_support.h"

namespace {

using ombrel_test::Tree;
using test_support::ScratchDir;
namespace fs = std::filesystem;

TEST(OmbrelExtract, MissingDestinationFoldersAreCreatedWithTheirParents) {
  ScratchDir dir;
  const std::string deep = dir.at("a/b/c");
  EXPECT_TRUE(make_folders(deep));
  EXPECT_EQ(host_path_kind(deep), HostPathKind::Folder);
  EXPECT_TRUE(make_folders(deep));  // already there
  EXPECT_TRUE(make_folders(dir.at("a/b/d/")));
  EXPECT_EQ(host_path_kind(dir.at("a/b/d")), HostPathKind::Folder);

  test_support::write_file(dir.at("file"), std::string("x"));
  EXPECT_EQ(host_path_kind(dir.at("file")), HostPathKind::File);
  EXPECT_FALSE(make_folders(dir.at("file")));
  EXPECT_FALSE(make_folders(dir.at("file/below")));
  EXPECT_EQ(host_path_kind(dir.at("nothing")), HostPathKind::Missing);
}

TEST(OmbrelExtract, CheckTotalsTheFilesInCopyOrder) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  t.add(a, "one", false, 10);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "two", false, 20);
  t.add(t.root(), "three", false, 30);

  ExtractionCheck check;
  check_extraction(t.root()->firstChild, "/", dir.path().string(), &check);
  EXPECT_EQ(check.total_bytes, 60u);
  EXPECT_EQ(check.file_sizes, (std::vector<uint32_t>{10, 20, 30}));
  EXPECT_EQ(check.unsafe_entry, "");
  EXPECT_EQ(check.conflict, "");

  // Existing files are overwritten, so they are no obstacle.
  test_support::write_file(dir.at("three"), std::string("old"));
  test_support::write_file(dir.at("a/one"), std::string("old"));
  check_extraction(a->firstChild, "/a", dir.at("a"), &check);
  EXPECT_EQ(check.conflict, "");
  EXPECT_EQ(check.total_bytes, 30u);
}

TEST(OmbrelExtract, CheckFindsWhatWouldStopTheReader) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "file", false, 5);

  ExtractionCheck check;
  // The reader creates every folder below the top one and refuses existing ones.
  test_support::write_file(dir.at("a/b/other"), std::string("x"));
  check_extraction(t.root()->firstChild, "/", dir.path().string(), &check);
  EXPECT_EQ(check.conflict, dir.at("a"));
  check_extraction(a->firstChild, "/a", dir.at("a"), &check);
  EXPECT_EQ(check.conflict, dir.at("a/b"));

  // A missing folder's subtree is passed over, its next sibling is not.
  Tree t2;
  FstNode* m = t2.add(t2.root(), "m", true);
  FstNode* m2 = t2.add(m, "m2", true);
  t2.add(m2, "x", false, 1);
  t2.add(t2.root(), "mx", true);  // shares "m" as a prefix
  t2.add(t2.root(), "a", true);
  check_extraction(t2.root()->firstChild, "/", dir.path().string(), &check);
  EXPECT_EQ(check.conflict, dir.at("a"));
  fs::create_directories(dir.path() / "mx");
  check_extraction(t2.root()->firstChild, "/", dir.path().string(), &check);
  EXPECT_EQ(check.conflict, dir.at("mx"));
  // Into a folder that does not exist yet, nothing is in the way.
  check_extraction(t2.root()->firstChild, "/", dir.at("new"), &check);
  EXPECT_EQ(check.conflict, "");

  // A folder where a file is to be written.
  ScratchDir other;
  test_support::write_file(other.at("file/inside"), std::string("x"));
  check_extraction(b->firstChild, "/a/b", other.path().string(), &check);
  EXPECT_EQ(check.conflict, other.at("file"));

  // A file where a folder is to be made.
  ScratchDir third;
  test_support::write_file(third.at("b"), std::string("x"));
  check_extraction(a->firstChild, "/a", third.path().string(), &check);
  EXPECT_EQ(check.conflict, third.at("b"));
}

TEST(OmbrelExtract, CheckNamesTheFirstUnsafeEntry) {
  ScratchDir dir;
  for (const char* bad : {"..", ".", ""}) {
    Tree t;
    FstNode* a = t.add(t.root(), "a", true);
    t.add(a, "fine", false, 1);
    t.add(a, bad, false, 2);
    t.add(t.root(), "..", true);
    ExtractionCheck check;
    check_extraction(t.root()->firstChild, "/", dir.path().string(), &check);
    EXPECT_EQ(check.unsafe_entry, std::string("/a/") + bad);
    EXPECT_EQ(check.conflict, "");
  }
  Tree t;
  t.add(t.root(), "x/../../escape", false, 1);
  ExtractionCheck check;
  check_extraction(t.root()->firstChild, "/", dir.path().string(), &check);
  EXPECT_EQ(check.unsafe_entry, "/x/../../escape");
}

TEST(OmbrelExtract, ProgressFollowsTheReadersCallbacks) {
  ExtractionCheck check;
  check.total_bytes = 4097 + 0 + 5903;
  check.file_sizes = {4097, 0, 5903};
  ExtractionProgress p;
  extraction_progress_init(&p, check);
  EXPECT_EQ(job_percent(p.job), 0);

  extraction_file_started(&p);
  extraction_file_progress(&p, 102);  // the reader's unclamped first block
  EXPECT_EQ(job_done_bytes(p.job), 4097u);
  extraction_file_progress(&p, 100);
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 4097u);

  extraction_file_started(&p);  // the empty file reports no progress
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 4097u);

  extraction_file_started(&p);
  extraction_file_progress(&p, 50);
  EXPECT_EQ(job_done_bytes(p.job), 4097u + 2951u);
  extraction_file_finished(&p);
  EXPECT_EQ(job_percent(p.job), 100);

  // Calls beyond the files expected add nothing.
  extraction_file_started(&p);
  extraction_file_progress(&p, 100);
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 10000u);
}

TEST(OmbrelExtract, HostPathsJoinWithTheHostSeparator) {
  std::string sep(1, host::PATH_SEPARATOR);
  EXPECT_EQ(join_host_path("out", "a/b/c.bin"), "out" + sep + "a" + sep + "b" + sep + "c.bin");
  // Each image name as the reader writes it: UTF-8 here, unchanged when it
  // is not Shift-JIS.
  EXPECT_EQ(join_host_path("out", "\x83\x66\x81\x5B\x83\x5E/x\x81"),
            "out" + sep + "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF" + sep + "x\x81");
}

}  // namespace
