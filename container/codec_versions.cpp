// Each compression library asked for its own version.
#include "container/codec_versions.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <string>

std::vector<std::string> codec_versions() {
  // libbz2 reports "1.0.8, 13-Jul-2019": the version is its first word.
  std::string bz2 = BZ2_bzlibVersion();
  bz2 = bz2.substr(0, bz2.find(','));
  return {std::string("zlib ") + zlibVersion(), std::string("zstd ") + ZSTD_versionString(),
          std::string("liblzma ") + lzma_version_string(), "libbz2 " + bz2};
}
