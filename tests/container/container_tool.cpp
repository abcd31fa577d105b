// Test and benchmark helper for the container layer (native only):
//   container_tool compare CONTAINER PLAIN   reads CONTAINER's disc in pieces
//       that cut through its blocks and compares it with the plain image;
//       bytes past the plain image's end must be zero. Exit status 0 when equal.
//   container_tool junk IMAGE SIZE           extends a GameCube image to SIZE
//       bytes and fills every byte outside the header, apploader, main
//       program, file system table and files with the disc's filler; prints
//       how many bytes it filled.
//   container_tool cat CONTAINER OUT         writes the plain disc to OUT.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "container/container.h"
#include "container/junk.h"
#include "disc/disc_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool read_whole(const char* path, Bytes* out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->insert(out->end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

Container* open_or_say(const char* path) {
  ContainerError error;
  std::string detail;
  Container* c = container_open(path, &error, &detail);
  if (!c) std::fprintf(stderr, "%s: %s (%s)\n", path, detail.c_str(), container_error_text(error));
  return c;
}

int compare(const char* container_path, const char* plain_path) {
  Bytes plain;
  if (!read_whole(plain_path, &plain)) return std::fprintf(stderr, "cannot read %s\n", plain_path), 1;
  Container* c = open_or_say(container_path);
  if (!c) return 1;
  const uint64_t size = container_disc_size(c);
  std::printf("%s: %s, disc of %llu bytes\n", container_path, container_kind_name(container_kind(c)),
              static_cast<unsigned long long>(size));
  int status = 0;
  if (size < plain.size()) {
    std::fprintf(stderr, "disc of %llu bytes is shorter than the image's %zu\n",
                 static_cast<unsigned long long>(size), plain.size());
    status = 1;
  }
  Bytes expected = plain;
  expected.resize(size_t(size), 0);
  // Pieces of odd sizes, then a megabyte at a time.
  for (size_t piece : {size_t(12345), size_t(1) << 20}) {
    Bytes got_bytes(piece);
    for (uint64_t at = 0; at < size && status == 0; at += piece) {
      size_t got = 0;
      if (!container_read(c, at, got_bytes.data(), piece, &got)) {
        std::fprintf(stderr, "read at %llu failed: %s\n", static_cast<unsigned long long>(at),
                     container_error_detail(c));
        status = 1;
      } else if (got != std::min<uint64_t>(piece, size - at) ||
                 std::memcmp(got_bytes.data(), expected.data() + at, got) != 0) {
        std::fprintf(stderr, "bytes differ in the %zu bytes at %llu\n", got, static_cast<unsigned long long>(at));
        status = 1;
      }
    }
  }
  container_close(c);
  return status;
}

// Marks [start, start + length) as used, within the image.
void mark(std::vector<bool>* used, uint64_t start, uint64_t length) {
  for (uint64_t i = start; i < start + length && i < used->size(); ++i) (*used)[size_t(i)] = true;
}

int junk(const char* path, uint64_t size) {
  Bytes image;
  if (!read_whole(path, &image) || image.size() < DISC_HEADER_SIZE || size < image.size()) {
    return std::fprintf(stderr, "cannot use %s\n", path), 1;
  }
  const uint32_t fst_offset = read_be32(image.data() + 0x424), fst_size = read_be32(image.data() + 0x428);
  std::vector<bool> used(size_t(size), false);
  mark(&used, 0, uint64_t(fst_offset) + fst_size);  // header, apploader, main program, table
  const uint8_t* table = image.data() + fst_offset;
  const uint32_t entries = read_be32(table + 8);
  for (uint32_t i = 1; i < entries; ++i) {
    const uint8_t* e = table + FST_ENTRY_SIZE * i;
    if (e[0] == FST_KIND_FILE) mark(&used, read_be32(e + 4), read_be32(e + 8));
  }
  image.resize(size_t(size), 0);
  uint64_t filled = 0;
  for (size_t i = 0; i < image.size();) {
    if (used[i]) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < image.size() && !used[end]) ++end;
    junk_fill_disc(image.data(), image[6], i, image.data() + i, end - i);
    filled += end - i;
    i = end;
  }
  FILE* f = std::fopen(path, "wb");
  if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
    return std::fprintf(stderr, "cannot write %s\n", path), 1;
  }
  std::printf("%llu\n", static_cast<unsigned long long>(filled));
  return 0;
}

int cat(const char* container_path, const char* out_path) {
  Container* c = open_or_say(container_path);
  if (!c) return 1;
  FILE* out = std::fopen(out_path, "wb");
  if (!out) return std::fprintf(stderr, "cannot create %s\n", out_path), 1;
  static uint8_t buffer[1 << 20];
  int status = 0;
  for (uint64_t at = 0; at < container_disc_size(c);) {
    size_t got = 0;
    if (!container_read(c, at, buffer, sizeof buffer, &got) || std::fwrite(buffer, 1, got, out) != got) {
      std::fprintf(stderr, "%s\n", container_error_detail(c));
      status = 1;
      break;
    }
    at += got;
  }
  if (std::fclose(out) != 0) status = 1;
  container_close(c);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "junk") == 0) return junk(argv[2], std::strtoull(argv[3], nullptr, 0));
  if (argc == 4 && std::strcmp(argv[1], "cat") == 0) return cat(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: container_tool compare CONTAINER PLAIN | junk IMAGE SIZE | cat CONTAINER OUT\n");
  return 2;
}
