// The fixture banner's world in the real web engine: the loopback ad
// server as the library's ad server, caches of the test's own, a key window
// with a root view controller, a delegate that counts, and the in-app
// browser's presentations recorded instead of shown. Real clock and main
// loop.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVAdView.h"
#include "support/TempDir.h"
#include "support/doubles/FakeBrowser.h"
#include "testserver/adserver/AdServer.h"

namespace plexora::testing {

class CountingAdViewDelegate final : public OVAdViewDelegate {
 public:
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { ++impressions; }
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { ++clicks; }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }

  int impressions = 0;
  int clicks = 0;
  std::vector<std::string> errors;
};

class BannerInEngineFixture : public ::testing::Test {
 protected:
  BannerInEngineFixture() {
    platform::setCachesDirectory(caches_.path().string());
    server_.start();
    previousServer_ = OVAdSettings::adServerBaseURL();
    EXPECT_TRUE(OVAdSettings::setAdServerBaseURL(server_.baseURL()));
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~BannerInEngineFixture() override {
    OVAdSettings::setAdServerBaseURL(previousServer_);
    platform::setCachesDirectory("");
  }

  bool acknowledged(const std::string& type) {
    for (const auto& event : server_.logging().events()) {
      if (event.type == type && event.token == "ct-banner-1" && event.code) return true;
    }
    return false;
  }

  TempDir caches_;
  testserver::AdServer server_;
  std::string previousServer_;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<CountingAdViewDelegate> delegate_ = std::make_shared<CountingAdViewDelegate>();
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
};

}  // namespace plexora::testing
