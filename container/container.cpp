// Opening by magic word, the shared read loop over extents with its cache of
// decoded extents, the copy to a host file, error reporting, and plain
// images.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "container/container_formats.h"
#include "container/container_internal.h"
#include "container/container_testing.h"
#include "disc/disc_format.h"

namespace {

constexpr size_t MAGIC_BYTES = 8;

bool plain_locate(Container* c, uint64_t offset, Extent* extent) {
  (void)offset;
  *extent = {EXTENT_FILE, 0, c->disc_size, 0};
  return true;
}

void plain_release(Container*) {}

const ContainerFormat PLAIN_FORMAT = {plain_locate, nullptr, plain_release};

uint64_t g_decodes = 0;  // every decode, for tests

bool decode(Container* c, const Extent& extent, uint8_t* out) {
  ++g_decodes;
  return c->format->decode(c, extent, out);
}

// The cached extent holding a disc offset, or null.
CachedExtent* cached_extent(Container* c, uint64_t position) {
  for (CachedExtent& e : c->cache) {
    if (position >= e.start && position - e.start < e.bytes.size()) {
      e.last_use = ++c->cache_clock;
      return &e;
    }
  }
  return nullptr;
}

// Decodes a whole coded extent into the cache (container_read has already
// served any position the cache holds), first dropping the least recently
// read extents until it fits the cache's bounds. A dropped buffer of the
// same size is reused.
CachedExtent* fill_cache(Container* c, const Extent& extent) {
  const size_t length = size_t(extent.length);
  CachedExtent slot;
  try {
    c->cache.reserve(CONTAINER_CACHE_EXTENTS);
  } catch (...) {
    fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate its cache");
    return nullptr;
  }
  while (!c->cache.empty() &&
         (c->cache.size() >= CONTAINER_CACHE_EXTENTS || c->cache_bytes + length > CONTAINER_CACHE_BYTES)) {
    auto oldest = std::min_element(c->cache.begin(), c->cache.end(), [](const CachedExtent& a, const CachedExtent& b) {
      return a.last_use < b.last_use;
    });
    c->cache_bytes -= oldest->bytes.size();
    if (oldest->bytes.size() == length) slot.bytes.swap(oldest->bytes);
    c->cache.erase(oldest);
  }
  if (!resize_buffer(c, &slot.bytes, length) || !decode(c, extent, slot.bytes.data())) return nullptr;
  slot.start = extent.start;
  slot.last_use = ++c->cache_clock;
  c->cache_bytes += length;
  c->cache.push_back(std::move(slot));  // room reserved above
  return &c->cache.back();
}

// The extent holding a disc offset below the disc's size, checked to hold it.
bool locate(Container* c, uint64_t position, Extent* extent) {
  if (!c->format->locate(c, position, extent)) return false;
  if (extent->length == 0 || position < extent->start || position - extent->start >= extent->length) {
    return fail(c, CONTAINER_ERR_DAMAGED, "no stored data for disc offset %llu",
                static_cast<unsigned long long>(position));
  }
  return true;
}

// container_copy's buffer, page-aligned; null when memory runs out. Through
// the buffer, pieces of 256 KiB wrote and flushed a 1 GiB disc out of a
// container in about half the time 1 MiB pieces took
// (bench/container_bench.sh).
uint8_t* copy_buffer(Container* c) {
  constexpr size_t PAGE = 4096;
  if (c->copy_space.empty() && !resize_buffer(c, &c->copy_space, CONTAINER_COPY_BUFFER + PAGE)) return nullptr;
  uint8_t* p = c->copy_space.data();
  return p + (PAGE - reinterpret_cast<uintptr_t>(p) % PAGE) % PAGE;
}

// The most one kernel copy is asked for, which every host's size_t holds.
constexpr uint64_t KERNEL_COPY_MOST = 1u << 30;

}  // namespace

bool fail(Container* c, ContainerError error, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  c->error = error;
  c->detail = std::string(container_kind_name(c->kind)) + ": " + text;
  return false;
}

bool decoder_fail(Container* c, const Decompressor* d, const char* what, const char* why) {
  return fail(c, decompressor_out_of_memory(d) ? CONTAINER_ERR_NO_MEMORY : CONTAINER_ERR_DAMAGED, "%s: %s", what,
              why);
}

bool refuse_wii_disc(Container* c) {
  c->error = CONTAINER_ERR_WII_DISC;
  c->detail = "a Wii disc; this tool reads GameCube discs";
  return false;
}

bool set_disc_size(Container* c, uint64_t size) {
  if (size > DISC_IMAGE_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "a disc of %llu bytes is larger than a GameCube disc",
                static_cast<unsigned long long>(size));
  }
  c->disc_size = size;
  return true;
}

bool check_block_size(Container* c, uint32_t size) {
  if (size == 0) return fail(c, CONTAINER_ERR_DAMAGED, "the block size is 0");
  if (size > CONTAINER_MAX_BLOCK_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "blocks of %u bytes are larger than 32 MiB", size);
  }
  return true;
}

bool read_exact(Container* c, uint64_t position, void* buffer, size_t n, const char* what) {
  if (position > c->file_size || n > c->file_size - position) {
    return fail(c, CONTAINER_ERR_DAMAGED, "%s lies past the end of the file", what);
  }
  if (n == 0) return true;
  if (!host::file_seek(c->file, position)) return fail(c, CONTAINER_ERR_SEEK, "cannot position at %s", what);
  if (!host::file_read(c->file, buffer, n)) return fail(c, CONTAINER_ERR_READ, "cannot read %s", what);
  return true;
}

bool plain_open(Container* c) {
  c->format = &PLAIN_FORMAT;
  c->disc_size = c->file_size;
  return true;
}

bool container_kind_from_magic(const uint8_t* first_bytes, size_t n, ContainerKind* kind) {
  if (n < MAGIC_BYTES) return false;
  if (std::memcmp(first_bytes, "CISO", 4) == 0) {
    *kind = CONTAINER_CISO;
  } else if (le32(first_bytes) == GCZ_MAGIC) {
    *kind = CONTAINER_GCZ;
  } else if (std::memcmp(first_bytes, "WIA\x01", 4) == 0) {
    *kind = CONTAINER_WIA;
  } else if (std::memcmp(first_bytes, "RVZ\x01", 4) == 0) {
    *kind = CONTAINER_RVZ;
  } else if (std::memcmp(first_bytes, "WII\x01" "DISC", 8) == 0) {
    *kind = CONTAINER_WDF;
  } else {
    *kind = CONTAINER_PLAIN;
  }
  return true;
}

const char* container_kind_name(ContainerKind kind) {
  switch (kind) {
    case CONTAINER_CISO: return "CISO";
    case CONTAINER_GCZ: return "GCZ";
    case CONTAINER_WIA: return "WIA";
    case CONTAINER_RVZ: return "RVZ";
    case CONTAINER_WDF: return "WDF";
    default: return "plain";
  }
}

const char* container_error_text(ContainerError error) {
  switch (error) {
    case CONTAINER_OK: return "no error";
    case CONTAINER_ERR_OPEN: return "cannot open the file";
    case CONTAINER_ERR_READ: return "cannot read the file";
    case CONTAINER_ERR_DAMAGED: return "the disc image is damaged";
    case CONTAINER_ERR_UNSUPPORTED: return "the disc image uses a format this tool does not read";
    case CONTAINER_ERR_TOO_LARGE: return "the disc image is too large";
    case CONTAINER_ERR_WII_DISC: return "a Wii disc";
    case CONTAINER_ERR_NO_MEMORY: return "cannot allocate memory";
    case CONTAINER_ERR_CREATE: return "cannot create the output file";
    case CONTAINER_ERR_WRITE: return "cannot write the output file";
    case CONTAINER_ERR_SAME_FILE: return "the output is the input file";
    case CONTAINER_ERR_OPTION: return "an option does not suit the output format";
    case CONTAINER_ERR_KEPT_ASIDE: return "the output is held open by another program";
    case CONTAINER_ERR_SEEK: return "cannot position in the file";
  }
  return "unknown error";
}

Container* container_open(const char* path, ContainerError* error, std::string* detail,
                          ContainerKind* kind) {
  if (kind) *kind = CONTAINER_PLAIN;
  Container* c = new (std::nothrow) Container;
  if (!c) {
    if (error) *error = CONTAINER_ERR_NO_MEMORY;
    if (detail) *detail = "cannot allocate memory";
    return nullptr;
  }
  bool ok = false;
  c->file = host::file_open_read(path);
  if (!c->file || !host::file_length(c->file, &c->file_size)) {
    c->error = CONTAINER_ERR_OPEN;
    c->detail = "cannot open the file";
  } else {
    uint8_t magic[MAGIC_BYTES] = {};
    size_t got = 0;
    if (!host::file_seek(c->file, 0) || !host::file_read_some(c->file, magic, sizeof magic, &got)) {
      c->error = CONTAINER_ERR_READ;
      c->detail = "cannot read the file";
    } else {
      // A file too short for any magic word is a (tiny) plain image.
      if (!container_kind_from_magic(magic, got, &c->kind)) c->kind = CONTAINER_PLAIN;
      switch (c->kind) {
        case CONTAINER_CISO: ok = ciso_open(c); break;
        case CONTAINER_GCZ: ok = gcz_open(c); break;
        case CONTAINER_WIA:
        case CONTAINER_RVZ: ok = wia_open(c); break;
        case CONTAINER_WDF: ok = wdf_open(c); break;
        default: ok = plain_open(c); break;
      }
    }
  }
  if (ok) {
    // Every kind can hold a Wii disc; its header says so.
    uint8_t head[WII_DISC_MAGIC_OFFSET + 4] = {};
    size_t got = 0;
    ok = container_read(c, 0, head, sizeof head, &got);
    if (ok && got == sizeof head && read_be32(head + WII_DISC_MAGIC_OFFSET) == WII_DISC_MAGIC) {
      ok = refuse_wii_disc(c);
    }
  }
  if (kind) *kind = c->kind;
  if (!ok) {
    if (error) *error = c->error;
    if (detail) *detail = c->detail;
    container_close(c);
    return nullptr;
  }
  if (error) *error = CONTAINER_OK;
  if (detail) detail->clear();
  return c;
}

void container_close(Container* c) {
  if (!c) return;
  if (c->format) c->format->release(c);
  if (c->file) host::file_close(c->file);
  delete c;
}

ContainerKind container_kind(const Container* c) { return c->kind; }
uint64_t container_disc_size(const Container* c) { return c->disc_size; }
ContainerError container_error(const Container* c) { return c->error; }
const char* container_error_detail(const Container* c) { return c->detail.c_str(); }

bool container_read(Container* c, uint64_t offset, void* buffer, size_t n, size_t* got) {
  c->error = CONTAINER_OK;
  c->detail.clear();
  *got = 0;
  if (offset >= c->disc_size) return true;
  if (n > c->disc_size - offset) n = size_t(c->disc_size - offset);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < n) {
    const uint64_t position = offset + done;
    size_t take = 0;
    if (const CachedExtent* cached = cached_extent(c, position)) {
      uint64_t skip = position - cached->start;
      take = size_t(std::min<uint64_t>(n - done, cached->bytes.size() - skip));
      std::memcpy(out + done, cached->bytes.data() + skip, take);
      done += take;
      *got = done;
      continue;
    }
    Extent extent;
    if (!locate(c, position, &extent)) return false;
    const uint64_t skip = position - extent.start;
    take = size_t(std::min<uint64_t>(n - done, extent.length - skip));
    switch (extent.kind) {
      case EXTENT_ZERO:
        std::memset(out + done, 0, take);
        break;
      case EXTENT_FILE:
        if (!read_exact(c, extent.where + skip, out + done, take, "the disc's data")) return false;
        break;
      case EXTENT_CODED:
        if (skip == 0 && take == extent.length) {
          // A whole extent goes straight into the caller's buffer.
          if (!decode(c, extent, out + done)) return false;
        } else {
          const CachedExtent* cached = fill_cache(c, extent);
          if (!cached) return false;
          std::memcpy(out + done, cached->bytes.data() + skip, take);
        }
        break;
    }
    done += take;
    *got = done;
  }
  return true;
}

bool container_copy(Container* c, uint64_t offset, uint64_t n, host::File* out, uint32_t unit,
                    uint64_t* copied) {
  c->error = CONTAINER_OK;
  c->detail.clear();
  *copied = 0;
  unit = std::min(std::max(unit, 1u), CONTAINER_COPY_BUFFER);
  if (offset >= c->disc_size) return true;
  // Units count from offset; one that the disc's end cuts is not copied.
  const uint64_t inside = c->disc_size - offset;
  const uint64_t end = offset + (n <= inside ? n : inside / unit * unit);
  auto unit_start = [&](uint64_t p) { return offset + (p - offset) / unit * unit; };
  uint64_t position = offset;
  bool kernel = true;  // until a kernel copy stops short
  while (position < end) {
    uint64_t piece_end = std::min(end, unit_start(position + CONTAINER_COPY_BUFFER));
    if (!cached_extent(c, position)) {
      Extent extent;
      if (!locate(c, position, &extent)) return false;
      const uint64_t extent_end = extent.start + extent.length;
      if (extent.kind == EXTENT_ZERO || (extent.kind == EXTENT_FILE && kernel)) {
        // Stored data's whole units go through the kernel. The buffer takes
        // zeros, and a unit that the end of stored data cuts, only up to the
        // unit holding the extent's end: stored data after it goes through
        // the kernel again.
        const uint64_t whole_end = extent_end >= end ? end : unit_start(extent_end);
        if (extent.kind == EXTENT_FILE && whole_end > position) {
          const uint64_t want = std::min(whole_end - position, KERNEL_COPY_MOST);
          if (!host::file_seek(c->file, extent.where + (position - extent.start))) {
            return fail(c, CONTAINER_ERR_SEEK, "cannot position at the disc's data");
          }
          const size_t moved = host::file_copy_direct(c->file, out, size_t(want));
          c->kernel_copied += moved;
          position += moved;
          *copied = position - offset;
          // The buffer takes what the kernel did not copy, and tells what failed.
          if (moved < want) kernel = false;
          continue;
        }
        if (extent_end < end) piece_end = std::min(piece_end, unit_start(extent_end + unit - 1));
      }
    }
    uint8_t* buffer = copy_buffer(c);
    if (!buffer) return false;
    const size_t want = size_t(piece_end - position);
    size_t got = 0;
    const bool read_ok = container_read(c, position, buffer, want, &got) && got == want;
    // Of a read that failed, only the whole units before the failure are
    // written.
    const size_t keep = read_ok ? want : size_t(std::max(unit_start(position + got), position) - position);
    if (keep > 0 && !host::file_write(out, buffer, keep)) {
      return fail(c, CONTAINER_ERR_WRITE, "cannot write the copy");
    }
    position += keep;
    *copied = position - offset;
    if (!read_ok) return false;
  }
  return true;
}

uint64_t container_testing_decode_count() { return g_decodes; }
uint64_t container_testing_kernel_copied(const Container* c) { return c->kernel_copied; }

bool container_file_identity(Container* c, host::FileId* id) {
  return c && c->file && host::file_identity(c->file, id);
}
