// Plan messages and extraction progress for ombrel-cli.
#include "cli/ombrel_extract.h"

#include "cli/console_text.h"
#include "cli/ombrel_output.h"
#include "host/host_fs.h"

std::string plan_stop_message(const IsoExtractionPlan& plan) {
  const std::string in_image = "'" + image_path_for_display(plan.where) + "'";
  std::string text;
  switch (plan.stop) {
    case IsoPlanGo: return "";
    case IsoPlanUnsafeName: text = in_image + " has a name that cannot be used as a file name here"; break;
    case IsoPlanPathTooLong:
      text = in_image + " would get a path longer than " +
             std::to_string(ISO_HOST_PATH_CAPACITY - 1) + " bytes";
      break;
    case IsoPlanDuplicateName:
      text = in_image + " would be written to the same file as an earlier entry of its folder";
      break;
    case IsoPlanTargetIsImage: text = quoted_host_path(plan.where) + " is the image itself"; break;
    case IsoPlanLinkInTheWay:
      text = quoted_host_path(plan.where) + " is a link, and links inside the destination are not followed";
      break;
    case IsoPlanWrongKind: {
      const host::PathKind kind = host::path_kind(plan.where.c_str());
      text = quoted_host_path(plan.where) +
             (kind == host::PathKind::Folder  ? " is a folder"
              : kind == host::PathKind::Other ? " is not a regular file (a FIFO, socket or device)"
                                              : " is not a folder") +
             " and cannot be replaced";
      break;
    }
    case IsoPlanAreaPastEnd: {
      const IsoAreaRange range = IsoGetBootArea(plan.area);
      return std::string("the image's ") + range.file_name + " (" + std::to_string(range.length) +
             " bytes from offset " + std::to_string(range.offset) + ") runs past its end; nothing written";
    }
    case IsoPlanExists:
      for (size_t i = 0; i < plan.existing.size(); ++i) text += (i ? ", " : "") + quoted_host_path(plan.existing[i]);
      text += plan.existingCount == 1 ? " exists already" : " exist already";
      if (plan.existingCount > plan.existing.size())
        text += " (and " + std::to_string(plan.existingCount - plan.existing.size()) + " more)";
      text += "; nothing written (--overwrite replaces files and writes into existing folders)";
      return text;
  }
  return text + "; nothing written";
}

void extraction_progress_init(ExtractionProgress* progress, const IsoExtractionPlan& plan) {
  progress->file_sizes = plan.fileSizes;
  progress->started = 0;
  job_progress_init(&progress->job, plan.totalBytes,
                    static_cast<uint32_t>(plan.fileSizes.size()), false);
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
