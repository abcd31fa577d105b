// The GameCube's pseudo-random filler ("junk"): the bytes mastered discs hold
// where no file lies. A lagged Fibonacci generator (lags 32 and 521, words
// combined by XOR), started afresh at every 32 KiB sector of the disc from a
// seed made of the game code, the disc number and the sector's index. RVZ
// files store each run of it as its 17-word seed instead of its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t JUNK_SEED_WORDS = 17;
constexpr size_t JUNK_SEED_BYTES = JUNK_SEED_WORDS * 4;  // 68, stored big-endian in RVZ files
constexpr size_t JUNK_LONG_LAG = 521;
constexpr size_t JUNK_SHORT_LAG = 32;
// The generator restarts at each multiple of this disc offset.
constexpr uint32_t JUNK_SECTOR_SIZE = 0x8000u;

struct JunkGenerator {
  uint32_t words[JUNK_LONG_LAG];
  uint8_t bytes[JUNK_LONG_LAG * 4];  // the words as they are output
  size_t position;                   // next byte of `bytes` to output
};

// The seed of the sector holding disc offset `offset`.
void junk_seed_for_disc(const uint8_t game_code[4], uint8_t disc_number, uint64_t offset,
                        uint32_t seed[JUNK_SEED_WORDS]);
// Starts the generator from a seed, positioned at `offset` into its sector
// (only offset % JUNK_SECTOR_SIZE counts).
void junk_start(JunkGenerator* g, const uint32_t seed[JUNK_SEED_WORDS], uint64_t offset);
void junk_generate(JunkGenerator* g, uint8_t* out, size_t n);

// The filler a disc holds at [offset, offset + n), across sectors.
void junk_fill_disc(const uint8_t game_code[4], uint8_t disc_number, uint64_t offset, uint8_t* out,
                    size_t n);
