// A wizard state as the pages leave it after a typed header: game ID "GTR",
// maker "01", the USA region, and the given name and paths.
#pragma once

#include <cstring>

#include "wizard/core/wizard_state.h"

struct FilledPaths {
  const char* apploader;
  const char* main_program;
  const char* base_directory;
  const char* output;
};

inline WizardState filled_wizard_state(const char* game_name, const FilledPaths& paths) {
  WizardState state;
  wizard_state_init(&state);
  std::strcpy(state.game_id, "GTR");
  std::strcpy(state.game_name, game_name);
  std::strcpy(state.maker_id, "01");
  state.region_index = 1;
  std::strcpy(state.apploader_path, paths.apploader);
  std::strcpy(state.main_program_path, paths.main_program);
  std::strcpy(state.base_directory, paths.base_directory);
  std::strcpy(state.output_path, paths.output);
  return state;
}
