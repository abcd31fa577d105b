// SHA-1, for the digests WIA and RVZ headers carry of themselves and of
// their tables, and that purge-compressed chunks end with.
#pragma once

#include <cstddef>
#include <cstdint>

struct Sha1 {
  uint32_t state[5];
  uint64_t length;  // bytes taken so far
  uint8_t pending[64];
};

void sha1_start(Sha1* s);
void sha1_add(Sha1* s, const void* data, size_t n);
void sha1_finish(Sha1* s, uint8_t digest[20]);
// The digest of one buffer.
void sha1_of(const void* data, size_t n, uint8_t digest[20]);
