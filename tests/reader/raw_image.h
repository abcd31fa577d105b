// Hand-made disc images for reader tests: a header, file data placed where
// the test says, and a file system table written entry by entry, so that
// tables the builder would never write can be tried too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/reader.h"
#include "support/test_support.h"

struct TableEntry {
  bool directory;
  std::string name;
  uint32_t second;  // file: data offset
  uint32_t third;   // file: length; folder: end index
};

inline TableEntry dir_entry(const std::string& name, uint32_t end) { return {true, name, 0, end}; }
inline TableEntry file_entry(const std::string& name, uint32_t offset, uint32_t size) {
  return {false, name, offset, size};
}

class RawImage {
 public:
  RawImage();  // header "GTSE", maker "01", name "Raw Disc"; boot areas zero

  std::vector<uint8_t> bytes;

  void set_game_code(const char code[4]);
  void set_maker_code(const char code[2]);
  void set_game_name(const std::string& name);
  void set_be32(size_t offset, uint32_t value);

  // Appends data at the next 2,048-byte boundary; returns its offset.
  uint32_t add_data(const std::vector<uint8_t>& data);
  // Appends the table behind everything so far (the image then ends with
  // it) and records its offset and size in the header. entry_count overrides
  // the root's N when not negative.
  void write_table(const std::vector<TableEntry>& entries, int64_t entry_count = -1);
  uint32_t fst_offset() const;

  // Writes the bytes to a file and returns its path.
  std::string save(const test_support::ScratchDir& dir, const std::string& name = "raw.gcm") const;
};

// Mounts with any size accepted; the fixture's destructor resets the reader.
struct ReaderFixture {
  ReaderFixture();
  ~ReaderFixture();
  test_support::ScratchDir scratch;
  bool mount(const RawImage& image);
  bool mount_path(const std::string& path);

  // The callbacks, recorded in order as "start:<path>", "p:<n>", "done",
  // "finished".
  std::vector<std::string> events;
  void record_callbacks();
};

// Lists every node below the root as "d /a" or "f /a/b size offset", depth first.
std::vector<std::string> list_tree();
