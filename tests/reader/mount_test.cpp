// Mounting: size rules, state changes, the cached tree and its counts, and
// the tables that are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"
#include "reader/reader_testing.h"

namespace {

RawImage small_tree() {
  RawImage image;
  uint32_t a = image.add_data(test_support::patterned_bytes(100, 1));
  uint32_t b = image.add_data(test_support::patterned_bytes(5000, 2));
  // /readme  /dir/{inner, empty/}  /last
  image.write_table({file_entry("readme", a, 100), dir_entry("dir", 5), file_entry("inner", b, 5000),
                     dir_entry("empty", 5), file_entry("last", a, 7)});
  return image;
}

// A file of the given length whose first bytes are a valid small image.
std::string sized_image(const test_support::ScratchDir& dir, const std::string& name, uint64_t length) {
  RawImage image;
  image.write_table({});
  std::string path = image.save(dir, name);
  host::File* f = host::file_create(path.c_str());
  EXPECT_TRUE(f && host::file_write(f, image.bytes.data(), image.bytes.size()));
  EXPECT_TRUE(host::file_extend_with_zeros(f, length));
  host::file_close(f);
  return path;
}

}  // namespace

TEST(ReaderMount, OnlyAFullSizeImageMountsUnlessAnySizeIsAccepted) {
  ReaderFixture fx;
  std::string exact = sized_image(fx.scratch, "exact.gcm", DISC_IMAGE_SIZE);
  std::string larger = sized_image(fx.scratch, "larger.gcm", DISC_IMAGE_SIZE + 1ull);
  std::string smaller = sized_image(fx.scratch, "smaller.gcm", DISC_IMAGE_SIZE - 1ull);

  EXPECT_TRUE(IsoMount(exact.c_str(), 0));
  IsoUnmount();
  EXPECT_FALSE(IsoMount(larger.c_str(), 0));
  EXPECT_EQ(IsoGetLastError(), IsoErrTooLarge);
  EXPECT_FALSE(IsoMount(smaller.c_str(), 0));
  EXPECT_EQ(IsoGetLastError(), IsoErrBadSize);
  EXPECT_FALSE(IsoIsMounted());
  EXPECT_EQ(IsoGetImagePath(), nullptr);

  EXPECT_TRUE(IsoMount(larger.c_str(), 1));
  IsoUnmount();
  EXPECT_TRUE(IsoMount(smaller.c_str(), 1));
  EXPECT_EQ(IsoGetLastError(), IsoErrNone);
}

TEST(ReaderMount, MountingTwiceKeepsTheFirstImage) {
  ReaderFixture fx;
  RawImage first = small_tree();
  std::string first_path = first.save(fx.scratch, "first.gcm");
  RawImage other;
  other.write_table({});
  std::string other_path = other.save(fx.scratch, "other.gcm");

  ASSERT_TRUE(IsoMount(first_path.c_str(), 1));
  EXPECT_FALSE(IsoMount(other_path.c_str(), 1));
  EXPECT_EQ(IsoGetLastError(), IsoErrAlreadyMounted);
  EXPECT_STREQ(IsoGetImagePath(), first_path.c_str());
  EXPECT_EQ(IsoGetFileCount(), 3);
}

TEST(ReaderMount, AMissingImageOrAFolderCannotBeOpened) {
  ReaderFixture fx;
  EXPECT_FALSE(IsoMount(fx.scratch.at("missing.gcm").c_str(), 1));
  EXPECT_EQ(IsoGetLastError(), IsoErrOpen);
  EXPECT_FALSE(IsoMount(fx.scratch.path().string().c_str(), 1));
  EXPECT_EQ(IsoGetLastError(), IsoErrOpen);
  EXPECT_STREQ(IsoGetErrorText(),
               "ISOファイルを開くことができません。ファイルが存在するか、"
               "他のプロセスで開いていないか確認して下さい。");
}

TEST(ReaderMount, TheTreeFollowsTheTableWithLinksAndCounts) {
  ReaderFixture fx;
  RawImage image = small_tree();
  ASSERT_TRUE(fx.mount(image));

  FstNode* root = IsoGetRoot();
  EXPECT_STREQ(root->name, "DOL-GTS-USA");
  EXPECT_EQ(root->isDirectory, 1);
  EXPECT_EQ(IsoGetFileCount(), 3);
  EXPECT_EQ(IsoGetDirectoryCount(), 2);

  FstNode* readme = root->firstChild;
  FstNode* dir = readme->next;
  FstNode* last = dir->next;
  EXPECT_STREQ(readme->name, "readme");
  EXPECT_EQ(readme->prev, nullptr);
  EXPECT_EQ(readme->parent, root);
  EXPECT_EQ(readme->size, 100u);
  EXPECT_STREQ(dir->name, "dir");
  EXPECT_EQ(dir->isDirectory, 1);
  EXPECT_EQ(dir->size, 0u);
  EXPECT_EQ(dir->prev, readme);
  EXPECT_STREQ(last->name, "last");
  EXPECT_EQ(last->next, nullptr);
  EXPECT_EQ(last->parent, root);

  FstNode* inner = dir->firstChild;
  EXPECT_STREQ(inner->name, "inner");
  EXPECT_EQ(inner->parent, dir);
  EXPECT_EQ(inner->prev, nullptr);
  EXPECT_EQ(inner->size, 5000u);
  FstNode* empty = inner->next;
  EXPECT_STREQ(empty->name, "empty");
  EXPECT_EQ(empty->firstChild, nullptr);
  EXPECT_EQ(empty->parent, dir);
  EXPECT_EQ(empty->next, nullptr);
}

TEST(ReaderMount, ATableWithOnlyTheRootGivesAnEmptyTree) {
  ReaderFixture fx;
  RawImage image;
  image.write_table({});
  ASSERT_TRUE(fx.mount(image));
  EXPECT_EQ(IsoGetRoot()->firstChild, nullptr);
  EXPECT_EQ(IsoGetFileCount(), 0);
  EXPECT_EQ(IsoGetDirectoryCount(), 0);
}

TEST(ReaderMount, UnmountAndResetClearTheImageButOnlyResetDropsCallbacks) {
  ReaderFixture fx;
  RawImage image = small_tree();
  std::string path = image.save(fx.scratch);
  fx.record_callbacks();
  ASSERT_TRUE(IsoMount(path.c_str(), 1));
  IsoUnmount();
  EXPECT_FALSE(IsoIsMounted());
  EXPECT_EQ(IsoGetImagePath(), nullptr);
  EXPECT_EQ(IsoGetRoot()->firstChild, nullptr);
  EXPECT_EQ(IsoGetRoot()->name, nullptr);
  EXPECT_EQ(IsoGetFileCount(), 0);
  char code[32];
  EXPECT_STREQ(IsoGetProductCode(code, sizeof code), "DOL-");  // header cleared
  IsoUnmount();  // nothing mounted: nothing happens

  // Callbacks survive an unmount...
  ASSERT_TRUE(IsoMount(path.c_str(), 1));
  ASSERT_TRUE(IsoExtractBootData(fx.scratch.at("boot.bin").c_str()));
  EXPECT_EQ(fx.events, (std::vector<std::string>{"p:100", "done"}));

  // ...and are gone after a reset, until registered again.
  IsoReset();
  fx.events.clear();
  ASSERT_TRUE(IsoMount(path.c_str(), 1));
  ASSERT_TRUE(IsoExtractFile("/readme", fx.scratch.at("readme").c_str()));
  EXPECT_TRUE(fx.events.empty());
}

TEST(ReaderMount, ALargeTableIsReadWhole) {
  ReaderFixture fx;
  RawImage image;
  uint32_t data = image.add_data({7});
  std::vector<TableEntry> entries;
  // 16,384 entries: the most the cache holds. 100 folders of 162 files, 84 more files.
  for (int d = 0; d < 100; ++d) {
    uint32_t end = uint32_t(entries.size() + 1 + 1 + 162);
    entries.push_back(dir_entry("folder" + std::to_string(d), end));
    for (int f = 0; f < 162; ++f) entries.push_back(file_entry("f" + std::to_string(f), data, 1));
  }
  while (entries.size() < 16384) entries.push_back(file_entry("top" + std::to_string(entries.size()), data, 1));
  image.write_table(entries);
  ASSERT_TRUE(fx.mount(image)) << IsoGetLastError();
  EXPECT_EQ(IsoGetDirectoryCount(), 100);
  EXPECT_EQ(IsoGetFileCount(), 16384 - 100);
  EXPECT_NE(IsoFindDirectory("/folder99", 0), nullptr);
  uint32_t offset, size;
  EXPECT_TRUE(IsoFindFile("/folder57/f161", &offset, &size, 1));
  EXPECT_TRUE(IsoFindFile("/top16383", &offset, &size, 1));
}

// Tables that cannot be trusted are refused with code 6 and leave nothing
// mounted.
TEST(ReaderMount, UntrustworthyTablesAreRefused) {
  struct Case {
    const char* what;
    void (*make)(RawImage*);
  };
  const Case cases[] = {
      {"no entries at all (N = 0)", [](RawImage* im) { im->write_table({}, 0); }},
      {"more entries than the table size holds",
       [](RawImage* im) {
         im->write_table({file_entry("a", 0, 0), file_entry("b", 0, 0)});
         im->set_be32(0x428, 2 * FST_ENTRY_SIZE);
       }},
      {"a table larger than the reader's bound",
       [](RawImage* im) {
         im->write_table({file_entry("a", 0, 0)});
         im->bytes.resize(im->fst_offset() + FST_MAX_READ_SIZE + 1);
         im->set_be32(0x428, FST_MAX_READ_SIZE + 1);
       }},
      {"a table running past the image",
       [](RawImage* im) {
         im->write_table({file_entry("a", 0, 0)});
         im->set_be32(0x428, 0x10000);
       }},
      {"N larger than the image", [](RawImage* im) { im->write_table({file_entry("a", 0, 0)}, 100000); }},
      {"folder ending at its own index", [](RawImage* im) { im->write_table({dir_entry("d", 1)}); }},
      {"folder ending before its own index",
       [](RawImage* im) { im->write_table({file_entry("a", 0, 0), dir_entry("d", 1)}); }},
      {"folder ending past its enclosing folder",
       [](RawImage* im) {
         im->write_table({dir_entry("outer", 3), dir_entry("inner", 4), file_entry("a", 0, 0)});
       }},
      {"folder ending past the table", [](RawImage* im) { im->write_table({dir_entry("d", 5)}); }},
      {"table offset outside the image",
       [](RawImage* im) {
         im->write_table({});
         im->set_be32(0x424, 0x7FFFFFF0u);
       }},
      {"name offset outside the image",
       [](RawImage* im) {
         im->write_table({file_entry("a", 0, 0)});
         im->set_be32(im->fst_offset() + 12, 0x00FFFFF0u);
       }},
      {"folder kind byte 2, which counts into the name offset (16 MiB past the names)",
       [](RawImage* im) {
         im->write_table({dir_entry("d", 2)});
         im->set_be32(im->fst_offset() + 12, 0x02000000u);
       }},
      {"name without NUL inside the table",
       [](RawImage* im) {
         im->write_table({file_entry("a", 0, 0), file_entry("bc", 0, 0)});
         im->set_be32(0x428, read_be32(&im->bytes[0x428]) - 1);  // cuts the last NUL off
       }},
      {"name running into the image's end",
       [](RawImage* im) {
         im->write_table({file_entry("tail", 0, 0)});
         im->bytes.pop_back();  // the last name loses its NUL
       }},
  };
  for (const Case& c : cases) {
    ReaderFixture fx;
    RawImage image;
    c.make(&image);
    EXPECT_FALSE(fx.mount(image)) << c.what;
    EXPECT_EQ(IsoGetLastError(), IsoErrFstCache) << c.what;
    EXPECT_FALSE(IsoIsMounted()) << c.what;
    EXPECT_EQ(IsoGetRoot()->firstChild, nullptr) << c.what;
    EXPECT_EQ(IsoGetFileCount() + IsoGetDirectoryCount(), 0) << c.what;
  }
}

// Tables of any entry count that fits their size, and names of any length
// up to their NUL: what other tools write, and the builder in its default mode.
TEST(ReaderMount, AnyEntryCountAndNamesOfAnyLengthAreReadWhole) {
  ReaderFixture fx;
  RawImage image;
  std::vector<TableEntry> entries(20000, file_entry("x", 0, 0));
  entries.back() = file_entry(std::string(300, 'n'), 0, 7);
  image.write_table(entries);
  ASSERT_TRUE(fx.mount(image)) << IsoGetErrorText();
  EXPECT_EQ(IsoGetFileCount(), 20000);
  uint32_t offset = 0, size = 0;
  EXPECT_TRUE(IsoFindFile(("/" + std::string(300, 'n')).c_str(), &offset, &size, 1));
  EXPECT_EQ(size, 7u);
  EXPECT_FALSE(IsoFindFile(("/" + std::string(299, 'n')).c_str(), &offset, &size, 1));
}

// Entries may point at one name, or into the middle of another's: each gets
// the text from its own offset, and the image mounts again after an unmount.
TEST(ReaderMount, EntriesSharingNameBytesEachGetTheirName) {
  ReaderFixture fx;
  RawImage image;
  uint32_t data = image.add_data({1, 2, 3});
  image.write_table({dir_entry("abcdef", 4), file_entry("x", data, 1), file_entry("y", data, 2),
                     file_entry("z", data, 3)});
  const uint32_t entries = image.fst_offset() + FST_ENTRY_SIZE;
  image.set_be32(entries + FST_ENTRY_SIZE, 0);      // x: "abcdef", the folder's own name
  image.set_be32(entries + 2 * FST_ENTRY_SIZE, 3);  // y: "def", the end of it
  image.set_be32(entries + 3 * FST_ENTRY_SIZE, 0);  // z: "abcdef", beside the folder
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(fx.mount(image)) << IsoGetErrorText();
    EXPECT_EQ(list_tree(), (std::vector<std::string>{"d /abcdef", "f /abcdef/abcdef 1 " + std::to_string(data),
                                                     "f /abcdef/def 2 " + std::to_string(data),
                                                     "f /abcdef 3 " + std::to_string(data)}));
    uint32_t offset = 0, size = 0;
    EXPECT_TRUE(IsoFindFile("/abcdef/def", &offset, &size, 1));
    EXPECT_EQ(size, 2u);
    IsoUnmount();
  }
}

TEST(ReaderMount, ANameOf63BytesAndAnImageShorterThanAHeaderAreHandled) {
  ReaderFixture fx;
  RawImage image;
  image.write_table({file_entry(std::string(63, 'n'), 0, 0)});
  ASSERT_TRUE(fx.mount(image));
  EXPECT_EQ(std::strlen(IsoGetRoot()->firstChild->name), 63u);

  // A tiny file: the header reads as zeros past its end, so the table would
  // start at offset 0, where no valid table is.
  test_support::write_file(fx.scratch.at("tiny.gcm"), std::string("GTSE01"));
  EXPECT_FALSE(fx.mount_path(fx.scratch.at("tiny.gcm")));
  EXPECT_EQ(IsoGetLastError(), IsoErrFstCache);
}

TEST(ReaderMount, RunningOutOfMemoryFailsCleanly) {
  ReaderFixture fx;
  RawImage image = small_tree();
  std::string path = image.save(fx.scratch);
  for (long allowed = 0; allowed < 12; ++allowed) {
    iso_testing_fail_allocations_after(allowed);
    bool ok = IsoMount(path.c_str(), 1);
    iso_testing_fail_allocations_after(-1);
    if (!ok) {
      EXPECT_EQ(IsoGetLastError(), IsoErrNoMemory) << allowed;
    }
    IsoUnmount();
    EXPECT_FALSE(IsoIsMounted());
  }
  // Enough memory again: the same image mounts.
  EXPECT_TRUE(IsoMount(path.c_str(), 1));
  EXPECT_EQ(IsoGetFileCount(), 3);

  // The scan for data outside the files and a folder extraction report it
  // the same way, and work again once memory is back.
  uint64_t outside = 0;
  const std::string out = fx.scratch.at("out");
  ASSERT_TRUE(host::make_directory(out.c_str()));
  iso_testing_fail_allocations_after(0);
  EXPECT_FALSE(IsoCountOutsideData(&outside));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoMemory);
  EXPECT_FALSE(IsoExtractDirectory("/", out.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoMemory);
  iso_testing_fail_allocations_after(-1);
  EXPECT_TRUE(IsoCountOutsideData(&outside));
  EXPECT_TRUE(IsoExtractDirectory("/", out.c_str()));
}

TEST(ReaderErrors, EveryCodeHasItsText) {
  EXPECT_STREQ(IsoErrorTextFor(0), "No error");
  EXPECT_STREQ(IsoErrorTextFor(1), "Cannot allocate memory");
  EXPECT_STREQ(IsoErrorTextFor(2), "ISO already mounted; unmount first");
  EXPECT_STREQ(IsoErrorTextFor(4), "\x49\x53\x4f\x82\xaa\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x42"
                                   "\x94\x6a\x91\xb9\x82\xb5\x82\xc4\x82\xa2\x82\xe9\x89\xc2\x94\x5c\x90\xab"
                                   "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7");
  // Half-width katakana are single bytes.
  EXPECT_STREQ(IsoErrorTextFor(13), "\xc3\xde\xa8\xbd\xb8\xb1\xb8\xbe\xbd\xb4\xd7\xb0");
  EXPECT_STREQ(IsoErrorTextFor(-1), "\x95\x73\x96\xbe\x82\xc8\x83\x47\x83\x89\x81\x5b");
  EXPECT_STREQ(IsoErrorTextFor(ISO_ERROR_LAST + 1), IsoErrorTextFor(-1));
  for (int code = 3; code <= ISO_ERROR_LAST; ++code)
    EXPECT_STRNE(IsoErrorTextFor(code), IsoErrorTextFor(-1)) << code;
}
