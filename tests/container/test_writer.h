// Minimal writers of every container kind, for the tests: they cover what
// the real writers on this machine do not write (WIA with purge or bzip2,
// chunks below 2 MiB, RVZ's uncompressed groups) and give hand-made files
// to damage.
#pragma once

#include <cstdint>
#include <vector>

#include "container/decompress.h"

namespace test_writer {

using Bytes = std::vector<uint8_t>;

struct WiaOptions {
  bool rvz = true;
  CompressionMethod method = METHOD_ZSTD;
  uint32_t chunk_size = 0x8000;
  // RVZ: runs of the disc's filler (whole or partial 32 KiB sectors) become
  // seeds, and every third group is stored uncompressed.
  bool pack = false;
  // When set, the disc size and raw data area say this many bytes, while the
  // groups still hold the whole disc: a last group longer than its place.
  uint64_t declared_disc_size = 0;
};

// The written file and how many filler runs went in as seeds.
struct Written {
  Bytes file;
  int junk_runs = 0;
};

// The stored form of data in a WIA/RVZ method (PURGE included).
Bytes compress(CompressionMethod method, const Bytes& data);

Written write_wia(const Bytes& disc, const WiaOptions& options);
Bytes write_ciso(const Bytes& disc, uint32_t block_size);
// Every other block is stored as it is, the others compressed.
Bytes write_gcz(const Bytes& disc, uint32_t block_size);
// One chunk per run of non-zero 32 KiB pieces, each starting at a multiple
// of align in the file (as wit --align-wdf does).
Bytes write_wdf(const Bytes& disc, uint32_t version, uint32_t align = 1);

// A small GameCube disc: header with game code "GTSE01", random data, a zero
// area, a stretch of the disc's filler starting inside a sector, and text.
Bytes sample_disc();

}  // namespace test_writer
