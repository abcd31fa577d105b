#include "container/decompress.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t LZMA_MIN_DICTIONARY = 4096;
constexpr uint8_t LZMA2_LARGEST_PROPERTY = 40;
// lc, lp and pb packed as (pb * 5 + lp) * 9 + lc.
constexpr uint8_t LZMA_LARGEST_PROPERTY = 9 * 5 * 5 - 1;

}  // namespace

struct Decompressor {
  CompressionMethod method = METHOD_NONE;
  ZSTD_DCtx* zstd = nullptr;
  lzma_stream lzma = LZMA_STREAM_INIT;
  lzma_options_lzma lzma_options = {};
  z_stream zlib = {};
  bool zlib_ready = false;
  bool out_of_memory = false;  // the last failure's cause
};

// A failure because memory ran out, not because of the stream.
static bool memory_failure(Decompressor* d, const char** why, const char* text) {
  d->out_of_memory = true;
  *why = text;
  return false;
}

bool decompressor_out_of_memory(const Decompressor* d) { return d->out_of_memory; }

Decompressor* decompressor_create() { return new (std::nothrow) Decompressor; }

void decompressor_destroy(Decompressor* d) {
  if (!d) return;
  if (d->zstd) ZSTD_freeDCtx(d->zstd);
  lzma_end(&d->lzma);
  if (d->zlib_ready) inflateEnd(&d->zlib);
  delete d;
}

bool decompressor_setup(Decompressor* d, CompressionMethod method, const uint8_t* properties,
                        size_t property_count, size_t largest_output, const char** why) {
  d->out_of_memory = false;
  d->method = method;
  uint32_t dictionary = 0;
  d->lzma_options = {};
  lzma_lzma_preset(&d->lzma_options, LZMA_PRESET_DEFAULT);
  switch (method) {
    case METHOD_LZMA: {
      if (property_count < 5 || properties[0] > LZMA_LARGEST_PROPERTY) {
        *why = "its LZMA properties are invalid";
        return false;
      }
      uint8_t p = properties[0];
      d->lzma_options.lc = p % 9;
      d->lzma_options.lp = (p / 9) % 5;
      d->lzma_options.pb = p / 45;
      dictionary = uint32_t(properties[1]) | (uint32_t(properties[2]) << 8) |
                   (uint32_t(properties[3]) << 16) | (uint32_t(properties[4]) << 24);
      if (d->lzma_options.lc + d->lzma_options.lp > LZMA_LCLP_MAX) {
        *why = "its LZMA properties are beyond what liblzma decodes";
        return false;
      }
      break;
    }
    case METHOD_LZMA2: {
      if (property_count < 1 || properties[0] > LZMA2_LARGEST_PROPERTY) {
        *why = "its LZMA2 dictionary size is invalid";
        return false;
      }
      uint8_t p = properties[0];
      dictionary = p == LZMA2_LARGEST_PROPERTY ? 0xFFFFFFFFu : (2u | (p & 1u)) << (p / 2 + 11);
      break;
    }
    case METHOD_ZSTD:
      if (!d->zstd) d->zstd = ZSTD_createDCtx();
      if (!d->zstd) return memory_failure(d, why, "cannot allocate the Zstandard decoder");
      return true;
    default:
      return true;
  }
  // A dictionary larger than the whole output is never reached into.
  if (dictionary > largest_output) dictionary = uint32_t(largest_output);
  if (dictionary < LZMA_MIN_DICTIONARY) dictionary = LZMA_MIN_DICTIONARY;
  d->lzma_options.dict_size = dictionary;
  return true;
}

static bool lzma_decode(Decompressor* d, const uint8_t* in, size_t in_size, uint8_t* out,
                        size_t out_size, const char** why) {
  lzma_filter filters[2] = {
      {d->method == METHOD_LZMA ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA2, &d->lzma_options},
      {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_ret r = lzma_raw_decoder(&d->lzma, filters);
  if (r == LZMA_MEM_ERROR) return memory_failure(d, why, "cannot allocate the LZMA decoder");
  if (r != LZMA_OK) {
    *why = "its LZMA properties are beyond what liblzma decodes";
    return false;
  }
  d->lzma.next_in = in;
  d->lzma.avail_in = in_size;
  d->lzma.next_out = out;
  d->lzma.avail_out = out_size;
  r = lzma_code(&d->lzma, LZMA_FINISH);
  if (r != LZMA_OK && r != LZMA_STREAM_END && r != LZMA_BUF_ERROR) {
    *why = "its LZMA stream is damaged";
    return false;
  }
  if (d->lzma.avail_out != 0) {
    *why = "it decompresses to fewer bytes than it should hold";
    return false;
  }
  if (r != LZMA_STREAM_END) {
    // Streams without an end marker stop when the output is full; one that
    // still gives a byte is longer than the block.
    uint8_t extra;
    d->lzma.next_out = &extra;
    d->lzma.avail_out = 1;
    r = lzma_code(&d->lzma, LZMA_FINISH);
    if (d->lzma.avail_out == 0) {
      *why = "it decompresses to more bytes than it should hold";
      return false;
    }
  }
  return true;
}

bool decompress(Decompressor* d, const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                const char** why) {
  d->out_of_memory = false;
  switch (d->method) {
    case METHOD_BZIP2: {
      if (in_size > UINT_MAX || out_size > UINT_MAX) {
        *why = "its bzip2 stream is too large";
        return false;
      }
      unsigned int length = unsigned(out_size);
      int r = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out), &length,
                                         const_cast<char*>(reinterpret_cast<const char*>(in)),
                                         unsigned(in_size), 0, 0);
      if (r == BZ_OUTBUFF_FULL) {
        *why = "it decompresses to more bytes than it should hold";
        return false;
      }
      if (r == BZ_MEM_ERROR) return memory_failure(d, why, "cannot allocate the bzip2 decoder");
      if (r != BZ_OK) {
        *why = "its bzip2 stream is damaged";
        return false;
      }
      if (length != out_size) {
        *why = "it decompresses to fewer bytes than it should hold";
        return false;
      }
      return true;
    }
    case METHOD_LZMA:
    case METHOD_LZMA2:
      return lzma_decode(d, in, in_size, out, out_size, why);
    case METHOD_ZSTD: {
      size_t r = ZSTD_decompressDCtx(d->zstd, out, out_size, in, in_size);
      if (ZSTD_isError(r)) {
        *why = ZSTD_getErrorCode(r) == ZSTD_error_dstSize_tooSmall
                   ? "it decompresses to more bytes than it should hold"
                   : "its Zstandard stream is damaged";
        return false;
      }
      if (r != out_size) {
        *why = "it decompresses to fewer bytes than it should hold";
        return false;
      }
      return true;
    }
    default:
      *why = "its compression method is unknown";
      return false;
  }
}

bool inflate_block(Decompressor* d, const uint8_t* in, size_t in_size, uint8_t* out,
                   size_t out_size, bool allow_longer, const char** why) {
  d->out_of_memory = false;
  if (!d->zlib_ready) {
    if (inflateInit(&d->zlib) != Z_OK) return memory_failure(d, why, "cannot allocate the zlib decoder");
    d->zlib_ready = true;
  } else {
    inflateReset(&d->zlib);
  }
  if (in_size > UINT_MAX || out_size > UINT_MAX) {
    *why = "its zlib stream is too large";
    return false;
  }
  d->zlib.next_in = const_cast<Bytef*>(in);
  d->zlib.avail_in = uInt(in_size);
  d->zlib.next_out = out;
  d->zlib.avail_out = uInt(out_size);
  int r = inflate(&d->zlib, Z_FINISH);
  if (r == Z_STREAM_END) {
    if (d->zlib.avail_out != 0) {
      *why = "it decompresses to fewer bytes than it should hold";
      return false;
    }
    return true;
  }
  if (r == Z_BUF_ERROR && d->zlib.avail_out == 0) {
    if (allow_longer) return true;
    *why = "it decompresses to more bytes than it should hold";
    return false;
  }
  if (r == Z_MEM_ERROR) return memory_failure(d, why, "cannot allocate the zlib decoder");
  *why = "its zlib stream is damaged";
  return false;
}
