// What the tests of both web view containers share: the ad view's side of
// the container, and a fixture that makes a container over a scriptable web
// view double, on the manual clock, with the event store in the test's own
// caches.
//
// Thread safety: the test's main thread.
// Ownership: the fixture owns the container, its owner and the doubles the
// maker made.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapters/OVHTMLAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "internal/OVAdViewabilityValidator.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/UITest.h"
#include "platform/web/WebViewMaker.h"
#include "support/TempDir.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdConfigManager.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {

inline constexpr const char* kContainerMarkup = "<a href='ovad://click'>ad</a>";
inline constexpr const char* kContainerActivation = "startAd();";

// The ad view's side: lists what the container tells it and answers links.
class ContainerOwner final : public OVAdContentContainerDelegate, public OVAdViewNavigationPolicy {
 public:
  void adDidLoad() override { heard.push_back("load"); }
  void adWillLogImpression() override { heard.push_back("impression"); }
  void adDidFailToLoadWithError(const platform::Error& error) override { failures.push_back(error); }
  std::shared_ptr<OVAdViewabilityValidator> contentContainerViewabilityValidator() override { return validator; }

  bool processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& model,
                         const platform::Value& /*extraData*/) override {
    links.push_back(url.absoluteString());
    linkModels.push_back(model);
    return handlesLinks;
  }
  bool isModalViewPresenting() const override { return modal; }
  void setModalViewPresenting(bool presenting) override { modal = presenting; }
  void ensureViewabilityValidation() override { heard.push_back("validate"); }

  std::size_t heardTimes(const std::string& what) const {
    return static_cast<std::size_t>(std::count(heard.begin(), heard.end(), what));
  }

  std::vector<std::string> heard;
  std::vector<platform::Error> failures;
  std::vector<std::string> links;
  std::vector<std::shared_ptr<OVAdDataModel>> linkModels;
  bool handlesLinks = true;
  bool modal = false;
  std::shared_ptr<OVAdViewabilityValidator> validator;
};

// `Container` is made with initWithAdView() over a `Page` double, which
// `Page::install()` makes the web view every maker call answers.
template <class Container, class Page>
class ContentContainerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    platform::setCachesDirectory(caches_.path().string());
    // The process's store follows this test's caches, not the first test's.
    OVAdDatabaseManager::sharedManager()->resetConnectionForTesting();
    container_ = Container::initWithAdView(owner_, {320, 50}, kOVAdSize320x50);
    container_->setDelegate(owner_);
    ASSERT_EQ(views_.size(), 1u);
    page_ = views_[0];
  }
  void TearDown() override {
    configure({});
    container_.reset();
    UITest::TearDown();
    platform::setCachesDirectory("");
  }

  static void configure(platform::Dictionary configuration) {
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(std::move(configuration)));
  }
  std::size_t scriptsContaining(const std::string& fragment) const {
    return static_cast<std::size_t>(std::count_if(page_->scripts.begin(), page_->scripts.end(), [&](const auto& s) {
      return s.find(fragment) != std::string::npos;
    }));
  }
  // The "impression" events stored once the store settled.
  static std::vector<StoredEvent> impressions() {
    EXPECT_TRUE(platform::DispatchQueue::settle(kNetworkWaitSeconds));
    std::vector<StoredEvent> found;
    // The store is made with the first event: none stored yet is none.
    const std::string path = OVAdDatabaseManager::sharedManager()->storagePath();
    if (!std::filesystem::exists(path)) return found;
    for (auto& event : readStoredEvents(path)) {
      if (event.type == "impression") found.push_back(std::move(event));
    }
    return found;
  }
  // A stored impression's extra data, whose every key is a string.
  static platform::Value extraDataOf(const StoredEvent& impression) {
    platform::Value data = platform::parseJSON(impression.data.value_or("null")).value_or(platform::Value());
    for (const char* key : {"vrc", "vp", "vh", "touch", "analog"}) {
      const platform::Value* value = data.find(key);
      EXPECT_TRUE(value && value->isString()) << key;
    }
    return data;
  }
  std::shared_ptr<OVAdViewabilityValidator> makeValidator() {
    return OVAdViewabilityValidator::initWithView(container_->getView(), 50, false);
  }

  TempDir caches_;
  std::vector<std::shared_ptr<Page>> views_;
  platform::ScopedWebViewMaker maker_ = Page::install(views_);
  std::shared_ptr<ContainerOwner> owner_ = std::make_shared<ContainerOwner>();
  std::shared_ptr<OVHTMLAdDataModel> model_ = OVHTMLAdDataModel::initWithMetadata(platform::Value(platform::Dictionary{
      {"ct", "ct-html-1"}, {"markup", kContainerMarkup}, {"activation_command", kContainerActivation}}));
  std::shared_ptr<Container> container_;
  std::shared_ptr<Page> page_;
};

}  // namespace plexora::testing
