// The own in-stream adapter over a video ad controller double: what it
// makes, what a load and a start hand the controller, and which adapter
// reports the controller's calls become, the impression event included.
#include "adapters/OVPXInstreamAdAdapter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/OVAdAdapterManager.h"
#include "adapters/OVInstreamAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "support/doubles/FakeVideoViews.h"
#include "tracking/OVAdEventManagerTestSupport.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using testing::FakeInstreamAdContentView;
using testing::FakeVideoAdController;

constexpr const char* kAdData = R"({"ct":"ct-instream","video":{"videoURL":"https://cdn.plexora.test/ad.mp4"},
  "trackers":{"impression":"https://t.plexora.test/i","nativeImpression":"https://t.plexora.test/n",
  "video":"https://t.plexora.test/v"}})";

class RecordingAdapterDelegate final : public OVDisplayAdAdapterDelegate {
 public:
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>&, const std::optional<platform::URL>& url,
                       bool playerHandles) override {
    messages.push_back(url || playerHandles ? "click with url" : "click");
  }
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>&) override { messages.push_back("loaded"); }
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>&) override {
    messages.push_back("impression");
    if (onImpression) onImpression();
  }
  void adapterWillUnload(const std::shared_ptr<OVDisplayAdAdapter>&) override { messages.push_back("will unload"); }
  void adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>&) override { messages.push_back("did unload"); }

  std::vector<std::string> messages;
  std::function<void()> onImpression;
};

class OVPXInstreamAdAdapterTest : public testing::EventManagerTest {
 protected:
  void SetUp() override {
    EventManagerTest::SetUp();
    platform::setCachesDirectory(directory_.path().string());
    adapter_ = std::make_shared<OVPXInstreamAdAdapter>(delegate_);
    adapter_->setEventManager(manager_);
  }
  void TearDown() override {
    adapter_.reset();
    EventManagerTest::TearDown();
    platform::setCachesDirectory("");
  }

  void load() {
    const auto value = OVAdUtility::getObjectFromJSONString(kAdData);
    ASSERT_TRUE(value && value->isDictionary());
    adapter_->loadAdData(value->asDictionary(), kOVAdSizeInterstitial, 0, "instream", nullptr, nullptr);
  }
  const std::shared_ptr<FakeVideoAdController>& controller() const { return controllers_->back(); }
  std::vector<std::string> storedTypes() {
    EXPECT_TRUE(platform::DispatchQueue::settle(testing::kNetworkWaitSeconds));
    std::vector<std::string> types;
    for (const auto& event : stored()) types.push_back(event.type);
    return types;
  }

  testing::MadeList<FakeInstreamAdContentView> contentViews_ = testing::makeMadeList<FakeInstreamAdContentView>();
  testing::MadeList<FakeVideoAdController> controllers_ = testing::makeMadeList<FakeVideoAdController>();
  OVInstreamAdContentView::Maker::Scope contentViewScope_ = FakeInstreamAdContentView::install(contentViews_);
  OVVideoAdController::Maker::Scope controllerScope_ = FakeVideoAdController::install(controllers_);
  std::shared_ptr<RecordingAdapterDelegate> delegate_ = std::make_shared<RecordingAdapterDelegate>();
  std::shared_ptr<OVPXInstreamAdAdapter> adapter_;
};

TEST_F(OVPXInstreamAdAdapterTest, TheRegistryAnswersItForTheOwnInstreamAds) {
  const auto adapterClass = OVAdAdapterManager::classForId("PX", 5);
  ASSERT_NE(adapterClass, nullptr);
  EXPECT_EQ(adapterClass->name(), "OVPXInstreamAdAdapter");
  const auto made = OVAdAdapterManager::adapterInstanceForId("PX", 5);
  EXPECT_TRUE(std::dynamic_pointer_cast<OVPXInstreamAdAdapter>(made));
}

TEST_F(OVPXInstreamAdAdapterTest, ItPlaysThroughAControllerOverANewContentViewWhichIsItsAdView) {
  ASSERT_EQ(contentViews_->size(), 1u);
  ASSERT_EQ(controllers_->size(), 1u);
  EXPECT_EQ(adapter_->videoAdController(), controller());
  EXPECT_EQ(controller()->contentView(), contentViews_->back());
  EXPECT_EQ(adapter_->adView(), contentViews_->back());
  EXPECT_EQ(controller()->eventManager, manager_);
}

TEST_F(OVPXInstreamAdAdapterTest, ALoadHandsTheControllerTheModelOfTheCandidatesData) {
  load();
  ASSERT_TRUE(adapter_->dataModel());
  EXPECT_EQ(adapter_->dataModel()->inlineClientToken(), "ct-instream");
  EXPECT_EQ(controller()->loadedDataModel, adapter_->dataModel());
  EXPECT_EQ(controller()->delegate(), adapter_);
  EXPECT_TRUE(delegate_->messages.empty()) << "the controller reports the load";
}

TEST_F(OVPXInstreamAdAdapterTest, ValidityAndTheStartAreTheControllers) {
  load();
  EXPECT_TRUE(adapter_->isAdValid());
  controller()->valid = false;
  EXPECT_FALSE(adapter_->isAdValid());

  const auto root = OVAdViewControllerProxy::proxyWithViewController(std::make_shared<platform::ViewController>());
  EXPECT_TRUE(adapter_->startAdFromRootViewController(root));
  controller()->showAnswer = false;
  EXPECT_FALSE(adapter_->startAdFromRootViewController(root, true));
  ASSERT_EQ(controller()->shownFrom.size(), 2u);
  EXPECT_EQ(controller()->shownFrom[0], root);
  EXPECT_EQ(controller()->shownFrom[1], root);
}

TEST_F(OVPXInstreamAdAdapterTest, WithoutAControllerTheAdIsNeitherValidNorStarted) {
  OVVideoAdController::Maker::Scope noController(OVVideoAdController::maker(), nullptr);
  const auto bare = std::make_shared<OVPXInstreamAdAdapter>(delegate_);
  EXPECT_EQ(bare->videoAdController(), nullptr);
  EXPECT_EQ(bare->adView(), nullptr);
  const auto value = OVAdUtility::getObjectFromJSONString(kAdData);
  bare->loadAdData(value->asDictionary());
  EXPECT_FALSE(bare->isAdValid());
  EXPECT_FALSE(bare->startAdFromRootViewController(nullptr));
}

TEST_F(OVPXInstreamAdAdapterTest, TheControllersCallsBecomeTheAdaptersReports) {
  load();
  const auto delegate = controller()->delegate();
  ASSERT_TRUE(delegate);
  delegate->controllerDidLoad(controller());
  delegate->controllerDidClick(controller());
  delegate->controllerDidUnload(controller());
  delegate->controller(controller(), platform::Error("other.domain", 42));
  EXPECT_EQ(delegate_->messages,
            (std::vector<std::string>{"loaded", "click", "will unload", "did unload", "error 42"}));
}

TEST_F(OVPXInstreamAdAdapterTest, TheImpressionReachesTheDelegateBeforeItsEventIsLogged) {
  load();
  std::vector<std::string> storedAtImpression;
  delegate_->onImpression = [&] { storedAtImpression = storedTypes(); };
  controller()->delegate()->controllerWillRegisterViewableImpression(controller());
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"impression"});
  EXPECT_TRUE(storedAtImpression.empty());
  EXPECT_EQ(storedTypes(), std::vector<std::string>{"impression"});
  const auto tokens = testing::readStoredTokens(databasePath());
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens[0].token, "ct-instream");
}

}  // namespace
}  // namespace plexora
