// trelvik-cli: builds a GameCube disc image from the command line. A thin
// front end over the builder engine; the logic lives in trelvik_options and
// console_progress.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "cli/command_line.h"
#include "cli/console_progress.h"
#include "cli/console_text.h"
#include "container/codec_versions.h"
#include "cli/trelvik_edit.h"
#include "cli/trelvik_options.h"
#include "cli/trelvik_rebuild.h"
#include "container/container_writer.h"
#include "host/host_fs.h"
#include "host/host_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

TrelvikOptions g_options;
JobProgress g_job;
TerminalBar g_bar = {&g_job, false, false};
std::string g_last_log_line;

void print_error(const std::string& text) { print_message(&g_bar, "trelvik-cli: error: ", text); }
void print_warning(const std::string& text) { print_message(&g_bar, "trelvik-cli: warning: ", text); }
void print_note(const std::string& text) {
  if (!g_options.quiet) print_message(&g_bar, "trelvik-cli: ", text);
}

void on_log(const char* text) {
  std::time_t t = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  g_last_log_line = utf8_log_line(utc.tm_hour, utc.tm_min, utc.tm_sec, text);
  if (g_options.quiet) return;
  bar_erase(&g_bar);
  std::printf("%s\n", g_last_log_line.c_str());
  std::fflush(stdout);
  if (g_bar.shown) bar_draw(&g_bar);
}

void on_progress(int, uint32_t bytes) {
  job_progress_report(&g_job, bytes);
  bar_update(&g_bar);
}

void on_file_done() { job_progress_item_done(&g_job); }

void on_finished() { bar_finish(&g_bar); }

// What a build that stops leaves at the output: the image goes to a
// temporary file that the builder removes, so an existing image stays as it
// was. Empty for a device, which is written in place.
std::string output_left_text() {
  const std::string shown = "'" + host_path_for_display(g_options.output) + "'";
  switch (host::entry_kind(g_options.output.c_str())) {
    case host::EntryKind::Missing: return "no image was written to " + shown;
    case host::EntryKind::Other: return "";
    default: return "the previous " + shown + " is left as it was";
  }
}

// Stops a build that has not written its image: the builder removes the
// unfinished one.
void discard_build() {
  builder_reset();
  const std::string left = output_left_text();
  if (!left.empty()) std::fprintf(stderr, "trelvik-cli: %s\n", left.c_str());
}

// Opens an input once: false, with what is wrong with it, when it cannot be
// opened.
bool can_open(const std::string& path, std::string* problem) {
  host::File* f = host::file_open_read(path.c_str());
  if (!f) {
    *problem = input_problem_text(path);
    return false;
  }
  host::file_close(f);
  return true;
}

// The input that trelvik-cli reads itself (the header image, an unpacked
// disc's boot.bin, bi2.bin and fst.bin) which the output would replace;
// empty when there is none. The builder checks its own inputs.
std::string input_the_output_replaces() {
  host::FileId output, input;
  if (!host::path_identity(g_options.output.c_str(), &output)) return "";
  std::vector<std::string> own = {g_options.header_from};
  if (!g_options.root.empty()) {
    const UnpackedDisc root = unpacked_disc(g_options.root);
    own.insert(own.end(), {root.boot_bin, root.bi2, root.fst});
  }
  for (const std::string& path : own) {
    if (!path.empty() && host::path_identity(path.c_str(), &input) && input == output) return path;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::vector<std::string> args = host::utf8_arguments(argc, argv);
  if (!args.empty() && args[0] == "edit") {
    return trelvik_edit_main(std::vector<std::string>(args.begin() + 1, args.end()),
                             std::vector<std::string>(argv + 2, argv + argc));
  }
  if (!parse_trelvik_args(args, &g_options, &error)) {
    print_error(error);
    return EXIT_TOOL_USAGE;
  }
#ifdef _WIN32
  // Header texts are taken as UTF-8; paths stay in the ANSI code page that
  // the host's file functions expect.
  TrelvikOptions ansi;
  if (parse_trelvik_args(std::vector<std::string>(argv + 1, argv + argc), &ansi, &error)) {
    g_options.apploader = ansi.apploader;
    g_options.main_program = ansi.main_program;
    g_options.base_dir = ansi.base_dir;
    g_options.output = ansi.output;
    g_options.header_from = ansi.header_from;
    g_options.root = ansi.root;
  }
#endif
  if (g_options.help || g_options.version) {
    std::fputs(g_options.help ? trelvik_usage().c_str() : version_text("trelvik-cli", codec_versions()).c_str(),
               stdout);
    return EXIT_TOOL_OK;
  }
  const bool rebuild = !g_options.root.empty();

  // The command line's own values first: a wrong one is a wrong command
  // line, whatever the inputs hold.
  uint32_t alignment = 0;  // the builder's default unless --align
  {
    WizardState state;
    std::vector<std::string> unused;
    if (!options_to_wizard_state(g_options, &state, &unused, &error)) {
      print_error(error);
      return EXIT_TOOL_USAGE;
    }
    if (!g_options.align.empty() && !parse_alignment(g_options.align, &alignment)) {
      print_error("--align takes a power of two from 4 to 32768, not '" + g_options.align + "'");
      return EXIT_TOOL_USAGE;
    }
  }

  // The output's kind and settings are the command line's too.
  ContainerWriteOptions format;
  const ContainerWriteRequest request = {g_options.format, g_options.compression, g_options.level,
                                         g_options.block_size, false};
  if (!container_write_options_for(g_options.output.c_str(), request, &format, &error)) {
    print_error(error);
    return EXIT_TOOL_USAGE;
  }

  // An unpacked disc is taken first, so that a folder that is none is named
  // as such before any of its files.
  BuildSettings settings;
  // The header image's first bytes in default mode, for the boot blocks.
  uint8_t other_disc[APPLOADER_OFFSET];
  std::vector<std::string> warnings;
  builder_reset();
  if (rebuild && !root_settings(g_options, &settings, &warnings, &error)) {
    print_error(error);
    builder_reset();
    return EXIT_TOOL_FAILED;
  }

  // The inputs are looked at before anything is read or written.
  const bool no_main_program = rebuild && unpacked_disc(g_options.root).without_main_program;
  struct Input {
    const char* what;
    std::string path;
  } inputs[] = {{"the header image", g_options.header_from},
                {"the apploader", g_options.apploader},
                {"the main program", no_main_program ? std::string() : g_options.main_program}};
  for (Input& in : inputs) {
    std::string problem;
    if (!in.path.empty() && !can_open(in.path, &problem)) {
      print_error(std::string(in.what) + " '" + host_path_for_display(in.path) + "' " + problem);
      builder_reset();
      return EXIT_TOOL_FAILED;
    }
  }
  const std::string replaced = input_the_output_replaces();
  if (!replaced.empty()) {
    print_error("the output '" + host_path_for_display(g_options.output) + "' " +
                output_clash_text(g_options, replaced) +
                "; nothing was written (choose another output)");
    builder_reset();
    return EXIT_TOOL_FAILED;
  }

  bool filled = rebuild || options_to_build_settings(g_options, &settings, &warnings, &error, other_disc);
  if (!filled) {
    print_error(error);
    builder_reset();
    return EXIT_TOOL_FAILED;
  }
  // A cut text is told even with --quiet: the image holds something else
  // than was asked for.
  for (const std::string& w : warnings) print_warning(w);
  if (format.kind != CONTAINER_PLAIN) print_note("writing " + container_write_summary(format));

  // An interruption removes the unfinished image; the output is untouched
  // until the image is complete.
  const std::string left = output_left_text();
  if (!g_options.dry_run) {
    host::set_interrupt_message(left.empty() ? "\ntrelvik-cli: interrupted\n"
                                             : ("\ntrelvik-cli: interrupted; " + left + "\n").c_str());
    host::install_interrupt_cleanup();
  }

  builder_set_disc_magic(g_options.disc_magic);
  builder_set_folder_parent_links(g_options.disc_magic);
  builder_set_format_limits(g_options.disc_magic);
  builder_set_dry_run(g_options.dry_run);
  // --root's boot blocks came with the unpacked disc.
  if (!rebuild && g_options.disc_magic) {
    builder_set_new_disc_boot_blocks(g_options.header_from.empty() ? nullptr : other_disc,
                                     settings.game_code[3]);
  }
  builder_set_file_alignment(alignment);
  if ((format.kind != CONTAINER_PLAIN && !builder_set_output_format(format)) || !builder_prepare(&settings)) {
    uint16_t code = builder_last_error();
    print_error(build_error_message(code, g_options, g_last_log_line, builder_last_error_path()));
    discard_build();
    return EXIT_TOOL_FAILED;
  }
  for (const std::string& w : name_form_warnings(builder_tree())) print_warning(w);
  if (rebuild) {
    for (const std::string& line : rebuild_changes()) print_note(line);
  }
  // Content past a full disc is refused in default mode, unless asked for;
  // nothing has been written, which the refusal says.
  if (g_options.disc_magic && !g_options.allow_oversize && builder_content_end() > DISC_IMAGE_SIZE) {
    print_error(oversize_message("the image", builder_content_end(), builder_content_end_with_alignment(4),
                                 "writes it in full"));
    builder_reset();
    return EXIT_TOOL_FAILED;
  }
  const host::EntryKind existing = host::entry_kind(g_options.output.c_str());
  const bool replaces = existing == host::EntryKind::File || existing == host::EntryKind::Link;
  if (g_options.dry_run) {
    const uint64_t end = builder_content_end();
    const uint64_t size = g_options.maximise && end < DISC_IMAGE_SIZE ? DISC_IMAGE_SIZE : end;
    std::printf("would %s '%s' (%s): %s and %s; nothing written (dry run)\n", replaces ? "replace" : "write",
                host_path_for_display(g_options.output).c_str(), counted(size, "byte", "bytes").c_str(),
                counted(builder_file_count(), "file", "files").c_str(),
                counted(builder_directory_count(), "folder", "folders").c_str());
    builder_reset();
    return std::fflush(stdout) == 0 ? EXIT_TOOL_OK : EXIT_TOOL_FAILED;
  }
  if (replaces) print_note("replacing the existing image '" + host_path_for_display(g_options.output) + "'");

  job_progress_init(&g_job, builder_copy_bytes(), builder_file_count(), g_options.maximise);
  g_bar.shown = !g_options.quiet && isatty(2);
  builder_set_callbacks(on_log, on_progress, on_file_done, on_finished);

  if (!builder_write_image(g_options.maximise)) {
    uint16_t code = builder_last_error();
    print_error(build_error_message(code, g_options, g_last_log_line, builder_last_error_path()));
    // A complete image kept aside is named in the error; nothing else is left.
    if (code != BUILD_ERR_OUTPUT_IN_USE) discard_build();
    return EXIT_TOOL_FAILED;
  }
  builder_reset();
  return EXIT_TOOL_OK;
}
