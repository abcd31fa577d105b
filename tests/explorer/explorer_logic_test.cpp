// The main window's window-free rules: the command line, tree item paths,
// what the list shows for a path and its counts, the navigation history.
#include <gtest/gtest.h>

#include "explorer/core/explorer_logic.h"
#include "reader/raw_image.h"

namespace {

std::string image_named(const char* command_line) {
  std::string path = "unchanged";
  if (!parse_command_line(command_line, &path)) return "<none>";
  return path;
}

}  // namespace

TEST(ExplorerCommandLine, QuotedImageAfterQuotedProgramIsNamed) {
  EXPECT_EQ(image_named("\"C:\\p\\Ombrel.exe\" \"C:\\x\\game.gcm\""), "C:\\x\\game.gcm");
  EXPECT_EQ(image_named("\"C:\\Program Files\\O.exe\" \"D:\\my games\\a b.gcm\""),
            "D:\\my games\\a b.gcm");
  // Extra blanks between the two, or after the image, change nothing.
  EXPECT_EQ(image_named("\"O.exe\"   \"x.gcm\"  "), "x.gcm");
  // A missing closing quote still names the image.
  EXPECT_EQ(image_named("\"O.exe\" \"x.gcm"), "x.gcm");
}

TEST(ExplorerCommandLine, BareImageAsTypedInAConsoleIsNamed) {
  EXPECT_EQ(image_named("\"O.exe\" Z:\\tmp\\game.gcm"), "Z:\\tmp\\game.gcm");
  EXPECT_EQ(image_named("Ombrel.exe game.gcm"), "game.gcm");
  // Blanks inside a bare path belong to it; trailing ones do not.
  EXPECT_EQ(image_named("Ombrel  C:\\my games\\a.gcm \t"), "C:\\my games\\a.gcm");
  // One character after the program is a whole path, not a cut quote.
  EXPECT_EQ(image_named("\"O.exe\" x"), "x");
}

TEST(ExplorerCommandLine, ProgramAloneNamesNoImage) {
  EXPECT_EQ(image_named("\"C:\\p\\Ombrel.exe\" "), "<none>");
  EXPECT_EQ(image_named("\"C:\\p\\Ombrel.exe\""), "<none>");
  EXPECT_EQ(image_named("Ombrel.exe"), "<none>");
  EXPECT_EQ(image_named("\"O.exe\" \"\""), "<none>");
  EXPECT_EQ(image_named(""), "<none>");
  EXPECT_EQ(image_named(nullptr), "<none>");
  // A program path whose quote never closes swallows the line.
  EXPECT_EQ(image_named("\"C:\\p\\Ombrel.exe x.gcm"), "<none>");
}

TEST(ExplorerTreePath, RootIsSlashAndOthersJoinTheirAncestors) {
  EXPECT_EQ(join_tree_path({}), "/");
  EXPECT_EQ(join_tree_path({"a"}), "/a");
  EXPECT_EQ(join_tree_path({"a", "b", "c"}), "/a/b/c");
  // Shift-JIS names are joined byte for byte, a 0x5C trail byte included.
  EXPECT_EQ(join_tree_path({"能", "x"}), "/\x94\x5C/x");
}

TEST(ExplorerTreePath, DeepPathsAreNotCutIntoAnotherPath) {
  // A cut path could name a different folder; a long one is kept whole.
  std::vector<std::string> names(20, std::string(40, 'n'));
  std::string path = join_tree_path(names);
  EXPECT_EQ(path.size(), 20u * 41u);
  EXPECT_EQ(path.substr(path.size() - 41), "/" + std::string(40, 'n'));
}

TEST(ExplorerCountsText, FilesComeFirstInCodePage932) {
  EXPECT_EQ(counts_status_text({2, 1}), "2 ﾌｧｲﾙ、1 ﾃﾞｨﾚｸﾄﾘ");
  // Half-width katakana are single bytes; the comma is the double-byte 0x81 0x41.
  EXPECT_EQ(counts_status_text({0, 0}), "0 \xCC\xA7\xB2\xD9\x81\x41" "0 \xC3\xDE\xA8\xDA\xB8\xC4\xD8");
  EXPECT_EQ(counts_status_text({123456, 7}), "123456 ﾌｧｲﾙ、7 ﾃﾞｨﾚｸﾄﾘ");
}

class ExplorerListing : public ::testing::Test {
 protected:
  void SetUp() override {
    RawImage image;
    uint32_t data = image.add_data({1, 2, 3});
    // /f1  /d/{x, y, sub/}  /D/  /e/ (empty)  /f2
    image.write_table({file_entry("f1", data, 3), dir_entry("d", 6), file_entry("x", data, 1),
                       file_entry("y", data, 2), dir_entry("sub", 6), dir_entry("D", 7),
                       dir_entry("e", 8), file_entry("f2", data, 3)});
    ASSERT_TRUE(fx_.mount(image));
  }
  ReaderFixture fx_;
};

TEST_F(ExplorerListing, SlashListsTheRootAndOtherPathsTheirExactFolder) {
  const FstNode* root = listed_directory("/");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root, IsoGetRoot());
  EntryCounts top = count_entries(root);
  EXPECT_EQ(top.files, 2);
  EXPECT_EQ(top.directories, 3);

  const FstNode* d = listed_directory("/d");
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->name, "d");
  EntryCounts inside = count_entries(d);
  EXPECT_EQ(inside.files, 2);
  EXPECT_EQ(inside.directories, 1);
  EXPECT_EQ(counts_status_text(inside), "2 ﾌｧｲﾙ、1 ﾃﾞｨﾚｸﾄﾘ");

  // Case matters: "/D" is the other, empty folder.
  const FstNode* upper = listed_directory("/D");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->firstChild, nullptr);
  EXPECT_EQ(count_entries(listed_directory("/d/sub")).files, 0);
}

namespace {

// Each tree folder as "path" built from its parents, in the tree's order.
std::vector<std::string> tree_folder_paths(const FstNode* root) {
  std::vector<TreeFolder> folders = tree_folders(root);
  std::vector<std::string> paths;
  for (const TreeFolder& folder : folders) {
    EXPECT_LT(folder.parent, int(paths.size()));  // parents come before children
    std::string parent = folder.parent < 0 ? "" : paths[size_t(folder.parent)];
    paths.push_back(parent + "/" + folder.node->name);
  }
  return paths;
}

}  // namespace

TEST_F(ExplorerListing, TreeHoldsOnlyFoldersDepthFirstInSiblingOrder) {
  EXPECT_EQ(tree_folder_paths(IsoGetRoot()),
            (std::vector<std::string>{"/d", "/d/sub", "/D", "/e"}));
  EXPECT_TRUE(tree_folders(nullptr).empty());
}

TEST(ExplorerTree, DeepNestingAndFilesOnlyImages) {
  ReaderFixture fx;
  RawImage deep;
  uint32_t data = deep.add_data({7});
  // 300 folders inside each other around one file, then a sibling of the
  // outermost (table indices: folders 1-300, the file 301, "last" 302).
  std::vector<TableEntry> entries;
  const uint32_t depth = 300;
  for (uint32_t i = 0; i < depth; ++i) entries.push_back(dir_entry("n", depth + 2));
  entries.push_back(file_entry("leaf", data, 1));
  entries.push_back(dir_entry("last", depth + 3));
  deep.write_table(entries);
  ASSERT_TRUE(fx.mount(deep));
  std::vector<TreeFolder> folders = tree_folders(IsoGetRoot());
  ASSERT_EQ(folders.size(), size_t(depth) + 1);
  for (uint32_t i = 0; i < depth; ++i) EXPECT_EQ(folders[i].parent, int(i) - 1);
  EXPECT_STREQ(folders[depth].node->name, "last");
  EXPECT_EQ(folders[depth].parent, -1);

  // An image without folders gets the root item alone.
  RawImage flat;
  flat.write_table({file_entry("a", flat.add_data({1}), 1)});
  ASSERT_TRUE(fx.mount(flat));
  EXPECT_TRUE(tree_folders(IsoGetRoot()).empty());
}

TEST_F(ExplorerListing, PathsThatNameNoFolderListNothing) {
  EXPECT_EQ(listed_directory("/f1"), nullptr);  // a file
  EXPECT_EQ(listed_directory("/gone"), nullptr);
  EXPECT_EQ(listed_directory("/d/x"), nullptr);
  EntryCounts none = count_entries(nullptr);
  EXPECT_EQ(none.files + none.directories, 0);
  IsoUnmount();
  // Unmounted, the root has no entries and nothing else resolves.
  EXPECT_EQ(count_entries(listed_directory("/")).directories, 0);
  EXPECT_EQ(listed_directory("/d"), nullptr);
}

namespace {

// Distinct fake handles: the history never looks behind them.
HistoryItem item(int n) { return reinterpret_cast<HistoryItem>(static_cast<uintptr_t>(n) * 16); }

NavigationHistory cleared() {
  NavigationHistory history;
  for (HistoryItem& entry : history.entries) entry = item(999);  // stale values from before
  history.index = 42;
  history_clear(&history);
  return history;
}

}  // namespace

TEST(ExplorerHistory, ClearedHistoryGoesNowhere) {
  NavigationHistory history = cleared();
  EXPECT_EQ(history.index, 0);
  for (HistoryItem entry : history.entries) EXPECT_EQ(entry, nullptr);
  HistoryItem target = item(7);
  EXPECT_FALSE(history_back(&history, &target));
  EXPECT_FALSE(history_forward(&history, &target));
  EXPECT_EQ(target, item(7));
  EXPECT_EQ(history.index, 0);
}

TEST(ExplorerHistory, BackTwiceAfterTwoStepsReachesTheEmptyFirstEntry) {
  NavigationHistory history = cleared();
  history_push(&history, item(1));
  history_push(&history, item(2));
  EXPECT_EQ(history.index, 2);
  HistoryItem target = nullptr;
  ASSERT_TRUE(history_back(&history, &target));
  EXPECT_EQ(target, item(1));
  ASSERT_TRUE(history_back(&history, &target));
  EXPECT_EQ(target, nullptr);  // entry 0: the tree's selection is cleared
  EXPECT_FALSE(history_back(&history, &target));
  // Forward retraces both steps and stops before the empty entry 3.
  ASSERT_TRUE(history_forward(&history, &target));
  EXPECT_EQ(target, item(1));
  ASSERT_TRUE(history_forward(&history, &target));
  EXPECT_EQ(target, item(2));
  EXPECT_FALSE(history_forward(&history, &target));
  EXPECT_EQ(history.index, 2);
}

TEST(ExplorerHistory, StepAfterBackOverwritesOneEntryAndKeepsTheRest) {
  NavigationHistory history = cleared();
  for (int n = 1; n <= 3; ++n) history_push(&history, item(n));
  HistoryItem target = nullptr;
  history_back(&history, &target);
  history_back(&history, &target);  // at entry 1
  history_push(&history, item(9));  // entry 2 replaced
  EXPECT_EQ(history.entries[2], item(9));
  ASSERT_TRUE(history_forward(&history, &target));
  EXPECT_EQ(target, item(3));  // entry 3 survived
}

TEST(ExplorerHistory, StepsPastTheLastEntryOverwriteIt) {
  NavigationHistory history = cleared();
  for (int n = 1; n <= NAVIGATION_LAST_INDEX; ++n) history_push(&history, item(n));
  EXPECT_EQ(history.index, 127);
  EXPECT_EQ(history.entries[127], item(127));
  history_push(&history, item(500));
  history_push(&history, item(501));
  EXPECT_EQ(history.index, 127);
  EXPECT_EQ(history.entries[127], item(501));
  EXPECT_EQ(history.entries[126], item(126));
  HistoryItem target = nullptr;
  EXPECT_FALSE(history_forward(&history, &target));  // nothing beyond the last entry
  ASSERT_TRUE(history_back(&history, &target));
  EXPECT_EQ(target, item(126));
  ASSERT_TRUE(history_forward(&history, &target));
  EXPECT_EQ(target, item(501));
}
