// CISO: a 32 KiB header ("CISO", the block size, one byte per block: 1
// stored, 0 left out), then the stored blocks in disc order, each of the
// full block size. All-zero blocks are left out; when scrubbing, so is
// every block that no used range of the disc touches.
#include <algorithm>
#include <vector>

#include "container/writer_internal.h"

namespace {

struct CisoWriterState {
  std::vector<uint8_t> header;    // CISO_HEADER_SIZE bytes, the map filled in as blocks go out
  std::vector<ContainerRange> used;  // sorted and merged, when scrubbing
  size_t next_used = 0;           // the first range that may touch the next block
  uint32_t block = 0;             // index of the next block
};

CisoWriterState* state_of(ContainerWriter* w) { return static_cast<CisoWriterState*>(w->state); }

bool ciso_begin(ContainerWriter* w) {
  CisoWriterState* s = new CisoWriterState;
  w->state = s;
  w->chunk_size = w->options.block_size;
  w->threads = 0;  // nothing to compress
  s->header.assign(CISO_HEADER_SIZE, 0);
  if (w->options.scrub) {
    s->used = w->options.used;
    std::sort(s->used.begin(), s->used.end(),
              [](const ContainerRange& a, const ContainerRange& b) { return a.start < b.start; });
  }
  return writer_put(w, s->header.data(), s->header.size());
}

bool ciso_encode(ContainerWriter*, unsigned, WriterJob* job) {
  job->all_zero = all_bytes_are(job->in.data(), job->in.size(), 0);
  return true;
}

// Whether any used range touches [start, end); blocks come in disc order.
bool touches_used(CisoWriterState* s, uint64_t start, uint64_t end) {
  while (s->next_used < s->used.size() && s->used[s->next_used].end <= start) ++s->next_used;
  for (size_t i = s->next_used; i < s->used.size() && s->used[i].start < end; ++i) {
    if (s->used[i].end > s->used[i].start) return true;
  }
  return false;
}

bool ciso_emit(ContainerWriter* w, WriterJob* job) {
  CisoWriterState* s = state_of(w);
  const uint32_t block = s->block++;
  const uint64_t end = job->disc_offset + job->in.size();
  if (job->all_zero || (w->options.scrub && !touches_used(s, job->disc_offset, end))) return true;
  s->header[CISO_MAP_OFFSET + block] = 1;
  // The last block is stored whole, its tail zero.
  job->in.resize(w->chunk_size, 0);
  return writer_put(w, job->in.data(), job->in.size());
}

bool ciso_end(ContainerWriter* w) {
  CisoWriterState* s = state_of(w);
  std::memcpy(s->header.data(), "CISO", 4);
  write_le32(s->header.data() + 4, w->chunk_size);
  return writer_put_at(w, 0, s->header.data(), s->header.size());
}

void ciso_release(ContainerWriter* w) { delete state_of(w); }

}  // namespace

const WriterFormat CISO_WRITER = {ciso_begin, ciso_encode, ciso_emit, ciso_end, ciso_release};
