// Files and directories over POSIX descriptors and directory streams.
#include "platform/posix/files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <string>

namespace ixo::platform {

int32_t open_file(const char* path, int32_t mode) {
  int flags = O_CLOEXEC;
  if (mode & OPEN_READ) {
    flags |= O_RDONLY;
  } else {
    flags |= O_WRONLY | O_CREAT;
    if (!(mode & (OPEN_APPEND | OPEN_SEEK))) flags |= O_TRUNC;
  }
  int fd;
  do fd = open(path, flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (mode & OPEN_READ) {
    // A directory opens for reading on POSIX; as a file it cannot be read.
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

int64_t file_size_q(int32_t handle) {
  struct stat st;
  if (fstat(handle, &st) != 0) return -1;
  return S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
}

int64_t seek_file(int32_t handle, int64_t offset) {
  off_t at = lseek(handle, static_cast<off_t>(offset), SEEK_SET);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

int64_t seek_end(int32_t handle) {
  off_t at = lseek(handle, 0, SEEK_END);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

int32_t read_data(int32_t handle, void* buffer, int32_t count) {
  ssize_t n;
  do n = read(handle, buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t write_bytes(int32_t handle, const void* buffer, int32_t count) {
  const char* p = static_cast<const char*>(buffer);
  int32_t left = count;
  while (left > 0) {
    ssize_t n = write(handle, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    p += n;
    left -= static_cast<int32_t>(n);
  }
  return count;
}

bool close_file(int32_t handle) {
  // After EINTR the descriptor is already gone on Linux: never close twice.
  return close(handle) == 0 || errno == EINTR;
}

bool file_exists_q(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool make_dir(const char* path) { return mkdir(path, 0777) == 0; }

bool make_private_dir(const char* path) { return mkdir(path, 0700) == 0; }

bool replace_file(const char* path, const void* bytes, int32_t count) {
  std::string temporary = std::string(path) + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool written = write_bytes(fd, bytes, count) == count && fsync(fd) == 0;
  int reason = errno;
  if (!close_file(fd) && written) {
    written = false;
    reason = errno;
  }
  if (written && rename(temporary.c_str(), path) == 0) return true;
  if (written) reason = errno;
  unlink(temporary.c_str());
  errno = reason;
  return false;
}

bool remove_file(const char* path) { return unlink(path) == 0; }

bool remove_dir(const char* path) { return rmdir(path) == 0; }

bool rename_file(const char* from, const char* to) {
  // rename(2) silently replaces the target; renameat2 refuses to. Where the
  // file system does not offer it, look first.
  constexpr unsigned no_replace = 1;  // RENAME_NOREPLACE
  long r = syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, no_replace);
  if (r == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st;
  if (lstat(to, &st) == 0) return false;
  return rename(from, to) == 0;
}

bool list_dir(const char* path, std::vector<dir_entry>& entries) {
  DIR* dir = opendir(path);
  if (!dir) return false;
  std::string base = path;
  if (!base.empty() && base.back() != '/') base += '/';
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool directory = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      // Links count as what they point to, so a link to a folder lists as one.
      struct stat st;
      directory = stat((base + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({name, directory});
  }
  closedir(dir);
  return true;
}

bool file_date(const char* path, file_time& t) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  tm parts{};
  if (!gmtime_r(&st.st_mtim.tv_sec, &parts)) return false;
  t = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
       static_cast<int32_t>(st.st_mtim.tv_nsec / 1000000), S_ISDIR(st.st_mode)};
  return true;
}

}  // namespace ixo::platform
