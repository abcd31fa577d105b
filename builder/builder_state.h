// The builder engine's one state (builder_state.cpp), shared by the scan
// (source_tree.cpp), the previous table, the layout and table (fst_layout.cpp)
// and the writer (image_writer.cpp). Each file calls only files below it:
// builder_state.cpp and folder_listing.cpp at the bottom, then the scan and
// the previous table, the layout, and on top the reset and options
// (builder_options.cpp), the unpacked disc and the writer. Not for callers
// outside builder/.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"

// Where everything lands, computed from the scanned tree and the lengths of
// the apploader and main program before anything is written.
struct ImageLayout {
  uint32_t main_program_offset;
  uint32_t fst_offset;
  uint32_t fst_size;
  // The boot files' lengths the layout was computed with.
  uint64_t apploader_length;
  uint64_t main_program_length;
};

// The file system table of the disc being rebuilt (previous_table.cpp), as
// given, with what the match of the scanned tree made of it.
struct PreviousTable {
  uint8_t* bytes;     // the table as given
  size_t size;
  uint32_t count;     // N, the root included
  uint32_t* parent;   // each entry's folder (the root's own slot unused)
  uint8_t* taken;     // each entry: a node of the scanned tree took it
  uint32_t* removed;  // entries no node took, in table order
  size_t removed_count;
};

// Every field starts zero (or empty); a reset frees what the record owns
// (the tree, the previous table, an unfinished output) and assigns a fresh one.
struct BuilderState {
  BuildSettings settings;  // the copy taken by builder_prepare
  DiscHeader header;       // being built; all zero after reset
  // The image being written: a temporary file beside the output path until
  // the write commits it; a reset or a failure discards it.
  host::Output* output;
  // A container output (builder_set_output_format): its operations, null
  // for a plain image; its writer's settings; and its writer, from the start
  // of the write until it is finished or abandoned. The plain image goes to
  // `output` instead.
  const struct ContainerOutput* container_output;
  ContainerWriteOptions output_format;
  ContainerWriter* container;
  uint64_t output_end;  // bytes written so far; the writer appends in order

  BuilderLogFn on_log;
  BuilderProgressFn on_progress;
  BuilderFileDoneFn on_file_done;
  BuilderFinishedFn on_finished;

  uint16_t last_error;
  std::string error_path;    // the host path the last error is about
  std::string error_detail;  // the container writer's text about it
  bool prepared;  // a successful builder_prepare since the last reset or write
  bool write_disc_magic;
  bool write_folder_parent_links;
  // Options for rebuilding an unpacked disc (builder.h).
  bool use_boot_blocks;
  uint8_t boot_bin[BOOT_BIN_SIZE];  // zero unless given: the writer takes
  uint8_t bi2[BI2_SIZE];            // the gap after the header and bi2 from them
  bool without_main_program;
  bool format_limits;
  uint32_t file_alignment;  // 0: 2,048, or the previous table's classes
  bool dry_run;             // prepare creates no output; nothing is written
  uint64_t table_end;       // where the last layout put the end of the table
  uint64_t content_end;     // and the end of the content
  // The last layout, kept from the preparation for the write; a setting that
  // moves it clears layout_ready and the write computes it again.
  ImageLayout layout;
  bool layout_ready;
  // The file nodes in the order their data is laid out, from the last layout.
  std::vector<const SourceNode*> data_order;

  SourceNode root;  // stands for the base directory; never written to the image
  uint32_t directory_count;
  uint32_t file_count;

  PreviousTable previous;
  bool have_previous_table;
  std::string removed_path;  // the last path builder_removed_path gave

  long allocations_left = -1;  // test hook: fail after this many; -1 never; kept by a reset
};

extern BuilderState g_builder;

// Records code as the last error, about no path; false.
bool builder_fail(uint16_t code);
// Records code as the last error, with the host path it is about; false.
bool builder_fail_on_path(uint16_t code, const char* path);
// Records code as the last error, with the container writer's text about it
// and the host path it is about (null for none); false.
bool builder_fail_with_detail(uint16_t code, const std::string& detail, const char* path = nullptr);

// The builder's side of the container writers (container_output.cpp),
// reached only through the operations builder_set_output_format installs,
// so that a program writing plain images only (the wizard) carries neither
// the writers nor their compressors. Each returns false with the error
// recorded.
struct ContainerOutput {
  // Whether the writer takes its settings for an image of disc_size bytes.
  bool (*check)(uint64_t disc_size);
  // Starts the writer at the output path for an image of disc_size bytes.
  bool (*open)(uint64_t disc_size);
  bool (*write)(const void* data, size_t n);
  // Finishes the container and puts it in the output's place.
  bool (*finish)();
  // Removes an unfinished container; nothing when none is open.
  void (*abandon)();
};

// Every allocation of the engine goes through here: a failure records code 1.
void* builder_alloc(size_t size);
char* builder_strdup(const char* text);

// The names in the host folder at path but "." and "..", in the order Windows
// lists them (POSIX hosts list in no fixed order); false when it cannot be
// listed, with no code recorded (folder_listing.cpp).
bool list_folder_names(const char* path, std::vector<std::string>* names);

// ---------------------------------------------------------------------------
// The scan (source_tree.cpp)
// ---------------------------------------------------------------------------

// Scans settings.base_directory into the tree. Codes 7, 8, 10, 11 or 1.
bool scan_base_directory();
// Releases every node of the tree and zeroes the counts.
void release_source_tree();

// ---------------------------------------------------------------------------
// Layout and table (fst_layout.cpp)
// ---------------------------------------------------------------------------

// Computes the layout, each file's data offset included, and refuses what the
// format cannot hold: more than 65,535 entries or a name offset past 65,535
// (code 9; with the format's limits, more than 24-bit name offsets), offsets
// or data past the 32-bit range (code 10). The layout is kept in the state
// for the write.
bool plan_image_layout(uint64_t apploader_length, uint64_t main_program_length, ImageLayout* layout);

// Fills table (layout.fst_size bytes) with the whole file system table: root
// entry, entries and names, in the depth-first order of the tree.
void emit_file_system_table(uint8_t* table);

// The alignment class of a file's data offset: the largest power of two
// dividing it, from 4 up to 32 KiB. A kept file's data keeps its class.
uint32_t alignment_class(uint32_t offset);
// The alignment a new file takes beside kept ones: 32 KiB when every kept
// file of its extension, two at least, has that class (streamed audio needs
// it), else 2,048. Kept files are counted in first.
struct KeptAlignments {
  struct Count {
    uint32_t files = 0, on_32k = 0;
  };
  std::map<std::string, Count> by_extension;  // extensions with ASCII letters folded
};
void count_kept_alignment(KeptAlignments* kept, const char* name, uint32_t alignment);
uint32_t new_file_alignment(const KeptAlignments& kept, const char* name);

// The file nodes in the order their data lies in the image (ascending data
// offsets), as the last layout placed them.
const std::vector<const SourceNode*>& files_in_data_order();

// ---------------------------------------------------------------------------
// The previous table (previous_table.cpp)
// ---------------------------------------------------------------------------

bool have_previous_table();
void clear_previous_table();
// Takes size bytes from builder_alloc as the previous table, freeing them
// when they are no table (false, no code) or memory runs out (code 1).
bool adopt_previous_table(uint8_t* bytes, size_t size);
// Puts the scanned tree in the previous table's order and marks each node
// new or kept with its old offset; records the entries no longer there.
// False when memory runs out (code 1).
bool apply_previous_table();
