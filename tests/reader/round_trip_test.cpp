// Images written by the builder read back exactly: the tree lists the
// scanned folder, and every file, folder and system area extracts byte for
// byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "builder/build_fixture.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/raw_image.h"

namespace fs = std::filesystem;
using test_support::read_file;

namespace {

std::vector<std::string> image_listing() {
  std::vector<std::string> out;
  for (const std::string& line : list_tree()) {
    // Drops the offset: "f /a 12 345" -> "f /a 12".
    out.push_back(line[0] == 'f' ? line.substr(0, line.rfind(' ')) : line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void expect_same_trees(const std::string& a, const std::string& b) {
  ASSERT_EQ(host_tree_listing(a), host_tree_listing(b));
  for (const auto& e : fs::recursive_directory_iterator(a)) {
    if (e.is_directory()) continue;
    fs::path other = b / fs::relative(e.path(), a);
    ASSERT_EQ(read_file(e.path()), read_file(other)) << other.string();
  }
}

// The first bytes of a file (all of a shorter one): a full-size image is
// not read whole.
std::vector<uint8_t> read_start(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(n);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(n));
  bytes.resize(size_t(in.gcount()));
  return bytes;
}

void check_round_trip(BuildFixture& fx, bool maximise) {
  ASSERT_TRUE(fx.build(maximise)) << fx.error;
  builder_reset();  // closes the image
  std::vector<uint8_t> image = read_start(fx.output, 64 * 1024);

  ReaderFixture reader;
  if (maximise) {
    ASSERT_TRUE(IsoMount(fx.output.c_str(), 0)) << IsoGetLastError();
  } else {
    EXPECT_FALSE(IsoMount(fx.output.c_str(), 0));
    EXPECT_EQ(IsoGetLastError(), IsoErrBadSize);
    ASSERT_TRUE(IsoMount(fx.output.c_str(), 1)) << IsoGetLastError();
  }
  const std::vector<std::string> base_listing = host_tree_listing(fx.base);
  EXPECT_EQ(image_listing(), base_listing);
  int files = 0, folders = 0;
  for (const std::string& line : base_listing) (line[0] == 'f' ? files : folders)++;
  EXPECT_EQ(IsoGetFileCount(), files);
  EXPECT_EQ(IsoGetDirectoryCount(), folders);

  // The banner is the one in the folder, of the kind its size says.
  fs::path banner = fs::path(fx.base) / "opening.bnr";
  if (fs::exists(banner)) {
    std::vector<uint8_t> bytes = read_file(banner);
    EXPECT_EQ(IsoGetBannerKind(), bytes.size() == BANNER_SINGLE_RECORD_SIZE ? 0 : 1);
    EXPECT_TRUE(std::equal(bytes.begin() + BANNER_TEXT_OFFSET, bytes.begin() + BANNER_TEXT_OFFSET + 64,
                           IsoGetBannerField(BannerShortName, 0)));
  }

  std::string out = reader.scratch.at("all");
  fs::create_directory(out);
  ASSERT_TRUE(IsoExtractDirectory("/", out.c_str())) << IsoGetLastError();
  expect_same_trees(fx.base, out);

  std::string sys = reader.scratch.at("sys");
  fs::create_directory(sys);
  ASSERT_TRUE(IsoExtractBootData((sys + "/boot.bin").c_str()));
  ASSERT_TRUE(IsoExtractFst((sys + "/fst").c_str()));
  ASSERT_TRUE(IsoExtractApploader((sys + "/apploader").c_str()));
  ASSERT_TRUE(IsoExtractMainProgram((sys + "/default.dol").c_str()));
  EXPECT_EQ(read_file(sys + "/boot.bin"), std::vector<uint8_t>(image.begin(), image.begin() + DISC_HEADER_SIZE));
  uint32_t fst_at = be32_at(image, 0x424), fst_size = be32_at(image, 0x428);
  EXPECT_EQ(read_file(sys + "/fst"), std::vector<uint8_t>(image.begin() + fst_at, image.begin() + fst_at + fst_size));
  EXPECT_EQ(read_file(sys + "/apploader"), read_file(fx.apploader));
  EXPECT_EQ(read_file(sys + "/default.dol"), read_file(fx.main_program));
}

}  // namespace

TEST(ReaderRoundTrip, TheSampleContentReadsBackExactly) {
  fs::path samples = SAMPLES_DIR;
  if (!fs::exists(samples / "base")) GTEST_SKIP() << "no samples at " << samples.string();
  BuildFixture fx;
  fs::copy(samples / "base", fx.base, fs::copy_options::recursive);
  fs::create_directories(fs::path(fx.base) / "empty_folder");  // git keeps no empty folder
  fs::copy_file(samples / "apploader.img", fx.apploader, fs::copy_options::overwrite_existing);
  fs::copy_file(samples / "main.dol", fx.main_program, fs::copy_options::overwrite_existing);
  check_round_trip(fx, false);
}

TEST(ReaderRoundTrip, AGeneratedTreeReadsBackExactly) {
  BuildFixture fx;
  fx.set_apploader(1000);
  fx.set_main_program(333);
  fx.add_file("zero.bin", 0);
  fx.add_file("a/b/c/deep.bin", 70000, 3);
  fx.add_file("a/b/sibling.txt", 4096, 4);
  fx.add_file("a/first.dat", 4097, 5);
  fx.add_folder("a/empty");
  fx.add_folder("z_empty");
  fx.add_file(std::string(59, 'L') + ".txt", 17, 6);  // 63 bytes, the longest name read back
  for (int i = 0; i < 40; ++i) fx.add_file("many/file" + std::to_string(i), size_t(i * 97), uint8_t(i));
  check_round_trip(fx, false);
}

TEST(ReaderRoundTrip, AMaximisedImageMountsWithTheStrictSizeRule) {
  BuildFixture fx;
  fx.add_file("one/two.bin", 5000, 8);
  check_round_trip(fx, true);
}

// Names as this host's file functions spell them, and as the image holds them.
#ifdef _WIN32
#define HOST_NAME(cp932, utf8) cp932
#else
#define HOST_NAME(cp932, utf8) utf8
#endif

TEST(ReaderRoundTrip, JapaneseNamesComeBackAsTheHostSpellsThem) {
  const std::string sep(1, host::PATH_SEPARATOR);
  const std::string data = HOST_NAME("\x83\x66\x81\x5B\x83\x5E", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF");
  const std::string hajimeni = HOST_NAME("\x82\xCD\x82\xB6\x82\xDF\x82\xC9.txt",
                                         "\xE3\x81\xAF\xE3\x81\x98\xE3\x82\x81\xE3\x81\xAB.txt");
  const std::string nouryoku = HOST_NAME("\x94\x5C\x97\xCD.dat", "\xE8\x83\xBD\xE5\x8A\x9B.dat");
  const std::string saizu = HOST_NAME("\xBB\xB2\xBD\xDE", "\xEF\xBD\xBB\xEF\xBD\xB2\xEF\xBD\xBD\xEF\xBE\x9E");
  BuildFixture fx;
  make_host_folder(fx.base + sep + data);
  write_host_file(fx.base + sep + data + sep + hajimeni, test_support::patterned_bytes(5000, 2));
  write_host_file(fx.base + sep + nouryoku, test_support::patterned_bytes(10, 3));
  make_host_folder(fx.base + sep + saizu);
  write_host_file(fx.base + sep + saizu + sep + nouryoku, test_support::patterned_bytes(4097, 4));
  ASSERT_TRUE(fx.build()) << fx.error;
  builder_reset();

  ReaderFixture reader;
  ASSERT_TRUE(reader.mount_path(fx.output)) << IsoGetLastError();
  // Looked up by their code page 932 names.
  EXPECT_NE(IsoFindDirectory("/\x83\x66\x81\x5B\x83\x5E", 0), nullptr);
  uint32_t offset = 0, size = 0;
  EXPECT_TRUE(IsoFindFile("/\xBB\xB2\xBD\xDE/\x94\x5C\x97\xCD.dat", &offset, &size, 1));
  EXPECT_EQ(size, 4097u);

  std::string out = reader.scratch.at("all");
  make_host_folder(out);
  reader.record_callbacks();
  ASSERT_TRUE(IsoExtractDirectory("/", out.c_str())) << IsoGetLastError();
  EXPECT_EQ(host_tree_listing(out), host_tree_listing(fx.base));
  for (const std::string& file : {data + sep + hajimeni, nouryoku, saizu + sep + nouryoku})
    EXPECT_EQ(read_host_file(out + sep + file), read_host_file(fx.base + sep + file)) << file;
  // The start of each file names the host path written.
  EXPECT_NE(std::find(reader.events.begin(), reader.events.end(),
                      "start:" + out + sep + data + sep + hajimeni),
            reader.events.end());

  // One folder under its own name.
  std::string one = reader.scratch.at("one");
  make_host_folder(one);
  ASSERT_TRUE(IsoExtractDirectory("/\x83\x66\x81\x5B\x83\x5E", one.c_str())) << IsoGetLastError();
  EXPECT_EQ(host_tree_listing(one),
            (std::vector<std::string>{"d /" + data, "f /" + data + "/" + hajimeni + " 5000"}));
}
