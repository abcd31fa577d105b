// The versions of the compression libraries the container layer was linked
// with, as the libraries report them at run time.
#pragma once

#include <string>
#include <vector>

// "zlib 1.2.13", "zstd 1.5.4", "liblzma 5.4.1", "libbz2 1.0.8".
std::vector<std::string> codec_versions();
