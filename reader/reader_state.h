// The reader engine's one global state, shared by its source files, and the
// operations of each file the others call. The files call downwards only:
// reader_state.cpp (the record, allocation, raw reads, failure codes) under
// disc_info, lookup and banner; fst_cache over disc_info; extract over
// lookup and disc_info; extract_tree and disc_check over extract; mount,
// which opens, resets and names the errors, on top.
#pragma once

#include "container/container.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"
#include "reader/reader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

// What an unmount keeps: the caller's callbacks and choices.
struct ReaderSettings {
  IsoFileStartedFn file_started;
  IsoProgressFn progress;
  IsoFileFinishedFn file_finished;
  IsoOperationFinishedFn operation_finished;
  // Mount a table that fails its check without entries, for IsoCheckDisc.
  uint8_t keep_broken_table;
  // A folder extraction uses folders that exist already.
  uint8_t reuse_folders;
};

// Every field starts zero: a fresh record is the reader with nothing mounted.
struct ReaderState {
  uint8_t mounted;
  Container* disc;  // the image file, plain or a container, read and copied as the plain disc
  host::FileId image_id;  // the image file's identity, so nothing writes over it
  uint8_t has_image_id;
  char* image_path;
  // The disc's size: the container's, or for a kind that leaves out trailing
  // zero blocks as far as the table's last file ends (at most a full disc);
  // what lies past the container's own end reads as zeros.
  uint64_t image_size;
  uint64_t container_size;
  uint64_t files_end;  // where the table's last file ends, from the table build

  // Header as stored; the three offsets below are its fields in host order.
  DiscHeader header;
  uint32_t main_program_offset;
  uint32_t fst_offset;
  uint32_t fst_size;
  uint32_t entry_count;  // N, from the root entry

  uint8_t banner_kind;
  uint8_t banner_single[BANNER_SINGLE_RECORD_SIZE];
  uint8_t banner_six[BANNER_SIX_LANGUAGE_SIZE];
  uint16_t banner_picture[BANNER_PIXEL_COUNT];

  FstNode root;
  // The table's names as read at mount; every node's name but the root's
  // points into them.
  char* name_block;
  size_t name_block_size;
  int file_count;
  int directory_count;
  uint32_t entries_start;        // fst_offset + 12
  uint32_t name_table_distance;  // (N - 1) x 12

  int error;
  // The entry an extraction refused with code 14, 16 or 17 (the one it
  // stopped at), null when the refusal concerns no entry of the image.
  const FstNode* refused_entry;
  ReaderSettings settings;

  // Read at mount for the boot areas as other tools unpack them: the header
  // and bi2 block (0x2440 bytes from 0), the apploader's header and the main
  // program's header; what the image does not hold reads as zero.
  uint8_t boot_block[APPLOADER_OFFSET];
  uint8_t apploader_header[APPLOADER_HEADER_SIZE];
  uint8_t dol_header[DOL_HEADER_SIZE];

  // A table that failed its check, for IsoCheckDisc: mounted without entries
  // when settings.keep_broken_table is set.
  int table_fault;            // TableFault
  uint32_t table_fault_entry;  // the entry at fault, for TableBrokenAt

  // The texts the reader hands out, kept until the next call that makes them.
  std::string container_detail;  // what the container said of its last failure
  std::string error_text;
  std::string kept_path;      // a finished copy kept aside (IsoErrDestinationInUse)
  std::string refused_path;   // IsoGetRefusedEntryPath
  char unknown_maker[64];     // IsoGetMakerName for a code not in its table

  // A running folder extraction: its files are not flushed one by one (that
  // would cost most of its speed), and what it writes is remembered by
  // identity.
  bool batch_outputs;
  bool tracking_written;
  std::set<host::FileId> written;
};

enum TableFault { TableSound = 0, TableOutsideImage, TableBadCount, TableBrokenAt };

extern ReaderState g_reader;

// A disc has a main program when its offset lies past the boot block; 0 (or
// anything inside the header, bi2 or apploader start) means it has none.
inline bool reader_has_main_program() { return g_reader.main_program_offset >= APPLOADER_OFFSET; }

// Frees what the state owns (the tree, its names, the container, the image
// path) and starts a fresh record; an unmount keeps the settings.
void reader_reset_state(bool keep_settings);

// Every heap allocation of the reader: zero-filled; on failure sets
// IsoErrNoMemory and returns null.
void* iso_alloc(size_t size);
char* iso_strdup(const char* text);
// Counts one allocation against the test hook; false when it is to fail.
bool reader_allocation_allowed();

// Resizes a vector the reader keeps: a growth that fails sets IsoErrNoMemory
// and returns false instead of throwing.
template <class T>
bool reader_resize(std::vector<T>* v, size_t n) {
  if (n > v->capacity() && !reader_allocation_allowed()) {
    g_reader.error = IsoErrNoMemory;
    return false;
  }
  try {
    v->resize(n);
    return true;
  } catch (const std::bad_alloc&) {
    g_reader.error = IsoErrNoMemory;
    return false;
  }
}

// Reads n bytes of the plain disc at position: false when they are not all
// there or a container cannot give them (its code then noted for the mount
// or copy that asked, see reader_read_failure).
bool reader_read(uint64_t position, void* buffer, size_t n);
// The code for a read that failed: the container's damage or unsupported
// method (its detail kept for IsoGetErrorText), else plain_code.
int reader_read_failure(int plain_code);
// The same for a container's error code and detail, `otherwise` for a
// failure of the file itself.
int reader_container_failure(ContainerError error, const std::string& detail, int otherwise);

// Reads up to n bytes at position; what is not there stays zero.
void read_zero_filled(uint64_t position, void* buffer, size_t n);

// Builds the tree from the mounted file's table (fst_cache.cpp). False on a
// table that cannot be trusted (code 6) or on a failed allocation (code 1).
bool build_fst_cache();
// Frees the tree and its names; the root stays, empty.
void release_fst_cache();

// Extraction needs an image; code 15 without one.
inline bool require_mounted() {
  if (g_reader.mounted) return true;
  g_reader.error = IsoErrNotMounted;
  return false;
}

// Sets a refusal's code (14, 16 or 17) and the entry refused, null when it
// concerns none, for IsoGetRefusedEntryPath. Always false.
inline bool reader_refuse(int code, const FstNode* entry) {
  g_reader.error = code;
  g_reader.refused_entry = entry;
  return false;
}

// A host path fits the reader's buffers; code 14 when it does not.
inline bool fits_host_path(const char* path) {
  return std::strlen(path) < size_t(ISO_HOST_PATH_CAPACITY) || reader_refuse(IsoErrPathTooLong, nullptr);
}

// A folder extraction (extract_tree.cpp) over the copies (extract.cpp): while
// it runs, its files are not flushed one by one, and what it writes is
// remembered by identity, so that a second entry whose host name leads to the
// same file (equal bytes, or names the host does not tell apart) is refused
// instead of replacing the first.
void reader_begin_folder_extraction();
void reader_end_folder_extraction();
void reader_remember_written(const char* path);
bool reader_written_before(const char* path);

// The file IsoFindFile finds (lookup.cpp); null when there is none.
const FstNode* reader_find_file(const char* path, uint8_t matchMode);
