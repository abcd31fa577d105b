// trelvik-cli warns when the image it builds is beyond what the explorer's
// reader opens.
#include <gtest/gtest.h>

#include <string>

#include "cli/trelvik_options.h"

namespace {

SourceNode node(const char* name, const char* path, bool folder = false) {
  SourceNode n = {};
  n.name = const_cast<char*>(name);
  n.full_path = const_cast<char*>(path);
  n.is_directory = folder ? 1 : 0;
  return n;
}

}  // namespace

TEST(ReaderLimitWarnings, NamesOf64BytesOrMoreAndTooManyEntriesAreNamed) {
  std::string name63(63, 'a'), name64(64, 'b'), name70(70, 'c');
  std::string path64 = "base/sub/" + name64, path70 = "base/" + name70;
  SourceNode root = node("", "base", true);
  SourceNode sub = node("sub", "base/sub", true);
  SourceNode ok = node(name63.c_str(), "base/ok");
  SourceNode deep = node(name64.c_str(), path64.c_str());
  SourceNode top = node(name70.c_str(), path70.c_str());
  root.first_child = &ok;
  ok.next_sibling = &sub;
  sub.next_sibling = &top;
  sub.first_child = &deep;

  EXPECT_EQ(reader_limit_warnings(&root, 16385).size(), 2u);  // 16,384 entries and the root
  std::vector<std::string> w = reader_limit_warnings(&root, 16386);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_NE(w[0].find("holds 16385 files and folders"), std::string::npos);
  EXPECT_NE(w[1].find(path64), std::string::npos);
  EXPECT_NE(w[1].find("64 bytes"), std::string::npos);
  EXPECT_NE(w[2].find(path70), std::string::npos);

  top.name = const_cast<char*>(name63.c_str());
  deep.name = const_cast<char*>(name63.c_str());
  EXPECT_TRUE(reader_limit_warnings(&root, 5).empty());
  EXPECT_TRUE(reader_limit_warnings(nullptr, 1).empty());
}

TEST(ReaderLimitWarnings, OnlyTheFirstThreeLongNamesAreListed) {
  std::string long_name(80, 'x');
  SourceNode root = node("", "base", true);
  SourceNode files[5];
  for (int i = 0; i < 5; ++i) {
    files[i] = node(long_name.c_str(), "base/x");
    if (i > 0) files[i - 1].next_sibling = &files[i];
  }
  root.first_child = &files[0];
  std::vector<std::string> w = reader_limit_warnings(&root, 6);
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[3].rfind("2 more names", 0), 0u);
}
