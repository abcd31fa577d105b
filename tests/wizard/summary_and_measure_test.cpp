// The summary page: its lines, the measure of the scanned tree (sizes and the
// long-name rule), and the messages for a preparation the builder refused.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "wizard/core/wizard_logic.h"
#include "wizard/filled_state.h"
#include "wizard/core/wizard_state.h"

namespace {

WizardState typed_state() {
  return filled_wizard_state("ゲーム", {"C:\\boot\\apploader.img", "C:\\boot\\main.dol", "C:\\files",
                                      "C:\\out\\disc.gcm"});
}

std::vector<std::string> joined(const std::vector<ShownText>& lines) {
  std::vector<std::string> out;
  for (const ShownText& line : lines) out.push_back(line.joined());
  return out;
}

TEST(SummaryLines, TypedHeaderGivesFourHeaderLinesThenFilesAndOutput) {
  std::vector<std::string> expected = {
      "ヘッダー:",
      "     ゲーム ID: GTR",
      "     ゲーム名: ゲーム",
      "     開発元 ID: 01",
      "     地域: USA",
      "",
      "ブートローダー:",
      "     アプリケーションローダー: C:\\boot\\apploader.img",
      "     メインプログラム: C:\\boot\\main.dol",
      "",
      "ベースディレクトリ:",
      "     C:\\files",
      "",
      "出力ファイル:",
      "     C:\\out\\disc.gcm",
      "     最大出力: はい",
  };
  EXPECT_EQ(joined(summary_lines(typed_state())), expected);
}

TEST(SummaryLines, ImportedHeaderNamesTheImageInsteadOfTheFields) {
  WizardState state = typed_state();
  state.import_header = 1;
  std::strcpy(state.import_image_path, "D:\\old.gcm");
  state.maximise_image = 0;
  std::vector<std::string> lines = joined(summary_lines(state));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[1], "     ISOからヘッダー取得:");
  EXPECT_EQ(lines[2], "     D:\\old.gcm");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines.back(), "     最大出力: いいえ");
}

TEST(SummaryLines, PathsStayApartFromTheJapaneseLabels) {
  // Paths are in the system code page; the window converts them on their own.
  std::vector<ShownText> lines = summary_lines(typed_state());
  EXPECT_EQ(lines[7].before, "     アプリケーションローダー: ");
  EXPECT_EQ(lines[7].path, "C:\\boot\\apploader.img");
  EXPECT_EQ(lines[11].path, "C:\\files");
  EXPECT_EQ(lines[14].path, "C:\\out\\disc.gcm");
  EXPECT_TRUE(lines[2].path.empty());  // the game name is code page 932
}

TEST(SummaryLines, RegionNamesJapanUsaAndEuropeForAnyOtherIndex) {
  EXPECT_STREQ(region_name(0), "Japan");
  EXPECT_STREQ(region_name(1), "USA");
  EXPECT_STREQ(region_name(2), "Europe");
  EXPECT_STREQ(region_name(9), "Europe");
}

TEST(SummaryLines, FullSixtyFourByteGameNameIsNotReadPastItsField) {
  WizardState state = typed_state();
  std::memset(state.game_name, 'n', sizeof(state.game_name));  // no terminator at all
  std::vector<std::string> lines = joined(summary_lines(state));
  EXPECT_EQ(lines[2], "     ゲーム名: " + std::string(64, 'n'));
}

// A scanned tree built by hand, as the builder links it.
class Tree {
 public:
  SourceNode* root() { return &root_; }
  SourceNode* add(SourceNode* folder, const char* name, uint32_t size, bool is_directory) {
    names_.emplace_back(name);
    nodes_.push_back(SourceNode{});
    SourceNode* node = &nodes_.back();
    node->name = &names_.back()[0];
    node->full_path = node->name;
    node->size = size;
    node->is_directory = is_directory ? 1 : 0;
    SourceNode* last = folder->first_child;
    if (!last) {
      folder->first_child = node;
    } else {
      while (last->next_sibling) last = last->next_sibling;
      last->next_sibling = node;
      node->prev_sibling = last;
    }
    return node;
  }

 private:
  SourceNode root_{};
  std::deque<SourceNode> nodes_;
  std::deque<std::string> names_;
};

int g_visits = 0;
void count_visit() { ++g_visits; }

TEST(MeasureTree, SumsFileSizesDepthFirstAndVisitsEveryNode) {
  Tree tree;
  tree.add(tree.root(), "a.bin", 1000, false);
  SourceNode* folder = tree.add(tree.root(), "data", 0, true);
  tree.add(folder, "b.bin", 2000, false);
  SourceNode* inner = tree.add(folder, "deep", 0, true);
  tree.add(inner, "c.bin", 3, false);
  tree.add(tree.root(), "empty", 0, true);
  g_visits = 0;
  TreeMeasure m = measure_tree(tree.root(), count_visit);
  EXPECT_EQ(m.total_data_size, 3003u);
  EXPECT_FALSE(m.has_long_names);
  EXPECT_EQ(g_visits, 6);
}

TEST(MeasureTree, NamesOfThirteenBytesAreLongTwelveAreNot) {
  Tree twelve;
  twelve.add(twelve.root(), "abcdefgh.ijk", 1, false);  // 12 bytes
  twelve.add(twelve.root(), "lowercase", 1, false);
  EXPECT_FALSE(measure_tree(twelve.root(), nullptr).has_long_names);

  Tree long_folder;
  SourceNode* folder = long_folder.add(long_folder.root(), "thirteen_byte", 0, true);
  long_folder.add(folder, "x", 1, false);
  EXPECT_TRUE(measure_tree(long_folder.root(), nullptr).has_long_names);

  Tree deep_long;
  SourceNode* sub = deep_long.add(deep_long.root(), "sub", 0, true);
  deep_long.add(sub, "a_long_name.bin", 1, false);
  EXPECT_TRUE(measure_tree(deep_long.root(), nullptr).has_long_names);
  EXPECT_TRUE(is_long_name("ゲームファイル"));  // 7 characters, 14 bytes
}

TEST(MeasureTree, EmptyTreeAndSumWrapLikeThirtyTwoBits) {
  Tree empty;
  TreeMeasure m = measure_tree(empty.root(), nullptr);
  EXPECT_EQ(m.total_data_size, 0u);
  EXPECT_FALSE(m.has_long_names);
  EXPECT_EQ(measure_tree(nullptr, nullptr).total_data_size, 0u);

  Tree big;
  big.add(big.root(), "a", 0xF0000000u, false);
  big.add(big.root(), "b", 0x20000000u, false);
  EXPECT_EQ(measure_tree(big.root(), nullptr).total_data_size, 0x10000000u);
}

TEST(MeasureTree, StartsFromTheFirstSiblingWhateverNodeTheRootPointsAt) {
  Tree tree;
  SourceNode* first = tree.add(tree.root(), "one", 10, false);
  SourceNode* second = tree.add(tree.root(), "two", 20, false);
  (void)first;
  tree.root()->first_child = second;
  EXPECT_EQ(measure_tree(tree.root(), nullptr).total_data_size, 30u);
}

TEST(PrepareFailure, EachCauseNamesWhatTheBuilderRefused) {
  WizardState state = typed_state();
  BuildSettings settings;
  fill_build_settings(state, nullptr, &settings);

  ShownText apploader = prepare_failure_message(BUILD_ERR_OPEN_INPUT, settings, settings.apploader_path);
  EXPECT_EQ(apploader.path, "C:\\boot\\apploader.img");
  EXPECT_NE(apploader.before.find("アプリケーションローダー"), std::string::npos);
  ShownText program = prepare_failure_message(BUILD_ERR_OPEN_INPUT, settings, settings.main_program_path);
  EXPECT_EQ(program.path, "C:\\boot\\main.dol");
  EXPECT_EQ(prepare_failure_message(BUILD_ERR_CREATE_OUTPUT, settings, "").path,
            "C:\\out\\disc.gcm");
  EXPECT_EQ(prepare_failure_message(BUILD_ERR_ENTER_BASE_DIRECTORY, settings, "").path,
            "C:\\files");
  EXPECT_EQ(prepare_failure_message(BUILD_ERR_ENUMERATE, settings, "").path, "C:\\files");
  // An output that is an input names that input; inside the base directory, the directory.
  ShownText clash = prepare_failure_message(BUILD_ERR_OUTPUT_IS_INPUT, settings, settings.main_program_path);
  EXPECT_EQ(clash.path, "C:\\boot\\main.dol");
  EXPECT_NE(clash.before.find("メインプログラム"), std::string::npos);
  EXPECT_EQ(prepare_failure_message(BUILD_ERR_OUTPUT_IS_INPUT, settings, settings.apploader_path).path,
            "C:\\boot\\apploader.img");
  EXPECT_EQ(prepare_failure_message(BUILD_ERR_OUTPUT_IS_INPUT, settings, "C:\\files\\out.gcm").path, "C:\\files");

  // Every code gives a different text, and each ends with its number.
  std::vector<std::string> texts;
  for (uint16_t code = 1; code <= BUILD_ERROR_LAST; ++code) {
    std::string text = prepare_failure_message(code, settings, "").joined();
    EXPECT_NE(text.find("(エラーコード " + std::to_string(code) + ")"), std::string::npos) << code;
    texts.push_back(text);
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  }
}

}  // namespace
