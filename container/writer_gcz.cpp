// GCZ: a 32-byte header, one 64-bit offset per block (top bit: stored as
// it is), one Adler-32 per block of its stored bytes, then the blocks, each
// a zlib stream of the full block size (the last one zero-padded). A block
// that does not shrink is stored as it is. The header and tables are
// reserved first and filled in at the end.
#include <vector>

#include <zlib.h>

#include "container/compress.h"
#include "container/writer_internal.h"

namespace {

struct GczWriterState {
  std::vector<Compressor*> encoders;  // one per worker
  std::vector<uint64_t> offsets;      // per block, from the data's start, with the stored flag
  std::vector<uint32_t> checksums;
  uint64_t data_start = 0;
  uint32_t block = 0;  // index of the next block written out

  ~GczWriterState() {
    for (Compressor* c : encoders) compressor_destroy(c);
  }
};

GczWriterState* state_of(ContainerWriter* w) { return static_cast<GczWriterState*>(w->state); }

bool gcz_begin(ContainerWriter* w) {
  GczWriterState* s = new GczWriterState;
  w->state = s;
  w->chunk_size = w->options.block_size;
  w->threads = writer_worker_count(w);
  const size_t blocks = size_t(round_up_division(w->disc_size, w->chunk_size));
  s->offsets.assign(blocks, 0);
  s->checksums.assign(blocks, 0);
  for (unsigned i = 0; i < std::max(w->threads, 1u); ++i) {
    s->encoders.push_back(compressor_create_zlib(w->options.level));
    if (!s->encoders.back()) return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate its zlib encoders");
  }
  // The header and tables come first; zeros hold their place.
  s->data_start = GCZ_HEADER_SIZE + uint64_t(blocks) * GCZ_TABLE_ENTRY_SIZE;
  std::vector<uint8_t> zeros(size_t(std::min<uint64_t>(s->data_start, 1u << 20)), 0);
  while (w->file_end < s->data_start) {
    if (!writer_put(w, zeros.data(), size_t(std::min<uint64_t>(zeros.size(), s->data_start - w->file_end)))) {
      return false;
    }
  }
  return true;
}

bool gcz_encode(ContainerWriter* w, unsigned worker, WriterJob* job) {
  GczWriterState* s = state_of(w);
  // Every block decodes to the block size, the last one too.
  job->in.resize(w->chunk_size, 0);
  const char* why = "";
  if (!compress(s->encoders[worker], job->in.data(), job->in.size(), &job->out, &why)) {
    job->error = CONTAINER_ERR_NO_MEMORY;
    job->why = why;
    return false;
  }
  job->stored_as_is = job->out.size() >= job->in.size();
  if (job->stored_as_is) job->out = job->in;
  job->checksum = uint32_t(adler32(adler32(0, nullptr, 0), job->out.data(), uInt(job->out.size())));
  return true;
}

bool gcz_emit(ContainerWriter* w, WriterJob* job) {
  GczWriterState* s = state_of(w);
  const uint32_t block = s->block++;
  s->offsets[block] = (w->file_end - s->data_start) | (job->stored_as_is ? GCZ_STORED_FLAG : 0);
  s->checksums[block] = job->checksum;
  return writer_put(w, job->out.data(), job->out.size());
}

bool gcz_end(ContainerWriter* w) {
  GczWriterState* s = state_of(w);
  const size_t blocks = s->offsets.size();
  std::vector<uint8_t> head(size_t(s->data_start), 0);
  write_le32(head.data(), GCZ_MAGIC);
  write_le32(head.data() + 4, 0);  // sub-type: a GameCube disc
  write_le64(head.data() + 8, w->file_end - s->data_start);
  write_le64(head.data() + 16, w->disc_size);
  write_le32(head.data() + 24, w->chunk_size);
  write_le32(head.data() + 28, uint32_t(blocks));
  for (size_t i = 0; i < blocks; ++i) {
    write_le64(head.data() + GCZ_HEADER_SIZE + 8 * i, s->offsets[i]);
    write_le32(head.data() + GCZ_HEADER_SIZE + 8 * blocks + 4 * i, s->checksums[i]);
  }
  return writer_put_at(w, 0, head.data(), head.size());
}

void gcz_release(ContainerWriter* w) { delete state_of(w); }

}  // namespace

const WriterFormat GCZ_WRITER = {gcz_begin, gcz_encode, gcz_emit, gcz_end, gcz_release};
