// A host folder's names, as the scan and the edit engine's folder additions
// both take them.
#include <cstring>

#include "builder/builder_state.h"
#include "host/host_text.h"

bool list_folder_names(const char* path, std::vector<std::string>* names) {
  names->clear();
  host::DirListing* listing = host::dir_open(path);
  if (!listing) return false;
  for (;;) {
    const char* name = nullptr;
    host::ListStep step = host::dir_next(listing, &name);
    if (step == host::ListStep::End) break;
    if (step == host::ListStep::Failed) {
      host::dir_close(listing);
      return false;
    }
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names->push_back(name);
  }
  host::dir_close(listing);
  host::sort_names_as_windows_lists(names);
  return true;
}
