// Window-free wizard logic: default state, regions, whole game IDs and the
// filling of the builder's settings record.
#include "wizard/core/wizard_state.h"

#include <cctype>
#include <cstring>

void wizard_state_init(WizardState* state) {
  std::memset(state, 0, sizeof(*state));
  state->region_index = 0;
  state->import_header = 0;
  state->maximise_image = 1;
}

bool region_index_for_name(const std::string& name, uint16_t* region_index) {
  std::string lower;
  for (char c : name) lower += char(std::tolower(static_cast<unsigned char>(c)));
  static const char* const kNames[] = {"japan", "usa", "europe"};
  for (uint16_t i = 0; i < 3; ++i) {
    if (lower == kNames[i]) {
      *region_index = i;
      return true;
    }
  }
  return false;
}

bool is_whole_game_id(const std::string& id) {
  if (id.size() != 6) return false;
  for (char c : id) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

char region_letter(uint16_t region_index) {
  switch (region_index) {
    case 0:
      return REGION_LETTER_JAPAN;
    case 1:
      return REGION_LETTER_USA;
    default:
      return REGION_LETTER_EUROPE;
  }
}

void copy_fixed_field(char* field, size_t width, const char* text) {
  size_t n = 0;
  while (n < width && text[n] != '\0') {
    field[n] = text[n];
    ++n;
  }
  if (n < width) std::memset(field + n, 0, width - n);
}

// Copies a path with its terminating zero; a path that does not fit is cut
// to the field's width minus one, so the field always ends with a zero.
static void copy_path_field(char* field, const char* path) {
  size_t n = 0;
  while (n + 1 < BUILD_PATH_CAPACITY && path[n] != '\0') {
    field[n] = path[n];
    ++n;
  }
  std::memset(field + n, 0, BUILD_PATH_CAPACITY - n);
}

void fill_build_settings(const WizardState& state, const uint8_t* imported_header,
                         BuildSettings* settings) {
  std::memset(settings, 0, sizeof(*settings));

  if (state.import_header && imported_header) {
    // Byte for byte, whatever the imported header holds.
    std::memcpy(settings->game_code, imported_header + 0, 3);
    settings->game_code[3] = char(imported_header[3]);
    std::memcpy(settings->maker_code, imported_header + 4, 2);
    std::memcpy(settings->game_name, imported_header + offsetof(DiscHeader, game_name),
                sizeof(settings->game_name));
  } else {
    // Each field is narrower than the state's text, and copy_fixed_field reads
    // no further than the field's width, so an unterminated state is safe.
    copy_fixed_field(settings->game_code, 3, state.game_id);
    settings->game_code[3] = region_letter(state.region_index);
    copy_fixed_field(settings->maker_code, sizeof(settings->maker_code), state.maker_id);
    copy_fixed_field(settings->game_name, sizeof(settings->game_name), state.game_name);
  }

  settings->max_fst_size = uint16_t(DEFAULT_MAX_FST_SIZE);
  copy_path_field(settings->output_path, state.output_path);
  copy_path_field(settings->base_directory, state.base_directory);
  copy_path_field(settings->main_program_path, state.main_program_path);
  copy_path_field(settings->apploader_path, state.apploader_path);
}
