// A video renderer's world for tests: the media view's world (loopback
// server, resource cache, manual clock, a window), a generated clip served
// as "clip.mp4", and the choice of player: the engine, or the system's
// player as a double installed through the platform (taken when background
// playback is allowed; the platform's own, GStreamer, unless the test
// installs another). RecordingRenderer keeps the hooks it hears.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/views/nativead/video/OVMediaViewVideoRendererState.h"
#include "platform/media/SystemPlayerKit.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVMediaViewVideoRenderer.h"
#include "support/doubles/SystemPlayerDoubles.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/render/QNVRenderingThread.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora::testing {

inline std::string videoFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class RecordingRenderer final : public OVMediaViewVideoRenderer {
 public:
  std::size_t count(const std::string& hook) const {
    return static_cast<std::size_t>(std::count(hooks.begin(), hooks.end(), hook));
  }

  std::vector<std::string> hooks;
  std::vector<platform::Error> errors;

 protected:
  void videoDidChangeVolume() override { hooks.push_back("volume"); }
  void videoDidLoad() override { hooks.push_back("load"); }
  void videoDidPause() override { hooks.push_back("pause"); }
  void videoDidPlay() override { hooks.push_back("play"); }
  void videoDidEngageSeek() override { hooks.push_back("engage"); }
  void videoDidSeek() override { hooks.push_back("seek"); }
  void videoDidDisengageSeek() override { hooks.push_back("disengage"); }
  void videoDidEnd() override { hooks.push_back("end"); }
  void videoDidFailWithError(const platform::Error& error) override {
    hooks.push_back("fail");
    errors.push_back(error);
  }
};

class VideoRendererTest : public MediaViewTest {
 protected:
  VideoRendererTest() {
    serve("clip.mp4", videoFileBytes(testMediaPath("baseline_aac_moov_first.mp4")));
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
  }

  ~VideoRendererTest() override {
    // Layers end on the rendering thread: wait for their teardown, so no
    // layer is still drawing when the process exits.
    auto drained = std::make_shared<std::atomic<bool>>(false);
    QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(false)->performBlock([drained] { *drained = true; });
    platform::MainLoop::instance().runUntil([&] { return drained->load(); }, 10.0);
    platform::SystemPlayerKit::install(systemKit_);
    OVAdSettings::setBackgroundVideoPlaybackAllowed(false);
  }

  // The system's player (the double) plays the next loads.
  void useSystemPlayer() {
    platform::SystemPlayerKit::install(kit_);
    OVAdSettings::setBackgroundVideoPlaybackAllowed(true);
  }

  platform::URL urlOf(const std::string& name) const {
    return *platform::URL::parse(world_.server().baseURL() + "media/" + name);
  }

  // In the window, so the engine's layer draws and viewability holds.
  template <typename Renderer>
  std::shared_ptr<Renderer> makeRenderer() {
    auto renderer = std::make_shared<Renderer>();
    renderer->setFrame(platform::Rect(0, 0, 320, 180));
    root_->view()->addSubview(renderer);
    return renderer;
  }

  // Runs the main loop (real time: the download and the decoder run on
  // real threads) and moves the clock on in small steps until `done`.
  bool runClockUntil(const std::function<bool()>& done, double step = 0.05) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      world_.clock().advance(step);
      QNVMediaStateQueue()->sync([] {});
      platform::MainLoop::instance().runUntil(done, 0.02);
    }
    return true;
  }

  std::shared_ptr<SystemKitDouble> kit_ = std::make_shared<SystemKitDouble>();
  // The platform's own system player, put back after the test.
  const std::shared_ptr<platform::SystemPlayerKit> systemKit_ = platform::SystemPlayerKit::installed();
};

}  // namespace plexora::testing
