// Checks of what the mounted image holds: files cut off by the image's end,
// data outside every area a rebuild carries over, and the whole structure
// check of a disc.
#include "reader/reader_state.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "container/disc_identify.h"
#include "container/junk.h"
#include "host/host_text.h"
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

// A file of at least one byte that ends past the disc the image holds.
bool runs_past_end(const FstNode& file) {
  return file.size != 0 && uint64_t(file.offset) + file.size > g_reader.image_size;
}

}  // namespace

uint32_t IsoCountFilesPastEnd(uint64_t* neededSize) {
  *neededSize = g_reader.image_size;
  if (!g_reader.mounted) return 0;
  uint32_t count = 0;
  for_each_file([&](const FstNode& file) {
    if (!runs_past_end(file)) return;
    ++count;
    *neededSize = std::max(*neededSize, uint64_t(file.offset) + file.size);
  });
  return count;
}

namespace {

bool list_used_spans(std::vector<IsoSpan>* spans) {
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

}  // namespace

bool IsoListUsedSpans(std::vector<IsoSpan>* spans) {
  try {
    return list_used_spans(spans);
  } catch (const std::bad_alloc&) {
    spans->clear();
    g_reader.error = IsoErrNoMemory;
    return false;
  }
}

bool IsoCountOutsideData(uint64_t* bytes) {
  *bytes = 0;
  // Everything a rebuild carries over: the boot areas as unpacked, the table
  // and the files.
  std::vector<IsoSpan> used;
  if (!IsoListUsedSpans(&used)) return false;
  const uint64_t disc_end = g_reader.image_size;

  std::vector<uint8_t> block, junk;
  if (!reader_resize(&block, SCAN_BLOCK) || !reader_resize(&junk, JUNK_SECTOR_SIZE)) return false;
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

// ---------------------------------------------------------------------------
// The structure check
// ---------------------------------------------------------------------------

namespace {

std::string path_of(const FstNode& node) {
  std::string path;
  for (const FstNode* n = &node; n->parent; n = n->parent) path = "/" + std::string(n->name) + path;
  return path;
}

bool letters_and_digits(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const char c = p[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// The findings, at most ISO_CHECK_SHOWN_PER_KIND of a kind; the rest counted.
class Findings {
 public:
  explicit Findings(std::vector<IsoFinding>* out) : out_(out) { out_->clear(); }
  // Counts what was left out, kind by kind.
  void finish() {
    for (int kind = 0; kind <= IsoFindMore; ++kind) {
      if (count_[kind] > ISO_CHECK_SHOWN_PER_KIND)
        out_->push_back({IsoFindMore, IsoSeverityNote, "", 0, 0, "", count_[kind] - ISO_CHECK_SHOWN_PER_KIND, kind});
    }
  }
  void add(int kind, const std::string& entry, uint64_t start, uint64_t end, const std::string& other = "",
           uint64_t value = 0) {
    if (++count_[kind] > ISO_CHECK_SHOWN_PER_KIND) return;
    out_->push_back({kind, severity(kind), entry, start, end, other, value, 0});
  }

 private:
  static int severity(int kind) {
    switch (kind) {
      case IsoFindNoDiscMagic:
      case IsoFindOddIdentity:
      case IsoFindTableOverMax:
      case IsoFindUnsafeName:
      case IsoFindDuplicateName:
      case IsoFindLongImage: return IsoSeverityWarning;
      case IsoFindNoMainProgram:
      case IsoFindShortImage: return IsoSeverityNote;
    }
    return IsoSeverityError;
  }
  std::vector<IsoFinding>* out_;
  uint64_t count_[IsoFindMore + 1] = {};
};

void check_header(Findings* f) {
  const uint8_t* boot = g_reader.boot_block;
  if (identify_disc_bytes(boot, DISC_IDENTIFY_BYTES, g_reader.image_size).kind != DiscFileKind::GameCubeImage)
    f->add(IsoFindNotADisc, UNPACKED_BOOT_BIN, 0, DISC_HEADER_SIZE);
  if (g_reader.header.disc_magic.get() != GAMECUBE_DISC_MAGIC)
    f->add(IsoFindNoDiscMagic, UNPACKED_BOOT_BIN, GAMECUBE_DISC_MAGIC_OFFSET, GAMECUBE_DISC_MAGIC_OFFSET + 4);
  if (!letters_and_digits(reinterpret_cast<const char*>(boot), 6)) f->add(IsoFindOddIdentity, UNPACKED_BOOT_BIN, 0, 6);
  if (g_reader.image_size > DISC_IMAGE_SIZE) {
    f->add(IsoFindLongImage, "", DISC_IMAGE_SIZE, g_reader.image_size, "", g_reader.image_size);
  }
}

void check_table(Findings* f) {
  const uint64_t start = g_reader.fst_offset, end = start + g_reader.fst_size;
  switch (g_reader.table_fault) {
    case TableOutsideImage: f->add(IsoFindTableOutside, UNPACKED_FST, start, end, "", g_reader.image_size); break;
    case TableBadCount: f->add(IsoFindTableBroken, UNPACKED_FST, start, end); break;
    case TableBrokenAt:
      f->add(IsoFindTableBroken, UNPACKED_FST, start, end, "", g_reader.table_fault_entry);
      break;
  }
  const uint32_t max = g_reader.header.max_fst_size.get();
  if (g_reader.fst_size > max) f->add(IsoFindTableOverMax, UNPACKED_FST, start, end, "", max);
}

struct Area {
  const char* name;
  uint64_t start, end;
};

// The boot areas as other tools unpack them, those with bytes.
std::vector<Area> boot_areas() {
  std::vector<Area> areas;
  for (int area = 0; area < ISO_BOOT_AREA_COUNT; ++area) {
    const IsoAreaRange r = IsoGetBootArea(area);
    if (r.present && r.length) areas.push_back({r.file_name, r.offset, uint64_t(r.offset) + r.length});
  }
  return areas;
}

void check_areas(const std::vector<Area>& areas, Findings* f) {
  for (size_t i = 0; i < areas.size(); ++i) {
    const Area& a = areas[i];
    // The table's own fault is told by check_table.
    if (a.end > g_reader.image_size && a.name != std::string(UNPACKED_FST))
      f->add(IsoFindAreaPastEnd, a.name, a.start, a.end, "", g_reader.image_size);
    for (size_t k = i + 1; k < areas.size(); ++k) {
      if (a.start < areas[k].end && areas[k].start < a.end) f->add(IsoFindAreasOverlap, a.name, a.start, a.end, areas[k].name);
    }
  }
  if (!reader_has_main_program()) {
    f->add(IsoFindNoMainProgram, UNPACKED_MAIN_DOL, 0, 0);
    return;
  }
  // The sections, each a file offset, a load address and a size; the entry
  // point must lie in one of them.
  const uint8_t* dol = g_reader.dol_header;
  const uint64_t at = g_reader.main_program_offset;
  const uint32_t entry = read_be32(dol + DOL_ENTRY_POINT_OFFSET);
  bool any = false, entered = false;
  for (uint32_t i = 0; i < DOL_SECTION_COUNT; ++i) {
    const uint32_t size = read_be32(dol + DOL_SIZES_OFFSET + 4 * i);
    const uint32_t address = read_be32(dol + DOL_ADDRESSES_OFFSET + 4 * i);
    if (size == 0) continue;
    any = true;
    entered = entered || (entry >= address && entry - address < size);
  }
  const uint64_t end = at + dol_length(dol);
  if (!any) {
    f->add(IsoFindNoSections, UNPACKED_MAIN_DOL, at, at + DOL_HEADER_SIZE);
  } else if (!entered) {
    f->add(IsoFindEntryPoint, UNPACKED_MAIN_DOL, at, end, "", entry);
  }
}

void check_files(const std::vector<Area>& areas, Findings* f) {
  struct Span {
    uint64_t start, end;
    const FstNode* node;
  };
  std::vector<Span> spans;
  for_each_file([&](const FstNode& file) {
    const uint64_t start = file.offset, end = start + file.size;
    if (runs_past_end(file)) f->add(IsoFindFilePastEnd, path_of(file), start, end, "", g_reader.image_size);
    if (file.size) spans.push_back({start, end, &file});
  });
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
  const Span* furthest = nullptr;  // of the files before, the one that ends last
  for (const Span& s : spans) {
    if (furthest && s.start < furthest->end) f->add(IsoFindFilesOverlap, path_of(*s.node), s.start, s.end, path_of(*furthest->node));
    if (!furthest || s.end > furthest->end) furthest = &s;
    for (const Area& a : areas) {
      if (s.start < a.end && a.start < s.end) f->add(IsoFindFileOverlapsArea, path_of(*s.node), s.start, s.end, a.name);
    }
  }
}

// Every name through the extraction's name rule, and each folder's names as
// this host tells them apart.
void check_names(Findings* f) {
  std::vector<std::map<std::string, const FstNode*>> folders(1);
  auto check = [&](const FstNode& node) {
    const uint64_t start = node.isDirectory ? 0 : node.offset, end = node.isDirectory ? 0 : start + node.size;
    if (!IsoIsSafeHostName(node.name)) {
      f->add(IsoFindUnsafeName, path_of(node), start, end);
    } else {
      const auto placed =
          folders.back().insert({host::host_name_key(host::host_name_from_disc_name(std::string(node.name))), &node});
      if (!placed.second) f->add(IsoFindDuplicateName, path_of(node), start, end, path_of(*placed.first->second));
    }
    if (node.isDirectory) folders.emplace_back();
    return true;
  };
  walk_fst_nodes(g_reader.root.firstChild, false, check, [&](const FstNode& node) {
    if (node.isDirectory) folders.pop_back();
  });
}

}  // namespace

namespace {

bool check_disc(std::vector<IsoFinding>* findings) {
  if (!require_mounted()) {
    findings->clear();
    return false;
  }
  Findings f(findings);
  check_header(&f);
  check_table(&f);
  const std::vector<Area> areas = boot_areas();
  check_areas(areas, &f);
  check_files(areas, &f);
  check_names(&f);
  uint64_t needed = 0;
  // A CISO that leaves out trailing zero blocks is no shorter for it.
  if (g_reader.image_size < DISC_IMAGE_SIZE && IsoCountFilesPastEnd(&needed) == 0 &&
      !container_kind_drops_trailing_zeros(container_kind(g_reader.disc)))
    f.add(IsoFindShortImage, "", 0, g_reader.image_size, "", g_reader.image_size);
  f.finish();
  return true;
}

}  // namespace

bool IsoCheckDisc(std::vector<IsoFinding>* findings) {
  try {
    return check_disc(findings);
  } catch (const std::bad_alloc&) {
    findings->clear();
    g_reader.error = IsoErrNoMemory;
    return false;
  }
}
