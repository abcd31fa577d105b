// The thin layer over the host's files and folders. One implementation for
// POSIX hosts (host_fs_posix.cpp) and one for Windows (host_fs_win32.cpp);
// the engines use nothing else to reach the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// What a path names, links followed. Other is a FIFO, a socket or a device:
// the tools never read one, as opening it may block or never end.
enum class PathKind { Missing, File, Folder, Other };
PathKind path_kind(const char* path);
// True when the path itself is a symbolic link (on Windows, any reparse
// point), whether or not what it points at exists.
bool path_is_link(const char* path);
// True when the file is marked read-only: on Windows its read-only
// attribute; on POSIX hosts no write permission bit is set, or this process
// may not write it. A missing file is not read-only.
bool is_read_only_file(const char* path);

// What a path is itself, links not followed: a link, dangling or not, is
// Link (on Windows, any reparse point). Destinations are looked at this way,
// so that nothing is written through a link inside them.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind entry_kind(const char* path);

// Identity of a file or folder: device and inode on POSIX hosts, volume
// serial number and file index on Windows. Two paths (links, other spellings)
// name the same file exactly when their identities are equal.
struct FileId {
  uint64_t volume;
  uint64_t index;
  bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
  bool operator<(const FileId& o) const {
    return volume != o.volume ? volume < o.volume : index < o.index;
  }
};
// False when the path names nothing or cannot be asked.
bool path_identity(const char* path, FileId* id);

// True when path (which need not exist) lies inside folder at any depth: its
// folder, or one of the folders above it, is folder itself. A path that is a
// link, dangling or not, lies inside too when what it points to does.
bool path_is_inside_folder(const char* path, const char* folder);

// Tests that the folder can be made the current directory, then restores the
// previous one, so that relative paths keep their meaning for the caller.
bool can_enter_directory(const char* path);

bool make_directory(const char* path);  // fails when it exists already
// Creates a folder and any missing folders above it. False when one of them
// exists as something else or cannot be made.
bool make_folders(const char* path);

// True when a name, in the form this host's file functions take it (UTF-8 on
// POSIX hosts, the ANSI code page on Windows), names an entry directly
// inside a folder when joined to it: not "", "." or "..", no "/" or "\"
// anywhere, on every host. Windows also refuses ':' (drives, alternate
// streams), *?"<>|, control characters, a trailing dot or blank (which it
// drops) and the device names CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9
// with or without an extension; there the name is read as Windows reads it,
// through the ANSI code page, and one that does not convert is refused.
// Names longer than MAX_HOST_NAME (bytes on POSIX hosts, UTF-16 units on
// Windows) are refused too: no common file system holds them.
constexpr size_t MAX_HOST_NAME = 255;
bool is_safe_host_name(const char* host_name);
bool remove_file(const char* path);

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

struct File;

// Opens a regular file for reading; anything else (a folder, FIFO, socket or
// device) is refused at once, without blocking.
File* file_open_read(const char* path);
// Creates or truncates for reading and writing ("wb+"). An existing FIFO or
// socket is refused, as writing to it could block for ever; devices are
// taken (a test writes to /dev/full).
File* file_create(const char* path);
// Opens an existing regular file for reading and writing in place, without
// truncating it (an image being edited); anything else is refused at once.
File* file_open_update(const char* path);
// Identity of an open file.
bool file_identity(File* f, FileId* id);
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
// Waits until everything written to the file has reached the disk, its
// length included (fdatasync, or fsync where there is none), so that later
// writes cannot overtake it after a crash or power loss.
bool file_flush(File* f);
// Copies up to n bytes from in's position to out's position inside the
// host's kernel where it can and where that is faster than a buffer: on
// Linux, when both positions lie at the same place within a page (both
// positions advance by what was copied). Returns the count copied; fewer
// than n (0 included) means the caller should carry on with file_read_some /
// file_write, which tell a read failure from a write failure. Hosts without
// such a copy always return 0.
size_t file_copy_direct(File* in, File* out, size_t n);
// Asks the host to start writing length bytes of the file from offset to
// the disk now, without waiting for it, so that data does not pile up in
// memory for one long flush at the end of a large extraction. Nothing on
// hosts without such a request.
void file_start_writeback(File* f, uint64_t offset, uint64_t length);
// Extends the file with zero bytes from its current length to new_length and
// leaves the position at the new end. Space is reserved where the host can, so
// a full disk is reported here and not later.
bool file_extend_with_zeros(File* f, uint64_t new_length);

// ---------------------------------------------------------------------------
// Outputs, written whole or not at all
// ---------------------------------------------------------------------------
//
// An output's data goes to a new file beside its target, named
// ".NAME.XXXXXX.part", and output_commit renames that over the target once it
// is complete: the target is never seen half-written, and one that is a link
// is replaced by the file, never written through. A device (such as
// /dev/full) is written in place. Until its commit or abandon the temporary
// file is listed where discard_outputs_in_flight finds it, so that an
// interruption or the end of the program removes it too.

struct Output;

// Starts an output. flush: the data reaches the disk before the rename (a
// single output); without it the rename alone (each file of a folder
// extraction, which keeps the extraction's speed). Null when the target is a
// folder, a FIFO or socket, a file this user may not write, or when the
// temporary file cannot be created.
Output* output_begin(const char* target, bool flush);
// The file to write the output's data to.
File* output_file(Output* out);

enum class Commit {
  Done,
  Failed,  // the temporary file is removed; the target is as it was
  // Windows: another program holds the target open, so it cannot be
  // replaced; the finished file stays under its temporary name.
  KeptAside,
};
// Closes the file and puts it in the target's place. For KeptAside,
// *kept_path names the finished file. The output is released in every case.
Commit output_commit(Output* out, std::string* kept_path);
// Closes and removes the temporary file; the target stays as it was. Null is
// ignored.
void output_abandon(Output* out);

// Removes the temporary file of every output in flight. Async-signal-safe,
// for signal handlers; it also runs when the program exits.
void discard_outputs_in_flight();
// SIGINT, SIGTERM and SIGHUP (on Windows a console's Ctrl-C, Ctrl-Break and
// close) then remove the outputs in flight, write the interruption message
// to stderr and end the process with status 128 + the signal number. A
// signal ignored when the program started stays ignored. SIGXFSZ is ignored,
// so that a write past the file size limit fails like a full disk.
void install_interrupt_cleanup();
// The message written on an interruption, from now on; null or "" for none.
void set_interrupt_message(const char* message);

}  // namespace host
