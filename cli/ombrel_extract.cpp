// Destination folders, pre-extraction checks and extraction progress for
// ombrel-cli.
#include "cli/ombrel_extract.h"

#include <sys/stat.h>

#include "cli/ombrel_options.h"
#include "cli/ombrel_output.h"
#include "host/host_fs.h"
#include "host/host_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

HostPathKind host_path_kind(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return HostPathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? HostPathKind::Folder : HostPathKind::File;
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return HostPathKind::Missing;
  return S_ISDIR(st.st_mode) ? HostPathKind::Folder : HostPathKind::File;
#endif
}

namespace {

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

}  // namespace

bool make_folders(const std::string& path) {
  if (path.empty()) return false;
  // Each prefix that ends before a separator, then the whole path. Prefixes
  // that name nothing by themselves ("", "C:") are skipped.
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) continue;
    if (is_separator(path[i - 1])) continue;
    std::string prefix = path.substr(0, i);
#ifdef _WIN32
    if (prefix.size() == 2 && prefix[1] == ':') continue;
#endif
    HostPathKind kind = host_path_kind(prefix);
    if (kind == HostPathKind::File) return false;
    if (kind == HostPathKind::Missing && !host::make_directory(prefix.c_str()) &&
        host_path_kind(prefix) != HostPathKind::Folder) {
      return false;
    }
  }
  return host_path_kind(path) == HostPathKind::Folder;
}

// Each image name converted as the reader names the host file it writes.
std::string join_host_path(const std::string& folder, const std::string& relative) {
  return folder + host::PATH_SEPARATOR +
         map_path_names(relative, host::PATH_SEPARATOR,
                        [](const std::string& name) { return host::host_name_from_disc_name(name); });
}

void check_extraction(const FstNode* first, const std::string& image_folder,
                      const std::string& host_folder, ExtractionCheck* check) {
  *check = ExtractionCheck();
  // Nothing exists below a folder that is missing, so its subtree needs no
  // look at the disk: in the usual extraction into a new folder, none at all.
  bool top_missing = host_path_kind(host_folder) == HostPathKind::Missing;
  std::string missing_below;  // relative path + "/" of a missing folder
  // Names are looked at one by one: a relative path of safe names is safe.
  walk_entries(first, [&](const FstNode& node, const std::string& relative) {
    if (!node.isDirectory) {
      check->total_bytes += node.size;
      check->file_sizes.push_back(node.size);
    }
    if (check->unsafe_entry.empty() && !IsoIsSafeHostName(node.name)) {
      check->unsafe_entry = child_image_path(image_folder, relative);
    }
    if (top_missing || !check->conflict.empty() || !check->unsafe_entry.empty()) return;
    if (!missing_below.empty()) {
      if (relative.compare(0, missing_below.size(), missing_below) == 0) return;
      missing_below.clear();
    }
    std::string target = join_host_path(host_folder, relative);
    HostPathKind kind = host_path_kind(target);
    if (node.isDirectory && kind == HostPathKind::Missing) missing_below = relative + "/";
    // An existing file is simply overwritten; anything else in the way of a
    // folder, or a folder in the way of a file, makes the reader stop.
    bool blocked = node.isDirectory ? kind != HostPathKind::Missing : kind == HostPathKind::Folder;
    if (blocked) check->conflict = target;
  });
}

void extraction_progress_init(ExtractionProgress* progress, const ExtractionCheck& check) {
  progress->file_sizes = check.file_sizes;
  progress->started = 0;
  job_progress_init(&progress->job, 0, 0, check.total_bytes,
                    static_cast<uint32_t>(check.file_sizes.size()), false);
}

namespace {

uint32_t current_size(const ExtractionProgress& progress) {
  if (progress.started == 0 || progress.started > progress.file_sizes.size()) return 0;
  return progress.file_sizes[progress.started - 1];
}

}  // namespace

void extraction_file_started(ExtractionProgress* progress) { ++progress->started; }

void extraction_file_progress(ExtractionProgress* progress, int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  uint64_t bytes = uint64_t(current_size(*progress)) * unsigned(percent) / 100;
  job_progress_report(&progress->job, static_cast<uint32_t>(bytes));
}

void extraction_file_finished(ExtractionProgress* progress) {
  job_progress_report(&progress->job, current_size(*progress));
  job_progress_item_done(&progress->job);
}
