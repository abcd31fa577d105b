// Whole-disc checksums as redump lists them: CRC32, MD5 and SHA-1 of every
// byte of the plain disc a container holds, computed in one read of it.
//
// The disc is read once, on the calling thread, into a small ring of large
// buffers; two threads hash each buffer, one with SHA-1 and CRC32, the other
// with MD5, so the three sums take about as long as MD5 alone when two cores
// are free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct Container;

struct DiscHashes {
  uint32_t crc32;
  uint8_t md5[16];
  uint8_t sha1[20];
};

// Bytes hashed so far and the disc's size. Called on the calling thread at
// least once per read buffer, first with 0 and, on success, last with the
// total.
using HashProgress = std::function<void(uint64_t done, uint64_t total)>;

// Size of each read, and how many reads may be in flight in the ring.
constexpr size_t DISC_HASH_BUFFER_SIZE = 4u << 20;
constexpr int DISC_HASH_BUFFERS = 4;

// Reads the whole plain disc of c (container_disc_size bytes) and hashes it.
// progress may be empty. False with a one-line reason in *error on a failed
// or short read (naming the offset) or a failure of the digest library;
// *out is then not to be used.
bool hash_disc(Container* c, DiscHashes* out, const HashProgress& progress, std::string* error);

// The digest library, as it reports itself: "nettle 3.8", or on Windows
// "BCrypt (Windows)".
std::string digest_library_version();

// Lower-case hexadecimal of n bytes, as redump lists MD5 and SHA-1.
std::string hex(const uint8_t* bytes, size_t n);
// The CRC32 as eight lower-case hexadecimal digits, most significant first.
std::string crc32_hex(uint32_t crc);
