// Benchmark helper (native only): builds an image of BASE, with the given
// apploader and main program, straight into OUT as KIND (plain, rvz, wia,
// gcz or ciso, each with its writer's defaults), with trelvik-cli's default
// options (the disc magic, the folders' parent links, the format's own
// table limits); maximised unless --no-maximise is given.
//   build_into_tool APPLOADER MAIN_PROGRAM BASE OUT KIND [--no-maximise]
#include <cstdio>
#include <cstring>

#include "builder/builder.h"
#include "disc/disc_format.h"

namespace {

bool copy_path(char (&field)[BUILD_PATH_CAPACITY], const char* path) {
  if (std::strlen(path) >= sizeof field) return false;
  std::strcpy(field, path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool maximise = !(argc == 7 && std::strcmp(argv[6], "--no-maximise") == 0);
  const struct {
    const char* name;
    ContainerKind kind;
  } kinds[] = {{"plain", CONTAINER_PLAIN}, {"rvz", CONTAINER_RVZ}, {"wia", CONTAINER_WIA},
               {"gcz", CONTAINER_GCZ}, {"ciso", CONTAINER_CISO}};
  int kind = -1;
  for (int i = 0; argc >= 6 && i < 5; ++i) {
    if (std::strcmp(argv[5], kinds[i].name) == 0) kind = i;
  }
  BuildSettings settings = {};
  if ((argc != 6 && maximise) || kind < 0 || !copy_path(settings.apploader_path, argv[1]) ||
      !copy_path(settings.main_program_path, argv[2]) || !copy_path(settings.base_directory, argv[3]) ||
      !copy_path(settings.output_path, argv[4])) {
    std::fprintf(stderr,
                 "usage: build_into_tool APPLOADER MAIN_PROGRAM BASE OUT plain|rvz|wia|gcz|ciso [--no-maximise]\n");
    return 2;
  }
  std::memcpy(settings.game_code, "BNCE", 4);
  std::memcpy(settings.maker_code, "01", 2);
  std::strcpy(settings.game_name, "Build bench");
  settings.max_fst_size = DEFAULT_MAX_FST_SIZE;

  builder_reset();
  builder_set_disc_magic(true);
  builder_set_folder_parent_links(true);
  builder_set_format_limits(true);
  if (!builder_set_output_format(container_write_defaults(kinds[kind].kind)) || !builder_prepare(&settings) ||
      !builder_write_image(maximise)) {
    std::fprintf(stderr, "builder code %u %s %s\n", builder_last_error(), builder_last_error_path(),
                 builder_last_error_detail());
    builder_reset();
    return 1;
  }
  builder_reset();
  return 0;
}
