#include "container/compress.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr int LOWEST_LEVEL = 1, HIGHEST_LEVEL = 9;
constexpr uint8_t LZMA2_LARGEST_PROPERTY = 40;

// The dictionary size LZMA2's one-byte property p stands for.
uint64_t lzma2_dictionary(uint8_t p) { return uint64_t(2 | (p & 1)) << (p / 2 + 11); }

enum class Library { Zstd, Bzip2, Lzma, Zlib };

}  // namespace

struct Compressor {
  Library library = Library::Zstd;
  CompressionMethod method = METHOD_NONE;
  int level = 0;
  ZSTD_CCtx* zstd = nullptr;
  lzma_stream lzma = LZMA_STREAM_INIT;
  lzma_options_lzma lzma_options = {};
  z_stream zlib = {};
  bool zlib_ready = false;
};

void compression_levels(CompressionMethod method, int* lowest, int* highest) {
  switch (method) {
    case METHOD_ZSTD:
      *lowest = ZSTD_minCLevel();
      *highest = ZSTD_maxCLevel();
      break;
    case METHOD_BZIP2:
    case METHOD_LZMA:
    case METHOD_LZMA2:
      *lowest = LOWEST_LEVEL;
      *highest = HIGHEST_LEVEL;
      break;
    default:
      *lowest = *highest = 0;
      break;
  }
}

Compressor* compressor_create(CompressionMethod method, int level, size_t largest_input) {
  int lowest, highest;
  compression_levels(method, &lowest, &highest);
  if (level < lowest || level > highest || highest == 0) return nullptr;
  Compressor* c = new (std::nothrow) Compressor;
  if (!c) return nullptr;
  c->method = method;
  c->level = level;
  switch (method) {
    case METHOD_ZSTD:
      c->library = Library::Zstd;
      c->zstd = ZSTD_createCCtx();
      // Readers know each chunk's size: the frame need not repeat it.
      if (!c->zstd || ZSTD_isError(ZSTD_CCtx_setParameter(c->zstd, ZSTD_c_compressionLevel, level)) ||
          ZSTD_isError(ZSTD_CCtx_setParameter(c->zstd, ZSTD_c_contentSizeFlag, 0))) {
        compressor_destroy(c);
        return nullptr;
      }
      break;
    case METHOD_BZIP2:
      c->library = Library::Bzip2;
      break;
    default: {
      c->library = Library::Lzma;
      if (lzma_lzma_preset(&c->lzma_options, uint32_t(level))) {
        compressor_destroy(c);
        return nullptr;
      }
      // Each chunk is encoded on its own: a dictionary larger than a chunk
      // only costs memory, in the encoder and in every reader.
      if (c->lzma_options.dict_size > largest_input) {
        c->lzma_options.dict_size = uint32_t(std::max<size_t>(largest_input, LZMA_DICT_SIZE_MIN));
      }
      if (method == METHOD_LZMA2) {
        // The header stores LZMA2's dictionary rounded up to a size its
        // property byte can say.
        uint8_t p = 0;
        while (p < LZMA2_LARGEST_PROPERTY && lzma2_dictionary(p) < c->lzma_options.dict_size) ++p;
        c->lzma_options.dict_size = uint32_t(std::min<uint64_t>(lzma2_dictionary(p), UINT32_MAX));
      }
      break;
    }
  }
  return c;
}

Compressor* compressor_create_zlib(int level) {
  if (level < LOWEST_LEVEL || level > HIGHEST_LEVEL) return nullptr;
  Compressor* c = new (std::nothrow) Compressor;
  if (!c) return nullptr;
  c->library = Library::Zlib;
  c->level = level;
  if (deflateInit(&c->zlib, level) != Z_OK) {
    delete c;
    return nullptr;
  }
  c->zlib_ready = true;
  return c;
}

void compressor_destroy(Compressor* c) {
  if (!c) return;
  if (c->zstd) ZSTD_freeCCtx(c->zstd);
  lzma_end(&c->lzma);
  if (c->zlib_ready) deflateEnd(&c->zlib);
  delete c;
}

size_t compressor_properties(const Compressor* c, uint8_t out[7]) {
  std::memset(out, 0, 7);
  if (c->library != Library::Lzma) return 0;
  const lzma_options_lzma& o = c->lzma_options;
  if (c->method == METHOD_LZMA) {
    out[0] = uint8_t((o.pb * 5 + o.lp) * 9 + o.lc);
    for (int i = 0; i < 4; ++i) out[1 + i] = uint8_t(o.dict_size >> (8 * i));
    return 5;
  }
  uint8_t p = 0;
  while (p < LZMA2_LARGEST_PROPERTY && lzma2_dictionary(p) < o.dict_size) ++p;
  out[0] = p;
  return 1;
}

static bool lzma_encode(Compressor* c, const uint8_t* in, size_t n, std::vector<uint8_t>* out, const char** why) {
  lzma_filter filters[2] = {{c->method == METHOD_LZMA ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA2, &c->lzma_options},
                            {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_ret r = lzma_raw_encoder(&c->lzma, filters);
  if (r != LZMA_OK) {
    *why = r == LZMA_MEM_ERROR ? "cannot allocate the LZMA encoder" : "the LZMA encoder refused its settings";
    return false;
  }
  // Incompressible data grows by a little; the loop below grows the buffer
  // further if it must.
  out->resize(n + n / 16 + 4096);
  c->lzma.next_in = in;
  c->lzma.avail_in = n;
  size_t done = 0;
  for (;;) {
    c->lzma.next_out = out->data() + done;
    c->lzma.avail_out = out->size() - done;
    r = lzma_code(&c->lzma, LZMA_FINISH);
    done = out->size() - c->lzma.avail_out;
    if (r == LZMA_STREAM_END) break;
    if (r != LZMA_OK && r != LZMA_BUF_ERROR) {
      *why = r == LZMA_MEM_ERROR ? "cannot allocate the LZMA encoder" : "the LZMA encoder failed";
      return false;
    }
    if (c->lzma.avail_out == 0) out->resize(out->size() * 2);
  }
  out->resize(done);
  return true;
}

bool compress(Compressor* c, const uint8_t* in, size_t n, std::vector<uint8_t>* out, const char** why) {
  switch (c->library) {
    case Library::Zstd: {
      out->resize(ZSTD_compressBound(n));
      size_t r = ZSTD_compress2(c->zstd, out->data(), out->size(), in, n);
      if (ZSTD_isError(r)) {
        *why = ZSTD_getErrorName(r);
        return false;
      }
      out->resize(r);
      return true;
    }
    case Library::Bzip2: {
      if (n > UINT_MAX / 2) {
        *why = "a chunk too large for bzip2";
        return false;
      }
      out->resize(n + n / 100 + 600);  // bzip2's own bound
      unsigned int length = unsigned(out->size());
      int r = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out->data()), &length,
                                       const_cast<char*>(reinterpret_cast<const char*>(in)), unsigned(n),
                                       c->level, 0, 0);
      if (r != BZ_OK) {
        *why = r == BZ_MEM_ERROR ? "cannot allocate the bzip2 encoder" : "the bzip2 encoder failed";
        return false;
      }
      out->resize(length);
      return true;
    }
    case Library::Lzma:
      return lzma_encode(c, in, n, out, why);
    case Library::Zlib: {
      if (n > UINT_MAX / 2) {
        *why = "a block too large for zlib";
        return false;
      }
      out->resize(deflateBound(&c->zlib, uLong(n)));
      deflateReset(&c->zlib);
      c->zlib.next_in = const_cast<Bytef*>(in);
      c->zlib.avail_in = uInt(n);
      c->zlib.next_out = out->data();
      c->zlib.avail_out = uInt(out->size());
      int r = deflate(&c->zlib, Z_FINISH);
      if (r != Z_STREAM_END) {
        *why = r == Z_MEM_ERROR ? "cannot allocate the zlib encoder" : "the zlib encoder failed";
        return false;
      }
      out->resize(out->size() - c->zlib.avail_out);
      return true;
    }
  }
  *why = "an unknown method";
  return false;
}
