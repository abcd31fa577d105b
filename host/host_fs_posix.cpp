// Files and folders on POSIX hosts: plain descriptors and readdir.
#include "host/host_fs.h"
#include "host/host_text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

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

bool folder_identity(const char* path, FolderId* id) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  id->volume = uint64_t(st.st_dev);
  id->index = uint64_t(st.st_ino);
  return true;
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

struct File {
  int fd;
};

static File* wrap(int fd) {
  if (fd < 0) return nullptr;
  File* f = static_cast<File*>(std::malloc(sizeof(File)));
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

File* file_open_read(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    // A folder opens for reading on POSIX; it is not a file.
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      close(fd);
      return nullptr;
    }
  }
  return wrap(fd);
}

File* file_create(const char* path) {
  return wrap(open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
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

bool is_plain_name(const char* name) {
  if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (is_cp932_lead_byte(*p) && p[1] != '\0') {
      ++p;  // the trail byte may be 0x5C; '/' (0x2F) is never a trail byte
      continue;
    }
    // A backslash is no separator here, but it is one on Windows, where the
    // same extracted tree may end up.
    if (*p == '/' || *p == '\\') return false;
  }
  return true;
}

}  // namespace host
