// Banner picture rendering and PNG output for ombrel-cli.
#include "cli/ombrel_banner.h"

#include <cstring>

#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/reader.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#ifdef _WIN32
#include <windows.h>
#endif

bool render_banner_rgb(std::vector<uint8_t>* rgb, std::string* error) {
  // Decoded here, not at mount: only the banner command needs the picture.
  IsoPrepareBannerPicture();
  rgb->assign(size_t(BANNER_PIXEL_COUNT) * 3, 0);
#ifdef _WIN32
  // A top-down 32-bit DIB selected into a memory device context: SetPixel
  // paints it like a window, and its bits are readable afterwards.
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    *error = "cannot create a memory device context";
    return false;
  }
  BITMAPINFO bmi;
  std::memset(&bmi, 0, sizeof bmi);
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = BANNER_WIDTH;
  bmi.bmiHeader.biHeight = -BANNER_HEIGHT;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(dc);
    *error = "cannot create a bitmap for the banner";
    return false;
  }
  HGDIOBJ previous = SelectObject(dc, bitmap);
  IsoDrawBanner(dc, 0, 0);
  GdiFlush();
  // Each pixel is blue, green, red, unused.
  const uint8_t* bgrx = static_cast<const uint8_t*>(bits);
  for (int i = 0; i < BANNER_PIXEL_COUNT; ++i) {
    (*rgb)[size_t(i) * 3 + 0] = bgrx[i * 4 + 2];
    (*rgb)[size_t(i) * 3 + 1] = bgrx[i * 4 + 1];
    (*rgb)[size_t(i) * 3 + 2] = bgrx[i * 4 + 0];
  }
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
#else
  (void)error;
  BannerCanvas canvas;
  std::memset(&canvas, 0, sizeof canvas);
  IsoDrawBanner(&canvas, 0, 0);
  std::memcpy(rgb->data(), canvas.rgb, rgb->size());
#endif
  return true;
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
