// Whole-job progress for the console: the caller reports bytes within the
// current item (for a build the apploader, main program, each file) and,
// while maximising, the image position. This turns those reports into one percentage of the
// whole job and decides when a terminal line is worth redrawing.
#pragma once

#include <cstdint>
#include <string>

struct JobProgress {
  uint64_t total_bytes;      // everything the job will report
  uint64_t completed_bytes;  // items finished so far
  uint64_t item_bytes;       // the current item's last report
  uint32_t items_expected;   // apploader, main program and every file
  uint32_t items_done;
  bool maximise;
  uint64_t image_position;   // the last position reported while maximising
  int shown_percent;         // -1 until something is drawn
  int64_t shown_at_ms;
};

// Starts a job: the bytes it copies (for a build the apploader, the main
// program and the files: builder_copy_bytes), the files' count, and whether
// the image is padded to the full disc size, which makes the whole job reach
// DISC_IMAGE_SIZE.
void job_progress_init(JobProgress* job, uint64_t data, uint32_t file_count, bool maximise);

// The builder's on_progress and on_file_done, applied to the job.
void job_progress_report(JobProgress* job, uint32_t bytes);
void job_progress_item_done(JobProgress* job);

uint64_t job_done_bytes(const JobProgress& job);
// 0 to 100; 100 for a job with nothing to report.
int job_percent(const JobProgress& job);

// True when the line should be redrawn now: the percentage shown has changed,
// or the last redraw is at least PROGRESS_REDRAW_MS old.
constexpr int64_t PROGRESS_REDRAW_MS = 100;
// Milliseconds of a steady clock, for the redraw decisions.
int64_t steady_now_ms();
bool progress_should_redraw(const JobProgress& job, int64_t now_ms);
// Remembers what was drawn and when.
void progress_mark_drawn(JobProgress* job, int64_t now_ms);

// One terminal line: a bar of bar_width cells, the percentage and the
// amounts in MiB, e.g. "[#########...........]  45%   12.3 / 27.5 MiB".
std::string progress_line(const JobProgress& job, int bar_width);

// A job's bar on standard error, redrawn in place. Any message first ends
// the bar's line, so that it stands on a line of its own.
struct TerminalBar {
  JobProgress* job;
  bool shown;      // drawn at all: a terminal, and not --quiet
  bool on_screen;  // a bar line is waiting for its end
};
// Draws now; redraws when progress_should_redraw says so (and the bar is
// shown); ends the bar's line, or erases it to print a log line over it.
void bar_draw(TerminalBar* bar);
void bar_update(TerminalBar* bar);
void bar_end_line(TerminalBar* bar);
void bar_erase(TerminalBar* bar);
// The last drawing of a shown bar, its line ended.
void bar_finish(TerminalBar* bar);
// prefix and text as one line on standard error ("trelvik-cli: error: ").
void print_message(TerminalBar* bar, const char* prefix, const std::string& text);
