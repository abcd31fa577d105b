// A scratch project for builder tests: a base folder, an apploader, a main
// program and an output path, with the callbacks recorded in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "support/test_support.h"

struct BuildEvent {
  enum Kind { Log, Progress, FileDone, Finished } kind;
  std::string text;  // Log
  int percent;       // Progress
  uint32_t bytes;    // Progress
};

class BuildFixture {
 public:
  BuildFixture();
  ~BuildFixture();

  test_support::ScratchDir scratch;
  std::string base;       // base folder, created empty
  std::string apploader;  // created with apploader_bytes
  std::string main_program;
  std::string output;
  BuildSettings settings;
  // Applied by prepare() after the reset: a plain image unless changed.
  ContainerWriteOptions output_format = container_write_defaults(CONTAINER_PLAIN);

  // Writes a file under the base folder (folders made as needed).
  void add_file(const std::string& relative, size_t size, uint8_t seed = 1);
  void add_folder(const std::string& relative);
  void set_apploader(size_t size);
  void set_main_program(size_t size);

  // builder_reset, builder_prepare, builder_set_callbacks (recording into
  // events), builder_write_image.
  bool prepare();
  bool write(bool maximise);
  bool build(bool maximise = false) { return prepare() && write(maximise); }

  std::vector<uint8_t> image() const;
  std::vector<BuildEvent> events;
  uint16_t error = 0;  // builder_last_error() after the last prepare or write
  std::string error_detail;  // and builder_last_error_detail()
  // Progress events between two file-done events, for one item.
  std::vector<std::pair<int, uint32_t>> progress_of_item(size_t item) const;
  std::vector<std::string> log_lines() const;
};

// Big-endian 32-bit number at an offset of a byte vector.
uint32_t be32_at(const std::vector<uint8_t>& bytes, size_t offset);

// Host files and folders by their host names (UTF-8 on POSIX hosts, the ANSI
// code page on Windows), through the host layer the engines use, so that
// names the standard library would convert arrive as they are.
void make_host_folder(const std::string& path);
void write_host_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_host_file(const std::string& path);
// "d rel" and "f rel size" for everything below folder, rel joined with "/"
// from the host's own names, sorted.
std::vector<std::string> host_tree_listing(const std::string& folder);
