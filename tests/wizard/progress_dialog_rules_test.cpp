// The write progress dialog's arithmetic and texts: bar positions, the data
// size, UTC log lines, when a progress report repaints, and the message for a
// failed write.
#include <gtest/gtest.h>

#include <string>

#include "wizard/core/wizard_logic.h"

namespace {

TEST(ProgressBars, StageBarIsPercentTimesFive) {
  EXPECT_EQ(stage_bar_position(0), 0u);
  EXPECT_EQ(stage_bar_position(40), 200u);
  EXPECT_EQ(stage_bar_position(100), 500u);
  EXPECT_EQ(stage_bar_position(-3), 0u);
  EXPECT_EQ(stage_bar_position(250), 500u);
}

TEST(ProgressBars, OverallBarDividesByTheHundredthOfTheTotal) {
  // 1,000,000 bytes: 10,000 per percent.
  EXPECT_EQ(overall_bar_position(0, 0, 1000000), 0u);
  EXPECT_EQ(overall_bar_position(250000, 0, 1000000), 125u);
  EXPECT_EQ(overall_bar_position(250000, 19999, 1000000), 130u);  // both divisions truncate
  EXPECT_EQ(overall_bar_position(1000000, 0, 1000000), 500u);
  // Apploader and main program bytes are not in the total: the bar stays at its end.
  EXPECT_EQ(overall_bar_position(1500000, 4096, 1000000), 500u);
}

TEST(ProgressBars, OverallBarNeverDividesByZeroOrWrapsBack) {
  // Under 100 bytes (an empty base directory included) a byte counts a percent.
  EXPECT_EQ(overall_bar_position(0, 0, 0), 0u);
  EXPECT_EQ(overall_bar_position(0, 40, 99), 200u);
  EXPECT_EQ(overall_bar_position(0, 4096, 0), 500u);
  // Maximising reports image positions: with a small total the 32-bit
  // product would wrap and send the bar back to the start.
  EXPECT_EQ(overall_bar_position(900000000u, 1459978240u, 150), 500u);
  EXPECT_EQ(overall_bar_position(0xFFFFFFFFu, 0xFFFFFFFFu, 0), 500u);
}

TEST(ProgressTexts, DataSizeInMegabytesWithTwoDecimals) {
  EXPECT_EQ(data_size_text(0), "0.00 Mb");
  EXPECT_EQ(data_size_text(1572864), "1.50 Mb");
  EXPECT_EQ(data_size_text(1459978240u), "1392.34 Mb");
}

TEST(ProgressTexts, LogLineHasTwoDigitFieldsAndSixBlanks) {
  EXPECT_EQ(cp932_log_line(9, 5, 7, "書き込み開始"), "09:05:07      書き込み開始");
  EXPECT_EQ(cp932_log_line(23, 59, 0, ""), "23:59:00      ");
}

TEST(ProgressTexts, LogLineIsCutTo511BytesOnACharacterBoundary) {
  std::string ascii(600, 'a');
  EXPECT_EQ(cp932_log_line(0, 0, 0, ascii).size(), 511u);
  // 14 bytes of stamp, then double-byte characters: 497 bytes would split one.
  std::string kana;
  for (int i = 0; i < 300; ++i) kana += "ア";
  std::string line = cp932_log_line(0, 0, 0, kana);
  EXPECT_EQ(line.size(), 510u);
  EXPECT_EQ(line.substr(14), kana.substr(0, 496));
}

TEST(ProgressTexts, AddingFileLinesKeepTheirPathApart) {
  ShownText parts = log_text_parts("ファイルの追加 'C:\\files\\a.bin'");
  EXPECT_EQ(parts.before, "ファイルの追加 '");
  EXPECT_EQ(parts.path, "C:\\files\\a.bin");
  EXPECT_EQ(parts.after, "'");
  ShownText stage = log_text_parts("サイズの最大化中");
  EXPECT_EQ(stage.before, "サイズの最大化中");
  EXPECT_TRUE(stage.path.empty());
}

TEST(RepaintGate, RepaintsWhenABarMovesOrTheIntervalHasPassed) {
  RepaintGate gate;
  repaint_gate_reset(&gate);
  EXPECT_TRUE(repaint_due(&gate, 0, 0, 1000));   // the first report always paints
  EXPECT_FALSE(repaint_due(&gate, 0, 0, 1010));  // nothing moved, too soon
  EXPECT_TRUE(repaint_due(&gate, 5, 0, 1011));   // the stage bar moved
  EXPECT_TRUE(repaint_due(&gate, 5, 1, 1012));   // the overall bar moved
  EXPECT_FALSE(repaint_due(&gate, 5, 1, 1012 + REPAINT_INTERVAL_MS - 1));
  EXPECT_TRUE(repaint_due(&gate, 5, 1, 1012 + REPAINT_INTERVAL_MS));
  // The tick counter wraps after 49.7 days; the interval still counts.
  repaint_gate_reset(&gate);
  repaint_due(&gate, 0, 0, 0xFFFFFFF0u);
  EXPECT_FALSE(repaint_due(&gate, 0, 0, 0xFFFFFFF8u));
  EXPECT_TRUE(repaint_due(&gate, 0, 0, 0x00000040u));
}

TEST(RepaintGate, MaximisingRepaintsAFewHundredTimesNotOncePerReport) {
  // The builder's reports while maximising, counted as the dialog counts them,
  // with a clock that advances one millisecond per 100 reports.
  RepaintGate gate;
  repaint_gate_reset(&gate);
  uint32_t repaints = 0;
  uint32_t reports = 0;
  const uint32_t start = 2 * 1024 * 1024;
  for (uint32_t position = start + 4096; position < DISC_IMAGE_SIZE; position += 4096) {
    int percent = int(position / 14599782u);
    if (repaint_due(&gate, stage_bar_position(percent), overall_bar_position(0, position, 1000000),
                    reports / 100)) {
      ++repaints;
    }
    ++reports;
  }
  EXPECT_GT(reports, 350000u);
  EXPECT_LT(repaints, 200u);
  EXPECT_GE(repaints, 100u);  // each percent still shows
}

TEST(WriteFailure, MessageNamesTheFileTheLastLogLineWasAbout) {
  ShownText open = write_failure_message(BUILD_ERR_OPEN_INPUT, "ファイルの追加 'C:\\files\\gone.bin'");
  EXPECT_EQ(open.path, "C:\\files\\gone.bin");
  EXPECT_EQ(open.before.rfind("ISOの書き込みに失敗しました。\n", 0), 0u);
  EXPECT_NE(open.after.find("(エラーコード 4)"), std::string::npos);

  ShownText full_disk = write_failure_message(BUILD_ERR_WRITE, "サイズの最大化中");
  EXPECT_TRUE(full_disk.path.empty());
  EXPECT_NE(full_disk.before.find("空き容量"), std::string::npos);

  // A read failure with no file named in the log still says what failed.
  ShownText read = write_failure_message(BUILD_ERR_READ, "");
  EXPECT_NE(read.before.find("読み込み"), std::string::npos);
  EXPECT_EQ(write_failure_message(BUILD_ERR_NOT_PREPARED, "").joined(),
            "ISOの書き込みに失敗しました。\n(エラーコード 12)");
  // A complete image kept aside is named by the builder's error path.
  ShownText kept = write_failure_message(BUILD_ERR_OUTPUT_IN_USE, "ファイルの追加 'C:\\a.bin'", "C:\\.out.gcm.x1y2z3.part");
  EXPECT_EQ(kept.path, "C:\\.out.gcm.x1y2z3.part");
}

}  // namespace
