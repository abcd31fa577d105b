// GCZ: a 32-byte little-endian header, one 64-bit data offset per block (top
// bit set: the block is stored as it is), one Adler-32 per block of its
// stored bytes, then the blocks, each zlib-compressed on its own. Every block
// decompresses to the block size; the last one may hold bytes past the disc.
#include <cstdio>
#include <cstring>
#include <vector>

#include "container/container_internal.h"
#include "container/decompress.h"
#include "disc/disc_format.h"

#include <zlib.h>

namespace {

constexpr uint32_t GCZ_HEADER_SIZE = 32u;
constexpr uint64_t GCZ_STORED_FLAG = 0x8000000000000000ull;

struct GczState {
  uint32_t block_size = 0;
  uint64_t data_start = 0;
  std::vector<uint64_t> start;  // offsets from data_start; one more than the blocks
  std::vector<uint8_t> stored_flag;
  std::vector<uint32_t> checksum;
  std::vector<uint8_t> stored;  // one block's stored bytes
  Decompressor* decompressor = nullptr;

  ~GczState() { decompressor_destroy(decompressor); }
};

GczState* state_of(Container* c) { return static_cast<GczState*>(c->state); }

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
  const size_t size = size_t(s->start[block + 1] - s->start[block]);
  if (!resize_buffer(c, &s->stored, size) ||
      !read_exact(c, s->data_start + s->start[block], s->stored.data(), size, "a block")) {
    return false;
  }
  if (adler32(adler32(0, nullptr, 0), s->stored.data(), uInt(size)) != s->checksum[block]) {
    return fail(c, CONTAINER_ERR_DAMAGED, "block %u fails its checksum", block);
  }
  if (s->stored_flag[block]) {
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
  if (blocks != round_up_division(disc_size, s->block_size)) {
    return fail(c, CONTAINER_ERR_DAMAGED, "%u blocks of %u bytes do not make a disc of %llu bytes",
                blocks, s->block_size, static_cast<unsigned long long>(disc_size));
  }
  s->data_start = GCZ_HEADER_SIZE + uint64_t(blocks) * 12;
  if (s->data_start > c->file_size || compressed_size > c->file_size - s->data_start) {
    return fail(c, CONTAINER_ERR_DAMAGED, "its tables and data run past the end of the file");
  }

  std::vector<uint8_t> table;
  if (!resize_buffer(c, &table, size_t(blocks) * 12) ||
      !read_exact(c, GCZ_HEADER_SIZE, table.data(), table.size(), "the block table") ||
      !resize_buffer(c, &s->start, size_t(blocks) + 1) ||
      !resize_buffer(c, &s->stored_flag, blocks) || !resize_buffer(c, &s->checksum, blocks)) {
    return false;
  }
  for (uint32_t i = 0; i < blocks; ++i) {
    uint64_t word = le64(table.data() + 8 * size_t(i));
    s->stored_flag[i] = (word & GCZ_STORED_FLAG) != 0;
    s->start[i] = word & ~GCZ_STORED_FLAG;
    s->checksum[i] = le32(table.data() + 8 * size_t(blocks) + 4 * size_t(i));
  }
  s->start[blocks] = compressed_size;
  for (uint32_t i = 0; i < blocks; ++i) {
    // Blocks lie in order, each ending where the next begins.
    if (s->start[i] > s->start[i + 1]) {
      return fail(c, CONTAINER_ERR_DAMAGED, "block %u lies past the end of the file or the next block", i);
    }
    uint64_t size = s->start[i + 1] - s->start[i];
    uint64_t needed = std::min<uint64_t>(s->block_size, disc_size - uint64_t(i) * s->block_size);
    if (s->stored_flag[i] ? size < needed : size > stored_size_limit(s->block_size)) {
      return fail(c, CONTAINER_ERR_DAMAGED, "block %u has a stored size of %llu bytes", i,
                  static_cast<unsigned long long>(size));
    }
  }
  return true;
}
