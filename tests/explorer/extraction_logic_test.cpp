// Extraction commands without windows: destination names, what a Selection
// copies for each focus, the system-area copies and their messages.
#include <gtest/gtest.h>

#include <string>

#include "disc/disc_format.h"
#include "explorer/core/extraction_logic.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using test_support::patterned_bytes;
using test_support::read_file;

namespace {

const std::string SEP(1, host::PATH_SEPARATOR);

// /dir/f.txt, /dir/sub/deep.bin and /top.bin, each with its own bytes.
class ExplorerExtraction : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t f = image_.add_data(f_bytes_);
    uint32_t deep = image_.add_data(deep_bytes_);
    uint32_t top = image_.add_data(top_bytes_);
    image_.write_table({dir_entry("dir", 5), file_entry("f.txt", f, uint32_t(f_bytes_.size())),
                        dir_entry("sub", 5), file_entry("deep.bin", deep, uint32_t(deep_bytes_.size())),
                        file_entry("top.bin", top, uint32_t(top_bytes_.size()))});
    ASSERT_TRUE(fx_.mount(image_));
    out_ = fx_.scratch.at("out");
    fs::create_directory(out_);
    folder_ = folder_with_separator(out_);
  }

  SelectionTarget target(CommandFocus focus, const std::string& tree_path, const char* row) {
    SelectionRequest request{focus, tree_path, tree_path == "/", row != nullptr, row ? row : ""};
    return selection_target(request, folder_);
  }

  std::vector<uint8_t> f_bytes_ = patterned_bytes(5000, 1);
  std::vector<uint8_t> deep_bytes_ = patterned_bytes(123, 2);
  std::vector<uint8_t> top_bytes_ = patterned_bytes(4096, 3);
  RawImage image_;
  ReaderFixture fx_;
  std::string out_;
  std::string folder_;
};

}  // namespace

TEST(ExplorerExtractionNames, TheFolderGetsExactlyOneSeparatorAtItsEnd) {
  EXPECT_EQ(folder_with_separator("dest"), "dest" + SEP);
  EXPECT_EQ(folder_with_separator("dest" + SEP), "dest" + SEP);
  EXPECT_EQ(folder_with_separator(SEP), SEP);
  // The reader puts its own separator before each name.
  EXPECT_EQ(folder_for_reader("dest" + SEP), "dest");
  EXPECT_EQ(folder_for_reader("dest"), "dest");
  EXPECT_EQ(folder_for_reader(SEP), SEP);
#ifdef _WIN32
  EXPECT_EQ(folder_with_separator("C:\\"), "C:\\");
  EXPECT_EQ(folder_for_reader("C:\\"), "C:");
#endif
}

#ifdef _WIN32
TEST(ExplorerExtractionNames, ASecondByte5CIsNoSeparator) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese system code page";
  const std::string folder = "C:\\\x94\x5C";  // C:\能 ends in the byte 0x5C
  EXPECT_EQ(folder_with_separator(folder), folder + "\\");
  EXPECT_EQ(folder_for_reader(folder), folder);
  EXPECT_EQ(folder_for_reader(folder + "\\"), folder);
}
#endif

TEST(ExplorerExtractionNames, RowPathsAndSystemAreaNames) {
  EXPECT_EQ(row_image_path("/", "a"), "/a");
  EXPECT_EQ(row_image_path("/a/b", "c"), "/a/b/c");
  EXPECT_STREQ(system_area_file_name(ExtractKind::BootData), "boot.bin");
  EXPECT_STREQ(system_area_file_name(ExtractKind::FileSystemTable), "fst");
  EXPECT_STREQ(system_area_file_name(ExtractKind::Apploader), "apploader");
  EXPECT_STREQ(system_area_file_name(ExtractKind::MainProgram), "default.dol");
  EXPECT_EQ(system_area_file_name(ExtractKind::WholeImage), nullptr);
  EXPECT_EQ(system_area_file_name(ExtractKind::Selection), nullptr);
}

TEST_F(ExplorerExtraction, TheRootWithTheTreeFocusedWritesEveryEntryStraightIntoTheFolder) {
  SelectionTarget t = target(CommandFocus::Tree, "/", nullptr);
  EXPECT_EQ(t.action, SelectionTarget::Directory);
  EXPECT_EQ(t.image_path, "/");
  ASSERT_TRUE(extract_selection(t)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "top.bin"), top_bytes_);
  EXPECT_EQ(read_file(out_ + SEP + "dir" + SEP + "f.txt"), f_bytes_);
  EXPECT_EQ(read_file(out_ + SEP + "dir" + SEP + "sub" + SEP + "deep.bin"), deep_bytes_);
}

TEST_F(ExplorerExtraction, AnyOtherFocusTakesTheTreeSelectionAndNoSelectionMeansTheRoot) {
  SelectionTarget sub = target(CommandFocus::Other, "/dir/sub", nullptr);
  EXPECT_EQ(sub.action, SelectionTarget::Directory);
  EXPECT_EQ(sub.image_path, "/dir/sub");
  ASSERT_TRUE(extract_selection(sub)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "sub" + SEP + "deep.bin"), deep_bytes_);

  // The lookups do not take "/" alone: it must still mean the whole image,
  // not a file named "" that cannot be found.
  SelectionRequest unselected{CommandFocus::Other, "/", false, false, ""};
  SelectionTarget root = selection_target(unselected, folder_);
  EXPECT_EQ(root.action, SelectionTarget::Directory);
  EXPECT_EQ(root.image_path, "/");
  ASSERT_TRUE(extract_selection(root)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "top.bin"), top_bytes_);
}

TEST_F(ExplorerExtraction, TheFocusedListRowIsCopiedAsAFolderOrAsOneFile) {
  SelectionTarget folder = target(CommandFocus::List, "/", "dir");
  EXPECT_EQ(folder.action, SelectionTarget::Directory);
  EXPECT_EQ(folder.image_path, "/dir");
  ASSERT_TRUE(extract_selection(folder)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "dir" + SEP + "f.txt"), f_bytes_);
  EXPECT_EQ(read_file(out_ + SEP + "dir" + SEP + "sub" + SEP + "deep.bin"), deep_bytes_);

  SelectionTarget file = target(CommandFocus::List, "/dir/sub", "deep.bin");
  EXPECT_EQ(file.action, SelectionTarget::File);
  EXPECT_EQ(file.image_path, "/dir/sub/deep.bin");
  EXPECT_EQ(file.destination + SEP + file.file_name, out_ + SEP + "deep.bin");
  ASSERT_TRUE(extract_selection(file)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "deep.bin"), deep_bytes_);

  SelectionTarget top = target(CommandFocus::List, "/", "top.bin");
  EXPECT_EQ(top.image_path, "/top.bin");
  ASSERT_TRUE(extract_selection(top)) << IsoGetErrorText();
  EXPECT_EQ(read_file(out_ + SEP + "top.bin"), top_bytes_);
}

TEST_F(ExplorerExtraction, AFocusedListWithoutARowOrAStaleRowCopiesNothing) {
  SelectionTarget none = target(CommandFocus::List, "/dir", nullptr);
  EXPECT_EQ(none.action, SelectionTarget::NothingSelected);
  EXPECT_FALSE(extract_selection(none));
  ExtractionMessage nothing = nothing_selected_message();
  EXPECT_EQ(nothing.text.joined(), "何か選択して下さい。");
  EXPECT_EQ(nothing.caption, "エラー");
  EXPECT_EQ(nothing.icon, MessageIcon::Error);

  // A name the image does not hold ends as a failed file copy with the
  // reader's text, no caption and no icon.
  SelectionTarget gone = target(CommandFocus::List, "/dir", "gone.txt");
  EXPECT_EQ(gone.action, SelectionTarget::File);
  EXPECT_FALSE(extract_selection(gone));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoFile);
  ExtractionMessage failed = reader_error_message(IsoGetErrorText());
  EXPECT_EQ(failed.text.joined(), IsoErrorTextFor(IsoErrNoFile));
  EXPECT_EQ(failed.caption, "");
  EXPECT_EQ(failed.icon, MessageIcon::None);
  EXPECT_FALSE(fs::exists(out_ + SEP + "gone.txt"));
}

TEST_F(ExplorerExtraction, SystemAreasAreCopiedAndReported) {
  std::string boot = folder_ + system_area_file_name(ExtractKind::BootData);
  ASSERT_TRUE(extract_system_area(ExtractKind::BootData, boot)) << IsoGetErrorText();
  std::vector<uint8_t> written = read_file(boot);
  ASSERT_EQ(written.size(), size_t(DISC_HEADER_SIZE));
  EXPECT_TRUE(std::equal(written.begin(), written.end(), image_.bytes.begin()));

  std::string fst = folder_ + system_area_file_name(ExtractKind::FileSystemTable);
  ASSERT_TRUE(extract_system_area(ExtractKind::FileSystemTable, fst));
  EXPECT_EQ(read_file(fst).size(), size_t(read_be32(&image_.bytes[0x428])));

  ExtractionMessage saved = system_area_message(true, boot);
  EXPECT_EQ(saved.text.before + saved.text.path, "保存しました\n\n" + boot);
  EXPECT_EQ(saved.text.path, boot);
  EXPECT_EQ(saved.caption, "成功");
  EXPECT_EQ(saved.icon, MessageIcon::Information);

  EXPECT_FALSE(extract_system_area(ExtractKind::WholeImage, folder_ + "x"));

  // A disc without a main program has no default.dol, and the message says why.
  image_.set_be32(0x420, 0);
  ASSERT_TRUE(fx_.mount(image_));
  std::string dol = folder_ + system_area_file_name(ExtractKind::MainProgram);
  EXPECT_FALSE(extract_system_area(ExtractKind::MainProgram, dol));
  EXPECT_FALSE(fs::exists(dol));
  ExtractionMessage none = system_area_message(false, dol, IsoGetLastError());
  EXPECT_EQ(none.text.joined(), std::string("保存できません！\n\n") + IsoErrorTextFor(IsoErrNoMainProgram));
  EXPECT_EQ(none.caption, "エラー");
  IsoUnmount();
  EXPECT_FALSE(extract_system_area(ExtractKind::Apploader, folder_ + "apploader"));
  ExtractionMessage failed = system_area_message(false, folder_ + "apploader");
  EXPECT_EQ(failed.text.before, "保存できません！");
  EXPECT_EQ(failed.text.path, "");
  EXPECT_EQ(failed.caption, "エラー");
  EXPECT_EQ(failed.icon, MessageIcon::Error);
}
