// The platform's store sheet: the product's web page in the engine (a
// scriptable double here), and the errors of parameters that name no product.
#include "platform/web/StoreProductSheet.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/storepage/OVReliableStoreProductViewController.h"
#include "platform/ui/UITest.h"
#include "support/doubles/ScriptableWebView.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Value;

class StoreProductSheetTest : public platform::testing::UITest {
 protected:
  void TearDown() override {
    platform::StoreProductSheet::setProductPageURLTemplate("");
    UITest::TearDown();
  }
  // Loads and answers what the sheet said, or none while it has not.
  std::optional<std::pair<bool, std::optional<platform::Error>>> load(
      const std::shared_ptr<platform::StoreProductSheet>& sheet, const Value& parameters) {
    auto answer = std::make_shared<std::optional<std::pair<bool, std::optional<platform::Error>>>>();
    sheet->loadProductWithParameters(parameters, [answer](bool loaded, const std::optional<platform::Error>& error) {
      *answer = std::make_pair(loaded, error);
    });
    runMainQueue();
    return *answer;
  }

  std::vector<std::shared_ptr<testing::ScriptableWebView>> webViews_;
  platform::ScopedWebViewMaker webViewMaker_ = testing::ScriptableWebView::install(webViews_);
};

TEST_F(StoreProductSheetTest, TheProductsPageLoadsInTheEngine) {
  platform::StoreProductSheet::setProductPageURLTemplate("https://store.test/product/{id}?from=ad");
  for (const Value& identifier : {Value("123456"), Value(std::int64_t{123456})}) {
    webViews_.clear();
    const auto sheet = platform::StoreProductSheet::make();
    EXPECT_FALSE(load(sheet, Value(Dictionary{{"id", identifier}, {"at", "token"}})).has_value());
    ASSERT_EQ(webViews_.size(), 1u);
    ASSERT_EQ(webViews_.front()->loads.size(), 1u);
    EXPECT_EQ(webViews_.front()->loads.front().baseURL, "https://store.test/product/123456?from=ad");
    webViews_.front()->finishLoad();
    // The engine's callbacks come on the main queue; the double's at once.
  }
}

TEST_F(StoreProductSheetTest, ParametersThatNameNoProductFail) {
  platform::StoreProductSheet::setProductPageURLTemplate("https://store.test/product/{id}");
  const Value cases[] = {
      Value("123"),
      Value(Dictionary{}),
      Value(Dictionary{{"id", true}}),
      Value(Dictionary{{"id", 12.5}}),
      Value(Dictionary{{"id", Value(platform::Array{Value("1")})}}),
      Value(Dictionary{{"id", ""}}),
      Value(Dictionary{{"id", "12/../admin"}}),
      Value(Dictionary{{"id", "12?x=1"}}),
  };
  for (const Value& parameters : cases) {
    const auto answer = load(platform::StoreProductSheet::make(), parameters);
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->first);
    ASSERT_TRUE(answer->second.has_value());
    EXPECT_EQ(answer->second->code(), platform::kStoreProductSheetErrorInvalidParameters);
  }
  EXPECT_TRUE(webViews_.empty());
}

TEST_F(StoreProductSheetTest, WithoutAPageAddressTheLoadFails) {
  const auto answer = load(platform::StoreProductSheet::make(), Value(Dictionary{{"id", "123"}}));
  ASSERT_TRUE(answer.has_value());
  EXPECT_FALSE(answer->first);
  EXPECT_EQ(answer->second->code(), platform::kStoreProductSheetErrorNoPageAddress);
}

TEST_F(StoreProductSheetTest, APageLoadAndItsFailureReachTheCompletion) {
  platform::StoreProductSheet::setProductPageURLTemplate("https://store.test/{id}");
  auto answers = std::make_shared<std::vector<bool>>();
  const auto sheet = platform::StoreProductSheet::make();
  sheet->loadProductWithParameters(
      Value(Dictionary{{"id", "1"}}),
      [answers](bool loaded, const std::optional<platform::Error>&) { answers->push_back(loaded); });
  const auto failing = platform::StoreProductSheet::make();
  failing->loadProductWithParameters(
      Value(Dictionary{{"id", "2"}}),
      [answers](bool loaded, const std::optional<platform::Error>&) { answers->push_back(loaded); });
  ASSERT_EQ(webViews_.size(), 2u);
  webViews_[0]->finishLoad();
  webViews_[1]->failLoad(platform::Error(platform::kWebViewErrorDomain, 7), true);
  webViews_[0]->finishLoad();
  EXPECT_EQ(*answers, (std::vector<bool>{true, false})) << "each completion runs once";
}

TEST_F(StoreProductSheetTest, ReliableLoadingOfParametersOfWrongTypesEndsWithTheSheetsError) {
  platform::StoreProductSheet::setProductPageURLTemplate("https://store.test/{id}");
  auto store = std::make_shared<OVReliableStoreProductViewController>();
  auto errors = std::make_shared<std::vector<std::optional<platform::Error>>>();
  store->reliablyLoadProductWithParameters(
      Value(Dictionary{{"id", Value(Dictionary{})}}),
      [errors](bool, const std::optional<platform::Error>& error) { errors->push_back(error); });
  runMainQueue();
  ASSERT_EQ(errors->size(), 1u) << "three failed attempts, without waiting for the pause or the timeout";
  EXPECT_EQ(store->loadAttemptCount(), 3);
  EXPECT_EQ(errors->front()->code(), platform::kStoreProductSheetErrorInvalidParameters);
}

}  // namespace
}  // namespace plexora
