// ombrel-cli's side of an extraction: the message of a plan that stops, and
// the reader's per-file progress turned into whole-job progress for the
// terminal bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/console_progress.h"
#include "reader/reader.h"

// The error line for a plan that stops, ending in "nothing written".
std::string plan_stop_message(const IsoExtractionPlan& plan);

// Whole-job progress from the reader's callbacks: the files are expected in
// the order the plan listed them.
struct ExtractionProgress {
  JobProgress job;
  std::vector<uint32_t> file_sizes;
  size_t started = 0;  // files begun so far
};

void extraction_progress_init(ExtractionProgress* progress, const IsoExtractionPlan& plan);
void extraction_file_started(ExtractionProgress* progress);
// percent as the reader reports it: it can pass 100 after a full block.
void extraction_file_progress(ExtractionProgress* progress, int percent);
void extraction_file_finished(ExtractionProgress* progress);
