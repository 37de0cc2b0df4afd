// The links the user activates in an HTML ad: command links go to the
// command processor with the validator's figures, any other link opens
// outside the application and counts as a click; and the touch record and
// presenter the processor asks for.
#include <cctype>
#include <string>

#include "OVAdViewInternal.h"
#include "adapters/views/contentcontainer/OVAdContentContainerTouchRecord.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/Application.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kStatusKey = "vrc";
constexpr const char* kPercentageKey = "vp";
constexpr const char* kHistoryKey = "vh";

std::string decimalText(double value) { return platform::Value(value).text().value_or("0"); }

}  // namespace

bool OVAdViewInternal::isOVAdScheme(const platform::URL& url) {
  std::string scheme = url.scheme();
  for (char& character : scheme) {
    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  }
  return scheme == kOVAdCommandScheme;
}

bool OVAdViewInternal::processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                                         const platform::Value& extraData) {
  if (isOVAdScheme(url)) {
    return processOVAdSchemeLink(url, adDataModel, extraData);
  }
  handleClickWithExtraData(extraData);
  platform::Application::shared()->openURL(url);
  finishHandlingClick();
  return true;
}

bool OVAdViewInternal::processOVAdSchemeLink(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                                             const platform::Value& extraData) {
  platform::Dictionary eventData = extraData.isDictionary() ? extraData.asDictionary() : platform::Dictionary();
  if (viewabilityValidator_) {
    eventData.set(kStatusKey, std::to_string(static_cast<std::int64_t>(viewabilityValidator_->currentStatus())));
    eventData.set(kPercentageKey, decimalText(viewabilityValidator_->lastViewabilityPercentage()));
    eventData.set(kHistoryKey, viewabilityValidator_->viewabilityHistoryJSON());
  } else {
    eventData.set(kStatusKey, std::to_string(static_cast<std::int64_t>(OVAdViewabilityStatus::Unknown)));
    eventData.set(kPercentageKey, decimalText(0.0));
    eventData.set(kHistoryKey, platform::Dictionary());
  }
  const std::weak_ptr<OVAdViewInternal> weakSelf = sharedInternal();
  return commandHandler_->processCommand(
      url, platform::Value(std::move(eventData)), adDataModel,
      [weakSelf, extraData](OVAdCommand command, OVAdAction /*action*/, const std::shared_ptr<OVAdDataModel>&) {
        const auto self = weakSelf.lock();
        if (!self) {
          return;
        }
        switch (command) {
          case OVAdCommand::Click:
            self->handleClickWithExtraData(extraData);
            break;
          case OVAdCommand::Close:
            if (self->isInterstitial_) {
              if (const auto closer = self->internalDelegate()) closer->adViewWillClose(self);
            }
            break;
        }
      });
}

void OVAdViewInternal::handleClickWithExtraData(const platform::Value& extraData) {
  if (adContentContainer_) {
    adContentContainer_->logClickWithExtraData(extraData);
  }
  adDidLogClick();
}

void OVAdViewInternal::finishHandlingClick() {
  if (const auto target = delegate()) {
    target->adViewDidFinishHandlingClick(sharedAdView());
  }
}

void OVAdViewInternal::viewControllerDismissed(OVAdCommandProcessor& /*processor*/) { finishHandlingClick(); }

std::shared_ptr<OVAdViewControllerProxy> OVAdViewInternal::viewControllerForPresentingModalView() {
  if (const auto target = delegate()) {
    if (const auto chosen = target->viewControllerForPresentingModalView()) {
      return OVAdViewControllerProxy::proxyWithViewController(chosen);
    }
  }
  return OVAdViewControllerProxy::proxyWithViewController(presenter());
}

std::optional<platform::Value> OVAdViewInternal::commandProcessorTouchInformation(OVAdCommandProcessor& /*processor*/) {
  if (!adContentContainer_) {
    return std::nullopt;
  }
  if (auto record = OVAdContentContainerTouchRecord(*adContentContainer_)) {
    return platform::Value(std::move(*record));
  }
  return std::nullopt;
}

}  // namespace plexora
