// The encoding side of decompress.h: one chunk or block at a time, through
// the same libraries (Zstandard, bzip2, liblzma, zlib), with the settings
// the containers' readers expect: Zstandard frames without a stored content
// size, raw LZMA and LZMA2 streams (LZMA with its end marker) whose
// properties go into the WIA/RVZ header, and zlib streams for GCZ. An
// encoder is used by one thread at a time; each worker has its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "container/decompress.h"

struct Compressor;

// An encoder for a WIA/RVZ method (BZIP2, LZMA, LZMA2 or ZSTD) at a level;
// largest_input bounds what one call takes, so that the LZMA dictionary is
// no larger than a chunk needs. Null when memory runs out or the level is
// not one the library takes.
Compressor* compressor_create(CompressionMethod method, int level, size_t largest_input);
// A zlib encoder for GCZ blocks, level 1 to 9.
Compressor* compressor_create_zlib(int level);
void compressor_destroy(Compressor* c);

// Encodes in[0..n) into *out (replacing its contents). False, with a reason
// in *why, when the library fails or memory runs out; std::bad_alloc from
// *out is passed on.
bool compress(Compressor* c, const uint8_t* in, size_t n, std::vector<uint8_t>* out, const char** why);

// The properties a WIA/RVZ header stores for the method (LZMA: 5 bytes,
// LZMA2: 1 byte, others none) into out[0..7); returns their count.
size_t compressor_properties(const Compressor* c, uint8_t out[7]);

// The levels a method takes: Zstandard's own range, 1 to 9 for bzip2, LZMA,
// LZMA2 and zlib; METHOD_NONE and METHOD_PURGE take 0 only.
void compression_levels(CompressionMethod method, int* lowest, int* highest);
