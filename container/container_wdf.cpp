// WDF: wit's sparse format. A big-endian header (magic, version, the disc's
// size and where the chunk table lies), the chunks' data, and the chunk
// table: the magic again, then per chunk its disc offset, file offset and
// size (version 1 adds a split-file index in front). Bytes no chunk covers
// are zeros.
#include <vector>

#include "container/container_internal.h"
#include "disc/disc_format.h"

namespace {

constexpr size_t WDF_MAGIC_SIZE = 8;
constexpr uint32_t WDF_HEADER_SIZE = 56u;
constexpr uint32_t WDF_NEWEST_VERSION = 2u;
constexpr uint32_t WDF1_CHUNK_SIZE = 28u;
constexpr uint32_t WDF2_CHUNK_SIZE = 24u;
// wit writes a chunk per run of data between holes; even a disc cut into
// 32-byte pieces stays below this.
constexpr uint32_t WDF_MOST_CHUNKS = 1u << 20;

struct WdfChunk {
  uint64_t disc_offset, file_offset, size;
};

struct WdfState {
  std::vector<WdfChunk> chunks;  // in disc order, not overlapping
};

WdfState* state_of(Container* c) { return static_cast<WdfState*>(c->state); }

bool wdf_locate(Container* c, uint64_t offset, Extent* extent) {
  const std::vector<WdfChunk>& chunks = state_of(c)->chunks;
  // The first chunk starting after offset; the one before may hold it.
  size_t low = 0, high = chunks.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (chunks[mid].disc_offset <= offset) low = mid + 1; else high = mid;
  }
  if (low > 0) {
    const WdfChunk& k = chunks[low - 1];
    if (offset - k.disc_offset < k.size) {
      *extent = {EXTENT_FILE, k.disc_offset, k.size, k.file_offset};
      return true;
    }
  }
  const uint64_t start = low > 0 ? chunks[low - 1].disc_offset + chunks[low - 1].size : 0;
  const uint64_t end = low < chunks.size() ? chunks[low].disc_offset : c->disc_size;
  *extent = {EXTENT_ZERO, start, end - start, 0};
  return true;
}

const ContainerFormat WDF_FORMAT = {wdf_locate, nullptr, release_state<WdfState>};

}  // namespace

bool wdf_open(Container* c) {
  WdfState* s = attach_state<WdfState>(c, &WDF_FORMAT);
  if (!s) return false;

  uint8_t header[WDF_HEADER_SIZE];
  if (!read_exact(c, 0, header, sizeof header, "the header")) return false;
  const uint32_t version = read_be32(header + 8);
  const uint32_t compatible = read_be32(header + 20);
  const uint64_t disc_size = read_be64(header + 24);
  const uint32_t chunk_count = read_be32(header + 44);
  const uint64_t table_offset = read_be64(header + 48);
  if (version == 0) return fail(c, CONTAINER_ERR_DAMAGED, "version 0");
  // Version 2 headers say down to which version they can be read.
  if (version > WDF_NEWEST_VERSION && compatible > WDF_NEWEST_VERSION) {
    return fail(c, CONTAINER_ERR_UNSUPPORTED, "version %u is newer than this tool reads", version);
  }
  if (!set_disc_size(c, disc_size)) return false;
  if (chunk_count > WDF_MOST_CHUNKS) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "the chunk table lists %u chunks", chunk_count);
  }
  const uint32_t entry_size = version == 1 ? WDF1_CHUNK_SIZE : WDF2_CHUNK_SIZE;
  std::vector<uint8_t> table;
  if (!resize_buffer(c, &table, WDF_MAGIC_SIZE + size_t(chunk_count) * entry_size) ||
      !read_exact(c, table_offset, table.data(), table.size(), "the chunk table")) {
    return false;
  }
  if (std::memcmp(table.data(), header, WDF_MAGIC_SIZE) != 0) {
    return fail(c, CONTAINER_ERR_DAMAGED, "the chunk table does not begin with its magic word");
  }
  if (!resize_buffer(c, &s->chunks, chunk_count)) return false;
  size_t kept = 0;
  for (uint32_t i = 0; i < chunk_count; ++i) {
    const uint8_t* e = table.data() + WDF_MAGIC_SIZE + size_t(i) * entry_size + (entry_size - 24);
    WdfChunk k = {read_be64(e), read_be64(e + 8), read_be64(e + 16)};
    if (k.size == 0) continue;
    if (k.disc_offset > disc_size || k.size > disc_size - k.disc_offset) {
      return fail(c, CONTAINER_ERR_DAMAGED, "chunk %u runs past the disc's end", i);
    }
    if (k.file_offset > c->file_size || k.size > c->file_size - k.file_offset) {
      return fail(c, CONTAINER_ERR_DAMAGED, "chunk %u lies past the end of the file", i);
    }
    if (kept > 0 && k.disc_offset < s->chunks[kept - 1].disc_offset + s->chunks[kept - 1].size) {
      return fail(c, CONTAINER_ERR_DAMAGED, "chunk %u is out of order or overlaps the one before", i);
    }
    s->chunks[kept++] = k;
  }
  s->chunks.resize(kept);
  return true;
}
