// The main loop once it hosts the engine's GLib context. The hosting cannot
// be undone, so these tests live with the engine's, in a program of their own.
#include <glib.h>
#include <gtest/gtest.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/web/WebEngine.h"
#include "web/engine/WebEngineTestSupport.h"

namespace plexora::platform {
namespace {

class MainLoopGLibTest : public ::testing::Test {
 protected:
  MainLoopGLibTest() { WebEngine::start(); }
};

gboolean countAndRepeat(gpointer data) {
  ++*static_cast<int*>(data);
  return G_SOURCE_CONTINUE;
}

TEST_F(MainLoopGLibTest, ABusyGLibSourceAndTheMainQueueBothMakeProgress) {
  EXPECT_TRUE(MainLoop::instance().hostsGLibContext());
  int idleRuns = 0;
  const guint idle = g_idle_add(countAndRepeat, &idleRuns);

  int tasksRun = 0;
  // Each task queues the next, so the main queue is never empty either.
  std::function<void()> chain = [&] {
    if (++tasksRun < 50) {
      DispatchQueue::main()->async(chain);
    }
  };
  DispatchQueue::main()->async(chain);
  EXPECT_TRUE(testing::waitFor([&] { return tasksRun == 50 && idleRuns >= 50; }));
  g_source_remove(idle);
}

gboolean postQuitFromGLib(gpointer) {
  DispatchQueue::main()->async([] { MainLoop::instance().quit(); });
  return G_SOURCE_REMOVE;
}

TEST_F(MainLoopGLibTest, RunSleepsInGLibAndWakesForATaskItsSourcesQueue) {
  g_timeout_add(20, postQuitFromGLib, nullptr);
  MainLoop::instance().run();  // returns only once the GLib timer's task ran
}

}  // namespace
}  // namespace plexora::platform
