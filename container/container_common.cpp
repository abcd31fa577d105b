// What every container kind calls: its error reporting, the checked file
// read, and the header checks they share. It calls nothing else of the
// container layer, so the kinds sit above it and the dispatcher above them.
#include <cstdarg>
#include <cstdio>

#include "container/container_internal.h"
#include "disc/disc_format.h"

const char* container_kind_name(ContainerKind kind) {
  switch (kind) {
    case CONTAINER_CISO: return "CISO";
    case CONTAINER_GCZ: return "GCZ";
    case CONTAINER_WIA: return "WIA";
    case CONTAINER_RVZ: return "RVZ";
    case CONTAINER_WDF: return "WDF";
    default: return "plain";
  }
}

const char* container_error_text(ContainerError error) {
  switch (error) {
    case CONTAINER_OK: return "no error";
    case CONTAINER_ERR_OPEN: return "cannot open the file";
    case CONTAINER_ERR_READ: return "cannot read the file";
    case CONTAINER_ERR_DAMAGED: return "the disc image is damaged";
    case CONTAINER_ERR_UNSUPPORTED: return "the disc image uses a format this tool does not read";
    case CONTAINER_ERR_TOO_LARGE: return "the disc image is too large";
    case CONTAINER_ERR_WII_DISC: return "a Wii disc";
    case CONTAINER_ERR_NO_MEMORY: return "cannot allocate memory";
    case CONTAINER_ERR_CREATE: return "cannot create the output file";
    case CONTAINER_ERR_WRITE: return "cannot write the output file";
    case CONTAINER_ERR_SAME_FILE: return "the output is the input file";
    case CONTAINER_ERR_OPTION: return "an option does not suit the output format";
    case CONTAINER_ERR_KEPT_ASIDE: return "the output is held open by another program";
    case CONTAINER_ERR_SEEK: return "cannot position in the file";
  }
  return "unknown error";
}

std::string kind_detail(ContainerKind kind, const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int n = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text = std::string(container_kind_name(kind)) + ": ";
  if (n > 0) {
    const size_t at = text.size();
    text.resize(at + size_t(n) + 1);
    std::vsnprintf(&text[at], size_t(n) + 1, format, args);
    text.resize(at + size_t(n));
  }
  return text;
}

bool fail(Container* c, ContainerError error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  c->detail = kind_detail(c->kind, format, args);
  va_end(args);
  c->error = error;
  return false;
}

bool decoder_fail(Container* c, const Decompressor* d, const char* what, const char* why) {
  return fail(c, decompressor_out_of_memory(d) ? CONTAINER_ERR_NO_MEMORY : CONTAINER_ERR_DAMAGED, "%s: %s", what,
              why);
}

bool refuse_wii_disc(Container* c) {
  c->error = CONTAINER_ERR_WII_DISC;
  c->detail = "a Wii disc; this tool reads GameCube discs";
  return false;
}

bool set_disc_size(Container* c, uint64_t size) {
  if (size > DISC_IMAGE_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "a disc of %llu bytes is larger than a GameCube disc",
                static_cast<unsigned long long>(size));
  }
  c->disc_size = size;
  return true;
}

bool check_block_size(Container* c, uint32_t size) {
  if (size == 0) return fail(c, CONTAINER_ERR_DAMAGED, "the block size is 0");
  if (size > CONTAINER_MAX_BLOCK_SIZE) {
    return fail(c, CONTAINER_ERR_TOO_LARGE, "blocks of %u bytes are larger than 32 MiB", size);
  }
  return true;
}

bool read_exact(Container* c, uint64_t position, void* buffer, size_t n, const char* what) {
  if (position > c->file_size || n > c->file_size - position) {
    return fail(c, CONTAINER_ERR_DAMAGED, "%s lies past the end of the file", what);
  }
  if (n == 0) return true;
  if (!host::file_seek(c->file, position)) return fail(c, CONTAINER_ERR_SEEK, "cannot position at %s", what);
  if (!host::file_read(c->file, buffer, n)) return fail(c, CONTAINER_ERR_READ, "cannot read %s", what);
  return true;
}
