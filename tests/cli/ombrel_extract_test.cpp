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

host::PathKind kind_of(const std::string& path) { return host::path_kind(path.c_str()); }

TEST(OmbrelExtract, MissingDestinationFoldersAreCreatedWithTheirParents) {
  ScratchDir dir;
  const std::string deep = dir.at("a/b/c");
  EXPECT_TRUE(make_folders(deep));
  EXPECT_EQ(kind_of(deep), host::PathKind::Folder);
  EXPECT_TRUE(make_folders(deep));  // already there
  EXPECT_TRUE(make_folders(dir.at("a/b/d/")));
  EXPECT_EQ(kind_of(dir.at("a/b/d")), host::PathKind::Folder);

  test_support::write_file(dir.at("file"), std::string("x"));
  EXPECT_FALSE(make_folders(dir.at("file")));
  EXPECT_FALSE(make_folders(dir.at("file/below")));
}

ExtractionPlan plan_for(const FstNode* first, const std::string& image_folder,
                        const std::string& host_folder, bool overwrite = false) {
  PlanRequest request;
  request.first = first;
  request.image_folder = image_folder;
  request.host_folder = host_folder;
  request.overwrite = overwrite;
  ExtractionPlan plan;
  plan_extraction(request, &plan);
  return plan;
}

TEST(OmbrelExtract, PlanTotalsTheFilesInCopyOrder) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  t.add(a, "one", false, 10);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "two", false, 20);
  t.add(t.root(), "three", false, 30);

  ExtractionPlan plan = plan_for(t.root()->firstChild, "/", dir.path().string());
  EXPECT_EQ(plan.stop, PlanStop::None);
  EXPECT_EQ(plan.total_bytes, 60u);
  EXPECT_EQ(plan.file_sizes, (std::vector<uint32_t>{10, 20, 30}));
  plan = plan_for(a->firstChild, "/a", dir.at("a"));
  EXPECT_EQ(plan.total_bytes, 30u);
}

TEST(OmbrelExtract, AnythingThatExistsStopsThePlanUnlessOverwriting) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "file", false, 5);
  for (int i = 0; i < 5; ++i) t.add(t.root(), "f" + std::to_string(i), false, 1);

  test_support::write_file(dir.at("a/b/file"), std::string("x"));
  for (int i = 0; i < 5; ++i) test_support::write_file(dir.at("f" + std::to_string(i)), std::string("x"));
  ExtractionPlan plan = plan_for(t.root()->firstChild, "/", dir.path().string());
  EXPECT_EQ(plan.stop, PlanStop::Exists);
  // Folders and files alike, in copy order, the first few named.
  EXPECT_EQ(plan.existing, (std::vector<std::string>{dir.at("a"), dir.at("a/b"), dir.at("a/b/file")}));
  EXPECT_EQ(plan.existing_count, 8u);
  std::string message = plan_stop_message(plan);
  EXPECT_NE(message.find("(and 5 more)"), std::string::npos) << message;
  EXPECT_NE(message.find("--overwrite"), std::string::npos) << message;

  // Overwriting merges into folders and replaces files...
  EXPECT_EQ(plan_for(t.root()->firstChild, "/", dir.path().string(), true).stop, PlanStop::None);
  // ...but a folder cannot take a file's place, nor a file a folder's.
  ScratchDir other;
  test_support::write_file(other.at("file/inside"), std::string("x"));
  ExtractionPlan folder_in_way = plan_for(b->firstChild, "/a/b", other.path().string(), true);
  EXPECT_EQ(folder_in_way.stop, PlanStop::WrongKind);
  EXPECT_EQ(folder_in_way.where, other.at("file"));
  ScratchDir third;
  test_support::write_file(third.at("b"), std::string("x"));
  EXPECT_EQ(plan_for(a->firstChild, "/a", third.path().string(), true).where, third.at("b"));
  // Into a folder that does not exist yet, nothing is in the way.
  EXPECT_EQ(plan_for(t.root()->firstChild, "/", dir.at("new")).stop, PlanStop::None);
}

TEST(OmbrelExtract, PlanNamesTheFirstUnsafeOrDuplicateEntryAndTheImageItself) {
  ScratchDir dir;
  struct Case {
    std::vector<const char*> names;  // entries of /a, after a safe one
    PlanStop stop;
    std::string where;
  } cases[] = {
      {{".."}, PlanStop::UnsafeName, "/a/.."},
      {{"."}, PlanStop::UnsafeName, "/a/."},
      {{""}, PlanStop::UnsafeName, "/a/"},
      {{"x\\..\\escape"}, PlanStop::UnsafeName, "/a/x\\..\\escape"},
      {{"fine"}, PlanStop::DuplicateName, "/a/fine"},
      {{"other", "other"}, PlanStop::DuplicateName, "/a/other"},
  };
  for (const Case& c : cases) {
    Tree t;
    FstNode* a = t.add(t.root(), "a", true);
    t.add(a, "fine", false, 1);
    for (const char* name : c.names) t.add(a, name, false, 2);
    ExtractionPlan plan = plan_for(t.root()->firstChild, "/", dir.path().string());
    EXPECT_EQ(plan.stop, c.stop) << c.where;
    EXPECT_EQ(plan.where, c.where);
  }
  // A target that is the image: refused even when overwriting.
  test_support::write_file(dir.at("disc.gcm"), std::string("image"));
  Tree t;
  t.add(t.root(), "disc.gcm", false, 5);
  PlanRequest request;
  request.first = t.root()->firstChild;
  request.image_folder = "/";
  request.host_folder = dir.path().string();
  request.overwrite = true;
  ASSERT_TRUE(host::path_identity(dir.at("disc.gcm").c_str(), &request.image_id));
  request.has_image_id = true;
  ExtractionPlan plan;
  plan_extraction(request, &plan);
  EXPECT_EQ(plan.stop, PlanStop::TargetIsImage);
  EXPECT_EQ(plan.where, dir.at("disc.gcm"));
}

TEST(OmbrelExtract, ProgressFollowsTheReadersCallbacks) {
  ExtractionPlan plan;
  plan.total_bytes = 4097 + 0 + 5903;
  plan.file_sizes = {4097, 0, 5903};
  ExtractionProgress p;
  extraction_progress_init(&p, plan);
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
