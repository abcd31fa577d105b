// ombrel-cli's side of an extraction: the message of a plan that stops, and
// whole-job progress.
#include <gtest/gtest.h>

#include <string>

#include "cli/ombrel_extract.h"

namespace {

TEST(OmbrelExtract, AnExistingDestinationNamesTheFirstFewAndTheOption) {
  IsoExtractionPlan plan;
  IsoPlanStart(&plan, 0);
  plan.stop = IsoPlanExists;
  plan.existing = {"a", "a/b", "a/b/file"};
  plan.existingCount = 8;
  const std::string message = plan_stop_message(plan);
  EXPECT_NE(message.find("(and 5 more)"), std::string::npos) << message;
  EXPECT_NE(message.find("--overwrite"), std::string::npos) << message;
}

TEST(OmbrelExtract, ProgressFollowsTheReadersCallbacks) {
  IsoExtractionPlan plan;
  IsoPlanStart(&plan, 0);
  plan.totalBytes = 4097 + 0 + 5903;
  plan.fileSizes = {4097, 0, 5903};
  ExtractionProgress p;
  extraction_progress_init(&p, plan);
  EXPECT_EQ(job_percent(p.job), 0);

  extraction_file_started(&p);
  extraction_file_progress(&p, 102);  // the reader's unclamped first block
  EXPECT_EQ(job_done_bytes(p.job), 4097u);
  extraction_file_progress(&p, 100);
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 4097u);

  extraction_file_started(&p);  // the empty file reports no progress
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 4097u);

  extraction_file_started(&p);
  extraction_file_progress(&p, 50);
  EXPECT_EQ(job_done_bytes(p.job), 4097u + 2951u);
  extraction_file_finished(&p);
  EXPECT_EQ(job_percent(p.job), 100);

  // Calls beyond the files expected add nothing.
  extraction_file_started(&p);
  extraction_file_progress(&p, 100);
  extraction_file_finished(&p);
  EXPECT_EQ(job_done_bytes(p.job), 10000u);
}

}  // namespace
