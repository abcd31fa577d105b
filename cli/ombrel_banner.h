// The mounted image's banner picture as ombrel-cli writes it: drawn by the
// reader exactly as the properties dialog draws it, then encoded as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The mounted image's picture as the reader draws it (IsoGetBannerRgb),
// encoded as PNG.
bool render_banner_png(std::string* png);

// PNG bytes of an RGB picture (stb_image_write).
bool encode_png_rgb(const std::vector<uint8_t>& rgb, int width, int height, std::string* png);

// Writes bytes to a host file, which they replace only once all are written
// and flushed; a failure leaves the file as it was. When another program
// holds the file open (Windows), the bytes are kept beside it: *kept_path
// names that file, and the result is false.
bool write_host_file(const std::string& path, const std::string& bytes, std::string* kept_path);
