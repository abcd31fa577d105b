// A disc looked up in a dat: the Logiqx XML files in which redump and others
// list each game's dumps with their sizes and checksums.
//
// The dat is read by a small parser of the few elements needed (game or
// machine, rom) that expands only XML's own entities and character
// references: a DOCTYPE is skipped unread, so nothing outside the file is
// ever fetched, and a dat larger than DAT_MAX_BYTES is refused unread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/disc_hash.h"

struct DatRom {
  std::string game;  // the enclosing game's name
  std::string name;  // the rom's own name
  bool has_size = false;
  uint64_t size = 0;
  std::string crc32, md5, sha1;  // lower-case hexadecimal; "" when not listed
};

constexpr size_t DAT_MAX_BYTES = 64u << 20;
// Elements nested deeper than this are refused.
constexpr size_t DAT_MAX_DEPTH = 32;

// Every rom of every game in text. False with a one-line reason (naming the
// line) for text that is no well-formed dat.
bool parse_dat(const std::string& text, std::vector<DatRom>* roms, std::string* error);
// The same from a file.
bool read_dat_file(const char* path, std::vector<DatRom>* roms, std::string* error);

// The roms that are this disc: each checksum they list equals the disc's (at
// least one listed), and so does their size when they give one.
std::vector<DatRom> match_dat(const std::vector<DatRom>& roms, uint64_t disc_size, const DiscHashes& sums);
