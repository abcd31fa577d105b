// The edit engine: where new data goes, the table's order, the name rules,
// header fields, the full-disc limit, what it refuses to open, and an image
// that stays whole when the write stops after any of its writes.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "builder/build_fixture.h"
#include "builder/image_edit.h"
#include "builder/image_edit_testing.h"
#include "container/junk.h"
#include "disc/disc_format.h"
#include "reader/reader.h"

namespace {

namespace fs = test_support::fs;
using Bytes = std::vector<uint8_t>;

// A small image as trelvik-cli writes it by default (magic word, parent
// links): /a.bin 5000 bytes, /sub/b.bin 3000, /sub/c.bin 100, /z.bin 7000.
class EditImage : public ::testing::Test {
 protected:
  BuildFixture f;
  std::string image;

  void SetUp() override {
    f.add_file("a.bin", 5000, 1);
    f.add_file("sub/b.bin", 3000, 2);
    f.add_file("sub/c.bin", 100, 3);
    f.add_file("z.bin", 7000, 4);
    build(0);
  }
  void TearDown() override {
    builder_edit_reset();
    IsoReset();
  }

  void build(uint32_t alignment, bool magic = true) {
    builder_reset();
    builder_set_disc_magic(magic);
    builder_set_folder_parent_links(magic);
    builder_set_file_alignment(alignment);
    ASSERT_TRUE(builder_prepare(&f.settings));
    ASSERT_TRUE(builder_write_image(false));
    builder_reset();
    image = f.output;
  }

  std::string host_file(const std::string& name, size_t size, uint8_t seed) {
    std::string path = f.scratch.at("in/" + name);
    test_support::write_patterned_file(path, size, seed);
    return path;
  }

  Bytes bytes() const { return test_support::read_file(image); }

  bool plan_and_apply() {
    return builder_edit_plan() && builder_edit_apply();
  }
};

// Every file of the image as the reader sees it: path to bytes, and the
// order of entries as "path" lines.
struct ReadBack {
  std::map<std::string, Bytes> files;
  std::map<std::string, uint32_t> offsets;
  std::vector<std::string> order;
  bool mounted = false;
};

ReadBack read_back(const std::string& image) {
  ReadBack r;
  IsoReset();
  if (!IsoMount(image.c_str(), 1)) return r;
  r.mounted = true;
  std::ifstream disc(image, std::ios::binary);
  // Table order: a folder, then everything inside it.
  std::function<void(const FstNode*, const std::string&)> walk = [&](const FstNode* folder, const std::string& path) {
    for (const FstNode* n = folder->firstChild; n; n = n->next) {
      std::string p = path + "/" + n->name;
      r.order.push_back(p);
      if (n->isDirectory) {
        walk(n, p);
        continue;
      }
      r.offsets[p] = n->offset;
      // A file past the image's end reads short, which the comparison sees.
      Bytes data(n->size);
      disc.clear();
      disc.seekg(n->offset);
      disc.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
      data.resize(size_t(disc.gcount()));
      r.files[p] = data;
    }
  };
  walk(IsoGetRoot(), "");
  IsoUnmount();
  return r;
}

TEST_F(EditImage, NewDataTakesTheFirstFreeGapAtItsAlignmentAndFreedSpaceLater) {
  const ReadBack before = read_back(image);
  const uint64_t size_before = fs::file_size(image);
  const uint32_t b_offset = before.offsets.at("/sub/b.bin");

  // A replacement never reuses the space it frees in the same edit; that
  // space is zeroed once the new table is live.
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_replace("/sub/b.bin", host_file("b2", 3000, 9).c_str()));
  ASSERT_TRUE(plan_and_apply()) << builder_edit_last_error();
  const EditStep* step = builder_edit_step(0);
  EXPECT_EQ(step->previous_offset, b_offset);
  EXPECT_GE(step->data_offset, size_before);  // past the last file: no gap fitted
  EXPECT_EQ(step->data_offset % FILE_ALIGNMENT, 0u);
  ReadBack after = read_back(image);
  EXPECT_EQ(after.files.at("/sub/b.bin"), test_support::patterned_bytes(3000, 9));
  Bytes disc = bytes();
  EXPECT_EQ(Bytes(disc.begin() + b_offset, disc.begin() + b_offset + 3000), Bytes(3000, 0));
  // A smaller image grows only as far as it must.
  EXPECT_EQ(fs::file_size(image), builder_edit_get_plan()->image_size_after);
  EXPECT_EQ(builder_edit_get_plan()->image_size_after, builder_edit_get_plan()->content_end);

  // The next edit finds the zeroed space, and the disc's filler there too.
  junk_fill_disc(disc.data(), disc[DISC_NUMBER_OFFSET], b_offset, disc.data() + b_offset, 3000);
  test_support::write_file(image, disc);
  builder_edit_reset();
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_add("/new/d.bin", host_file("d", 2500, 10).c_str()));
  ASSERT_TRUE(plan_and_apply());
  EXPECT_EQ(builder_edit_step(0)->data_offset, b_offset);
  EXPECT_EQ(read_back(image).files.at("/new/d.bin"), test_support::patterned_bytes(2500, 10));

  // Bytes that are neither zeros nor filler are never free, in or out of
  // the table: data only the disc's own boot code knows survives.
  builder_edit_reset();
  disc = bytes();
  const uint64_t end = disc.size();
  Bytes outside(4096, 0x5A);
  disc.insert(disc.end(), outside.begin(), outside.end());
  test_support::write_file(image, disc);
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_add("/e.bin", host_file("e", 40000, 11).c_str()));  // no gap inside fits
  ASSERT_TRUE(plan_and_apply());
  EXPECT_GE(builder_edit_step(0)->data_offset, end + outside.size());
  disc = bytes();
  EXPECT_EQ(Bytes(disc.begin() + end, disc.begin() + end + outside.size()), outside);
  const ReadBack last = read_back(image);
  for (const auto& kept : before.offsets) {
    if (kept.first == "/sub/b.bin") continue;
    EXPECT_EQ(last.offsets.at(kept.first), kept.second) << kept.first;
  }
}

TEST_F(EditImage, ReplacedDataKeepsItsAlignmentClassAndAFullSizeImageItsSize) {
  build(MAX_FILE_ALIGNMENT);
  fs::resize_file(image, DISC_IMAGE_SIZE);  // maximised, sparse here
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_replace("/z.bin", host_file("z", 40000, 5).c_str()));
  // A new file takes 32 KiB where every file of its extension has it.
  ASSERT_TRUE(builder_edit_add("/y.bin", host_file("y", 10, 6).c_str()));
  ASSERT_TRUE(builder_edit_add("/y.txt", host_file("y", 10, 6).c_str()));
  ASSERT_TRUE(plan_and_apply()) << builder_edit_last_error();
  EXPECT_EQ(builder_edit_step(0)->data_offset % MAX_FILE_ALIGNMENT, 0u);
  EXPECT_EQ(builder_edit_step(1)->data_offset % MAX_FILE_ALIGNMENT, 0u);
  EXPECT_EQ(builder_edit_step(2)->alignment, FILE_ALIGNMENT);
  EXPECT_EQ(fs::file_size(image), DISC_IMAGE_SIZE);
  EXPECT_EQ(read_back(image).files.at("/z.bin"), test_support::patterned_bytes(40000, 5));
}

TEST_F(EditImage, KeptEntriesKeepTheirOrderAndOffsetsNewOnesGoLastInTheirFolder) {
  const ReadBack before = read_back(image);
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_add("/sub/a0.bin", host_file("a0", 10, 7).c_str()));
  ASSERT_TRUE(builder_edit_add("/SUB/deep/x/y.bin", host_file("y", 20, 8).c_str()));  // folders ignore case
  ASSERT_TRUE(builder_edit_rename("/a.bin", "renamed.bin"));
  ASSERT_TRUE(builder_edit_add("/top.bin", host_file("t", 30, 9).c_str()));
  ASSERT_TRUE(builder_edit_remove("/sub/b.bin"));
  EXPECT_EQ(builder_edit_step(1)->folders_created, 2u);
  EXPECT_EQ(builder_edit_step(4)->entries_removed, 1u);
  ASSERT_TRUE(plan_and_apply()) << builder_edit_last_error();

  const ReadBack after = read_back(image);
  EXPECT_EQ(after.order, (std::vector<std::string>{"/renamed.bin", "/sub", "/sub/c.bin", "/sub/a0.bin", "/sub/deep",
                                                   "/sub/deep/x", "/sub/deep/x/y.bin", "/z.bin", "/top.bin"}));
  EXPECT_EQ(after.offsets.at("/renamed.bin"), before.offsets.at("/a.bin"));
  EXPECT_EQ(after.offsets.at("/sub/c.bin"), before.offsets.at("/sub/c.bin"));
  EXPECT_EQ(after.files.at("/renamed.bin"), before.files.at("/a.bin"));
  EXPECT_EQ(after.files.at("/sub/deep/x/y.bin"), test_support::patterned_bytes(20, 8));

  // Removing a folder takes everything below it; the table still checks.
  builder_edit_reset();
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_remove("/sub"));
  EXPECT_EQ(builder_edit_step(0)->entries_removed, 6u);
  ASSERT_TRUE(plan_and_apply());
  EXPECT_EQ(read_back(image).order, (std::vector<std::string>{"/renamed.bin", "/z.bin", "/top.bin"}));
}

TEST_F(EditImage, NamesFollowTheRulesAndARefusedActionChangesNothing) {
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  const std::string data = host_file("n", 10, 1);
  struct Case {
    const char* name;
    uint16_t code;
  } cases[] = {
      {"", EDIT_ERR_BAD_NAME},          {"..", EDIT_ERR_BAD_NAME},          {"a\\b", EDIT_ERR_BAD_NAME},
      {"x\x01y", EDIT_ERR_BAD_NAME},    {"\x81", EDIT_ERR_BAD_NAME},        // a lead byte alone
      {"Z.BIN", EDIT_ERR_NAME_TAKEN},   {"SUB", EDIT_ERR_NAME_TAKEN},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(builder_edit_rename("/a.bin", c.name)) << c.name;
    EXPECT_EQ(builder_edit_last_error(), c.code) << c.name;
    // A refused name says which rule it breaks, as the name check words it.
    EXPECT_STREQ(builder_edit_last_name_problem(),
                 c.code == EDIT_ERR_BAD_NAME ? builder_edit_name_problem(c.name) : nullptr) << c.name;
  }
  // In a new file's path, the first name that breaks a rule.
  EXPECT_FALSE(builder_edit_add("/new/a\\b/c.bin", data.c_str()));
  EXPECT_STREQ(builder_edit_last_error_path(), "/new/a\\b");
  EXPECT_STREQ(builder_edit_last_name_problem(), builder_edit_name_problem("a\\b"));
  EXPECT_FALSE(builder_edit_rename("/a.bin", std::string(256, 'n').c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_BAD_NAME);
  // Adding over a file, below a file, or a file that is not there.
  EXPECT_FALSE(builder_edit_add("/sub/C.bin", data.c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_NAME_TAKEN);
  EXPECT_FALSE(builder_edit_add("/z.bin/q", data.c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_WRONG_KIND);
  EXPECT_FALSE(builder_edit_replace("/sub", data.c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_WRONG_KIND);
  EXPECT_FALSE(builder_edit_remove("/"));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_WRONG_KIND);
  EXPECT_FALSE(builder_edit_remove("/sub/nope/x"));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_NO_SUCH_ENTRY);
  EXPECT_STREQ(builder_edit_last_error_path(), "/sub/nope");
  // Folders made for a refused addition do not stay.
  EXPECT_FALSE(builder_edit_add("/made/bad\\name", data.c_str()));
  EXPECT_FALSE(builder_edit_remove("/made"));
  EXPECT_EQ(builder_edit_step_count(), 0u);

  // A trail byte 0x5C is no separator ("ソ" is 0x83 0x5C); a name may change
  // its own case.
  EXPECT_TRUE(builder_edit_rename("/a.bin", "\x83\x5C.bin"));
  EXPECT_TRUE(builder_edit_rename("/z.bin", "Z.bin"));
  ASSERT_TRUE(plan_and_apply());
  const ReadBack after = read_back(image);
  EXPECT_EQ(after.order.front(), "/\x83\x5C.bin");
  EXPECT_EQ(after.order.back(), "/Z.bin");
}

TEST_F(EditImage, HeaderFieldsChangeAloneAndTheRegionWordFollowsTheLetter) {
  const Bytes before = bytes();
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  EditHeaderFields h = {};
  h.set_game_code = true;
  std::memcpy(h.game_code, "GZL", 3);
  h.set_maker_code = true;
  std::memcpy(h.maker_code, "8P", 2);
  h.set_game_name = true;
  std::strcpy(h.game_name, "Edited");
  h.set_region = true;
  h.region_letter = 'J';
  h.set_disc_number = true;
  h.disc_number = 1;
  h.set_revision = true;
  h.revision = 2;
  ASSERT_TRUE(builder_edit_set_header(&h));
  ASSERT_TRUE(plan_and_apply());
  Bytes after = bytes();
  EXPECT_EQ(std::string(after.begin(), after.begin() + 8), std::string("GZLJ8P\x01\x02", 8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[0x20])), "Edited");
  EXPECT_EQ(read_be32(&after[BI2_OFFSET + BI2_REGION_OFFSET]), BI2_REGION_JAPAN);
  // Nothing else moved: the table stays where it was.
  after.resize(before.size());
  for (size_t i = 0x60; i < before.size(); ++i) {
    if (i >= BI2_OFFSET + BI2_REGION_OFFSET && i < BI2_OFFSET + BI2_REGION_OFFSET + 4) continue;
    ASSERT_EQ(after[i], before[i]) << i;
  }

  // Without the magic word the bi2 block stays as it is. (The edit lets go
  // of the image first: Windows replaces no file held open.)
  builder_edit_reset();
  build(0, false);
  ASSERT_TRUE(builder_edit_open(image.c_str()));
  h = {};
  h.set_region = true;
  h.region_letter = 'E';
  ASSERT_TRUE(builder_edit_set_header(&h));
  ASSERT_TRUE(plan_and_apply());
  after = bytes();
  EXPECT_EQ(after[3], 'E');
  EXPECT_EQ(read_be32(&after[BI2_OFFSET + BI2_REGION_OFFSET]), 0u);
}

TEST_F(EditImage, ContentPastAFullDiscIsRefusedBeforeAnythingIsWritten) {
  // The last file is made to run up to the full disc's end.
  Bytes disc = bytes();
  const uint32_t fst = read_be32(&disc[0x424]);
  const uint32_t last = fst + 5 * FST_ENTRY_SIZE;  // /z.bin, the last entry
  write_be32(&disc[last + 8], DISC_IMAGE_SIZE - read_be32(&disc[last + 4]));
  test_support::write_file(image, disc);
  fs::resize_file(image, DISC_IMAGE_SIZE);

  ASSERT_TRUE(builder_edit_open(image.c_str()));
  ASSERT_TRUE(builder_edit_add("/big.bin", host_file("big", 100000, 1).c_str()));
  EXPECT_FALSE(builder_edit_plan());
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_OVERSIZE);
  EXPECT_GE(builder_edit_content_end(), uint64_t(DISC_IMAGE_SIZE) + 100000);
  EXPECT_FALSE(builder_edit_apply());
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_NOT_READY);
  EXPECT_EQ(fs::file_size(image), DISC_IMAGE_SIZE);
  builder_edit_set_allow_oversize(true);
  EXPECT_TRUE(builder_edit_plan());
}

TEST_F(EditImage, OnlyAPlainGameCubeImageWithATrustedTableOpens) {
  const Bytes disc = bytes();
  const std::string other = f.scratch.at("other.gcm");
  struct Case {
    Bytes content;
    uint16_t code;
  } cases[] = {
      {test_support::make_ciso(disc), EDIT_ERR_CONTAINER},
      {Bytes(0x10000, 0x33), EDIT_ERR_NOT_A_DISC},
  };
  for (const Case& c : cases) {
    test_support::write_file(other, c.content);
    EXPECT_FALSE(builder_edit_open(other.c_str()));
    EXPECT_EQ(builder_edit_last_error(), c.code);
    EXPECT_FALSE(builder_edit_remove("/a.bin"));  // nothing open
    EXPECT_EQ(test_support::read_file(other), c.content);
  }
  Bytes broken = disc;
  write_be32(&broken[0x424], uint32_t(disc.size()));  // the table past the end
  test_support::write_file(other, broken);
  EXPECT_FALSE(builder_edit_open(other.c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_BAD_TABLE);
  broken = disc;
  write_be32(&broken[read_be32(&disc[0x424]) + 2 * FST_ENTRY_SIZE + 8], 99);  // /sub ends past the root
  test_support::write_file(other, broken);
  EXPECT_FALSE(builder_edit_open(other.c_str()));
  EXPECT_EQ(builder_edit_last_error(), EDIT_ERR_BAD_TABLE);
  EXPECT_FALSE(builder_edit_open(f.scratch.at("missing.gcm").c_str()));
  EXPECT_EQ(builder_edit_last_error(), BUILD_ERR_OPEN_INPUT);
}

// ---------------------------------------------------------------------------
// Interruption
// ---------------------------------------------------------------------------

unsigned g_stop_at = 0;
bool g_kill = false;
bool stop_at(unsigned index) {
  if (index < g_stop_at) return true;
#ifndef _WIN32
  if (g_kill) kill(getpid(), SIGKILL);
#endif
  return false;
}

class EditInterrupted : public EditImage {
 protected:
  ReadBack old_disc, new_disc;
  Bytes original;

  // The edit of every kind the test stops.
  bool queue() {
    EditHeaderFields h = {};
    h.set_game_name = true;
    std::strcpy(h.game_name, "Stopped");
    return builder_edit_open(image.c_str()) &&
           builder_edit_replace("/sub/b.bin", host_file("b", 200000, 20).c_str()) &&
           builder_edit_add("/n/new.bin", host_file("n", 3000000, 21).c_str()) &&
           builder_edit_remove("/a.bin") && builder_edit_rename("/z.bin", "zz.bin") &&
           builder_edit_set_header(&h);
  }

  void SetUp() override {
    EditImage::SetUp();
    original = bytes();
    old_disc = read_back(image);
    ASSERT_TRUE(queue() && plan_and_apply());
    new_disc = read_back(image);
    builder_edit_reset();
  }

  // The image holds the old disc or the new one, every file whole.
  void expect_whole(const std::string& when) {
    const ReadBack now = read_back(image);
    ASSERT_TRUE(now.mounted) << when;
    const bool is_old = now.files == old_disc.files && now.order == old_disc.order;
    const bool is_new = now.files == new_disc.files && now.order == new_disc.order;
    EXPECT_TRUE(is_old || is_new) << when;
  }
};

TEST_F(EditInterrupted, AFailedWriteAtAnyPointLeavesTheOldDiscOrTheNewOne) {
  builder_edit_testing_set_write_hook(stop_at);
  g_kill = false;
  bool finished = false;
  for (g_stop_at = 0; !finished && g_stop_at < 100; ++g_stop_at) {
    test_support::write_file(image, original);
    builder_edit_reset();
    ASSERT_TRUE(queue() && builder_edit_plan());
    finished = builder_edit_apply();
    if (!finished) {
      EXPECT_EQ(builder_edit_last_error(), BUILD_ERR_WRITE);
    }
    expect_whole("write " + std::to_string(g_stop_at));
  }
  builder_edit_testing_set_write_hook(nullptr);
  EXPECT_TRUE(finished);
  EXPECT_GT(g_stop_at, 6u);  // data, table, flush, pointers, flush, header, ...
}

#ifndef _WIN32
TEST_F(EditInterrupted, AKillBetweenAnyTwoWritesLeavesTheOldDiscOrTheNewOne) {
  bool finished = false;
  for (g_stop_at = 0; !finished && g_stop_at < 100; ++g_stop_at) {
    test_support::write_file(image, original);
    builder_edit_reset();
    ASSERT_TRUE(queue() && builder_edit_plan());
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      builder_edit_testing_set_write_hook(stop_at);
      g_kill = true;
      _exit(builder_edit_apply() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!finished) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    builder_edit_reset();
    expect_whole("kill before write " + std::to_string(g_stop_at));
  }
  EXPECT_TRUE(finished);
}
#endif

}  // namespace
