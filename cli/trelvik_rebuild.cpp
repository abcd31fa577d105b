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

std::string join(const std::string& folder, const char* name) {
  return folder + host::PATH_SEPARATOR + name;
}

// Reads a whole file that must have exactly size bytes.
bool read_exactly(const std::string& path, uint8_t* out, size_t size, std::string* error) {
  host::File* f = host::file_open_read(path.c_str());
  if (!f) {
    *error = quoted(path) + " " + input_problem_text(path);
    return false;
  }
  uint64_t length = 0;
  bool ok = host::file_length(f, &length) && length == size && host::file_read(f, out, size);
  host::file_close(f);
  if (!ok) *error = quoted(path) + " must hold exactly " + std::to_string(size) + " bytes";
  return ok;
}

bool read_whole(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  host::File* f = host::file_open_read(path.c_str());
  uint64_t length = 0;
  bool ok = f && host::file_length(f, &length) && length <= FST_MAX_READ_SIZE;
  if (ok) {
    out->resize(size_t(length));
    ok = host::file_read(f, out->data(), out->size());
  }
  if (f) host::file_close(f);
  if (!ok) *error = "cannot read " + quoted(path);
  return ok;
}


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

RootFiles root_files(const std::string& root) {
  const std::string sys = join(root, "sys");
  return {join(sys, "boot.bin"), join(sys, "bi2.bin"), join(sys, "apploader.img"),
          join(sys, "main.dol"), join(sys, "fst.bin"), join(root, "files")};
}

bool root_has_no_main_program(const RootFiles& root) {
  const char* path = root.main_program.c_str();
  return host::path_kind(path) == host::PathKind::Missing && !host::path_is_link(path);
}

void take_root_paths(TrelvikOptions* options) {
  const RootFiles root = root_files(options->root);
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

bool root_settings(const TrelvikOptions& options, BuildSettings* settings, BuildExtras* extras,
                   std::vector<std::string>* warnings, std::string* error) {
  const RootFiles root = root_files(options.root);
  extras->boot_blocks = true;
  if (!read_exactly(root.boot_bin, extras->boot_bin, sizeof extras->boot_bin, error) ||
      !read_exactly(root.bi2, extras->bi2, sizeof extras->bi2, error)) {
    return false;
  }
  if (host::path_kind(root.files.c_str()) != host::PathKind::Folder) {
    *error = "the unpacked disc has no folder " + quoted(root.files);
    return false;
  }
  // The settings as the wizard fills them, boot.bin's fields in place of
  // those the options leave out.
  WizardState state;
  if (!options_to_wizard_state(options, &state, warnings, error)) return false;
  fill_build_settings(state, nullptr, settings);
  const uint8_t* boot = extras->boot_bin;
  if (options.game_id.empty()) std::memcpy(settings->game_code, boot, 3);
  if (options.region.empty()) settings->game_code[3] = char(boot[3]);
  if (options.maker_id.empty()) std::memcpy(settings->maker_code, boot + 4, 2);
  if (options.game_name.empty())
    std::memcpy(settings->game_name, boot + offsetof(DiscHeader, game_name), sizeof settings->game_name);
  // A new region letter takes its region word with it.
  if (!options.region.empty()) set_region_word(extras->bi2, settings->game_code[3]);

  extras->without_main_program = root_has_no_main_program(root);
  if (host::path_kind(root.fst.c_str()) != host::PathKind::Missing &&
      !read_whole(root.fst, &extras->previous_table, error)) {
    return false;
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
