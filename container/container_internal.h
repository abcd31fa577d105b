// What the container kinds share: the opened container, the extents a kind
// maps the disc into, and the checked file reads and error reporting every
// kind uses (container_common.cpp). Each kind (container_<kind>.cpp) fills in
// a ContainerFormat; container.cpp picks the kind, and container_read.cpp
// reads any kind through it.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "container/container.h"
#include "container/decompress.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"

// One run of the plain disc, as the container stores it.
enum ExtentKind {
  EXTENT_ZERO,   // all zero bytes, nothing stored
  EXTENT_FILE,   // stored as it is, from file offset `where` on
  EXTENT_CODED,  // stored compressed or encoded; `where` is the kind's unit index
};

struct Extent {
  ExtentKind kind;
  uint64_t start;   // disc offset of its first byte
  uint64_t length;  // disc bytes it covers, at least 1
  uint64_t where;
};

struct ContainerFormat {
  // The extent holding a disc offset below the disc size.
  bool (*locate)(Container* c, uint64_t offset, Extent* extent);
  // Decodes a coded extent's whole length into out. Null for kinds without
  // coded extents.
  bool (*decode)(Container* c, const Extent& extent, uint8_t* out);
  void (*release)(Container* c);  // frees the kind's state
};

// A coded extent decoded whole, kept for the partial reads that follow.
struct CachedExtent {
  uint64_t start = 0;
  uint64_t last_use = 0;  // the container's clock at its last read
  std::vector<uint8_t> bytes;
};

struct Container {
  ContainerKind kind = CONTAINER_PLAIN;
  const ContainerFormat* format = nullptr;
  host::File* file = nullptr;
  uint64_t file_size = 0;
  uint64_t disc_size = 0;
  uint64_t zeros_from = UINT64_MAX;  // where a disc extended past what is held runs on in zeros
  ContainerError error = CONTAINER_OK;
  std::string detail;
  void* state = nullptr;  // the kind's own

  // The coded extents decoded for partial reads, the least recently read
  // dropped first: reads that cut through an extent, or that alternate
  // between a few, decode each once. At most CONTAINER_CACHE_EXTENTS of
  // them, and CONTAINER_CACHE_BYTES together.
  std::vector<CachedExtent> cache;
  uint64_t cache_bytes = 0;
  uint64_t cache_clock = 0;

  // container_copy's buffer, made at the first copy: CONTAINER_COPY_BUFFER
  // bytes from the first page boundary inside it.
  std::vector<uint8_t> copy_space;
  uint64_t kernel_copied = 0;  // bytes container_copy moved inside the kernel, for tests
};

// The detail text of a failure: the kind's name, then the formatted text
// ("RVZ: group 12 lies past the end of the file").
std::string kind_detail(ContainerKind kind, const char* format, va_list args);

// Sets the error and a detail text prefixed with the kind's name ("RVZ: ...");
// always returns false so that callers can `return fail(...)`.
bool fail(Container* c, ContainerError error, const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// A decoder's failure on `what` ("group 12"): out of memory, or damage.
bool decoder_fail(Container* c, const Decompressor* d, const char* what, const char* why);

// Refuses a Wii disc, with the same text whatever holds it.
bool refuse_wii_disc(Container* c);

// Takes the plain disc's size from a header, refusing one larger than a
// GameCube disc.
bool set_disc_size(Container* c, uint64_t size);

// Checks a header's block size: neither 0 nor over CONTAINER_MAX_BLOCK_SIZE.
bool check_block_size(Container* c, uint32_t size);

// Reads n bytes at a file offset. A range past the end of the file is
// damage, named by `what` ("group 12 lies past the end of the file").
bool read_exact(Container* c, uint64_t position, void* buffer, size_t n, const char* what);

// Resizes a buffer, failing with CONTAINER_ERR_NO_MEMORY instead of throwing.
template <typename T>
bool resize_buffer(Container* c, std::vector<T>* v, size_t n) {
  try {
    v->resize(n);
    return true;
  } catch (...) {
    return fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate %llu bytes",
                static_cast<unsigned long long>(n) * sizeof(T));
  }
}

// Gives the container a new state of a kind's type and the kind's format;
// null, with the error set, when memory runs out.
template <typename State>
State* attach_state(Container* c, const ContainerFormat* format) {
  State* s = new (std::nothrow) State;
  if (!s) {
    fail(c, CONTAINER_ERR_NO_MEMORY, "cannot allocate its state");
    return nullptr;
  }
  c->state = s;
  c->format = format;
  return s;
}

// The `release` of every kind: deletes its state.
template <typename State>
void release_state(Container* c) {
  delete static_cast<State*>(c->state);
}

// Little-endian fields of the container headers, and the big-endian ones
// wider than the disc's own.
inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) { return le32(p) | (uint64_t(le32(p + 4)) << 32); }
inline uint64_t read_be64(const uint8_t* p) { return (uint64_t(read_be32(p)) << 32) | read_be32(p + 4); }

// The most bytes a block or group that decodes to `decoded` bytes may be
// stored in: no encoder the formats use grows data by more than a few per
// cent, and packing adds a few bytes per run.
inline uint64_t stored_size_limit(uint64_t decoded) { return decoded + decoded / 8 + 0x10000; }

inline uint64_t round_up_division(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

// Each kind's opening: checks the headers and tables, sets format, state and
// disc_size. On failure the error is set and the caller releases the state.
bool plain_open(Container* c);
bool ciso_open(Container* c);
bool gcz_open(Container* c);
bool wia_open(Container* c);  // WIA and RVZ, told apart by c->kind
bool wdf_open(Container* c);
