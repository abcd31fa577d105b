// Extraction: the copy primitive's callbacks and codes, folders and the
// whole file system, system areas, and what an image cannot make it do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"

namespace fs = std::filesystem;
using test_support::patterned_bytes;
using test_support::read_file;

namespace {

std::string sep() { return std::string(1, host::PATH_SEPARATOR); }

class ReaderExtract : public ::testing::Test {
 protected:
  // One file per interesting length, a folder with a file before a
  // subfolder, and an empty folder.
  void SetUp() override {
    for (uint32_t length : {0u, 4096u, 4097u, 8192u, 10000u}) {
      contents_[length] = patterned_bytes(length, uint8_t(length));
      offsets_[length] = image_.add_data(contents_[length]);
    }
    image_.write_table({file_entry("zero", offsets_[0], 0), file_entry("block", offsets_[4096], 4096),
                        file_entry("block1", offsets_[4097], 4097), file_entry("two", offsets_[8192], 8192),
                        dir_entry("dir", 10), file_entry("first", offsets_[10000], 10000),
                        dir_entry("sub", 9), file_entry("deep", offsets_[4097], 4097),
                        dir_entry("empty", 10)});
    ASSERT_TRUE(fx_.mount(image_));
    fx_.record_callbacks();
    out_ = fx_.scratch.at("out");
    fs::create_directory(out_);
  }

  std::vector<std::string> copy(const char* image_path, const std::string& name) {
    fx_.events.clear();
    EXPECT_TRUE(IsoExtractFile(image_path, (out_ + sep() + name).c_str())) << IsoGetLastError();
    return fx_.events;
  }

  RawImage image_;
  ReaderFixture fx_;
  std::map<uint32_t, std::vector<uint8_t>> contents_;
  std::map<uint32_t, uint32_t> offsets_;
  std::string out_;
};

}  // namespace

TEST_F(ReaderExtract, ProgressIsReportedPerBlockAndWithOneHundredAtTheEnd) {
  std::string dest = out_ + sep();
  EXPECT_EQ(copy("/zero", "zero"), (std::vector<std::string>{"start:" + dest + "zero", "done", "finished"}));
  EXPECT_EQ(copy("/block", "block"),
            (std::vector<std::string>{"start:" + dest + "block", "p:100", "done", "finished"}));
  EXPECT_EQ(copy("/block1", "block1"),
            (std::vector<std::string>{"start:" + dest + "block1", "p:102", "p:100", "done", "finished"}));
  EXPECT_EQ(copy("/two", "two"),
            (std::vector<std::string>{"start:" + dest + "two", "p:50", "p:100", "done", "finished"}));
  EXPECT_EQ(read_file(dest + "zero").size(), 0u);
  EXPECT_EQ(read_file(dest + "block1"), contents_[4097]);
  EXPECT_EQ(read_file(dest + "two"), contents_[8192]);
}

TEST_F(ReaderExtract, ALongFileReportsEveryBlock) {
  RawImage big;
  std::vector<uint8_t> data = patterned_bytes(3u << 20, 9);  // 768 blocks, several transfers
  uint32_t at = big.add_data(data);
  big.write_table({file_entry("big", at, uint32_t(data.size()))});
  ASSERT_TRUE(fx_.mount(big));
  fx_.events.clear();
  ASSERT_TRUE(IsoExtractFile("/big", (out_ + sep() + "big").c_str()));
  std::vector<std::string> expected{"start:" + out_ + sep() + "big"};
  uint32_t length = uint32_t(data.size());
  for (uint32_t copied = 4096; length - (copied - 4096) > 4096; copied += 4096)
    expected.push_back("p:" + std::to_string(copied / (length / 100)));
  expected.insert(expected.end(), {"p:100", "done", "finished"});
  EXPECT_EQ(fx_.events, expected);
  EXPECT_EQ(read_file(out_ + sep() + "big"), data);
}

TEST_F(ReaderExtract, AnExistingFileIsTruncatedAndOverwritten) {
  test_support::write_file(out_ + sep() + "block", std::string(9000, 'x'));
  copy("/block", "block");
  EXPECT_EQ(read_file(out_ + sep() + "block"), contents_[4096]);
}

TEST_F(ReaderExtract, TheWholeFileSystemGoesStraightIntoTheFolder) {
  ASSERT_TRUE(IsoExtractDirectory("/", out_.c_str()));
  EXPECT_EQ(read_file(out_ + sep() + "block1"), contents_[4097]);
  EXPECT_EQ(read_file(out_ + sep() + "dir" + sep() + "first"), contents_[10000]);
  EXPECT_EQ(read_file(out_ + sep() + "dir" + sep() + "sub" + sep() + "deep"), contents_[4097]);
  EXPECT_TRUE(fs::is_directory(out_ + sep() + "dir" + sep() + "empty"));
  EXPECT_EQ(fx_.events.back(), "finished");
  EXPECT_EQ(std::count(fx_.events.begin(), fx_.events.end(), "done"), 6);
  // Files start in table order: the folder's file before the subfolder's.
  std::vector<std::string> starts;
  for (const std::string& e : fx_.events)
    if (e.rfind("start:", 0) == 0) starts.push_back(fs::path(e.substr(6)).filename().string());
  EXPECT_EQ(starts, (std::vector<std::string>{"zero", "block", "block1", "two", "first", "deep"}));
}

TEST_F(ReaderExtract, AFolderIsExtractedUnderItsNameAndTheSecondRunStopsAtTheFirstSubfolder) {
  ASSERT_TRUE(IsoExtractDirectory("/dir", out_.c_str()));
  std::string dir = out_ + sep() + "dir";
  EXPECT_EQ(read_file(dir + sep() + "first"), contents_[10000]);
  EXPECT_EQ(read_file(dir + sep() + "sub" + sep() + "deep"), contents_[4097]);

  test_support::write_file(dir + sep() + "first", std::string("old"));
  fx_.events.clear();
  EXPECT_FALSE(IsoExtractDirectory("/dir", out_.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrMakeDirectory);
  EXPECT_EQ(read_file(dir + sep() + "first"), contents_[10000]);  // rewritten before the failure
  EXPECT_EQ(std::count(fx_.events.begin(), fx_.events.end(), "finished"), 0);
  EXPECT_TRUE(IsoIsMounted());

  EXPECT_FALSE(IsoExtractDirectory("/nothing", out_.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoDirectory);
  EXPECT_FALSE(IsoExtractDirectory("/zero", out_.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoDirectory);
  EXPECT_FALSE(IsoExtractFile("/dir/FIRST", (out_ + sep() + "x").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNoFile);
  EXPECT_TRUE(IsoExtractFile("/DIR/first", (out_ + sep() + "x").c_str()));
}

TEST_F(ReaderExtract, CreationFailuresGiveTheirCodes) {
  std::string missing_folder = out_ + sep() + "no" + sep() + "such";
  EXPECT_FALSE(IsoExtractFile("/block", (missing_folder + sep() + "f").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrCreateFile);
  EXPECT_FALSE(IsoExtractBootData(missing_folder.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrCreateFile);
  // A successful copy clears the code.
  EXPECT_TRUE(IsoExtractBootData((out_ + sep() + "boot.bin").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNone);
}

TEST_F(ReaderExtract, SystemAreasAreCutFromTheHeaderOffsets) {
  std::string boot = out_ + sep() + "boot.bin", fst = out_ + sep() + "fst";
  std::string apploader = out_ + sep() + "apploader", dol = out_ + sep() + "default.dol";
  ASSERT_TRUE(IsoExtractBootData(boot.c_str()));
  ASSERT_TRUE(IsoExtractFst(fst.c_str()));
  ASSERT_TRUE(IsoExtractApploader(apploader.c_str()));
  ASSERT_TRUE(IsoExtractMainProgram(dol.c_str()));
  const std::vector<uint8_t>& b = image_.bytes;
  uint32_t main_at = read_be32(&b[0x420]), fst_at = read_be32(&b[0x424]), fst_size = read_be32(&b[0x428]);
  EXPECT_EQ(read_file(boot), std::vector<uint8_t>(b.begin(), b.begin() + 0x430));
  EXPECT_EQ(read_file(fst), std::vector<uint8_t>(b.begin() + fst_at, b.begin() + fst_at + fst_size));
  EXPECT_EQ(read_file(apploader).size(), main_at - APPLOADER_OFFSET);  // 0x20 bytes
  EXPECT_EQ(read_file(dol), std::vector<uint8_t>(b.begin() + main_at, b.begin() + fst_at));
}

// Where the header's offsets give no span (no main program, one inside the
// boot block, the table before it), the apploader and main program take the
// lengths of their own headers; a disc without a main program refuses it and
// writes nothing. A sane span keeps the bytes between the areas.
TEST(ReaderSystemAreas, SpansComeFromTheOffsetsOrElseFromTheAreasOwnHeaders) {
  enum Program { AtItsPlace, Zero, InBootBlock };
  struct Case {
    const char* what;
    Program program;
    bool table_first;      // the program lies behind the table
    bool sections;         // its header describes a section
    uint32_t code_size;    // the apploader header's code size
    int apploader;         // expected length, or -code when refused
    int main_program;      // expected length (-1: up to the table), or -code
  };
  const Case cases[] = {
      {"sane", AtItsPlace, false, true, 0x40, 0x3C0, -1},
      {"no main program", Zero, false, true, 0x40, 0x80, -IsoErrNoMainProgram},
      {"inside the boot block", InBootBlock, false, true, 0x40, 0x80, -IsoErrNoMainProgram},
      {"table first", AtItsPlace, true, true, 0x40, -2, 0x140},
      {"table first, no sections", AtItsPlace, true, false, 0x40, -2, -IsoErrNoMainProgram},
      {"apploader header past the end", Zero, false, true, 0x10000000, -IsoErrRead, -IsoErrNoMainProgram},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReaderFixture fx;
    RawImage image;
    image.set_be32(APPLOADER_OFFSET + APPLOADER_CODE_SIZE_OFFSET, c.code_size);
    image.set_be32(APPLOADER_OFFSET + APPLOADER_TRAILER_SIZE_OFFSET, 0x20);
    std::vector<uint8_t> program = patterned_bytes(0x140, 7);
    std::fill(program.begin(), program.begin() + DOL_HEADER_SIZE, 0);
    write_be32(&program[DOL_OFFSETS_OFFSET], 0x100);
    write_be32(&program[DOL_SIZES_OFFSET], c.sections ? 0x40 : 0);
    uint32_t program_at = c.table_first ? 0 : image.add_data(program);
    image.write_table({file_entry("f", image.add_data(patterned_bytes(100, 1)), 100)});
    if (c.table_first) program_at = image.add_data(program);
    image.set_be32(0x420, c.program == Zero ? 0 : c.program == InBootBlock ? 0x2000 : program_at);
    ASSERT_TRUE(fx.mount(image));

    std::string apploader = fx.scratch.at("apploader"), dol = fx.scratch.at("default.dol");
    test_support::write_file(apploader, std::string("user's"));
    test_support::write_file(dol, std::string("user's"));
    // A table-first apploader runs up to the program: its span is sane.
    const int apploader_length = c.apploader == -2 ? int(program_at - APPLOADER_OFFSET) : c.apploader;
    const int program_length = c.main_program == -1 ? int(image.fst_offset() - program_at) : c.main_program;
    for (auto [extract, file, length, first] :
         {std::make_tuple(&IsoExtractApploader, apploader, apploader_length, APPLOADER_OFFSET),
          std::make_tuple(&IsoExtractMainProgram, dol, program_length, program_at)}) {
      if (length < 0) {
        EXPECT_FALSE(extract(file.c_str())) << file;
        EXPECT_EQ(IsoGetLastError(), -length) << file;
        EXPECT_EQ(read_file(file), std::vector<uint8_t>({'u', 's', 'e', 'r', '\'', 's'})) << file;
      } else {
        ASSERT_TRUE(extract(file.c_str())) << file << ": " << IsoGetLastError();
        EXPECT_EQ(read_file(file), std::vector<uint8_t>(image.bytes.begin() + first,
                                                        image.bytes.begin() + first + length))
            << file;
      }
    }
    // The span query agrees with the extraction and with unpack's areas.
    uint32_t first = 0, length = 0;
    EXPECT_EQ(IsoGetSystemAreaSpan(IsoSystemMainProgram, &first, &length), program_length >= 0);
    EXPECT_EQ(IsoGetBootArea(IsoAreaMainDol).present, c.program == AtItsPlace ? 1 : 0);
  }
}

TEST_F(ReaderExtract, AFileRunningPastTheImageEndFailsWithAReadError) {
  RawImage cut;
  uint32_t at = cut.add_data(patterned_bytes(100, 3));
  cut.write_table({file_entry("past", at, 1u << 30), file_entry("far", 0xF0000000u, 10)});
  ASSERT_TRUE(fx_.mount(cut));
  EXPECT_FALSE(IsoExtractFile("/past", (out_ + sep() + "past").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrRead);
  EXPECT_FALSE(IsoExtractFile("/far", (out_ + sep() + "far").c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrRead);
}

TEST(ReaderExtractGuards, NothingIsExtractedWithoutAnImage) {
  ReaderFixture fx;
  std::string dest = fx.scratch.at("x");
  EXPECT_FALSE(IsoCopyRange(dest.c_str(), 0, 10));
  EXPECT_EQ(IsoGetLastError(), IsoErrNotMounted);
  EXPECT_FALSE(IsoExtractFile("/a", dest.c_str()));
  EXPECT_FALSE(IsoExtractDirectory("/", dest.c_str()));
  EXPECT_FALSE(IsoExtractChildren(IsoGetRoot()->firstChild, dest.c_str()));
  EXPECT_FALSE(IsoExtractBootData(dest.c_str()));
  EXPECT_FALSE(IsoExtractFst(dest.c_str()));
  EXPECT_FALSE(IsoExtractApploader(dest.c_str()));
  EXPECT_FALSE(IsoExtractMainProgram(dest.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrNotMounted);
  EXPECT_FALSE(fs::exists(dest));
}

TEST(ReaderExtractGuards, HostPathsPastTheBuffersAreRefused) {
  ReaderFixture fx;
  RawImage image;
  uint32_t at = image.add_data({1});
  std::string name(60, 'n');
  // Nested folders whose joined path outgrows 511 characters.
  std::vector<TableEntry> entries;
  for (int i = 0; i < 10; ++i) entries.push_back(dir_entry(name, 12));
  entries.push_back(file_entry("f", at, 1));
  image.write_table(entries);
  ASSERT_TRUE(fx.mount(image));
  std::string out = fx.scratch.at("o");
  fs::create_directory(out);
  EXPECT_FALSE(IsoExtractDirectory("/", out.c_str()));
#ifdef _WIN32
  // Windows' own path limit (260) stops the folder creation first.
  EXPECT_EQ(IsoGetLastError(), IsoErrMakeDirectory);
#else
  EXPECT_EQ(IsoGetLastError(), IsoErrPathTooLong);
#endif

  std::string long_dest = out + sep() + std::string(600, 'x');
  EXPECT_FALSE(IsoExtractBootData(long_dest.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrPathTooLong);
  EXPECT_FALSE(IsoExtractDirectory("/", long_dest.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrPathTooLong);
  EXPECT_STREQ(IsoGetRefusedEntryPath(), "");  // the destination, no entry, was refused
}

// Names that would leave the chosen folder still mount for viewing, but are
// never joined to a host path.
TEST(ReaderExtractGuards, NamesThatWouldLeaveTheFolderAreNeverUsed) {
  const char* bad_names[] = {"..", ".", "", "a/b", "..\\up", "x\\"};
  for (const char* bad : bad_names) {
    ReaderFixture fx;
    RawImage image;
    uint32_t at = image.add_data(patterned_bytes(10, 1));
    image.write_table({file_entry(bad, at, 10), dir_entry("inner", 5), dir_entry(bad, 5),
                       file_entry("escaped", at, 10)});
    ASSERT_TRUE(fx.mount(image)) << bad;
    EXPECT_EQ(IsoGetDirectoryCount(), 2);
    std::string out = fx.scratch.at("a" + sep() + "b");
    fs::create_directories(out);
    // The reader names the entry it stopped at.
    EXPECT_FALSE(IsoExtractDirectory("/", out.c_str())) << bad;
    EXPECT_EQ(IsoGetLastError(), IsoErrUnsafeName) << bad;
    EXPECT_EQ(std::string(IsoGetRefusedEntryPath()), std::string("/") + bad);
    EXPECT_FALSE(IsoExtractDirectory("/inner", out.c_str())) << bad;
    EXPECT_EQ(IsoGetLastError(), IsoErrUnsafeName) << bad;
    EXPECT_EQ(std::string(IsoGetRefusedEntryPath()), std::string("/inner/") + bad);
    EXPECT_FALSE(fs::exists(fx.scratch.at("a" + sep() + "escaped")));
    EXPECT_FALSE(fs::exists(fx.scratch.at("escaped")));
    EXPECT_FALSE(IsoIsSafeHostName(bad));
  }
  // The second byte of a Shift-JIS character may be 0x5C: still one name.
  EXPECT_TRUE(IsoIsSafeHostName("\x94\x5c\x97\xcd"));  // 能力
  EXPECT_TRUE(IsoIsSafeHostName("a.b"));
  EXPECT_TRUE(IsoIsSafeHostName(".hidden"));
}

// The one name rule, on this host's form of each image name. Windows reads
// names through the ANSI code page (932 here) and refuses more.
TEST(ReaderExtractGuards, TheNameRuleJudgesTheNameAsTheHostSeesIt) {
  struct Row {
    std::string name;  // as stored in the image
    bool posix, windows;
  };
  const Row rows[] = {
      {"plain.bin", true, true},
      {".hidden", true, true},
      {"\x94\x5c\x97\xcd", true, true},  // 能力: its 0x5C is a trail byte
      {"..\\escape.txt", false, false},
      {"a/b", false, false},
      // あ/save.dat in UTF-8: the 0x2F follows 0x82, a lead byte in code page
      // 932, but is no trail byte, so the name does not convert and keeps
      // its "/" on a UTF-8 host.
      {"\xE3\x81\x82/save.dat", false, false},
      {"\x82/x", false, false},
      {"C:ads.txt", true, false},
      {"trail.", true, false},
      {"trail ", true, false},
      {"a*b", true, false},
      {"a?b", true, false},
      {"a\"b", true, false},
      {"a<b>", true, false},
      {"a|b", true, false},
      {"tab\tname", true, false},
      {"CON", true, false},
      {"con.txt", true, false},
      {"Nul", true, false},
      {"aux.tar.gz", true, false},
      {"COM1", true, false},
      {"lpt9.log", true, false},
      {"COM0", true, true},
      {"CONSOLE", true, true},
      {std::string(255, 'n'), true, true},
      {std::string(256, 'n'), false, false},
  };
  for (const Row& row : rows) {
#ifdef _WIN32
    const bool expected = row.windows;
#else
    const bool expected = row.posix;
#endif
    EXPECT_EQ(IsoIsSafeHostName(row.name.c_str()), expected) << row.name;
    char path[ISO_HOST_PATH_CAPACITY] = "unchanged";
    EXPECT_EQ(IsoJoinHostPath("dest", row.name.c_str(), path, sizeof path), expected) << row.name;
    if (!expected) {
      EXPECT_EQ(IsoGetLastError(), IsoErrUnsafeName) << row.name;
      EXPECT_STREQ(path, "unchanged");
    }
  }
}

// A later entry that would land on a file or folder the same extraction
// wrote is refused, whatever makes the host take the names as one (equal
// bytes, or case on Windows); the first keeps its bytes.
TEST(ReaderExtractGuards, AnEntryNeverReplacesOneWrittenBefore) {
  struct Case {
    std::vector<TableEntry> (*entries)(uint32_t a, uint32_t b);
    bool refused;
    const char* refused_entry;  // the entry the reader names
  };
#ifdef _WIN32
  const bool case_blind = true;
#else
  const bool case_blind = false;
#endif
  const Case cases[] = {
      {[](uint32_t a, uint32_t b) { return std::vector<TableEntry>{file_entry("x", a, 10), file_entry("x", b, 20)}; }, true, "/x"},
      {[](uint32_t a, uint32_t b) { return std::vector<TableEntry>{file_entry("x", a, 10), file_entry("X", b, 20)}; }, case_blind, "/X"},
      {[](uint32_t a, uint32_t) { return std::vector<TableEntry>{file_entry("x", a, 10), dir_entry("x", 3)}; }, true, "/x"},
      {[](uint32_t a, uint32_t b) {
         return std::vector<TableEntry>{file_entry("x", a, 10), dir_entry("d", 4), file_entry("y", b, 20),
                                        dir_entry("d", 5)};
       }, true, "/d"},
  };
  for (const Case& c : cases) {
    ReaderFixture fx;
    RawImage image;
    uint32_t a = image.add_data(patterned_bytes(10, 1));
    uint32_t b = image.add_data(patterned_bytes(20, 2));
    image.write_table(c.entries(a, b));
    ASSERT_TRUE(fx.mount(image));
    std::string out = fx.scratch.at("out");
    fs::create_directories(out);
    EXPECT_EQ(IsoExtractDirectory("/", out.c_str()), !c.refused);
    if (c.refused) {
      EXPECT_EQ(IsoGetLastError(), IsoErrDuplicateName);
      EXPECT_STREQ(IsoGetRefusedEntryPath(), c.refused_entry);
    }
    EXPECT_EQ(read_file(out + sep() + "x"), patterned_bytes(10, 1));
  }
}

// Extracting into the image's own folder never opens the image for writing.
TEST(ReaderExtractGuards, TheImageItselfIsNeverATarget) {
  ReaderFixture fx;
  RawImage image;
  uint32_t a = image.add_data(patterned_bytes(10, 1));
  image.write_table({file_entry("raw.gcm", a, 10)});
  std::string path = image.save(fx.scratch);
  ASSERT_TRUE(fx.mount_path(path));
  EXPECT_FALSE(IsoExtractDirectory("/", fx.scratch.path().string().c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrTargetIsImage);
  EXPECT_FALSE(IsoExtractBootData(path.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrTargetIsImage);
  EXPECT_EQ(read_file(path), image.bytes);
}

#ifndef _WIN32
// On a UTF-8 host each name is written in UTF-8, and the path limit holds for
// the path so built, which is longer than the image's names.
TEST(ReaderExtractGuards, NamesAreWrittenInUtf8AndThePathLimitCountsThem) {
  const std::string saizu_cp932 = "\xBB\xB2\xBD\xDE";  // ｻｲｽﾞ, 4 bytes; 12 in UTF-8
  const std::string saizu_utf8 = "\xEF\xBD\xBB\xEF\xBD\xB2\xEF\xBD\xBD\xEF\xBE\x9E";
  std::string folder_cp932, folder_utf8;  // 60 bytes in the image, 180 on the host
  for (int i = 0; i < 15; ++i) {
    folder_cp932 += saizu_cp932;
    folder_utf8 += saizu_utf8;
  }
  const std::string raw = "\xFF.bin";  // not code page 932: kept as it is
  ReaderFixture fx;
  RawImage image;
  std::vector<uint8_t> bytes = patterned_bytes(300, 5);
  uint32_t at = image.add_data(bytes);
  image.write_table({dir_entry(folder_cp932, 3), file_entry(raw, at, 300)});
  ASSERT_TRUE(fx.mount(image));
  fx.record_callbacks();

  // A destination of the given length, made of folders of at most 200 bytes.
  auto destination = [&](size_t length) {
    std::string path = fx.scratch.at(std::to_string(length));
    while (path.size() < length)
      path += "/" + std::string(std::min<size_t>(200, length - path.size() - 1), 'd');
    fs::create_directories(path);
    return path;
  };
  // 400 + 1 + 60 fits the 511 bytes; 400 + 1 + 180 does not.
  std::string too_deep = destination(400);
  EXPECT_FALSE(IsoExtractDirectory("/", too_deep.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrPathTooLong);
  EXPECT_TRUE(fs::is_empty(too_deep));

  std::string dest = destination(300);
  fx.events.clear();
  ASSERT_TRUE(IsoExtractDirectory("/", dest.c_str())) << IsoGetLastError();
  std::string written = dest + "/" + folder_utf8 + "/" + raw;
  EXPECT_EQ(read_file(written), bytes);
  EXPECT_EQ(fx.events.front(), "start:" + written);
}
#endif

namespace {

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// A copy goes to a temporary file that replaces the destination only once
// complete: a copy that fails half-way (a file running past the image's end)
// leaves an existing destination byte for byte, a missing one missing, and
// no other file behind.
TEST(ReaderExtractSafety, AFailedCopyLeavesTheDestinationAsItWas) {
  ReaderFixture fx;
  RawImage image;
  std::vector<uint8_t> data = patterned_bytes(3u << 20, 4);
  uint32_t at = image.add_data(data);
  image.write_table({file_entry("good", at, 100), file_entry("cut", at, 4u << 20)});
  ASSERT_TRUE(fx.mount(image));
  std::string out = fx.scratch.at("out");
  fs::create_directory(out);
  const std::vector<uint8_t> previous = patterned_bytes(5000, 9);
  test_support::write_file(out + sep() + "cut", previous);
  for (const char* target : {"cut", "new"}) {
    EXPECT_FALSE(IsoExtractFile("/cut", (out + sep() + target).c_str())) << target;
    EXPECT_EQ(IsoGetLastError(), IsoErrRead);
    EXPECT_EQ(names_in(out), std::vector<std::string>{"cut"}) << target;
    EXPECT_EQ(read_file(out + sep() + "cut"), previous);
  }
  // A folder extraction that stops keeps the files finished before it.
  EXPECT_FALSE(IsoExtractDirectory("/", out.c_str()));
  EXPECT_EQ(names_in(out), (std::vector<std::string>{"cut", "good"}));
  EXPECT_EQ(read_file(out + sep() + "good"), patterned_bytes(100, 4));
  EXPECT_EQ(read_file(out + sep() + "cut"), previous);
}

#ifndef _WIN32
// Links inside the destination are never followed: a link where a file goes
// is replaced by the file, one where a folder goes is refused even when
// folders may be reused, and what they point to keeps its bytes.
TEST(ReaderExtractSafety, NothingIsWrittenThroughALink) {
  ReaderFixture fx;
  RawImage image;
  uint32_t at = image.add_data(patterned_bytes(10, 1));
  image.write_table({file_entry("f", at, 10), dir_entry("d", 4), file_entry("g", at, 10)});
  ASSERT_TRUE(fx.mount(image));
  const std::string out = fx.scratch.at("out"), elsewhere = fx.scratch.at("elsewhere");
  fs::create_directories(out);
  fs::create_directories(elsewhere);
  test_support::write_file(elsewhere + "/victim", std::string("victim"));
  fs::create_symlink(elsewhere + "/victim", out + "/f");
  fs::create_directory_symlink(elsewhere, out + "/d");
  IsoSetReuseFolders(1);
  EXPECT_FALSE(IsoExtractDirectory("/", out.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrMakeDirectory);
  EXPECT_FALSE(fs::is_symlink(out + "/f"));
  EXPECT_EQ(read_file(out + "/f"), patterned_bytes(10, 1));
  EXPECT_EQ(names_in(elsewhere), std::vector<std::string>{"victim"});
  EXPECT_EQ(read_file(elsewhere + "/victim"), std::vector<uint8_t>({'v', 'i', 'c', 't', 'i', 'm'}));
  // The top folder of a folder extraction is no exception.
  EXPECT_FALSE(IsoExtractDirectory("/d", out.c_str()));
  EXPECT_EQ(IsoGetLastError(), IsoErrMakeDirectory);
  EXPECT_EQ(names_in(elsewhere), std::vector<std::string>{"victim"});
}

int g_started = 0;

// Interrupts the process at the first progress of the third file, when its
// temporary file holds data.
void interrupt_in_third_file(int) {
  if (g_started == 3) raise(SIGTERM);
}

// An interrupted folder extraction keeps the files finished before the
// signal and leaves no cut file: the cleanup removes the one being written.
TEST(ReaderExtractSafety, AnInterruptedExtractionLeavesNoCutFile) {
  ReaderFixture fx;
  RawImage image;
  std::vector<uint8_t> big = patterned_bytes(1u << 20, 6);
  uint32_t at = image.add_data(big);
  image.write_table({file_entry("a", at, 1000), file_entry("b", at, 2000), file_entry("c", at, 1u << 20),
                     file_entry("d", at, 10)});
  ASSERT_TRUE(fx.mount(image));
  const std::string out = fx.scratch.at("out");
  fs::create_directory(out);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    host::install_interrupt_cleanup();
    IsoSetCallbacks([](const char*) { ++g_started; }, interrupt_in_third_file, nullptr, nullptr);
    IsoExtractDirectory("/", out.c_str());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_EQ(names_in(out), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read_file(out + "/b"), std::vector<uint8_t>(big.begin(), big.begin() + 2000));
}
#endif
