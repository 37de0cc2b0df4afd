// The library's video ad controller: it keeps the ad's data model, loads
// the content view when the model is valid, logs the content view's
// playback through the ad's video logger, carries out click-throughs
// through its command processor, and passes load, click, end and failure
// on to its delegate (the in-stream adapter).
//
// Reports to the delegate, in the order they happen:
// - load: an invalid model gives error 1001 at once; else the content
//   view's load gives controllerDidLoad, its failure the error;
// - show: error 1000 while the network is unreachable (the show may be
//   tried again); the first show of a loaded view starts it;
// - the logger's viewable impression gives
//   controllerWillRegisterViewableImpression;
// - a click-through the command processor reports as a click, or a
//   destination the application opens, gives controllerDidClick;
// - the end, a skip and the view's unload give controllerDidUnload;
// - a playback failure gives controller(…, error) unchanged.
// Release logs the stop at the content view's time.
//
// Thread safety: main thread only.
// Ownership: the adapter owns the controller; the controller owns the
// content view, the logger and the command processor, and is held weakly
// by each of them (as delegate, or by their callbacks).
#pragma once

#include <memory>
#include <optional>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/views/video/OVVideoAdController.h"

namespace plexora {

class OVAdVideoLogger;

class OVDefaultVideoAdController final : public OVVideoAdController,
                                         public OVVideoAdContentViewDelegate,
                                         public OVAdCommandProcessorDelegate,
                                         public std::enable_shared_from_this<OVDefaultVideoAdController> {
 public:
  // A controller that is the content view's delegate and its own command
  // processor's.
  static std::shared_ptr<OVDefaultVideoAdController> create(std::shared_ptr<OVVideoAdContentView> contentView);
  ~OVDefaultVideoAdController() override;

  void setDelegate(std::weak_ptr<OVVideoAdControllerDelegate> delegate) override { delegate_ = std::move(delegate); }
  void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) override;
  bool isValid() const override;
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  std::shared_ptr<OVVideoAdContentView> contentView() const override { return contentView_; }
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager) override;

  std::shared_ptr<OVVideoAdControllerDelegate> delegate() const { return delegate_.lock(); }
  const std::shared_ptr<OVInstreamAdDataModel>& dataModel() const { return dataModel_; }
  const std::shared_ptr<OVAdVideoLogger>& logger() const { return logger_; }
  const std::shared_ptr<OVAdCommandProcessor>& commandHandler() const { return commandHandler_; }
  bool contentViewLoaded() const { return contentViewLoaded_; }
  bool started() const { return started_; }

  // ---- OVVideoAdContentViewDelegate ----
  void contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentView(const std::shared_ptr<OVVideoAdContentView>& contentView,
                   const platform::Error& didFailWithError) override;

  // ---- OVAdCommandProcessorDelegate ----
  // Nothing of its own to present from: the command processor opens links
  // outside the application.
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override { return nullptr; }

 private:
  struct Private {};

 public:
  OVDefaultVideoAdController(Private, std::shared_ptr<OVVideoAdContentView> contentView);

 private:
  bool isDataModelValid() const;
  static bool isNetworkOnline();
  // The content view's time now; zero without a content view.
  platform::MediaTime currentTime() const;
  // False when the command processor refused the call-to-action link.
  bool handleLink();
  void handleViewableImpression();
  void registerClick();
  std::shared_ptr<OVVideoAdController> sharedController() { return shared_from_this(); }

  std::shared_ptr<OVVideoAdContentView> contentView_;
  std::weak_ptr<OVVideoAdControllerDelegate> delegate_;
  std::shared_ptr<OVAdCommandProcessor> commandHandler_;
  std::shared_ptr<OVAdEventManager> eventManager_;
  std::shared_ptr<OVInstreamAdDataModel> dataModel_;
  std::shared_ptr<OVAdVideoLogger> logger_;
  bool contentViewLoaded_ = false;
  bool started_ = false;
};

}  // namespace plexora
