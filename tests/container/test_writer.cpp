#include "tests/container/test_writer.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "container/junk.h"

namespace test_writer {

namespace {

constexpr uint8_t GAME_CODE[4] = {'G', 'T', 'S', 'E'};
constexpr uint32_t LZMA_DICTIONARY = 1u << 20;
constexpr uint8_t LZMA_PROPERTY = (2 * 5 + 0) * 9 + 3;  // pb 2, lp 0, lc 3
constexpr uint8_t LZMA2_PROPERTY = 16;                   // a 1 MiB dictionary
constexpr size_t SMALLEST_JUNK_RUN = 128;

void put_be32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}
void put_be64(Bytes& b, size_t at, uint64_t v) {
  put_be32(b, at, uint32_t(v >> 32));
  put_be32(b, at + 4, uint32_t(v));
}
void put_le32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void put_le64(Bytes& b, size_t at, uint64_t v) {
  put_le32(b, at, uint32_t(v));
  put_le32(b, at + 4, uint32_t(v >> 32));
}
void append_be32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  put_be32(b, b.size() - 4, v);
}
bool all_zero(const uint8_t* p, size_t n) {
  return std::all_of(p, p + n, [](uint8_t x) { return x == 0; });
}

Bytes lzma_compress(bool lzma2, const uint8_t* data, size_t n) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = LZMA_DICTIONARY;
  lzma_filter filters[2] = {{lzma2 ? LZMA_FILTER_LZMA2 : LZMA_FILTER_LZMA1, &options},
                            {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) throw std::runtime_error("lzma encoder");
  Bytes out(n + n / 2 + 4096);
  stream.next_in = data;
  stream.avail_in = n;
  stream.next_out = out.data();
  stream.avail_out = out.size();
  if (lzma_code(&stream, LZMA_FINISH) != LZMA_STREAM_END) throw std::runtime_error("lzma");
  out.resize(stream.total_out);
  lzma_end(&stream);
  return out;
}

// PURGE: segments of the non-zero stretches, then a 20-byte hash (left zero;
// the reader does not check it).
Bytes purge_encode(const uint8_t* data, size_t n) {
  Bytes out;
  size_t i = 0;
  while (i < n) {
    while (i < n && data[i] == 0) ++i;
    if (i == n) break;
    size_t end = i;
    while (end < n && !all_zero(data + end, std::min<size_t>(32, n - end))) end += 32;
    end = std::min(end, n);
    append_be32(out, uint32_t(i));
    append_be32(out, uint32_t(end - i));
    out.insert(out.end(), data + i, data + end);
    i = end;
  }
  out.resize(out.size() + 20, 0);
  return out;
}

}  // namespace

Bytes compress(CompressionMethod method, const Bytes& data) {
  switch (method) {
    case METHOD_PURGE: return purge_encode(data.data(), data.size());
    case METHOD_BZIP2: {
      unsigned int length = unsigned(data.size() + data.size() / 50 + 1024);
      Bytes out(length);
      if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length,
                                   const_cast<char*>(reinterpret_cast<const char*>(data.data())),
                                   unsigned(data.size()), 9, 0, 0) != BZ_OK) {
        throw std::runtime_error("bzip2");
      }
      out.resize(length);
      return out;
    }
    case METHOD_LZMA: return lzma_compress(false, data.data(), data.size());
    case METHOD_LZMA2: return lzma_compress(true, data.data(), data.size());
    case METHOD_ZSTD: {
      Bytes out(ZSTD_compressBound(data.size()));
      size_t r = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3);
      if (ZSTD_isError(r)) throw std::runtime_error("zstd");
      out.resize(r);
      return out;
    }
    default: return data;
  }
}

namespace {

// RVZ packing of one group: the filler at the end of each 32 KiB sector
// piece becomes a seed, everything else stays literal.
Bytes pack(const uint8_t* data, size_t n, uint64_t disc_offset, int* junk_runs) {
  Bytes out;
  size_t literal = 0, position = 0;
  auto flush = [&](size_t end) {
    if (end <= literal) return;
    append_be32(out, uint32_t(end - literal));
    out.insert(out.end(), data + literal, data + end);
  };
  while (position < n) {
    size_t end = std::min<size_t>(n, position + JUNK_SECTOR_SIZE - (disc_offset + position) % JUNK_SECTOR_SIZE);
    Bytes expected(end - position);
    junk_fill_disc(GAME_CODE, 0, disc_offset + position, expected.data(), expected.size());
    size_t match = expected.size();
    while (match > 0 && data[position + match - 1] == expected[match - 1]) --match;
    if (expected.size() - match >= SMALLEST_JUNK_RUN) {
      flush(position + match);
      uint32_t seed[JUNK_SEED_WORDS];
      junk_seed_for_disc(GAME_CODE, 0, disc_offset + position + match, seed);
      append_be32(out, uint32_t(expected.size() - match) | 0x80000000u);
      for (uint32_t w : seed) append_be32(out, w);
      literal = end;
      ++*junk_runs;
    }
    position = end;
  }
  flush(n);
  return out;
}

void align4(Bytes& file) { file.resize((file.size() + 3) & ~size_t(3), 0); }

}  // namespace

Written write_wia(const Bytes& disc, const WiaOptions& o) {
  Written w;
  Bytes& file = w.file;
  file.assign(0x48 + 0xDC, 0);
  const uint32_t chunk = o.chunk_size;
  const uint32_t groups = uint32_t((disc.size() + chunk - 1) / chunk);
  const uint32_t entry_size = o.rvz ? 12 : 8;
  Bytes group_table(size_t(groups) * entry_size, 0);
  for (uint32_t i = 0; i < groups; ++i) {
    const size_t start = size_t(i) * chunk, end = std::min<size_t>(disc.size(), start + chunk);
    if (all_zero(disc.data() + start, end - start)) continue;  // an entry of zeros
    Bytes payload(disc.begin() + start, disc.begin() + end);
    uint32_t packed_size = 0;
    if (o.rvz && o.pack) {
      int runs = 0;
      Bytes packed = pack(payload.data(), payload.size(), start, &runs);
      if (runs > 0) {
        payload = packed;
        packed_size = uint32_t(payload.size());
        w.junk_runs += runs;
      }
    }
    const bool compressed = !(o.rvz && o.pack && i % 3 == 2);
    Bytes stored = compressed ? compress(o.method, payload) : payload;
    align4(file);
    put_be32(group_table, size_t(i) * entry_size, uint32_t(file.size() / 4));
    put_be32(group_table, size_t(i) * entry_size + 4,
             uint32_t(stored.size()) | (o.rvz && compressed ? 0x80000000u : 0));
    if (o.rvz) put_be32(group_table, size_t(i) * entry_size + 8, packed_size);
    file.insert(file.end(), stored.begin(), stored.end());
  }
  Bytes raw_table(24, 0);
  put_be64(raw_table, 0, 0x80);
  const uint64_t declared = o.declared_disc_size ? o.declared_disc_size : disc.size();
  put_be64(raw_table, 8, declared - 0x80);
  put_be32(raw_table, 16, 0);
  put_be32(raw_table, 20, groups);
  Bytes raw_stored = compress(o.method, raw_table), group_stored = compress(o.method, group_table);
  align4(file);
  const uint64_t raw_offset = file.size();
  file.insert(file.end(), raw_stored.begin(), raw_stored.end());
  const uint64_t group_offset = file.size();
  file.insert(file.end(), group_stored.begin(), group_stored.end());

  std::memcpy(file.data(), o.rvz ? "RVZ\x01" : "WIA\x01", 4);
  put_be32(file, 0x04, 0x01000000);
  put_be32(file, 0x08, o.rvz ? 0x00030000 : 0x00090000);
  put_be32(file, 0x0C, 0xDC);
  put_be64(file, 0x24, declared);
  put_be64(file, 0x2C, file.size());
  const size_t d = 0x48;
  put_be32(file, d + 0x00, 1);
  put_be32(file, d + 0x04, o.method);
  put_be32(file, d + 0x0C, chunk);
  std::memcpy(file.data() + d + 0x10, disc.data(), 0x80);
  put_be32(file, d + 0x94, 0x30);
  put_be32(file, d + 0xB4, 1);
  put_be64(file, d + 0xB8, raw_offset);
  put_be32(file, d + 0xC0, uint32_t(raw_stored.size()));
  put_be32(file, d + 0xC4, groups);
  put_be64(file, d + 0xC8, group_offset);
  put_be32(file, d + 0xD0, uint32_t(group_stored.size()));
  if (o.method == METHOD_LZMA) {
    file[d + 0xD4] = 5;
    file[d + 0xD5] = LZMA_PROPERTY;
    put_le32(file, d + 0xD6, LZMA_DICTIONARY);
  } else if (o.method == METHOD_LZMA2) {
    file[d + 0xD4] = 1;
    file[d + 0xD5] = LZMA2_PROPERTY;
  }
  return w;
}

Bytes write_ciso(const Bytes& disc, uint32_t block_size) {
  Bytes file(0x8000, 0);
  std::memcpy(file.data(), "CISO", 4);
  put_le32(file, 4, block_size);
  for (size_t i = 0, start = 0; start < disc.size(); ++i, start += block_size) {
    Bytes block(block_size, 0);
    std::copy(disc.begin() + start, disc.begin() + std::min<size_t>(disc.size(), start + block_size), block.begin());
    if (all_zero(block.data(), block.size())) continue;
    file[8 + i] = 1;
    file.insert(file.end(), block.begin(), block.end());
  }
  return file;
}

Bytes write_gcz(const Bytes& disc, uint32_t block_size) {
  const uint32_t blocks = uint32_t((disc.size() + block_size - 1) / block_size);
  Bytes file(32 + size_t(blocks) * 12, 0), data;
  put_le32(file, 0, 0xB10BC001u);
  for (uint32_t i = 0; i < blocks; ++i) {
    Bytes block(block_size, 0);
    const size_t start = size_t(i) * block_size;
    std::copy(disc.begin() + start, disc.begin() + std::min<size_t>(disc.size(), start + block_size), block.begin());
    Bytes stored = block;
    uint64_t pointer = data.size();
    if (i % 2 == 1) {
      pointer |= 0x8000000000000000ull;
    } else {
      uLongf length = compressBound(block_size);
      stored.resize(length);
      compress2(stored.data(), &length, block.data(), block.size(), 6);
      stored.resize(length);
    }
    put_le64(file, 32 + 8 * size_t(i), pointer);
    put_le32(file, 32 + 8 * size_t(blocks) + 4 * size_t(i), uint32_t(adler32(1, stored.data(), uInt(stored.size()))));
    data.insert(data.end(), stored.begin(), stored.end());
  }
  put_le64(file, 8, data.size());
  put_le64(file, 16, disc.size());
  put_le32(file, 24, block_size);
  put_le32(file, 28, blocks);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

Bytes write_wdf(const Bytes& disc, uint32_t version, uint32_t align) {
  Bytes file(56, 0), table;
  table.insert(table.end(), {'W', 'I', 'I', 1, 'D', 'I', 'S', 'C'});
  uint32_t chunks = 0;
  for (size_t start = 0; start < disc.size();) {
    size_t end = start;
    while (end < disc.size() && !all_zero(disc.data() + end, std::min<size_t>(0x8000, disc.size() - end))) {
      end = std::min(disc.size(), end + 0x8000);
    }
    if (end == start) {
      start += 0x8000;
      continue;
    }
    file.resize((file.size() + align - 1) / align * align, 0);
    Bytes entry(version == 1 ? 28 : 24, 0);
    put_be64(entry, entry.size() - 24, start);
    put_be64(entry, entry.size() - 16, file.size());
    put_be64(entry, entry.size() - 8, end - start);
    table.insert(table.end(), entry.begin(), entry.end());
    file.insert(file.end(), disc.begin() + start, disc.begin() + end);
    ++chunks;
    start = end;
  }
  const uint64_t table_offset = file.size();
  file.insert(file.end(), table.begin(), table.end());
  std::memcpy(file.data(), table.data(), 8);
  put_be32(file, 8, version);
  put_be32(file, 12, 56);
  put_be32(file, 20, 1);
  put_be64(file, 24, disc.size());
  put_be64(file, 32, table_offset - 56);
  put_be32(file, 44, chunks);
  put_be64(file, 48, table_offset);
  return file;
}

Bytes sample_disc() {
  Bytes disc(10 * 0x8000 + 0x1234, 0);
  std::memcpy(disc.data(), "GTSE01", 6);
  put_be32(disc, 0x1C, 0xC2339F3Du);
  std::memcpy(disc.data() + 0x20, "Container test disc", 19);
  uint32_t x = 12345;
  for (size_t i = 0x440; i < 0x10000; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    disc[i] = uint8_t(x);
  }
  junk_fill_disc(GAME_CODE, 0, 0x1A345, disc.data() + 0x1A345, 0x40000 - 0x1A345);
  const char text[] = "a stretch of text that compresses well; ";
  for (size_t i = 0x40000; i < disc.size(); ++i) disc[i] = uint8_t(text[i % (sizeof text - 1)]);
  return disc;
}

}  // namespace test_writer
