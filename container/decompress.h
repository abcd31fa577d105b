// The compression methods of the containers, through their libraries (zlib,
// bzip2, liblzma, Zstandard). Every call decodes into a buffer of a known
// size and fails when the stream would give more or fewer bytes, so a
// hostile stream can neither overrun memory nor grow without bound.
#pragma once

#include <cstddef>
#include <cstdint>

// Method numbers as WIA and RVZ store them.
enum CompressionMethod : uint32_t {
  METHOD_NONE = 0,
  METHOD_PURGE = 1,
  METHOD_BZIP2 = 2,
  METHOD_LZMA = 3,
  METHOD_LZMA2 = 4,
  METHOD_ZSTD = 5,
};

struct Decompressor;

// Null when memory runs out.
Decompressor* decompressor_create();
void decompressor_destroy(Decompressor* d);

// The method and its stored properties (LZMA: 5 bytes, LZMA2: 1 byte, others
// none). largest_output bounds the dictionary the LZMA decoders allocate: a
// stream never reaches further back than its own output. False, with a
// reason in *why, for properties liblzma cannot use.
bool decompressor_setup(Decompressor* d, CompressionMethod method, const uint8_t* properties,
                        size_t property_count, size_t largest_output, const char** why);

// Decodes in[0..in_size) into exactly out_size bytes. False, with a reason in
// *why, for a damaged stream or one of another length. PURGE and NONE are
// handled by the caller.
bool decompress(Decompressor* d, const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                const char** why);

// Whether the last call failed because memory ran out (not because of the
// stream or its properties).
bool decompressor_out_of_memory(const Decompressor* d);

// zlib (GCZ blocks): inflates into out_size bytes. With allow_longer the
// stream may go on past them (a block cut at the disc's end).
bool inflate_block(Decompressor* d, const uint8_t* in, size_t in_size, uint8_t* out,
                   size_t out_size, bool allow_longer, const char** why);
