// The container layer: reads the bytes of a plain GameCube disc out of the
// file that holds it, whether that file is the plain image itself or one of
// the compressed or sparse containers users keep their discs in (RVZ, WIA,
// GCZ, CISO, WDF). The kind is told by the file's first bytes, never by its
// name.
//
// Plain operations over one opened container. Operations return a success
// flag (or a pointer) and leave an error code and a detail text in the
// container; container_open hands them to its caller, since it has no
// container to leave them in. Every field of a container file is checked
// before it is used: a damaged or hostile file gives an error, never a
// crash, a hang or unbounded memory.
//
// Not thread-safe: one container is used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {
struct File;
struct FileId;
}

enum ContainerKind {
  CONTAINER_PLAIN,
  CONTAINER_CISO,
  CONTAINER_GCZ,
  CONTAINER_WIA,
  CONTAINER_RVZ,
  CONTAINER_WDF,
};

enum ContainerError {
  CONTAINER_OK = 0,
  CONTAINER_ERR_OPEN,         // the file cannot be opened or measured
  CONTAINER_ERR_READ,         // the host reported a read error
  CONTAINER_ERR_DAMAGED,      // a field, table or compressed stream is wrong
  CONTAINER_ERR_UNSUPPORTED,  // a version or method this layer does not read
  CONTAINER_ERR_TOO_LARGE,    // a disc, block or table beyond the limits below
  CONTAINER_ERR_WII_DISC,     // a Wii disc
  CONTAINER_ERR_NO_MEMORY,
  // Writing (container_writer.h):
  CONTAINER_ERR_CREATE,      // the output file cannot be created
  CONTAINER_ERR_WRITE,       // the host reported a write error (a full disk)
  CONTAINER_ERR_SAME_FILE,   // the output would replace the input it is made from
  CONTAINER_ERR_OPTION,      // a format, method, level or size the output's kind does not take
  CONTAINER_ERR_KEPT_ASIDE,  // Windows: another program holds the output open
  // Reading and copying:
  CONTAINER_ERR_SEEK,        // the file cannot be positioned
};

// Limits: no block, chunk or group decodes to more than this, so the memory
// a container holds stays a small multiple of it plus its tables.
constexpr uint32_t CONTAINER_MAX_BLOCK_SIZE = 32u << 20;  // 32 MiB
// Decoded extents kept for partial reads: four of the largest, or up to 16
// smaller ones.
constexpr uint64_t CONTAINER_CACHE_BYTES = 128u << 20;  // 128 MiB
constexpr size_t CONTAINER_CACHE_EXTENTS = 16;

struct Container;

// Tells the kind from the first n bytes of a file (8 are enough for every
// kind). Anything unrecognised is a plain image. False only when n is too
// small to decide.
bool container_kind_from_magic(const uint8_t* first_bytes, size_t n, ContainerKind* kind);

// Opens the file, recognises its kind and checks its headers and tables.
// Null on failure, with the code in *error and a text naming the container
// and what is wrong in *detail. *kind is the kind its first bytes claim,
// CONTAINER_PLAIN when the file cannot be read, even when opening fails.
// Any of the three may be null.
Container* container_open(const char* path, ContainerError* error, std::string* detail,
                          ContainerKind* kind = nullptr);
void container_close(Container* c);

ContainerKind container_kind(const Container* c);
// "RVZ", "WIA", "GCZ", "CISO", "WDF" or "plain".
const char* container_kind_name(ContainerKind kind);
// Size of the plain disc the container holds. For a plain image, the file's
// size (any size); for the others at most DISC_IMAGE_SIZE.
uint64_t container_disc_size(const Container* c);
// A kind that leaves out the disc's trailing zero blocks and records no disc
// size (CISO): its disc may run on in zeros past container_disc_size, as far
// as the disc's own file table says.
inline bool container_kind_drops_trailing_zeros(ContainerKind kind) { return kind == CONTAINER_CISO; }
// Takes such a kind's disc as size bytes (at most a full disc) when that is
// longer than the container holds, the rest reading as zeros: the disc the
// reader mounts (IsoGetImageSize), so that every conversion and checksum of
// it sees the same disc. Other kinds, and a shorter size, stay as they are.
void container_extend_disc(Container* c, uint64_t size);

// Reads up to n bytes of the plain disc at offset into buffer. Reading past
// the disc's end is a short read, as for a file (*got tells how many bytes
// came). False on an error, with *got the bytes that did come before it.
bool container_read(Container* c, uint64_t offset, void* buffer, size_t n, size_t* got);

// The last operation's error and detail ("" when none).
ContainerError container_error(const Container* c);
const char* container_error_detail(const Container* c);
// A short constant text for a code.
const char* container_error_text(ContainerError error);

// Copies n bytes of the plain disc from offset to out, at out's position;
// *copied tells how many reached it. Data the container stores as it is (a
// plain image, the stored blocks of CISO and WDF, WIA's and RVZ's stored
// groups) is copied inside the host's kernel where it can; zeros and coded
// data go through a buffer the container keeps. The range moves in units of
// `unit` bytes (1 to CONTAINER_COPY_BUFFER) counted from offset: a unit that
// cannot be read whole is not written, so a copy that fails or meets the
// disc's end writes whole units only (the last unit of the range may be
// shorter). A range running past the disc's end is a short copy, as for a
// read: true, with *copied < n. False on an error: CONTAINER_ERR_WRITE when
// out cannot be written, else a read's code.
constexpr uint32_t CONTAINER_COPY_BUFFER = 256u << 10;
bool container_copy(Container* c, uint64_t offset, uint64_t n, host::File* out, uint32_t unit,
                    uint64_t* copied);
// The identity of the file the container reads (host::FileId), so that no
// extraction writes over it. False when it cannot be asked.
bool container_file_identity(Container* c, host::FileId* id);
