// The compression and digest libraries every build tree links through the
// codecs and digests targets: each compressor round-trips a buffer, and the
// digests of a known text match their published values.
#include <gtest/gtest.h>

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <nettle/md5.h>
#include <nettle/sha1.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// Each pair stores into *out and answers whether the library succeeded; the
// decompressor is given the original size.
struct Codec {
  const char* name;
  bool (*compress)(const Bytes& in, Bytes* out);
  bool (*decompress)(const Bytes& in, size_t size, Bytes* out);
};

const Codec kCodecs[] = {
  {"zlib",
   [](const Bytes& in, Bytes* out) {
     uLongf n = compressBound(in.size());
     out->resize(n);
     bool ok = compress2(out->data(), &n, in.data(), in.size(), 6) == Z_OK;
     out->resize(n);
     return ok;
   },
   [](const Bytes& in, size_t size, Bytes* out) {
     uLongf n = size;
     out->resize(n);
     bool ok = uncompress(out->data(), &n, in.data(), in.size()) == Z_OK;
     out->resize(n);
     return ok;
   }},
  {"zstd",
   [](const Bytes& in, Bytes* out) {
     out->resize(ZSTD_compressBound(in.size()));
     size_t n = ZSTD_compress(out->data(), out->size(), in.data(), in.size(), 5);
     out->resize(ZSTD_isError(n) ? 0 : n);
     return !ZSTD_isError(n);
   },
   [](const Bytes& in, size_t size, Bytes* out) {
     out->resize(size);
     size_t n = ZSTD_decompress(out->data(), out->size(), in.data(), in.size());
     out->resize(ZSTD_isError(n) ? 0 : n);
     return !ZSTD_isError(n);
   }},
  {"lzma",
   [](const Bytes& in, Bytes* out) {
     out->resize(lzma_stream_buffer_bound(in.size()));
     size_t n = 0;
     bool ok = lzma_easy_buffer_encode(6, LZMA_CHECK_CRC32, nullptr, in.data(), in.size(),
                                       out->data(), &n, out->size()) == LZMA_OK;
     out->resize(n);
     return ok;
   },
   [](const Bytes& in, size_t size, Bytes* out) {
     out->resize(size);
     uint64_t memory_limit = 64 << 20;
     size_t in_pos = 0, n = 0;
     bool ok = lzma_stream_buffer_decode(&memory_limit, 0, nullptr, in.data(), &in_pos, in.size(),
                                         out->data(), &n, out->size()) == LZMA_OK;
     out->resize(n);
     return ok;
   }},
  {"bzip2",
   [](const Bytes& in, Bytes* out) {
     unsigned n = in.size() + in.size() / 100 + 600;  // the documented worst case
     out->resize(n);
     bool ok = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out->data()), &n,
                                        const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                        in.size(), 9, 0, 0) == BZ_OK;
     out->resize(n);
     return ok;
   },
   [](const Bytes& in, size_t size, Bytes* out) {
     unsigned n = size;
     out->resize(n);
     bool ok = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out->data()), &n,
                                          const_cast<char*>(reinterpret_cast<const char*>(in.data())),
                                          in.size(), 0, 0) == BZ_OK;
     out->resize(n);
     return ok;
   }},
};

enum class Digest { Sha1, Md5 };

std::string hex(const uint8_t* bytes, size_t n) {
  std::string text;
  char two[3];
  for (size_t i = 0; i < n; i++) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

// The digest of text in lower-case hex, or "" when the library fails.
std::string digest_hex(Digest kind, const std::string& text) {
  uint8_t out[20];
  size_t size = kind == Digest::Sha1 ? 20 : 16;
#ifdef _WIN32
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(
                &algorithm, kind == Digest::Sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_MD5_ALGORITHM, nullptr, 0)) &&
            BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
            BCRYPT_SUCCESS(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())),
                                          static_cast<ULONG>(text.size()), 0)) &&
            BCRYPT_SUCCESS(BCryptFinishHash(hash, out, static_cast<ULONG>(size), 0));
  if (hash) BCryptDestroyHash(hash);
  if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return "";
#else
  const uint8_t* data = reinterpret_cast<const uint8_t*>(text.data());
  if (kind == Digest::Sha1) {
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, text.size(), data);
    sha1_digest(&context, size, out);
  } else {
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, text.size(), data);
    md5_digest(&context, size, out);
  }
#endif
  return hex(out, size);
}

TEST(CodecLibraries, EachCompressorRoundTripsAndDigestsMatchKnownValues) {
  // Compressible but not one repeated run: numbered lines of varying numbers.
  Bytes data;
  for (uint32_t i = 0; data.size() < (256u << 10); i++) {
    std::string line = "entry " + std::to_string(i * 2654435761u % 1000003u) + "\n";
    data.insert(data.end(), line.begin(), line.end());
  }
  for (const Codec& codec : kCodecs) {
    SCOPED_TRACE(codec.name);
    Bytes packed, unpacked;
    ASSERT_TRUE(codec.compress(data, &packed));
    EXPECT_LT(packed.size(), data.size() / 2);
    ASSERT_TRUE(codec.decompress(packed, data.size(), &unpacked));
    EXPECT_TRUE(unpacked == data);
  }

  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(digest_hex(Digest::Sha1, fox), "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12");
  EXPECT_EQ(digest_hex(Digest::Md5, fox), "9e107d9d372bb6826bd81d3542a419d6");
}

}  // namespace
