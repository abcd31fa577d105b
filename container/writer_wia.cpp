// WIA and RVZ of a GameCube disc. The file begins with the file header and
// the disc header (written last, once the tables' places and the file's
// digests are known), followed by the groups, one per chunk of the disc in
// disc order, each at a multiple of 4 bytes, then the raw data table (one
// area: the whole disc) and the group table, compressed with the file's
// method.
//
// Groups that are all zero store nothing; a group that repeats one byte
// value is stored once and shared. RVZ packs each run of the disc's filler
// (container/junk.h) as the seed that makes it and, when not compressing,
// each long run of zeros as a seed of zeros; a group that does not shrink
// under compression is stored as it is.
#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "container/compress.h"
#include "container/junk.h"
#include "container/sha1.h"
#include "container/writer_internal.h"

namespace {

// The shortest run of filler or zeros worth a packed record: a record costs
// 72 bytes, and the raw bytes around it 4 more.
constexpr size_t SHORTEST_PACKED_RUN = 128;
// Filler runs are looked for in blocks of this many bytes.
constexpr size_t JUNK_PROBE = 64;

struct GroupEntry {
  uint32_t offset4;  // file offset / 4
  uint32_t size;     // stored size, RVZ's compressed flag included
  uint32_t packed;   // RVZ: size before unpacking
};

struct WiaWriterState {
  bool rvz = false;
  CompressionMethod method = METHOD_NONE;
  std::vector<Compressor*> encoders;  // per worker; none for NONE and PURGE
  std::vector<GroupEntry> groups;
  // Groups of one repeated non-zero byte, by value and length, stored once.
  std::map<std::pair<uint8_t, size_t>, GroupEntry> repeated;

  ~WiaWriterState() {
    for (Compressor* c : encoders) compressor_destroy(c);
  }
};

WiaWriterState* state_of(ContainerWriter* w) { return static_cast<WiaWriterState*>(w->state); }

// PURGE: the non-zero stretches as segments (offset, size, bytes), split
// where more zeros than a segment header follow each other, then a SHA-1 of
// the segments.
void purge_encode(const uint8_t* in, size_t n, std::vector<uint8_t>* out) {
  out->clear();
  size_t at = 0;
  for (;;) {
    while (at < n && in[at] == 0) ++at;
    if (at == n) break;
    size_t end = at + 1, zeros = 0;
    for (size_t i = end; i < n && zeros <= PURGE_SEGMENT_HEADER; ++i) {
      if (in[i] == 0) {
        ++zeros;
      } else {
        zeros = 0;
        end = i + 1;
      }
    }
    uint8_t header[PURGE_SEGMENT_HEADER];
    write_be32(header, uint32_t(at));
    write_be32(header + 4, uint32_t(end - at));
    out->insert(out->end(), header, header + sizeof header);
    out->insert(out->end(), in + at, in + end);
    at = end;
  }
  uint8_t digest[SHA1_SIZE];
  sha1_of(out->data(), out->size(), digest);
  out->insert(out->end(), digest, digest + sizeof digest);
}

// Encodes a table or chunk with the file's method into *out. RVZ chunks use
// the result only when it is smaller.
bool encode_with_method(WiaWriterState* s, Compressor* encoder, const uint8_t* in, size_t n,
                        std::vector<uint8_t>* out, const char** why) {
  switch (s->method) {
    case METHOD_NONE:
      out->assign(in, in + n);
      return true;
    case METHOD_PURGE:
      purge_encode(in, n, out);
      return true;
    default:
      return compress(encoder, in, n, out, why);
  }
}

struct PackedRun {
  size_t start, end;  // within the chunk
  bool zero;          // a run of zeros, else of the disc's filler
};

// Finds the filler in one sector's piece [at, end) of the chunk: blocks of
// JUNK_PROBE bytes that match, widened byte by byte to whole runs.
void find_filler(const ContainerWriter* w, const uint8_t* data, size_t at, size_t end, uint64_t disc_offset,
                 uint8_t* junk, std::vector<PackedRun>* runs) {
  const size_t n = end - at;
  junk_fill_disc(w->disc_head, w->disc_head[DISC_NUMBER_OFFSET], disc_offset, junk, n);
  const uint8_t* d = data + at;
  size_t low = 0;  // runs found so far end here
  for (size_t i = 0; i + JUNK_PROBE <= n;) {
    if (std::memcmp(d + i, junk + i, JUNK_PROBE) != 0) {
      i += JUNK_PROBE;
      continue;
    }
    size_t s = i, e = i + JUNK_PROBE;
    while (s > low && d[s - 1] == junk[s - 1]) --s;
    while (e < n && d[e] == junk[e]) ++e;
    if (e - s >= SHORTEST_PACKED_RUN) runs->push_back({at + s, at + e, false});
    low = i = e;
  }
}

// Adds the runs of zeros of [from, to) long enough to pack.
void find_zeros(const uint8_t* data, size_t from, size_t to, std::vector<PackedRun>* runs) {
  size_t i = from;
  while (i < to) {
    if (data[i] != 0) {
      ++i;
      continue;
    }
    size_t e = i;
    while (e < to && data[e] == 0) ++e;
    if (e - i >= SHORTEST_PACKED_RUN) runs->push_back({i, e, true});
    i = e;
  }
}

// RVZ packing of a chunk into job->scratch; false when nothing in it is
// worth packing.
bool rvz_pack(const ContainerWriter* w, WriterJob* job, bool zeros_too) {
  const uint8_t* data = job->in.data();
  const size_t n = job->in.size();
  std::vector<PackedRun> runs;
  std::vector<uint8_t> junk(JUNK_SECTOR_SIZE);
  for (size_t at = 0; at < n;) {
    const uint64_t offset = job->disc_offset + at;
    const size_t end = size_t(std::min<uint64_t>(n, at + (JUNK_SECTOR_SIZE - offset % JUNK_SECTOR_SIZE)));
    // The filler restarts at each sector, so a run never crosses one; a
    // piece of zeros holds none.
    if (!all_bytes_are(data + at, end - at, 0)) find_filler(w, data, at, end, offset, junk.data(), &runs);
    at = end;
  }
  if (zeros_too) {
    // Zeros anywhere between the filler runs, across sectors.
    std::vector<PackedRun> filler;
    filler.swap(runs);
    size_t from = 0;
    for (const PackedRun& r : filler) {
      find_zeros(data, from, r.start, &runs);
      runs.push_back(r);
      from = r.end;
    }
    find_zeros(data, from, n, &runs);
  }
  if (runs.empty()) return false;

  std::vector<uint8_t>& out = job->scratch;
  out.clear();
  auto put_word = [&](uint32_t v) {
    uint8_t b[4];
    write_be32(b, v);
    out.insert(out.end(), b, b + 4);
  };
  size_t at = 0;
  for (const PackedRun& r : runs) {
    if (r.start > at) {
      put_word(uint32_t(r.start - at));
      out.insert(out.end(), data + at, data + r.start);
    }
    put_word(uint32_t(r.end - r.start) | RVZ_JUNK_FLAG);
    uint32_t seed[JUNK_SEED_WORDS] = {};
    if (!r.zero) junk_seed_for_disc(w->disc_head, w->disc_head[DISC_NUMBER_OFFSET], job->disc_offset + r.start, seed);
    for (uint32_t word : seed) put_word(word);
    at = r.end;
  }
  if (at < n) {
    put_word(uint32_t(n - at));
    out.insert(out.end(), data + at, data + n);
  }
  job->packed_size = uint32_t(out.size());
  return true;
}

bool wia_begin(ContainerWriter* w) {
  WiaWriterState* s = new WiaWriterState;
  w->state = s;
  s->rvz = w->options.kind == CONTAINER_RVZ;
  s->method = w->options.method;
  w->chunk_size = w->options.block_size;
  w->threads = writer_worker_count(w);
  if (s->method != METHOD_NONE && s->method != METHOD_PURGE) {
    // The first also encodes the tables, once the workers are done.
    for (unsigned i = 0; i < std::max(w->threads, 1u); ++i) {
      s->encoders.push_back(compressor_create(s->method, w->options.level, w->chunk_size));
      if (!s->encoders.back()) return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate its encoders");
    }
  }
  // The headers' place, filled in at the end.
  const uint8_t zeros[WIA_FILE_HEADER_SIZE + WIA_DISC_HEADER_SIZE] = {};
  return writer_put(w, zeros, sizeof zeros);
}

bool wia_encode(ContainerWriter* w, unsigned worker, WriterJob* job) {
  WiaWriterState* s = state_of(w);
  const uint8_t* data = job->in.data();
  const size_t n = job->in.size();
  job->all_same = all_bytes_are(data, n, data[0]);
  job->all_zero = job->all_same && data[0] == 0;
  job->packed_size = 0;
  job->stored_as_is = s->method == METHOD_NONE;
  if (job->all_zero) return true;

  if (s->rvz && rvz_pack(w, job, s->method == METHOD_NONE)) {
    data = job->scratch.data();
  }
  const size_t size = job->packed_size != 0 ? job->packed_size : n;
  Compressor* encoder = s->encoders.empty() ? nullptr : s->encoders[worker];
  const char* why = "";
  if (!encode_with_method(s, encoder, data, size, &job->out, &why)) {
    job->error = CONTAINER_ERR_NO_MEMORY;
    job->why = why;
    return false;
  }
  if (s->rvz && s->method != METHOD_NONE && job->out.size() >= size) {
    job->out.assign(data, data + size);
    job->stored_as_is = true;
  }
  return true;
}

bool wia_emit(ContainerWriter* w, WriterJob* job) {
  WiaWriterState* s = state_of(w);
  GroupEntry entry = {uint32_t(w->file_end / 4), 0, 0};
  if (job->all_zero) {
    s->groups.push_back(entry);
    return true;
  }
  const std::pair<uint8_t, size_t> key(job->in[0], job->in.size());
  if (job->all_same) {
    auto found = s->repeated.find(key);
    if (found != s->repeated.end()) {
      s->groups.push_back(found->second);
      return true;
    }
  }
  if (w->file_end / 4 > UINT32_MAX) return writer_fail(w, CONTAINER_ERR_TOO_LARGE, "the file grows past 16 GiB");
  entry.size = uint32_t(job->out.size());
  if (s->rvz) {
    if (!job->stored_as_is) entry.size |= RVZ_COMPRESSED_FLAG;
    entry.packed = job->packed_size;
  }
  if (!writer_put(w, job->out.data(), job->out.size()) || !writer_pad(w, 4)) return false;
  s->groups.push_back(entry);
  if (job->all_same) s->repeated.emplace(key, entry);
  return true;
}

// Encodes a table with the file's method and writes it at the file's end;
// *offset and *stored tell where and how long.
bool put_table(ContainerWriter* w, const std::vector<uint8_t>& table, uint64_t* offset, uint32_t* stored) {
  WiaWriterState* s = state_of(w);
  std::vector<uint8_t> out;
  const char* why = "";
  Compressor* encoder = s->encoders.empty() ? nullptr : s->encoders[0];
  if (!encode_with_method(s, encoder, table.data(), table.size(), &out, &why)) {
    return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "its tables: %s", why);
  }
  *offset = w->file_end;
  *stored = uint32_t(out.size());
  return writer_put(w, out.data(), out.size()) && writer_pad(w, 4);
}

bool wia_end(ContainerWriter* w) {
  WiaWriterState* s = state_of(w);
  // One raw data area, the whole disc past the 0x80 bytes the disc header
  // holds (its first group still holds the disc from 0).
  std::vector<uint8_t> raw;
  if (w->disc_size > DISC_HEAD_SIZE) {
    raw.assign(RAW_ENTRY_SIZE, 0);
    write_be64(raw.data(), DISC_HEAD_SIZE);
    write_be64(raw.data() + 8, w->disc_size - DISC_HEAD_SIZE);
    write_be32(raw.data() + 16, 0);
    write_be32(raw.data() + 20, uint32_t(s->groups.size()));
  }
  const uint32_t entry_size = s->rvz ? RVZ_GROUP_ENTRY_SIZE : WIA_GROUP_ENTRY_SIZE;
  std::vector<uint8_t> groups(s->groups.size() * entry_size);
  for (size_t i = 0; i < s->groups.size(); ++i) {
    uint8_t* e = groups.data() + i * entry_size;
    write_be32(e, s->groups[i].offset4);
    write_be32(e + 4, s->groups[i].size);
    if (s->rvz) write_be32(e + 8, s->groups[i].packed);
  }
  uint64_t raw_offset = 0, group_offset = 0;
  uint32_t raw_stored = 0, group_stored = 0;
  if (!put_table(w, raw, &raw_offset, &raw_stored) || !put_table(w, groups, &group_offset, &group_stored)) {
    return false;
  }

  uint8_t disc[WIA_DISC_HEADER_SIZE] = {};
  write_be32(disc + DISC_TYPE_AT, DISC_TYPE_GAMECUBE);
  write_be32(disc + METHOD_AT, s->method);
  write_be32(disc + LEVEL_AT, uint32_t(w->options.level));
  write_be32(disc + CHUNK_SIZE_AT, w->chunk_size);
  std::memcpy(disc + DISC_HEAD_AT, w->disc_head, DISC_HEAD_SIZE);
  write_be32(disc + PARTITIONS_AT, 0);
  write_be32(disc + PARTITION_SIZE_AT, PARTITION_ENTRY_SIZE);
  write_be64(disc + PARTITION_OFFSET_AT, WIA_FILE_HEADER_SIZE + WIA_DISC_HEADER_SIZE);
  sha1_of(nullptr, 0, disc + PARTITION_HASH_AT);  // of no entries
  write_be32(disc + RAW_COUNT_AT, uint32_t(raw.size() / RAW_ENTRY_SIZE));
  write_be64(disc + RAW_OFFSET_AT, raw_offset);
  write_be32(disc + RAW_SIZE_AT, raw_stored);
  write_be32(disc + GROUP_COUNT_AT, uint32_t(s->groups.size()));
  write_be64(disc + GROUP_OFFSET_AT, group_offset);
  write_be32(disc + GROUP_SIZE_AT, group_stored);
  if (!s->encoders.empty()) disc[PROPERTY_COUNT_AT] = uint8_t(compressor_properties(s->encoders[0], disc + PROPERTIES_AT));

  uint8_t head[WIA_FILE_HEADER_SIZE] = {};
  std::memcpy(head, s->rvz ? "RVZ\x01" : "WIA\x01", 4);
  write_be32(head + HEAD_VERSION_AT, s->rvz ? RVZ_WRITTEN_VERSION : WIA_WRITTEN_VERSION);
  write_be32(head + HEAD_COMPATIBLE_AT, s->rvz ? RVZ_WRITTEN_COMPATIBLE : WIA_WRITTEN_COMPATIBLE);
  write_be32(head + HEAD_DISC_HEADER_SIZE_AT, WIA_DISC_HEADER_SIZE);
  sha1_of(disc, sizeof disc, head + HEAD_DISC_HEADER_HASH_AT);
  write_be64(head + HEAD_DISC_SIZE_AT, w->disc_size);
  write_be64(head + HEAD_FILE_SIZE_AT, w->file_end);
  sha1_of(head, HEAD_HASH_AT, head + HEAD_HASH_AT);
  return writer_put_at(w, 0, head, sizeof head) && writer_put_at(w, sizeof head, disc, sizeof disc);
}

void wia_release(ContainerWriter* w) { delete state_of(w); }

}  // namespace

const WriterFormat WIA_WRITER = {wia_begin, wia_encode, wia_emit, wia_end, wia_release};
