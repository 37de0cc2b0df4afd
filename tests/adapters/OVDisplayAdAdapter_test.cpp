// The display-ad adapter base: the operations a subclass must override
// raise, naming the subclass; the others do nothing; the delegate is held
// weakly.
#include "adapters/OVDisplayAdAdapter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Exception.h"
#include "support/doubles/FakeDisplayAdAdapter.h"

namespace plexora {
namespace {

using platform::Dictionary;

// Overrides nothing, like an outside adapter that forgot its operations.
class OVTESTBannerAdAdapter : public OVDisplayAdAdapter {
 public:
  using OVDisplayAdAdapter::OVDisplayAdAdapter;
};

namespace nested {
template <typename T>
class OVTESTTemplateAdAdapter : public OVDisplayAdAdapter {};
}  // namespace nested

class RecordingDelegate : public OVDisplayAdAdapterDelegate {
 public:
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const std::optional<platform::URL>& url,
                       bool playerHandles) override {
    reports.push_back(adapter);
    clickURL = url;
    clickPlayerHandles = playerHandles;
  }
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override { reports.push_back(adapter); }
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const platform::Error& error) override {
    reports.push_back(adapter);
    errorCode = error.code();
  }
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override {
    reports.push_back(adapter);
  }

  std::vector<std::shared_ptr<OVDisplayAdAdapter>> reports;
  std::optional<platform::URL> clickURL;
  bool clickPlayerHandles = false;
  std::int64_t errorCode = 0;
};

struct RaisingCase {
  const char* operation;
  std::function<void(OVDisplayAdAdapter&)> call;
};

const std::vector<RaisingCase>& raisingCases() {
  static const std::vector<RaisingCase> cases = {
      {"loadAdData",
       [](OVDisplayAdAdapter& adapter) { adapter.loadAdData({}, kOVAdSize320x50, 1, "placement", nullptr, nullptr); }},
      {"startAdFromRootViewController",
       [](OVDisplayAdAdapter& adapter) { adapter.startAdFromRootViewController(nullptr); }},
      {"startAdFromRootViewController",
       [](OVDisplayAdAdapter& adapter) { adapter.startAdFromRootViewController(nullptr, false); }},
      {"onImpressionWithExtraData", [](OVDisplayAdAdapter& adapter) { adapter.onImpressionWithExtraData({}, {}); }},
      {"onClickForViewController", [](OVDisplayAdAdapter& adapter) { adapter.onClickForViewController(nullptr, {}); }},
  };
  return cases;
}

void expectRaises(OVDisplayAdAdapter& adapter, const std::string& className) {
  for (const auto& c : raisingCases()) {
    try {
      c.call(adapter);
      ADD_FAILURE() << c.operation << " did not raise";
    } catch (const platform::Exception& exception) {
      EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException) << c.operation;
      EXPECT_EQ(exception.reason(), "[" + className + " " + c.operation + ":] not implemented.");
    }
  }
}

TEST(OVDisplayAdAdapterTest, OperationsASubclassMustOverrideRaiseNamingTheSubclass) {
  OVTESTBannerAdAdapter adapter;
  expectRaises(adapter, "OVTESTBannerAdAdapter");
}

TEST(OVDisplayAdAdapterTest, TheBaseItselfRaisesUnderItsOwnName) {
  OVDisplayAdAdapter adapter;
  expectRaises(adapter, "OVDisplayAdAdapter");
}

TEST(OVDisplayAdAdapterTest, ClassNamesCarryNeitherNamespacesNorTemplateArguments) {
  nested::OVTESTTemplateAdAdapter<std::vector<std::string>> adapter;
  EXPECT_EQ(adapter.className(), "OVTESTTemplateAdAdapter");
}

TEST(OVDisplayAdAdapterTest, OptionalOperationsDoNothing) {
  OVTESTBannerAdAdapter adapter;
  EXPECT_EQ(adapter.getAdNetwork(), std::nullopt);
  EXPECT_NO_THROW(adapter.registerViewForInteraction(nullptr, nullptr));
  EXPECT_NO_THROW(adapter.unregisterView());
  EXPECT_NO_THROW(adapter.onImpressionMissWithExtraData(Dictionary{{"vrc", 2}}, {}));
  EXPECT_EQ(adapter.adView(), nullptr);
  EXPECT_EQ(adapter.nativeAdData(), nullptr);
}

TEST(OVDisplayAdAdapterTest, TheDelegateIsHeldWeakly) {
  auto delegate = std::make_shared<RecordingDelegate>();
  OVTESTBannerAdAdapter adapter(delegate);
  EXPECT_EQ(adapter.delegate(), delegate);

  auto replacement = std::make_shared<RecordingDelegate>();
  adapter.setDelegate(replacement);
  EXPECT_EQ(adapter.delegate(), replacement);

  replacement.reset();
  EXPECT_EQ(adapter.delegate(), nullptr) << "the adapter must not keep the controller alive";
}

TEST(OVDisplayAdAdapterTest, ReportsNameTheAdapterThatSendsThem) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto adapter = std::make_shared<testing::FakeDisplayAdAdapter>(delegate);
  adapter->finishLoad();
  adapter->failLoad(platform::Error("domain", 1001));
  adapter->click(platform::URL::parse("https://example.com/landing"), true);
  adapter->logImpression();
  adapter->finishClick();  // optional: the default ignores it

  ASSERT_EQ(delegate->reports.size(), 4u);
  for (const auto& reported : delegate->reports) {
    EXPECT_EQ(reported, adapter);
  }
  EXPECT_EQ(delegate->errorCode, 1001);
  ASSERT_TRUE(delegate->clickURL);
  EXPECT_EQ(delegate->clickURL->absoluteString(), "https://example.com/landing");
  EXPECT_TRUE(delegate->clickPlayerHandles);
}

}  // namespace
}  // namespace plexora
