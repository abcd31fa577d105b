// What a file is, told from its first bytes and its size: a GameCube disc
// image, a Wii disc image, one of the containers disc images are kept in, or
// none of these, with the reason. Used by the tools to say why a file cannot
// be read, instead of a bare "cannot cache the file structure".
#pragma once

#include <cstddef>
#include <cstdint>

enum class DiscFileKind {
  GameCubeImage,  // the magic word at 0x1C, or a plausible header
  WiiImage,       // the Wii magic word at 0x18
  Container,      // WIA, RVZ, GCZ, CISO or WDF, by its magic word
  NotADisc,       // reason says why
};

struct DiscFileIdentity {
  DiscFileKind kind;
  // Container: "WIA", "RVZ", "GCZ", "CISO" or "WDF".
  const char* container;
  // NotADisc: "does not exist", "cannot be opened", "a folder", "not a
  // regular file (a FIFO, socket or device)", "0 bytes", "shorter than a disc
  // header" or "no plausible disc header"; "" otherwise.
  const char* reason;
};

// Bytes read at the start of a file to identify it: the header and the
// boot block behind it.
constexpr size_t DISC_IDENTIFY_BYTES = 0x440;

// From up to DISC_IDENTIFY_BYTES first bytes (n of them) and the file size.
DiscFileIdentity identify_disc_bytes(const uint8_t* first_bytes, size_t n, uint64_t file_size);
// Looks at the file at path; never opens anything but a regular file.
DiscFileIdentity identify_disc_file(const char* path);
