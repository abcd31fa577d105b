// ombrel-cli: reads a GameCube disc image from the command line. A thin front
// end over the reader engine; the logic lives in ombrel_options,
// ombrel_output, ombrel_extract and ombrel_banner.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/console_progress.h"
#include "cli/console_text.h"
#include "cli/ombrel_banner.h"
#include "cli/ombrel_extract.h"
#include "cli/ombrel_options.h"
#include "cli/ombrel_output.h"
#include "disc/disc_format.h"
#include "reader/reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

OmbrelOptions g_options;
ExtractionProgress g_progress;
bool g_show_bar = false;
bool g_bar_on_screen = false;
std::string g_last_started;  // host path of the file being copied

const int BAR_WIDTH = 30;

void print_error(const std::string& text) {
  if (g_bar_on_screen) std::fputs("\n", stderr);
  g_bar_on_screen = false;
  std::fprintf(stderr, "ombrel-cli: error: %s\n", text.c_str());
}

// A host path quoted for a message.
std::string shown(const std::string& path) { return "'" + host_path_for_display(path) + "'"; }
// An in-image path quoted for a message, its names in UTF-8.
std::string shown_in_image(const std::string& path) {
  return "'" + image_path_for_display(path) + "'";
}

// The reader's text for its last code, in UTF-8, with the code.
std::string reader_error() {
  return system_text_utf8(IsoGetErrorText()) + " (code " + std::to_string(IsoGetLastError()) + ")";
}

void draw_bar() {
  std::fprintf(stderr, "\r%s", progress_line(g_progress.job, BAR_WIDTH).c_str());
  std::fflush(stderr);
  g_bar_on_screen = true;
  progress_mark_drawn(&g_progress.job, steady_now_ms());
}

void on_file_started(const char* destination) {
  g_last_started = destination ? destination : "";
  extraction_file_started(&g_progress);
}

void on_progress(int percent) {
  extraction_file_progress(&g_progress, percent);
  if (g_show_bar && progress_should_redraw(g_progress.job, steady_now_ms())) draw_bar();
}

void on_file_finished() {
  extraction_file_finished(&g_progress);
  if (g_show_bar && progress_should_redraw(g_progress.job, steady_now_ms())) draw_bar();
}

void on_operation_finished() {
  if (!g_show_bar) return;
  draw_bar();
  std::fputs("\n", stderr);
  g_bar_on_screen = false;
}

// Writes text to stdout; false when the output cannot take it.
bool print_out(const std::string& text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) return false;
  return std::fflush(stdout) == 0;
}

#ifdef _WIN32
// The tool prints UTF-8; a Windows console shows it as such only while its
// output code page is UTF-8, so that is set for the run and put back after.
UINT g_console_code_page = 0;

void restore_console_code_page() {
  if (g_console_code_page) SetConsoleOutputCP(g_console_code_page);
}

void use_utf8_console() {
  g_console_code_page = GetConsoleOutputCP();  // 0 without a console
  if (g_console_code_page && g_console_code_page != CP_UTF8) {
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(restore_console_code_page);
  }
}
#endif

int finish_output(const std::string& text) {
  if (print_out(text)) return EXIT_OMBREL_OK;
  print_error("cannot write the output");
  return EXIT_OMBREL_FAILED;
}

int run_info() { return finish_output(format_disc_info(read_disc_info())); }

int run_list() {
  const std::string& path = g_options.image_path;
  if (path == "/") {
    return finish_output(list_entries(IsoGetRoot()->firstChild, path, g_options.recursive));
  }
  const FstNode* node = find_entry(path);
  if (!node) {
    print_error(shown_in_image(path) + " is neither a folder nor a file in the image");
    return EXIT_OMBREL_FAILED;
  }
  if (!node->isDirectory) return finish_output(entry_line(*node, path));
  return finish_output(list_entries(node->firstChild, path, g_options.recursive));
}

// Creates the destination folder when it is missing.
bool prepare_destination(const std::string& folder) {
  HostPathKind kind = host_path_kind(folder);
  if (kind == HostPathKind::Folder) return true;
  if (kind == HostPathKind::File) {
    print_error("the destination " + shown(folder) + " is a file, not a folder");
    return false;
  }
  if (!make_folders(folder)) {
    print_error("cannot create the destination folder " + shown(folder));
    return false;
  }
  return true;
}

int run_extract() {
  const std::string& path = g_options.image_path;
  const std::string& dest = g_options.destination;
  const FstNode* folder = path == "/" ? IsoGetRoot() : IsoFindDirectory(path.c_str(), 0);
  uint32_t offset = 0, size = 0;
  bool is_file = !folder && IsoFindFile(path.c_str(), &offset, &size, 1);
  if (!folder && !is_file) {
    print_error(shown_in_image(path) + " is neither a folder nor a file in the image");
    return EXIT_OMBREL_FAILED;
  }

  // What will be written, checked before anything is.
  std::string name = folder ? (path == "/" ? std::string() : std::string(folder->name))
                            : last_path_component(path);
  if (path != "/" && !IsoIsSafeHostName(name.c_str())) {
    print_error(shown_in_image(path) +
                " has a name that cannot be used as a file name here; nothing extracted");
    return EXIT_OMBREL_FAILED;
  }
  std::string target = path == "/" ? dest : join_host_path(dest, name);
  ExtractionCheck check;
  if (folder) {
    if (path != "/" && host_path_kind(target) == HostPathKind::File) {
      print_error(shown(target) + " exists and is not a folder; nothing extracted");
      return EXIT_OMBREL_FAILED;
    }
    check_extraction(folder->firstChild, path, target, &check);
    if (!check.unsafe_entry.empty()) {
      print_error(shown_in_image(check.unsafe_entry) +
                  " has a name that cannot be used as a file name here; nothing extracted");
      return EXIT_OMBREL_FAILED;
    }
    if (!check.conflict.empty()) {
      print_error(shown(check.conflict) +
                  " exists already and would stop the extraction there; nothing extracted "
                  "(remove it or choose another destination)");
      return EXIT_OMBREL_FAILED;
    }
  } else {
    if (host_path_kind(target) == HostPathKind::Folder) {
      print_error(shown(target) + " exists and is a folder; nothing extracted");
      return EXIT_OMBREL_FAILED;
    }
    check.total_bytes = size;
    check.file_sizes.push_back(size);
  }
  if (!prepare_destination(dest)) return EXIT_OMBREL_FAILED;

  extraction_progress_init(&g_progress, check);
  g_show_bar = isatty(2) != 0;
  IsoSetCallbacks(on_file_started, on_progress, on_file_finished, on_operation_finished);
  bool ok = folder ? IsoExtractDirectory(path.c_str(), dest.c_str())
                   : IsoExtractFile(path.c_str(), target.c_str());
  IsoSetCallbacks(nullptr, nullptr, nullptr, nullptr);
  if (!ok) {
    std::string where = g_last_started.empty() ? "" : " (at " + shown(g_last_started) + ")";
    print_error("cannot extract " + shown_in_image(path) + " into " + shown(dest) + ": " +
                reader_error() + where);
    return EXIT_OMBREL_FAILED;
  }
  return EXIT_OMBREL_OK;
}

int run_system() {
  const std::string& dest = g_options.destination;
  if (!prepare_destination(dest)) return EXIT_OMBREL_FAILED;
  const char* file_name = system_area_file_name(g_options.area);
  std::string target = join_host_path(dest, file_name);
  bool ok = false;
  switch (g_options.area) {
    case SystemArea::Boot: ok = IsoExtractBootData(target.c_str()); break;
    case SystemArea::Fst: ok = IsoExtractFst(target.c_str()); break;
    case SystemArea::Apploader: ok = IsoExtractApploader(target.c_str()); break;
    case SystemArea::MainProgram: ok = IsoExtractMainProgram(target.c_str()); break;
  }
  if (!ok) {
    print_error("cannot write " + shown(target) + ": " + reader_error());
    return EXIT_OMBREL_FAILED;
  }
  return EXIT_OMBREL_OK;
}

int run_banner() {
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(BANNER_PATH, &offset, &size, 0)) {
    print_error(std::string("the image has no banner file ") + BANNER_PATH);
    return EXIT_OMBREL_FAILED;
  }
  std::vector<uint8_t> rgb;
  std::string png, error;
  if (!render_banner_rgb(&rgb, &error)) {
    print_error(error);
    return EXIT_OMBREL_FAILED;
  }
  if (!encode_png_rgb(rgb, BANNER_WIDTH, BANNER_HEIGHT, &png)) {
    print_error("cannot encode the banner as PNG");
    return EXIT_OMBREL_FAILED;
  }
  if (!write_host_file(g_options.destination, png)) {
    print_error("cannot write " + shown(g_options.destination));
    return EXIT_OMBREL_FAILED;
  }
  return EXIT_OMBREL_OK;
}

}  // namespace

int main(int argc, char** argv) {
  // Paths stay as the host gives them (on Windows the ANSI code page the
  // reader's file functions expect); in-image paths are compared as bytes.
#ifdef _WIN32
  use_utf8_console();
#endif
  std::string error;
  if (!parse_ombrel_args(std::vector<std::string>(argv + 1, argv + argc), &g_options, &error)) {
    print_error(error);
    return EXIT_OMBREL_USAGE;
  }
  if (g_options.help) {
    std::fputs(ombrel_usage(), stdout);
    return EXIT_OMBREL_OK;
  }
  // Names inside images are code page 932; the path is looked up as such.
  g_options.image_path = image_path_from_host_text(g_options.image_path);

  IsoReset();
  if (!IsoMount(g_options.image.c_str(), g_options.strict_size ? 0 : 1)) {
    print_error("cannot read the image " + shown(g_options.image) + ": " + reader_error());
    IsoReset();
    return EXIT_OMBREL_FAILED;
  }

  int status = EXIT_OMBREL_FAILED;
  switch (g_options.command) {
    case OmbrelCommand::Info: status = run_info(); break;
    case OmbrelCommand::List: status = run_list(); break;
    case OmbrelCommand::Extract: status = run_extract(); break;
    case OmbrelCommand::System: status = run_system(); break;
    case OmbrelCommand::Banner: status = run_banner(); break;
    case OmbrelCommand::None: break;
  }
  IsoReset();
  return status;
}
