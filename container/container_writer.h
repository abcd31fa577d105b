// Writing a plain GameCube disc into a container file: RVZ, WIA, GCZ, CISO,
// or a plain image. One interface for every kind: open the output with the
// kind's options and the disc's size, hand over the disc's bytes in order (in
// pieces of any size), then finish; abandon on any failure of the caller's.
//
// The output is written whole or not at all: the data goes to a temporary
// file beside the target (host::output_begin) that replaces the target only
// once finished, so a failure, a full disk or an interruption leaves an
// existing target as it was and no partial file behind.
//
// RVZ, WIA and GCZ compress on worker threads, one per core; the output is
// written in disc order from the caller's thread, and no more than a few
// chunks per thread are held at once.
//
// Errors use the container layer's codes (container.h) and a detail text
// naming the kind and what went wrong ("RVZ: cannot write at byte 123").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/container.h"
#include "container/decompress.h"

namespace host {
struct FileId;
}

// A span of the disc, [start, end).
struct ContainerRange {
  uint64_t start;
  uint64_t end;
};

struct ContainerWriteOptions {
  ContainerKind kind = CONTAINER_RVZ;
  // RVZ: NONE, ZSTD, BZIP2, LZMA, LZMA2. WIA: NONE, PURGE, BZIP2, LZMA,
  // LZMA2. NONE for the other kinds.
  CompressionMethod method = METHOD_ZSTD;
  // Zstandard: its own range, negative levels included; bzip2, LZMA, LZMA2
  // and GCZ's zlib: 1 to 9; 0 for everything else.
  int level = 5;
  // RVZ: a power of two from 32 KiB to 2 MiB. WIA: a multiple of 2 MiB up to
  // 32 MiB. GCZ: a power of two from 4 KiB to 32 MiB. CISO: a multiple of
  // 32 KiB up to 32 MiB, with at most 32,760 blocks for the disc. 0 for a
  // plain image.
  uint32_t block_size = 128u << 10;
  // CISO only: leave out every block that no range of `used` touches, as
  // well as the all-zero blocks every CISO leaves out.
  bool scrub = false;
  std::vector<ContainerRange> used;
  // Worker threads for the compressing kinds (at most 64); 0: one per core.
  unsigned threads = 0;
};

// The defaults of a kind: RVZ Zstandard level 5 in 128 KiB chunks, WIA LZMA2
// level 5 in 2 MiB chunks, GCZ zlib level 9 in 32 KiB blocks, CISO 2 MiB
// blocks, plain nothing.
ContainerWriteOptions container_write_defaults(ContainerKind kind);

// Whether the options suit their kind and a disc of disc_size bytes. False,
// with CONTAINER_ERR_OPTION (or CONTAINER_ERR_TOO_LARGE for a disc no
// container holds) and a text saying which option and why in *detail.
bool container_write_check(const ContainerWriteOptions& options, uint64_t disc_size, ContainerError* error,
                           std::string* detail);

// --- the settings users ask for ------------------------------------------------

// The kind an output's file name asks for: ".rvz", ".wia", ".gcz" or ".ciso"
// (ASCII case ignored) their kinds, any other name a plain image.
ContainerKind container_kind_for_path(const char* path);

// The settings a command line asks for, each as typed; empty when not given.
struct ContainerWriteRequest {
  std::string format;       // plain, rvz, wia, gcz or ciso; empty: by the path
  std::string compression;  // zstd, lzma, lzma2, bzip2, purge or none
  std::string level;        // a whole number
  std::string block_size;   // bytes, or with K or M for KiB or MiB
  bool scrub = false;
};

// The options for writing to path as asked: the kind from request.format,
// else from the path's extension, that kind's defaults, then each setting
// given (a method that takes no level, none or purge, takes level 0). Only
// RVZ and WIA take a compression method, RVZ, WIA and GCZ a level, every kind
// but a plain image a block size, and a CISO alone is scrubbed. False with a
// one-line reason for an unknown name, a value that is no number, a setting
// the kind does not take, or a value outside the kind's range (as
// container_write_check says it, for a disc of any size).
bool container_write_options_for(const char* path, const ContainerWriteRequest& request,
                                 ContainerWriteOptions* options, std::string* error);

// A one-line account of the options: "RVZ, zstd level 5, 128 KiB chunks".
std::string container_write_summary(const ContainerWriteOptions& options);

struct ContainerWriter;

// Checks the options, then starts the output at path for a disc of exactly
// disc_size bytes. input names the file the disc is read from (null when it
// comes from elsewhere): a path that names that same file, directly or
// through a link, is refused with CONTAINER_ERR_SAME_FILE. Null on failure,
// with the code in *error and a text in *detail (either may be null).
ContainerWriter* container_writer_open(const char* path, uint64_t disc_size, const ContainerWriteOptions& options,
                                       const host::FileId* input, ContainerError* error, std::string* detail);

// Takes the next n bytes of the disc. False on a failure (the writer's error
// and detail tell it; the writer then only takes container_writer_abandon).
// Bytes beyond disc_size are refused.
bool container_writer_write(ContainerWriter* w, const void* data, size_t n);

// Writes what is still pending and the kind's tables and header, and puts
// the file in the target's place. The writer is released in every case.
// False on a failure, with the code and detail in *error and *detail; the
// target is then as it was, except for CONTAINER_ERR_KEPT_ASIDE, where the
// finished file stays under the temporary name the detail gives, and
// *kept_path too when given.
bool container_writer_finish(ContainerWriter* w, ContainerError* error, std::string* detail,
                             std::string* kept_path = nullptr);

// Stops the workers, removes the temporary file and releases the writer.
// Null is ignored.
void container_writer_abandon(ContainerWriter* w);

ContainerError container_writer_error(const ContainerWriter* w);
const char* container_writer_error_detail(const ContainerWriter* w);

// Writes the whole plain disc that c holds into path, as container_writer_open
// writes it; writing over c's own file is refused (CONTAINER_ERR_SAME_FILE).
// progress, when given, is told the bytes done after each piece. False on a
// failure, as container_writer_finish says, with the read's error when the
// input fails.
typedef void (*ContainerProgressFn)(uint64_t done, uint64_t total);
bool container_convert(Container* c, const char* path, const ContainerWriteOptions& options,
                       ContainerProgressFn progress, ContainerError* error, std::string* detail,
                       std::string* kept_path = nullptr);
