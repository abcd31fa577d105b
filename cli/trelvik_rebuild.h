// What trelvik-cli's default mode (the GameCube magic word on) adds to the
// wizard's settings: the header and bi2 block written in full (the region
// word following the region letter, or what --header-from copies of another
// disc), the format's own table limits, one alignment for all files; and,
// with --root, the rebuild of a disc unpacked by ombrel-cli unpack (or wit),
// which the builder takes (builder_set_unpacked_disc).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "cli/trelvik_options.h"
#include "disc/disc_format.h"

struct BuildExtras {
  bool boot_blocks = false;  // write boot_bin and bi2 (builder_set_boot_blocks)
  uint8_t boot_bin[BOOT_BIN_SIZE] = {};
  uint8_t bi2[BI2_SIZE] = {};
  uint32_t alignment = 0;  // --align; 0: the builder's default
};

// --root's apploader, main program and base directory into the options,
// where the other modes have them.
void take_root_paths(TrelvikOptions* options);

// "4" to "32768" as a power of two; false otherwise.
bool parse_alignment(const std::string& text, uint32_t* alignment);

// The first n bytes of the disc in a file, plain or in a container (default
// mode reads --header-from through this): zeros where it gives none, *got
// the bytes it gave. False only when the file cannot be opened.
bool read_disc_start(const std::string& path, uint8_t* out, size_t n, size_t* got);

// Default mode without --root: the boot blocks behind settings (already
// filled from the options), from --header-from when given (bytes 0x00-0x0A,
// the game name and the bi2 block of a GameCube disc image at least 0x2440
// bytes long), else zero with the region word for the region letter.
bool default_mode_extras(const TrelvikOptions& options, const BuildSettings& settings,
                         BuildExtras* extras, std::string* error);

// --root (after take_root_paths and builder_reset): the unpacked disc taken
// by the builder, and the settings as the wizard fills them, the typed
// header options overriding boot.bin's fields (cut and warned about as
// usual). False with the error line; when memory ran out the builder's code
// is 1.
bool root_settings(const TrelvikOptions& options, BuildSettings* settings, std::vector<std::string>* warnings,
                   std::string* error);

// The refusal of an image that would not fit on a disc: by how much, and
// whether --align 4 would make it fit (end_with_4 is where it would end).
std::string oversize_message(uint64_t end, uint64_t end_with_4);

// The log of a rebuild: one line per entry new to the unpacked disc's table
// and per entry of it the tree no longer holds (at most ten of each, then how
// many more), in-image paths in UTF-8.
std::vector<std::string> rebuild_changes(const SourceNode* root);
