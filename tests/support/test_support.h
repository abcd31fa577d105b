// Scratch folders and files for tests, on every host the suite runs on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// A fresh, empty folder under the system's temporary folder, removed with
// everything inside when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& path() const { return path_; }
  // The path of a name inside the folder, as a host string.
  std::string at(const std::string& relative) const;

 private:
  fs::path path_;
};

// Writes bytes to a file, creating its folders.
void write_file(const fs::path& path, const std::vector<uint8_t>& bytes);
void write_file(const fs::path& path, const std::string& bytes);
// A file of n bytes whose content depends on seed, so misplaced data shows.
void write_patterned_file(const fs::path& path, size_t n, uint8_t seed);
std::vector<uint8_t> patterned_bytes(size_t n, uint8_t seed);
std::vector<uint8_t> read_file(const fs::path& path);

// A CISO of the bytes: 32 KiB blocks, all-zero blocks left out (they read
// as zeros), the disc rounded up to whole blocks.
std::vector<uint8_t> make_ciso(const std::vector<uint8_t>& disc);

}  // namespace test_support
