// The writers' dispatch: the options each kind takes, which kind writes an
// output, the chunking of the caller's bytes into the worker pool, the
// finished file put in place, and plain images.
#include "container/container_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

#include "container/compress.h"
#include "container/container_internal.h"
#include "container/writer_internal.h"
#include "disc/disc_format.h"

namespace {

constexpr uint32_t PLAIN_PIECE = 1u << 20;
constexpr uint32_t GCZ_SMALLEST_BLOCK = 4u << 10;
constexpr uint32_t RVZ_LARGEST_CHUNK = 2u << 20;

// --- plain images: the chunks go out as they are -------------------------------

bool plain_begin(ContainerWriter* w) {
  w->chunk_size = PLAIN_PIECE;
  w->threads = 0;
  return true;
}

bool plain_encode(ContainerWriter*, unsigned, WriterJob*) { return true; }

bool plain_emit(ContainerWriter* w, WriterJob* job) { return writer_put(w, job->in.data(), job->in.size()); }

bool plain_end(ContainerWriter*) { return true; }

void plain_release(ContainerWriter*) {}

const WriterFormat PLAIN_WRITER = {plain_begin, plain_encode, plain_emit, plain_end, plain_release};

// --- options -------------------------------------------------------------------

bool is_power_of_two(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool option_fail(ContainerError* error, std::string* detail, ContainerError code, ContainerKind kind,
                 const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 5, 6)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;

bool option_fail(ContainerError* error, std::string* detail, ContainerError code, ContainerKind kind,
                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (detail) *detail = kind_detail(kind, format, args);
  va_end(args);
  if (error) *error = code;
  return false;
}

const char* method_name(CompressionMethod method) {
  switch (method) {
    case METHOD_NONE: return "none";
    case METHOD_PURGE: return "purge";
    case METHOD_BZIP2: return "bzip2";
    case METHOD_LZMA: return "LZMA";
    case METHOD_LZMA2: return "LZMA2";
    case METHOD_ZSTD: return "Zstandard";
  }
  return "an unknown method";
}

// --- the writer's end ---------------------------------------------------------------

void release_writer(ContainerWriter* w) {
  stop_pool(w);
  if (w->format) w->format->release(w);
  host::output_abandon(w->output);
  delete w;
}

void hand_over(const ContainerWriter* w, ContainerError* error, std::string* detail) {
  if (error) *error = w->error;
  if (detail) *detail = w->detail;
}

}  // namespace

// --- options -------------------------------------------------------------------------

ContainerWriteOptions container_write_defaults(ContainerKind kind) {
  ContainerWriteOptions o;
  o.kind = kind;
  switch (kind) {
    case CONTAINER_RVZ:
      o.method = METHOD_ZSTD, o.level = 5, o.block_size = 128u << 10;
      break;
    case CONTAINER_WIA:
      o.method = METHOD_LZMA2, o.level = 5, o.block_size = WIA_CHUNK_MULTIPLE;
      break;
    case CONTAINER_GCZ:
      o.method = METHOD_NONE, o.level = 9, o.block_size = 32u << 10;
      break;
    case CONTAINER_CISO:
      o.method = METHOD_NONE, o.level = 0, o.block_size = 2u << 20;
      break;
    default:
      o.method = METHOD_NONE, o.level = 0, o.block_size = 0;
      break;
  }
  return o;
}

bool container_write_check(const ContainerWriteOptions& o, uint64_t disc_size, ContainerError* error,
                           std::string* detail) {
  const ContainerKind kind = o.kind;
  const uint32_t size = o.block_size;
  auto refuse = [&](const char* text) { return option_fail(error, detail, CONTAINER_ERR_OPTION, kind, "%s", text); };
  if (kind == CONTAINER_WDF) return refuse("WDF images are read, not written");
  if (kind != CONTAINER_PLAIN && disc_size > DISC_IMAGE_SIZE) {
    return option_fail(error, detail, CONTAINER_ERR_TOO_LARGE, kind, "a disc of %llu bytes is larger than a GameCube disc",
                       static_cast<unsigned long long>(disc_size));
  }
  if (o.scrub && kind != CONTAINER_CISO) return refuse("only a CISO is scrubbed");
  const bool compressing = kind == CONTAINER_RVZ || kind == CONTAINER_WIA;
  if (!compressing && o.method != METHOD_NONE) {
    return option_fail(error, detail, CONTAINER_ERR_OPTION, kind, "takes no compression method (%s given)",
                       method_name(o.method));
  }
  if (kind == CONTAINER_RVZ && (o.method == METHOD_PURGE || o.method > METHOD_ZSTD)) {
    return refuse("compresses with zstd, bzip2, LZMA, LZMA2 or none");
  }
  if (kind == CONTAINER_WIA && o.method >= METHOD_ZSTD) {
    return refuse("compresses with purge, bzip2, LZMA, LZMA2 or none");
  }
  int lowest = 0, highest = 0;
  if (compressing) compression_levels(o.method, &lowest, &highest);
  if (kind == CONTAINER_GCZ) lowest = 1, highest = 9;
  if (o.level < lowest || o.level > highest) {
    if (lowest == highest) {
      return option_fail(error, detail, CONTAINER_ERR_OPTION, kind, "takes no compression level with %s",
                         compressing ? method_name(o.method) : "this format");
    }
    return option_fail(error, detail, CONTAINER_ERR_OPTION, kind, "level %d is outside %d to %d", o.level, lowest,
                       highest);
  }
  switch (kind) {
    case CONTAINER_RVZ:
      if (!is_power_of_two(size) || size < RVZ_SMALLEST_CHUNK || size > RVZ_LARGEST_CHUNK) {
        return option_fail(error, detail, CONTAINER_ERR_OPTION, kind,
                           "chunks of %u bytes: RVZ takes a power of two from 32 KiB to 2 MiB", size);
      }
      break;
    case CONTAINER_WIA:
      if (size == 0 || size % WIA_CHUNK_MULTIPLE != 0 || size > CONTAINER_MAX_BLOCK_SIZE) {
        return option_fail(error, detail, CONTAINER_ERR_OPTION, kind,
                           "chunks of %u bytes: WIA takes a multiple of 2 MiB up to 32 MiB", size);
      }
      break;
    case CONTAINER_GCZ:
      if (!is_power_of_two(size) || size < GCZ_SMALLEST_BLOCK || size > CONTAINER_MAX_BLOCK_SIZE) {
        return option_fail(error, detail, CONTAINER_ERR_OPTION, kind,
                           "blocks of %u bytes: GCZ takes a power of two from 4 KiB to 32 MiB", size);
      }
      break;
    case CONTAINER_CISO:
      if (size == 0 || size % RAW_DATA_ALIGNMENT != 0 || size > CONTAINER_MAX_BLOCK_SIZE) {
        return option_fail(error, detail, CONTAINER_ERR_OPTION, kind,
                           "blocks of %u bytes: CISO takes a multiple of 32 KiB up to 32 MiB", size);
      }
      if (round_up_division(disc_size, size) > CISO_MAP_ENTRIES) {
        return option_fail(error, detail, CONTAINER_ERR_OPTION, kind,
                           "blocks of %u bytes: a disc of %llu bytes needs more than the %u blocks a CISO lists",
                           size, static_cast<unsigned long long>(disc_size), CISO_MAP_ENTRIES);
      }
      break;
    default:
      if (size != 0) return refuse("a plain image has no blocks");
      break;
  }
  if (error) *error = CONTAINER_OK;
  if (detail) detail->clear();
  return true;
}

// --- the writer ----------------------------------------------------------------------

ContainerWriter* container_writer_open(const char* path, uint64_t disc_size, const ContainerWriteOptions& options,
                                       const host::FileId* input, ContainerError* error, std::string* detail) {
  if (!container_write_check(options, disc_size, error, detail)) return nullptr;
  ContainerWriter* w = new (std::nothrow) ContainerWriter;
  if (!w) {
    option_fail(error, detail, CONTAINER_ERR_NO_MEMORY, options.kind, "cannot allocate its state");
    return nullptr;
  }
  bool ok = true;
  try {
    w->options = options;
  } catch (...) {
    ok = writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate its state");
  }
  w->disc_size = disc_size;
  switch (options.kind) {
    case CONTAINER_RVZ:
    case CONTAINER_WIA: w->format = &WIA_WRITER; break;
    case CONTAINER_GCZ: w->format = &GCZ_WRITER; break;
    case CONTAINER_CISO: w->format = &CISO_WRITER; break;
    default: w->format = &PLAIN_WRITER; break;
  }
  host::FileId target;
  if (ok && input && host::path_identity(path, &target) && target == *input) {
    ok = writer_fail(w, CONTAINER_ERR_SAME_FILE, "the output would replace the image it is made from");
  }
  if (ok) {
    w->output = host::output_begin(path, true);
    if (!w->output) {
      ok = writer_fail(w, CONTAINER_ERR_CREATE,
                       "cannot create the file (a missing or read-only folder, or not a regular file)");
    }
  }
  if (ok) {
    w->file = host::output_file(w->output);
    try {
      ok = w->format->begin(w) && start_pool(w);
    } catch (...) {
      ok = writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate its state");
    }
  }
  if (!ok) {
    hand_over(w, error, detail);
    release_writer(w);
    return nullptr;
  }
  hand_over(w, error, detail);
  return w;
}

bool container_writer_write(ContainerWriter* w, const void* data, size_t n) {
  if (w->error != CONTAINER_OK) return false;
  if (n > w->disc_size - w->received) {
    return writer_fail(w, CONTAINER_ERR_WRITE, "given more than the disc's %llu bytes",
                       static_cast<unsigned long long>(w->disc_size));
  }
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (!w->filling) {
      WriterJob* job = acquire_job(w);
      if (!job) return false;
      job->disc_offset = w->received;
      job->filled = 0;
      try {
        job->in.resize(size_t(std::min<uint64_t>(w->chunk_size, w->disc_size - w->received)));
      } catch (...) {
        return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate a chunk");
      }
      w->filling = job;
    }
    WriterJob* job = w->filling;
    const size_t take = std::min(n, job->in.size() - job->filled);
    std::memcpy(job->in.data() + job->filled, p, take);
    if (w->received < DISC_HEAD_SIZE) {
      const size_t head = std::min<size_t>(take, DISC_HEAD_SIZE - size_t(w->received));
      std::memcpy(w->disc_head + w->received, p, head);
      const uint64_t magic_end = WII_DISC_MAGIC_OFFSET + 4;
      if (w->received < magic_end && w->received + head >= magic_end &&
          read_be32(w->disc_head + WII_DISC_MAGIC_OFFSET) == WII_DISC_MAGIC) {
        w->error = CONTAINER_ERR_WII_DISC;
        w->detail = "a Wii disc; this tool writes GameCube discs";
        return false;
      }
    }
    job->filled += take;
    w->received += take;
    p += take;
    n -= take;
    if (job->filled == job->in.size()) {
      w->filling = nullptr;
      if (!submit_job(w, job)) return false;
    }
  }
  return true;
}

bool container_writer_finish(ContainerWriter* w, ContainerError* error, std::string* detail,
                             std::string* kept_path) {
  bool ok = w->error == CONTAINER_OK;
  if (ok && w->received != w->disc_size) {
    ok = writer_fail(w, CONTAINER_ERR_WRITE, "the disc ended after %llu of its %llu bytes",
                     static_cast<unsigned long long>(w->received), static_cast<unsigned long long>(w->disc_size));
  }
  if (ok) ok = drain_pool(w);
  stop_pool(w);
  if (ok) {
    try {
      ok = w->format->end(w);
    } catch (...) {
      ok = writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate memory for its tables");
    }
  }
  if (ok) {
    std::string kept;
    const host::Commit commit = host::output_commit(w->output, &kept);
    w->output = nullptr;
    if (commit == host::Commit::Failed) {
      ok = writer_fail(w, CONTAINER_ERR_WRITE, "cannot write the finished file or put it in place");
    } else if (commit == host::Commit::KeptAside) {
      ok = writer_fail(w, CONTAINER_ERR_KEPT_ASIDE, "the finished file was kept as %s", kept.c_str());
      if (kept_path) *kept_path = kept;
    }
  }
  hand_over(w, error, detail);
  release_writer(w);
  return ok;
}

void container_writer_abandon(ContainerWriter* w) {
  if (w) release_writer(w);
}

ContainerError container_writer_error(const ContainerWriter* w) { return w->error; }
const char* container_writer_error_detail(const ContainerWriter* w) { return w->detail.c_str(); }
