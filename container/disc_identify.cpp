// Telling disc images, their containers and other files apart.
#include "container/disc_identify.h"

#include <cstring>

#include "container/container.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"

namespace {

DiscFileIdentity not_a_disc(const std::string& reason, const std::string& container = "") {
  return {DiscFileKind::NotADisc, container, reason};
}

bool printable(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

}  // namespace

DiscFileIdentity identify_disc_bytes(const uint8_t* first_bytes, size_t n, uint64_t disc_size) {
  if (disc_size == 0) return not_a_disc("0 bytes");
  if (disc_size < DISC_IDENTIFY_BYTES || n < DISC_IDENTIFY_BYTES) return not_a_disc("shorter than a disc header");
  if (read_be32(first_bytes + WII_DISC_MAGIC_OFFSET) == WII_DISC_MAGIC) return {DiscFileKind::WiiImage, "", ""};
  DiscHeader header;
  std::memcpy(&header, first_bytes, sizeof header);
  if (header.disc_magic.get() == GAMECUBE_DISC_MAGIC) return {DiscFileKind::GameCubeImage, "", ""};
  // Without the magic word (the wizard leaves it zero): a printable game code
  // and a table that lies inside the disc, behind the header.
  const uint64_t fst = header.fst_offset.get(), fst_size = header.fst_size.get();
  if (printable(first_bytes, sizeof header.game_code) && fst >= DISC_IDENTIFY_BYTES &&
      fst_size >= FST_ENTRY_SIZE && fst + fst_size <= disc_size) {
    return {DiscFileKind::GameCubeImage, "", ""};
  }
  return not_a_disc("no plausible disc header");
}

DiscFileIdentity identify_disc_file(const char* path) {
  switch (host::path_kind(path)) {
    case host::PathKind::Missing: return not_a_disc("does not exist");
    case host::PathKind::Folder: return not_a_disc("a folder");
    case host::PathKind::Other: return not_a_disc("not a regular file (a FIFO, socket or device)");
    case host::PathKind::File: break;
  }
  ContainerError error = CONTAINER_OK;
  std::string detail;
  ContainerKind kind = CONTAINER_PLAIN;
  Container* c = container_open(path, &error, &detail, &kind);
  if (!c) {
    // Which container it claims to be, when its magic word says so.
    const std::string container = kind == CONTAINER_PLAIN ? std::string() : container_kind_name(kind);
    if (error == CONTAINER_ERR_WII_DISC) return {DiscFileKind::WiiImage, container, ""};
    if (error == CONTAINER_ERR_OPEN) return not_a_disc("cannot be opened", container);
    return not_a_disc(detail.empty() ? container_error_text(error) : detail, container);
  }
  uint8_t head[DISC_IDENTIFY_BYTES] = {};
  size_t got = 0;
  const std::string container =
      container_kind(c) == CONTAINER_PLAIN ? std::string() : container_kind_name(container_kind(c));
  bool ok = container_read(c, 0, head, sizeof head, &got);
  const uint64_t size = container_disc_size(c);
  container_close(c);
  if (!ok) return not_a_disc("cannot be read", container);
  DiscFileIdentity what = identify_disc_bytes(head, got, size);
  what.container = container;
  return what;
}
