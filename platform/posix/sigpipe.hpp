// Holding SIGPIPE back on the runtime thread while it writes to a pipe or a
// socket whose reader may be gone, so that such a write answers EPIPE
// instead of ending the process.
#pragma once
#include <csignal>
#include <ctime>

namespace ixo::platform {

// For its lifetime SIGPIPE is blocked on this thread; a SIGPIPE that came
// meanwhile is taken before the old mask is restored.
struct sigpipe_held {
  sigset_t pipe_set, old_set;
  sigpipe_held() {
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  }
  ~sigpipe_held() {
    timespec zero{};
    while (sigtimedwait(&pipe_set, nullptr, &zero) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  }
  sigpipe_held(const sigpipe_held&) = delete;
  sigpipe_held& operator=(const sigpipe_held&) = delete;
};

}  // namespace ixo::platform
