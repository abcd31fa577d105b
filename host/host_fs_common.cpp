// The parts of the host layer built on the others, the same on every host.
#include "host/host_fs.h"
#include "host/host_internal.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace host {

bool measure_file(const char* path, uint64_t* length) {
  File* f = file_open_read(path);
  if (!f) return false;
  bool ok = file_length(f, length);
  file_close(f);
  return ok;
}

bool path_is_link(const char* path) { return entry_kind(path) == EntryKind::Link; }

bool file_read(File* f, void* buffer, size_t n) {
  size_t got = 0;
  return file_read_some(f, buffer, n, &got) && got == n;
}

bool make_folders(const char* path) {
  auto is_separator = [](char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
  };
  const std::string whole = path;
  if (whole.empty()) return false;
  // Each prefix that ends before a separator, then the whole path. Prefixes
  // that name nothing by themselves ("", "C:") are skipped.
  for (size_t i = 1; i <= whole.size(); ++i) {
    if (i < whole.size() && !is_separator(whole[i])) continue;
    if (is_separator(whole[i - 1])) continue;
    const std::string prefix = whole.substr(0, i);
#ifdef _WIN32
    if (prefix.size() == 2 && prefix[1] == ':') continue;
#endif
    const PathKind kind = path_kind(prefix.c_str());
    if (kind == PathKind::File || kind == PathKind::Other) return false;
    if (kind == PathKind::Missing && !make_directory(prefix.c_str()) &&
        path_kind(prefix.c_str()) != PathKind::Folder) {
      return false;
    }
  }
  return path_kind(path) == PathKind::Folder;
}

}  // namespace host

namespace host {

namespace {

// A slot's path is complete before the slot is marked used; lock-free
// atomics are safe in a signal handler and across the console handler's
// thread.
constexpr int IN_FLIGHT_SLOTS = 8;
struct InFlight {
  std::atomic<int> used;
  char path[4096];
};
InFlight g_in_flight[IN_FLIGHT_SLOTS];

}  // namespace

int claim_in_flight(const std::string& path) {
  static bool cleanup_at_exit = false;
  if (!cleanup_at_exit) {
    std::atexit(discard_outputs_in_flight);
    cleanup_at_exit = true;
  }
  if (path.size() >= sizeof g_in_flight[0].path) return -1;
  for (int i = 0; i < IN_FLIGHT_SLOTS; ++i) {
    if (g_in_flight[i].used.load()) continue;
    std::memcpy(g_in_flight[i].path, path.c_str(), path.size() + 1);
    g_in_flight[i].used.store(1);
    return i;
  }
  return -1;
}

void release_in_flight(int slot) {
  if (slot >= 0) g_in_flight[slot].used.store(0);
}

void discard_outputs_in_flight() {
  for (InFlight& slot : g_in_flight) {
    if (slot.used.exchange(0)) remove_in_flight_file(slot.path);
  }
}

std::string random_suffix(uint64_t seed, bool lower_case_only) {
  static uint64_t counter = 0;
  uint64_t x = seed ^ (++counter * 0x9E3779B97F4A7C15ull);
  // splitmix64's finaliser spreads every input bit over the result.
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const uint64_t count = lower_case_only ? 36 : 62;
  std::string s;
  for (int i = 0; i < 6; ++i, x /= count) s += LETTERS[x % count];
  return s;
}

}  // namespace host

