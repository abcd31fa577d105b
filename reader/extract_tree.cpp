// Extraction of the image's tree: folders and their files written under a
// host folder, the unpacked disc, and the dry run of the same walk that plans
// an extraction before anything is written.
#include "reader/reader_state.h"

#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "host/host_text.h"
#include "reader/fst_walk.h"

namespace {

// A folder the walk is inside.
struct Level {
  size_t host_length;          // of the folder's host path
  bool missing;                // dry run: the folder does not exist yet, so nothing in it does
  std::set<std::string> keys;  // dry run: its entries' host names as the host compares them
};

bool plan_stop(IsoExtractionPlan* plan, int why, const std::string& where) {
  plan->stop = why;
  plan->where = where;
  return false;
}

std::string image_path_of(const FstNode& node) {
  std::vector<const char*> names;
  for (const FstNode* n = &node; n->parent; n = n->parent) names.push_back(n->name);
  std::string path;
  for (size_t k = names.size(); k > 0; --k) {
    path += '/';
    path += names[k - 1];
  }
  return path;
}

// Looks at one destination as it is, a link taken as itself; false when the
// plan stops there.
bool plan_destination(IsoExtractionPlan* plan, const char* path, host::EntryKind kind, bool folder, uint32_t size) {
  if (plan->onTarget) plan->onTarget(path, folder ? 1 : 0, folder ? 0 : size, kind != host::EntryKind::Missing);
  if (kind == host::EntryKind::Missing) return true;
  host::FileId id;
  if (g_reader.has_image_id && host::path_identity(path, &id) && id == g_reader.image_id)
    return plan_stop(plan, IsoPlanTargetIsImage, path);
  if (!plan->overwrite) {
    if (plan->existing.size() < ISO_PLAN_SHOWN_EXISTING) plan->existing.push_back(path);
    ++plan->existingCount;
    return true;
  }
  // A file replaces a link; a folder's entries are never written through one.
  if (folder && kind == host::EntryKind::Link) return plan_stop(plan, IsoPlanLinkInTheWay, path);
  const bool fits = folder ? kind == host::EntryKind::Folder
                           : kind == host::EntryKind::File || kind == host::EntryKind::Link;
  return fits || plan_stop(plan, IsoPlanWrongKind, path);
}

// The one duplicate rule: an entry goes nowhere an earlier entry of the same
// extraction went, as the host may tell fewer names apart than the disc (by
// case, say). The extraction asks the host what it has written; its dry run,
// which writes nothing, goes by the names the host takes as one.
bool is_duplicate(Level* level, const char* host_name, const char* path, bool dry_run) {
  if (!dry_run) return reader_written_before(path);
  return !level->keys.insert(host::host_name_key(host_name)).second;
}

bool plan_entry(IsoExtractionPlan* plan, const FstNode& node, const char* path, bool folder_missing,
                bool* missing) {
  if (!node.isDirectory) {
    plan->totalBytes += node.size;
    plan->fileSizes.push_back(node.size);
  }
  const host::EntryKind kind = folder_missing ? host::EntryKind::Missing : host::entry_kind(path);
  *missing = kind == host::EntryKind::Missing;
  return plan_destination(plan, path, kind, node.isDirectory != 0, node.size);
}

bool write_entry(const FstNode& node, const char* path) {
  if (!node.isDirectory) {
    if (g_reader.settings.file_started) g_reader.settings.file_started(path);
    return IsoCopyRange(path, node.offset, node.size);
  }
  // An existing folder is a failure here, unless the caller asked to reuse
  // folders: only the top folder is reused otherwise. A link is never taken
  // for a folder, so nothing is written through it.
  if (!host::make_directory(path) && !(g_reader.settings.reuse_folders && host::entry_kind(path) == host::EntryKind::Folder)) {
    g_reader.error = IsoErrMakeDirectory;
    return false;
  }
  reader_remember_written(path);
  return true;
}

// The walk of a folder extraction, and of its dry run when plan is given:
// the entries from first (first alone when single) into folder.
bool walk_extraction(const FstNode* first, bool single, const char* folder, IsoExtractionPlan* plan) {
  std::vector<Level> levels;
  if (!reader_resize(&levels, 1)) return false;
  try {
    std::string host = folder;  // the host path of the folder the walk is in; the levels say how long
    levels[0].host_length = host.size();
    levels[0].missing = plan && host::path_kind(folder) != host::PathKind::Folder;
    char path[ISO_HOST_PATH_CAPACITY];
    auto enter = [&](const FstNode& node) {
      Level& level = levels.back();
      host.resize(level.host_length);  // back to the folder's path: it only shrinks
      if (!IsoJoinHostPath(host.c_str(), node.name, path, sizeof path)) {
        g_reader.refused_entry = &node;
        if (plan) {
          plan_stop(plan, g_reader.error == IsoErrUnsafeName ? IsoPlanUnsafeName : IsoPlanPathTooLong,
                    image_path_of(node));
        }
        return false;
      }
      if (is_duplicate(&level, path + host.size() + 1, path, plan != nullptr)) {
        reader_refuse(IsoErrDuplicateName, &node);
        if (plan) plan_stop(plan, IsoPlanDuplicateName, image_path_of(node));
        return false;
      }
      bool missing = false;
      if (plan ? !plan_entry(plan, node, path, level.missing, &missing) : !write_entry(node, path)) return false;
      if (node.isDirectory) {
        host = path;
        if (!reader_resize(&levels, levels.size() + 1)) return false;
        levels.back().host_length = host.size();
        levels.back().missing = missing;
      }
      return true;
    };
    return walk_fst_nodes(first, single, enter, [&levels](const FstNode& node) {
      if (node.isDirectory) levels.pop_back();
    });
  } catch (const std::bad_alloc&) {
    // The host paths and the dry run's sets of names.
    g_reader.error = IsoErrNoMemory;
    return false;
  }
}

std::string joined(const char* folder, const char* name) {
  return std::string(folder) + host::PATH_SEPARATOR + name;
}

// The first boot area that runs past the image's end; -1 when none does.
int area_past_end() {
  for (int area = 0; area < ISO_BOOT_AREA_COUNT; ++area) {
    const IsoAreaRange range = IsoGetBootArea(area);
    if (range.present && uint64_t(range.offset) + range.length > g_reader.image_size) return area;
  }
  return -1;
}

// Where the matches of one extraction land, by the host's keys of their paths
// below the destination: a match may not land where another one did, nor
// where the folders on another's way are; those folders may be shared.
struct Placements {
  std::set<std::string> placed, passed;
  bool place(const std::string& key) { return !passed.count(key) && placed.insert(key).second; }
  bool pass(const std::string& key) {
    passed.insert(key);
    return !placed.count(key);
  }
};

// Walks one match's way from its base: the folders down to its node's
// folder, each given to on_folder(node, host path, key) in turn, then the
// node's host folder and key. False with the reader's code when a name does
// not join or a folder stops the walk.
template <class OnFolder>
bool walk_match_way(const IsoMatch& m, const char* destination, std::string* folder, std::string* key,
                    OnFolder&& on_folder) {
  std::vector<const FstNode*> way;
  for (const FstNode* n = m.node->parent; n && n != m.base; n = n->parent) way.push_back(n);
  *folder = destination;
  key->clear();
  char path[ISO_HOST_PATH_CAPACITY];
  for (size_t k = way.size(); k > 0; --k) {
    if (!IsoJoinHostPath(folder->c_str(), way[k - 1]->name, path, sizeof path)) return false;
    *key += "/" + host::host_name_key(path + folder->size() + 1);
    *folder = path;
    if (!on_folder(*way[k - 1], *folder, *key)) return false;
  }
  if (m.node == m.base) return true;  // the root: its entries go into the destination
  if (!IsoJoinHostPath(folder->c_str(), m.node->name, path, sizeof path)) return false;
  *key += "/" + host::host_name_key(path + folder->size() + 1);
  return true;
}

}  // namespace

const char* IsoGetRefusedEntryPath() {
  const int code = g_reader.error;
  const bool refusal = code == IsoErrPathTooLong || code == IsoErrUnsafeName || code == IsoErrDuplicateName;
  g_reader.refused_path = refusal && g_reader.refused_entry ? image_path_of(*g_reader.refused_entry) : std::string();
  return g_reader.refused_path.c_str();
}

bool IsoExtractMatches(const std::vector<IsoMatch>& matches, const char* destinationFolder) {
  if (!require_mounted() || !fits_host_path(destinationFolder)) return false;
  // One file alone is written and flushed as IsoExtractFile writes it.
  const bool single_file = matches.size() == 1 && !matches[0].node->isDirectory;
  if (!single_file) reader_begin_folder_extraction();
  Placements placements;
  bool ok = true;
  std::string folder, key;
  for (size_t i = 0; i < matches.size() && ok; ++i) {
    const IsoMatch& m = matches[i];
    ok = walk_match_way(m, destinationFolder, &folder, &key, [&](const FstNode&, const std::string& path,
                                                                 const std::string& way_key) {
      const char* made = path.c_str();
      if (!placements.pass(way_key)) {
        g_reader.error = IsoErrDuplicateName;
        return false;
      }
      if (!host::make_directory(made) &&
          !(host::entry_kind(made) == host::EntryKind::Folder && (g_reader.settings.reuse_folders || reader_written_before(made)))) {
        g_reader.error = IsoErrMakeDirectory;
        return false;
      }
      reader_remember_written(made);
      return true;
    });
    if (ok && m.node != m.base && !placements.place(key)) {
      g_reader.error = IsoErrDuplicateName;
      ok = false;
    }
    if (ok) {
      ok = m.node == m.base ? walk_extraction(m.node->firstChild, false, folder.c_str(), nullptr)
                            : walk_extraction(m.node, true, folder.c_str(), nullptr);
    }
  }
  if (!single_file) reader_end_folder_extraction();
  if (ok && g_reader.settings.operation_finished) g_reader.settings.operation_finished();
  return ok;
}

void IsoPlanMatches(IsoExtractionPlan* plan, const std::vector<IsoMatch>& matches, const char* destinationFolder) {
  Placements placements;
  std::set<std::string> planned;  // folders on the way, looked at once
  std::string folder, key;
  for (const IsoMatch& m : matches) {
    if (plan->stop != IsoPlanGo) return;
    const bool walked = walk_match_way(m, destinationFolder, &folder, &key, [&](const FstNode& node, const std::string& path,
                                                                                 const std::string& way_key) {
      if (!placements.pass(way_key)) return plan_stop(plan, IsoPlanDuplicateName, image_path_of(node));
      if (!planned.insert(way_key).second) return true;
      return plan_destination(plan, path.c_str(), host::entry_kind(path.c_str()), true, 0);
    });
    if (!walked) {
      if (plan->stop == IsoPlanGo)
        plan_stop(plan, g_reader.error == IsoErrUnsafeName ? IsoPlanUnsafeName : IsoPlanPathTooLong, image_path_of(*m.node));
      return;
    }
    if (m.node != m.base && !placements.place(key)) {
      plan_stop(plan, IsoPlanDuplicateName, image_path_of(*m.node));
      return;
    }
    if (m.node == m.base) {
      walk_extraction(m.node->firstChild, false, folder.c_str(), plan);
    } else {
      walk_extraction(m.node, true, folder.c_str(), plan);
    }
  }
}

void IsoSetReuseFolders(uint8_t enabled) { g_reader.settings.reuse_folders = enabled != 0 ? 1 : 0; }

bool IsoExtractChildren(const FstNode* first, const char* destinationFolder) {
  if (!require_mounted()) return false;
  reader_begin_folder_extraction();
  bool ok = walk_extraction(first, false, destinationFolder, nullptr);
  reader_end_folder_extraction();
  return ok;
}

bool IsoExtractDirectory(const char* pathInImage, const char* destinationFolder) {
  if (!require_mounted() || !fits_host_path(destinationFolder)) return false;
  char path[ISO_HOST_PATH_CAPACITY];
  const FstNode* folder;
  if (std::strlen(pathInImage) == 1) {
    // "/" is the root: its entries go straight into the destination.
    folder = &g_reader.root;
    std::strcpy(path, destinationFolder);
  } else {
    folder = IsoFindDirectory(pathInImage, 0);
    if (!folder) {
      g_reader.error = IsoErrNoDirectory;
      return false;
    }
    if (!IsoJoinHostPath(destinationFolder, folder->name, path, sizeof path)) {
      g_reader.refused_entry = folder;
      return false;
    }
    // The top folder may exist already; it is then simply used, unless it
    // is a link or no folder at all.
    if (!host::make_directory(path) && host::entry_kind(path) != host::EntryKind::Folder) {
      g_reader.error = IsoErrMakeDirectory;
      return false;
    }
  }
  if (!IsoExtractChildren(folder->firstChild, path)) return false;
  if (g_reader.settings.operation_finished) g_reader.settings.operation_finished();
  return true;
}

bool IsoUnpack(const char* folder) {
  if (!require_mounted() || !fits_host_path(folder)) return false;
  if (area_past_end() >= 0) {
    g_reader.error = IsoErrRead;
    return false;
  }
  const std::string sys = joined(folder, UNPACKED_SYS_FOLDER), files = joined(folder, UNPACKED_FILES_FOLDER);
  for (const std::string& made : {sys, files}) {
    if (!host::make_directory(made.c_str()) && host::entry_kind(made.c_str()) != host::EntryKind::Folder) {
      g_reader.error = IsoErrMakeDirectory;
      return false;
    }
  }
  for (int area = 0; area < ISO_BOOT_AREA_COUNT; ++area) {
    const IsoAreaRange range = IsoGetBootArea(area);
    if (!range.present) continue;
    const std::string target = joined(sys.c_str(), range.file_name);
    if (g_reader.settings.file_started) g_reader.settings.file_started(target.c_str());
    if (!IsoCopyRange(target.c_str(), range.offset, range.length)) return false;
  }
  return IsoExtractDirectory("/", files.c_str());
}

void IsoPlanStart(IsoExtractionPlan* plan, uint8_t overwrite) {
  *plan = IsoExtractionPlan();
  plan->overwrite = overwrite;
}

void IsoPlanChildren(IsoExtractionPlan* plan, const FstNode* first, const char* destinationFolder) {
  if (plan->stop == IsoPlanGo) walk_extraction(first, false, destinationFolder, plan);
}

void IsoPlanDirectory(IsoExtractionPlan* plan, const char* pathInImage, const char* destinationFolder) {
  if (plan->stop != IsoPlanGo) return;
  if (std::strlen(pathInImage) == 1) {
    walk_extraction(g_reader.root.firstChild, false, destinationFolder, plan);
  } else if (const FstNode* folder = IsoFindDirectory(pathInImage, 0)) {
    walk_extraction(folder, true, destinationFolder, plan);
  }
}

void IsoPlanFile(IsoExtractionPlan* plan, const char* pathInImage, const char* destinationFolder) {
  if (plan->stop != IsoPlanGo) return;
  if (const FstNode* file = reader_find_file(pathInImage, 1)) walk_extraction(file, true, destinationFolder, plan);
}

void IsoPlanUnpack(IsoExtractionPlan* plan, const char* folder) {
  if (plan->stop != IsoPlanGo) return;
  plan->area = area_past_end();
  if (plan->area >= 0) {
    plan->stop = IsoPlanAreaPastEnd;
    return;
  }
  const std::string sys = joined(folder, UNPACKED_SYS_FOLDER), files = joined(folder, UNPACKED_FILES_FOLDER);
  IsoPlanTarget(plan, sys.c_str(), 1, 0);
  for (int area = 0; area < ISO_BOOT_AREA_COUNT; ++area) {
    const IsoAreaRange range = IsoGetBootArea(area);
    if (range.present) IsoPlanTarget(plan, joined(sys.c_str(), range.file_name).c_str(), 0, range.length);
  }
  IsoPlanTarget(plan, files.c_str(), 1, 0);
  IsoPlanChildren(plan, g_reader.root.firstChild, files.c_str());
}

void IsoPlanTarget(IsoExtractionPlan* plan, const char* destination, uint8_t isFolder, uint32_t size) {
  if (plan->stop != IsoPlanGo) return;
  if (!isFolder) {
    plan->totalBytes += size;
    plan->fileSizes.push_back(size);
  }
  plan_destination(plan, destination, host::entry_kind(destination), isFolder != 0, size);
}

void IsoPlanFinish(IsoExtractionPlan* plan) {
  if (plan->stop == IsoPlanGo && plan->existingCount > 0) plan->stop = IsoPlanExists;
}
