// plexora-adserver: the library's loopback ad server as a program of its
// own, for hosts outside the test programs (the installed-library check).
// It serves the bundled fixtures on an ephemeral 127.0.0.1 port, prints its
// base URL as the first line of its output and serves until SIGINT or
// SIGTERM.
#include <csignal>
#include <cstdio>
#include <exception>

#include "testserver/adserver/AdServer.h"

int main() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // Blocked before the server's threads start, so they inherit the mask and
  // only sigwait below receives the signals.
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  plexora::testserver::AdServer server;
  try {
    server.start();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "plexora-adserver: %s\n", failure.what());
    return 1;
  }
  std::printf("%s\n", server.baseURL().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  server.stop();
  return 0;
}
