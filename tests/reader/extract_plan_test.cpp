// The dry run of an extraction: what it totals, what stops it, and that it
// stops where the extraction itself would refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"
#include "support/node_tree.h"
#include "support/test_support.h"

namespace {

using test_support::ScratchDir;
using test_support::Tree;

IsoExtractionPlan plan_for(const FstNode* first, const std::string& host_folder, bool overwrite = false) {
  IsoExtractionPlan plan;
  IsoPlanStart(&plan, overwrite ? 1 : 0);
  IsoPlanChildren(&plan, first, host_folder.c_str());
  IsoPlanFinish(&plan);
  return plan;
}

TEST(ReaderPlan, PlanTotalsTheFilesInCopyOrder) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  t.add(a, "one", false, 10);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "two", false, 20);
  t.add(t.root(), "three", false, 30);

  IsoExtractionPlan plan = plan_for(t.root()->firstChild, dir.path().string());
  EXPECT_EQ(plan.stop, IsoPlanGo);
  EXPECT_EQ(plan.totalBytes, 60u);
  EXPECT_EQ(plan.fileSizes, (std::vector<uint32_t>{10, 20, 30}));
  plan = plan_for(a->firstChild, dir.at("a"));
  EXPECT_EQ(plan.totalBytes, 30u);
}

TEST(ReaderPlan, AnythingThatExistsStopsThePlanUnlessOverwriting) {
  ScratchDir dir;
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "file", false, 5);
  for (int i = 0; i < 5; ++i) t.add(t.root(), "f" + std::to_string(i), false, 1);

  test_support::write_file(dir.at("a/b/file"), std::string("x"));
  for (int i = 0; i < 5; ++i) test_support::write_file(dir.at("f" + std::to_string(i)), std::string("x"));
  IsoExtractionPlan plan = plan_for(t.root()->firstChild, dir.path().string());
  EXPECT_EQ(plan.stop, IsoPlanExists);
  // Folders and files alike, in copy order, the first few named.
  EXPECT_EQ(plan.existing, (std::vector<std::string>{dir.at("a"), dir.at("a/b"), dir.at("a/b/file")}));
  EXPECT_EQ(plan.existingCount, 8u);

  // Overwriting merges into folders and replaces files...
  EXPECT_EQ(plan_for(t.root()->firstChild, dir.path().string(), true).stop, IsoPlanGo);
  // ...but a folder cannot take a file's place, nor a file a folder's.
  ScratchDir other;
  test_support::write_file(other.at("file/inside"), std::string("x"));
  IsoExtractionPlan folder_in_way = plan_for(b->firstChild, other.path().string(), true);
  EXPECT_EQ(folder_in_way.stop, IsoPlanWrongKind);
  EXPECT_EQ(folder_in_way.where, other.at("file"));
  ScratchDir third;
  test_support::write_file(third.at("b"), std::string("x"));
  EXPECT_EQ(plan_for(a->firstChild, third.path().string(), true).where, third.at("b"));
  // Into a folder that does not exist yet, nothing is in the way.
  EXPECT_EQ(plan_for(t.root()->firstChild, dir.at("new")).stop, IsoPlanGo);
}

TEST(ReaderPlan, PlanNamesTheFirstUnsafeOrDuplicateEntry) {
  ScratchDir dir;
  struct Case {
    std::vector<const char*> names;  // entries of /a, after a safe one
    int stop;
    std::string where;
  } cases[] = {
      {{".."}, IsoPlanUnsafeName, "/a/.."},
      {{"."}, IsoPlanUnsafeName, "/a/."},
      {{""}, IsoPlanUnsafeName, "/a/"},
      {{"x\\..\\escape"}, IsoPlanUnsafeName, "/a/x\\..\\escape"},
      {{"fine"}, IsoPlanDuplicateName, "/a/fine"},
      {{"other", "other"}, IsoPlanDuplicateName, "/a/other"},
  };
  for (const Case& c : cases) {
    Tree t;
    FstNode* a = t.add(t.root(), "a", true);
    t.add(a, "fine", false, 1);
    for (const char* name : c.names) t.add(a, name, false, 2);
    IsoExtractionPlan plan = plan_for(t.root()->firstChild, dir.path().string());
    EXPECT_EQ(plan.stop, c.stop) << c.where;
    EXPECT_EQ(plan.where, c.where);
  }
#ifndef _WIN32
  // Each name joins the host folder in the host's form: UTF-8 here, its
  // bytes when it is no Shift-JIS.
  char path[ISO_HOST_PATH_CAPACITY];
  const std::string sep(1, host::PATH_SEPARATOR);
  ASSERT_TRUE(IsoJoinHostPath("out", "\x83\x66\x81\x5B\x83\x5E", path, sizeof path));
  EXPECT_EQ(std::string(path), "out" + sep + "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF");
  ASSERT_TRUE(IsoJoinHostPath("out", "x\x81", path, sizeof path));
  EXPECT_EQ(std::string(path), "out" + sep + "x\x81");
#endif
}

// The dry run of the mounted image's extractions stops where they would
// refuse: the image itself as a target (even when overwriting), a second
// entry for one host file, a boot area past the image's end; otherwise its
// files are those the extraction copies, in its order.
TEST(ReaderPlan, TheDryRunStopsWhereTheExtractionRefuses) {
  ReaderFixture fx;
  RawImage image;
  const uint32_t a = image.add_data(test_support::patterned_bytes(10, 1));
  const uint32_t b = image.add_data(test_support::patterned_bytes(20, 2));
  image.write_table({file_entry("raw.gcm", a, 10), dir_entry("d", 5), file_entry("y", b, 20), file_entry("z", a, 3),
                     dir_entry("d", 6)});
  const std::string path = image.save(fx.scratch);
  ASSERT_TRUE(fx.mount_path(path));
  fx.record_callbacks();

  IsoExtractionPlan plan;
  IsoPlanStart(&plan, 1);
  IsoPlanDirectory(&plan, "/", fx.scratch.path().string().c_str());
  EXPECT_EQ(plan.stop, IsoPlanTargetIsImage);
  EXPECT_EQ(plan.where, path);

  const std::string out = fx.scratch.at("out");
  IsoPlanStart(&plan, 0);
  IsoPlanDirectory(&plan, "/", out.c_str());
  EXPECT_EQ(plan.stop, IsoPlanDuplicateName);
  EXPECT_EQ(plan.where, "/d");
  EXPECT_EQ(plan.fileSizes, (std::vector<uint32_t>{10, 20, 3}));
  test_support::fs::create_directories(out);
  EXPECT_FALSE(IsoExtractDirectory("/", out.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrDuplicateName);
  std::vector<std::string> started;
  for (const std::string& e : fx.events)
    if (e.rfind("start:", 0) == 0) started.push_back(e);
  const std::string sep(1, host::PATH_SEPARATOR);
  EXPECT_EQ(started, (std::vector<std::string>{"start:" + out + sep + "raw.gcm", "start:" + out + sep + "d" + sep + "y",
                                               "start:" + out + sep + "d" + sep + "z"}));

  // One folder alone, and one file found as IsoExtractFile finds it.
  IsoPlanStart(&plan, 0);
  IsoPlanDirectory(&plan, "/d", fx.scratch.at("other").c_str());
  EXPECT_EQ(plan.fileSizes, (std::vector<uint32_t>{20, 3}));
  IsoPlanFile(&plan, "/D/z", fx.scratch.at("other").c_str());
  EXPECT_EQ(plan.fileSizes, (std::vector<uint32_t>{20, 3, 3}));
  EXPECT_EQ(plan.stop, IsoPlanGo);

  // An apploader whose header runs past the image's end: unpack writes nothing.
  write_be32(&image.bytes[APPLOADER_OFFSET + APPLOADER_CODE_SIZE_OFFSET], 0x7FFFFFF0u);
  ASSERT_TRUE(fx.mount_path(image.save(fx.scratch, "cut.gcm")));
  IsoPlanStart(&plan, 0);
  IsoPlanUnpack(&plan, out.c_str());
  EXPECT_EQ(plan.stop, IsoPlanAreaPastEnd);
  EXPECT_EQ(plan.area, IsoAreaApploader);
  const std::string unpacked = fx.scratch.at("unpacked");
  test_support::fs::create_directories(unpacked);
  EXPECT_FALSE(IsoUnpack(unpacked.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrRead);
  EXPECT_TRUE(test_support::fs::is_empty(unpacked));
}

}  // namespace
