// Rebuilding with a previous table: the scanned tree takes the table's order,
// entries new to it come last in their folder, and the entries it no longer
// holds are listed in table order, however deep the table nests; a name
// unpacked as Latin-1 text is matched to its entry and keeps its bytes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "builder/build_fixture.h"
#include "builder/builder_testing.h"
#include "builder/source_walk.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "support/test_support.h"

namespace {

struct Entry {
  bool folder;
  std::string name;
  uint32_t second, third;  // file: offset and length; folder: 0 and its end index
};

// A table of the entries; entries of one name share its bytes, as a hostile
// table may.
std::vector<uint8_t> make_table(const std::vector<Entry>& entries) {
  std::vector<uint8_t> table(FST_ENTRY_SIZE * (entries.size() + 1), 0);
  write_be32(&table[0], FST_DIRECTORY_FLAG);
  write_be32(&table[8], uint32_t(entries.size() + 1));
  std::string names;
  std::map<std::string, uint32_t> offsets;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    auto found = offsets.emplace(e.name, uint32_t(names.size()));
    if (found.second) names += e.name + '\0';
    uint8_t* p = &table[FST_ENTRY_SIZE * (i + 1)];
    write_be32(p, found.first->second | (e.folder ? FST_DIRECTORY_FLAG : 0));
    write_be32(p + 4, e.second);
    write_be32(p + 8, e.third);
  }
  table.insert(table.end(), names.begin(), names.end());
  return table;
}

// "name" or "name*" (new) for every node of the scanned tree, depth first.
std::vector<std::string> tree_listing() {
  std::vector<std::string> out;
  std::vector<std::pair<const SourceNode*, std::string>> open{{builder_tree()->first_child, ""}};
  while (!open.empty()) {
    auto [node, prefix] = open.back();
    open.pop_back();
    for (; node; node = node->next_sibling) {
      out.push_back(prefix + "/" + node->name + (node->is_new ? "*" : ""));
      if (node->is_directory && node->first_child) {
        if (node->next_sibling) open.push_back({node->next_sibling, prefix});
        open.push_back({node->first_child, prefix + "/" + node->name});
        break;
      }
    }
  }
  return out;
}

bool prepare_with(BuildFixture& f, const std::vector<uint8_t>& table) {
  builder_reset();
  return builder_set_previous_table(table.data(), table.size()) && builder_prepare(&f.settings);
}

TEST(PreviousTable, OrderNewEntriesAndRemovedPathsHoldThroughADeepTable) {
  BuildFixture f;
  f.add_file("a.txt", 1);
  f.add_file("b.txt", 1);
  f.add_file("c_new.txt", 1);
  f.add_file("dir/x", 1);
  f.add_file("dir/new", 1);
  // Then 3,000 nested folders sharing one 255-byte name (36 KB of table).
  const uint32_t depth = 3000;
  const std::string long_name(255, 'n');
  std::vector<Entry> entries = {{false, "b.txt", 0x10000, 1}, {true, "dir", 0, 5},       {false, "x", 0x8000, 1},
                                {false, "gone", 0x8800, 1},   {false, "a.txt", 0x9000, 1}, {true, "deep", 0, 0}};
  for (uint32_t i = 0; i < depth; ++i) entries.push_back({true, long_name, 0, 0});
  for (Entry& e : entries)
    if (e.folder && e.name != "dir") e.third = uint32_t(entries.size() + 1);
  const std::vector<uint8_t> table = make_table(entries);

  ASSERT_TRUE(prepare_with(f, table)) << builder_last_error();
  EXPECT_EQ(tree_listing(), (std::vector<std::string>{"/b.txt", "/dir", "/dir/x", "/dir/new*", "/a.txt",
                                                      "/c_new.txt*"}));
  ASSERT_EQ(builder_removed_count(), 2u + depth);
  EXPECT_STREQ(builder_removed_path(0), "/dir/gone");
  EXPECT_STREQ(builder_removed_path(1), "/deep");
  std::string deepest = "/deep";
  for (uint32_t i = 0; i < depth; ++i) deepest += "/" + long_name;
  EXPECT_EQ(builder_removed_path(1 + depth), deepest);
  std::vector<std::string> added;
  EXPECT_EQ(builder_added_paths(1, &added), 2u);
  EXPECT_EQ(added, std::vector<std::string>{"/dir/new"});

  // Memory running out at any allocation of the rebuild is code 1, never an
  // abort; with enough, the same rebuild succeeds.
  bool done = false;
  for (long allowed = 0; allowed < 200 && !done; ++allowed) {
    builder_testing_fail_allocations_after(allowed);
    done = prepare_with(f, table);
    builder_testing_fail_allocations_after(-1);
    if (!done) {
      ASSERT_EQ(builder_last_error(), BUILD_ERR_NO_MEMORY) << allowed;
    }
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(builder_removed_count(), 2u + depth);

  // Bytes that are no table are refused, and nothing is taken.
  builder_reset();
  std::vector<uint8_t> broken = table;
  write_be32(&broken[FST_ENTRY_SIZE * 2 + 8], 1);  // "dir" ends before itself
  EXPECT_FALSE(builder_set_previous_table(broken.data(), broken.size()));
  EXPECT_EQ(builder_last_error(), BUILD_OK);
}

// A previous table passes the one table check the reader's mount makes: a
// table the reader refuses is refused as bytes and as an unpacked disc's
// fst.bin (code 18, naming it). The unpacked disc's other parts report
// their own codes and paths.
TEST(PreviousTable, TablesTheReaderRefusesAreRefusedAndAnUnpackedDiscNamesWhatIsWrong) {
  test_support::ScratchDir dir;
  const std::string sep(1, host::PATH_SEPARATOR);
  const std::string sys = dir.at("u") + sep + "sys", files = dir.at("u") + sep + "files";
  const std::string fst = sys + sep + "fst.bin", bi2 = sys + sep + "bi2.bin";
  test_support::write_file(sys + sep + "boot.bin", std::vector<uint8_t>(BOOT_BIN_SIZE, 0));
  test_support::write_file(bi2, std::vector<uint8_t>(BI2_SIZE, 0));
  test_support::fs::create_directories(files);
  const std::vector<uint8_t> good = make_table({{true, "d", 0, 3}, {false, "a", 0x8000, 1}});
  auto take = [&](const std::vector<uint8_t>& table) {
    test_support::write_file(fst, table);
    builder_reset();
    BuildSettings settings = {};
    return builder_set_unpacked_disc(dir.at("u").c_str(), &settings);
  };
  ASSERT_TRUE(take(good)) << builder_last_error();
  // Typed header fields stay; boot.bin gives the others.
  std::vector<uint8_t> boot(BOOT_BIN_SIZE, 0);
  std::memcpy(boot.data(), "OLDE01", 6);
  std::memcpy(boot.data() + offsetof(DiscHeader, game_name), "Old", 3);
  test_support::write_file(sys + sep + "boot.bin", boot);
  builder_reset();
  BuildSettings typed = {};
  std::memcpy(typed.game_code, "NEWJ", 4);
  std::memcpy(typed.game_name, "New", 3);
  ASSERT_TRUE(builder_set_unpacked_disc(dir.at("u").c_str(), &typed, {true, false, true, false}));
  EXPECT_EQ(std::string(typed.game_code, 4) + std::string(typed.maker_code, 2) + typed.game_name, "NEWE01New");

  struct Case {
    const char* what;
    void (*change)(std::vector<uint8_t>*);
  };
  const Case cases[] = {
      {"no entries at all", [](std::vector<uint8_t>* t) { write_be32(&(*t)[8], 0); }},
      {"more entries than its size holds", [](std::vector<uint8_t>* t) { write_be32(&(*t)[8], 100); }},
      {"larger than the readers' bound", [](std::vector<uint8_t>* t) { t->resize(FST_MAX_READ_SIZE + 1); }},
      {"a folder ending at its own index", [](std::vector<uint8_t>* t) { write_be32(&(*t)[20], 1); }},
      {"a folder ending past the table", [](std::vector<uint8_t>* t) { write_be32(&(*t)[20], 4); }},
      {"a name offset outside the names", [](std::vector<uint8_t>* t) { write_be32(&(*t)[24], 0x100); }},
      {"a folder kind byte of 2", [](std::vector<uint8_t>* t) { (*t)[12] = 2; }},
      {"a name without its NUL", [](std::vector<uint8_t>* t) { t->pop_back(); }},
      {"shorter than the root entry", [](std::vector<uint8_t>* t) { t->resize(FST_ENTRY_SIZE - 1); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> table = good;
    c.change(&table);
    builder_reset();
    EXPECT_FALSE(builder_set_previous_table(table.data(), table.size())) << c.what;
    EXPECT_FALSE(take(table)) << c.what;
    EXPECT_EQ(builder_last_error(), BUILD_ERR_NOT_A_TABLE) << c.what;
    EXPECT_EQ(builder_last_error_path(), fst) << c.what;
  }

  test_support::write_file(bi2, std::vector<uint8_t>(BI2_SIZE - 1, 0));
  EXPECT_FALSE(take(good));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_UNPACKED_FILE_SIZE);
  EXPECT_EQ(builder_last_error_path(), bi2);
  test_support::fs::remove(bi2);
  EXPECT_FALSE(take(good));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_OPEN_INPUT);
  EXPECT_EQ(builder_last_error_path(), bi2);
  test_support::write_file(bi2, std::vector<uint8_t>(BI2_SIZE, 0));
  test_support::fs::remove(files);
  EXPECT_FALSE(take(good));
  EXPECT_EQ(builder_last_error(), BUILD_ERR_ENTER_BASE_DIRECTORY);
  EXPECT_EQ(builder_last_error_path(), files);
}

#ifndef _WIN32
// Each byte from 0x80 on as the UTF-8 of U+0080..U+00FF, as wit writes names.
std::string as_latin1_text(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST(PreviousTable, NamesUnpackedAsLatin1TextAreTheirEntriesAndKeepTheirBytes) {
  BuildFixture f;
  const std::string test_szs = "\x83\x65\x83\x58\x83\x67" "1.szs";  // テスト1.szs
  const std::string music = "\x89\xB9\x8A\x79";                     // 音楽
  const std::string saizu = "\xBB\xB2\xBD\xDE";                     // ｻｲｽﾞ, each byte a Latin-1 letter
  const std::string data = "\x83\x66\x81\x5B\x83\x5E";              // データ
  const std::vector<uint8_t> table = make_table({{false, "zz.txt", 0x8000, 1},
                                                 {false, test_szs, 0x8800, 1},
                                                 {true, music, 0, 7},
                                                 {false, "track.adx", 0x9000, 1},
                                                 {false, saizu, 0x9800, 1},
                                                 {false, data, 0xA000, 1}});
  f.add_file("zz.txt", 1);
  write_host_file(f.base + "/" + as_latin1_text(test_szs), {'t'});
  make_host_folder(f.base + "/" + as_latin1_text(music));
  write_host_file(f.base + "/" + as_latin1_text(music) + "/track.adx", {'a'});
  write_host_file(f.base + "/" + as_latin1_text(music) + "/" + as_latin1_text(saizu), {'s'});
  // データ both as its own name and as Latin-1 text: the own name is the entry.
  write_host_file(f.base + "/" + as_latin1_text(music) + "/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", {'d'});
  write_host_file(f.base + "/" + as_latin1_text(music) + "/" + as_latin1_text(data), {'D'});

  ASSERT_TRUE(prepare_with(f, table)) << builder_last_error();
  EXPECT_EQ(builder_removed_count(), 0u);
  const std::string in_music = "/" + music + "/";
  EXPECT_EQ(tree_listing(), (std::vector<std::string>{"/zz.txt", "/" + test_szs, "/" + music, in_music + "track.adx",
                                                      in_music + saizu, in_music + data,
                                                      in_music + as_latin1_text(data) + "*"}));
  // Only the new entry goes in as its host bytes: the others took the table's names.
  std::vector<std::string> host_bytes;
  walk_source_tree(builder_tree(), [&](const SourceNode& n) {
    if (n.name_is_host_bytes) host_bytes.push_back(n.name);
  });
  EXPECT_EQ(host_bytes, std::vector<std::string>{as_latin1_text(data)});
}
#endif

}  // namespace
