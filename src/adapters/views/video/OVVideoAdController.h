// Drives one in-stream video ad: loads its content view from the data model,
// logs the video's playback, carries out click-throughs, and tells its
// delegate (the in-stream adapter) what happened.
//
// initWithContentView() makes the library's controller
// (OVDefaultVideoAdController) unless another maker is installed (tests
// install doubles).
//
// Thread safety: main thread only.
// Ownership: the adapter owns the controller; the controller owns the
// content view and holds its delegate weakly.
#pragma once

#include <memory>

#include "adapters/views/video/OVVideoAdContentView.h"
#include "platform/foundation/Error.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdEventManager;
class OVInstreamAdDataModel;
class OVAdViewControllerProxy;
class OVVideoAdController;

class OVVideoAdControllerDelegate {
 public:
  virtual ~OVVideoAdControllerDelegate() = default;

  virtual void controllerDidLoad(const std::shared_ptr<OVVideoAdController>& controller) = 0;
  virtual void controller(const std::shared_ptr<OVVideoAdController>& controller,
                          const platform::Error& didFailWithError) = 0;
  virtual void controllerDidClick(const std::shared_ptr<OVVideoAdController>& controller) = 0;
  virtual void controllerDidUnload(const std::shared_ptr<OVVideoAdController>& controller) = 0;
  // Optional; the base does nothing.
  virtual void controllerWillRegisterViewableImpression(const std::shared_ptr<OVVideoAdController>& controller) {}
};

class OVVideoAdController {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVVideoAdController>(
      const std::shared_ptr<OVVideoAdContentView>& contentView)>;

  virtual ~OVVideoAdController() = default;
  OVVideoAdController(const OVVideoAdController&) = delete;
  OVVideoAdController& operator=(const OVVideoAdController&) = delete;

  // A controller that becomes the content view's delegate.
  static std::shared_ptr<OVVideoAdController> initWithContentView(
      const std::shared_ptr<OVVideoAdContentView>& contentView) {
    return maker()(contentView);
  }

  virtual void setDelegate(std::weak_ptr<OVVideoAdControllerDelegate> delegate) = 0;
  // Keeps the model and, when it is valid, loads the content view; the
  // delegate then hears controllerDidLoad or controller(…, error).
  virtual void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) = 0;
  // The data model is valid and the network is reachable.
  virtual bool isValid() const = 0;
  // Starts the loaded content view once; false when it cannot start (the
  // delegate hears error 1000 when the network is unreachable).
  virtual bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) = 0;
  virtual std::shared_ptr<OVVideoAdContentView> contentView() const = 0;
  // Where the ad's video and command events are logged: the process's event
  // manager unless set.
  virtual void setEventManager(std::shared_ptr<OVAdEventManager> eventManager) = 0;

  static Maker& maker();

 protected:
  OVVideoAdController() = default;
};

}  // namespace plexora
