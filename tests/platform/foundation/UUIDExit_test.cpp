// UUIDs outlive main(): the library's worker threads may still make them
// while the host's process exits, whatever the crypto library's exit handler
// (which the test server's TLS library registers first in this program) has
// freed by then.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/foundation/UUID.h"
#include "support/ForkedChild.h"

namespace plexora::platform {
namespace {

// A child whose threads are busy with UUIDs when it exits.
[[noreturn]] void exitWhileThreadsUseTheCryptoLibrary() {
  testing::disableLeakCheckInForkedChild();
  std::atomic<int> started{0};
  for (int i = 0; i < 4; ++i) {
    std::thread([&started] {
      started.fetch_add(1);
      for (;;) makeUUIDString();
    }).detach();
  }
  while (started.load() < 4) std::this_thread::yield();
  std::exit(0);
}

TEST(UUIDExitTest, AProcessExitingWhileWorkersMakeUUIDsExitsCleanly) {
  makeUUIDString();  // the library in use before the children are made
  for (int round = 0; round < 20; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) exitWhileThreadsUseTheCryptoLibrary();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "round " << round << ": the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}

}  // namespace
}  // namespace plexora::platform
