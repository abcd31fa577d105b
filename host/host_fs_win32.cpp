// Files and folders on Windows: the ANSI calls, so paths stay in the system
// code page as the programs' fields hold them.
#include "host/host_fs.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace host {

struct DirListing {
  HANDLE find;
  WIN32_FIND_DATAA data;
  bool have_pending;  // FindFirstFileA already returned the first entry
};

DirListing* dir_open(const char* folder_path) {
  // folder + "\*.*" must fit the ANSI path limit.
  size_t length = std::strlen(folder_path);
  if (length + 5 > MAX_PATH) return nullptr;
  char pattern[MAX_PATH];
  std::memcpy(pattern, folder_path, length);
  std::memcpy(pattern + length, "\\*.*", 5);

  DirListing* listing = static_cast<DirListing*>(std::calloc(1, sizeof(DirListing)));
  if (!listing) return nullptr;
  listing->find = FindFirstFileA(pattern, &listing->data);
  if (listing->find == INVALID_HANDLE_VALUE) {
    // An empty folder without "." and ".." (a drive root) lists nothing.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      listing->have_pending = false;
      return listing;
    }
    std::free(listing);
    return nullptr;
  }
  listing->have_pending = true;
  return listing;
}

ListStep dir_next(DirListing* listing, const char** name) {
  if (listing->find == INVALID_HANDLE_VALUE) return ListStep::End;
  if (listing->have_pending) {
    listing->have_pending = false;
  } else if (!FindNextFileA(listing->find, &listing->data)) {
    return GetLastError() == ERROR_NO_MORE_FILES ? ListStep::End : ListStep::Failed;
  }
  *name = listing->data.cFileName;
  return ListStep::Entry;
}

void dir_close(DirListing* listing) {
  if (!listing) return;
  if (listing->find != INVALID_HANDLE_VALUE) FindClose(listing->find);
  std::free(listing);
}

bool is_directory(const char* path) {
  // INVALID_FILE_ATTRIBUTES has the folder bit set: an unreadable entry is
  // taken as a folder, whose listing then fails.
  return (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool folder_identity(const char* path, FolderId* id) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool can_enter_directory(const char* path) {
  char previous[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, previous);
  if (!SetCurrentDirectoryA(path)) return false;
  if (n > 0 && n < MAX_PATH) SetCurrentDirectoryA(previous);
  return true;
}

bool make_directory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool remove_file(const char* path) { return DeleteFileA(path) != 0; }

// ---------------------------------------------------------------------------

struct File {
  HANDLE handle;
};

static File* wrap(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  File* f = static_cast<File*>(std::malloc(sizeof(File)));
  if (!f) {
    CloseHandle(h);
    return nullptr;
  }
  f->handle = h;
  return f;
}

File* file_open_read(const char* path) {
  return wrap(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

File* file_create(const char* path) {
  return wrap(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void file_close(File* f) {
  if (!f) return;
  CloseHandle(f->handle);
  std::free(f);
}

bool file_length(File* f, uint64_t* length) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f->handle, &size)) return false;
  *length = uint64_t(size.QuadPart);
  return true;
}

bool file_seek(File* f, uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(position);
  return SetFilePointerEx(f->handle, to, nullptr, FILE_BEGIN) != 0;
}

bool file_read_some(File* f, void* buffer, size_t n, size_t* got) {
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < n) {
    DWORD want = DWORD((n - done) > 0x40000000u ? 0x40000000u : (n - done));
    DWORD read = 0;
    if (!ReadFile(f->handle, p + done, want, &read, nullptr)) {
      *got = done;
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  *got = done;
  return true;
}

bool file_write(File* f, const void* buffer, size_t n) {
  size_t done = 0;
  const char* p = static_cast<const char*>(buffer);
  while (done < n) {
    DWORD want = DWORD((n - done) > 0x40000000u ? 0x40000000u : (n - done));
    DWORD written = 0;
    if (!WriteFile(f->handle, p + done, want, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool file_extend_with_zeros(File* f, uint64_t new_length) {
  uint64_t length = 0;
  if (!file_length(f, &length)) return false;
  if (new_length > length) {
    // SetEndOfFile allocates the space and reads of it return zeros.
    if (!file_seek(f, new_length) || !SetEndOfFile(f->handle)) return false;
  }
  return file_seek(f, new_length);
}

}  // namespace host

namespace host {

bool is_plain_name(const char* name) {
  if (name[0] == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  for (; *p; ++p) {
    if (IsDBCSLeadByte(*p) && p[1] != '\0') {
      ++p;
      continue;
    }
    // ':' would name a drive or an alternate data stream.
    if (*p == '/' || *p == '\\' || *p == ':') return false;
  }
  // Windows drops trailing dots and blanks from a name, so ". ." or "..."
  // could turn into the folder itself or its parent.
  unsigned char last = p[-1];
  return last != '.' && last != ' ';
}

}  // namespace host

namespace host {

// Windows has no copy between two open handles; the caller's buffer does it.
size_t file_copy_direct(File*, File*, size_t) { return 0; }

}  // namespace host
