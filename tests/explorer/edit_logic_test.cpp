// The 編集 menu's rules without windows: when a command may act, the actions
// it hands the engine, the header dialog's fields, an edit run on a real
// image and read back, and where the view returns after the remount.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "builder/build_fixture.h"
#include "explorer/core/edit_logic.h"
#include "host/host_fs.h"
#include "reader/reader.h"

namespace {

// /a.bin, /sub/b.bin, /sub/c.bin, /sub/deep/d.bin, mounted.
class ExplorerEdit : public ::testing::Test {
 protected:
  BuildFixture f;

  void SetUp() override {
    f.add_file("a.bin", 5000, 1);
    f.add_file("sub/b.bin", 3000, 2);
    f.add_file("sub/c.bin", 100, 3);
    f.add_file("sub/deep/d.bin", 70, 4);
    ASSERT_TRUE(f.build());
    builder_reset();
    ASSERT_TRUE(IsoMount(f.output.c_str(), 1));
  }
  void TearDown() override {
    builder_edit_reset();
    IsoReset();
  }

  // Plans and writes as the window does: planned while mounted, written
  // unmounted, mounted again.
  bool run(const std::vector<EditAction>& actions, ExtractionMessage* message) {
    if (!plan_edit(f.output, actions, message)) return false;
    IsoUnmount();
    bool ok = apply_planned_edit(nullptr, message);
    EXPECT_TRUE(IsoMount(f.output.c_str(), 1));
    return ok;
  }

  std::string host_file(const std::string& name, size_t size, uint8_t seed) {
    std::string path = f.scratch.at("in/" + name);
    test_support::write_patterned_file(path, size, seed);
    return path;
  }

  static uint32_t size_of(const char* path) {
    uint32_t offset = 0, size = 0;
    return IsoFindFile(path, &offset, &size, 0) ? size : UINT32_MAX;
  }
};

EditSelection rows_in(const std::string& folder, std::vector<EditRow> rows) { return {folder, rows, folder}; }

}  // namespace

TEST(ExplorerEditRules, EachCommandSaysWhyItCannotActImageFirst) {
  const EditSelection none = rows_in("/", {});
  const EditSelection file = rows_in("/", {{"a.bin", false}});
  const EditSelection folder = rows_in("/", {{"sub", true}});
  const EditSelection two = rows_in("/", {{"a.bin", false}, {"sub", true}});
  const EditCommand all[] = {EditCommand::Replace, EditCommand::Add, EditCommand::Remove, EditCommand::Rename,
                             EditCommand::Header};
  // The image's problem comes first, for every command and any selection.
  for (EditCommand c : all) {
    const std::string no_image = edit_precondition_message(c, EditImageProblem::NoImage, file);
    const std::string container = edit_precondition_message(c, EditImageProblem::Container, file);
    const std::string read_only = edit_precondition_message(c, EditImageProblem::ReadOnly, file);
    EXPECT_FALSE(no_image.empty());
    EXPECT_EQ(container, builder_edit_error_text(EDIT_ERR_CONTAINER));
    EXPECT_FALSE(read_only.empty());
    EXPECT_NE(no_image, read_only);
    EXPECT_EQ(edit_precondition_message(c, EditImageProblem::None, file), "");
  }
  const EditImageProblem ok = EditImageProblem::None;
  EXPECT_NE(edit_precondition_message(EditCommand::Replace, ok, none), "");
  EXPECT_NE(edit_precondition_message(EditCommand::Replace, ok, folder), "");
  EXPECT_NE(edit_precondition_message(EditCommand::Replace, ok, two), "");
  EXPECT_NE(edit_precondition_message(EditCommand::Remove, ok, none), "");
  EXPECT_EQ(edit_precondition_message(EditCommand::Remove, ok, two), "");
  EXPECT_NE(edit_precondition_message(EditCommand::Rename, ok, none), "");
  EXPECT_NE(edit_precondition_message(EditCommand::Rename, ok, two), "");
  EXPECT_EQ(edit_precondition_message(EditCommand::Rename, ok, folder), "");
  EXPECT_EQ(edit_precondition_message(EditCommand::Add, ok, none), "");
  EXPECT_EQ(edit_precondition_message(EditCommand::Header, ok, none), "");

  // The tree's selected folder is the one row of its parent; the root none.
  EditSelection t = tree_folder_selection("/sub/deep");
  EXPECT_EQ(t.folder, "/sub");
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0].name, "deep");
  EXPECT_TRUE(t.rows[0].is_folder);
  EXPECT_EQ(t.shown, "/sub/deep");
  EXPECT_EQ(tree_folder_selection("/sub").folder, "/");
  EXPECT_TRUE(tree_folder_selection("/").rows.empty());
}

TEST_F(ExplorerEdit, TheMountedImageIsTakenForAPlainFileAContainerOrAReadOnlyFile) {
  EXPECT_EQ(edit_image_problem(), EditImageProblem::None);
  ASSERT_EQ(chmod(f.output.c_str(), 0444), 0);
  EXPECT_EQ(edit_image_problem(), EditImageProblem::ReadOnly);
  ASSERT_EQ(chmod(f.output.c_str(), 0644), 0);
  IsoUnmount();
  EXPECT_EQ(edit_image_problem(), EditImageProblem::NoImage);

  f.output_format = container_write_defaults(CONTAINER_CISO);
  f.output_format.block_size = 32u << 10;
  f.output = f.scratch.at("out.ciso");
  std::strncpy(f.settings.output_path, f.output.c_str(), sizeof f.settings.output_path - 1);
  ASSERT_TRUE(f.build());
  builder_reset();
  ASSERT_TRUE(IsoMount(f.output.c_str(), 1)) << IsoGetErrorText();
  EXPECT_EQ(edit_image_problem(), EditImageProblem::Container);
}

TEST(ExplorerEditRules, ActionsNameTheRowsInTheFolderShown) {
  const EditSelection sel = rows_in("/sub", {{"b.bin", false}, {"deep", true}});
  std::vector<EditAction> a = replace_actions(sel, "host.bin");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, EDIT_REPLACE);
  EXPECT_EQ(a[0].image_path, "/sub/b.bin");
  EXPECT_EQ(a[0].host_path, "host.bin");

  a = remove_actions(sel);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1].kind, EDIT_REMOVE);
  EXPECT_EQ(a[1].image_path, "/sub/deep");

  a = rename_actions(rows_in("/", {{"a.bin", false}}), "new.bin");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].image_path, "/a.bin");
  EXPECT_EQ(a[0].new_name, "new.bin");

  // Added files take their host names; a trail byte 0x5C (表 is 95 5C) is
  // no separator.
  const std::string sep(1, host::PATH_SEPARATOR);
  EXPECT_EQ(host_base_name("in" + sep + "x.bin"), "x.bin");
  EXPECT_EQ(host_base_name("in" + sep + "\x95\x5C"), "\x95\x5C");
  EXPECT_EQ(host_base_name("plain"), "plain");
  a = add_actions(rows_in("/", {}), {"in" + sep + "x.bin", "y.dat"});
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].kind, EDIT_ADD);
  EXPECT_EQ(a[0].image_path, "/x.bin");
  EXPECT_EQ(a[1].image_path, "/y.dat");
  EXPECT_EQ(a[1].host_path, "y.dat");
}

TEST_F(ExplorerEdit, RemovalIsConfirmedWithTheEntriesBelowTheRowsCounted) {
  const EditSelection sel = rows_in("/", {{"a.bin", false}, {"sub", true}});
  EXPECT_EQ(entries_to_remove(sel), 6);  // a.bin; sub, b, c, deep, d
  EXPECT_EQ(entries_to_remove(rows_in("/sub", {{"c.bin", false}})), 1);
  EXPECT_NE(remove_confirmation_text(2, 6).find("6"), std::string::npos);
  EXPECT_NE(remove_confirmation_text(2, 6), remove_confirmation_text(2, 2));
}

TEST_F(ExplorerEdit, RenameIsCheckedByTheEngineAgainstTheNameRulesAndTheFolder) {
  const std::string bad_name = builder_edit_error_text(EDIT_ERR_BAD_NAME);
  EXPECT_EQ(rename_refusal(f.output, "/a.bin", "").joined(), bad_name);
  EXPECT_EQ(rename_refusal(f.output, "/a.bin", "x/y").joined(), bad_name);
  // Another entry of the folder, ASCII case ignored.
  EXPECT_EQ(rename_refusal(f.output, "/a.bin", "SUB").joined().find(builder_edit_error_text(EDIT_ERR_NAME_TAKEN)),
            0u);
  EXPECT_EQ(rename_refusal(f.output, "/a.bin", "b.bin").joined(), "");
  EXPECT_TRUE(rename_changes_nothing(rows_in("/", {{"a.bin", false}}), "a.bin"));
  EXPECT_FALSE(rename_changes_nothing(rows_in("/", {{"a.bin", false}}), "A.bin"));
}

TEST_F(ExplorerEdit, HeaderDialogSetsOnlyChangedFieldsAndRefusesBadOnes) {
  const HeaderTexts shown = header_texts_of_mounted_image();
  EXPECT_EQ(shown.game_code.size(), 3u);
  EXPECT_EQ(shown.disc_number, "0");
  EditHeaderFields fields;
  std::string problem;
  ASSERT_TRUE(header_fields_from_texts(shown, shown, &fields, &problem));
  EXPECT_FALSE(header_fields_set_any(fields));

  struct Bad {
    std::string HeaderTexts::*field;
    std::string value;
  };
  for (const Bad& bad : {Bad{&HeaderTexts::game_code, "AB"}, Bad{&HeaderTexts::game_code, "A-C"},
                         Bad{&HeaderTexts::maker_code, "0"}, Bad{&HeaderTexts::game_name, std::string(65, 'n')},
                         Bad{&HeaderTexts::disc_number, "256"}, Bad{&HeaderTexts::revision, "x"},
                         Bad{&HeaderTexts::revision, ""}}) {
    HeaderTexts typed = shown;
    typed.*bad.field = bad.value;
    problem.clear();
    EXPECT_FALSE(header_fields_from_texts(shown, typed, &fields, &problem)) << bad.value;
    EXPECT_FALSE(problem.empty());
  }

  // Each region list keeps the image's own letter choosable.
  EXPECT_EQ(region_choices('J').size(), 3u);
  ASSERT_EQ(region_choices('K').size(), 4u);
  EXPECT_EQ(region_choices('K')[3].letter, 'K');

  HeaderTexts typed = shown;
  typed.game_code = "QWE";
  typed.game_name = "新しい名前";
  typed.region_letter = 'P';
  typed.revision = "2";
  ASSERT_TRUE(header_fields_from_texts(shown, typed, &fields, &problem));
  EXPECT_TRUE(fields.set_game_code && fields.set_game_name && fields.set_region && fields.set_revision);
  EXPECT_FALSE(fields.set_maker_code || fields.set_disc_number);
  ExtractionMessage message;
  ASSERT_TRUE(run(header_actions(fields), &message)) << message.text.joined();
  const HeaderTexts after = header_texts_of_mounted_image();
  EXPECT_EQ(after.game_code, "QWE");
  EXPECT_EQ(after.region_letter, 'P');
  EXPECT_EQ(after.game_name, "新しい名前");
  EXPECT_EQ(after.revision, "2");
  EXPECT_EQ(after.maker_code, shown.maker_code);
}

TEST_F(ExplorerEdit, EditsRunThroughTheEngineAndTheViewReturnsToTheEditedRows) {
  ExtractionMessage message;
  // Replace, in a subfolder: the same folder, the same row.
  EditSelection sel = rows_in("/sub", {{"b.bin", false}});
  std::vector<EditAction> actions = replace_actions(sel, host_file("new_b", 12345, 9));
  ASSERT_TRUE(run(actions, &message)) << message.text.joined();
  EXPECT_EQ(size_of("/sub/b.bin"), 12345u);
  EditRestore r = restore_after_edit(EditCommand::Replace, sel, actions);
  EXPECT_EQ(r.folder, "/sub");
  EXPECT_EQ(r.rows, std::vector<std::string>{"b.bin"});

  // Add two files to the folder shown: both selected.
  sel = rows_in("/sub/deep", {});
  actions = add_actions(sel, {host_file("one.txt", 10, 1), host_file("two.txt", 20, 2)});
  ASSERT_TRUE(run(actions, &message)) << message.text.joined();
  EXPECT_EQ(size_of("/sub/deep/two.txt"), 20u);
  r = restore_after_edit(EditCommand::Add, sel, actions);
  EXPECT_EQ(r.folder, "/sub/deep");
  EXPECT_EQ(r.rows, (std::vector<std::string>{"one.txt", "two.txt"}));

  // With the tree focused on a folder, files go into it and it stays shown;
  // a header edit keeps it shown too.
  sel = tree_folder_selection("/sub/deep");
  actions = add_actions(sel, {host_file("three.txt", 30, 3)});
  ASSERT_TRUE(run(actions, &message)) << message.text.joined();
  EXPECT_EQ(size_of("/sub/deep/three.txt"), 30u);
  EXPECT_EQ(restore_after_edit(EditCommand::Add, sel, actions).folder, "/sub/deep");
  r = restore_after_edit(EditCommand::Header, sel, {});
  EXPECT_EQ(r.folder, "/sub/deep");
  EXPECT_TRUE(r.rows.empty());

  // Rename: the row under its new name.
  sel = rows_in("/", {{"a.bin", false}});
  actions = rename_actions(sel, "renamed.bin");
  ASSERT_TRUE(run(actions, &message)) << message.text.joined();
  EXPECT_EQ(size_of("/renamed.bin"), 5000u);
  EXPECT_EQ(restore_after_edit(EditCommand::Rename, sel, actions).rows, std::vector<std::string>{"renamed.bin"});

  // A refused edit gives the engine's text and the in-image path, and
  // writes nothing.
  actions = add_actions(rows_in("/sub", {}), {host_file("c.bin", 5, 5)});
  EXPECT_FALSE(plan_edit(f.output, actions, &message));
  EXPECT_EQ(message.text.joined(), std::string(builder_edit_error_text(EDIT_ERR_NAME_TAKEN)) + "\n\n/sub/c.bin");
  EXPECT_EQ(size_of("/sub/c.bin"), 100u);

  // Removing the folder shown from the tree: its parent is shown, nothing
  // selected; a folder gone from the image falls back to one above it.
  sel = tree_folder_selection("/sub/deep");
  actions = remove_actions(sel);
  ASSERT_TRUE(run(actions, &message)) << message.text.joined();
  EXPECT_EQ(IsoFindEntry("/sub/deep"), nullptr);
  r = restore_after_edit(EditCommand::Remove, sel, actions);
  EXPECT_EQ(r.folder, "/sub");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(existing_folder("/sub/deep/gone"), "/sub");
  EXPECT_EQ(existing_folder("/nothing"), "/");
}

TEST(ExplorerEditRules, EngineErrorsShowTheirTextAndPathLargeEditsShowProgress) {
  ExtractionMessage m = edit_error_message(EDIT_ERR_OPEN_FOR_WRITING, "C:\\x.gcm");
  EXPECT_EQ(m.text.before, std::string(builder_edit_error_text(EDIT_ERR_OPEN_FOR_WRITING)) + "\n\n");
  EXPECT_EQ(m.text.path, "C:\\x.gcm");  // a host path, in the system's code page
  EXPECT_EQ(m.icon, MessageIcon::Error);
  m = edit_error_message(EDIT_ERR_OVERSIZE, "");
  EXPECT_EQ(m.text.joined(), builder_edit_error_text(EDIT_ERR_OVERSIZE));
  EXPECT_FALSE(edit_shows_progress(1u << 20));
  EXPECT_TRUE(edit_shows_progress(64u << 20));
}
