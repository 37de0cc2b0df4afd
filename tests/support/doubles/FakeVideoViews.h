// Doubles of the video views and controllers. Each keeps what it is given
// and lets the test play the video's events to its delegate.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/nativead/video/OVAdFullscreenVideoController.h"
#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "adapters/views/video/OVInstreamAdContentView.h"
#include "adapters/views/video/OVInterstitialVideoAdContentView.h"
#include "adapters/views/video/OVRewardedVideoAdEndView.h"
#include "adapters/views/video/OVRewardedVideoAdView.h"
#include "adapters/views/video/OVVideoAdController.h"
#include "support/doubles/MadeList.h"

namespace plexora::testing {

class FakeMediaViewDefaultVideoRenderer final : public OVMediaViewDefaultVideoRenderer {
 public:
  static Maker::Scope install(const MadeList<FakeMediaViewDefaultVideoRenderer>& made) {
    return Maker::Scope(OVMediaViewDefaultVideoRenderer::maker(), [made] {
      auto renderer = std::make_shared<FakeMediaViewDefaultVideoRenderer>();
      made->push_back(renderer);
      return renderer;
    });
  }

  void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled,
                    Block loadedBlock, Block failureBlock) override {
    loadedURL = videoURL;
    loadedClientToken = clientToken;
    autoplay = autoplayEnabled;
    loadedBlock_ = std::move(loadedBlock);
    failureBlock_ = std::move(failureBlock);
  }
  double aspectRatio() const override { return aspectRatioValue; }
  float volume() const override { return volumeValue; }
  void playVideo() override { ++playCalls; }
  void setDelegate(std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void setPosterImage(std::shared_ptr<OVAdImage> posterImage) override { poster = std::move(posterImage); }
  void setInlineMode(bool inlineMode) override {
    inlineModes.push_back(inlineMode);
    if (inlineMode) volumeValue = 0.0F;
  }
  void setVolume(float volume) override { volumeValue = volume; }

  void finishLoad() {
    if (loadedBlock_) loadedBlock_();
  }
  void failLoad() {
    if (failureBlock_) failureBlock_();
  }
  std::shared_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate() const { return delegate_.lock(); }
  std::shared_ptr<OVMediaViewDefaultVideoRenderer> self() {
    return std::static_pointer_cast<OVMediaViewDefaultVideoRenderer>(shared_from_this());
  }

  std::optional<platform::URL> loadedURL;
  std::string loadedClientToken;
  bool autoplay = false;
  double aspectRatioValue = 16.0 / 9.0;
  float volumeValue = 0.0F;
  int playCalls = 0;
  std::shared_ptr<OVAdImage> poster;
  // Each setInlineMode() argument, in order.
  std::vector<bool> inlineModes;

 private:
  std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate_;
  Block loadedBlock_;
  Block failureBlock_;
};

class FakeFullscreenVideoController final : public OVAdFullscreenVideoController {
 public:
  static Maker::Scope install(const MadeList<FakeFullscreenVideoController>& made) {
    return Maker::Scope(OVAdFullscreenVideoController::maker(),
                        [made](const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer,
                               const std::string& callToAction) {
                          auto controller = std::make_shared<FakeFullscreenVideoController>();
                          controller->videoRenderer = renderer;
                          controller->callToAction = callToAction;
                          made->push_back(controller);
                          return controller;
                        });
  }

  void setDelegate(std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  std::shared_ptr<OVAdFullscreenVideoControllerDelegate> delegate() const { return delegate_.lock(); }
  std::shared_ptr<OVAdFullscreenVideoController> self() {
    return std::static_pointer_cast<OVAdFullscreenVideoController>(shared_from_this());
  }

  std::weak_ptr<OVMediaViewDefaultVideoRenderer> videoRenderer;
  std::string callToAction;

 private:
  std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate_;
};

// A content view of either kind that keeps what it is given.
template <typename Base>
class FakeVideoAdContentView final : public Base {
 public:
  static typename Base::Maker::Scope install(const MadeList<FakeVideoAdContentView>& made) {
    return typename Base::Maker::Scope(Base::maker(), [made] {
      auto view = std::make_shared<FakeVideoAdContentView>();
      made->push_back(view);
      return view;
    });
  }

  void setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) override {
    loadedDataModel = dataModel;
  }
  void startFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override {
    startedFrom.push_back(rootViewController);
  }
  platform::MediaTime currentTime() const override { return currentTimeValue; }

  std::shared_ptr<OVVideoAdContentViewDelegate> delegate() const { return delegate_.lock(); }
  std::shared_ptr<OVVideoAdContentView> self() {
    return std::static_pointer_cast<OVVideoAdContentView>(this->shared_from_this());
  }

  std::shared_ptr<OVInstreamAdDataModel> loadedDataModel;
  std::vector<std::shared_ptr<OVAdViewControllerProxy>> startedFrom;
  // What currentTime() answers: the test plays the video by setting it.
  platform::MediaTime currentTimeValue = platform::MediaTime::zero();

 private:
  std::weak_ptr<OVVideoAdContentViewDelegate> delegate_;
};

using FakeInterstitialVideoAdContentView = FakeVideoAdContentView<OVInterstitialVideoAdContentView>;
using FakeInstreamAdContentView = FakeVideoAdContentView<OVInstreamAdContentView>;

class FakeVideoAdController final : public OVVideoAdController,
                                    public std::enable_shared_from_this<FakeVideoAdController> {
 public:
  static Maker::Scope install(const MadeList<FakeVideoAdController>& made) {
    return Maker::Scope(OVVideoAdController::maker(), [made](const std::shared_ptr<OVVideoAdContentView>& contentView) {
      auto controller = std::make_shared<FakeVideoAdController>(contentView);
      made->push_back(controller);
      return controller;
    });
  }

  explicit FakeVideoAdController(std::shared_ptr<OVVideoAdContentView> contentView)
      : contentView_(std::move(contentView)) {}

  void setDelegate(std::weak_ptr<OVVideoAdControllerDelegate> delegate) override { delegate_ = std::move(delegate); }
  void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) override {
    loadedDataModel = dataModel;
  }
  bool isValid() const override { return valid; }
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override {
    shownFrom.push_back(rootViewController);
    return showAnswer;
  }
  std::shared_ptr<OVVideoAdContentView> contentView() const override { return contentView_; }
  void setEventManager(std::shared_ptr<OVAdEventManager> manager) override { eventManager = std::move(manager); }

  std::shared_ptr<OVVideoAdControllerDelegate> delegate() const { return delegate_.lock(); }

  std::shared_ptr<OVInstreamAdDataModel> loadedDataModel;
  std::shared_ptr<OVAdEventManager> eventManager;
  std::vector<std::shared_ptr<OVAdViewControllerProxy>> shownFrom;
  bool valid = true;
  bool showAnswer = true;

 private:
  std::shared_ptr<OVVideoAdContentView> contentView_;
  std::weak_ptr<OVVideoAdControllerDelegate> delegate_;
};

class FakeRewardedVideoAdView final : public OVRewardedVideoAdView {
 public:
  struct Arguments {
    std::string placementID;
    std::shared_ptr<OVRewardedVideoAdDataModel> adData;
    std::int32_t minViewability = 0;
    std::shared_ptr<OVAdViewControllerProxy> rootViewController;
  };

  static Maker::Scope install(const MadeList<FakeRewardedVideoAdView>& made) {
    return Maker::Scope(OVRewardedVideoAdView::maker(),
                        [made](const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
                               std::int32_t minViewability,
                               const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
                          auto view = std::make_shared<FakeRewardedVideoAdView>();
                          view->arguments = {placementID, adData, minViewability, rootViewController};
                          made->push_back(view);
                          return view;
                        });
  }

  void setDelegate(std::weak_ptr<OVRewardedVideoAdViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  bool isAdValid() const override { return adValid; }
  void playVideo() override { ++playCalls; }
  std::shared_ptr<QNVAVPlayer> player() const override { return playerValue; }

  std::shared_ptr<OVRewardedVideoAdViewDelegate> delegate() const { return delegate_.lock(); }
  std::shared_ptr<OVRewardedVideoAdView> self() {
    return std::static_pointer_cast<OVRewardedVideoAdView>(shared_from_this());
  }

  Arguments arguments;
  bool adValid = true;
  int playCalls = 0;
  std::shared_ptr<QNVAVPlayer> playerValue;

 private:
  std::weak_ptr<OVRewardedVideoAdViewDelegate> delegate_;
};

class FakeRewardedVideoAdEndView final : public OVRewardedVideoAdEndView {
 public:
  static Maker::Scope install(const MadeList<FakeRewardedVideoAdEndView>& made) {
    return Maker::Scope(OVRewardedVideoAdEndView::maker(),
                        [made](const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
                               std::int64_t minViewability,
                               const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                               platform::InterfaceOrientation orientation) {
                          auto view = std::make_shared<FakeRewardedVideoAdEndView>();
                          view->placementID = placementID;
                          view->adData = adData;
                          view->rootViewController = rootViewController;
                          made->push_back(view);
                          return view;
                        });
  }

  void setDelegate(std::weak_ptr<OVRewardedVideoAdEndViewDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void setFrameOnShow(platform::Rect frame) override {
    setFrame(frame);
    ++framesOnShow;
  }
  void setupNotification() override { ++notificationSetUps; }

  std::shared_ptr<OVRewardedVideoAdEndViewDelegate> delegate() const { return delegate_.lock(); }
  std::shared_ptr<OVRewardedVideoAdEndView> self() {
    return std::static_pointer_cast<OVRewardedVideoAdEndView>(shared_from_this());
  }

  std::string placementID;
  std::shared_ptr<OVRewardedVideoAdDataModel> adData;
  std::weak_ptr<OVAdViewControllerProxy> rootViewController;
  int framesOnShow = 0;
  int notificationSetUps = 0;

 private:
  std::weak_ptr<OVRewardedVideoAdEndViewDelegate> delegate_;
};

}  // namespace plexora::testing
