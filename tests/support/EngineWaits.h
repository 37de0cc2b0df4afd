// Waiting on the real web engine in integration tests: the main loop runs
// (and with it the engine's GLib context) until a condition holds.
//
// Thread safety: main thread only, like the main loop.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/dispatch/MainLoop.h"
#include "platform/value/Value.h"
#include "platform/web/WebView.h"

namespace plexora::testing {

// The engine starts helper processes on first use, which on a loaded
// machine takes far longer than any page here.
inline constexpr double kEngineWaitSeconds = 60.0;

inline bool waitFor(const std::function<bool()>& done) {
  return platform::MainLoop::instance().runUntil(done, kEngineWaitSeconds);
}

// A script's answer from the page, or none when it failed.
inline std::optional<platform::Value> evaluate(platform::WebView& page, const std::string& script) {
  bool answered = false;
  std::optional<platform::Value> result;
  page.evaluateJavaScript(script, [&](platform::Value value, std::optional<platform::Error> error) {
    answered = true;
    if (!error) result = std::move(value);
  });
  EXPECT_TRUE(waitFor([&] { return answered; })) << script;
  return result;
}

}  // namespace plexora::testing
