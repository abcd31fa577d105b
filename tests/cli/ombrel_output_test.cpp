// What ombrel-cli prints: texts of the image decoded for a UTF-8 terminal,
// listing lines and walks over hand-made trees, and the info block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/ombrel_output.h"
#include "support/node_tree.h"

namespace {

using test_support::Tree;

// A listing's lines as one text.
std::string listed(const FstNode* first_child, const std::string& folder_path, bool recursive) {
  std::string out;
  write_entries(first_child, folder_path, recursive, [&](const std::string& line) {
    out += line;
    return true;
  });
  return out;
}

TEST(OmbrelOutput, FieldTextEndsAtNulOrAtTheFieldsEnd) {
  const uint8_t with_nul[8] = {'a', 'b', 0, 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(banner_field_text(with_nul, 8), "ab");
  const uint8_t full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(banner_field_text(full, 4), "wxyz");
  EXPECT_EQ(banner_field_text(nullptr, 32), "");
}

TEST(OmbrelOutput, ImageTextsDecodeOrStayRaw) {
  // This file's literals are stored in code page 932, as the image's are.
  EXPECT_EQ(shift_jis_for_display("サンプル"),
            "\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB");
  // "能" has the trail byte 0x5C, which must not turn into a backslash.
  EXPECT_EQ(shift_jis_for_display("能"), "\xE8\x83\xBD");
  // A lead byte with no trail byte is not Shift-JIS: the bytes stay.
  EXPECT_EQ(shift_jis_for_display("ab\x81"), "ab\x81");

  EXPECT_EQ(windows1252_for_display("f\xFCr \x80"), "f\xC3\xBCr \xE2\x82\xAC");
  // 0x81 is undefined in Windows-1252.
  EXPECT_EQ(windows1252_for_display("x\x81y"), "x\x81y");
}

TEST(OmbrelOutput, ControlCharactersAreEscapedSoEachTextStaysOnItsLine) {
  EXPECT_EQ(escape_controls("line 1\nline 2\r\tend"), "line 1\\nline 2\\r\\tend");
  EXPECT_EQ(escape_controls(std::string("a\x01\x7F" "b", 4)), "a\\x01\\x7Fb");
  EXPECT_EQ(windows1252_for_display("Gr\xF6\xDF" "e\n"), "Gr\xC3\xB6\xC3\x9F" "e\\n");
}

TEST(OmbrelOutput, EntryLinesAreKindSizeOffsetAndPath) {
  Tree t;
  FstNode* data = t.add(t.root(), "data", true);
  FstNode* file = t.add(data, "big.bin", false, 4000000000u, 3000000000u);
  EXPECT_EQ(entry_line(*data, "/data"), "d\t0\t0\t/data\n");
  EXPECT_EQ(entry_line(*file, "/data/big.bin"), "f\t4000000000\t3000000000\t/data/big.bin\n");
}

TEST(OmbrelOutput, ListingsFollowTableOrderFoldersBeforeTheirContents) {
  Tree t;
  FstNode* a = t.add(t.root(), "a", true);
  t.add(a, "a1", false, 1, 100);
  FstNode* b = t.add(a, "b", true);
  t.add(b, "b1", false, 2, 200);
  t.add(b, "empty", true);
  t.add(a, "a2", false, 3, 300);
  t.add(t.root(), "top", false, 4, 400);

  EXPECT_EQ(listed(t.root()->firstChild, "/", false),
            "d\t0\t0\t/a\n"
            "f\t4\t400\t/top\n");
  EXPECT_EQ(listed(t.root()->firstChild, "/", true),
            "d\t0\t0\t/a\n"
            "f\t1\t100\t/a/a1\n"
            "d\t0\t0\t/a/b\n"
            "f\t2\t200\t/a/b/b1\n"
            "d\t0\t0\t/a/b/empty\n"
            "f\t3\t300\t/a/a2\n"
            "f\t4\t400\t/top\n");
  // A subtree keeps to itself: /top, a sibling of /a, is not part of it.
  EXPECT_EQ(listed(a->firstChild, "/a", true),
            "f\t1\t100\t/a/a1\n"
            "d\t0\t0\t/a/b\n"
            "f\t2\t200\t/a/b/b1\n"
            "d\t0\t0\t/a/b/empty\n"
            "f\t3\t300\t/a/a2\n");
  EXPECT_EQ(listed(nullptr, "/a/b/empty", true), "");
}

TEST(OmbrelOutput, WalkOfAVeryDeepTreeNeedsNoDeepStack) {
  Tree t;
  FstNode* folder = t.root();
  const int depth = 16000;
  for (int i = 0; i < depth; ++i) folder = t.add(folder, "d", true);
  t.add(folder, "leaf", false, 7, 8);
  int visited = 0;
  size_t longest = 0;
  write_entries(t.root()->firstChild, "/", true, [&](const std::string& line) {
    ++visited;
    longest = std::max(longest, line.size());
    return true;
  });
  EXPECT_EQ(visited, depth + 1);
  EXPECT_EQ(longest, std::string("f\t7\t8\t/\n").size() + size_t(depth) * 2 + 4);  // "d/" 16,000 times, then "leaf"
}

DiscInfo sample_info() {
  DiscInfo info;
  info.image_path = "/images/disc.gcm";
  info.directory_count = 5;
  info.file_count = 13;
  info.game_name = "サンプル";
  info.maker_name = "Nintendo";
  info.product_code = "DOL-GTR-JPN";
  info.video_format = "Japan/NTSC";
  IsoDiscInfo& d = info.disc;
  std::memcpy(d.id6, "GTRJ01", 7);
  d.revision = 2;
  d.audio_streaming = 1;
  d.stream_buffer_size = 10;
  d.bi2_region = 1;
  std::memcpy(d.apploader_date, "2004/01/19", 11);
  d.apploader = {"apploader.img", 0x2440, 0x1234, 1};
  d.fst = {"fst.bin", 0x40000, 0x100, 1};
  d.max_fst_size = 0x4000;
  d.image_size = 1459978240;
  return info;
}

TEST(OmbrelOutput, InfoWithoutBannerEndsAtTheBannerLine) {
  EXPECT_EQ(format_disc_info(sample_info()),
            "Image:         /images/disc.gcm\n"
            "Entries:       5 folders, 13 files\n"
            "Game name:     \xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\n"
            "Maker:         Nintendo\n"
            "Product code:  DOL-GTR-JPN\n"
            "Video format:  Japan/NTSC\n"
            "Game ID:       GTRJ01\n"
            "Disc number:   0 (the first disc)\n"
            "Revision:      2\n"
            "Streaming:     on (buffer size 10)\n"
            "BI2 region:    1 (USA)\n"
            "Apploader:     2004/01/19, 4660 bytes at 0x2440\n"
            "Main program:  none\n"
            "File table:    256 bytes at 0x40000 (max 16384)\n"
            "Image size:    1459978240 bytes\n"
            "Banner:        none (no /opening.bnr)\n");
  // The same for scripts: JSON, texts in UTF-8, a text that is not Shift-JIS
  // byte by byte as Latin-1.
  DiscInfo info = sample_info();
  info.game_name = "a\"b\x81";
  info.image_path = "d\xFF.gcm";  // a host path that is not UTF-8
  std::string json = format_disc_info_json(info);
  for (const char* field : {"\"image\": \"d\xC3\xBF.gcm\",\n", "\"game_id\": \"GTRJ01\",\n", "\"game_name\": \"a\\\"b\xC2\x81\",\n",
                            "\"audio_streaming\": true,\n", "\"main_program\": null,\n",
                            "\"fst\": {\"offset\": 262144, \"size\": 256, \"max_size\": 16384},\n",
                            "\"banner\": null\n}\n"}) {
    EXPECT_NE(json.find(field), std::string::npos) << field << json;
  }
}

TEST(OmbrelOutput, BannerTextsDecodeByKind) {
  // The same bytes read as Shift-JIS in a single-record banner and as
  // Windows-1252 in a six-language one.
  BannerTexts record;
  record.short_name = "\x83\x54";  // "サ" in Shift-JIS; "ƒT" in Windows-1252
  record.short_maker = "Maker";
  record.long_name = "Long";
  record.long_maker = "Long maker";
  record.description = "two\nlines";

  DiscInfo single = sample_info();
  single.banner = BannerState::SingleRecord;
  single.records.push_back(record);
  std::string text = format_disc_info(single);
  EXPECT_NE(text.find("Banner:        single-record\n"
                      "Japan/USA (NTSC):\n"
                      "  Short name:  \xE3\x82\xB5\n"
                      "  Short maker: Maker\n"
                      "  Long name:   Long\n"
                      "  Long maker:  Long maker\n"
                      "  Description: two\\nlines\n"),
            std::string::npos)
      << text;

  DiscInfo six = sample_info();
  six.banner = BannerState::SixLanguage;
  six.records.assign(6, BannerTexts());
  six.records[5] = record;
  text = format_disc_info(six);
  EXPECT_NE(text.find("Banner:        six-language\nEnglish:\n  Short name:  \n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Italian:\n"), std::string::npos);
  EXPECT_NE(text.find("Dutch:\n  Short name:  \xC6\x92T\n"), std::string::npos) << text;
}

TEST(OmbrelOutput, ImageNamesAreShownOneByOneInUtf8) {
  const std::string data_cp932 = "\x83\x66\x81\x5B\x83\x5E";  // データ
  const std::string data_utf8 = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";
  // A name that does not decode keeps its bytes without spoiling the others.
  EXPECT_EQ(image_path_for_display("/" + data_cp932 + "/ab\x81/" + data_cp932),
            "/" + data_utf8 + "/ab\x81/" + data_utf8);
  EXPECT_EQ(image_path_for_display("/a\nb\tc"), "/a\\nb\\tc");
  EXPECT_EQ(image_path_for_display("/"), "/");

  Tree t;
  FstNode* folder = t.add(t.root(), data_cp932, true);
  t.add(folder, "\x94\x5C\x97\xCD.dat", false, 5, 500);  // 能力.dat, a 0x5C second byte
  EXPECT_EQ(listed(t.root()->firstChild, "/", true),
            "d\t0\t0\t/" + data_utf8 + "\n"
            "f\t5\t500\t/" + data_utf8 + "/\xE8\x83\xBD\xE5\x8A\x9B.dat\n");
  EXPECT_EQ(listed(folder->firstChild, "/" + data_cp932, false),
            "f\t5\t500\t/" + data_utf8 + "/\xE8\x83\xBD\xE5\x8A\x9B.dat\n");
  EXPECT_EQ(entry_line(*folder, "/" + data_cp932), "d\t0\t0\t/" + data_utf8 + "\n");
}

}  // namespace
