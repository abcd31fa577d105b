// Whole-job progress arithmetic and redraw throttling for the console.
#include "cli/console_progress.h"

#include <chrono>
#include <cstdio>

#include "disc/disc_format.h"

void job_progress_init(JobProgress* job, uint64_t data, uint32_t file_count, bool maximise) {
  *job = JobProgress();
  // Maximising writes zeros until the image is a full disc: the job then ends
  // at that size, unless the data alone is larger.
  job->total_bytes = maximise && data < DISC_IMAGE_SIZE ? uint64_t(DISC_IMAGE_SIZE) : data;
  job->items_expected = 2 + file_count;
  job->maximise = maximise;
  job->shown_percent = -1;
}

void job_progress_report(JobProgress* job, uint32_t bytes) {
  if (job->maximise && job->items_done >= job->items_expected) {
    job->image_position = bytes;  // maximising reports where the image ends
  } else {
    job->item_bytes = bytes;
  }
}

void job_progress_item_done(JobProgress* job) {
  job->completed_bytes += job->item_bytes;
  job->item_bytes = 0;
  ++job->items_done;
}

uint64_t job_done_bytes(const JobProgress& job) {
  uint64_t copied = job.completed_bytes + job.item_bytes;
  // The image position also counts the table and alignment gaps, so it is
  // never behind the bytes copied.
  uint64_t done = job.image_position > copied ? job.image_position : copied;
  return done < job.total_bytes ? done : job.total_bytes;
}

int job_percent(const JobProgress& job) {
  if (job.total_bytes == 0) return 100;
  return int(job_done_bytes(job) * 100 / job.total_bytes);
}

bool progress_should_redraw(const JobProgress& job, int64_t now_ms) {
  if (job_percent(job) != job.shown_percent) return true;
  return now_ms - job.shown_at_ms >= PROGRESS_REDRAW_MS;
}

void progress_mark_drawn(JobProgress* job, int64_t now_ms) {
  job->shown_percent = job_percent(*job);
  job->shown_at_ms = now_ms;
}

std::string progress_line(const JobProgress& job, int bar_width) {
  int percent = job_percent(job);
  int filled = bar_width * percent / 100;
  std::string line = "[";
  line.append(size_t(filled), '#');
  line.append(size_t(bar_width - filled), '.');
  char tail[64];
  std::snprintf(tail, sizeof tail, "] %3d%%  %7.1f / %.1f MiB", percent,
                double(job_done_bytes(job)) / 1048576.0, double(job.total_bytes) / 1048576.0);
  return line + tail;
}

int64_t steady_now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void bar_draw(TerminalBar* bar) {
  std::fprintf(stderr, "\r%s", progress_line(*bar->job, 30).c_str());
  std::fflush(stderr);
  bar->on_screen = true;
  progress_mark_drawn(bar->job, steady_now_ms());
}

void bar_update(TerminalBar* bar) {
  if (bar->shown && progress_should_redraw(*bar->job, steady_now_ms())) bar_draw(bar);
}

void bar_end_line(TerminalBar* bar) {
  if (bar->on_screen) std::fputs("\n", stderr);
  bar->on_screen = false;
}

void bar_erase(TerminalBar* bar) {
  if (bar->on_screen) std::fputs("\r\033[K", stderr);
  bar->on_screen = false;
}

void bar_finish(TerminalBar* bar) {
  if (bar->shown) bar_draw(bar);
  bar_end_line(bar);
}

void print_message(TerminalBar* bar, const char* prefix, const std::string& text) {
  bar_end_line(bar);
  std::fprintf(stderr, "%s%s\n", prefix, text.c_str());
}
