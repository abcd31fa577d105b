// Files and folders on Windows: the ANSI calls, so paths stay in the system
// code page as the programs' fields hold them.
#include "host/host_fs.h"
#include "host/host_internal.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

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

bool is_read_only_file(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

PathKind path_kind(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  // Devices (CON, NUL, COM1...) and pipes answer the attribute query too.
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PathKind::File;
  DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK ? PathKind::File : PathKind::Other;
}

EntryKind entry_kind(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::Missing
                                                                          : EntryKind::Other;
  }
  // The attributes are the link's own: symbolic links and junctions alike.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  switch (path_kind(path)) {
    case PathKind::Missing: return EntryKind::Missing;
    case PathKind::File: return EntryKind::File;
    case PathKind::Folder: return EntryKind::Folder;
    case PathKind::Other: break;
  }
  return EntryKind::Other;
}

static bool handle_identity(HANDLE h, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool path_identity(const char* path, FileId* id) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = handle_identity(h, id);
  CloseHandle(h);
  return ok;
}

bool path_is_inside_folder(const char* path, const char* folder) {
  FileId wanted;
  if (!path_identity(folder, &wanted)) return false;
  char full[MAX_PATH];
  char* name_part = nullptr;
  DWORD n = GetFullPathNameA(path, MAX_PATH, full, &name_part);
  if (n == 0 || n >= MAX_PATH || !name_part || name_part == full) return false;
  // Each folder above the file, by cutting at the separator before it; the
  // cut keeps the separator of a drive root ("C:\").
  std::string dir(full, size_t(name_part - full));
  for (;;) {
    FileId id;
    if (path_identity(dir.c_str(), &id) && id == wanted) return true;
    if (dir.size() > 1 && dir.back() == '\\') dir.pop_back();
    size_t cut = std::string::npos;
    for (size_t i = 0; i < dir.size(); ++i) {
      if (IsDBCSLeadByte(static_cast<BYTE>(dir[i])) && i + 1 < dir.size()) {
        ++i;
      } else if (dir[i] == '\\') {
        cut = i;
      }
    }
    if (cut == std::string::npos) return false;
    std::string up = dir.substr(0, cut + 1);
    if (up.size() >= dir.size()) return false;
    dir = up;
  }
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

File* wrap_file(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  File* f = static_cast<File*>(std::malloc(sizeof(File)));
  if (!f) {
    CloseHandle(h);
    return nullptr;
  }
  f->handle = h;
  return f;
}

namespace {

// Opens path; keeps it only when accept takes its type (disk file, pipe,
// character device).
File* open_checked(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                   bool (*accept)(DWORD type)) {
  File* f = wrap_file(CreateFileA(path, access, share, nullptr, disposition, flags, nullptr));
  if (f && !accept(GetFileType(f->handle))) {
    file_close(f);
    return nullptr;
  }
  return f;
}

bool is_disk_file(DWORD type) { return type == FILE_TYPE_DISK; }

}  // namespace

// Only files on a disk: devices and pipes are refused.
File* file_open_read(const char* path) {
  return open_checked(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN, is_disk_file);
}

File* file_create(const char* path) {
  return open_checked(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      [](DWORD type) { return type != FILE_TYPE_PIPE; });
}

// Readers may keep it open; no other writer may.
File* file_open_update(const char* path) {
  return open_checked(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                      is_disk_file);
}

bool file_flush(File* f) { return FlushFileBuffers(f->handle) != 0; }

bool file_identity(File* f, FileId* id) { return handle_identity(f->handle, id); }

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

bool is_safe_host_name(const char* name) {
  // Read as the ANSI file functions read it, so that no byte hides behind a
  // lead byte; a name that does not convert is refused.
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
  if (n <= 1) return false;
  std::wstring wide(size_t(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, &wide[0], n) != n) return false;
  wide.resize(size_t(n - 1));
  if (wide == L"." || wide == L".." || wide.size() > MAX_HOST_NAME) return false;
  for (wchar_t c : wide) {
    if (c < 0x20 || std::wcschr(L"/\\:*?\"<>|", c)) return false;
  }
  // Windows drops trailing dots and blanks, so ". ." or "..." could turn into
  // the folder itself or its parent, and "a." into another file's name.
  if (wide.back() == L'.' || wide.back() == L' ') return false;
  // Device names take over the name whatever follows the first dot.
  std::wstring base = wide.substr(0, wide.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const wchar_t* device : kDevices) {
    if (base == device) return false;
  }
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
      base[3] >= L'1' && base[3] <= L'9') {
    return false;
  }
  return true;
}

}  // namespace host

namespace host {

// Windows has no copy between two open handles; the caller's buffer does it.
size_t file_copy_direct(File*, File*, size_t) { return 0; }

// The system's lazy writer already writes a file's data soon after it is
// written.
void file_start_writeback(File*, uint64_t, uint64_t) {}

}  // namespace host
