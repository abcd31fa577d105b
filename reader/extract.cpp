// Extraction: every copy out of the mounted image goes through IsoCopyRange,
// which reports progress per 4,096-byte block.
#include "reader/reader_state.h"

#include <cstring>

namespace {

constexpr uint32_t COPY_BLOCK = 4096;
// Data moves in large transfers; progress is still reported once per block.
constexpr uint32_t COPY_TRANSFER = 1u << 20;
static_assert(COPY_TRANSFER % COPY_BLOCK == 0, "transfers hold whole blocks");

uint8_t g_copy_buffer[COPY_TRANSFER];

bool require_mounted() {
  if (g_reader.mounted) return true;
  g_reader.error = IsoErrNotMounted;
  return false;
}

// folder + separator + name into out (ISO_HOST_PATH_CAPACITY bytes).
bool join_host_path(char* out, const char* folder, const char* name) {
  size_t a = std::strlen(folder), b = std::strlen(name);
  if (a + 1 + b >= size_t(ISO_HOST_PATH_CAPACITY)) {
    g_reader.error = IsoErrPathTooLong;
    return false;
  }
  std::memcpy(out, folder, a);
  out[a] = host::PATH_SEPARATOR;
  std::memcpy(out + a + 1, name, b + 1);
  return true;
}

bool fits_host_path(const char* path) {
  if (std::strlen(path) < size_t(ISO_HOST_PATH_CAPACITY)) return true;
  g_reader.error = IsoErrPathTooLong;
  return false;
}

// A name taken from the image is only joined to a host path when it stays
// inside the folder.
bool check_name(const char* name) {
  if (host::is_plain_name(name)) return true;
  g_reader.error = IsoErrUnsafeName;
  return false;
}

}  // namespace

bool IsoIsSafeHostName(const char* name) { return name && host::is_plain_name(name); }

bool IsoCopyRange(const char* destination, uint32_t firstByte, uint32_t length) {
  if (!require_mounted() || !fits_host_path(destination)) return false;
  host::File* out = host::file_create(destination);
  if (!out) {
    g_reader.error = IsoErrCreateFile;
    return false;
  }
  if (!host::file_seek(g_reader.image, firstByte)) {
    host::file_close(out);
    g_reader.error = IsoErrSeek;
    return false;
  }
  uint32_t copied = 0;
  // Whole blocks while more than one block remains; each reports
  // copied / (length / 100), not clamped, so 4,097 bytes report 102.
  while (length - copied > COPY_BLOCK) {
    uint32_t blocks = (length - copied - 1) / COPY_BLOCK;  // whole blocks before the final part
    uint32_t want = blocks * COPY_BLOCK < COPY_TRANSFER ? blocks * COPY_BLOCK : COPY_TRANSFER;
    size_t got = 0;
    bool read_ok = host::file_read_some(g_reader.image, g_copy_buffer, want, &got);
    uint32_t whole = uint32_t(got / COPY_BLOCK) * COPY_BLOCK;
    if (whole > 0 && !host::file_write(out, g_copy_buffer, whole)) {
      host::file_close(out);
      g_reader.error = IsoErrWrite;
      return false;
    }
    for (uint32_t done = 0; done < whole; done += COPY_BLOCK) {
      copied += COPY_BLOCK;
      if (g_reader.progress) g_reader.progress(int(copied / (length / 100)));
    }
    if (!read_ok || whole < want) {
      host::file_close(out);
      g_reader.error = IsoErrRead;
      return false;
    }
  }
  if (copied < length) {
    uint32_t rest = length - copied;  // 1 to 4,096 bytes
    if (!host::file_read(g_reader.image, g_copy_buffer, rest)) {
      host::file_close(out);
      g_reader.error = IsoErrRead;
      return false;
    }
    if (!host::file_write(out, g_copy_buffer, rest)) {
      host::file_close(out);
      g_reader.error = IsoErrWrite;
      return false;
    }
    if (g_reader.progress) g_reader.progress(100);
  }
  if (g_reader.file_finished) g_reader.file_finished();
  host::file_close(out);
  g_reader.error = IsoErrNone;
  return true;
}

bool IsoExtractFile(const char* imagePath, const char* destinationFile) {
  if (!require_mounted()) return false;
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(imagePath, &offset, &size, 1)) {
    g_reader.error = IsoErrNoFile;
    return false;
  }
  if (!fits_host_path(destinationFile)) return false;
  if (g_reader.file_started) g_reader.file_started(destinationFile);
  if (!IsoCopyRange(destinationFile, offset, size)) return false;
  if (g_reader.operation_finished) g_reader.operation_finished();
  return true;
}

bool IsoExtractChildren(const FstNode* first, const char* destinationFolder) {
  if (!require_mounted()) return false;
  char path[ISO_HOST_PATH_CAPACITY];
  for (const FstNode* node = first; node; node = node->next) {
    if (!check_name(node->name) || !join_host_path(path, destinationFolder, node->name)) return false;
    if (node->isDirectory) {
      // An existing folder is a failure here: only the top folder is reused.
      if (!host::make_directory(path)) {
        g_reader.error = IsoErrMakeDirectory;
        return false;
      }
    } else {
      if (g_reader.file_started) g_reader.file_started(path);
      if (!IsoCopyRange(path, node->offset, node->size)) return false;
    }
    // Depth is bounded: each level lengthens the path, which is limited.
    if (node->firstChild && !IsoExtractChildren(node->firstChild, path)) return false;
  }
  return true;
}

bool IsoExtractDirectory(const char* imagePath, const char* destinationFolder) {
  if (!require_mounted() || !fits_host_path(destinationFolder)) return false;
  char path[ISO_HOST_PATH_CAPACITY];
  const FstNode* folder;
  if (std::strlen(imagePath) == 1) {
    // "/" is the root: its entries go straight into the destination.
    folder = &g_reader.root;
    std::strcpy(path, destinationFolder);
  } else {
    folder = IsoFindDirectory(imagePath, 0);
    if (!folder) {
      g_reader.error = IsoErrNoDirectory;
      return false;
    }
    if (!check_name(folder->name) || !join_host_path(path, destinationFolder, folder->name)) return false;
    // The top folder may exist already; it is then simply used.
    host::make_directory(path);
  }
  if (!IsoExtractChildren(folder->firstChild, path)) return false;
  if (g_reader.operation_finished) g_reader.operation_finished();
  return true;
}

// System areas: ranges cut from the header's offsets, in 32-bit arithmetic.
bool IsoExtractBootData(const char* destination) {
  return require_mounted() && IsoCopyRange(destination, 0, DISC_HEADER_SIZE);
}

bool IsoExtractFst(const char* destination) {
  return require_mounted() && IsoCopyRange(destination, g_reader.fst_offset, g_reader.fst_size);
}

bool IsoExtractApploader(const char* destination) {
  return require_mounted() &&
         IsoCopyRange(destination, APPLOADER_OFFSET, g_reader.main_program_offset - APPLOADER_OFFSET);
}

bool IsoExtractMainProgram(const char* destination) {
  return require_mounted() &&
         IsoCopyRange(destination, g_reader.main_program_offset,
                      g_reader.fst_offset - g_reader.main_program_offset);
}
