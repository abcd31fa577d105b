// What a file is: a GameCube disc image, plain or in one of the containers
// other tools keep discs in (WIA, RVZ, GCZ, CISO, WDF), a Wii disc, or none
// of these, with the reason. The tools use it to say why a file cannot be
// read, instead of a bare "cannot cache the file structure".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class DiscFileKind {
  GameCubeImage,  // the magic word at 0x1C, or a plausible header
  WiiImage,       // the Wii magic word at 0x18
  NotADisc,       // reason says why
};

struct DiscFileIdentity {
  DiscFileKind kind;
  // "RVZ", "WIA", "GCZ", "CISO" or "WDF" for a container, "" for a plain file.
  std::string container;
  // NotADisc: "does not exist", "cannot be opened", "a folder", "not a
  // regular file (a FIFO, socket or device)", "0 bytes", "shorter than a disc
  // header", "no plausible disc header", or what is wrong with a container
  // ("RVZ: ..."); "" otherwise.
  std::string reason;
};

// Bytes read at the start of a disc to identify it: the header and the
// boot block behind it.
constexpr size_t DISC_IDENTIFY_BYTES = 0x440;

// From up to DISC_IDENTIFY_BYTES first bytes of a plain disc (n of them) and
// the disc's size.
DiscFileIdentity identify_disc_bytes(const uint8_t* first_bytes, size_t n, uint64_t disc_size);
// Looks at the file at path, opening a container to look at the disc inside;
// never opens anything but a regular file.
DiscFileIdentity identify_disc_file(const char* path);
