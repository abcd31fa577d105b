// Reading the header of another image, plain or in a container.
#include "wizard/core/header_image.h"

#include <cstring>

#include "container/container.h"
#include "container/disc_identify.h"
#include "host/host_fs.h"

namespace {

HeaderImageResult fault(HeaderImageFault why, const std::string& detail = std::string()) {
  HeaderImageResult result;
  result.fault = why;
  result.detail = detail;
  return result;
}

}  // namespace

HeaderImageResult read_disc_start(const char* path, uint8_t* out, size_t n, size_t* got) {
  std::memset(out, 0, n);
  *got = 0;
  ContainerError error = CONTAINER_OK;
  std::string detail;
  ContainerKind kind = CONTAINER_PLAIN;
  Container* c = container_open(path, &error, &detail, &kind);
  if (kind != CONTAINER_PLAIN) {
    // A container's own bytes are no header: the disc inside it gives one.
    bool read = c && container_read(c, 0, out, n, got);
    if (c && !read) {
      error = container_error(c);
      detail = container_error_detail(c);
    }
    container_close(c);
    if (read) return HeaderImageResult();
    std::memset(out, 0, n);
    *got = 0;
    if (error == CONTAINER_ERR_WII_DISC) return fault(HeaderImageFault::WiiDisc, detail);
    if (error == CONTAINER_ERR_OPEN) return fault(HeaderImageFault::CannotOpen, detail);
    return fault(HeaderImageFault::DamagedContainer, detail);
  }
  container_close(c);
  host::File* f = host::file_open_read(path);
  if (!f) return fault(HeaderImageFault::CannotOpen, "cannot open the file");
  // Whatever the file holds is taken as it is; a short file (or one that
  // fails part way) leaves zeros after the bytes read.
  host::file_read_some(f, out, n, got);
  host::file_close(f);
  return HeaderImageResult();
}

bool read_imported_header(const char* path, uint8_t header[DISC_HEADER_SIZE], HeaderImageResult* result) {
  size_t got = 0;
  HeaderImageResult read = read_disc_start(path, header, DISC_HEADER_SIZE, &got);
  const bool ok = read.fault == HeaderImageFault::None;
  if (result) *result = read;
  return ok;
}

HeaderImageResult read_header_disc(const char* path, uint8_t head[APPLOADER_OFFSET]) {
  size_t got = 0;
  HeaderImageResult read = read_disc_start(path, head, APPLOADER_OFFSET, &got);
  if (read.fault != HeaderImageFault::None) return read;
  const DiscFileIdentity what = identify_disc_file(path);
  if (what.kind == DiscFileKind::WiiImage) return fault(HeaderImageFault::WiiDisc, "a Wii disc");
  if (what.kind != DiscFileKind::GameCubeImage) return fault(HeaderImageFault::NotAGameCubeDisc, what.reason);
  if (got != APPLOADER_OFFSET) return fault(HeaderImageFault::TooShort);
  return read;
}
