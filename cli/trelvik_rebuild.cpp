// Default mode's alignment and the rebuild of an unpacked disc.
#include "cli/trelvik_rebuild.h"

#include "cli/console_text.h"

bool parse_alignment(const std::string& text, uint32_t* alignment) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const uint32_t value = uint32_t(std::stoul(text));
  if (!builder_is_file_alignment(value)) return false;
  *alignment = value;
  return true;
}

bool root_settings(const TrelvikOptions& options, BuildSettings* settings, std::vector<std::string>* warnings,
                   std::string* error) {
  // The settings as the wizard fills them; boot.bin gives the header fields
  // the options leave out.
  WizardState state;
  if (!options_to_wizard_state(options, &state, warnings, error)) return false;
  fill_build_settings(state, nullptr, settings);
  const std::string id6_region = game_id6_region(options);  // a whole ID gives the maker and region too
  if (!id6_region.empty()) settings->game_code[3] = id6_region[0];
  const UnpackedDiscTyped typed = {!options.game_id.empty(), !options.maker_id.empty() || !id6_region.empty(),
                                   !options.game_name.empty(), !options.region.empty() || !id6_region.empty()};
  if (builder_set_unpacked_disc(options.root.c_str(), settings, typed)) return true;
  *error = unpacked_disc_message(builder_last_error(), builder_last_error_path(), options);
  return false;
}

std::string oversize_message(const char* image, uint64_t end, uint64_t end_with_4, const char* allow) {
  std::string text = std::string(image) + " would end at " + std::to_string(end) + " bytes, " +
                     std::to_string(end - DISC_IMAGE_SIZE) + " bytes past a full disc (" +
                     std::to_string(DISC_IMAGE_SIZE) + " bytes); nothing was written";
  if (end_with_4 <= DISC_IMAGE_SIZE) {
    text += " (with --align 4 it would end at " + std::to_string(end_with_4) + " bytes and fit)";
  }
  return text + "; --allow-oversize " + allow;
}

namespace {

constexpr size_t SHOWN = 10;  // paths listed of each kind; the rest are counted

void add_listed(std::vector<std::string>* lines, const char* what, const std::vector<std::string>& paths,
                size_t count) {
  for (const std::string& path : paths) lines->push_back(std::string(what) + " " + quoted(cp932_for_display(path)));
  if (count > paths.size()) lines->push_back(std::to_string(count - paths.size()) + " more " + what);
}

}  // namespace

std::vector<std::string> rebuild_changes() {
  std::vector<std::string> added, removed, lines;
  const size_t added_count = builder_added_paths(SHOWN, &added);
  // A removed path is built when asked for: only the ones shown are.
  const size_t removed_count = builder_removed_count();
  for (size_t i = 0; i < removed_count && i < SHOWN; ++i) removed.push_back(builder_removed_path(i));
  add_listed(&lines, "added", added, added_count);
  add_listed(&lines, "removed", removed, removed_count);
  return lines;
}
