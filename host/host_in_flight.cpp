// The temporary files of the outputs in flight: their names, and the list
// where an interruption's handler and the cleanup at exit find them. The
// outputs of every host sit above it; it calls nothing else of the host layer.
#include "host/host_fs.h"
#include "host/host_internal.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

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
  // Registered once, whichever thread claims first.
  static const bool cleanup_at_exit = std::atexit(discard_outputs_in_flight) == 0;
  (void)cleanup_at_exit;
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

#ifdef _WIN32
void remove_in_flight_file(const char* path) { DeleteFileA(path); }
#else
void remove_in_flight_file(const char* path) { unlink(path); }
#endif

void discard_outputs_in_flight() {
  for (InFlight& slot : g_in_flight) {
    if (slot.used.exchange(0)) remove_in_flight_file(slot.path);
  }
}

std::string random_suffix(uint64_t seed, bool lower_case_only) {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = seed ^ ((counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull);
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

