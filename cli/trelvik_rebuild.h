// What trelvik-cli's default mode (the GameCube magic word on) adds to the
// wizard's settings: one alignment for all files; and, with --root, the
// rebuild of a disc unpacked by ombrel-cli unpack (or wit), which the builder
// takes (builder_set_unpacked_disc). The boot blocks of a new disc are the
// builder's (builder_set_new_disc_boot_blocks).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "cli/trelvik_options.h"
#include "disc/disc_format.h"

// "4" to "32768" as a power of two; false otherwise.
bool parse_alignment(const std::string& text, uint32_t* alignment);

// --root (after builder_reset): the unpacked disc taken
// by the builder, and the settings as the wizard fills them, the typed
// header options overriding boot.bin's fields (cut and warned about as
// usual). False with the error line; when memory ran out the builder's code
// is 1.
bool root_settings(const TrelvikOptions& options, BuildSettings* settings, std::vector<std::string>* warnings,
                   std::string* error);

// The refusal of an image ("the image", "the edited image") that would not
// fit on a disc: by how much, whether --align 4 would make it fit
// (end_with_4 is where it would end), and what --allow-oversize does.
std::string oversize_message(const char* image, uint64_t end, uint64_t end_with_4, const char* allow);

// The log of a rebuild: one line per entry new to the unpacked disc's table
// and per entry of it the tree no longer holds (at most ten of each, then how
// many more), in-image paths in UTF-8.
std::vector<std::string> rebuild_changes();
