#include "container/sha1.h"

#include <cstring>

namespace {

uint32_t rotate_left(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Mixes one 64-byte block into the state.
void sha1_block(uint32_t state[5], const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (uint32_t(block[4 * i]) << 24) | (uint32_t(block[4 * i + 1]) << 16) |
           (uint32_t(block[4 * i + 2]) << 8) | uint32_t(block[4 * i + 3]);
  }
  for (int i = 16; i < 80; ++i) w[i] = rotate_left(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const uint32_t t = rotate_left(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rotate_left(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

void sha1_start(Sha1* s) {
  const uint32_t initial[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  std::memcpy(s->state, initial, sizeof initial);
  s->length = 0;
}

void sha1_add(Sha1* s, const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t held = size_t(s->length % 64);
  s->length += n;
  if (held != 0) {
    size_t take = 64 - held < n ? 64 - held : n;
    std::memcpy(s->pending + held, p, take);
    p += take;
    n -= take;
    if (held + take < 64) return;
    sha1_block(s->state, s->pending);
  }
  for (; n >= 64; p += 64, n -= 64) sha1_block(s->state, p);
  if (n != 0) std::memcpy(s->pending, p, n);
}

void sha1_finish(Sha1* s, uint8_t digest[20]) {
  const uint64_t bits = s->length * 8;
  const uint8_t one = 0x80, zero = 0;
  sha1_add(s, &one, 1);
  while (s->length % 64 != 56) sha1_add(s, &zero, 1);
  uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = uint8_t(bits >> (56 - 8 * i));
  sha1_add(s, tail, 8);
  for (int i = 0; i < 20; ++i) digest[i] = uint8_t(s->state[i / 4] >> (24 - 8 * (i % 4)));
}

void sha1_of(const void* data, size_t n, uint8_t digest[20]) {
  Sha1 s;
  sha1_start(&s);
  sha1_add(&s, data, n);
  sha1_finish(&s, digest);
}
