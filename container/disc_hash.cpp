// One read of the disc feeding two hashing threads through a ring of buffers.
#include "container/disc_hash.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "container/container.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <nettle/version.h>
#endif

namespace {

enum class DigestKind { Md5, Sha1 };

size_t digest_size(DigestKind kind) { return kind == DigestKind::Md5 ? 16 : 20; }

// One running MD5 or SHA-1: nettle's context natively, a BCrypt hash object
// on Windows.
struct Digest {
  DigestKind kind;
#ifdef _WIN32
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
#else
  md5_ctx md5;
  sha1_ctx sha1;
#endif
};

#ifdef _WIN32
bool digest_start(Digest* d, DigestKind kind) {
  d->kind = kind;
  return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(
             &d->algorithm, kind == DigestKind::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA1_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(BCryptCreateHash(d->algorithm, &d->hash, nullptr, 0, nullptr, 0, 0));
}

bool digest_update(Digest* d, const uint8_t* data, size_t n) {
  // BCrypt takes a ULONG; the ring's buffers are far smaller.
  return BCRYPT_SUCCESS(BCryptHashData(d->hash, const_cast<PUCHAR>(data), static_cast<ULONG>(n), 0));
}

bool digest_finish(Digest* d, uint8_t* out) {
  return BCRYPT_SUCCESS(BCryptFinishHash(d->hash, out, static_cast<ULONG>(digest_size(d->kind)), 0));
}

void digest_release(Digest* d) {
  if (d->hash) BCryptDestroyHash(d->hash);
  if (d->algorithm) BCryptCloseAlgorithmProvider(d->algorithm, 0);
  d->hash = nullptr;
  d->algorithm = nullptr;
}
#else
bool digest_start(Digest* d, DigestKind kind) {
  d->kind = kind;
  if (kind == DigestKind::Md5) {
    md5_init(&d->md5);
  } else {
    sha1_init(&d->sha1);
  }
  return true;
}

bool digest_update(Digest* d, const uint8_t* data, size_t n) {
  if (d->kind == DigestKind::Md5) {
    md5_update(&d->md5, n, data);
  } else {
    sha1_update(&d->sha1, n, data);
  }
  return true;
}

bool digest_finish(Digest* d, uint8_t* out) {
  if (d->kind == DigestKind::Md5) {
    md5_digest(&d->md5, digest_size(d->kind), out);
  } else {
    sha1_digest(&d->sha1, digest_size(d->kind), out);
  }
  return true;
}

void digest_release(Digest*) {}
#endif

// A buffer of the ring: filled by the reader, then hashed by both threads.
struct Slot {
  std::unique_ptr<uint8_t[]> data;
  size_t length = 0;
  int pending = 0;  // hashing threads still to see it; 0 when free
};

constexpr int HASHING_THREADS = 2;

// The ring and its hand-over state, all guarded by mutex. Slots are handed
// out in order: the n-th filled buffer is slots[n % DISC_HASH_BUFFERS].
struct Ring {
  std::mutex mutex;
  std::condition_variable filled_cv;  // a buffer was filled, or the run ends
  std::condition_variable freed_cv;   // a buffer was freed, or the run stops
  Slot slots[DISC_HASH_BUFFERS];
  uint64_t filled = 0;        // buffers handed to the threads so far
  uint64_t hashed_bytes = 0;  // bytes of the buffers both threads are done with
  bool finished = false;      // the reader has handed out the last buffer
  bool stop = false;          // leave now: something failed
  std::string failure;        // the first hashing thread's failure
};

// Makes every waiter leave; the caller holds the mutex.
void stop_locked(Ring* ring) {
  ring->stop = true;
  ring->filled_cv.notify_all();
  ring->freed_cv.notify_all();
}

void stop_ring(Ring* ring) {
  std::lock_guard<std::mutex> lock(ring->mutex);
  stop_locked(ring);
}

// A hashing thread's loop: every filled buffer in order, until the reader has
// finished and all are seen, or the run stops. hash returns false with a
// reason on a digest failure, which stops the run.
template <typename Hash>
void hash_buffers(Ring* ring, Hash hash) {
  for (uint64_t next = 0;; ++next) {
    Slot* slot;
    {
      std::unique_lock<std::mutex> lock(ring->mutex);
      ring->filled_cv.wait(lock, [&] { return ring->stop || ring->finished || next < ring->filled; });
      if (ring->stop || next >= ring->filled) return;
      slot = &ring->slots[next % DISC_HASH_BUFFERS];
    }
    std::string reason;
    const bool ok = hash(slot->data.get(), slot->length, &reason);
    std::lock_guard<std::mutex> lock(ring->mutex);
    if (!ok) {
      if (ring->failure.empty()) ring->failure = reason;
      stop_locked(ring);
      return;
    }
    if (--slot->pending == 0) {
      ring->hashed_bytes += slot->length;
      ring->freed_cv.notify_one();
    }
  }
}

// The hashing threads, stopped and joined whenever hash_disc leaves.
struct HashingThreads {
  Ring* ring;
  std::thread threads[HASHING_THREADS];
  explicit HashingThreads(Ring* r) : ring(r) {}
  ~HashingThreads() {
    stop_ring(ring);
    join();
  }
  void join() {
    for (std::thread& t : threads) {
      if (t.joinable()) t.join();
    }
  }
};

bool fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

std::string offset_text(uint64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu (0x%llX)", static_cast<unsigned long long>(offset),
                static_cast<unsigned long long>(offset));
  return text;
}

}  // namespace

bool hash_disc(Container* c, DiscHashes* out, const HashProgress& progress, std::string* error) {
  const uint64_t total = container_disc_size(c);
  Ring ring;
  for (Slot& slot : ring.slots) {
    slot.data.reset(new (std::nothrow) uint8_t[DISC_HASH_BUFFER_SIZE]);
    if (!slot.data) return fail(error, "not enough memory for the read buffers");
  }

  Digest md5, sha1;
  std::unique_ptr<Digest, void (*)(Digest*)> md5_owner(&md5, digest_release);
  std::unique_ptr<Digest, void (*)(Digest*)> sha1_owner(&sha1, digest_release);
  if (!digest_start(&md5, DigestKind::Md5) || !digest_start(&sha1, DigestKind::Sha1)) {
    return fail(error, "the system's MD5 or SHA-1 cannot be started");
  }
  uLong crc = crc32(0L, Z_NULL, 0);

  // MD5 is the slowest of the three (nettle's and BCrypt's SHA-1 use the
  // CPU's SHA instructions where it has them), so it gets a thread to itself
  // and CRC32 goes with SHA-1.
  auto sha1_crc_buffer = [&sha1, &crc](const uint8_t* data, size_t n, std::string* reason) {
    crc = crc32(crc, data, static_cast<uInt>(n));
    if (digest_update(&sha1, data, n)) return true;
    *reason = "the system's SHA-1 failed";
    return false;
  };
  auto md5_buffer = [&md5](const uint8_t* data, size_t n, std::string* reason) {
    if (digest_update(&md5, data, n)) return true;
    *reason = "the system's MD5 failed";
    return false;
  };
  // Declared after everything the threads use, so they are joined first.
  HashingThreads workers(&ring);
  try {
    workers.threads[0] = std::thread([&] { hash_buffers(&ring, sha1_crc_buffer); });
    workers.threads[1] = std::thread([&] { hash_buffers(&ring, md5_buffer); });
  } catch (const std::system_error&) {
    return fail(error, "cannot start the hashing threads");
  }

  // The reader: each buffer in turn, once both threads are done with it.
  std::string read_failure;
  uint64_t offset = 0;
  for (uint64_t index = 0; offset < total; ++index) {
    Slot& slot = ring.slots[index % DISC_HASH_BUFFERS];
    uint64_t done;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      ring.freed_cv.wait(lock, [&] { return ring.stop || slot.pending == 0; });
      if (ring.stop) break;
      done = ring.hashed_bytes;
    }
    if (progress) progress(done, total);
    const size_t want = size_t(std::min<uint64_t>(DISC_HASH_BUFFER_SIZE, total - offset));
    size_t got = 0;
    const bool ok = container_read(c, offset, slot.data.get(), want, &got);
    if (!ok || got != want) {
      // Below the disc's size a read gives every byte or fails; a short one
      // is never hashed as a shorter disc.
      read_failure = "cannot read the disc at offset " + offset_text(offset + got) + ": " + container_error_detail(c);
      break;
    }
    std::lock_guard<std::mutex> lock(ring.mutex);
    slot.length = want;
    slot.pending = HASHING_THREADS;
    ++ring.filled;
    ring.filled_cv.notify_all();
    offset += want;
  }
  if (read_failure.empty()) {
    std::lock_guard<std::mutex> lock(ring.mutex);
    ring.finished = true;
    ring.filled_cv.notify_all();
  } else {
    stop_ring(&ring);
  }
  workers.join();

  if (!read_failure.empty()) return fail(error, read_failure);
  if (!ring.failure.empty()) return fail(error, ring.failure);
  if (!digest_finish(&md5, out->md5) || !digest_finish(&sha1, out->sha1)) {
    return fail(error, "the system's MD5 or SHA-1 cannot be finished");
  }
  out->crc32 = static_cast<uint32_t>(crc);
  if (progress) progress(total, total);
  return true;
}

std::string hex(const uint8_t* bytes, size_t n) {
  static const char DIGITS[] = "0123456789abcdef";
  std::string text(2 * n, '0');
  for (size_t i = 0; i < n; ++i) {
    text[2 * i] = DIGITS[bytes[i] >> 4];
    text[2 * i + 1] = DIGITS[bytes[i] & 15];
  }
  return text;
}

std::string crc32_hex(uint32_t crc) {
  const uint8_t bytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
  return hex(bytes, sizeof bytes);
}

std::string digest_library_version() {
#ifdef _WIN32
  return "BCrypt (Windows)";
#else
  return "nettle " + std::to_string(nettle_version_major()) + "." + std::to_string(nettle_version_minor());
#endif
}
