// A loopback server in a child process of its own, so that its threads'
// allocations and wake-ups never count as the measured process's.
//
// Thread safety: startServerProcess and stopServerProcess are called on the
// main thread, before and after the runs; serverProcess is read from any
// thread once started. The child process owns the server.
#pragma once

#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plexora::bench {

// The server's process and the address it serves at.
struct ServerProcess {
  pid_t pid = -1;
  std::string baseURL;
};

inline ServerProcess& serverProcess() {
  static ServerProcess process;
  return process;
}

// Forks a child that dies with this process and calls `serve` with a
// reporter; `serve` starts its server and hands the reporter the server's
// base URL, which never returns. Answers whether the child reported it.
template <typename Serve>
bool startServerProcess(Serve serve) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::close(fds[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int reportFd = fds[1];
    serve([reportFd](const std::string& baseURL) {
      const std::string line = baseURL + "\n";
      if (::write(reportFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ::_exit(1);
      ::close(reportFd);
      for (;;) ::pause();
    });
    ::_exit(1);
  }
  ::close(fds[1]);
  std::string line;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(fds[0]);
  serverProcess() = {child, line};
  return !line.empty();
}

inline void stopServerProcess() {
  if (serverProcess().pid <= 0) return;
  ::kill(serverProcess().pid, SIGKILL);
  ::waitpid(serverProcess().pid, nullptr, 0);
}

}  // namespace plexora::bench
