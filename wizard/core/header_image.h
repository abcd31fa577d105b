// The header a new image takes from another image: the disc inside the
// containers the container layer reads (RVZ, WIA, GCZ, CISO, WDF), else the
// file's own first bytes. The wizard's start button and trelvik-cli read it
// here, so both take the same bytes from the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disc/disc_format.h"

enum class HeaderImageFault {
  None,
  CannotOpen,        // missing, a folder, not a regular file, or unreadable
  DamagedContainer,  // a container that is damaged or uses a method not read here
  WiiDisc,           // a Wii disc in a container (or, for read_header_disc, plain)
  // read_header_disc only:
  NotAGameCubeDisc,  // no GameCube disc, plain or in a container
  TooShort,          // less than the header and bi2 block
};

struct HeaderImageResult {
  HeaderImageFault fault = HeaderImageFault::None;
  std::string detail;  // English: the container's damage, or why the file is no disc
};

// The first n bytes of the disc in the file at path, zeros where it gives
// none, *got how many it gave. A file the container layer recognises as a
// container gives the disc it holds, or a fault; any other file is taken as
// a disc image, whatever it holds.
HeaderImageResult read_disc_start(const char* path, uint8_t* out, size_t n, size_t* got);

// The wizard's import (and trelvik-cli --no-disc-magic's): DISC_HEADER_SIZE
// bytes, a short file zero-padded. True when read.
bool read_imported_header(const char* path, uint8_t header[DISC_HEADER_SIZE],
                          HeaderImageResult* result = nullptr);

// trelvik-cli's default mode takes more of the other disc (its identity
// bytes and bi2 block), so only from a GameCube disc, plain or in a
// container, of at least APPLOADER_OFFSET bytes: those bytes into head.
HeaderImageResult read_header_disc(const char* path, uint8_t head[APPLOADER_OFFSET]);
