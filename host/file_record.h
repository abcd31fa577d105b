// The record behind host::File, shared by the host layer's own source files;
// nothing outside host/ includes it.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace host {

struct File {
#ifdef _WIN32
  HANDLE handle;
#else
  int fd;
#endif
};

// The record for an open file; null, with the file closed, when it is
// invalid or the record cannot be allocated.
#ifdef _WIN32
File* wrap_file(HANDLE h);
#else
File* wrap_file(int fd);
#endif

}  // namespace host
