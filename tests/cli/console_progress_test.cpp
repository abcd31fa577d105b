// Whole-job progress from per-item reports, maximising included, and when the
// terminal line is redrawn.
#include <gtest/gtest.h>

#include <string>

#include "cli/console_progress.h"
#include "disc/disc_format.h"

namespace {

TEST(JobProgress, ItemsAddUpAcrossFileDoneCalls) {
  JobProgress job;
  job_progress_init(&job, 10000, 2, false);
  EXPECT_EQ(job.total_bytes, 10000u);
  EXPECT_EQ(job_percent(job), 0);
  job_progress_report(&job, 1000);  // apploader
  job_progress_item_done(&job);
  EXPECT_EQ(job_percent(job), 10);
  job_progress_report(&job, 2000);  // main program, half way
  EXPECT_EQ(job_done_bytes(job), 3000u);
  job_progress_report(&job, 3000);
  job_progress_item_done(&job);
  job_progress_item_done(&job);  // an empty file reports nothing
  EXPECT_EQ(job_percent(job), 40);
  job_progress_report(&job, 6000);
  job_progress_item_done(&job);
  EXPECT_EQ(job_percent(job), 100);
}

TEST(JobProgress, MaximisingRunsToTheFullDiscSizeFromImagePositions) {
  JobProgress job;
  job_progress_init(&job, 16384, 1, true);
  EXPECT_EQ(job.total_bytes, DISC_IMAGE_SIZE);
  job_progress_report(&job, 4096);
  job_progress_item_done(&job);
  job_progress_report(&job, 4096);
  job_progress_item_done(&job);
  job_progress_report(&job, 8192);
  job_progress_item_done(&job);
  EXPECT_EQ(job_done_bytes(job), 16384u);
  // Past the last item, reports are image positions, not per-item bytes.
  job_progress_report(&job, DISC_IMAGE_SIZE / 2);
  EXPECT_EQ(job_percent(job), 50);
  job_progress_report(&job, DISC_IMAGE_SIZE);
  EXPECT_EQ(job_percent(job), 100);
}

TEST(JobProgress, DataLargerThanADiscIsTheWholeJobAndNeverPassesIt) {
  JobProgress job;
  job_progress_init(&job, 2000000000ull, 1, true);
  EXPECT_EQ(job.total_bytes, 2000000000ull);
  job_progress_report(&job, 0);
  job_progress_item_done(&job);
  job_progress_item_done(&job);
  job_progress_report(&job, 2000000000u);
  job_progress_item_done(&job);
  job_progress_report(&job, 2100000000u);  // table and gaps lie beyond the data
  EXPECT_EQ(job_percent(job), 100);
}

TEST(JobProgress, EmptyJobCountsAsComplete) {
  JobProgress job;
  job_progress_init(&job, 0, 0, false);
  EXPECT_EQ(job_percent(job), 100);
}

TEST(ProgressRedraw, OnlyOnANewPercentageOrAfterTheInterval) {
  JobProgress job;
  job_progress_init(&job, 1000, 1, false);
  job_progress_item_done(&job);
  job_progress_item_done(&job);
  EXPECT_TRUE(progress_should_redraw(job, 0));  // nothing drawn yet
  progress_mark_drawn(&job, 1000);
  job_progress_report(&job, 5);  // still 0 %
  EXPECT_FALSE(progress_should_redraw(job, 1000 + PROGRESS_REDRAW_MS - 1));
  EXPECT_TRUE(progress_should_redraw(job, 1000 + PROGRESS_REDRAW_MS));
  job_progress_report(&job, 10);  // 1 %
  EXPECT_TRUE(progress_should_redraw(job, 1001));
  progress_mark_drawn(&job, 1001);
  EXPECT_FALSE(progress_should_redraw(job, 1002));
}

TEST(ProgressLine, BarCellsFollowThePercentage) {
  JobProgress job;
  job_progress_init(&job, 4 * 1048576, 1, false);
  job_progress_item_done(&job);
  job_progress_item_done(&job);
  job_progress_report(&job, 1048576);
  EXPECT_EQ(progress_line(job, 20), "[#####...............]  25%      1.0 / 4.0 MiB");
  job_progress_report(&job, 4 * 1048576);
  EXPECT_EQ(progress_line(job, 4), "[####] 100%      4.0 / 4.0 MiB");
}

}  // namespace
