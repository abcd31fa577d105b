// Benchmark helper (native only): prints the CRC32, MD5 and SHA-1 of the
// plain disc in IMAGE (a plain image or any container), as redump lists them.
//   disc_hash_tool IMAGE
#include <cstdio>
#include <string>

#include "container/disc_hash.h"
#include "container/container.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: disc_hash_tool IMAGE\n");
    return 2;
  }
  ContainerError code;
  std::string detail;
  Container* c = container_open(argv[1], &code, &detail);
  if (!c) {
    std::fprintf(stderr, "%s: %s\n", argv[1], detail.c_str());
    return 1;
  }
  DiscHashes sums;
  std::string error;
  const bool ok = hash_disc(c, &sums, nullptr, &error);
  container_close(c);
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::printf("CRC32 %s\nMD5   %s\nSHA-1 %s\n", crc32_hex(sums.crc32).c_str(), hex(sums.md5, sizeof sums.md5).c_str(),
              hex(sums.sha1, sizeof sums.sha1).c_str());
  return 0;
}
