// Opening by magic word: which kind a file is, each kind's opening, the
// plain image, and closing.
#include <algorithm>
#include <cstring>
#include <new>

#include "container/container_formats.h"
#include "container/container_internal.h"
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

}  // namespace

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

void container_extend_disc(Container* c, uint64_t size) {
  size = std::min<uint64_t>(size, DISC_IMAGE_SIZE);
  if (!container_kind_drops_trailing_zeros(c->kind) || size <= c->disc_size) return;
  c->zeros_from = std::min(c->zeros_from, c->disc_size);
  c->disc_size = size;
}
ContainerError container_error(const Container* c) { return c->error; }
const char* container_error_detail(const Container* c) { return c->detail.c_str(); }


bool container_file_identity(Container* c, host::FileId* id) {
  return c && c->file && host::file_identity(c->file, id);
}
