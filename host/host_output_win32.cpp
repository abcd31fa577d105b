// Outputs written whole or not at all, on Windows: a temporary file beside
// the target, moved over it once complete, and the console handler that
// removes it when the program is interrupted.
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host_internal.h"
#include "host/host_fs.h"

namespace host {

namespace {

char g_interrupt_message[1024];
volatile LONG g_interrupt_message_length = 0;

// The console's close, logoff and shutdown end the program as a hang-up
// ends it on POSIX hosts.
constexpr int HANGUP = 1;

BOOL WINAPI on_console_event(DWORD event) {
  int sig = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : HANGUP;
  discard_outputs_in_flight();
  if (g_interrupt_message_length > 0) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), g_interrupt_message, DWORD(g_interrupt_message_length),
              &written, nullptr);
  }
  ExitProcess(UINT(128 + sig));
  return TRUE;
}

std::string new_suffix() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Names here ignore case.
  return random_suffix(uint64_t(now.QuadPart) ^ (uint64_t(GetCurrentProcessId()) << 20), true);
}

// Where the name begins in a full path: after the last separator that is
// not the second byte of a double-byte character.
size_t name_start(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/' || path[i] == ':') {
      start = i + 1;
    }
  }
  return start;
}

// ".NAME.XXXXXX.part" in the target's folder, the name cut between
// characters so that the whole path fits the ANSI calls' MAX_PATH.
std::string temporary_path(const std::string& folder, const std::string& name) {
  const size_t extra = std::strlen("..XXXXXX.part");
  if (folder.size() + extra + 1 >= MAX_PATH) return std::string();
  const size_t room = MAX_PATH - 1 - folder.size() - extra;
  size_t cut = 0;
  for (size_t i = 0; i < name.size();) {
    size_t step = IsDBCSLeadByte(static_cast<BYTE>(name[i])) && i + 1 < name.size() ? 2 : 1;
    if (i + step > room) break;
    i += step;
    cut = i;
  }
  return folder + "." + name.substr(0, cut) + "." + new_suffix() + ".part";
}

}  // namespace

struct Output {
  File* file;
  bool flush;
  int slot;            // in the in-flight list, or -1
  std::string target;  // full path
  std::string temp;    // full path; empty for a device written in place
};

Output* output_begin(const char* target, bool flush) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(target, MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::string absolute(full);
  switch (entry_kind(full)) {
    case EntryKind::Missing:
    case EntryKind::Link:  // the link itself is replaced
      break;
    case EntryKind::File:
      // A read-only file stays protected, as it was when outputs were
      // truncated in place.
      if (GetFileAttributesA(full) & FILE_ATTRIBUTE_READONLY) return nullptr;
      break;
    case EntryKind::Folder:
      return nullptr;
    case EntryKind::Other: {
      // Devices (NUL, COM1...) are written in place; pipes are refused.
      File* device = wrap_file(CreateFileA(full, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
      if (device && GetFileType(device->handle) != FILE_TYPE_CHAR) {
        file_close(device);
        device = nullptr;
      }
      return device ? new Output{device, flush, -1, absolute, ""} : nullptr;
    }
  }
  const size_t start = name_start(absolute);
  const std::string folder = absolute.substr(0, start), name = absolute.substr(start);
  if (name.empty()) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = temporary_path(folder, name);
    if (temp.empty()) return nullptr;
    // Shared for deletion, so that the cleanup can remove it while it is open.
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    int slot = claim_in_flight(temp);
    File* file = wrap_file(h);
    if (!file) {
      DeleteFileA(temp.c_str());
      release_in_flight(slot);
      return nullptr;
    }
    return new Output{file, flush, slot, absolute, temp};
  }
  return nullptr;
}

File* output_file(Output* out) { return out->file; }

Commit output_commit(Output* out, std::string* kept_path) {
  bool ok = !out->flush || out->temp.empty() || FlushFileBuffers(out->file->handle);
  ok = CloseHandle(out->file->handle) && ok;
  std::free(out->file);
  Commit result = ok ? Commit::Done : Commit::Failed;
  if (!out->temp.empty()) {
    DWORD flags = MOVEFILE_REPLACE_EXISTING | (out->flush ? MOVEFILE_WRITE_THROUGH : 0);
    if (ok && !MoveFileExA(out->temp.c_str(), out->target.c_str(), flags)) {
      DWORD error = GetLastError();
      // Another program has the target open: the finished file is kept.
      bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                  error == ERROR_LOCK_VIOLATION;
      result = busy ? Commit::KeptAside : Commit::Failed;
    }
    if (result == Commit::Failed) DeleteFileA(out->temp.c_str());
    if (result == Commit::KeptAside && kept_path) *kept_path = out->temp;
    release_in_flight(out->slot);
  }
  delete out;
  return result;
}

void output_abandon(Output* out) {
  if (!out) return;
  CloseHandle(out->file->handle);
  std::free(out->file);
  if (!out->temp.empty()) {
    DeleteFileA(out->temp.c_str());
    release_in_flight(out->slot);
  }
  delete out;
}

// Shared for deletion when created, so that this works while it is open; it
// is gone once the last handle closes.
void install_interrupt_cleanup() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void set_interrupt_message(const char* message) {
  InterlockedExchange(&g_interrupt_message_length, 0);
  size_t n = message ? std::strlen(message) : 0;
  if (n > sizeof g_interrupt_message) n = sizeof g_interrupt_message;
  if (n > 0) std::memcpy(g_interrupt_message, message, n);
  InterlockedExchange(&g_interrupt_message_length, LONG(n));
}

}  // namespace host
