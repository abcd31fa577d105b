// The image builder engine: scans a base directory into a tree, lays out a
// disc image and writes it, reporting through four callbacks.
//
// One engine state per program. Calling order: builder_reset, builder_prepare,
// (inspect builder_tree), builder_set_callbacks, builder_write_image once.
// The image is written in disc order, header first, to a temporary file
// beside the output path that builder_write_image puts in the output's place
// once the image is complete; a failure or builder_reset removes it, so an
// existing output stays as it was until then. A plain image's temporary file
// is created by builder_prepare; a container's by builder_write_image, once
// the disc's size is known.
// Operations return a success flag and leave a BuildError in
// builder_last_error(). The engine shows nothing and has no message texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/container_writer.h"

// The record a front end fills and builder_prepare copies. Field order and
// widths are fixed: the wizard fills it byte for byte.
struct BuildSettings {
  char game_code[4];  // three identifying characters, then the region letter
  char maker_code[2];
  char game_name[64];  // copied to the header as 64 bytes
  uint16_t max_fst_size;  // starting value of the header's max_fst_size
  char output_path[260];  // NUL-terminated
  char base_directory[260];
  char main_program_path[260];
  char apploader_path[260];
};
static_assert(offsetof(BuildSettings, max_fst_size) == 70, "settings layout");
static_assert(offsetof(BuildSettings, output_path) == 72, "settings layout");
static_assert(sizeof(BuildSettings) == 72 + 4 * 260, "settings layout");

constexpr size_t BUILD_PATH_CAPACITY = 260;  // path fields, terminating NUL included

enum BuildError : uint16_t {
  BUILD_OK = 0,
  BUILD_ERR_NO_MEMORY = 1,
  BUILD_ERR_CREATE_OUTPUT = 2,
  BUILD_ERR_NO_SETTINGS = 3,
  BUILD_ERR_OPEN_INPUT = 4,  // apploader or main program missing, or a file cannot be opened for copying
  BUILD_ERR_READ = 5,
  BUILD_ERR_WRITE = 6,
  BUILD_ERR_ENTER_BASE_DIRECTORY = 7,
  BUILD_ERR_ENUMERATE = 8,  // a folder cannot be listed, or a link loops back
  // Beyond the format's limits: more than 65,535 entries after the root, or a
  // name offset past 65,535.
  BUILD_ERR_TABLE_TOO_LARGE = 9,
  // A file of 4 GiB or more, or data that would lie past the 32-bit offsets.
  BUILD_ERR_DATA_TOO_LARGE = 10,
  // A folder path that does not fit in a 260-byte path field.
  BUILD_ERR_PATH_TOO_LONG = 11,
  // builder_write_image without a successful builder_prepare since the reset.
  BUILD_ERR_NOT_PREPARED = 12,
  // A source file's length differs from what the scan measured (or from the
  // length the header was laid out with): copying it would misplace data.
  BUILD_ERR_SOURCE_CHANGED = 13,
  // The output is the same file as the apploader or the main program, or lies
  // inside the base directory: writing it would destroy an input. Refused
  // before the output is created or truncated.
  BUILD_ERR_OUTPUT_IS_INPUT = 14,
  // An input, or an entry under the base directory, is neither a regular
  // file nor a folder (a FIFO, socket or device): reading it could block.
  BUILD_ERR_NOT_REGULAR_FILE = 15,
  // The image is complete, but another program holds the output open so
  // that it cannot be replaced: the image is kept beside it under the name
  // builder_last_error_path gives.
  BUILD_ERR_OUTPUT_IN_USE = 16,
  // A file of an unpacked disc has not its fixed size (sys/boot.bin 0x440
  // bytes or the header's 0x430, sys/bi2.bin 0x2000).
  BUILD_ERR_UNPACKED_FILE_SIZE = 17,
  // An unpacked disc's sys/fst.bin is no file system table a reader would
  // take.
  BUILD_ERR_NOT_A_TABLE = 18,
  // The output's container does not take its settings or this image: an
  // option its kind refuses, an image larger than a GameCube disc, or boot
  // blocks marked as a Wii disc. builder_last_error_detail says which.
  BUILD_ERR_OUTPUT_FORMAT = 19,
};
constexpr uint16_t BUILD_ERROR_LAST = BUILD_ERR_OUTPUT_FORMAT;

// Alignments of file data: the default, and the range the options take.
constexpr uint32_t MIN_FILE_ALIGNMENT = 4;
constexpr uint32_t MAX_FILE_ALIGNMENT = 0x8000;  // 32 KiB, as streamed audio needs

// One scanned file or folder.
struct SourceNode {
  char* full_path;  // host path: folder path, separator, name
  char* name;       // the name in the image: the enumerated one in code page 932,
                    // or its bytes unchanged when it has no such form
  uint32_t size;    // length as measured by the scan; 0 for a folder
  uint8_t is_directory;
  uint8_t name_is_host_bytes;  // the host name had no code page 932 form
  SourceNode* prev_sibling;
  SourceNode* next_sibling;
  SourceNode* first_child;

  // Where a file's data goes, set by the layout: the multiple of alignment
  // at or after the previous file's end (2,048 unless the options say more).
  uint32_t alignment;
  uint32_t data_offset;
  // With a previous table (builder_set_previous_table): 1 when it has no such
  // entry, else 0 and the data offset the file had there.
  uint8_t is_new;
  uint32_t previous_offset;
};

// Callbacks. Each may be null; a null one is skipped.
typedef void (*BuilderLogFn)(const char* text);  // Shift-JIS for the built-in texts
typedef void (*BuilderProgressFn)(int percent, uint32_t bytes);
typedef void (*BuilderFileDoneFn)();
typedef void (*BuilderFinishedFn)();

// The log text of each file copied into the image, in code page 932: the
// format BUILDER_LOG_ADDING_FILE with the file's host path for its %s. Front
// ends that show the path apart from the words find it behind the prefix.
extern const char BUILDER_LOG_ADDING_FILE[];         // "ファイルの追加 '%s'"
extern const char BUILDER_LOG_ADDING_FILE_PREFIX[];  // "ファイルの追加 '"

bool builder_reset();
bool builder_prepare(const BuildSettings* settings);
void builder_set_callbacks(BuilderLogFn on_log, BuilderProgressFn on_progress,
                           BuilderFileDoneFn on_file_done, BuilderFinishedFn on_finished);
bool builder_write_image(bool maximise);
uint16_t builder_last_error();
// The host path the last error is about, for the codes that concern one file
// or folder (4, 5, 8, 11, 13, 14, 15, and 16's kept image); "" when the code
// names none.
const char* builder_last_error_path();
// The container writer's own text for an error it reported (naming the kind
// and what went wrong, in English), for codes 1, 2, 6, 16 and 19 of a
// container output; "" for every other error.
const char* builder_last_error_detail();

// The kind of file the image is written as: a plain image after
// builder_reset (as the wizard writes), or any container container_writer.h
// writes, with that writer's settings. A container is written straight from
// the build, with no plain image in between and only a few chunks in memory;
// a maximised image's padding goes into it as zeros, which cost almost
// nothing. A scrubbed CISO keeps everything the build writes (`used` is
// ignored: outside its content an image holds only zeros, which every CISO
// leaves out). False with code 19 when the options do not suit their kind;
// builder_prepare checks them again against the laid-out image. Set before
// builder_prepare: a preparation made before it is undone.
bool builder_set_output_format(const ContainerWriteOptions& options);

// The scanned tree: a root node named "root" for the base directory, valid
// after a successful builder_prepare until the next prepare or reset.
const SourceNode* builder_tree();
uint32_t builder_file_count();
uint32_t builder_directory_count();
// Size of the file system table for the scanned tree: 12 bytes per entry,
// root included, plus every name with its NUL.
uint32_t fst_total_size();

// Options for images that other disc tools must accept. Both are off after
// builder_reset, so images are byte-exact with the wizard's unless asked.
// Writes the GameCube magic word at 0x1C of the header.
void builder_set_disc_magic(bool enabled);
// Writes the index of the enclosing folder (0 for the top level) as the second
// word of every folder entry, instead of 0; some readers check it.
void builder_set_folder_parent_links(bool enabled);

// Options for rebuilding an unpacked disc, all off after builder_reset as
// well.
//
// The first 0x440 bytes of the header and the bi2 block (0x2000 bytes from
// 0x440) to write instead of zeros. The settings' fields, the magic word and
// the layout's offsets and sizes go over them; the header's max_fst_size
// stays when it is larger than the table. Null for either turns it off.
void builder_set_boot_blocks(const uint8_t* boot_bin, const uint8_t* bi2);
// The image holds no main program: the header's main_program_offset is 0
// and the table follows the apploader; main_program_path is not read.
void builder_set_without_main_program(bool enabled);
// Tables up to the format's own limits (24-bit name offsets, any entry
// count) instead of the builder's 16-bit counters.
void builder_set_format_limits(bool enabled);
// The file system table of the disc being rebuilt (an unpacked disc's
// fst.bin). Entries it holds keep its order in their folder, entries new to
// it follow in the scan's order, and entries it holds that the tree no longer
// has are dropped. Files it holds keep their order on the disc (ascending old
// offsets; new files after them, in table order) and the alignment class of
// their old offset: the largest power of two dividing it, from 4 up to 32 KiB.
// A new file takes 32 KiB when every kept file of the same extension, two at
// least, does (one on such a boundary may be there by chance), else 2,048.
// A file or folder whose host name, each character read as one Latin-1 byte,
// spells an entry's name (as some tools unpack Shift-JIS names) is that
// entry when no node has the name itself, and keeps the entry's bytes as its
// name. False, and nothing taken, when the bytes are no table or memory runs
// out (then code 1). Null turns it off.
bool builder_set_previous_table(const uint8_t* table, size_t size);
// The bi2 block's region word for a region letter (J Japan, E USA, any
// other Europe), written into the boot blocks set: a new region letter takes
// its word with it.
void builder_set_bi2_region(char region_letter);
// The boot blocks of a new disc in the form other disc tools check:
// zeros but for the header's max_fst_size (the default table limit) and
// the bi2 region word of region_letter; or, given another disc's first
// 0x2440 bytes (other_disc), that disc's identity bytes (0x00-0x0A: game
// code, maker, disc number, revision, streaming) and its whole bi2 block.
// The settings' fields and the layout go over them as with
// builder_set_boot_blocks.
void builder_set_new_disc_boot_blocks(const uint8_t* other_disc, char region_letter);

// A disc unpacked into a folder, as ombrel-cli unpack and other disc tools
// lay it out (disc_format.h names its parts): the paths of its parts, and
// whether it is a disc without a main program, which only a missing
// sys/main.dol means (a link to nothing is a main program that cannot be
// read).
struct UnpackedDisc {
  std::string boot_bin, bi2, apploader, main_program, fst, files;
  bool without_main_program;
  bool has_sys_folder;  // without one the folder is no unpacked disc at all
};
UnpackedDisc unpacked_disc(const std::string& folder);
// Takes the disc unpacked in folder as the one being rebuilt: sys/boot.bin
// and sys/bi2.bin as the boot blocks (their header fields into settings'
// game code, maker code and game name, except those typed keeps: a typed
// region letter is written into bi2's region word too), sys/fst.bin, when
// there is one, as
// the previous table, and without a main program when it has none (a
// boot.bin of the header's 0x430 bytes alone leaves the 16 bytes behind it
// zero, as the builder writes them); settings' apploader, main program and
// base directory paths name sys/apploader.img, sys/main.dol and files.
// False, with builder_last_error_path naming the file, for code 4 (boot.bin
// or bi2.bin cannot be opened), 17 (one of them has another size), 7 (no
// folder files), 5 (fst.bin cannot be read), 18 (fst.bin is no table), 11 (a
// path does not fit settings) or 1; nothing is taken then.
struct UnpackedDiscTyped {
  bool game_code, maker_code, game_name, region_letter;
};
bool builder_set_unpacked_disc(const char* folder, BuildSettings* settings, UnpackedDiscTyped typed = {});

// A dry run: builder_prepare checks the inputs, scans and lays the image out
// as usual but creates no output file, and builder_write_image refuses with
// code 12, so nothing is written. Off after builder_reset.
void builder_set_dry_run(bool enabled);

// Whether the layout can align every file to alignment: a power of two from
// 4 to 32,768.
inline bool builder_is_file_alignment(uint32_t alignment) {
  return alignment >= MIN_FILE_ALIGNMENT && alignment <= MAX_FILE_ALIGNMENT && (alignment & (alignment - 1)) == 0;
}

// One alignment for every file instead of 2,048 or the previous table's
// classes; 0 turns it off. False, with the setting unchanged, for an
// alignment builder_is_file_alignment refuses.
bool builder_set_file_alignment(uint32_t alignment);

// After a successful builder_prepare: where the image's content (the table
// and every file) ends as laid out, and where it would end with every file
// at the given alignment instead.
uint64_t builder_content_end();
// And the bytes the write copies, as its progress reports them: the
// apploader, the main program and every file.
uint64_t builder_copy_bytes();
uint64_t builder_content_end_with_alignment(uint32_t alignment);
// After a successful builder_prepare with a previous table: the in-image
// paths ("/a/b", names in code page 932) of its entries the tree no longer
// holds, in table order. Each path is built when asked for, and stays valid
// until the next call.
size_t builder_removed_count();
const char* builder_removed_path(size_t index);
// And the paths of the tree's entries new to that table, in table order:
// the first at_most of them appended to paths; returns how many there are.
size_t builder_added_paths(size_t at_most, std::vector<std::string>* paths);
