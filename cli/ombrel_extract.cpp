// Destination folders, pre-extraction checks and extraction progress for
// ombrel-cli.
#include "cli/ombrel_extract.h"

#include <set>

#include "cli/console_text.h"
#include "cli/ombrel_options.h"
#include "cli/ombrel_output.h"
#include "host/host_fs.h"
#include "host/host_text.h"


namespace {

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

bool is_folder(const std::string& path) { return host::path_kind(path.c_str()) == host::PathKind::Folder; }

bool stop(ExtractionPlan* plan, PlanStop why, const std::string& where) {
  plan->stop = why;
  plan->where = where;
  return false;
}

// Looks at one existing or missing target, a link taken as itself; false
// when the plan stops there.
bool check_target(const std::string& path, host::EntryKind kind, bool folder,
                  const PlanRequest& request, ExtractionPlan* plan) {
  if (kind == host::EntryKind::Missing) return true;
  host::FileId id;
  if (request.has_image_id && host::path_identity(path.c_str(), &id) && id == request.image_id)
    return stop(plan, PlanStop::TargetIsImage, path);
  if (!request.overwrite) {
    if (plan->existing.size() < PLAN_SHOWN_EXISTING) plan->existing.push_back(path);
    ++plan->existing_count;
    return true;
  }
  // A file replaces a link; a folder's entries are never written through one.
  if (folder && kind == host::EntryKind::Link) return stop(plan, PlanStop::LinkInTheWay, path);
  bool fits = folder ? kind == host::EntryKind::Folder
                     : kind == host::EntryKind::File || kind == host::EntryKind::Link;
  return fits || stop(plan, PlanStop::WrongKind, path);
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
    host::PathKind kind = host::path_kind(prefix.c_str());
    if (kind == host::PathKind::File || kind == host::PathKind::Other) return false;
    if (kind == host::PathKind::Missing && !host::make_directory(prefix.c_str()) &&
        !is_folder(prefix)) {
      return false;
    }
  }
  return is_folder(path);
}

std::string join_host_path(const std::string& folder, const std::string& relative) {
  std::string path = folder;
  size_t start = 0;
  for (;;) {
    size_t slash = relative.find('/', start);
    std::string name = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    char joined[ISO_HOST_PATH_CAPACITY];
    if (!IsoJoinHostPath(path.c_str(), name.c_str(), joined, sizeof joined)) return std::string();
    path = joined;
    if (slash == std::string::npos) return path;
    start = slash + 1;
  }
}

void plan_add_entries(const PlanRequest& request, ExtractionPlan* plan) {
  if (plan->stop != PlanStop::None) return;
  // One level per open folder; the two paths are shared and cut back to a
  // level's length when its next entry is looked at.
  struct Level {
    const FstNode* next;
    size_t host_length;
    size_t image_length;
    bool missing;  // the folder does not exist yet, so nothing below it does
    bool single;
    std::set<std::string> keys;  // its entries' names, as the host compares them
  };
  std::string host = request.host_folder;
  std::string image = request.image_folder == "/" ? "" : request.image_folder;
  std::vector<Level> levels;
  levels.push_back({request.first, host.size(), image.size(), !is_folder(host), request.single, {}});
  while (!levels.empty()) {
    Level& level = levels.back();
    const FstNode* node = level.next;
    if (!node) {
      levels.pop_back();
      continue;
    }
    level.next = level.single ? nullptr : node->next;
    host.resize(level.host_length);
    image.resize(level.image_length);
    const std::string image_path = image + "/" + node->name;
    char joined[ISO_HOST_PATH_CAPACITY];
    if (!IsoJoinHostPath(host.c_str(), node->name, joined, sizeof joined)) {
      stop(plan, IsoGetLastError() == IsoErrUnsafeName ? PlanStop::UnsafeName : PlanStop::PathTooLong,
           image_path);
      return;
    }
    if (!level.keys.insert(host::host_name_key(joined + host.size() + 1)).second) {
      stop(plan, PlanStop::DuplicateName, image_path);
      return;
    }
    if (!node->isDirectory) {
      plan->total_bytes += node->size;
      plan->file_sizes.push_back(node->size);
    }
    host::EntryKind kind = level.missing ? host::EntryKind::Missing : host::entry_kind(joined);
    if (!check_target(joined, kind, node->isDirectory != 0, request, plan)) return;
    if (node->isDirectory && node->firstChild) {
      host = joined;
      image = image_path;
      levels.push_back({node->firstChild, host.size(), image.size(),
                        kind == host::EntryKind::Missing, false, {}});
    }
  }
}

void plan_add_target(const std::string& host_path, bool folder, uint32_t size,
                     const PlanRequest& request, ExtractionPlan* plan) {
  if (plan->stop != PlanStop::None) return;
  if (!folder) {
    plan->total_bytes += size;
    plan->file_sizes.push_back(size);
  }
  check_target(host_path, host::entry_kind(host_path.c_str()), folder, request, plan);
}

void plan_finish(ExtractionPlan* plan) {
  if (plan->stop == PlanStop::None && plan->existing_count > 0) plan->stop = PlanStop::Exists;
}

void plan_extraction(const PlanRequest& request, ExtractionPlan* plan) {
  *plan = ExtractionPlan();
  plan_add_entries(request, plan);
  plan_finish(plan);
}

void plan_single_target(const std::string& host_path, const PlanRequest& request,
                        ExtractionPlan* plan) {
  *plan = ExtractionPlan();
  plan_add_target(host_path, false, 0, request, plan);
  plan_finish(plan);
}

std::string plan_stop_message(const ExtractionPlan& plan) {
  auto host_shown = [](const std::string& p) { return "'" + host_path_for_display(p) + "'"; };
  const std::string in_image = "'" + image_path_for_display(plan.where) + "'";
  std::string text;
  switch (plan.stop) {
    case PlanStop::None: return "";
    case PlanStop::UnsafeName:
      text = in_image + " has a name that cannot be used as a file name here";
      break;
    case PlanStop::PathTooLong:
      text = in_image + " would get a path longer than " +
             std::to_string(ISO_HOST_PATH_CAPACITY - 1) + " bytes";
      break;
    case PlanStop::DuplicateName:
      text = in_image + " would be written to the same file as an earlier entry of its folder";
      break;
    case PlanStop::TargetIsImage:
      text = host_shown(plan.where) + " is the image itself";
      break;
    case PlanStop::LinkInTheWay:
      text = host_shown(plan.where) + " is a link, and links inside the destination are not followed";
      break;
    case PlanStop::WrongKind:
      text = host_shown(plan.where) + (is_folder(plan.where) ? " is a folder" : " is not a folder") +
             " and cannot be replaced";
      break;
    case PlanStop::Exists:
      for (size_t i = 0; i < plan.existing.size(); ++i) text += (i ? ", " : "") + host_shown(plan.existing[i]);
      text += plan.existing_count == 1 ? " exists already" : " exist already";
      if (plan.existing_count > plan.existing.size())
        text += " (and " + std::to_string(plan.existing_count - plan.existing.size()) + " more)";
      text += "; nothing extracted (--overwrite replaces files and writes into existing folders)";
      return text;
  }
  return text + "; nothing extracted";
}

void extraction_progress_init(ExtractionProgress* progress, const ExtractionPlan& plan) {
  progress->file_sizes = plan.file_sizes;
  progress->started = 0;
  job_progress_init(&progress->job, 0, 0, plan.total_bytes,
                    static_cast<uint32_t>(plan.file_sizes.size()), false);
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
