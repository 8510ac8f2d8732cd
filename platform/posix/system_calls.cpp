// posix_spawnp runs the commands, /bin/sh -c those given to the shell.
// Children that the runtime does not wait for are reaped at the next call,
// so that they do not linger as zombies.
// Input and output pipes are served together with poll, so a child that
// writes before it has read all its input never blocks on a full pipe.
#include "platform/posix/system_calls.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/posix/sigpipe.hpp"

extern char** environ;

namespace ixo::platform {

namespace {

std::vector<pid_t> unwaited;

void reap_finished() {
  std::erase_if(unwaited, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// Closes the descriptors it holds when it goes out of scope.
struct fd_set_guard {
  std::vector<int> fds;
  int add(int fd) {
    if (fd >= 0) fds.push_back(fd);
    return fd;
  }
  void close_now(int fd) {
    std::erase(fds, fd);
    close(fd);
  }
  ~fd_set_guard() {
    for (int fd : fds) close(fd);
  }
};

// The child's redirections, and its signal dispositions: the runtime
// ignores SIGXFSZ (so that a write past the file-size limit fails instead of
// ending the process), and a child must get the default back, as an
// ignored signal stays ignored across exec.
struct spawn_actions {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  spawn_actions() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  }
  ~spawn_actions() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
};

// Sends the input and drains both outputs until every pipe is closed.
void serve_pipes(int in_fd, const std::string& input, int out_fd, std::string& out, int err_fd,
                 std::string& err, fd_set_guard& fds) {
  sigpipe_held held;
  size_t sent = 0;
  if (in_fd >= 0) fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  if (in_fd >= 0 && input.empty()) {
    fds.close_now(in_fd);
    in_fd = -1;
  }
  char chunk[65536];
  while (in_fd >= 0 || out_fd >= 0 || err_fd >= 0) {
    pollfd polled[3];
    int n = 0;
    if (in_fd >= 0) polled[n++] = {in_fd, POLLOUT, 0};
    if (out_fd >= 0) polled[n++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) polled[n++] = {err_fd, POLLIN, 0};
    if (poll(polled, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (!polled[i].revents) continue;
      int fd = polled[i].fd;
      if (fd == in_fd) {
        ssize_t w = write(fd, input.data() + sent, input.size() - sent);
        if (w > 0) sent += static_cast<size_t>(w);
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || sent == input.size()) {
          fds.close_now(fd);
          in_fd = -1;
        }
      } else {
        ssize_t r = read(fd, chunk, sizeof chunk);
        if (r > 0) {
          (fd == out_fd ? out : err).append(chunk, static_cast<size_t>(r));
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
          fds.close_now(fd);
          (fd == out_fd ? out_fd : err_fd) = -1;
        }
      }
    }
  }
}

// Points the child's descriptor `target` at the stream; answers the
// parent's end of a pipe (or -1), and false in `ok` when something cannot
// be opened.
int redirect(call_stream& s, int target, bool console, spawn_actions& sa, fd_set_guard& fds,
             bool& ok) {
  bool input = target == 0;
  int child_end = -1, parent_end = -1;
  if (s.kind == call_stream::FILE) {
    child_end = fds.add(input ? open(s.path.c_str(), O_RDONLY | O_CLOEXEC)
                              : open(s.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  } else if (s.kind == call_stream::BYTES) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      child_end = fds.add(ends[input ? 0 : 1]);
      parent_end = fds.add(ends[input ? 1 : 0]);
    }
  } else if (input || console) {
    return -1;  // the process's own stream
  } else {
    child_end = fds.add(open("/dev/null", O_WRONLY | O_CLOEXEC));
  }
  if (child_end < 0) {
    ok = false;
    return -1;
  }
  posix_spawn_file_actions_adddup2(&sa.actions, child_end, target);
  return parent_end;
}

int32_t status_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

bool unset_env(const char* name) { return unsetenv(name) == 0; }

std::vector<std::pair<std::string, std::string>> list_env() {
  std::vector<std::pair<std::string, std::string>> vars;
  for (char** e = environ; e && *e; ++e) {
    const char* entry = *e;
    const char* equals = std::strchr(entry, '=');
    if (entry[0] == '=' || !equals) continue;
    vars.emplace_back(std::string(entry, equals), std::string(equals + 1));
  }
  return vars;
}

int64_t file_size(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  int64_t size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
  close(fd);
  return size;
}

bool read_file(const char* path, std::string& bytes) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  char chunk[65536];
  while (ok) {
    ssize_t r = read(fd, chunk, sizeof chunk);
    if (r > 0) {
      bytes.append(chunk, static_cast<size_t>(r));
    } else if (r == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;
    }
  }
  close(fd);
  return ok;
}

std::vector<std::string> split_command(const std::string& text) {
  std::vector<std::string> args;
  std::string current;
  bool in_word = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (in_word) args.push_back(std::move(current));
      current.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '\'') {
      size_t end = text.find('\'', i + 1);
      if (end == std::string::npos) end = text.size();
      current.append(text, i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) ++i;
        current += text[i];
      }
    } else if (c == '\\' && i + 1 < text.size()) {
      current += text[++i];
    } else {
      current += c;
    }
  }
  if (in_word) args.push_back(std::move(current));
  return args;
}

int32_t call(const call_command& command, bool wait, bool console, call_stream& in,
             call_stream& out, call_stream& err) {
  reap_finished();
  fd_set_guard fds;
  spawn_actions sa;
  bool ok = true;
  int in_fd = redirect(in, 0, console, sa, fds, ok);
  int out_fd = redirect(out, 1, console, sa, fds, ok);
  int err_fd = redirect(err, 2, console, sa, fds, ok);
  if (!ok) return -1;
  pid_t pid;
  int failure = ENOENT;
  if (!command.shell && !command.argv.empty()) {
    std::vector<char*> argv;
    for (const std::string& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    failure = posix_spawnp(&pid, argv[0], &sa.actions, &sa.attributes, argv.data(), environ);
  }
  if (failure == ENOENT) {
    const char* argv[] = {"sh", "-c", command.shell_text.c_str(), nullptr};
    failure = posix_spawn(&pid, "/bin/sh", &sa.actions, &sa.attributes, const_cast<char**>(argv), environ);
  }
  if (failure != 0) return -1;
  // Only the parent's pipe ends stay open here, so that each pipe closes
  // when the child is done with it.
  for (int fd : std::vector<int>(fds.fds)) {
    if (fd != in_fd && fd != out_fd && fd != err_fd) fds.close_now(fd);
  }
  if (in.kind == call_stream::NONE && out.kind == call_stream::NONE && err.kind == call_stream::NONE &&
      !wait && !console) {
    unwaited.push_back(pid);
    return pid;
  }
  serve_pipes(in_fd, in.bytes, out_fd, out.bytes, err_fd, err.bytes, fds);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status_of(status);
}

bool on_path(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path || !*name || std::strchr(name, '/')) return false;
  std::string folders = path;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = end > start ? folders.substr(start, end - start) : ".";
    std::string file = folder + "/" + name;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool run_tool(const std::vector<std::string>& argv, const std::string& input, std::string* output,
              int timeout_ms) {
  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
  auto left_ms = [&] {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  };
  reap_finished();
  fd_set_guard fds;
  spawn_actions sa;
  int in_ends[2], out_ends[2] = {-1, -1};
  if (pipe2(in_ends, O_CLOEXEC) != 0) return false;
  fds.add(in_ends[0]);
  int in_fd = fds.add(in_ends[1]);
  int out_fd = -1;
  if (output) {
    if (pipe2(out_ends, O_CLOEXEC) != 0) return false;
    out_fd = fds.add(out_ends[0]);
    fds.add(out_ends[1]);
    posix_spawn_file_actions_adddup2(&sa.actions, out_ends[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&sa.actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&sa.actions, in_ends[0], 0);
  posix_spawn_file_actions_addopen(&sa.actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (argv.empty() || posix_spawnp(&pid, args[0], &sa.actions, &sa.attributes, args.data(), environ) != 0) {
    return false;
  }
  fds.close_now(in_ends[0]);
  if (output) fds.close_now(out_ends[1]);
  sigpipe_held held;
  size_t sent = 0;
  fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  if (input.empty()) {
    fds.close_now(in_fd);
    in_fd = -1;
  }
  char chunk[65536];
  bool timed_out = false;
  while (in_fd >= 0 || out_fd >= 0) {
    pollfd polled[2];
    int n = 0;
    if (in_fd >= 0) polled[n++] = {in_fd, POLLOUT, 0};
    if (out_fd >= 0) polled[n++] = {out_fd, POLLIN, 0};
    int ready = poll(polled, n, left_ms());
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timed_out = true;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (!polled[i].revents) continue;
      if (polled[i].fd == in_fd) {
        ssize_t w = write(in_fd, input.data() + sent, input.size() - sent);
        if (w > 0) sent += static_cast<size_t>(w);
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || sent == input.size()) {
          fds.close_now(in_fd);
          in_fd = -1;
        }
      } else {
        ssize_t r = read(out_fd, chunk, sizeof chunk);
        if (r > 0) {
          output->append(chunk, static_cast<size_t>(r));
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
          fds.close_now(out_fd);
          out_fd = -1;
        }
      }
    }
  }
  int status = 0;
  pid_t ended = 0;
  while (!timed_out && (ended = waitpid(pid, &status, WNOHANG)) == 0) {
    if (left_ms() == 0) {
      timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (timed_out) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
  }
  return ended == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool browse(const std::string& target) {
  reap_finished();
  spawn_actions sa;
  posix_spawn_file_actions_addopen(&sa.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&sa.actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&sa.actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"xdg-open", target.c_str(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "xdg-open", &sa.actions, &sa.attributes, const_cast<char**>(argv), environ) != 0) return false;
  unwaited.push_back(pid);
  return true;
}

}  // namespace ixo::platform
