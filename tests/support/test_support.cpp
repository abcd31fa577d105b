#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace test_support {

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("gcm-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::at(const std::string& relative) const {
  return (path_ / fs::path(relative)).make_preferred().string();
}

void write_file(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  write_file(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> patterned_bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> bytes(n);
  uint32_t x = 0x9E3779B9u ^ seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    bytes[i] = uint8_t(x >> 24);
  }
  return bytes;
}

void write_patterned_file(const fs::path& path, size_t n, uint8_t seed) {
  write_file(path, patterned_bytes(n, seed));
}

std::vector<uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> make_ciso(const std::vector<uint8_t>& disc) {
  const size_t block = 0x8000;
  std::vector<uint8_t> file(0x8000, 0);
  std::memcpy(file.data(), "CISO", 4);
  file[5] = 0x80;  // block size 0x8000, little-endian
  for (size_t i = 0, at = 0; at < disc.size(); ++i, at += block) {
    std::vector<uint8_t> piece(disc.begin() + at, disc.begin() + std::min(disc.size(), at + block));
    piece.resize(block, 0);
    if (std::all_of(piece.begin(), piece.end(), [](uint8_t b) { return b == 0; })) continue;
    file[8 + i] = 1;
    file.insert(file.end(), piece.begin(), piece.end());
  }
  return file;
}

}  // namespace test_support
