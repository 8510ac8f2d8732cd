// Runs a piece of the runtime in a forked child process and reports what it
// wrote to standard output and how it ended: the way to test code whose
// job is to end the process.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace ixo::test {

struct child_result {
  std::string output;
  int status = -1;   // exit status, or -1 when killed by a signal
  int signal = 0;    // the signal that killed it
};

inline child_result run_child(const std::function<void()>& body) {
  // What the parent has buffered must not leak into the child's output.
  std::fflush(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    body();
    _exit(200);  // the body was expected to end the process itself
  }
  close(fds[1]);
  child_result r;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int ws = 0;
  waitpid(pid, &ws, 0);
  if (WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
  if (WIFSIGNALED(ws)) r.signal = WTERMSIG(ws);
  return r;
}

}  // namespace ixo::test
