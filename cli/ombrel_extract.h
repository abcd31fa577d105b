// ombrel-cli's side of an extraction: destination folders, the checks made
// before the reader writes anything, and the reader's per-file progress
// turned into whole-job progress for the terminal bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/console_progress.h"
#include "reader/reader.h"

#include "host/host_fs.h"

// Creates a folder and any missing folders above it. False when one of them
// exists as something else or cannot be made.
bool make_folders(const std::string& path);

// A host folder joined with a relative in-image path ("a/b"), each name in
// the host's form as the reader's IsoJoinHostPath makes it. Empty when a name
// is refused or the path does not fit.
std::string join_host_path(const std::string& folder, const std::string& relative);

// What an extraction will write, looked at before the reader writes anything.
enum class PlanStop {
  None,
  UnsafeName,     // where: in-image path of an entry whose name cannot be a file name here
  PathTooLong,    // where: in-image path whose host path would not fit
  DuplicateName,  // where: in-image path of an entry an earlier sibling shares its file with
  TargetIsImage,  // where: host path that is the image itself
  WrongKind,      // where: host path of a folder where a file goes, or the reverse
  LinkInTheWay,   // where: host path of a link where a folder goes
  Exists,         // existing: the first few host paths that exist already
};

struct ExtractionPlan {
  uint64_t total_bytes = 0;
  std::vector<uint32_t> file_sizes;  // in the order the reader copies them
  PlanStop stop = PlanStop::None;
  std::string where;
  std::vector<std::string> existing;  // at most PLAN_SHOWN_EXISTING
  size_t existing_count = 0;
};
constexpr size_t PLAN_SHOWN_EXISTING = 3;

struct PlanRequest {
  const FstNode* first = nullptr;  // the entries to write into host_folder
  bool single = false;             // first alone, not its siblings
  std::string image_folder;        // in-image folder holding them ("/" for the root)
  std::string host_folder;
  // Existing files are replaced and existing folders written into; without
  // it, anything that exists already stops the plan. Links inside
  // host_folder count as existing, and are replaced by files but never
  // written through.
  bool overwrite = false;
  bool has_image_id = false;  // the mounted image's identity, never a target
  host::FileId image_id{};
};

// Walks everything the reader would write, depth first in table order.
void plan_extraction(const PlanRequest& request, ExtractionPlan* plan);
// The same in parts, for an extraction of several pieces: each adds to the
// plan (nothing once it stops), plan_finish stops it when anything exists.
void plan_add_entries(const PlanRequest& request, ExtractionPlan* plan);
void plan_add_target(const std::string& host_path, bool folder, uint32_t size,
                     const PlanRequest& request, ExtractionPlan* plan);
void plan_finish(ExtractionPlan* plan);
// One target that is no image name (a system area's file), checked the same way.
void plan_single_target(const std::string& host_path, const PlanRequest& request,
                        ExtractionPlan* plan);
// The error line for a plan that stops, ending in "nothing extracted".
std::string plan_stop_message(const ExtractionPlan& plan);

// Whole-job progress from the reader's callbacks: the files are expected in
// the order plan_extraction listed them.
struct ExtractionProgress {
  JobProgress job;
  std::vector<uint32_t> file_sizes;
  size_t started = 0;  // files begun so far
};

void extraction_progress_init(ExtractionProgress* progress, const ExtractionPlan& plan);
void extraction_file_started(ExtractionProgress* progress);
// percent as the reader reports it: it can pass 100 after a full block.
void extraction_file_progress(ExtractionProgress* progress, int percent);
void extraction_file_finished(ExtractionProgress* progress);
