#include "adapters/views/storepage/OVReliableStoreProductViewController.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/Window.h"
#include "platform/web/StoreProductSheet.h"

namespace plexora {
namespace {

using platform::Value;

// A store sheet that keeps its load for the test to answer.
class FakeStoreProductSheet final : public platform::StoreProductSheet {
 public:
  void loadProductWithParameters(const Value& parameters, LoadCompletion completion) override {
    loadParameters = parameters;
    completion_ = std::move(completion);
  }
  void answer(bool loaded, std::optional<platform::Error> error = std::nullopt) {
    if (auto completion = std::exchange(completion_, nullptr)) completion(loaded, error);
  }
  // The user pressed the sheet's done button.
  void pressDone() { finish(); }
  bool isPresented() const { return presentingViewController() != nullptr; }

  Value loadParameters;

 private:
  LoadCompletion completion_;
};

class RecordingStoreDelegate final : public OVStoreProductViewControllerDelegate {
 public:
  void productViewControllerDidFinish(const std::shared_ptr<OVStoreProductViewController>&) override { ++finished; }
  int finished = 0;
};

struct Completion {
  bool loaded;
  std::optional<platform::Error> error;
};

class OVReliableStoreProductViewControllerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    window_->setRootViewController(root_);
    runMainQueue();
    store_->setDelegate(delegate_);
  }
  void TearDown() override {
    store_.reset();
    runMainQueue();
    UITest::TearDown();
  }

  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }
  void load() {
    const auto completions = completions_;
    store_->reliablyLoadProductWithParameters(Value(platform::Dictionary{{"id", "123"}}),
                                              [completions](bool loaded, const std::optional<platform::Error>& error) {
                                                completions->push_back({loaded, error});
                                              });
    runMainQueue();
  }
  // Presents the store page over the root, as the command processor does.
  void presentStore() {
    ASSERT_TRUE(root_->present(store_, true));
    advance(platform::ViewController::kTransitionSeconds);
  }
  std::shared_ptr<FakeStoreProductSheet> sheet(std::size_t index) const { return sheets_->at(index); }

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<std::vector<std::shared_ptr<FakeStoreProductSheet>>> sheets_ =
      std::make_shared<std::vector<std::shared_ptr<FakeStoreProductSheet>>>();
  platform::ScopedStoreProductSheetMaker sheetMaker_{[sheets = sheets_] {
    auto sheet = std::make_shared<FakeStoreProductSheet>();
    sheets->push_back(sheet);
    return sheet;
  }};
  std::shared_ptr<RecordingStoreDelegate> delegate_ = std::make_shared<RecordingStoreDelegate>();
  std::shared_ptr<OVReliableStoreProductViewController> store_ =
      std::make_shared<OVReliableStoreProductViewController>();
  std::shared_ptr<std::vector<Completion>> completions_ = std::make_shared<std::vector<Completion>>();
};

TEST_F(OVReliableStoreProductViewControllerTest, TheDefaultStorePageIsThisController) {
  EXPECT_NE(std::dynamic_pointer_cast<OVReliableStoreProductViewController>(OVStoreProductViewController::create()),
            nullptr);
}

TEST_F(OVReliableStoreProductViewControllerTest, AStoreThatNeverAnswersTimesOutAfterThreeOverlappingAttempts) {
  load();
  EXPECT_EQ(sheets_->size(), 1u) << "the first attempt starts on the next turn";
  EXPECT_EQ(sheet(0)->loadParameters, Value(platform::Dictionary{{"id", "123"}}));
  EXPECT_EQ(sheet(0)->supportedInterfaceOrientations(), platform::kInterfaceOrientationMaskPortrait);
  advance(1.49);
  EXPECT_EQ(sheets_->size(), 1u);
  advance(0.01);
  EXPECT_EQ(sheets_->size(), 2u);
  advance(1.5);
  EXPECT_EQ(sheets_->size(), 3u);
  EXPECT_EQ(store_->loadAttemptCount(), 3);
  advance(16.99);
  EXPECT_TRUE(completions_->empty());
  advance(0.01);
  ASSERT_EQ(completions_->size(), 1u);
  EXPECT_FALSE(completions_->front().loaded);
  ASSERT_TRUE(completions_->front().error.has_value());
  EXPECT_EQ(completions_->front().error->code(), 0);
  EXPECT_EQ(completions_->front().error->localizedDescription(), kOVStoreProductTimeoutDescription);
  EXPECT_EQ(store_->attemptsInProgress(), 0u);

  sheet(1)->answer(true);
  advance(30);
  EXPECT_EQ(completions_->size(), 1u) << "answers after the timeout are ignored";
  EXPECT_EQ(sheets_->size(), 3u);
  EXPECT_FALSE(store_->loadWasSuccessful());
}

TEST_F(OVReliableStoreProductViewControllerTest, ALaterAttemptThatLoadsFirstIsKept) {
  presentStore();
  load();
  advance(1.5);
  ASSERT_EQ(sheets_->size(), 2u);
  sheet(1)->answer(true);
  runMainQueue();
  ASSERT_EQ(completions_->size(), 1u);
  EXPECT_TRUE(completions_->front().loaded);
  EXPECT_EQ(store_->loadAttemptThatSucceeded(), 2);
  EXPECT_EQ(store_->storeKitController(), sheet(1));
  EXPECT_EQ(store_->attemptsInProgress(), 0u);
  advance(25);
  EXPECT_EQ(sheets_->size(), 2u) << "no third attempt, no timeout";
  EXPECT_EQ(completions_->size(), 1u);
  EXPECT_EQ(store_->presentedViewController(), sheet(1)) << "already on screen: shown at once";
  EXPECT_TRUE(store_->navigationBarView()->isHidden());
}

TEST_F(OVReliableStoreProductViewControllerTest, AFailedAttemptStartsTheNextAtOnceAndTheLastFailureEndsTheLoad) {
  load();
  advance(0.5);
  sheet(0)->answer(false, platform::Error("store", 1));
  runMainQueue();
  EXPECT_EQ(sheets_->size(), 2u) << "without waiting out the pause";
  advance(1.49);
  EXPECT_EQ(sheets_->size(), 2u) << "the pause counts from the attempt that replaced it";
  advance(0.01);
  ASSERT_EQ(sheets_->size(), 3u);
  sheet(2)->answer(false, platform::Error("store", 3));
  runMainQueue();
  EXPECT_TRUE(completions_->empty()) << "the second attempt is still loading";
  sheet(1)->answer(false, platform::Error("store", 2));
  runMainQueue();
  ASSERT_EQ(completions_->size(), 1u);
  EXPECT_FALSE(completions_->front().loaded);
  EXPECT_EQ(completions_->front().error->code(), 2) << "the last error";
  advance(25);
  EXPECT_EQ(completions_->size(), 1u);
}

TEST_F(OVReliableStoreProductViewControllerTest, TheLoadedPageIsShownOnceLoadedAndOnScreenInEitherOrder) {
  for (const bool loadsFirst : {true, false}) {
    SCOPED_TRACE(loadsFirst);
    sheets_->clear();
    store_ = std::make_shared<OVReliableStoreProductViewController>();
    load();
    if (loadsFirst) {
      sheet(0)->answer(true);
      runMainQueue();
      EXPECT_EQ(store_->presentedViewController(), nullptr);
      presentStore();
    } else {
      presentStore();
      EXPECT_EQ(store_->presentedViewController(), nullptr);
      sheet(0)->answer(true);
      runMainQueue();
    }
    EXPECT_EQ(store_->presentedViewController(), sheet(0));
    runMainQueue();
    ASSERT_TRUE(root_->dismiss(false));
    runMainQueue();
  }
}

TEST_F(OVReliableStoreProductViewControllerTest, CancelBeforeTheLoadTellsTheDelegateAndShowsNothing) {
  presentStore();
  load();
  store_->didPressCancel();
  EXPECT_EQ(delegate_->finished, 1);
  EXPECT_EQ(store_->presentedViewController(), nullptr);
}

TEST_F(OVReliableStoreProductViewControllerTest, TheSheetsDoneButtonClosesItThenTellsTheDelegate) {
  presentStore();
  load();
  sheet(0)->answer(true);
  runMainQueue();
  ASSERT_TRUE(sheet(0)->isPresented());
  sheet(0)->pressDone();
  EXPECT_EQ(delegate_->finished, 0) << "told once the sheet is gone";
  runMainQueue();
  EXPECT_FALSE(sheet(0)->isPresented());
  EXPECT_EQ(delegate_->finished, 1);
  EXPECT_EQ(store_->storeKitController(), nullptr);
}

TEST_F(OVReliableStoreProductViewControllerTest, GoingAwayEndsLoadingWithoutAttemptsOrCompletion) {
  presentStore();
  load();
  advance(1.0);
  ASSERT_TRUE(root_->dismiss(true));
  advance(platform::ViewController::kTransitionSeconds);
  EXPECT_GT(store_->timeSpent(), 0.0);
  sheet(0)->answer(true);
  advance(25);
  EXPECT_EQ(sheets_->size(), 1u) << "no attempt after the page went away";
  EXPECT_TRUE(completions_->empty());
  EXPECT_EQ(store_->presentedViewController(), nullptr);
}

TEST_F(OVReliableStoreProductViewControllerTest, DismissingThePageWithItsSheetUpEndsItToo) {
  presentStore();
  load();
  sheet(0)->answer(true);
  runMainQueue();
  ASSERT_TRUE(sheet(0)->isPresented());
  advance(2.0);
  ASSERT_TRUE(root_->dismiss(false));
  runMainQueue();
  EXPECT_FALSE(sheet(0)->isPresented());
  EXPECT_NEAR(store_->timeSpentAfterLoad(), 2.0, 1e-6);
  EXPECT_EQ(store_->storeKitController(), nullptr);
}

TEST_F(OVReliableStoreProductViewControllerTest, TheDelegateIsNotKeptAlive) {
  std::weak_ptr<RecordingStoreDelegate> weakDelegate = delegate_;
  delegate_.reset();
  EXPECT_TRUE(weakDelegate.expired());
  presentStore();
  store_->didPressCancel();
}

TEST_F(OVReliableStoreProductViewControllerTest, ReleasingTheControllerStopsItsAttempts) {
  load();
  std::weak_ptr<OVReliableStoreProductViewController> weakStore = store_;
  store_.reset();
  EXPECT_TRUE(weakStore.expired()) << "pending calls do not keep it";
  advance(25);
  EXPECT_EQ(sheets_->size(), 1u);
  EXPECT_TRUE(completions_->empty());
}

}  // namespace
}  // namespace plexora
