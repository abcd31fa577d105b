// Building straight into a container: every kind holds the plain image byte
// for byte, the build reports the same steps, and a refused or failed write
// leaves an existing output as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "builder/build_fixture.h"
#include "container/container.h"
#include "disc/disc_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

void use_output(BuildFixture& f, const std::string& name) {
  f.output = f.scratch.at(name);
  std::memset(f.settings.output_path, 0, sizeof f.settings.output_path);
  std::strncpy(f.settings.output_path, f.output.c_str(), sizeof f.settings.output_path - 1);
}

// Each event as one line, to compare two builds' reports.
std::vector<std::string> report(const BuildFixture& f) {
  std::vector<std::string> lines;
  for (const BuildEvent& e : f.events)
    lines.push_back(std::to_string(e.kind) + " " + e.text + " " + std::to_string(e.percent) + " " +
                    std::to_string(e.bytes));
  return lines;
}

// n bytes of the disc the file holds, from start, read through the container
// layer; *kind and *disc_size say what it holds.
Bytes disc_bytes(const std::string& path, uint64_t start, size_t n, ContainerKind* kind, uint64_t* disc_size) {
  ContainerError error;
  std::string detail;
  Container* c = container_open(path.c_str(), &error, &detail);
  EXPECT_NE(c, nullptr) << detail;
  if (!c) return {};
  *kind = container_kind(c);
  *disc_size = container_disc_size(c);
  Bytes bytes(n);
  size_t got = 0;
  EXPECT_TRUE(container_read(c, start, bytes.data(), n, &got)) << container_error_detail(c);
  bytes.resize(got);
  container_close(c);
  return bytes;
}

ContainerWriteOptions with(ContainerKind kind, void (*change)(ContainerWriteOptions&) = nullptr) {
  ContainerWriteOptions o = container_write_defaults(kind);
  if (change) change(o);
  return o;
}

TEST(BuildIntoContainer, EveryKindHoldsThePlainImageAndReportsTheSameSteps) {
  BuildFixture f;
  f.set_main_program(70000);
  f.add_file("opening.thp", 300000, 3);
  f.add_file("audio/track.adp", 150001, 4);
  f.add_file("audio/empty.bin", 0, 5);
  f.add_file("z/last.txt", 5000, 6);
  ASSERT_TRUE(f.build()) << f.error;
  const Bytes plain = f.image();
  const std::vector<std::string> plain_report = report(f);

  const struct {
    const char* name;
    ContainerWriteOptions options;
    bool maximise;
  } cases[] = {
      {"rvz", with(CONTAINER_RVZ), false},
      {"rvz-lzma-32k", with(CONTAINER_RVZ, [](auto& o) { o.method = METHOD_LZMA, o.block_size = 32u << 10, o.threads = 1; }), false},
      {"wia", with(CONTAINER_WIA), false},
      {"gcz", with(CONTAINER_GCZ), false},
      {"ciso", with(CONTAINER_CISO, [](auto& o) { o.block_size = 32u << 10; }), false},
      {"ciso-scrubbed", with(CONTAINER_CISO, [](auto& o) { o.scrub = true; }), false},
      {"rvz-maximised", with(CONTAINER_RVZ), true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    use_output(f, std::string("out.") + k.name);
    f.output_format = k.options;
    ASSERT_TRUE(f.build(k.maximise)) << f.error << " " << f.error_detail;
    if (!k.maximise) {
      EXPECT_EQ(report(f), plain_report);
    }

    ContainerKind kind;
    uint64_t disc_size = 0;
    EXPECT_EQ(disc_bytes(f.output, 0, plain.size(), &kind, &disc_size), plain);
    EXPECT_EQ(kind, k.options.kind);
    if (k.options.kind == CONTAINER_CISO) {
      // A CISO's disc ends with its last stored block, zero-padded.
      EXPECT_EQ(disc_size, align_up(plain.size(), k.options.block_size));
    } else if (k.maximise) {
      EXPECT_EQ(disc_size, DISC_IMAGE_SIZE);
      const Bytes tail = disc_bytes(f.output, DISC_IMAGE_SIZE - (1u << 20), 1u << 20, &kind, &disc_size);
      EXPECT_TRUE(tail.size() == 1u << 20 && std::all_of(tail.begin(), tail.end(), [](uint8_t b) { return b == 0; }));
      // The padding costs almost nothing.
      EXPECT_LT(test_support::fs::file_size(f.output), plain.size() + (1u << 20));
    } else {
      EXPECT_EQ(disc_size, plain.size());
    }
  }
}

TEST(BuildIntoContainer, ARefusedOrFailedWriteLeavesTheExistingOutputAsItWas) {
  BuildFixture f;
  f.add_file("data.bin", 300000, 1);
  use_output(f, "out.rvz");
  const Bytes previous = test_support::patterned_bytes(5000, 9);
  test_support::write_file(f.output, previous);
  auto names = [&] {
    std::vector<std::string> found;
    for (const auto& e : test_support::fs::directory_iterator(f.scratch.path())) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  };
  const std::vector<std::string> before = names();

  // Options the kind does not take are refused before anything is prepared.
  f.output_format = with(CONTAINER_RVZ, [](auto& o) { o.block_size = 48u << 10; });
  EXPECT_FALSE(f.prepare());
  EXPECT_EQ(f.error, BUILD_ERR_OUTPUT_FORMAT);
  EXPECT_NE(f.error_detail.find("49152"), std::string::npos) << f.error_detail;

  // A maximised image needs more 32 KiB blocks than a CISO lists: refused
  // as the write starts.
  f.output_format = with(CONTAINER_CISO, [](auto& o) { o.block_size = 32u << 10; });
  ASSERT_TRUE(f.prepare()) << f.error;
  EXPECT_FALSE(f.write(true));
  EXPECT_EQ(f.error, BUILD_ERR_OUTPUT_FORMAT);
  EXPECT_FALSE(f.error_detail.empty());

#ifndef _WIN32
  // A full disk, as a file size limit, partway through the data.
  f.output_format = with(CONTAINER_RVZ, [](auto& o) { o.method = METHOD_NONE, o.level = 0; });
  struct rlimit previous_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous_limit), 0);
  void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = previous_limit;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool built = f.build();
  setrlimit(RLIMIT_FSIZE, &previous_limit);
  signal(SIGXFSZ, handler);
  EXPECT_FALSE(built);
  EXPECT_EQ(f.error, BUILD_ERR_WRITE);
#endif

  EXPECT_EQ(test_support::read_file(f.output), previous);
  EXPECT_EQ(names(), before);
}

}  // namespace
