// WIA and RVZ (GameCube discs only). A big-endian file header and disc
// header (method, chunk size, the disc's first 0x80 bytes, where the tables
// lie), a table of raw data areas (each a range of the disc stored as
// consecutive groups of one chunk each) and a table of groups (where each
// chunk's stored bytes lie and how long they are). Tables and groups are
// compressed with the file's method. RVZ adds per group a flag for stored
// uncompressed data and an optional packing that replaces runs of the
// disc's pseudo-random filler with their seeds.
#include <algorithm>
#include <vector>

#include "container/container_formats.h"
#include "container/container_internal.h"
#include "container/decompress.h"
#include "container/junk.h"
#include "disc/disc_format.h"

namespace {

// More groups or areas than a full disc in the smallest chunks is damage.
constexpr uint32_t MOST_GROUPS = DISC_IMAGE_SIZE / RVZ_SMALLEST_CHUNK + 1;
constexpr uint32_t NO_GROUP = 0xFFFFFFFFu;

struct WiaArea {
  uint64_t start, end;  // disc range
  uint32_t first_group;
};

struct WiaGroup {
  uint64_t file_offset;
  uint32_t stored_size;  // 0: all zeros
  uint32_t packed_size;  // RVZ: size before unpacking, 0 when not packed
  bool compressed;       // RVZ stores some groups uncompressed
};

struct WiaState {
  CompressionMethod method = METHOD_NONE;
  uint32_t chunk_size = 0;
  uint8_t disc_head[DISC_HEAD_SIZE] = {};
  std::vector<WiaArea> areas;  // in disc order, not overlapping
  std::vector<WiaGroup> groups;
  Decompressor* decompressor = nullptr;

  ~WiaState() { decompressor_destroy(decompressor); }
  std::vector<uint8_t> stored;  // one group as stored
  std::vector<uint8_t> packed;  // one group before unpacking
  JunkGenerator junk;
};

WiaState* state_of(Container* c) { return static_cast<WiaState*>(c->state); }

bool method_fail(Container* c, const char* what, const char* why) {
  return fail(c, CONTAINER_ERR_DAMAGED, "%s: %s", what, why);
}

// PURGE: segments (offset, size, bytes) in ascending order, then a SHA-1 of
// them; what no segment covers is zero.
bool purge_decode(Container* c, const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                  const char* what) {
  if (in_size < PURGE_HASH_SIZE) return method_fail(c, what, "its purge data is cut short");
  if (out_size != 0) std::memset(out, 0, out_size);
  const size_t end = in_size - PURGE_HASH_SIZE;
  size_t position = 0, covered = 0;
  while (position < end) {
    if (end - position < PURGE_SEGMENT_HEADER) return method_fail(c, what, "its purge data is cut short");
    const uint32_t offset = read_be32(in + position), size = read_be32(in + position + 4);
    position += PURGE_SEGMENT_HEADER;
    if (offset < covered || offset > out_size || size > out_size - offset) {
      return method_fail(c, what, "a purge segment lies outside its place");
    }
    if (size > end - position) return method_fail(c, what, "its purge data is cut short");
    if (size != 0) std::memcpy(out + offset, in + position, size);
    position += size;
    covered = offset + size;
  }
  return true;
}

// Decodes stored bytes with a method into exactly out_size bytes.
bool decode_stored(Container* c, CompressionMethod method, const uint8_t* in, size_t in_size,
                   uint8_t* out, size_t out_size, const char* what) {
  WiaState* s = state_of(c);
  if (method == METHOD_NONE) {
    if (in_size < out_size) return method_fail(c, what, "it holds fewer bytes than it should");
    if (out_size != 0) std::memcpy(out, in, out_size);
    return true;
  }
  if (method == METHOD_PURGE) return purge_decode(c, in, in_size, out, out_size, what);
  const char* why = "";
  if (!decompress(s->decompressor, in, in_size, out, out_size, &why)) {
    return decoder_fail(c, s->decompressor, what, why);
  }
  return true;
}

// Reads a table and decodes it into `size` bytes.
bool load_table(Container* c, uint64_t offset, uint64_t stored_size, size_t size,
                std::vector<uint8_t>* table, const char* what) {
  WiaState* s = state_of(c);
  if (stored_size > stored_size_limit(size)) {
    return fail(c, CONTAINER_ERR_DAMAGED, "%s is stored in %llu bytes, far more than it holds", what,
                static_cast<unsigned long long>(stored_size));
  }
  table->clear();
  if (size == 0) return true;  // an empty table, whatever is stored
  std::vector<uint8_t> stored;
  return resize_buffer(c, &stored, size_t(stored_size)) &&
         read_exact(c, offset, stored.data(), stored.size(), what) && resize_buffer(c, table, size) &&
         decode_stored(c, s->method, stored.data(), stored.size(), table->data(), size, what);
}

// RVZ packing: runs of a 32-bit size, then as many bytes, or (top bit set)
// a 68-byte seed of the filler that makes them.
bool rvz_unpack(Container* c, const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                uint64_t disc_offset, const char* what) {
  WiaState* s = state_of(c);
  size_t position = 0, done = 0;
  while (position < in_size) {
    if (in_size - position < 4) return method_fail(c, what, "its packed data is cut short");
    uint32_t size = read_be32(in + position);
    position += 4;
    const bool junk = (size & RVZ_JUNK_FLAG) != 0;
    size &= ~RVZ_JUNK_FLAG;
    if (size > out_size - done) return method_fail(c, what, "it unpacks to more bytes than it should hold");
    if (junk) {
      if (in_size - position < JUNK_SEED_BYTES) return method_fail(c, what, "its packed data is cut short");
      uint32_t seed[JUNK_SEED_WORDS];
      for (size_t i = 0; i < JUNK_SEED_WORDS; ++i) seed[i] = read_be32(in + position + 4 * i);
      position += JUNK_SEED_BYTES;
      junk_start(&s->junk, seed, disc_offset + done);
      junk_generate(&s->junk, out + done, size);
    } else {
      if (size > in_size - position) return method_fail(c, what, "its packed data is cut short");
      std::memcpy(out + done, in + position, size);
      position += size;
    }
    done += size;
  }
  if (done != out_size) return method_fail(c, what, "it unpacks to fewer bytes than it should hold");
  return true;
}

bool wia_locate(Container* c, uint64_t offset, Extent* extent) {
  const WiaState* s = state_of(c);
  const std::vector<WiaArea>& areas = s->areas;
  size_t low = 0, high = areas.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (areas[mid].start <= offset) low = mid + 1; else high = mid;
  }
  // The disc's first bytes come from the disc header, so the extent holding
  // them is always decoded.
  if (low > 0 && offset < areas[low - 1].end) {
    const WiaArea& a = areas[low - 1];
    const uint64_t index = (offset - a.start) / s->chunk_size;
    const uint64_t start = a.start + index * s->chunk_size;
    const uint64_t length = std::min<uint64_t>(s->chunk_size, a.end - start);
    const uint32_t group = a.first_group + uint32_t(index);
    const WiaGroup& g = s->groups[group];
    const bool plain = g.packed_size == 0 && (s->method == METHOD_NONE || (c->kind == CONTAINER_RVZ && !g.compressed));
    if (g.stored_size == 0 && start >= DISC_HEAD_SIZE) {
      *extent = {EXTENT_ZERO, start, length, 0};
    } else if (plain && g.stored_size >= length && start >= DISC_HEAD_SIZE) {
      *extent = {EXTENT_FILE, start, length, g.file_offset};
    } else {
      *extent = {EXTENT_CODED, start, length, group};
    }
    return true;
  }
  // Between areas the disc reads as zeros, but for the disc header's bytes,
  // which are decoded on their own so that a gap of any size costs no memory.
  const uint64_t start = low > 0 ? areas[low - 1].end : 0;
  const uint64_t end = low < areas.size() ? areas[low].start : c->disc_size;
  if (offset < DISC_HEAD_SIZE) {
    *extent = {EXTENT_CODED, start, std::min<uint64_t>(end, DISC_HEAD_SIZE) - start, NO_GROUP};
  } else {
    const uint64_t zeros_start = std::max<uint64_t>(start, DISC_HEAD_SIZE);
    *extent = {EXTENT_ZERO, zeros_start, end - zeros_start, NO_GROUP};
  }
  return true;
}

bool wia_decode(Container* c, const Extent& extent, uint8_t* out) {
  WiaState* s = state_of(c);
  const size_t length = size_t(extent.length);
  const uint32_t group = uint32_t(extent.where);
  char what[32];
  std::snprintf(what, sizeof what, "group %u", group);
  if (group == NO_GROUP || s->groups[group].stored_size == 0) {
    std::memset(out, 0, length);
  } else {
    const WiaGroup& g = s->groups[group];
    const CompressionMethod method = c->kind == CONTAINER_RVZ && !g.compressed ? METHOD_NONE : s->method;
    uint8_t* target = out;
    size_t target_size = length;
    if (g.packed_size != 0) {
      if (!resize_buffer(c, &s->packed, g.packed_size)) return false;
      target = s->packed.data();
      target_size = g.packed_size;
    }
    if (method == METHOD_NONE) {
      if (g.stored_size < target_size) return method_fail(c, what, "it holds fewer bytes than it should");
      if (!read_exact(c, g.file_offset, target, target_size, what)) return false;
    } else if (!resize_buffer(c, &s->stored, g.stored_size) ||
               !read_exact(c, g.file_offset, s->stored.data(), g.stored_size, what) ||
               !decode_stored(c, method, s->stored.data(), g.stored_size, target, target_size, what)) {
      return false;
    }
    if (g.packed_size != 0 && !rvz_unpack(c, target, target_size, out, length, extent.start, what)) {
      return false;
    }
  }
  if (extent.start < DISC_HEAD_SIZE) {
    size_t n = std::min<size_t>(length, DISC_HEAD_SIZE - size_t(extent.start));
    std::memcpy(out, s->disc_head + extent.start, n);
  }
  return true;
}

const ContainerFormat WIA_FORMAT = {wia_locate, wia_decode, release_state<WiaState>};

bool chunk_size_allowed(bool rvz, uint32_t size) {
  if (size != 0 && size % WIA_CHUNK_MULTIPLE == 0) return true;
  // RVZ also takes powers of two from 32 KiB up.
  return rvz && size >= RVZ_SMALLEST_CHUNK && (size & (size - 1)) == 0;
}

bool check_header(Container* c, const uint8_t* file_header, const uint8_t* disc) {
  WiaState* s = state_of(c);
  const bool rvz = c->kind == CONTAINER_RVZ;
  const uint32_t compatible = read_be32(file_header + HEAD_COMPATIBLE_AT);
  const uint64_t disc_size = read_be64(file_header + HEAD_DISC_SIZE_AT);
  if (compatible > WIA_READABLE_VERSION) {
    return fail(c, CONTAINER_ERR_UNSUPPORTED, "version %u.%02u is newer than this tool reads",
                compatible >> 24, (compatible >> 16) & 0xFF);
  }
  const uint32_t disc_type = read_be32(disc + DISC_TYPE_AT);
  if (disc_type == DISC_TYPE_WII) {
    return refuse_wii_disc(c);
  }
  if (disc_type != DISC_TYPE_GAMECUBE) {
    return fail(c, CONTAINER_ERR_UNSUPPORTED, "disc type %u is not a GameCube disc", disc_type);
  }
  if (!set_disc_size(c, disc_size)) return false;
  const uint32_t method = read_be32(disc + METHOD_AT);
  if (method > METHOD_ZSTD || (rvz && method == METHOD_PURGE) || (!rvz && method == METHOD_ZSTD)) {
    return fail(c, CONTAINER_ERR_UNSUPPORTED, "compression method %u is not one %s uses", method,
                rvz ? "RVZ" : "WIA");
  }
  s->method = CompressionMethod(method);
  s->chunk_size = read_be32(disc + CHUNK_SIZE_AT);
  if (s->chunk_size > CONTAINER_MAX_BLOCK_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "chunks of %u bytes are larger than 32 MiB", s->chunk_size);
  }
  if (!chunk_size_allowed(rvz, s->chunk_size)) {
    return fail(c, CONTAINER_ERR_DAMAGED, "chunks of %u bytes are not a size %s allows", s->chunk_size,
                rvz ? "RVZ" : "WIA");
  }
  if (read_be32(disc + PARTITIONS_AT) != 0) {
    return fail(c, CONTAINER_ERR_DAMAGED, "a GameCube disc with Wii partition data");
  }
  std::memcpy(s->disc_head, disc + DISC_HEAD_AT, DISC_HEAD_SIZE);
  const size_t property_count = std::min<size_t>(disc[PROPERTY_COUNT_AT], MOST_PROPERTIES);
  const char* why = "";
  // The tables are compressed too, and may be larger than a chunk.
  const size_t largest_output = std::max<size_t>(s->chunk_size, size_t(MOST_GROUPS) * RAW_ENTRY_SIZE);
  if (!decompressor_setup(s->decompressor, s->method, disc + PROPERTIES_AT, property_count,
                          largest_output, &why)) {
    return decoder_fail(c, s->decompressor, "the disc header", why);
  }
  return true;
}

bool load_groups(Container* c, const uint8_t* disc) {
  WiaState* s = state_of(c);
  const bool rvz = c->kind == CONTAINER_RVZ;
  const uint32_t count = read_be32(disc + GROUP_COUNT_AT);
  if (count > MOST_GROUPS) return fail(c, CONTAINER_ERR_TOO_LARGE, "the group table lists %u groups", count);
  const uint32_t entry_size = rvz ? RVZ_GROUP_ENTRY_SIZE : WIA_GROUP_ENTRY_SIZE;
  std::vector<uint8_t> table;
  if (!load_table(c, read_be64(disc + GROUP_OFFSET_AT), read_be32(disc + GROUP_SIZE_AT), size_t(count) * entry_size,
                  &table, "the group table") ||
      !resize_buffer(c, &s->groups, count)) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = table.data() + size_t(i) * entry_size;
    WiaGroup& g = s->groups[i];
    g.file_offset = uint64_t(read_be32(e)) * 4;
    const uint32_t size_word = read_be32(e + 4);
    g.compressed = !rvz || (size_word & RVZ_COMPRESSED_FLAG) != 0;
    g.stored_size = rvz ? size_word & ~RVZ_COMPRESSED_FLAG : size_word;
    g.packed_size = rvz ? read_be32(e + 8) : 0;
    if (g.file_offset > c->file_size || g.stored_size > c->file_size - g.file_offset) {
      return fail(c, CONTAINER_ERR_DAMAGED, "group %u lies past the end of the file", i);
    }
    if (g.stored_size > stored_size_limit(s->chunk_size) || g.packed_size > stored_size_limit(s->chunk_size)) {
      return fail(c, CONTAINER_ERR_DAMAGED, "group %u is stored in far more bytes than its chunk", i);
    }
  }
  return true;
}

bool load_areas(Container* c, const uint8_t* disc) {
  WiaState* s = state_of(c);
  const uint32_t count = read_be32(disc + RAW_COUNT_AT);
  if (count > MOST_GROUPS) return fail(c, CONTAINER_ERR_TOO_LARGE, "the raw data table lists %u areas", count);
  std::vector<uint8_t> table;
  if (!load_table(c, read_be64(disc + RAW_OFFSET_AT), read_be32(disc + RAW_SIZE_AT), size_t(count) * RAW_ENTRY_SIZE,
                  &table, "the raw data table")) {
    return false;
  }
  const uint64_t groups = s->groups.size();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = table.data() + size_t(i) * RAW_ENTRY_SIZE;
    const uint64_t offset = read_be64(e);
    const uint64_t size = read_be64(e + 8);
    const uint32_t first = read_be32(e + 16), group_count = read_be32(e + 20);
    if (offset > c->disc_size || size > c->disc_size - offset) {
      return fail(c, CONTAINER_ERR_DAMAGED, "raw data area %u runs past the disc's end", i);
    }
    const uint64_t start = offset - offset % RAW_DATA_ALIGNMENT;
    const uint64_t end = offset + size;
    if (size == 0) continue;
    if (group_count != round_up_division(end - start, s->chunk_size)) {
      return fail(c, CONTAINER_ERR_DAMAGED, "raw data area %u lists %u groups for %llu bytes", i,
                  group_count, static_cast<unsigned long long>(end - start));
    }
    if (first > groups || group_count > groups - first) {
      return fail(c, CONTAINER_ERR_DAMAGED, "raw data area %u refers to groups past the group table", i);
    }
    try {
      s->areas.push_back({start, end, first});
    } catch (...) {
      return fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate the raw data areas");
    }
  }
  std::sort(s->areas.begin(), s->areas.end(),
            [](const WiaArea& a, const WiaArea& b) { return a.start < b.start; });
  for (size_t i = 1; i < s->areas.size(); ++i) {
    if (s->areas[i].start < s->areas[i - 1].end) {
      return fail(c, CONTAINER_ERR_DAMAGED, "raw data areas overlap");
    }
  }
  return true;
}

}  // namespace

bool wia_open(Container* c) {
  WiaState* s = attach_state<WiaState>(c, &WIA_FORMAT);
  if (!s) return false;
  s->decompressor = decompressor_create();
  if (!s->decompressor) return fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate its decoder");

  uint8_t file_header[WIA_FILE_HEADER_SIZE];
  uint8_t disc[WIA_DISC_HEADER_SIZE];
  if (!read_exact(c, 0, file_header, sizeof file_header, "the file header")) return false;
  if (read_be32(file_header + HEAD_DISC_HEADER_SIZE_AT) < WIA_DISC_HEADER_SIZE) {
    return fail(c, CONTAINER_ERR_DAMAGED, "the disc header is %u bytes, too short", read_be32(file_header + HEAD_DISC_HEADER_SIZE_AT));
  }
  return read_exact(c, WIA_FILE_HEADER_SIZE, disc, sizeof disc, "the disc header") &&
         check_header(c, file_header, disc) && load_groups(c, disc) && load_areas(c, disc);
}
