// Banner picture rendering and PNG output for ombrel-cli.
#include "cli/ombrel_banner.h"

#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/reader.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

bool render_banner_png(std::string* png) {
  // Decoded here, not at mount: only the banner command needs the picture.
  std::vector<uint8_t> rgb(size_t(BANNER_PIXEL_COUNT) * 3);
  IsoGetBannerRgb(rgb.data());
  return encode_png_rgb(rgb, BANNER_WIDTH, BANNER_HEIGHT, png);
}

namespace {

void append_to_string(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool encode_png_rgb(const std::vector<uint8_t>& rgb, int width, int height, std::string* png) {
  png->clear();
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3) return false;
  return stbi_write_png_to_func(append_to_string, png, width, height, 3, rgb.data(),
                                width * 3) != 0;
}

bool write_host_file(const std::string& path, const std::string& bytes, std::string* kept_path) {
  host::Output* out = host::output_begin(path.c_str(), true);
  if (!out) return false;
  if (!host::file_write(host::output_file(out), bytes.data(), bytes.size())) {
    host::output_abandon(out);
    return false;
  }
  return host::output_commit(out, kept_path) == host::Commit::Done;
}
