#include "platform/web/HeadlessWebView.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {
namespace {

constexpr const char* kUserAgentScript =
    "(function(){try{return navigator.userAgent}catch(e){return e.toString();}}());";

struct Answer {
  Value result;
  std::optional<Error> error;
  bool onMainThread = false;
};

class HeadlessWebViewTest : public ::testing::Test {
 protected:
  ~HeadlessWebViewTest() override {
    HeadlessWebView::setUserAgent("");
    HeadlessWebView::setAnswer(HeadlessWebViewAnswer::UserAgent);
  }

  // Evaluates the script and runs the main queue until nothing is left.
  std::optional<Answer> evaluate(const std::string& script) {
    std::optional<Answer> answer;
    HeadlessWebView view;
    view.evaluateJavaScript(script, [&answer](Value result, std::optional<Error> error) {
      answer = Answer{std::move(result), std::move(error), DispatchQueue::isMainThread()};
    });
    EXPECT_FALSE(answer.has_value()) << "the answer must come through the main queue, not inline";
    EXPECT_TRUE(DispatchQueue::settle());
    return answer;
  }
};

TEST_F(HeadlessWebViewTest, AnswersTheDefaultUserAgentOnTheMainQueue) {
  const auto answer = evaluate(kUserAgentScript);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->result, Value(kHeadlessWebViewDefaultUserAgent));
  EXPECT_FALSE(answer->error.has_value());
  EXPECT_TRUE(answer->onMainThread);
}

TEST_F(HeadlessWebViewTest, AnswersTheConfiguredUserAgentUntilItIsCleared) {
  HeadlessWebView::setUserAgent("Engine/2.0");
  EXPECT_EQ(evaluate(kUserAgentScript)->result, Value("Engine/2.0"));
  HeadlessWebView::setUserAgent("");
  EXPECT_EQ(evaluate(kUserAgentScript)->result, Value(kHeadlessWebViewDefaultUserAgent));
}

TEST_F(HeadlessWebViewTest, ABrokenEngineAnswersNullOrNothing) {
  HeadlessWebView::setAnswer(HeadlessWebViewAnswer::NonString);
  const auto nonString = evaluate(kUserAgentScript);
  ASSERT_TRUE(nonString.has_value());
  EXPECT_TRUE(nonString->result.isNull());
  EXPECT_FALSE(nonString->error.has_value());

  HeadlessWebView::setAnswer(HeadlessWebViewAnswer::Never);
  EXPECT_FALSE(evaluate(kUserAgentScript).has_value());
}

TEST_F(HeadlessWebViewTest, AnyOtherScriptFails) {
  const auto answer = evaluate("document.title");
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(answer->result.isNull());
  ASSERT_TRUE(answer->error.has_value());
  EXPECT_EQ(answer->error->domain(), kWebViewErrorDomain);
  EXPECT_EQ(answer->error->code(), kWebViewErrorJavaScriptFailed);
}

}  // namespace
}  // namespace plexora::platform
