// Checks of what the mounted image holds beside its files: files cut off by
// the image's end, and data outside every area a rebuild carries over.
#include "reader/reader_state.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "container/junk.h"
#include "reader/fst_walk.h"

namespace {

// Calls visit for every file node of the cached tree.
template <typename Visit>
void for_each_file(Visit visit) {
  walk_fst_nodes(g_reader.root.firstChild, false, [&visit](const FstNode& node) {
    if (!node.isDirectory) visit(node);
    return true;
  });
}

// Gaps are read in blocks of this size, each a whole number of the filler's
// sectors, so that a block's filler is generated sector by sector.
constexpr uint32_t SCAN_BLOCK = 32 * JUNK_SECTOR_SIZE;  // 1 MiB
static_assert(SCAN_BLOCK % JUNK_SECTOR_SIZE == 0, "blocks hold whole filler sectors");

// Bytes of data[0, n) that are neither zero nor the filler the disc holds at
// offset. A piece that is all zero needs no filler generated.
uint64_t count_foreign_bytes(const uint8_t* data, size_t n, uint64_t offset, uint8_t* junk) {
  uint64_t foreign = 0;
  while (n > 0) {
    size_t piece = size_t(JUNK_SECTOR_SIZE - offset % JUNK_SECTOR_SIZE);
    if (piece > n) piece = n;
    bool zero = true;
    for (size_t i = 0; i < piece && zero; ++i) zero = data[i] == 0;
    if (!zero) {
      const uint8_t* header = g_reader.boot_block;
      junk_fill_disc(header, header[DISC_NUMBER_OFFSET], offset, junk, piece);
      for (size_t i = 0; i < piece; ++i) foreign += (data[i] != 0) & (data[i] != junk[i]);
    }
    data += piece;
    offset += piece;
    n -= piece;
  }
  return foreign;
}

}  // namespace

uint32_t IsoCountFilesPastEnd(uint64_t* neededSize) {
  const uint64_t end = g_reader.image_size;
  *neededSize = end;
  // A CISO's disc ends with its last stored block: what follows reads as the
  // zero blocks it leaves out, not as missing data.
  if (!g_reader.mounted || container_kind(g_reader.disc) == CONTAINER_CISO) return 0;
  uint32_t count = 0;
  for_each_file([&](const FstNode& file) {
    const uint64_t file_end = uint64_t(file.offset) + file.size;
    if (file.size == 0 || file_end <= end) return;
    ++count;
    *neededSize = std::max(*neededSize, file_end);
  });
  return count;
}

bool IsoListUsedSpans(std::vector<IsoSpan>* spans) {
  spans->clear();
  if (!g_reader.mounted) {
    g_reader.error = IsoErrNotMounted;
    return false;
  }
  std::vector<IsoSpan> used;
  for (int area = 0; area < ISO_BOOT_AREA_COUNT; ++area) {
    IsoAreaRange range = IsoGetBootArea(area);
    if (range.present && range.length != 0) used.push_back({range.offset, uint64_t(range.offset) + range.length});
  }
  for_each_file([&](const FstNode& file) {
    if (file.size != 0) used.push_back({file.offset, uint64_t(file.offset) + file.size});
  });
  std::sort(used.begin(), used.end(), [](const IsoSpan& a, const IsoSpan& b) { return a.start < b.start; });
  for (const IsoSpan& span : used) {
    if (!spans->empty() && span.start <= spans->back().end) {
      spans->back().end = std::max(spans->back().end, span.end);
    } else {
      spans->push_back(span);
    }
  }
  return true;
}

bool IsoCountOutsideData(uint64_t* bytes) {
  *bytes = 0;
  // Everything a rebuild carries over: the boot areas as unpacked, the table
  // and the files.
  std::vector<IsoSpan> used;
  if (!IsoListUsedSpans(&used)) return false;
  const uint64_t disc_end = g_reader.image_size;

  std::vector<uint8_t> block(SCAN_BLOCK), junk(JUNK_SECTOR_SIZE);
  uint64_t position = 0;  // everything before it is used or counted
  auto scan_gap = [&](uint64_t start, uint64_t end) {
    end = std::min(end, disc_end);
    while (start < end) {
      // Blocks end on the block grid, so the filler sectors fall whole into them.
      uint64_t stop = std::min(end, (start / SCAN_BLOCK + 1) * SCAN_BLOCK);
      size_t n = size_t(stop - start);
      if (!reader_read(start, block.data(), n)) {
        g_reader.error = reader_read_failure(IsoErrRead);
        return false;
      }
      *bytes += count_foreign_bytes(block.data(), n, start, junk.data());
      start = stop;
    }
    return true;
  };
  for (const IsoSpan& span : used) {
    if (span.start > position && !scan_gap(position, span.start)) return false;
    position = std::max(position, span.end);
  }
  return position >= disc_end || scan_gap(position, disc_end);
}
