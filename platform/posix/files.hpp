// Files and directories over POSIX: opening, sizing, positioning, reading,
// writing and closing by descriptor, and the directory calls. Paths are
// NUL-terminated UTF-8 in the OS form (file::to_OS_path). Every call
// answers failure by value; none raises.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ixo::platform {

// Open modes, combined as bits. Writing without append or positioned
// write replaces the file's content.
enum open_mode : int32_t { OPEN_READ = 1, OPEN_WRITE = 2, OPEN_APPEND = 4, OPEN_SEEK = 8 };

// A descriptor, or -1 when the file cannot be opened. Opening a directory
// for reading fails.
int32_t open_file(const char* path, int32_t mode);
// The size in bytes of a regular file; 0 for pipes, devices and the files
// that report no size (/proc); -1 on failure.
int64_t file_size_q(int32_t handle);
// Sets the position from the start; answers it, or -1.
int64_t seek_file(int32_t handle, int64_t offset);
// Sets the position at the end; answers it, or -1.
int64_t seek_end(int32_t handle);
// Reads up to `count` bytes; answers the bytes read, 0 at the end, -1 on
// failure. Interrupted reads are retried.
int32_t read_data(int32_t handle, void* buffer, int32_t count);
// Writes all `count` bytes; answers count, or -1 when the system took
// fewer (a full disk, a closed pipe) or failed.
int32_t write_bytes(int32_t handle, const void* buffer, int32_t count);
// Answers false when the system reports that written data was lost.
bool close_file(int32_t handle);

// Whether a file or directory of that name exists.
bool file_exists_q(const char* path);
bool make_dir(const char* path);
// A folder only its owner may use (mode 0700); its parent must exist.
bool make_private_dir(const char* path);
bool remove_file(const char* path);
// Removes an empty directory.
bool remove_dir(const char* path);
// Renames a file or directory; never replaces an existing target.
bool rename_file(const char* from, const char* to);
// Puts the bytes in place of the file at `path`: they go to a new file
// beside it, readable by its owner only and made exclusively (so no planted
// link is followed), which is then renamed over the name. On failure the
// old file is untouched, the new one removed, and errno tells why.
bool replace_file(const char* path, const void* bytes, int32_t count);

struct dir_entry {
  std::string name;
  bool directory;
};
// The entries of a directory but "." and "..", in the system's order;
// false when it cannot be read.
bool list_dir(const char* path, std::vector<dir_entry>& entries);

// A file's last modification, UTC, and whether it is a directory.
struct file_time {
  int32_t year, month, day, hour, minute, second, millisecond;
  bool directory;
};
bool file_date(const char* path, file_time& t);

}  // namespace ixo::platform
