// A native ad test with a key window, a recording browser presenter and an
// event manager on the test world's logging endpoint: the setting of the
// native end-to-end tests. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "NativeAdTestSupport.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/doubles/FakeBrowser.h"
#include "tracking/OVAdEventManager.h"

namespace plexora::testing {

class NativeAdInWindowTest : public NativeAdTest {
 protected:
  NativeAdInWindowTest() {
    events_ = world_.makeEventManager(caches_ / "events.sqlite");
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~NativeAdInWindowTest() override { platform::Application::shared()->reset(); }

  std::vector<platform::Dictionary> loggedEvents(const std::string& type) const { return world_.loggedEvents(type); }
  platform::Value dataOf(const platform::Dictionary& event) const {
    const platform::Value* data = event.find("data");
    return data ? *data : platform::Value();
  }

  std::shared_ptr<OVAdEventManager> events_;
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
};

}  // namespace plexora::testing
