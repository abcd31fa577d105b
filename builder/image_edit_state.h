// The edit engine's one state (image_edit_state.cpp), shared by the actions
// on the image's tree (image_edit.cpp), the placement (edit_placement.cpp)
// and the writes (edit_apply.cpp). Not for callers outside builder/.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "builder/builder_state.h"
#include "builder/image_edit.h"
#include "builder/image_edit_testing.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"

// One entry of the image as the actions so far leave it.
struct EditNode {
  std::string name;  // code page 932; "" for the root
  bool is_directory = false;
  EditNode* parent = nullptr;
  std::vector<EditNode*> children;  // in table order; new entries last
  bool is_new = false;              // not in the image's table
  // A file's data: where it lies in the image, or the step whose host file
  // gives it.
  uint32_t offset = 0, length = 0;
  int source_step = -1;
};

// A byte range of the image, [start, end).
typedef std::pair<uint64_t, uint64_t> EditRange;

// A candidate gap for new data; bytes below checked_to (or past the image's
// end) are known to be zeros or filler.
struct EditGap {
  uint64_t start, end, checked_to;
};

struct EditStepRecord {
  EditStep step;
  std::string path, new_name, host_path;  // what step's texts point at
};

struct ScanChunk;  // edit_placement.cpp

struct EditState {
  uint16_t last_error = BUILD_OK;
  std::string error_path;
  const char* name_problem = nullptr;  // with EDIT_ERR_BAD_NAME: the rule the name breaks

  EditStageFn on_stage = nullptr;
  EditStepFn on_step = nullptr;
  EditProgressFn on_progress = nullptr;
  bool allow_oversize = false;

  // The image, open for reading from builder_edit_open on.
  std::string image_path;
  host::File* image = nullptr;
  host::FileId image_id = {0, 0};
  uint64_t image_size = 0;
  DiscHeader header = {};         // as read
  DiscHeader edited_header = {};  // with the header actions applied
  bool header_changed = false;
  bool disc_magic = false;  // the GameCube magic word is at 0x1C
  // Folder entries carry their parent's index (else 0), as the image has it.
  bool parent_links = false;
  // What the image uses and no action frees: the boot areas, the apploader,
  // the main program. The table and file data are added when planning.
  std::vector<EditRange> system_ranges;
  uint32_t old_table_offset = 0, old_table_size = 0;
  // The image's files by extension, for the alignment a new file takes.
  KeptAlignments kept_alignments;

  std::vector<std::unique_ptr<EditNode>> nodes;  // every node made, root first
  EditNode* root = nullptr;
  std::deque<EditStepRecord> steps;

  bool planned = false;   // a plan waits to be written
  bool have_plan = false;  // the plan describes the actions queued
  EditPlan plan = {};
  std::vector<uint8_t> new_table;
  std::vector<EditRange> freed;  // to zero once the new table is live
  std::vector<EditGap> gaps;
  uint64_t content_end = 0;
  bool table_switched = false;
  // The last piece of the image the free-space scan read, while a plan is made.
  ScanChunk* scan_chunk = nullptr;

  // Kept by a reset, as a window registers its callbacks once and a test its hook.
  EditWriteHook write_hook = nullptr;
  unsigned writes = 0;  // writes and flushes since the last reset
};

extern EditState g_edit;

// Records code as the last error, about no path / about path; false.
bool edit_fail(uint16_t code);
bool edit_fail_on_path(uint16_t code, const std::string& path);
// EDIT_ERR_BAD_NAME for the entry at path, whose name breaks the rule problem.
bool edit_fail_on_name(const std::string& path, const char* problem);
// Runs an operation, turning memory running out inside the standard
// containers into code 1 instead of an abort.
template <class Operation>
bool edit_guard(Operation&& operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return edit_fail(BUILD_ERR_NO_MEMORY);
  }
}
// Buffers of the engine: a failure records code 1. Freed with std::free.
void* edit_alloc(size_t size);
// Every write and flush of the image asks this first; false (with code 6)
// when the test hook fails it.
bool edit_write_allowed();

// The image's data for the free-space scan: reads [offset, offset + n).
bool edit_read_image(uint64_t offset, void* out, size_t n);

// The placement (edit_placement.cpp): the gaps of the image as it is.
void edit_find_gaps();
// The first offset at alignment where length bytes of free space begin,
// taken out of the gaps; false with code 5 when the image cannot be read.
bool edit_take_space(uint64_t length, uint32_t alignment, uint64_t* offset);
