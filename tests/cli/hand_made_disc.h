// Hand-made discs for the process tests: the header fields retail discs
// carry, a bi2 block, an apploader, a main program and a table whose files
// lie wherever a test puts them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disc/disc_format.h"

namespace hand_made_disc {

struct Entry {
  bool folder;
  std::string name;  // Shift-JIS
  uint32_t offset, length;  // file: data; folder: its end index in length
};

// A disc: header, bi2, apploader, main program, a table in the given order
// and each file's bytes (patterned by its offset) where its entry says.
inline std::vector<uint8_t> make_disc(const std::vector<Entry>& entries) {
  std::vector<uint8_t> disc(0x30000, 0);
  std::memcpy(&disc[0], "GRTP01", 6);
  disc[DISC_NUMBER_OFFSET] = 1;
  disc[DISC_REVISION_OFFSET] = 2;
  disc[AUDIO_STREAMING_OFFSET] = 1;
  disc[STREAM_BUFFER_SIZE_OFFSET] = 10;
  write_be32(&disc[GAMECUBE_DISC_MAGIC_OFFSET], GAMECUBE_DISC_MAGIC);
  std::memcpy(&disc[0x20], "Round Trip", 10);
  write_be32(&disc[0x400], 0x1234);  // a debug monitor field other tools keep
  write_be32(&disc[BI2_OFFSET], 0x01000000);
  write_be32(&disc[BI2_OFFSET + BI2_REGION_OFFSET], BI2_REGION_EUROPE);
  uint8_t* apploader = &disc[APPLOADER_OFFSET];
  std::memcpy(apploader, "2004/01/01", 10);
  write_be32(apploader + APPLOADER_CODE_SIZE_OFFSET, 0x40);
  const uint32_t dol = APPLOADER_OFFSET + 0x60;
  write_be32(&disc[dol + DOL_OFFSETS_OFFSET], 0x100);
  write_be32(&disc[dol + DOL_SIZES_OFFSET], 0x20);
  const uint32_t fst = dol + 0x120;
  std::string names;
  std::vector<uint8_t> table(12 * (entries.size() + 1), 0);
  write_be32(&table[0], FST_DIRECTORY_FLAG);
  write_be32(&table[8], uint32_t(entries.size() + 1));
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    write_be32(&table[12 * (i + 1)], uint32_t(names.size()) | (e.folder ? FST_DIRECTORY_FLAG : 0));
    write_be32(&table[12 * (i + 1) + 4], e.folder ? 0 : e.offset);
    write_be32(&table[12 * (i + 1) + 8], e.length);
    names += e.name + '\0';
    for (uint32_t k = 0; !e.folder && k < e.length; ++k) disc[e.offset + k] = uint8_t(e.offset / 4 + k * 7);
  }
  table.insert(table.end(), names.begin(), names.end());
  std::copy(table.begin(), table.end(), disc.begin() + fst);
  write_be32(&disc[0x420], dol);
  write_be32(&disc[0x424], fst);
  write_be32(&disc[0x428], uint32_t(table.size()));
  write_be32(&disc[0x42C], 0x8000);
  return disc;
}

}  // namespace hand_made_disc
