// ombrel-cli: reads a GameCube disc image from the command line. A thin front
// end over the reader engine; the logic lives in ombrel_options,
// ombrel_output, ombrel_extract and ombrel_banner.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/console_progress.h"
#include "cli/console_text.h"
#include "cli/engine_texts.h"
#include "container/codec_versions.h"
#include "container/disc_dat.h"
#include "container/disc_hash.h"
#include "cli/ombrel_banner.h"
#include "cli/ombrel_extract.h"
#include "cli/ombrel_options.h"
#include "cli/ombrel_output.h"
#include "disc/disc_format.h"
#include "container/container.h"
#include "container/container_writer.h"
#include "container/disc_identify.h"
#include "host/host_fs.h"
#include "reader/reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

OmbrelOptions g_options;
ExtractionProgress g_progress;
TerminalBar g_bar = {&g_progress.job, false, false};
std::string g_last_started;  // host path of the file being copied

void print_error(const std::string& text) { print_message(&g_bar, "ombrel-cli: error: ", text); }
void print_warning(const std::string& text) { print_message(&g_bar, "ombrel-cli: warning: ", text); }

// An in-image path quoted for a message, its names in UTF-8.
std::string shown_in_image(const std::string& path) {
  return "'" + image_path_for_display(path) + "'";
}

// The reader's last code in English, with what it is about and the code.
std::string reader_error() {
  const int code = IsoGetLastError();
  std::string text = reader_code_text(code);
  const std::string detail = IsoGetErrorDetail();
  // A kept copy's path is a host path, shown as one.
  if (!detail.empty()) text += ": " + (code == IsoErrDestinationInUse ? quoted_host_path(detail) : detail);
  return text + reader_code_suffix(code);
}

// A copy that failed, said by its side: the image could not be read, or the
// target not written.
std::string copy_failure(const std::string& target) {
  return (IsoLastErrorIsRead() ? "cannot read the image for " : "cannot write ") + quoted_host_path(target) + ": " +
         reader_error();
}

void on_file_started(const char* destination) {
  g_last_started = destination ? destination : "";
  extraction_file_started(&g_progress);
}

void on_progress(int percent) {
  extraction_file_progress(&g_progress, percent);
  bar_update(&g_bar);
}

void on_file_finished() {
  extraction_file_finished(&g_progress);
  bar_update(&g_bar);
}

void on_operation_finished() { bar_finish(&g_bar); }

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

int fail_output() {
  print_error("cannot write the output");
  return EXIT_TOOL_FAILED;
}

// A dry run's line for each target a plan looks at.
void print_target(const char* path, uint8_t is_folder, uint32_t size, uint8_t exists) {
  std::string line;
  if (is_folder) {
    line = (exists ? "would write into the folder " : "would create the folder ") + quoted_host_path(path);
  } else if (exists && !g_options.overwrite) {
    line = quoted_host_path(path) + " exists already";
  } else {
    line = (exists ? "would replace " : "would write ") + quoted_host_path(path) + " (" + counted(size, "byte", "bytes") + ")";
  }
  print_out(line + "\n");
}

// The progress bar runs on a terminal unless --quiet.
void start_bar() { g_bar.shown = !g_options.quiet && isatty(2) != 0; }

int finish_output(const std::string& text) { return print_out(text) ? EXIT_TOOL_OK : fail_output(); }

// An image that ends before its files do (a cut download) is still read, as
// far as it goes, with a warning.
void warn_of_files_past_end() {
  uint64_t needed = 0;
  const uint32_t count = IsoCountFilesPastEnd(&needed);
  if (count == 0) return;
  print_warning("the image ends at " + std::to_string(IsoGetImageSize()) + " bytes, before " +
                counted(count, "file", "files") + " of its file table end; it should be at least " +
                std::to_string(needed) + " bytes (a cut download or copy?)");
}

int run_info() {
  warn_of_files_past_end();
  DiscInfo info = read_disc_info();
  return finish_output(g_options.json ? format_disc_info_json(info) : format_disc_info(info));
}

int run_list() {
  warn_of_files_past_end();
  const std::string& path = g_options.image_path;
  const FstNode* first = IsoGetRoot()->firstChild;
  if (path != "/") {
    const FstNode* node = IsoFindEntry(path.c_str());
    if (!node) {
      print_error(shown_in_image(path) + " is neither a folder nor a file in the image");
      return EXIT_TOOL_FAILED;
    }
    if (!node->isDirectory) return finish_output(entry_line(*node, path));
    first = node->firstChild;
  }
  // Line by line, so that memory does not grow with the listing.
  bool written = write_entries(first, path, g_options.recursive, [](const std::string& line) {
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
  });
  return written ? finish_output("") : fail_output();
}

// Creates the destination folder when it is missing.
bool prepare_destination(const std::string& folder) {
  switch (host::path_kind(folder.c_str())) {
    case host::PathKind::Folder: return true;
    case host::PathKind::Missing: break;
    case host::PathKind::Other:
      print_error("the destination " + quoted_host_path(folder) + " is a FIFO, socket or device, not a folder");
      return false;
    default:
      print_error("the destination " + quoted_host_path(folder) + " is not a folder");
      return false;
  }
  if (!host::make_folders(folder.c_str())) {
    print_error("cannot create the destination folder " + quoted_host_path(folder));
    return false;
  }
  return true;
}

// A plan that replaces what exists only when asked to; a dry run lists its
// targets.
IsoExtractionPlan start_plan() {
  IsoExtractionPlan plan;
  IsoPlanStart(&plan, g_options.overwrite ? 1 : 0);
  if (g_options.dry_run) plan.onTarget = print_target;
  return plan;
}

// Stops with the plan's message when it found something in the way.
bool plan_allows(const IsoExtractionPlan& plan) {
  if (plan.stop == IsoPlanGo) return true;
  print_error(plan_stop_message(plan));
  return false;
}

// The end of a dry run whose plan allows the work: what it comes to.
int finish_dry_run(const IsoExtractionPlan& plan) {
  return finish_output(counted(plan.fileSizes.size(), "file", "files") + ", " +
                       counted(plan.totalBytes, "byte", "bytes") + "; nothing written (dry run)\n");
}

// Writes what the plan allows into the folder dest, with the bar, or for a
// dry run says what it comes to.
template <typename Work>
int write_planned(const IsoExtractionPlan& plan, const std::string& dest, const char* failure, Work work) {
  if (!plan_allows(plan)) return EXIT_TOOL_FAILED;
  if (g_options.dry_run) return finish_dry_run(plan);
  if (!prepare_destination(dest)) return EXIT_TOOL_FAILED;
  extraction_progress_init(&g_progress, plan);
  start_bar();
  IsoSetCallbacks(on_file_started, on_progress, on_file_finished, on_operation_finished);
  IsoSetReuseFolders(g_options.overwrite ? 1 : 0);
  const bool ok = work();
  IsoSetCallbacks(nullptr, nullptr, nullptr, nullptr);
  if (ok) return EXIT_TOOL_OK;
  const std::string where = g_last_started.empty() ? "" : " (at " + quoted_host_path(g_last_started) + ")";
  print_error(failure + quoted_host_path(dest) + ": " + reader_error() + where);
  return EXIT_TOOL_FAILED;
}

int run_extract() {
  const std::string& dest = g_options.destination;
  std::vector<IsoMatch> matches;
  for (const std::string& path : g_options.image_paths) {
    if (IsoMatchPath(path.c_str(), &matches) == 0) {
      const bool pattern = path.find_first_of("*?") != std::string::npos;
      print_error(shown_in_image(path) + (pattern ? " matches nothing in the image"
                                                  : " is neither a folder nor a file in the image"));
      return EXIT_TOOL_FAILED;
    }
  }
  // Everything that will be written, looked at before anything is.
  IsoExtractionPlan plan = start_plan();
  IsoPlanMatches(&plan, matches, dest.c_str());
  IsoPlanFinish(&plan);
  return write_planned(plan, dest, "cannot extract into ", [&] { return IsoExtractMatches(matches, dest.c_str()); });
}

int run_system() {
  const std::string& dest = g_options.destination;
  const char* file_name = system_area_file_name(g_options.area);
  std::string target = dest + host::PATH_SEPARATOR + file_name;
  // An area the disc does not have is refused before anything is made.
  uint32_t first = 0, length = 0;
  if (!system_area_span(g_options.area, &first, &length)) {
    print_error(copy_failure(target) + "; nothing written");
    return EXIT_TOOL_FAILED;
  }
  IsoExtractionPlan plan = start_plan();
  IsoPlanTarget(&plan, target.c_str(), 0, length);
  IsoPlanFinish(&plan);
  if (!plan_allows(plan)) return EXIT_TOOL_FAILED;
  if (g_options.dry_run) return finish_dry_run(plan);
  if (!prepare_destination(dest)) return EXIT_TOOL_FAILED;
  if (!extract_system_area(g_options.area, target)) {
    print_error(copy_failure(target));
    return EXIT_TOOL_FAILED;
  }
  return EXIT_TOOL_OK;
}

int run_banner() {
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(BANNER_PATH, &offset, &size, 0)) {
    print_error(std::string("the image has no banner file ") + BANNER_PATH);
    return EXIT_TOOL_FAILED;
  }
  std::string png;
  if (!render_banner_png(&png)) {
    print_error("cannot encode the banner as PNG");
    return EXIT_TOOL_FAILED;
  }
  // The picture replaces what OUT.png names, unless that is the image.
  IsoExtractionPlan plan = start_plan();
  plan.overwrite = 1;
  IsoPlanTarget(&plan, g_options.destination.c_str(), 0, uint32_t(png.size()));
  if (plan.stop != IsoPlanGo) {
    print_error(plan_stop_message(plan));
    return EXIT_TOOL_FAILED;
  }
  if (g_options.dry_run) return finish_dry_run(plan);
  std::string kept;
  if (!write_host_file(g_options.destination, png, &kept)) {
    print_error("cannot write " + quoted_host_path(g_options.destination) +
                (kept.empty() ? "" : ": another program holds it open; the picture was kept as " + quoted_host_path(kept)));
    return EXIT_TOOL_FAILED;
  }
  return EXIT_TOOL_OK;
}

// The disc as other tools unpack it: DIR/sys with the boot areas, DIR/files
// with the whole file system. Everything is planned before anything is
// written, as for extract.
int run_unpack() {
  const std::string& dir = g_options.destination;
  IsoExtractionPlan plan = start_plan();
  IsoPlanUnpack(&plan, dir.c_str());
  IsoPlanFinish(&plan);
  const int status = write_planned(plan, dir, "cannot unpack the image into ", [&] { return IsoUnpack(dir.c_str()); });
  if (status != EXIT_TOOL_OK || g_options.dry_run) return status;
  // Data outside the areas written above (such as a second file system) is
  // not in DIR, so a rebuild from it would lose it.
  uint64_t outside = 0;
  if (!IsoCountOutsideData(&outside)) {
    print_warning("cannot check the image for data outside its files: " + reader_error());
  } else if (outside > 0) {
    print_warning(counted(outside, "byte", "bytes") +
                  " outside the boot areas, the file table and the files are neither zeros nor "
                  "the disc's filler; they are not in " + quoted_host_path(dir) +
                  ", so a rebuild from it will not contain them");
  }
  return EXIT_TOOL_OK;
}

// Progress through the whole disc, for a conversion or the checksums.
void on_disc_progress(uint64_t done, uint64_t) {
  g_progress.job.item_bytes = done;
  bar_update(&g_bar);
}

// The disc written into a container by its writer, read straight from the
// image's own container as far as the mounted disc runs; a scrubbed CISO
// keeps the spans the disc uses.
int convert_to_container() {
  const std::string& out = g_options.destination;
  ContainerWriteOptions options = g_options.write_options;
  std::vector<IsoSpan> used;
  if (options.scrub && !IsoListUsedSpans(&used)) {
    print_error("cannot list the spans the disc uses: " + reader_error());
    return EXIT_TOOL_FAILED;
  }
  for (const IsoSpan& span : used) options.used.push_back({span.start, span.end});
  std::string detail;
  ContainerError error = CONTAINER_OK;
  Container* c = container_open(g_options.image.c_str(), &error, &detail);
  if (c) {
    container_extend_disc(c, IsoGetImageSize());  // the disc a plain output gets too
    job_progress_init(&g_progress.job, container_disc_size(c), 1, false);
    g_bar.shown = isatty(2) != 0;
    std::string kept;
    if (container_convert(c, out.c_str(), options, on_disc_progress, &error, &detail, &kept)) error = CONTAINER_OK;
    if (!kept.empty()) detail += "; the finished image was kept as " + quoted_host_path(kept);
    container_close(c);
  }
  if (error != CONTAINER_OK) {
    print_error("cannot write " + quoted_host_path(out) + ": " + detail + " (container code " + std::to_string(error) + ")");
    return EXIT_TOOL_FAILED;
  }
  on_operation_finished();
  return EXIT_TOOL_OK;
}

// The disc of any container, as a plain image or into a container; the
// output is planned as extract plans its files. A plain image is one copy of
// the whole disc.
int run_convert() {
  const std::string& out = g_options.destination;
  const uint64_t size = IsoGetImageSize();
  const bool plain = g_options.write_options.kind == CONTAINER_PLAIN;
  // The reader copies ranges of 32-bit lengths; only a plain image of any
  // size mounts with more.
  if (plain && size > UINT32_MAX) {
    print_error("cannot convert " + quoted_host_path(g_options.image) + ": its " + std::to_string(size) +
                " bytes are more than 4 GiB; nothing written");
    return EXIT_TOOL_FAILED;
  }
  IsoExtractionPlan plan = start_plan();
  IsoPlanTarget(&plan, out.c_str(), 0, plain ? uint32_t(size) : 0);
  IsoPlanFinish(&plan);
  if (!plan_allows(plan)) return EXIT_TOOL_FAILED;
  if (g_options.dry_run)
    return plain ? finish_dry_run(plan)
                 : finish_output(container_write_summary(g_options.write_options) + "; nothing written (dry run)\n");
  if (!plain) return convert_to_container();
  extraction_progress_init(&g_progress, plan);
  start_bar();
  IsoSetCallbacks(on_file_started, on_progress, on_file_finished, nullptr);
  on_file_started(out.c_str());
  bool ok = IsoCopyRange(out.c_str(), 0, uint32_t(size));
  IsoSetCallbacks(nullptr, nullptr, nullptr, nullptr);
  on_operation_finished();
  if (!ok) {
    print_error(copy_failure(out));
    return EXIT_TOOL_FAILED;
  }
  return EXIT_TOOL_OK;
}

// False, after saying so, for a Wii disc, a folder or a FIFO (never
// opened), and with any_file for every file that is no GameCube disc; what
// the file is lands in *what.
bool check_disc_file(DiscFileIdentity* what, bool any_file = false) {
  const std::string& image = g_options.image;
  *what = identify_disc_file(image.c_str());
  const host::PathKind kind = host::path_kind(image.c_str());
  if (what->kind == DiscFileKind::WiiImage) {
    print_error(quoted_host_path(image) + " is a Wii disc; this tool reads GameCube discs");
    return false;
  }
  if (kind == host::PathKind::Folder || kind == host::PathKind::Other ||
      (any_file && what->kind == DiscFileKind::NotADisc)) {
    print_error(quoted_host_path(image) + " is not a GameCube disc image: " + what->reason);
    return false;
  }
  return true;
}

// The checksums of the plain disc in the image, with a progress bar; false
// after saying why.
bool hash_image(DiscHashes* sums, uint64_t* size) {
  const std::string& image = g_options.image;
  DiscFileIdentity what;
  if (!check_disc_file(&what, true)) return false;
  std::string detail;
  Container* c = container_open(image.c_str(), nullptr, &detail);
  if (!c) {
    print_error("cannot read the image " + quoted_host_path(image) + ": " + detail);
    return false;
  }
  // A CISO's disc is hashed as convert writes it, running on in zeros as far
  // as its table's files; a table that cannot be read leaves the CISO's own.
  if (container_kind_drops_trailing_zeros(container_kind(c)) && (IsoIsMounted() || IsoMount(image.c_str(), 1)))
    container_extend_disc(c, IsoGetImageSize());
  *size = container_disc_size(c);
  job_progress_init(&g_progress.job, *size, 1, false);
  start_bar();
  std::string error;
  bool ok = hash_disc(c, sums, on_disc_progress, &error);
  container_close(c);
  bar_end_line(&g_bar);
  if (!ok) print_error("cannot hash the image " + quoted_host_path(image) + ": " + error);
  return ok;
}

// The checksums of the plain disc. The disc need not mount: a dump whose
// file table is damaged still gets its sums, to compare with a good one.
int run_hash() {
  DiscHashes sums;
  uint64_t size = 0;
  if (!hash_image(&sums, &size)) return EXIT_TOOL_FAILED;
  return finish_output(g_options.json ? format_disc_hashes_json(g_options.image, size, sums)
                                      : format_disc_hashes(g_options.image, size, sums));
}

// The disc's structure, and with --dat the game the dat lists for its
// checksums. An error found fails the command.
int run_check() {
  CheckReport report;
  report.image_path = g_options.image;
  IsoCheckDisc(&report.findings);
  if (!g_options.dat.empty()) {
    std::vector<DatRom> roms;
    std::string error;
    if (!read_dat_file(g_options.dat.c_str(), &roms, &error)) {
      print_error("the dat " + quoted_host_path(g_options.dat) + " " + error);
      return EXIT_TOOL_FAILED;
    }
    DiscHashes sums;
    uint64_t size = 0;
    if (!hash_image(&sums, &size)) return EXIT_TOOL_FAILED;
    report.dat_path = g_options.dat;
    report.crc32 = crc32_hex(sums.crc32);
    report.dat_matches = match_dat(roms, size, sums);
  }
  if (finish_output(g_options.json ? format_check_json(report) : format_check(report)) != EXIT_TOOL_OK) return EXIT_TOOL_FAILED;
  for (const IsoFinding& f : report.findings) {
    if (f.severity == IsoSeverityError) return EXIT_TOOL_FAILED;
  }
  return EXIT_TOOL_OK;
}

// Mounts the image, saying what the file is when it is no GameCube disc.
bool mount_image() {
  const std::string& image = g_options.image;
  const host::PathKind kind = host::path_kind(image.c_str());
  DiscFileIdentity what;
  // A folder or a FIFO is never opened.
  if (kind == host::PathKind::Folder || kind == host::PathKind::Other) return check_disc_file(&what);
  // The reader has the last word on what it can read; the file is looked at
  // only when it cannot.
  if (IsoMount(image.c_str(), g_options.strict_size ? 0 : 1)) return true;
  if (!check_disc_file(&what)) return false;
  const int code = IsoGetLastError();
  std::string text = code == IsoErrOpen
                         ? "the image " + quoted_host_path(image) + " " + input_problem_text(image) + reader_code_suffix(code)
                         : "cannot read the image " + quoted_host_path(image) + ": " + reader_error();
  if (what.kind == DiscFileKind::NotADisc && what.container.empty() && kind == host::PathKind::File)
    text += "; it is not a GameCube disc image: " + what.reason;
  print_error(text);
  return false;
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
    return EXIT_TOOL_USAGE;
  }
  if (g_options.help || g_options.version) {
    std::vector<std::string> libraries = codec_versions();
    libraries.push_back(digest_library_version());
    std::fputs(g_options.help ? ombrel_usage() : version_text("ombrel-cli", libraries).c_str(), stdout);
    return EXIT_TOOL_OK;
  }
  // Names inside images are code page 932; the path is looked up as such.
  g_options.image_path = IsoPathFromHostText(g_options.image_path);
  for (std::string& path : g_options.image_paths) path = IsoPathFromHostText(path);

  if (g_options.command == OmbrelCommand::Hash) {
    const int status = run_hash();
    IsoReset();
    return status;
  }
  // An interruption of a command that writes removes the file being
  // written; files finished before it stay, and a file being replaced keeps
  // its old bytes.
  const OmbrelCommand c = g_options.command;
  if (!g_options.dry_run && (c == OmbrelCommand::Extract || c == OmbrelCommand::System ||
                             c == OmbrelCommand::Banner || c == OmbrelCommand::Unpack || c == OmbrelCommand::Convert)) {
    host::set_interrupt_message("\nombrel-cli: interrupted; the file being written was removed\n");
    host::install_interrupt_cleanup();
  }
  IsoReset();
  // check says what is wrong with a table the other commands refuse.
  IsoSetMountBrokenTables(c == OmbrelCommand::Check ? 1 : 0);
  if (!mount_image()) {
    IsoReset();
    return EXIT_TOOL_FAILED;
  }

  int status = EXIT_TOOL_FAILED;
  switch (g_options.command) {
    case OmbrelCommand::Info: status = run_info(); break;
    case OmbrelCommand::List: status = run_list(); break;
    case OmbrelCommand::Extract: status = run_extract(); break;
    case OmbrelCommand::System: status = run_system(); break;
    case OmbrelCommand::Banner: status = run_banner(); break;
    case OmbrelCommand::Unpack: status = run_unpack(); break;
    case OmbrelCommand::Convert: status = run_convert(); break;
    case OmbrelCommand::Check: status = run_check(); break;
    case OmbrelCommand::Hash:
    case OmbrelCommand::None: break;
  }
  IsoReset();
  return status;
}
