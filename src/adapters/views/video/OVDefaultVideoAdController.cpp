#include "adapters/views/video/OVDefaultVideoAdController.h"

#include <mutex>

#include "adapters/OVInstreamAdDataModel.h"
#include "platform/ui/Application.h"
#include "server/OVAdConnectionInfo.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdVideoLogger.h"
#include "util/OVAdError.h"

namespace plexora {

OVVideoAdController::Maker& OVVideoAdController::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::shared_ptr<OVVideoAdContentView>& contentView)
                         -> std::shared_ptr<OVVideoAdController> {
      return OVDefaultVideoAdController::create(contentView);
    });
  });
  return instance;
}

std::shared_ptr<OVDefaultVideoAdController> OVDefaultVideoAdController::create(
    std::shared_ptr<OVVideoAdContentView> contentView) {
  auto controller = std::make_shared<OVDefaultVideoAdController>(Private{}, std::move(contentView));
  if (controller->contentView_) {
    controller->contentView_->setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate>(controller));
  }
  controller->commandHandler_->setDelegate(std::weak_ptr<OVAdCommandProcessorDelegate>(controller));
  return controller;
}

OVDefaultVideoAdController::OVDefaultVideoAdController(Private, std::shared_ptr<OVVideoAdContentView> contentView)
    : contentView_(std::move(contentView)), commandHandler_(OVAdCommandProcessor::create()) {}

OVDefaultVideoAdController::~OVDefaultVideoAdController() {
  if (logger_) logger_->registerStop(currentTime());
  commandHandler_->setDelegate({});
}

void OVDefaultVideoAdController::setEventManager(std::shared_ptr<OVAdEventManager> eventManager) {
  eventManager_ = std::move(eventManager);
  commandHandler_->setEventManager(eventManager_);
  if (logger_ && eventManager_) {
    logger_->setEventLog([eventManager = eventManager_](const std::string& token, const platform::Dictionary& params) {
      eventManager->logVideoEventForToken(token, params);
    });
  }
}

// ---- Validity ----

bool OVDefaultVideoAdController::isValid() const { return isDataModelValid() && isNetworkOnline(); }

bool OVDefaultVideoAdController::isDataModelValid() const { return dataModel_ && dataModel_->isValid(); }

bool OVDefaultVideoAdController::isNetworkOnline() {
  return OVAdConnectionInfo::currentReachabilityStatus() != kOVAdReachabilityNotReachable;
}

platform::MediaTime OVDefaultVideoAdController::currentTime() const {
  return contentView_ ? contentView_->currentTime() : platform::MediaTime::zero();
}

// ---- Load and show ----

void OVDefaultVideoAdController::loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) {
  dataModel_ = dataModel;
  if (!isDataModelValid()) {
    if (const auto target = delegate()) {
      target->controller(sharedController(), OVAdError::getNSError(kOVAdErrorCodeNoFill));
    }
    return;
  }
  const std::weak_ptr<OVDefaultVideoAdController> weakSelf = weak_from_this();
  logger_ = OVAdVideoLogger::initWithTargetView(
      contentView_, dataModel_->inlineClientToken(),
      [weakSelf] {
        if (const auto self = weakSelf.lock()) self->handleViewableImpression();
      },
      [weakSelf] {
        const auto self = weakSelf.lock();
        return self && self->contentView_ ? self->contentView_->volume() : 0.0F;
      },
      contentView_ ? contentView_->isAutoplay() : false);
  setEventManager(eventManager_);
  if (contentView_) contentView_->loadAdFromDataModel(dataModel_);
}

bool OVDefaultVideoAdController::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  if (!isNetworkOnline()) {
    if (const auto target = delegate()) {
      target->controller(sharedController(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
    }
    return false;
  }
  if (!contentViewLoaded_ || started_) return false;
  started_ = true;
  contentView_->startFromRootViewController(rootViewController);
  return true;
}

// ---- Clicks and the impression ----

bool OVDefaultVideoAdController::handleLink() {
  const std::weak_ptr<OVDefaultVideoAdController> weakSelf = weak_from_this();
  return commandHandler_->processCommand(
      *dataModel_->callToActionURL(), platform::Value(), dataModel_,
      [weakSelf](OVAdCommand command, OVAdAction, const std::shared_ptr<OVAdDataModel>&) {
        const auto self = weakSelf.lock();
        if (self && command == OVAdCommand::Click) self->registerClick();
      });
}

void OVDefaultVideoAdController::handleViewableImpression() {
  if (const auto target = delegate()) target->controllerWillRegisterViewableImpression(sharedController());
}

void OVDefaultVideoAdController::registerClick() {
  if (const auto target = delegate()) target->controllerDidClick(sharedController());
}

// ---- The content view's reports ----

void OVDefaultVideoAdController::contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>&) {
  contentViewLoaded_ = true;
  if (const auto target = delegate()) target->controllerDidLoad(sharedController());
}

void OVDefaultVideoAdController::contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>&) {
  const platform::MediaTime time = currentTime();
  // Nothing has played before the first positive time (an invalid time
  // would order above zero).
  if (logger_ && time.isNumeric() && time > platform::MediaTime::zero()) logger_->registerProgress(time);
}

void OVDefaultVideoAdController::contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>&) {
  if (logger_) logger_->registerPause(currentTime());
}

void OVDefaultVideoAdController::contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>&) {
  if (logger_) logger_->registerResume(currentTime());
}

void OVDefaultVideoAdController::contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>&) {
  if (logger_) logger_->registerSkip(currentTime());
  if (const auto target = delegate()) target->controllerDidUnload(sharedController());
}

void OVDefaultVideoAdController::contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>&) {
  if (!dataModel_) return;
  // A call to action the command processor cannot run (no command link)
  // leaves the tap to the destination, so it is not lost.
  if (dataModel_->callToActionURL() && handleLink()) return;
  const std::optional<platform::URL> destination = dataModel_->destinationURL();
  const auto application = platform::Application::shared();
  if (destination && application->canOpenURL(*destination)) {
    application->openURL(*destination);
    registerClick();
  }
}

void OVDefaultVideoAdController::contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>&) {
  if (logger_) logger_->registerComplete(currentTime());
}

void OVDefaultVideoAdController::contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>&) {
  if (const auto target = delegate()) target->controllerDidUnload(sharedController());
}

void OVDefaultVideoAdController::contentView(const std::shared_ptr<OVVideoAdContentView>&,
                                             const platform::Error& didFailWithError) {
  if (const auto target = delegate()) target->controller(sharedController(), didFailWithError);
}

}  // namespace plexora
