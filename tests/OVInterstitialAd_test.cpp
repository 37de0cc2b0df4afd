// The interstitial unit with its own adapter and the HTML internal: load
// and validity, the one show it allows, shows the window's orientations
// refuse, and a close that gives the host back its status bar.
#include "plexora/OVInterstitialAd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "OVAdViewInternal.h"
#include "controllers/OVDisplayAdController.h"
#include "internal/OVInterstitialDisplayAdInternal.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVHostDisplay.h"

namespace plexora::testing {
namespace {

constexpr const char* kCloseLink = "ovad://close";
// One pass through the waterfall, no retries.
constexpr const char* kNoRetries = R"("type":"interstitial","client_max_retry_count":0)";

class OVInterstitialAdTest : public InterstitialTest {
 protected:
  std::shared_ptr<OVInterstitialDisplayAdInternal> presented() const {
    return std::dynamic_pointer_cast<OVInterstitialDisplayAdInternal>(rootViewController_->presentedViewController());
  }
};

TEST_F(OVInterstitialAdTest, IsValidOnlyBetweenALoadAndAFailure) {
  const auto ad = makeInterstitial();
  EXPECT_FALSE(ad->isAdValid()) << "before any load";
  answer({CandidateSpec("PX", htmlInterstitialData("ct-1"))}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
  EXPECT_EQ(delegate_->validOnLoad, (std::vector<bool>{true}));

  answer({}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error"}));
  EXPECT_FALSE(ad->isAdValid());
}

TEST_F(OVInterstitialAdTest, DataWithNeitherMarkupNorVideoIsNoFill) {
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", R"({"ct":"ct-1","request_id":"r"})")}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNoFill);
  EXPECT_FALSE(ad->isAdValid());
}

TEST_F(OVInterstitialAdTest, ShowingBeforeTheLoadRaises) {
  const auto ad = makeInterstitial();
  try {
    ad->showAdFromRootViewController(rootViewController_);
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
  }
}

TEST_F(OVInterstitialAdTest, ALandscapeAdInAPortraitOnlyApplicationIsRefusedAndTheSecondShowRaises) {
  platform::Application::shared()->setSupportedInterfaceOrientations(platform::kInterfaceOrientationMaskPortrait);
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", htmlInterstitialData("ct-1", 2))}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));

  EXPECT_FALSE(ad->showAdFromRootViewController(rootViewController_));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeInternalError);
  EXPECT_EQ(delegate_->errors[0].localizedDescription(), kOVDisplayAdControllerShowFailedDescription);

  // The refused show used up the only one.
  try {
    ad->showAdFromRootViewController(rootViewController_);
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), kOVInterstitialAdInvalidOperationException);
    EXPECT_EQ(exception.reason(), kOVInterstitialAdShownTwiceReason);
  }
}

TEST_F(OVInterstitialAdTest, ShowsFullScreenInTheAdsOrientationAndClosingRestoresTheStatusBar) {
  for (const bool hiddenBefore : {false, true}) {
    SCOPED_TRACE(hiddenBefore ? "status bar hidden before" : "status bar shown before");
    delegate_->messages.clear();
    platform::Application::shared()->setStatusBarHidden(hiddenBefore);
    // A placement of its own, as a second load of one placement so soon
    // would be refused as too frequent.
    const std::string placement = hiddenBefore ? "hidden-before" : "shown-before";
    const auto ad = makeInterstitial(placement);
    answer({CandidateSpec("PX", htmlInterstitialData("ct-1", 1))}, kNoRetries, placement);
    ASSERT_TRUE(loadAndWait(ad));
    const auto page = containerAt(containers_->containers.size() - 1);
    ASSERT_TRUE(page);
    page->finishLoad();

    ASSERT_TRUE(ad->showAdFromRootViewController(rootViewController_));
    finishTransition();
    const auto internal = presented();
    ASSERT_TRUE(internal);
    EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
    EXPECT_TRUE(internal->prefersStatusBarHidden());
    EXPECT_EQ(internal->supportedInterfaceOrientations(), platform::kInterfaceOrientationMaskPortrait);
    EXPECT_EQ(internal->view(), internal->adView());
    EXPECT_EQ(internal->adView()->frame(), OVInterstitialDisplayAdInternal::frameForPresentationInWindow());
    EXPECT_TRUE(internal->interstitialOpenedTime().has_value());
    EXPECT_FALSE(internal->adView()->isModalViewPresenting()) << "cleared once presented";

    ASSERT_TRUE(page->tapLink(*platform::URL::parse(kCloseLink)));
    EXPECT_EQ(platform::Application::shared()->isStatusBarHidden(), hiddenBefore);
    EXPECT_FALSE(internal->interstitialOpenedTime().has_value());
    finishTransition();
    EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
    const std::vector<std::string> closing{"will close", "did close"};
    ASSERT_GE(delegate_->messages.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(delegate_->messages.end() - 2, delegate_->messages.end()), closing);
    EXPECT_EQ(delegate_->messages.front(), "loaded");
  }
}

// A host shows the library in a phone-sized window of its own: the ad, and
// so its close link, lies inside that window, not on a default screen.
TEST_F(OVInterstitialAdTest, InAHostsWindowTheAdFillsThatWindow) {
  const platform::Rect hostWindow(0, 0, 375, 812);
  window_->setFrame(hostWindow);
  const auto display = OVHostDisplay::displayWithWindow(window_);
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", htmlInterstitialData("ct-1", 1))}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  const auto page = containerAt(0);
  ASSERT_TRUE(page);
  page->finishLoad();

  ASSERT_TRUE(ad->showAdFromRootViewController(rootViewController_));
  finishTransition();
  const auto internal = presented();
  ASSERT_TRUE(internal);
  EXPECT_EQ(internal->adView()->frame(), hostWindow);
  EXPECT_EQ(internal->adView()->window(), window_);
}

TEST_F(OVInterstitialAdTest, AControllerOutsideAnyWindowCannotShowIt) {
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", htmlInterstitialData("ct-1", 0))}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  // A window-less controller cannot present: nothing shows and the show
  // is reported as failed, not as shown.
  const auto detached = std::make_shared<platform::ViewController>();
  EXPECT_FALSE(ad->showAdFromRootViewController(detached));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeInternalError);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden()) << "the status bar is left alone";
}

}  // namespace
}  // namespace plexora::testing
