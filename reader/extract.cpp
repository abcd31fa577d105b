// Extraction: every copy out of the mounted image goes through IsoCopyRange,
// which reports progress per 4,096-byte block.
#include "reader/reader_state.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "host/host_text.h"

namespace {

constexpr uint32_t COPY_BLOCK = 4096;
// Data moves in large transfers; progress is still reported once per block.
constexpr uint32_t COPY_TRANSFER = 1u << 20;
static_assert(COPY_TRANSFER % COPY_BLOCK == 0, "transfers hold whole blocks");

// Written data is handed to the disk in spans of this size and at the end of
// each file, so that an extraction's writes go on while it reads and creates
// the next files, instead of all in one flush at the end (on Linux; a 1 GiB
// tree out of an RVZ then took about 30% less time to extract and sync).
constexpr uint32_t WRITEBACK_SPAN = 8u << 20;

}  // namespace

void reader_begin_folder_extraction() {
  g_reader.written.clear();
  g_reader.tracking_written = true;
  g_reader.batch_outputs = true;
}

void reader_end_folder_extraction() {
  g_reader.batch_outputs = false;
  g_reader.tracking_written = false;
  g_reader.written.clear();
}

void reader_remember_written(const char* path) {
  host::FileId id;
  if (g_reader.tracking_written && host::path_identity(path, &id)) g_reader.written.insert(id);
}

bool reader_written_before(const char* path) {
  host::FileId id;
  return g_reader.tracking_written && host::path_identity(path, &id) && g_reader.written.count(id) != 0;
}

namespace {

bool commit_output(host::Output* output) {
  std::string kept;
  switch (host::output_commit(output, &kept)) {
    case host::Commit::Done: return true;
    case host::Commit::KeptAside:
      g_reader.kept_path = kept;
      g_reader.error = IsoErrDestinationInUse;
      return false;
    case host::Commit::Failed: break;
  }
  g_reader.error = IsoErrWrite;
  return false;
}

// Reports each whole block between *copied and new_copied.
void report_blocks(uint32_t* copied, uint32_t new_copied, uint32_t length) {
  while (*copied + COPY_BLOCK <= new_copied) {
    *copied += COPY_BLOCK;
    if (g_reader.settings.progress) g_reader.settings.progress(int(*copied / (length / 100)));
  }
}

// The code of a copy that failed or came short: a write, positioning in the
// image, or a read (the container's own code, where it has one).
int copy_failure() {
  switch (container_error(g_reader.disc)) {
    case CONTAINER_ERR_WRITE: return IsoErrWrite;
    case CONTAINER_ERR_SEEK: return IsoErrSeek;
    default: return reader_read_failure(IsoErrRead);
  }
}

// The part of a range that a container's copy left at its end, where the
// disc runs on in the zero blocks the container leaves out: what the
// container still holds of it goes through a buffer, the zeros extend the
// output (written bytes long). *added is n when done, 0 when the range runs
// past the disc or stops inside the container; false with the code set on a
// failure.
bool copy_past_container(uint64_t from, uint64_t n, host::File* out, uint64_t written, uint64_t* added) {
  *added = 0;
  if (from + n > g_reader.image_size || from + n <= g_reader.container_size) return true;
  uint8_t unit[COPY_BLOCK];
  uint64_t head = g_reader.container_size > from ? g_reader.container_size - from : 0;
  for (uint64_t done = 0; done < head;) {
    const size_t piece = size_t(std::min<uint64_t>(head - done, sizeof unit));
    if (!reader_read(from + done, unit, piece)) {
      g_reader.error = reader_read_failure(IsoErrRead);
      return false;
    }
    if (!host::file_write(out, unit, piece)) {
      g_reader.error = IsoErrWrite;
      return false;
    }
    done += piece;
  }
  if (!host::file_extend_with_zeros(out, written + n)) {
    g_reader.error = IsoErrWrite;
    return false;
  }
  *added = n;
  return true;
}

}  // namespace

bool IsoJoinHostPath(const char* folder, const char* imageName, char* out, size_t capacity) {
  // Up to three host bytes a disc byte, as host_name_from_disc_name says.
  char name[3 * ISO_HOST_PATH_CAPACITY];
  bool converted = false;
  // The name alone tells no entry: a folder extraction names the one it
  // stopped at.
  if (!imageName ||
      !host::host_name_from_disc_name(imageName, name, sizeof name, &converted)) {
    return reader_refuse(IsoErrPathTooLong, nullptr);
  }
  // The name is judged as the host will see it, after the conversion.
  if (!host::is_safe_host_name(name)) return reader_refuse(IsoErrUnsafeName, nullptr);
  size_t a = std::strlen(folder), b = std::strlen(name);
  if (a + 1 + b + 1 > capacity) return reader_refuse(IsoErrPathTooLong, nullptr);
  std::memcpy(out, folder, a);
  out[a] = host::PATH_SEPARATOR;
  std::memcpy(out + a + 1, name, b + 1);
  return true;
}

bool IsoIsSafeHostName(const char* imageName) {
  char path[ISO_HOST_PATH_CAPACITY];
  const int saved = g_reader.error;
  const FstNode* saved_entry = g_reader.refused_entry;
  bool safe = IsoJoinHostPath("", imageName, path, sizeof path);
  int code = g_reader.error;
  g_reader.error = saved;
  g_reader.refused_entry = saved_entry;
  return safe || code == IsoErrPathTooLong;
}

const char* IsoGetKeptFilePath() {
  return g_reader.error == IsoErrDestinationInUse ? g_reader.kept_path.c_str() : "";
}

bool IsoCopyRange(const char* destination, uint32_t firstByte, uint32_t length) {
  if (!require_mounted() || !fits_host_path(destination)) return false;
  // Creating the destination would truncate the image under us.
  host::FileId existing;
  if (g_reader.has_image_id && host::path_identity(destination, &existing) &&
      existing == g_reader.image_id) {
    g_reader.error = IsoErrTargetIsImage;
    return false;
  }
  // The copy goes to a temporary file that replaces the destination only
  // once complete: a failed or interrupted copy leaves the destination as it
  // was, and a link there is replaced, never written through.
  host::Output* output = host::output_begin(destination, !g_reader.batch_outputs);
  if (!output) {
    g_reader.error = IsoErrCreateFile;
    return false;
  }
  host::File* out = host::output_file(output);
  host::FileId created;
  if (g_reader.tracking_written && host::file_identity(out, &created)) g_reader.written.insert(created);
  // Whole blocks while more than one block remains: they are
  // (length - 1) / 4,096 blocks, followed by a final part of 1 to 4,096 bytes.
  // Each block reports copied / (length / 100), not clamped, so 4,097 bytes
  // report 102; the final part reports 100. The container writes whole
  // blocks only, so a block that cannot be read whole is not written.
  const uint32_t block_bytes = length > COPY_BLOCK ? (length - 1) / COPY_BLOCK * COPY_BLOCK : 0;
  uint32_t done = 0;          // bytes copied
  uint32_t reported = 0;      // bytes reported, in whole blocks
  uint32_t written_back = 0;  // bytes handed to file_start_writeback
  bool ok = true;
  bool failed_here = false;  // the code is set already
  while (ok && done < length) {
    const uint32_t want = done < block_bytes ? std::min(block_bytes - done, COPY_TRANSFER) : length - done;
    const uint64_t from = uint64_t(firstByte) + done;
    uint64_t moved = 0, zeros = 0;
    ok = container_copy(g_reader.disc, from, want, out, COPY_BLOCK, &moved);
    if (ok && moved < want) {
      failed_here = !copy_past_container(from + moved, want - moved, out, done + moved, &zeros);
      ok = !failed_here;
    }
    moved += zeros;
    ok = ok && moved == want;
    done += uint32_t(moved);
    if (done <= block_bytes && done - written_back >= WRITEBACK_SPAN) {
      host::file_start_writeback(out, written_back, done - written_back);
      written_back = done;
    }
    report_blocks(&reported, std::min(done, block_bytes), length);
  }
  if (!ok) {
    host::output_abandon(output);
    if (!failed_here) g_reader.error = copy_failure();
    return false;
  }
  if (length > block_bytes && g_reader.settings.progress) g_reader.settings.progress(100);
  host::file_start_writeback(out, written_back, length - written_back);
  if (!commit_output(output)) return false;
  if (g_reader.settings.file_finished) g_reader.settings.file_finished();
  g_reader.error = IsoErrNone;
  return true;
}

bool IsoExtractFile(const char* pathInImage, const char* destinationFile) {
  if (!require_mounted()) return false;
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(pathInImage, &offset, &size, 1)) {
    g_reader.error = IsoErrNoFile;
    return false;
  }
  if (!fits_host_path(destinationFile)) return false;
  if (g_reader.settings.file_started) g_reader.settings.file_started(destinationFile);
  if (!IsoCopyRange(destinationFile, offset, size)) return false;
  if (g_reader.settings.operation_finished) g_reader.settings.operation_finished();
  return true;
}

namespace {

// A system area's span: cut from the header's offsets, in 32-bit arithmetic,
// as long as they make sense; else, for the apploader and the main program,
// the length their own headers give (from_header).
struct SystemSpan {
  uint32_t first, length;
  bool from_header;
};

bool system_span(int area, SystemSpan* span) {
  if (!require_mounted()) return false;
  const uint32_t main_at = g_reader.main_program_offset, fst_at = g_reader.fst_offset;
  const bool has_main = reader_has_main_program();
  switch (area) {
    case IsoSystemBootData: *span = {0, DISC_HEADER_SIZE, false}; return true;
    case IsoSystemFst: *span = {fst_at, g_reader.fst_size, false}; return true;
    case IsoSystemApploader:
      // Up to the main program; without one, what the apploader's header says.
      *span = has_main ? SystemSpan{APPLOADER_OFFSET, main_at - APPLOADER_OFFSET, false}
                       : SystemSpan{APPLOADER_OFFSET, IsoGetBootArea(IsoAreaApploader).length, true};
      return true;
    case IsoSystemMainProgram:
      if (has_main && fst_at >= main_at) {
        *span = {main_at, fst_at - main_at, false};
        return true;
      }
      // With the table before it, what the program's header says; a header
      // without sections describes no program.
      *span = {main_at, IsoGetBootArea(IsoAreaMainDol).length, true};
      if (has_main && span->length != 0) return true;
      g_reader.error = IsoErrNoMainProgram;
      return false;
  }
  g_reader.error = IsoErrNoFile;
  return false;
}

// A span that comes from an area's own header is checked against the image
// first, so that a header that lies writes nothing.
bool copy_system_area(int area, const char* destination) {
  SystemSpan span;
  if (!system_span(area, &span)) return false;
  if (span.from_header && uint64_t(span.first) + span.length > g_reader.image_size) {
    g_reader.error = IsoErrRead;
    return false;
  }
  return IsoCopyRange(destination, span.first, span.length);
}

}  // namespace

bool IsoGetSystemAreaSpan(int area, uint32_t* firstByte, uint32_t* length) {
  SystemSpan span;
  if (!system_span(area, &span)) return false;
  *firstByte = span.first;
  *length = span.length;
  return true;
}

bool IsoExtractBootData(const char* destination) { return copy_system_area(IsoSystemBootData, destination); }
bool IsoExtractFst(const char* destination) { return copy_system_area(IsoSystemFst, destination); }
bool IsoExtractApploader(const char* destination) { return copy_system_area(IsoSystemApploader, destination); }
bool IsoExtractMainProgram(const char* destination) { return copy_system_area(IsoSystemMainProgram, destination); }
