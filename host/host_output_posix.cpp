// Outputs written whole or not at all, on POSIX hosts: a temporary file
// beside the target, renamed over it once complete, and the signal handlers
// that remove it when the program is interrupted.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host_internal.h"
#include "host/host_fs.h"

namespace host {

namespace {

const int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

// Holds back the interruptions while a temporary file and its slot change
// together, so that the handler never finds one without the other.
class HoldInterruptions {
 public:
  HoldInterruptions() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : INTERRUPTIONS) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~HoldInterruptions() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HoldInterruptions(const HoldInterruptions&) = delete;
  HoldInterruptions& operator=(const HoldInterruptions&) = delete;

 private:
  sigset_t previous_;
};

char g_interrupt_message[1024];
volatile sig_atomic_t g_interrupt_message_length = 0;

extern "C" void on_interruption(int sig) {
  // Async-signal-safe calls only: unlink, poll, write, _exit.
  discard_outputs_in_flight();
  // The message is left out when stderr cannot take it now (a terminal
  // nobody reads, a full pipe): waiting there would keep the process alive.
  struct pollfd err = {2, POLLOUT, 0};
  if (g_interrupt_message_length > 0 && poll(&err, 1, 0) == 1 && (err.revents & POLLOUT)) {
    ssize_t ignored = write(2, g_interrupt_message, size_t(g_interrupt_message_length));
    (void)ignored;
  }
  _exit(128 + sig);
}

std::string new_suffix() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return random_suffix(uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 30) ^ (uint64_t(getpid()) << 16),
                       false);
}

// The target as an absolute path, so that the rename and the cleanup mean
// the same file whatever the current folder is by then.
bool absolute_path(const char* path, std::string* out) {
  if (path[0] == '/') {
    *out = path;
    return true;
  }
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return false;
  *out = std::string(cwd) + (cwd[1] ? "/" : "") + path;
  return true;
}

// The temporary file's path for a name: ".NAME.XXXXXX.part" in the same
// folder, the name cut (between UTF-8 characters) so that it fits a name's
// 255 bytes.
std::string temporary_path(const std::string& folder, std::string name) {
  const size_t room = NAME_MAX - std::strlen("..XXXXXX.part");
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return folder + "." + name + "." + new_suffix() + ".part";
}

// Opens a device to write in place; null unless it still is one once open.
File* open_device(const char* path) {
  return open_checked(path, O_WRONLY | O_NOFOLLOW, [](mode_t mode) { return S_ISCHR(mode) || S_ISBLK(mode); });
}

// Makes a renamed entry of the folder last through a crash; a file system
// that cannot sync a folder has nothing to do.
void sync_folder(const std::string& folder) {
  int fd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

}  // namespace

struct Output {
  File* file;
  bool flush;
  int slot;            // in the in-flight list, or -1
  std::string target;  // absolute
  std::string temp;    // absolute; empty for a device written in place
  std::string folder;  // the target's folder, with its final separator
};

Output* output_begin(const char* target, bool flush) {
  std::string absolute;
  if (!absolute_path(target, &absolute)) return nullptr;
  struct stat st;
  const bool exists = lstat(absolute.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return nullptr;
  if (exists && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) {
    File* device = open_device(absolute.c_str());
    return device ? new Output{device, flush, -1, absolute, "", ""} : nullptr;
  }
  if (exists && S_ISREG(st.st_mode)) {
    // A file this user may not write stays protected, as it was when
    // outputs were truncated in place.
    if (access(absolute.c_str(), W_OK) != 0) return nullptr;
  } else if (exists && !S_ISLNK(st.st_mode)) {
    return nullptr;  // a folder, FIFO or socket
  }

  const size_t slash = absolute.find_last_of('/');
  const std::string folder = absolute.substr(0, slash + 1);
  const std::string name = absolute.substr(slash + 1);
  if (name.empty()) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = temporary_path(folder, name);
    if (temp.size() >= PATH_MAX) return nullptr;
    int fd, slot;
    {
      HoldInterruptions hold;
      fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;
      if (fd < 0) return nullptr;
      slot = claim_in_flight(temp);
    }
    // A replaced file keeps its permissions.
    if (exists && S_ISREG(st.st_mode)) (void)fchmod(fd, st.st_mode & 0777);
    File* file = wrap_file(fd);
    if (!file) {
      HoldInterruptions hold;
      unlink(temp.c_str());
      release_in_flight(slot);
      return nullptr;
    }
    return new Output{file, flush, slot, absolute, temp, folder};
  }
  return nullptr;
}

File* output_file(Output* out) { return out->file; }

// Closes the file; false when the data may not all have been written.
static bool close_output_file(Output* out) {
  bool ok = true;
  // A device that cannot be synced (EINVAL, EROFS) has nothing to flush.
  if (out->flush && fsync(out->file->fd) != 0 && !(out->temp.empty() && (errno == EINVAL || errno == EROFS)))
    ok = false;
  if (close(out->file->fd) != 0) ok = false;
  std::free(out->file);
  out->file = nullptr;
  return ok;
}

Commit output_commit(Output* out, std::string*) {
  bool ok = close_output_file(out);
  if (!out->temp.empty()) {
    HoldInterruptions hold;
    if (ok) ok = rename(out->temp.c_str(), out->target.c_str()) == 0;
    if (!ok) unlink(out->temp.c_str());
    release_in_flight(out->slot);
  }
  if (ok && out->flush && !out->temp.empty()) sync_folder(out->folder);
  delete out;
  return ok ? Commit::Done : Commit::Failed;
}

void output_abandon(Output* out) {
  if (!out) return;
  close(out->file->fd);
  std::free(out->file);
  if (!out->temp.empty()) {
    HoldInterruptions hold;
    unlink(out->temp.c_str());
    release_in_flight(out->slot);
  }
  delete out;
}

void install_interrupt_cleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = on_interruption;
  sigemptyset(&action.sa_mask);
  for (int sig : INTERRUPTIONS) sigaddset(&action.sa_mask, sig);
  for (int sig : INTERRUPTIONS) {
    struct sigaction previous;
    if (sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

void set_interrupt_message(const char* message) {
  g_interrupt_message_length = 0;
  size_t n = message ? std::strlen(message) : 0;
  if (n > sizeof g_interrupt_message) n = sizeof g_interrupt_message;
  if (n > 0) std::memcpy(g_interrupt_message, message, n);
  g_interrupt_message_length = sig_atomic_t(n);
}

}  // namespace host
