// GCZ: a 32-byte little-endian header, one 64-bit data offset per block (top
// bit set: the block is stored as it is), one Adler-32 per block of its
// stored bytes, then the blocks, each zlib-compressed on its own. Every block
// decompresses to the block size; the last one may hold bytes past the disc.
#include <cstdio>
#include <cstring>
#include <vector>

#include "container/container_formats.h"
#include "container/container_internal.h"
#include "container/decompress.h"
#include "disc/disc_format.h"

#include <zlib.h>

namespace {

// Smaller blocks only grow the tables: at 512 bytes a full disc's take 34 MB
// (12 bytes a block), the most a GCZ may cost.
constexpr uint32_t GCZ_MIN_BLOCK_SIZE = 512u;
constexpr size_t TABLE_PIECE = 8192;  // table words converted per read

struct GczState {
  uint32_t block_size = 0;
  uint64_t data_start = 0;
  uint64_t data_size = 0;       // the blocks' bytes from data_start
  std::vector<uint64_t> word;   // each block's offset from data_start, top bit: stored
  std::vector<uint32_t> checksum;
  std::vector<uint8_t> stored;  // one block's stored bytes
  Decompressor* decompressor = nullptr;

  ~GczState() { decompressor_destroy(decompressor); }

  uint64_t start(uint32_t block) const {
    return block < word.size() ? word[block] & ~GCZ_STORED_FLAG : data_size;
  }
  bool is_stored(uint32_t block) const { return (word[block] & GCZ_STORED_FLAG) != 0; }
};

GczState* state_of(Container* c) { return static_cast<GczState*>(c->state); }

// Reads n little-endian words of `width` bytes from a file offset into out,
// a piece at a time, so no second copy of a table is ever held.
template <typename T>
bool read_le_words(Container* c, uint64_t position, T* out, size_t n, size_t width, const char* what) {
  uint8_t piece[TABLE_PIECE * 8];
  for (size_t done = 0; done < n;) {
    const size_t take = std::min(TABLE_PIECE, n - done);
    if (!read_exact(c, position + done * width, piece, take * width, what)) return false;
    for (size_t i = 0; i < take; ++i) out[done + i] = T(width == 8 ? le64(piece + 8 * i) : le32(piece + 4 * i));
    done += take;
  }
  return true;
}

bool gcz_locate(Container* c, uint64_t offset, Extent* extent) {
  const GczState* s = state_of(c);
  const uint64_t block = offset / s->block_size;
  const uint64_t start = block * s->block_size;
  const uint64_t length = std::min<uint64_t>(s->block_size, c->disc_size - start);
  // Stored blocks too are read through the decoder, so that their checksum
  // is checked like every other block's.
  *extent = {EXTENT_CODED, start, length, block};
  return true;
}

bool gcz_decode(Container* c, const Extent& extent, uint8_t* out) {
  GczState* s = state_of(c);
  const uint32_t block = uint32_t(extent.where);
  const size_t size = size_t(s->start(block + 1) - s->start(block));
  if (!resize_buffer(c, &s->stored, size) ||
      !read_exact(c, s->data_start + s->start(block), s->stored.data(), size, "a block")) {
    return false;
  }
  if (adler32(adler32(0, nullptr, 0), s->stored.data(), uInt(size)) != s->checksum[block]) {
    return fail(c, CONTAINER_ERR_DAMAGED, "block %u fails its checksum", block);
  }
  if (s->is_stored(block)) {
    std::memcpy(out, s->stored.data(), size_t(extent.length));  // checked at open: size >= length
    return true;
  }
  const char* why = "";
  if (!inflate_block(s->decompressor, s->stored.data(), size, out, size_t(extent.length),
                     extent.length < s->block_size, &why)) {
    char what[32];
    std::snprintf(what, sizeof what, "block %u", block);
    return decoder_fail(c, s->decompressor, what, why);
  }
  return true;
}

const ContainerFormat GCZ_FORMAT = {gcz_locate, gcz_decode, release_state<GczState>};

}  // namespace

bool gcz_open(Container* c) {
  GczState* s = attach_state<GczState>(c, &GCZ_FORMAT);
  if (!s) return false;
  s->decompressor = decompressor_create();
  if (!s->decompressor) return fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate its decoder");

  uint8_t header[GCZ_HEADER_SIZE];
  if (!read_exact(c, 0, header, sizeof header, "the header")) return false;
  // The sub-type word (GameCube or Wii) is not trusted: wit writes 1 for
  // GameCube discs too. A Wii disc shows in its own header.
  const uint64_t compressed_size = le64(header + 8);
  const uint64_t disc_size = le64(header + 16);
  s->block_size = le32(header + 24);
  const uint32_t blocks = le32(header + 28);
  if (!set_disc_size(c, disc_size) || !check_block_size(c, s->block_size)) return false;
  if (s->block_size < GCZ_MIN_BLOCK_SIZE) {
    return fail(c, CONTAINER_ERR_UNSUPPORTED, "blocks of %u bytes are smaller than the %u bytes this tool reads",
                s->block_size, GCZ_MIN_BLOCK_SIZE);
  }
  if (blocks != round_up_division(disc_size, s->block_size)) {
    return fail(c, CONTAINER_ERR_DAMAGED, "%u blocks of %u bytes do not make a disc of %llu bytes",
                blocks, s->block_size, static_cast<unsigned long long>(disc_size));
  }
  s->data_start = GCZ_HEADER_SIZE + uint64_t(blocks) * GCZ_TABLE_ENTRY_SIZE;
  if (s->data_start > c->file_size || compressed_size > c->file_size - s->data_start) {
    return fail(c, CONTAINER_ERR_DAMAGED, "its tables and data run past the end of the file");
  }

  s->data_size = compressed_size;
  if (!resize_buffer(c, &s->word, blocks) || !resize_buffer(c, &s->checksum, blocks) ||
      !read_le_words(c, GCZ_HEADER_SIZE, s->word.data(), blocks, 8, "the block table") ||
      !read_le_words(c, GCZ_HEADER_SIZE + uint64_t(blocks) * 8, s->checksum.data(), blocks, 4,
                     "the block table")) {
    return false;
  }
  for (uint32_t i = 0; i < blocks; ++i) {
    // Blocks lie in order, each ending where the next begins.
    if (s->start(i) > s->start(i + 1)) {
      return fail(c, CONTAINER_ERR_DAMAGED, "block %u lies past the end of the file or the next block", i);
    }
  }
  for (uint32_t i = 0; i < blocks; ++i) {
    uint64_t size = s->start(i + 1) - s->start(i);
    uint64_t needed = std::min<uint64_t>(s->block_size, disc_size - uint64_t(i) * s->block_size);
    // A block is read whole into memory: a stored one, like any block, may
    // not pass the layer's limit.
    if (s->is_stored(i) && size > CONTAINER_MAX_BLOCK_SIZE) {
      return fail(c, CONTAINER_ERR_TOO_LARGE, "block %u is stored in %llu bytes, more than 32 MiB", i,
                  static_cast<unsigned long long>(size));
    }
    if (size > stored_size_limit(s->block_size) || (s->is_stored(i) && size < needed)) {
      return fail(c, CONTAINER_ERR_DAMAGED, "block %u has a stored size of %llu bytes", i,
                  static_cast<unsigned long long>(size));
    }
  }
  return true;
}
