// Telling disc images and their containers apart by their magic words.
#include "disc/disc_identify.h"

#include <cstring>

#include "disc/disc_format.h"
#include "host/host_fs.h"

namespace {

// Magic words at offset 0 of the containers other tools write.
struct ContainerMagic {
  const char* name;
  const char* bytes;
  size_t length;
};

const ContainerMagic kContainers[] = {
    {"WIA", "WIA\x01", 4},
    {"RVZ", "RVZ\x01", 4},
    {"GCZ", "\x01\xC0\x0B\xB1", 4},  // 0xB10BC001, little-endian
    {"CISO", "CISO", 4},
    {"WDF", "WII\x01" "DISC", 8},
};

DiscFileIdentity not_a_disc(const char* reason) { return {DiscFileKind::NotADisc, "", reason}; }

bool printable(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

}  // namespace

DiscFileIdentity identify_disc_bytes(const uint8_t* first_bytes, size_t n, uint64_t file_size) {
  for (const ContainerMagic& m : kContainers) {
    if (n >= m.length && std::memcmp(first_bytes, m.bytes, m.length) == 0)
      return {DiscFileKind::Container, m.name, ""};
  }
  if (file_size == 0) return not_a_disc("0 bytes");
  if (file_size < DISC_IDENTIFY_BYTES || n < DISC_IDENTIFY_BYTES)
    return not_a_disc("shorter than a disc header");
  if (read_be32(first_bytes + WII_DISC_MAGIC_OFFSET) == WII_DISC_MAGIC)
    return {DiscFileKind::WiiImage, "", ""};
  DiscHeader header;
  std::memcpy(&header, first_bytes, sizeof header);
  if (header.disc_magic.get() == GAMECUBE_DISC_MAGIC) return {DiscFileKind::GameCubeImage, "", ""};
  // Without the magic word (the wizard leaves it zero): a printable game code
  // and a table that lies inside the file, behind the header.
  const uint64_t fst = header.fst_offset.get(), fst_size = header.fst_size.get();
  if (printable(first_bytes, sizeof header.game_code) && fst >= DISC_IDENTIFY_BYTES &&
      fst_size >= FST_ENTRY_SIZE && fst + fst_size <= file_size) {
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
  host::File* f = host::file_open_read(path);
  if (!f) return not_a_disc("cannot be opened");
  uint8_t head[DISC_IDENTIFY_BYTES] = {};
  uint64_t size = 0;
  size_t got = 0;
  bool ok = host::file_length(f, &size) && host::file_read_some(f, head, sizeof head, &got);
  host::file_close(f);
  if (!ok) return not_a_disc("cannot be opened");
  return identify_disc_bytes(head, got, size);
}
