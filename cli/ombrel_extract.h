// ombrel-cli's side of an extraction: destination folders, the checks made
// before the reader writes anything, and the reader's per-file progress
// turned into whole-job progress for the terminal bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/console_progress.h"
#include "reader/reader.h"

enum class HostPathKind { Missing, File, Folder };
HostPathKind host_path_kind(const std::string& path);

// Creates a folder and any missing folders above it. False when one of them
// exists as something else or cannot be made.
bool make_folders(const std::string& path);

// A host folder joined with a relative in-image path ("a/b"), using the host's
// separator and the host's form of each name (UTF-8 on POSIX hosts), as the
// reader's extraction names what it writes.
std::string join_host_path(const std::string& folder, const std::string& relative);

struct ExtractionCheck {
  uint64_t total_bytes = 0;
  std::vector<uint32_t> file_sizes;  // in the order the reader copies them
  // In-image path of the first entry whose name cannot be used as a host
  // file name ("", ".", "..", a separator); empty when all can.
  std::string unsafe_entry;
  // The first host path that stands in the way: an existing folder where the
  // reader would create one (it refuses to reuse sub-folders), or an existing
  // folder where it would write a file. Empty when none.
  std::string conflict;
};

// Looks at everything the reader would write for the sibling list starting at
// first into host_folder; image_folder is the list's in-image folder.
void check_extraction(const FstNode* first, const std::string& image_folder,
                      const std::string& host_folder, ExtractionCheck* check);

// Whole-job progress from the reader's callbacks: the files are expected in
// the order check_extraction listed them.
struct ExtractionProgress {
  JobProgress job;
  std::vector<uint32_t> file_sizes;
  size_t started = 0;  // files begun so far
};

void extraction_progress_init(ExtractionProgress* progress, const ExtractionCheck& check);
void extraction_file_started(ExtractionProgress* progress);
// percent as the reader reports it: it can pass 100 after a full block.
void extraction_file_progress(ExtractionProgress* progress, int percent);
void extraction_file_finished(ExtractionProgress* progress);
