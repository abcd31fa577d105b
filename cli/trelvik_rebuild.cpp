// Default mode's boot blocks and the rebuild of an unpacked disc.
#include "cli/trelvik_rebuild.h"

#include <cstring>

#include "builder/source_walk.h"
#include "cli/console_text.h"
#include "container/container.h"
#include "container/disc_identify.h"
#include "host/host_fs.h"
#include "host/host_text.h"

namespace {

std::string quoted(const std::string& path) { return "'" + host_path_for_display(path) + "'"; }

void set_region_word(uint8_t* bi2, char letter) {
  write_be32(bi2 + BI2_REGION_OFFSET, bi2_region_for_letter(letter));
}

}  // namespace

bool read_disc_start(const std::string& path, uint8_t* out, size_t n, size_t* got) {
  std::memset(out, 0, n);
  *got = 0;
  ContainerError error = CONTAINER_OK;
  Container* c = container_open(path.c_str(), &error, nullptr);
  if (c) container_read(c, 0, out, n, got);
  container_close(c);
  return error != CONTAINER_ERR_OPEN;
}

void take_root_paths(TrelvikOptions* options) {
  const UnpackedDisc root = unpacked_disc(options->root);
  options->apploader = root.apploader;
  options->main_program = root.main_program;
  options->base_dir = root.files;
}

bool parse_alignment(const std::string& text, uint32_t* alignment) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  unsigned long value = std::stoul(text);
  if (value < MIN_FILE_ALIGNMENT || value > MAX_FILE_ALIGNMENT || (value & (value - 1)) != 0) return false;
  *alignment = uint32_t(value);
  return true;
}

bool default_mode_extras(const TrelvikOptions& options, const BuildSettings& settings,
                         BuildExtras* extras, std::string* error) {
  extras->boot_blocks = true;
  std::memset(extras->boot_bin, 0, sizeof extras->boot_bin);
  std::memset(extras->bi2, 0, sizeof extras->bi2);
  if (!options.header_from.empty()) {
    // What makes a disc that disc, from a GameCube disc only, plain or in a
    // container.
    DiscFileIdentity what = identify_disc_file(options.header_from.c_str());
    if (what.kind != DiscFileKind::GameCubeImage) {
      *error = "the header image " + quoted(options.header_from) + " is not a GameCube disc image" +
               (what.kind == DiscFileKind::WiiImage ? std::string(": a Wii disc")
                                                    : std::string(": ") + what.reason);
      return false;
    }
    uint8_t head[APPLOADER_OFFSET];
    size_t got = 0;
    if (!read_disc_start(options.header_from, head, sizeof head, &got) || got != sizeof head) {
      *error = "the header image " + quoted(options.header_from) +
               " is shorter than a disc's header and bi2 block (0x2440 bytes)";
      return false;
    }
    // The game code, maker and name come with the settings, which the
    // builder writes over the boot block.
    std::memcpy(extras->boot_bin, head, DISC_IDENTITY_SIZE);
    std::memcpy(extras->bi2, head + BI2_OFFSET, BI2_SIZE);
  } else {
    set_region_word(extras->bi2, settings.game_code[3]);
  }
  write_be32(extras->boot_bin + offsetof(DiscHeader, max_fst_size), DEFAULT_MAX_FST_SIZE);
  return true;
}

bool root_settings(const TrelvikOptions& options, BuildSettings* settings, std::vector<std::string>* warnings,
                   std::string* error) {
  BuildSettings disc = {};
  if (!builder_set_unpacked_disc(options.root.c_str(), &disc)) {
    *error = unpacked_disc_message(builder_last_error(), builder_last_error_path(), options);
    return false;
  }
  // The settings as the wizard fills them, boot.bin's fields in place of
  // those the options leave out.
  WizardState state;
  if (!options_to_wizard_state(options, &state, warnings, error)) return false;
  fill_build_settings(state, nullptr, settings);
  if (options.game_id.empty()) std::memcpy(settings->game_code, disc.game_code, 3);
  if (options.maker_id.empty()) std::memcpy(settings->maker_code, disc.maker_code, sizeof disc.maker_code);
  if (options.game_name.empty()) std::memcpy(settings->game_name, disc.game_name, sizeof disc.game_name);
  if (options.region.empty()) {
    settings->game_code[3] = disc.game_code[3];
  } else {
    builder_set_bi2_region(settings->game_code[3]);
  }
  return true;
}

std::string oversize_message(uint64_t end, uint64_t end_with_4) {
  std::string text = "the image would end at " + std::to_string(end) + " bytes, " +
                     std::to_string(end - DISC_IMAGE_SIZE) + " bytes past a full disc (" +
                     std::to_string(DISC_IMAGE_SIZE) + " bytes); nothing was written";
  if (end_with_4 <= DISC_IMAGE_SIZE) {
    text += " (with --align 4 it would end at " + std::to_string(end_with_4) + " bytes and fit)";
  }
  return text + "; --allow-oversize writes it in full";
}

namespace {

std::string shown_image_path(const std::string& cp932) {
  std::string utf8;
  return "'" + (host::cp932_to_utf8(cp932, &utf8) ? utf8 : cp932) + "'";
}

constexpr size_t SHOWN = 10;  // paths listed of each kind; the rest are counted

void add_listed(std::vector<std::string>* lines, const char* what, const std::vector<std::string>& paths,
                size_t count) {
  for (const std::string& path : paths) lines->push_back(std::string(what) + " " + shown_image_path(path));
  if (count > paths.size()) lines->push_back(std::to_string(count - paths.size()) + " more " + what);
}

}  // namespace

std::vector<std::string> rebuild_changes(const SourceNode* root) {
  std::vector<std::string> added, removed;
  size_t added_count = 0;
  std::vector<size_t> lengths;
  std::string path;
  walk_source_nodes(
      root,
      [&](const SourceNode& node) {
        lengths.push_back(path.size());
        path += '/';
        path += node.name;
        if (node.is_new && added_count++ < SHOWN) added.push_back(path);
        return true;
      },
      [&](const SourceNode&) {
        path.resize(lengths.back());
        lengths.pop_back();
      });
  // A removed path is built when asked for: only the ones shown are.
  const size_t removed_count = builder_removed_count();
  for (size_t i = 0; i < removed_count && i < SHOWN; ++i) removed.push_back(builder_removed_path(i));
  std::vector<std::string> lines;
  add_listed(&lines, "added", added, added_count);
  add_listed(&lines, "removed", removed, removed_count);
  return lines;
}
