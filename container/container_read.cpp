// The read path shared by every kind: the loop over a disc's extents, with
// its cache of decoded extents for partial reads, and the copy of a disc
// range to a host file.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "container/container_internal.h"
#include "container/container_testing.h"

namespace {

// Every decode of every container, for tests; containers may be read on
// several threads at once.
std::atomic<uint64_t> g_decodes{0};

bool decode(Container* c, const Extent& extent, uint8_t* out) {
  g_decodes.fetch_add(1, std::memory_order_relaxed);
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
  if (position >= c->zeros_from) {
    *extent = {EXTENT_ZERO, c->zeros_from, c->disc_size - c->zeros_from, 0};
    return true;
  }
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

uint64_t container_testing_decode_count() { return g_decodes.load(); }
uint64_t container_testing_kernel_copied(const Container* c) { return c->kernel_copied; }
