// An adapter that keeps what it is given and loads nothing. The test plays
// the ad network: it calls finishLoad(), failLoad(), click() and the other
// reports to make the adapter talk to its delegate the way a real one would.
// install() registers it under a class name for the scope's life, so the
// registry answers it, and lists each instance made.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVDisplayAdAdapter.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"

namespace plexora::testing {

class FakeDisplayAdAdapter : public OVDisplayAdAdapter {
 public:
  struct Load {
    platform::Dictionary adData;
    OVAdSize size;
    std::int64_t orientation = 0;
    std::string placement;
    std::shared_ptr<OVAdPlacementDefinition> placementDefinition;
    std::shared_ptr<OVRewardedVideoRewardData> rewardData;
  };
  struct Start {
    std::shared_ptr<OVAdViewControllerProxy> rootViewController;
    bool animated = false;
  };
  struct Made {
    std::vector<std::shared_ptr<FakeDisplayAdAdapter>> adapters;
  };

  // Registers the fake under `className` until it is destroyed, then puts
  // back whatever was registered under that name before.
  class Installation final {
   public:
    Installation(std::string className, std::shared_ptr<Made> made) : className_(std::move(className)) {
      previous_ = OVAdAdapterClassTable::registerClass(std::make_shared<const OVAdAdapterClass>(
          className_, [made](std::weak_ptr<OVDisplayAdAdapterDelegate> delegate) {
            auto adapter = std::make_shared<FakeDisplayAdAdapter>(std::move(delegate));
            made->adapters.push_back(adapter);
            return std::static_pointer_cast<OVDisplayAdAdapter>(adapter);
          }));
    }
    ~Installation() {
      if (previous_) {
        OVAdAdapterClassTable::registerClass(previous_);
      } else {
        OVAdAdapterClassTable::unregisterClass(className_);
      }
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

   private:
    std::string className_;
    std::shared_ptr<const OVAdAdapterClass> previous_;
  };

  explicit FakeDisplayAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {})
      : OVDisplayAdAdapter(std::move(delegate)) {}

  static std::unique_ptr<Installation> install(std::string className, std::shared_ptr<Made> made) {
    return std::make_unique<Installation>(std::move(className), std::move(made));
  }

  // ---- What the controller sees ----
  std::optional<std::string> getAdNetwork() override { return adNetwork; }

  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override {
    loads.push_back({adData, size, orientation, placement, placementDefinition, rewardData});
  }

  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override {
    return startAdFromRootViewController(rootViewController, true);
  }
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override {
    starts.push_back({rootViewController, animated});
    return showsAd;
  }

  void registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                  const std::shared_ptr<platform::ViewController>& /*viewController*/) override {
    registeredView = view;
  }
  void unregisterView() override { registeredView.reset(); }

  void onImpressionWithExtraData(const platform::Dictionary& extraData,
                                 const platform::Dictionary& postData) override {
    impressions.emplace_back(extraData, postData);
  }
  void onImpressionMissWithExtraData(const platform::Dictionary& extraData,
                                     const platform::Dictionary& postData) override {
    impressionMisses.emplace_back(extraData, postData);
  }
  void onClickForViewController(const std::shared_ptr<platform::ViewController>& /*viewController*/,
                                const platform::Dictionary& extraData) override {
    clicks.push_back(extraData);
  }

  // ---- What the network would do ----
  void finishLoad() { report(&OVDisplayAdAdapterDelegate::adapterDidLoad); }
  void failLoad(const platform::Error& error) {
    if (auto target = delegate()) {
      target->adapter(shared_from_this(), error);
    }
  }
  void click(const std::optional<platform::URL>& url, bool playerHandles) {
    if (auto target = delegate()) {
      target->adapterDidClick(shared_from_this(), url, playerHandles);
    }
  }
  void logImpression() { report(&OVDisplayAdAdapterDelegate::adapterWillLogImpression); }
  void finishClick() { report(&OVDisplayAdAdapterDelegate::adapterDidFinishHandlingClick); }
  void willUnload() { report(&OVDisplayAdAdapterDelegate::adapterWillUnload); }
  void didUnload() { report(&OVDisplayAdAdapterDelegate::adapterDidUnload); }
  void complete() { report(&OVDisplayAdAdapterDelegate::adapterDidComplete); }
  void rewardSucceeded() { report(&OVDisplayAdAdapterDelegate::adapterServerRewardSuccess); }
  void rewardFailed() { report(&OVDisplayAdAdapterDelegate::adapterServerRewardFailed); }

  // ---- Settings and records ----
  std::optional<std::string> adNetwork;
  bool showsAd = true;
  std::vector<Load> loads;
  std::vector<Start> starts;
  std::shared_ptr<platform::View> registeredView;
  std::vector<std::pair<platform::Dictionary, platform::Dictionary>> impressions;
  std::vector<std::pair<platform::Dictionary, platform::Dictionary>> impressionMisses;
  std::vector<platform::Dictionary> clicks;

 private:
  void report(void (OVDisplayAdAdapterDelegate::*message)(const std::shared_ptr<OVDisplayAdAdapter>&)) {
    if (auto target = delegate()) {
      ((*target).*message)(shared_from_this());
    }
  }
};

}  // namespace plexora::testing
