// What the host layer's own source files share; nothing outside host/
// includes it.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

namespace host {

// The record behind host::File.
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

// Opens path with flags (O_CLOEXEC added) without waiting, since a FIFO
// without a writer would hold the open; keeps it only when accept takes what
// it names once open, then lets reads and writes wait again.
File* open_checked(const char* path, int flags, bool (*accept)(mode_t mode));
#endif

// The temporary files of the outputs in flight (host_in_flight.cpp), where
// an interruption's handler and the cleanup at exit find them. A claim gives
// the slot to release, or -1 when the list is full: the file is then still
// removed on a failure, only not on an interruption.
int claim_in_flight(const std::string& path);
void release_in_flight(int slot);
// Removes a file at once, without allocating: async-signal-safe on POSIX.
void remove_in_flight_file(const char* path);

// Six letters and digits for a temporary file's name, different for each
// call: seed (a clock and the process id) mixed with a counter. Lower case
// only where the host's names ignore case.
std::string random_suffix(uint64_t seed, bool lower_case_only);

}  // namespace host
