// Files and folders on POSIX hosts: plain descriptors and readdir.
#include "host/host_fs.h"
#include "host/host_internal.h"
#include "host/host_text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace host {

struct DirListing {
  DIR* dir;
};

DirListing* dir_open(const char* folder_path) {
  DIR* dir = opendir(folder_path);
  if (!dir) return nullptr;
  DirListing* listing = static_cast<DirListing*>(std::malloc(sizeof(DirListing)));
  if (!listing) {
    closedir(dir);
    return nullptr;
  }
  listing->dir = dir;
  return listing;
}

ListStep dir_next(DirListing* listing, const char** name) {
  errno = 0;
  struct dirent* entry = readdir(listing->dir);
  if (!entry) return errno == 0 ? ListStep::End : ListStep::Failed;
  *name = entry->d_name;
  return ListStep::Entry;
}

void dir_close(DirListing* listing) {
  if (!listing) return;
  closedir(listing->dir);
  std::free(listing);
}

bool is_directory(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return true;  // unreadable: taken as a folder, whose listing then fails
  return S_ISDIR(st.st_mode);
}

bool is_read_only_file(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  // The mode is looked at too: access() lets root write any file.
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path, W_OK) != 0;
}

PathKind path_kind(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return PathKind::Missing;
  if (S_ISDIR(st.st_mode)) return PathKind::Folder;
  return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

EntryKind entry_kind(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? EntryKind::Missing : EntryKind::Other;
  if (S_ISLNK(st.st_mode)) return EntryKind::Link;
  if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
  return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
}

static FileId identity_of(const struct stat& st) {
  return FileId{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

bool path_identity(const char* path, FileId* id) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  *id = identity_of(st);
  return true;
}

// The folder holding path ("." or "/" when it has no other).
static std::string holder_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// True when the folder holding path, with every link resolved, or one of the
// folders above it has the identity wanted.
static bool holder_is_inside(const std::string& path, const FileId& wanted) {
  char* resolved = realpath(holder_of(path).c_str(), nullptr);
  if (!resolved) return false;
  std::string dir(resolved);
  std::free(resolved);
  for (;;) {
    FileId id;
    if (path_identity(dir.c_str(), &id) && id == wanted) return true;
    if (dir == "/") return false;
    size_t slash = dir.find_last_of('/');
    dir = slash == 0 ? "/" : dir.substr(0, slash);
  }
}

bool path_is_inside_folder(const char* path, const char* folder) {
  FileId wanted;
  if (!path_identity(folder, &wanted)) return false;
  // The path, then while it is a link what the link names: writing through
  // it would land there. The hops are bounded as the kernel bounds them.
  std::string at(path);
  for (int hops = 0; hops <= 40; ++hops) {
    if (holder_is_inside(at, wanted)) return true;
    char target[PATH_MAX];
    ssize_t n = readlink(at.c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    std::string next(target, size_t(n));
    at = next[0] == '/' ? next : holder_of(at) + "/" + next;
  }
  return false;
}

bool can_enter_directory(const char* path) {
  int previous = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (chdir(path) != 0) {
    if (previous >= 0) close(previous);
    return false;
  }
  if (previous >= 0) {
    if (fchdir(previous) != 0) {
      // The old directory vanished meanwhile; staying in the new one is harmless.
    }
    close(previous);
  }
  return true;
}

bool make_directory(const char* path) { return mkdir(path, 0777) == 0; }

bool remove_file(const char* path) { return unlink(path) == 0; }

// ---------------------------------------------------------------------------

File* wrap_file(int fd) {
  if (fd < 0) return nullptr;
  File* f = static_cast<File*>(std::malloc(sizeof(File)));
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

File* open_checked(const char* path, int flags, bool (*accept)(mode_t mode)) {
  int fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !accept(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return wrap_file(fd);
}

File* file_open_read(const char* path) {
  return open_checked(path, O_RDONLY, [](mode_t mode) { return S_ISREG(mode); });
}

File* file_create(const char* path) {
  return open_checked(path, O_RDWR | O_CREAT | O_TRUNC,
                      [](mode_t mode) { return !S_ISFIFO(mode) && !S_ISSOCK(mode); });
}

File* file_open_update(const char* path) {
  return open_checked(path, O_RDWR, [](mode_t mode) { return S_ISREG(mode); });
}

bool file_flush(File* f) {
#ifdef __linux__
  // The data and what reading it back needs (the length), without the
  // times fsync would flush too.
  return fdatasync(f->fd) == 0;
#else
  return fsync(f->fd) == 0;
#endif
}

bool file_identity(File* f, FileId* id) {
  struct stat st;
  if (fstat(f->fd, &st) != 0) return false;
  *id = identity_of(st);
  return true;
}

void file_close(File* f) {
  if (!f) return;
  close(f->fd);
  std::free(f);
}

bool file_length(File* f, uint64_t* length) {
  struct stat st;
  if (fstat(f->fd, &st) != 0) return false;
  if (S_ISREG(st.st_mode)) {
    *length = uint64_t(st.st_size);
    return true;
  }
  // Devices and pipes: the end position, where there is one.
  off_t here = lseek(f->fd, 0, SEEK_CUR);
  off_t end = lseek(f->fd, 0, SEEK_END);
  if (here < 0 || end < 0) return false;
  lseek(f->fd, here, SEEK_SET);
  *length = uint64_t(end);
  return true;
}

bool file_seek(File* f, uint64_t position) {
  if (position > uint64_t(LLONG_MAX)) return false;
  return lseek(f->fd, off_t(position), SEEK_SET) == off_t(position);
}

bool file_read_some(File* f, void* buffer, size_t n, size_t* got) {
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < n) {
    ssize_t r = read(f->fd, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      *got = done;
      return false;
    }
    if (r == 0) break;
    done += size_t(r);
  }
  *got = done;
  return true;
}

bool file_write(File* f, const void* buffer, size_t n) {
  size_t done = 0;
  const char* p = static_cast<const char*>(buffer);
  while (done < n) {
    ssize_t w = write(f->fd, p + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    done += size_t(w);
  }
  return true;
}

size_t file_copy_direct(File* in, File* out, size_t n) {
  size_t done = 0;
#if defined(__linux__)
  // The kernel moves whole pages when both positions lie at the same place
  // within a page; otherwise its copy took about a quarter longer than
  // reading and writing through a buffer (ext4), so the caller does that.
  const off_t from = lseek(in->fd, 0, SEEK_CUR), to = lseek(out->fd, 0, SEEK_CUR);
  if (from < 0 || to < 0 || (from - to) % sysconf(_SC_PAGESIZE) != 0) return 0;
  while (done < n) {
    ssize_t c = copy_file_range(in->fd, nullptr, out->fd, nullptr, n - done, 0);
    if (c < 0 && errno == EINTR) continue;
    if (c <= 0) break;  // end of input, an error, or no kernel copy between these files
    done += size_t(c);
  }
#else
  (void)in;
  (void)out;
  (void)n;
#endif
  return done;
}

void file_start_writeback(File* f, uint64_t offset, uint64_t length) {
#if defined(__linux__)
  // Starts the writes only; a failure here changes nothing, as the data is
  // written back later in any case.
  (void)sync_file_range(f->fd, off_t(offset), off_t(length), SYNC_FILE_RANGE_WRITE);
#else
  (void)f;
  (void)offset;
  (void)length;
#endif
}

bool file_extend_with_zeros(File* f, uint64_t new_length) {
  uint64_t length = 0;
  if (!file_length(f, &length)) return false;
  if (new_length > length) {
#if defined(__linux__)
    // Reserve the blocks now so a full disk fails here; filesystems without
    // fallocate get a plain extension below.
    int rc = posix_fallocate(f->fd, off_t(length), off_t(new_length - length));
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) return false;
#endif
    if (ftruncate(f->fd, off_t(new_length)) != 0) return false;
  }
  return file_seek(f, new_length);
}

}  // namespace host

namespace host {

bool is_safe_host_name(const char* name) {
  if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  // Longer names cannot be created in any common file system.
  if (std::strlen(name) > MAX_HOST_NAME) return false;
  // A backslash is no separator here, but it is one on Windows, where the
  // same extracted tree may end up.
  return std::strpbrk(name, "/\\") == nullptr;
}

}  // namespace host
