// The in-stream renderer view: ad parameters that are no JSON object fail
// with an internal error and a log line naming why; an object loads through
// the own adapter without any request, and the adapter's reports reach the
// view's delegate.
#include "OVInstreamAdRendererView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InstreamTestSupport.h"
#include "adapters/OVInstreamAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/foundation/Log.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdLogger.h"

namespace plexora::testing {
namespace {

class RecordingRendererDelegate final : public OVInstreamAdRendererViewDelegate {
 public:
  void adRendererViewDidLoad(const std::shared_ptr<OVInstreamAdRendererView>&) override {
    messages.push_back("loaded");
  }
  void adRendererView(const std::shared_ptr<OVInstreamAdRendererView>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }
  void adRendererViewDidClick(const std::shared_ptr<OVInstreamAdRendererView>&) override { messages.push_back("click"); }
  void adRendererViewWillLogImpression(const std::shared_ptr<OVInstreamAdRendererView>&) override {
    messages.push_back("impression");
  }
  void adRendererViewDidEnd(const std::shared_ptr<OVInstreamAdRendererView>&) override { messages.push_back("ended"); }

  std::vector<std::string> messages;
};

class OVInstreamAdRendererViewTest : public InstreamTest {
 protected:
  OVInstreamAdRendererViewTest() {
    renderer_->setDelegate(rendererDelegate_);
    renderer_->setFrame(platform::Rect(0, 100, 320, 180));
    window_->addSubview(renderer_);
    OVAdSettings::setLogLevel(kOVAdLogLevelError);
    platform::setLogSink([this](std::string_view line) { log_ += std::string(line) + "\n"; });
  }
  ~OVInstreamAdRendererViewTest() override {
    platform::setLogSink(nullptr);
    OVAdSettings::setLogLevel(0);
  }

  std::shared_ptr<OVInstreamAdRendererView> renderer_ = OVInstreamAdRendererView::create();
  std::shared_ptr<RecordingRendererDelegate> rendererDelegate_ = std::make_shared<RecordingRendererDelegate>();
  std::string log_;
};

TEST_F(OVInstreamAdRendererViewTest, ParametersThatAreNoJSONObjectFailWithAnInternalErrorAndTheReason) {
  const struct {
    std::optional<std::string> parameters;
    const char* logged;
  } cases[] = {
      {std::nullopt, "Failed to convert adParameters to data before parsing"},
      {"{\"ct\":", "Failed to parse adParameters, code=2001 description=The text is not valid JSON"},
      {"", "Failed to parse adParameters, code=2001 description=The text is not valid JSON"},
      {"[1,2]", "Unexpected adParameters data"},
      {"\"an ad\"", "Unexpected adParameters data"},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.logged);
    rendererDelegate_->messages.clear();
    log_.clear();
    renderer_->loadAdFromAdParameters(entry.parameters);
    EXPECT_NE(log_.find(entry.logged), std::string::npos) << log_;
    EXPECT_EQ(rendererDelegate_->messages, std::vector<std::string>{"error 2001"});
    EXPECT_EQ(renderer_->instreamAdapter(), nullptr);
    EXPECT_FALSE(renderer_->isAdValid());
  }
}

TEST_F(OVInstreamAdRendererViewTest, AnObjectLoadsThroughTheAdapterOnceAndStartsOnlyOnceItsVideoLoaded) {
  renderer_->loadAdFromAdParameters(instreamAdData("ct-rendered"));
  ASSERT_TRUE(renderer_->instreamAdapter());
  ASSERT_EQ(contentViews_->size(), 1u);
  const auto contentView = contentViews_->back();
  ASSERT_TRUE(contentView->loadedDataModel);
  EXPECT_EQ(contentView->loadedDataModel->inlineClientToken(), "ct-rendered");
  EXPECT_FALSE(renderer_->showAdFromRootViewController(root_)) << "the video has not loaded";
  EXPECT_FALSE(renderer_->started());
  EXPECT_TRUE(renderer_->subviews().empty());

  renderer_->loadAdFromAdParameters(instreamAdData("ct-other"));
  EXPECT_EQ(contentViews_->size(), 1u) << "a view loads once";

  contentView->delegate()->contentViewDidLoad(contentView->self());
  EXPECT_EQ(rendererDelegate_->messages, std::vector<std::string>{"loaded"});
  EXPECT_TRUE(renderer_->isAdValid());
  EXPECT_TRUE(renderer_->showAdFromRootViewController(root_));
  EXPECT_EQ(contentView->superview(), renderer_);
  EXPECT_EQ(contentView->frame(), platform::Rect(0, 0, 320, 180));
  ASSERT_EQ(contentView->startedFrom.size(), 1u);
  EXPECT_EQ(contentView->startedFrom[0]->currentViewController(), root_);
  EXPECT_FALSE(renderer_->showAdFromRootViewController(root_)) << "started before";

  contentView->delegate()->contentViewDidClickthrough(contentView->self());
  contentView->delegate()->contentViewDidSkip(contentView->self());
  EXPECT_EQ(rendererDelegate_->messages, (std::vector<std::string>{"loaded", "click", "ended"}));
  EXPECT_TRUE(world_.server().adRequests().empty());
}

TEST_F(OVInstreamAdRendererViewTest, AFailureOfTheVideoReachesTheDelegate) {
  renderer_->loadAdFromAdParameters(instreamAdData("ct-rendered"));
  const auto contentView = contentViews_->back();
  contentView->delegate()->contentViewDidLoad(contentView->self());
  ASSERT_TRUE(renderer_->showAdFromRootViewController(root_));
  contentView->delegate()->contentView(contentView->self(), platform::Error("other.domain", 5));
  EXPECT_EQ(rendererDelegate_->messages, (std::vector<std::string>{"loaded", "error 5"}));
}

TEST_F(OVInstreamAdRendererViewTest, AShownAdEndsOrFailsOnceWhateverComesLate) {
  enum class Report { kEnd, kFailure, kSkip };
  struct Case {
    const char* name;
    std::vector<Report> reports;
    std::string outcome;
  };
  const std::vector<Case> cases = {
      {"end, then a failure and another end", {Report::kEnd, Report::kFailure, Report::kEnd}, "ended"},
      {"failure, then an end", {Report::kFailure, Report::kEnd}, "error 5"},
      {"failure, then a second failure and a skip", {Report::kFailure, Report::kFailure, Report::kSkip}, "error 5"},
      {"skip, then a failure", {Report::kSkip, Report::kFailure}, "ended"},
  };
  for (const auto& [name, reports, outcome] : cases) {
    SCOPED_TRACE(name);
    const auto renderer = OVInstreamAdRendererView::create();
    const auto delegate = std::make_shared<RecordingRendererDelegate>();
    renderer->setDelegate(delegate);
    window_->addSubview(renderer);
    renderer->loadAdFromAdParameters(instreamAdData("ct-rendered"));
    const auto contentView = contentViews_->back();
    contentView->delegate()->contentViewDidLoad(contentView->self());
    ASSERT_TRUE(renderer->showAdFromRootViewController(root_));
    delegate->messages.clear();
    for (const Report report : reports) {
      switch (report) {
        case Report::kEnd:
          contentView->delegate()->contentViewDidEnd(contentView->self());
          contentView->delegate()->contentViewDidUnload(contentView->self());
          break;
        case Report::kFailure:
          contentView->delegate()->contentView(contentView->self(), platform::Error("other.domain", 5));
          break;
        case Report::kSkip:
          contentView->delegate()->contentViewDidSkip(contentView->self());
          break;
      }
    }
    EXPECT_EQ(delegate->messages, std::vector<std::string>{outcome});
    renderer->removeFromSuperview();
  }
}

// A show refused while offline is no end: the ad may still be shown, and
// its end then reaches the host.
TEST_F(OVInstreamAdRendererViewTest, AShowRefusedOfflineStillLetsTheAdEndLater) {
  renderer_->loadAdFromAdParameters(instreamAdData("ct-rendered"));
  const auto contentView = contentViews_->back();
  contentView->delegate()->contentViewDidLoad(contentView->self());
  world_.environment().updateProfile([](platform::DeviceProfile& profile) { profile.reachabilityFlags = 0; });
  EXPECT_FALSE(renderer_->showAdFromRootViewController(root_));
  world_.environment().updateProfile(
      [](platform::DeviceProfile& profile) { profile.reachabilityFlags = platform::kReachabilityFlagReachable; });
  ASSERT_TRUE(renderer_->showAdFromRootViewController(root_));
  contentView->delegate()->contentViewDidSkip(contentView->self());
  ASSERT_FALSE(rendererDelegate_->messages.empty());
  EXPECT_EQ(rendererDelegate_->messages.back(), "ended");
}

}  // namespace
}  // namespace plexora::testing
