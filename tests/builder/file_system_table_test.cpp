// The file system table: entry numbering, "next" values, name offsets and
// file offsets, checked byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "builder/build_fixture.h"
#include "builder/builder_state.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "host/host_text.h"

namespace {

// Builds a tree by hand in the engine's state, in a chosen enumeration order.
SourceNode* add_node(SourceNode* folder, const char* name, uint32_t size, bool is_directory) {
  SourceNode* node = static_cast<SourceNode*>(builder_alloc(sizeof(SourceNode)));
  node->name = builder_strdup(name);
  node->full_path = builder_strdup(name);
  node->size = size;
  node->is_directory = is_directory ? 1 : 0;
  SourceNode* last = folder->first_child;
  while (last && last->next_sibling) last = last->next_sibling;
  if (last) {
    last->next_sibling = node;
    node->prev_sibling = last;
  } else {
    folder->first_child = node;
  }
  if (is_directory)
    ++g_builder.directory_count;
  else
    ++g_builder.file_count;
  return node;
}

std::vector<uint8_t> entry_bytes(uint8_t kind, uint32_t name_offset, uint32_t second, uint32_t third) {
  std::vector<uint8_t> e(12);
  e[0] = kind;
  e[1] = uint8_t(name_offset >> 16);
  e[2] = uint8_t(name_offset >> 8);
  e[3] = uint8_t(name_offset);
  write_be32(&e[4], second);
  write_be32(&e[8], third);
  return e;
}

class FileSystemTable : public ::testing::Test {
 protected:
  void SetUp() override { builder_reset(); }
  void TearDown() override { builder_reset(); }
};

TEST_F(FileSystemTable, WorkedExampleMatchesByteForByte) {
  add_node(&g_builder.root, "a.txt", 5, false);
  SourceNode* sub = add_node(&g_builder.root, "sub", 0, true);
  add_node(sub, "b.bin", 3000, false);

  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  EXPECT_EQ(layout.fst_offset, 0x2440u);
  EXPECT_EQ(layout.fst_size, 64u);
  EXPECT_EQ(fst_total_size(), 64u);

  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());

  const uint32_t x = 0x2800;  // 0x2440 + 64 rounded up to 2,048
  const uint32_t y = 0x3000;  // x + 5 rounded up
  std::vector<uint8_t> expected;
  for (auto e : {entry_bytes(1, 0, 0, 4), entry_bytes(0, 0, x, 5), entry_bytes(1, 6, 0, 4),
                 entry_bytes(0, 10, y, 3000)})
    expected.insert(expected.end(), e.begin(), e.end());
  const char names[] = "a.txt\0sub\0b.bin";
  expected.insert(expected.end(), names, names + sizeof names);
  EXPECT_EQ(table, expected);
}

// Where the first file's data starts: the table's end, rounded up.
uint32_t first_data_offset(const ImageLayout& layout) {
  return uint32_t(align_to_file_boundary(uint64_t(layout.fst_offset) + layout.fst_size));
}

TEST_F(FileSystemTable, FoldersAtAnyDepthGetZeroSecondWordAndNextPastTheirContents) {
  SourceNode* a = add_node(&g_builder.root, "a", 0, true);        // 1
  SourceNode* b = add_node(a, "b", 0, true);                      // 2
  SourceNode* c = add_node(b, "c", 0, true);                      // 3
  add_node(c, "deep.txt", 10, false);                             // 4
  add_node(b, "empty", 0, true);                                  // 5, no contents
  add_node(&g_builder.root, "top.bin", 0, false);                 // 6
  add_node(&g_builder.root, "zero.bin", 0, false);                // 7

  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(32, 32, &layout));
  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());

  auto entry = [&](int i) { return std::vector<uint8_t>(table.begin() + i * 12, table.begin() + i * 12 + 12); };
  EXPECT_EQ(read_be32(&table[8]), 8u) << "root counts every entry";
  for (int folder : {1, 2, 3, 5}) {
    EXPECT_EQ(entry(folder)[0], 1) << folder;
    EXPECT_EQ(read_be32(&entry(folder)[4]), 0u) << "second word of folder " << folder;
  }
  EXPECT_EQ(read_be32(&entry(1)[8]), 6u);
  EXPECT_EQ(read_be32(&entry(2)[8]), 6u);
  EXPECT_EQ(read_be32(&entry(3)[8]), 5u);
  EXPECT_EQ(read_be32(&entry(5)[8]), 6u) << "an empty folder's next is its own index + 1";

  // Two zero-length files in a row share their offset with the next data.
  uint32_t deep = read_be32(&entry(4)[4]);
  EXPECT_EQ(deep, first_data_offset(layout));
  EXPECT_EQ(read_be32(&entry(6)[4]), deep + 2048);
  EXPECT_EQ(read_be32(&entry(7)[4]), deep + 2048);
}

TEST_F(FileSystemTable, ParentLinksOptionPutsTheEnclosingFolderIndexInFolderEntries) {
  SourceNode* a = add_node(&g_builder.root, "a", 0, true);  // 1
  add_node(a, "file", 3, false);                            // 2
  SourceNode* b = add_node(a, "b", 0, true);                // 3
  add_node(b, "c", 0, true);                                // 4
  builder_set_folder_parent_links(true);

  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());
  EXPECT_EQ(read_be32(&table[12 * 1 + 4]), 0u) << "top-level folder: the root";
  EXPECT_EQ(read_be32(&table[12 * 3 + 4]), 1u);
  EXPECT_EQ(read_be32(&table[12 * 4 + 4]), 3u);
  EXPECT_EQ(read_be32(&table[12 * 2 + 4]), first_data_offset(layout)) << "files keep their offset";
}

// The builder's 16-bit counters, or the format's own limits when asked.
TEST_F(FileSystemTable, TablesPastTheSixteenBitCountersNeedTheFormatsLimits) {
  for (int i = 0; i < 700; ++i) {
    SourceNode* folder = add_node(&g_builder.root, "d", 0, true);
    for (int k = 0; k < 100; ++k) add_node(folder, "f", 0, false);
  }
  ImageLayout layout;
  EXPECT_FALSE(plan_image_layout(0, 0, &layout));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_TABLE_TOO_LARGE);
  builder_set_format_limits(true);
  ASSERT_TRUE(plan_image_layout(0, 0, &layout)) << builder_last_error();
  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());
  EXPECT_EQ(read_be32(&table[8]), 70701u);
  EXPECT_EQ(read_be32(&table[12 * 70700]) & 0xFFFFFF, 70699u * 2) << "name offsets past 65,535";
}

// One alignment for every file, the content's end, and where it would end
// with another alignment.
TEST_F(FileSystemTable, OneAlignmentForEveryFileAndTheContentsEnd) {
  add_node(&g_builder.root, "a", 5, false);
  add_node(&g_builder.root, "b", 5, false);
  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  const uint64_t table_end = uint64_t(layout.fst_offset) + layout.fst_size;
  const uint64_t first = align_to_file_boundary(table_end);
  EXPECT_EQ(builder_content_end(), first + 2048 + 5);
  EXPECT_EQ(builder_content_end_with_alignment(4), (table_end + 3) / 4 * 4 + 8 + 5);
  ASSERT_TRUE(builder_set_file_alignment(0x8000));
  // An alignment the layout cannot use is refused and the last one kept.
  for (uint32_t refused : {2u, 3u, 48u, 0x10000u}) EXPECT_FALSE(builder_set_file_alignment(refused)) << refused;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  EXPECT_EQ(builder_content_end(), (table_end + 0x7FFF) / 0x8000 * 0x8000 + 0x8000 + 5);
}

TEST_F(FileSystemTable, EmptyBaseGivesOnlyTheRootEntry) {
  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  EXPECT_EQ(layout.fst_size, 12u);
  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());
  EXPECT_EQ(table, entry_bytes(1, 0, 0, 1));
}

// Sizes, layout, table, the file walk and the release (TearDown's reset) all
// walk without recursion: 30,000 nested folders exhaust a Windows thread's
// stack otherwise.
TEST_F(FileSystemTable, DeeplyNestedFoldersAreWalkedWithoutRecursion) {
  const uint32_t depth = 30000;
  SourceNode* folder = &g_builder.root;
  for (uint32_t i = 0; i < depth; ++i) folder = add_node(folder, "d", 0, true);
  add_node(folder, "f", 7, false);

  ImageLayout layout;
  ASSERT_TRUE(plan_image_layout(0, 0, &layout));
  EXPECT_EQ(layout.fst_size, (depth + 2) * 12 + (depth + 1) * 2);
  std::vector<uint8_t> table(layout.fst_size);
  emit_file_system_table(table.data());
  EXPECT_EQ(read_be32(&table[12 * 1 + 8]), depth + 2) << "the outermost folder ends with the table";
  EXPECT_EQ(read_be32(&table[12 * depth + 8]), depth + 2) << "and so does the innermost";
  EXPECT_EQ(table[12 * (depth + 1)], 0) << "the file is the last entry";
  EXPECT_EQ(read_be32(&table[12 * (depth + 1) + 4]), first_data_offset(layout));

  std::vector<std::string> files;
  for (const SourceNode* node : files_in_data_order()) files.push_back(node->name);
  EXPECT_EQ(files, std::vector<std::string>{"f"});
}

// An independent reading of a built image's table: walks the entries the way
// a reader does and returns "path -> (offset, size)" plus the folder list.
struct ParsedTable {
  std::map<std::string, std::pair<uint32_t, uint32_t>> files;
  std::vector<std::string> folders;
  std::vector<std::string> order;  // every path in table order
};

ParsedTable parse_table(const std::vector<uint8_t>& image) {
  ParsedTable parsed;
  uint32_t fst = be32_at(image, 0x424);
  uint32_t n = be32_at(image, fst + 8);
  const char* names = reinterpret_cast<const char*>(&image[fst + 12 * n]);
  std::vector<std::pair<uint32_t, std::string>> stack;  // (end index, path)
  for (uint32_t i = 1; i < n; ++i) {
    while (!stack.empty() && stack.back().first <= i) stack.pop_back();
    const uint8_t* e = &image[fst + 12 * i];
    uint32_t name_offset = (e[1] << 16) | (e[2] << 8) | e[3];
    std::string path = (stack.empty() ? std::string() : stack.back().second) + "/" + (names + name_offset);
    parsed.order.push_back(path);
    if (e[0] == 1) {
      parsed.folders.push_back(path);
      stack.emplace_back(read_be32(e + 8), path);
    } else {
      parsed.files[path] = {read_be32(e + 4), read_be32(e + 8)};
    }
  }
  return parsed;
}

// Lists a folder with the host layer, in its order, as the scan must see it.
void host_listing(const std::string& folder, const std::string& prefix, std::vector<std::string>* out) {
  host::DirListing* listing = host::dir_open(folder.c_str());
  ASSERT_NE(listing, nullptr);
  const char* name;
  std::vector<std::string> names;
  while (host::dir_next(listing, &name) == host::ListStep::Entry) names.push_back(name);
  host::dir_close(listing);
  host::sort_names_as_windows_lists(&names);
  for (const std::string& n : names) {
    if (n == "." || n == "..") continue;
    std::string full = folder + host::PATH_SEPARATOR + n;
    out->push_back(prefix + "/" + n);
    if (host::is_directory(full.c_str())) host_listing(full, prefix + "/" + n, out);
  }
}

TEST(BuiltTable, FollowsTheWindowsListingOrderAndPlacesEveryFileAtItsOffset) {
  BuildFixture f;
  f.add_file("Mixed_Case.TXT", 5, 1);
  f.add_file("sub/b.bin", 3000, 2);
  f.add_file("sub/inner/c.dat", 4097, 3);
  f.add_file("sub/inner/Mixed_Case.TXT", 7, 4);  // same name at another depth
  f.add_file("zero.bin", 0, 5);
  f.add_folder("empty");
  f.add_file("z/last.bin", 2048, 6);
  ASSERT_TRUE(f.build()) << f.error;

  std::vector<uint8_t> image = f.image();
  ParsedTable parsed = parse_table(image);

  std::vector<std::string> listed;
  host_listing(f.base, "", &listed);
  EXPECT_EQ(parsed.order, listed) << "entries follow the listing as Windows gives it";
#ifndef _WIN32
  // On POSIX hosts the scan sorts each folder as NTFS lists it, whatever
  // order the file system keeps.
  EXPECT_EQ(parsed.order,
            (std::vector<std::string>{"/empty", "/Mixed_Case.TXT", "/sub", "/sub/b.bin", "/sub/inner",
                                      "/sub/inner/c.dat", "/sub/inner/Mixed_Case.TXT", "/z", "/z/last.bin",
                                      "/zero.bin"}));
#endif
  EXPECT_EQ(parsed.files.size(), 6u);
  EXPECT_EQ(builder_file_count(), 6u);
  EXPECT_EQ(builder_directory_count(), 4u);

  // Every file's bytes at the offset its entry records.
  for (const auto& [path, where] : parsed.files) {
    std::vector<uint8_t> source = test_support::read_file(f.scratch.path() / ("base" + path));
    ASSERT_EQ(source.size(), where.second) << path;
    EXPECT_EQ(where.first % FILE_ALIGNMENT, 0u) << path;
    ASSERT_LE(where.first + where.second, image.size()) << path;
    EXPECT_TRUE(std::equal(source.begin(), source.end(), image.begin() + where.first)) << path;
  }
}

TEST(BuiltTable, ScanningTheSameTreeTwiceGivesIdenticalImages) {
  BuildFixture f;
  for (int i = 0; i < 20; ++i) f.add_file("d" + std::to_string(i % 3) + "/f" + std::to_string(i), 100 * i, uint8_t(i));
  ASSERT_TRUE(f.build());
  std::vector<uint8_t> first = f.image();
  ASSERT_TRUE(f.build());
  EXPECT_EQ(first, f.image());
}

}  // namespace
