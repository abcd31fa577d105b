// CISO: a 32 KiB header ("CISO", the block size, then one byte per block:
// 1 stored, 0 absent), followed by the stored blocks in disc order. Absent
// blocks read as zeros. The format records no disc size: the disc ends with
// its last stored block, never past the full size of a GameCube disc.
#include <vector>

#include "container/container_formats.h"
#include "container/container_internal.h"
#include "disc/disc_format.h"

namespace {

constexpr uint32_t CISO_ABSENT = 0xFFFFFFFFu;

struct CisoState {
  uint32_t block_size = 0;
  std::vector<uint32_t> stored_index;  // per map entry: its place in the file, or CISO_ABSENT
};

CisoState* state_of(Container* c) { return static_cast<CisoState*>(c->state); }

bool ciso_locate(Container* c, uint64_t offset, Extent* extent) {
  const CisoState* s = state_of(c);
  const uint64_t block = offset / s->block_size;
  const uint32_t first = s->stored_index[size_t(block)];
  // Neighbouring blocks of the same kind make one extent: stored ones lie
  // one after the other in the file too.
  uint64_t last = block;
  while (last + 1 < s->stored_index.size() && (last + 1) * s->block_size < c->disc_size) {
    uint32_t next = s->stored_index[size_t(last + 1)];
    bool same = first == CISO_ABSENT ? next == CISO_ABSENT : next == first + (last + 1 - block);
    if (!same) break;
    ++last;
  }
  const uint64_t start = block * s->block_size;
  const uint64_t end = std::min<uint64_t>((last + 1) * s->block_size, c->disc_size);
  if (first == CISO_ABSENT) {
    *extent = {EXTENT_ZERO, start, end - start, 0};
  } else {
    *extent = {EXTENT_FILE, start, end - start, CISO_HEADER_SIZE + uint64_t(first) * s->block_size};
  }
  return true;
}

const ContainerFormat CISO_FORMAT = {ciso_locate, nullptr, release_state<CisoState>};

}  // namespace

bool ciso_open(Container* c) {
  CisoState* s = attach_state<CisoState>(c, &CISO_FORMAT);
  if (!s) return false;

  std::vector<uint8_t> header;
  if (!resize_buffer(c, &header, CISO_HEADER_SIZE) ||
      !read_exact(c, 0, header.data(), CISO_HEADER_SIZE, "the block map")) {
    return false;
  }
  s->block_size = le32(header.data() + 4);
  if (!check_block_size(c, s->block_size)) return false;
  if (!resize_buffer(c, &s->stored_index, CISO_MAP_ENTRIES)) return false;
  uint32_t stored = 0;
  uint64_t end = 0;
  for (uint32_t i = 0; i < CISO_MAP_ENTRIES; ++i) {
    uint8_t flag = header[CISO_MAP_OFFSET + i];
    if (flag > 1) return fail(c, CONTAINER_ERR_DAMAGED, "block map entry %u is neither 0 nor 1", i);
    s->stored_index[i] = flag ? stored++ : CISO_ABSENT;
    if (flag) end = uint64_t(i + 1) * s->block_size;
  }
  // The last stored block may run past the disc's end; one that starts past it
  // cannot belong to a GameCube disc.
  if (end > s->block_size && end - s->block_size >= DISC_IMAGE_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "stored blocks reach past a GameCube disc's end");
  }
  c->disc_size = std::min<uint64_t>(end, DISC_IMAGE_SIZE);
  if (uint64_t(stored) * s->block_size > c->file_size - CISO_HEADER_SIZE) {
    return fail(c, CONTAINER_ERR_DAMAGED, "the file holds fewer than the %u blocks its map lists", stored);
  }
  return true;
}
