// What the container writers share: the writer record, the output file's
// sequential writes and error reporting (writer_common.cpp), and the pool of
// worker threads that encodes chunks while the caller's thread writes them
// out in order (writer_pool.cpp). Each kind (writer_<kind>.cpp) fills in a
// WriterFormat; container_writer.cpp picks the kind and drives it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container/container_formats.h"
#include "container/container_internal.h"
#include "container/container_writer.h"
#include "host/host_fs.h"

// One chunk (block) of the disc on its way through the pool.
struct WriterJob {
  enum State { FREE, FILLING, QUEUED, WORKING, DONE };
  State state = FREE;
  uint64_t sequence = 0;     // chunks are written out in this order
  uint64_t disc_offset = 0;  // of the chunk's first byte
  std::vector<uint8_t> in;   // the disc's bytes; its size is the chunk's length
  size_t filled = 0;
  // What encoding made of it, for the kind's emit.
  std::vector<uint8_t> out;
  std::vector<uint8_t> scratch;  // the kind's working space (RVZ: the packed chunk)
  bool stored_as_is = false;  // out holds the chunk's own bytes, uncompressed
  bool all_zero = false;
  bool all_same = false;  // every byte equals in[0]
  uint32_t packed_size = 0;  // RVZ: size before unpacking, 0 when not packed
  uint32_t checksum = 0;     // GCZ: Adler-32 of out
  ContainerError error = CONTAINER_OK;
  std::string why;
};

struct WriterFormat {
  // Settles the chunk size and thread count and writes what precedes the
  // data (placeholders for headers written at the end).
  bool (*begin)(ContainerWriter* w);
  // On a worker thread (or the caller's when there are none): encodes one
  // chunk into job->out. worker numbers the thread, for its own encoder.
  // False with job->error and job->why set.
  bool (*encode)(ContainerWriter* w, unsigned worker, WriterJob* job);
  // On the caller's thread, in disc order: writes the encoded chunk out and
  // notes where it went.
  bool (*emit)(ContainerWriter* w, WriterJob* job);
  // After the last chunk: writes the tables and the header.
  bool (*end)(ContainerWriter* w);
  void (*release)(ContainerWriter* w);  // frees the kind's state
};

// The worker threads and the few jobs they share with the caller.
struct WriterPool {
  std::mutex lock;
  std::condition_variable work_ready;  // a job was queued, or the pool stops
  std::condition_variable job_done;
  std::vector<std::unique_ptr<WriterJob>> jobs;
  std::deque<WriterJob*> queue;
  std::vector<std::thread> threads;
  uint64_t next_sequence = 0;  // given to the next job submitted
  uint64_t next_emit = 0;      // the sequence written out next
  bool stopping = false;
};

struct ContainerWriter {
  ContainerWriteOptions options;
  const WriterFormat* format = nullptr;
  host::Output* output = nullptr;
  host::File* file = nullptr;
  uint64_t disc_size = 0;
  uint64_t received = 0;   // disc bytes taken so far
  uint64_t file_end = 0;   // bytes written to the file so far, in order
  uint32_t chunk_size = 0; // the disc is cut into chunks of this size (the last one shorter)
  unsigned threads = 0;    // workers; 0: chunks are encoded on the caller's thread
  // The disc's first bytes, as they come: its header for the containers
  // that store it, and the game code the filler is made from.
  uint8_t disc_head[DISC_HEAD_SIZE] = {};
  ContainerError error = CONTAINER_OK;
  std::string detail;
  WriterJob* filling = nullptr;  // the chunk being filled
  WriterJob inline_job;          // the only job when there are no workers
  WriterPool pool;
  void* state = nullptr;  // the kind's own
};

// Sets the error and a detail text prefixed with the kind's name; always
// returns false. The first error is kept.
bool writer_fail(ContainerWriter* w, ContainerError error, const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Appends n bytes at the file's end.
bool writer_put(ContainerWriter* w, const void* data, size_t n);
// Appends zero bytes up to the next multiple of `alignment`.
bool writer_pad(ContainerWriter* w, uint32_t alignment);
// Writes n bytes at a position before the file's end (a header at the end).
bool writer_put_at(ContainerWriter* w, uint64_t position, const void* data, size_t n);

// The worker count for options.threads (0: one per core), at least 1.
unsigned writer_worker_count(const ContainerWriter* w);

// Whether n bytes are all `value`.
bool all_bytes_are(const uint8_t* data, size_t n, uint8_t value);

// The worker pool (writer_pool.cpp), which container_writer.cpp drives:
// started after the kind's begin, jobs acquired, filled and submitted in disc
// order, drained before the kind's end, stopped before the writer is freed.
bool start_pool(ContainerWriter* w);
void stop_pool(ContainerWriter* w);
WriterJob* acquire_job(ContainerWriter* w);
bool submit_job(ContainerWriter* w, WriterJob* job);
bool drain_pool(ContainerWriter* w);

// The kinds' formats.
extern const WriterFormat WIA_WRITER;  // WIA and RVZ, told apart by options.kind
extern const WriterFormat GCZ_WRITER;
extern const WriterFormat CISO_WRITER;

// Stores for the headers: big-endian 64-bit (the 32-bit one is disc_format.h's
// write_be32) and the little-endian ones of GCZ and CISO.
inline void write_be64(uint8_t* p, uint64_t v) {
  write_be32(p, uint32_t(v >> 32));
  write_be32(p + 4, uint32_t(v));
}
inline void write_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void write_le64(uint8_t* p, uint64_t v) {
  write_le32(p, uint32_t(v));
  write_le32(p + 4, uint32_t(v >> 32));
}
