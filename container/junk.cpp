#include "container/junk.h"

#include <cstring>

namespace {

// Multipliers of the seed's expansion: one stirs the game code, one the
// sector, one draws the seed's bits.
constexpr uint32_t SEED_CODE_FACTOR = 0x260BCD5u;
constexpr uint32_t SEED_SECTOR_FACTOR = 0x1EF29123u;
constexpr uint32_t SEED_STEP_FACTOR = 0x5D588B65u;

// Advances the whole buffer by one period of the long lag.
void advance(JunkGenerator* g) {
  uint32_t* w = g->words;
  for (size_t i = 0; i < JUNK_SHORT_LAG; ++i) w[i] ^= w[i + JUNK_LONG_LAG - JUNK_SHORT_LAG];
  for (size_t i = JUNK_SHORT_LAG; i < JUNK_LONG_LAG; ++i) w[i] ^= w[i - JUNK_SHORT_LAG];
}

// Output takes each word's bits 31-24, 25-18, 15-8 and 7-0, in that order.
void advance_and_output(JunkGenerator* g) {
  advance(g);
  for (size_t i = 0; i < JUNK_LONG_LAG; ++i) {
    uint32_t v = g->words[i];
    uint8_t* b = g->bytes + 4 * i;
    b[0] = uint8_t(v >> 24);
    b[1] = uint8_t(v >> 18);
    b[2] = uint8_t(v >> 8);
    b[3] = uint8_t(v);
  }
  g->position = 0;
}

}  // namespace

void junk_seed_for_disc(const uint8_t game_code[4], uint8_t disc_number, uint64_t offset,
                        uint32_t seed[JUNK_SEED_WORDS]) {
  const uint32_t code = (uint32_t(game_code[2]) << 24) | (uint32_t(game_code[1]) << 16) |
                        (uint32_t(uint8_t(game_code[3] + game_code[2])) << 8) |
                        uint32_t(uint8_t(game_code[0] + game_code[1]));
  const uint32_t sector = uint32_t(offset / JUNK_SECTOR_SIZE);
  uint32_t state = ((code ^ disc_number) * SEED_CODE_FACTOR) ^ (sector * SEED_SECTOR_FACTOR);
  for (size_t i = 0; i < JUNK_SEED_WORDS; ++i) {
    // Each word collects the top bit of 32 successive states.
    uint32_t word = 0;
    for (size_t bit = 0; bit < 32; ++bit) {
      state = state * SEED_STEP_FACTOR + 1;
      word = (word >> 1) | (state & 0x80000000u);
    }
    seed[i] = word;
  }
  seed[16] ^= (seed[0] >> 9) ^ (seed[16] << 23);
}

void junk_start(JunkGenerator* g, const uint32_t seed[JUNK_SEED_WORDS], uint64_t offset) {
  uint32_t* w = g->words;
  std::memcpy(w, seed, JUNK_SEED_WORDS * sizeof(uint32_t));
  for (size_t i = JUNK_SEED_WORDS; i < JUNK_LONG_LAG; ++i) {
    w[i] = (w[i - JUNK_SEED_WORDS] << 23) ^ (w[i - JUNK_SEED_WORDS + 1] >> 9) ^ w[i - 1];
  }
  // Three periods are discarded; the fourth is the first output.
  for (int i = 0; i < 3; ++i) advance(g);
  advance_and_output(g);
  size_t skip = size_t(offset % JUNK_SECTOR_SIZE);
  while (skip >= sizeof g->bytes) {
    advance_and_output(g);
    skip -= sizeof g->bytes;
  }
  g->position = skip;
}

void junk_generate(JunkGenerator* g, uint8_t* out, size_t n) {
  while (n > 0) {
    if (g->position == sizeof g->bytes) advance_and_output(g);
    size_t take = sizeof g->bytes - g->position;
    if (take > n) take = n;
    std::memcpy(out, g->bytes + g->position, take);
    g->position += take;
    out += take;
    n -= take;
  }
}

void junk_fill_disc(const uint8_t game_code[4], uint8_t disc_number, uint64_t offset, uint8_t* out,
                    size_t n) {
  JunkGenerator g;
  while (n > 0) {
    uint32_t seed[JUNK_SEED_WORDS];
    junk_seed_for_disc(game_code, disc_number, offset, seed);
    junk_start(&g, seed, offset);
    size_t take = size_t(JUNK_SECTOR_SIZE - offset % JUNK_SECTOR_SIZE);
    if (take > n) take = n;
    junk_generate(&g, out, take);
    offset += take;
    out += take;
    n -= take;
  }
}
