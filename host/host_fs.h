// The thin layer over the host's files and folders. One implementation for
// POSIX hosts (host_fs_posix.cpp) and one for Windows (host_fs_win32.cpp);
// the engines use nothing else to reach the disk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// Separator put between a folder path and a name.
#ifdef _WIN32
constexpr char PATH_SEPARATOR = '\\';
#else
constexpr char PATH_SEPARATOR = '/';
#endif

// ---------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------

struct DirListing;

enum class ListStep { Entry, End, Failed };

// Starts listing a folder; null when the listing cannot start. Entries come in
// the order the host lists them, "." and ".." included where the host has them.
DirListing* dir_open(const char* folder_path);
// Next entry's name (valid until the next call). End when the listing is
// complete, Failed on any other error.
ListStep dir_next(DirListing* listing, const char** name);
void dir_close(DirListing* listing);

// True when the path names a folder. A path whose attributes cannot be read
// counts as a folder, as the Windows attribute query's failure value does;
// listing it then fails. Links are followed.
bool is_directory(const char* path);

// Identity of a folder on its volume, to notice a link that leads back into a
// folder being scanned. False when it cannot be read.
struct FolderId {
  uint64_t volume;
  uint64_t index;
};
bool folder_identity(const char* path, FolderId* id);

// Tests that the folder can be made the current directory, then restores the
// previous one, so that relative paths keep their meaning for the caller.
bool can_enter_directory(const char* path);

bool make_directory(const char* path);  // fails when it exists already

// True when name, joined to a folder path with PATH_SEPARATOR, names an entry
// directly inside that folder: not "", "." or "..", and no separator of this
// host. A 0x5C byte that is the second byte of a Shift-JIS character is part
// of the name, not a separator (Windows reads it with the system code page's
// lead bytes, the same way its file functions do).
bool is_plain_name(const char* name);
bool remove_file(const char* path);

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

struct File;

File* file_open_read(const char* path);
// Creates or truncates for reading and writing ("wb+").
File* file_create(const char* path);
void file_close(File* f);

// Length of an open file; false when it cannot be measured.
bool file_length(File* f, uint64_t* length);
// Length of the file at path, opened for reading; false when it cannot be opened.
bool measure_file(const char* path, uint64_t* length);

bool file_seek(File* f, uint64_t position);
// Reads exactly n bytes; false on a short read or an error.
bool file_read(File* f, void* buffer, size_t n);
// Reads up to n bytes, fewer at the end of the file; false on an error.
bool file_read_some(File* f, void* buffer, size_t n, size_t* got);
// Writes exactly n bytes; false on a short write or an error.
bool file_write(File* f, const void* buffer, size_t n);
// Copies up to n bytes from in's position to out's position inside the
// host's kernel where it can (both positions advance by what was copied).
// Returns the count copied; fewer than n (0 included) means the caller should
// carry on with file_read_some / file_write, which tell a read failure from a
// write failure. Hosts without such a copy always return 0.
size_t file_copy_direct(File* in, File* out, size_t n);
// Extends the file with zero bytes from its current length to new_length and
// leaves the position at the new end. Space is reserved where the host can, so
// a full disk is reported here and not later.
bool file_extend_with_zeros(File* f, uint64_t new_length);

}  // namespace host
