// A disc unpacked into a folder, taken as the disc being rebuilt: its boot
// blocks, its old file system table, whether it has a main program, and
// where its apploader, main program and files are.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "builder/builder_state.h"
#include "disc/table_walk.h"

UnpackedDisc unpacked_disc(const std::string& folder) {
  auto join = [](const std::string& path, const char* name) { return path + host::PATH_SEPARATOR + name; };
  const std::string sys = join(folder, UNPACKED_SYS_FOLDER);
  UnpackedDisc disc;
  disc.boot_bin = join(sys, UNPACKED_BOOT_BIN);
  disc.bi2 = join(sys, UNPACKED_BI2);
  disc.apploader = join(sys, UNPACKED_APPLOADER);
  disc.main_program = join(sys, UNPACKED_MAIN_DOL);
  disc.fst = join(sys, UNPACKED_FST);
  disc.files = join(folder, UNPACKED_FILES_FOLDER);
  disc.has_sys_folder = host::path_kind(sys.c_str()) == host::PathKind::Folder;
  const char* main_program = disc.main_program.c_str();
  disc.without_main_program =
      host::path_kind(main_program) == host::PathKind::Missing && !host::path_is_link(main_program);
  return disc;
}

namespace {

// Reads a whole file that must have size bytes, or shorter ones when it is
// at least that long; what it does not hold stays zero.
bool read_exactly(const std::string& path, uint8_t* out, size_t size, size_t shorter = 0) {
  std::memset(out, 0, size);
  host::File* f = host::file_open_read(path.c_str());
  if (!f) return builder_fail_on_path(BUILD_ERR_OPEN_INPUT, path.c_str());
  uint64_t length = 0;
  const bool sized = host::file_length(f, &length) && (length == size || (shorter && length == shorter));
  const bool read = sized && host::file_read(f, out, size_t(length));
  host::file_close(f);
  if (!sized) return builder_fail_on_path(BUILD_ERR_UNPACKED_FILE_SIZE, path.c_str());
  return read || builder_fail_on_path(BUILD_ERR_READ, path.c_str());
}

// The old table at path, when there is one, as the previous table. Its size
// is checked before anything is allocated for it.
bool take_previous_table(const std::string& path) {
  clear_previous_table();
  if (host::path_kind(path.c_str()) == host::PathKind::Missing) return true;
  host::File* f = host::file_open_read(path.c_str());
  uint64_t length = 0;
  FstEntry root = {};
  uint32_t count = 0;
  bool read = f && host::file_length(f, &length) &&
              (length < sizeof root || host::file_read(f, &root, sizeof root));
  uint8_t* bytes = nullptr;
  if (read && table_entry_count(root, length, &count)) {
    bytes = static_cast<uint8_t*>(builder_alloc(size_t(length)));
    if (!bytes) {
      host::file_close(f);
      return false;  // code 1 recorded
    }
    std::memcpy(bytes, &root, sizeof root);
    read = host::file_read(f, bytes + sizeof root, size_t(length) - sizeof root);
  }
  if (f) host::file_close(f);
  if (!read) {
    std::free(bytes);
    return builder_fail_on_path(BUILD_ERR_READ, path.c_str());
  }
  if (!bytes) return builder_fail_on_path(BUILD_ERR_NOT_A_TABLE, path.c_str());
  // The walk records code 1 when memory runs out, and no code for bytes
  // that are no table.
  g_builder.last_error = BUILD_OK;
  if (adopt_previous_table(bytes, size_t(length))) return true;
  const bool out_of_memory = builder_last_error() == BUILD_ERR_NO_MEMORY;
  return builder_fail_on_path(out_of_memory ? BUILD_ERR_NO_MEMORY : BUILD_ERR_NOT_A_TABLE, path.c_str());
}

}  // namespace

bool builder_set_unpacked_disc(const char* folder, BuildSettings* settings, UnpackedDiscTyped typed) {
  const UnpackedDisc disc = unpacked_disc(folder);
  uint8_t boot_bin[BOOT_BIN_SIZE], bi2[BI2_SIZE];
  // A boot.bin of the header alone (ombrel-cli sys boot writes 0x430 bytes)
  // takes the 16 bytes behind it as the builder writes them: zero.
  if (!read_exactly(disc.boot_bin, boot_bin, sizeof boot_bin, DISC_HEADER_SIZE) ||
      !read_exactly(disc.bi2, bi2, sizeof bi2))
    return false;
  if (host::path_kind(disc.files.c_str()) != host::PathKind::Folder)
    return builder_fail_on_path(BUILD_ERR_ENTER_BASE_DIRECTORY, disc.files.c_str());
  struct {
    char* field;
    const std::string& path;
  } paths[] = {{settings->apploader_path, disc.apploader},
               {settings->main_program_path, disc.main_program},
               {settings->base_directory, disc.files}};
  for (const auto& p : paths) {
    if (p.path.size() >= BUILD_PATH_CAPACITY) return builder_fail_on_path(BUILD_ERR_PATH_TOO_LONG, p.path.c_str());
  }
  if (!take_previous_table(disc.fst)) return false;
  for (const auto& p : paths) std::memcpy(p.field, p.path.c_str(), p.path.size() + 1);
  const uint8_t* game_code = boot_bin + offsetof(DiscHeader, game_code);
  if (!typed.game_code) std::memcpy(settings->game_code, game_code, 3);
  if (!typed.region_letter) settings->game_code[3] = char(game_code[3]);
  if (!typed.maker_code)
    std::memcpy(settings->maker_code, boot_bin + offsetof(DiscHeader, maker_code), sizeof settings->maker_code);
  if (!typed.game_name)
    std::memcpy(settings->game_name, boot_bin + offsetof(DiscHeader, game_name), sizeof settings->game_name);
  builder_set_boot_blocks(boot_bin, bi2);
  if (typed.region_letter) builder_set_bi2_region(settings->game_code[3]);
  builder_set_without_main_program(disc.without_main_program);
  return true;
}
