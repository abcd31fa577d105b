// What the wizard's pages collect, and how it becomes the builder's settings.
// Plain data and functions without any window, shared by Trelvik and
// trelvik-cli so that both fill BuildSettings the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "builder/builder.h"
#include "disc/disc_format.h"

struct WizardState {
  char game_id[4];    // at most 3 bytes, zero-terminated
  char game_name[65]; // at most 64 bytes
  char maker_id[3];   // at most 2 bytes, zero-terminated
  uint16_t region_index;  // 0 Japan, 1 USA, 2 Europe
  uint16_t import_header; // take the header fields from an existing image
  char import_image_path[260];
  char apploader_path[260];
  char main_program_path[260];
  char base_directory[260];
  char output_path[260];
  uint16_t maximise_image;  // pad the image to the full disc size
  uint32_t total_data_size;
  uint8_t has_long_names;
  uint8_t write_finished;
};

// Zeroes every field and sets the defaults: Japan, no import, maximise on.
void wizard_state_init(WizardState* state);

// Maps the region list's position to the fourth game-code byte.
char region_letter(uint16_t region_index);
// A region named in words, "japan", "usa" or "europe" in any case, as its
// list position; false for any other text.
bool region_index_for_name(const std::string& name, uint16_t* region_index);

// A game ID of six letters and digits (GZLE01) is the whole ID: the game
// code, the region letter and the maker code. Any other text is a game code.
bool is_whole_game_id(const std::string& id);

// Fills the settings record from the state, or, when the state's
// import_header is set, its header fields from imported_header (the buffer
// read_imported_header filled, wizard/core/header_image.h).
void fill_build_settings(const WizardState& state, const uint8_t* imported_header,
                         BuildSettings* settings);

// Copies text into a fixed field of width bytes: the leading bytes, then
// zero bytes up to the width, no terminator when the text fills the field.
void copy_fixed_field(char* field, size_t width, const char* text);
