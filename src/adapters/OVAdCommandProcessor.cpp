#include "adapters/OVAdCommandProcessor.h"

#include <cctype>
#include <utility>

#include "adapters/OVAdCommandLink.h"
#include "adapters/OVAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "tracking/OVAdClientEventManager.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdDeviceState.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kInvalidPresenterMessage =
    "The UIViewController passed in is not valid to present modal view. Please make sure your UIViewController's "
    "view is in the window hierarchy and provide the correct one at initialization, and in the delegate function "
    "viewControllerForPresentingModalView if implemented.";
constexpr const char* kBouncebackEventName = "bounceback";
constexpr const char* kBouncebackActionKey = "AdAction";
constexpr const char* kBouncebackTimeKey = "Time";

std::string lowercased(std::string text) {
  for (char& character : text) {
    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  }
  return text;
}

}  // namespace

std::shared_ptr<OVAdCommandProcessor> OVAdCommandProcessor::create() {
  return std::shared_ptr<OVAdCommandProcessor>(new OVAdCommandProcessor());
}

OVAdCommandProcessor::~OVAdCommandProcessor() {
  // A store page still on screen would outlive the ad it belongs to.
  if (auto store = productViewController_.lock()) {
    store->setDelegate({});
    store->dismiss(true);
  }
}

bool OVAdCommandProcessor::processCommand(const platform::URL& url, std::shared_ptr<OVAdDataModel> adDataModel,
                                          CompletionHandler completionHandler) {
  return processCommand(url, platform::Value(), std::move(adDataModel), std::move(completionHandler));
}

bool OVAdCommandProcessor::processCommand(const platform::URL& url, const platform::Value& extraData,
                                          std::shared_ptr<OVAdDataModel> adDataModel,
                                          CompletionHandler completionHandler) {
  const std::optional<OVAdCommandLink> link = OVAdCommandLink::parse(url);
  if (!link) {
    return false;
  }
  adDataModel_ = std::move(adDataModel);
  completionHandler_ = std::move(completionHandler);

  logCommand(*link, extraData);

  if (link->command == kOVAdCommandStore) {
    return launchAppForEngagement(link->arguments) || preloadProductViewControllerIfAvailable(link->arguments);
  }
  if (link->command == kOVAdCommandOpenLink) {
    return openLinkInApp(link->arguments);
  }
  if (link->command == kOVAdCommandClose) {
    callCompletionHandlerForCommand(OVAdCommand::Close, OVAdAction::Close);
    return true;
  }
  return false;
}

void OVAdCommandProcessor::logCommand(const OVAdCommandLink& link, const platform::Value& extraData) {
  platform::Dictionary eventData = extraData.isDictionary() ? extraData.asDictionary() : platform::Dictionary{};
  if (!eventData.contains(kOVAdCommandEventAnalogKey)) {
    eventData.set(kOVAdCommandEventAnalogKey, OVAdDeviceStateJSON().value_or(""));
  }
  if (!eventData.contains(kOVAdCommandEventTouchKey)) {
    platform::Value touch = platform::Dictionary{};
    if (auto owner = delegate()) {
      if (auto information = owner->commandProcessorTouchInformation(*this); information && information->isDictionary()) {
        touch = std::move(*information);
      }
    }
    eventData.set(kOVAdCommandEventTouchKey, OVAdUtility::getJSONStringFromObject(touch).value_or(""));
  }

  std::optional<OVAdCommandEvent> event = OVAdCommandEventForLink(link, std::move(eventData));
  if (!event) {
    return;
  }
  const std::optional<std::string> token = adDataModel_ ? adDataModel_->inlineClientToken() : std::nullopt;
  if (!token || token->empty()) {
    OV_LOG(kOVAdLogLevelError, "Command %s of an ad without a client token is not logged", link.command.c_str());
    return;
  }
  auto manager = eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
  manager->logEventOfType(std::move(event->type), event->priority, *token, std::move(event->data));
}

bool OVAdCommandProcessor::launchAppForEngagement(const platform::Value& arguments) {
  const std::optional<std::string> appsiteData = stringForKeyOrNil(arguments, "appsite_data");
  if (!appsiteData) {
    return false;
  }
  const std::optional<std::string> decoded = platform::percentDecode(*appsiteData);
  if (!decoded) {
    OV_LOG(kOVAdLogLevelError, "Store command: appsite_data does not decode");
    return false;
  }
  const std::optional<platform::Value> links = OVAdUtility::getObjectFromJSONString(*decoded);
  if (!links || !links->isArray() || links->asArray().empty()) {
    return false;
  }
  for (const platform::Value& element : links->asArray()) {
    // Anything but a text cannot name an application to open.
    if (!element.isString()) {
      OV_LOG(kOVAdLogLevelError, "Store command: an appsite_data entry that is not a text is skipped");
      continue;
    }
    if (launchURLOutOfApp(element.asString(), OVAdAction::DeepLink)) {
      return true;
    }
  }
  return false;
}

bool OVAdCommandProcessor::preloadProductViewControllerIfAvailable(const platform::Value& arguments) {
  // A text that does not decode names nothing to open.
  const auto decodedArgument = [&arguments](const char* key) -> std::optional<std::string> {
    const std::optional<std::string> text = stringForKeyOrNil(arguments, key);
    if (!text) {
      return std::nullopt;
    }
    std::optional<std::string> decoded = platform::percentDecode(*text);
    if (!decoded) {
      OV_LOG(kOVAdLogLevelError, "Store command: %s does not decode", key);
    }
    return decoded;
  };
  const std::optional<std::string> storeId = stringForKeyOrNil(arguments, "store_id");
  const std::optional<std::string> storeURL = decodedArgument("store_url");
  const std::optional<std::string> fallbackURL = decodedArgument("store_url_web_fallback");
  auto configuration = OVAdConfigManager::sharedManager();

  if (storeId && !storeId->empty() && !configuration->isInAppAppStoreDisabled()) {
    auto owner = delegate();
    auto proxy = owner ? owner->viewControllerForPresentingModalView() : nullptr;
    auto presenter = proxy ? proxy->currentViewController() : nullptr;
    if (isValidViewController(presenter)) {
      platform::Dictionary parameters{{kOVAdStoreProductParameterItemIdentifier, *storeId}};
      if (auto affiliate = stringForKeyOrNil(arguments, "store_affiliate_token")) {
        parameters.set("at", *affiliate);
      }
      if (auto campaign = stringForKeyOrNil(arguments, "store_campaign_token")) {
        parameters.set("ct", *campaign);
      }
      if (presentStorePage(presenter, std::move(parameters), *storeId, fallbackURL)) {
        return true;
      }
    }
  }
  if (storeURL && configuration->useStoreURL() && launchURLOutOfApp(storeURL, OVAdAction::Store)) {
    return true;
  }
  return launchURLOutOfApp(fallbackURL, OVAdAction::Store);
}

bool OVAdCommandProcessor::presentStorePage(const std::shared_ptr<platform::ViewController>& presenter,
                                            platform::Dictionary parameters, const std::string& storeId,
                                            const std::optional<std::string>& fallbackURL) {
  std::shared_ptr<OVStoreProductViewController> store = OVStoreProductViewController::create();
  if (!store) {
    return false;
  }
  store->setDelegate(weak_from_this());
  productViewController_ = store;
  callCompletionHandlerForCommand(OVAdCommand::Click, OVAdAction::Store);

  // The page loads while it is being presented; whichever of the two ends
  // second settles a failed load, so the page never stays up empty.
  struct Race {
    bool presented = false;
    bool failed = false;
  };
  auto race = std::make_shared<Race>();
  std::weak_ptr<OVStoreProductViewController> weakStore = store;
  const bool presenting = presenter->present(store, true, [weakStore, race] {
    race->presented = true;
    if (race->failed) {
      platform::DispatchQueue::main()->async([weakStore] {
        if (auto page = weakStore.lock()) page->dismiss(true);
      });
    }
  });
  if (!presenting) {
    // A page nobody will see must not count as the store opened: the links
    // outside the application take over.
    OV_LOG(kOVAdLogLevelError, "The store page could not be presented");
    store->setDelegate({});
    productViewController_.reset();
    return false;
  }
  std::weak_ptr<OVAdCommandProcessor> weakSelf = weak_from_this();
  store->reliablyLoadProductWithParameters(
      platform::Value(std::move(parameters)),
      [weakSelf, weakStore, race, storeId, fallbackURL](bool loaded, const std::optional<platform::Error>&) {
        if (loaded) {
          return;
        }
        race->failed = true;
        if (auto page = weakStore.lock(); page && race->presented) {
          page->dismiss(true);
        }
        auto self = weakSelf.lock();
        if (!self) {
          return;
        }
        if (!self->launchURLOutOfApp(fallbackURL, OVAdAction::Store)) {
          OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithFormat(
              "Unable to launch app store page %s %s", storeId.c_str(), fallbackURL.value_or("").c_str()));
        }
      });
  return true;
}

bool OVAdCommandProcessor::openLinkInApp(const platform::Value& arguments) {
  const std::optional<std::string> link = stringForKeyOrNil(arguments, "link");
  if (!link) {
    return false;
  }
  auto owner = delegate();
  auto proxy = owner ? owner->viewControllerForPresentingModalView() : nullptr;
  const std::optional<platform::URL> url = platform::URL::parse(*link);
  if (url && proxy) {
    const std::string scheme = lowercased(url->scheme());
    if ((scheme == "http" || scheme == "https") && isValidViewController(proxy->currentViewController())) {
      const std::optional<std::string> token = adDataModel_ ? adDataModel_->inlineClientToken() : std::nullopt;
      OVAdSafariViewController::presentSafariViewControllerWithURL(*url, proxy, token.value_or(""),
                                                                   OVAdSafariViewController::currentTimeMs(),
                                                                   weak_from_this());
      return true;
    }
  }
  return launchURLOutOfApp(link, OVAdAction::Link);
}

bool OVAdCommandProcessor::launchURLOutOfApp(const std::optional<std::string>& link, OVAdAction action) {
  if (!link) {
    return false;
  }
  const std::optional<platform::URL> url = platform::URL::parse(*link);
  if (!url) {
    OV_LOG(kOVAdLogLevelError, "Cannot open %s: not a URL", link->c_str());
    return false;
  }
  callCompletionHandlerForCommand(OVAdCommand::Click, action);
  const bool opened = platform::Application::shared()->openURL(*url);
  doneCommandProcessing();
  return opened;
}

void OVAdCommandProcessor::callCompletionHandlerForCommand(OVAdCommand command, OVAdAction action) {
  if (CompletionHandler completion = std::exchange(completionHandler_, nullptr)) {
    completion(command, action, adDataModel_);
  }
  lastActionStartTime_ = platform::Clock::current()->wallTime();
  lastAdAction_ = action;
}

void OVAdCommandProcessor::doneCommandProcessing() {
  if (auto owner = delegate()) {
    owner->viewControllerDismissed(*this);
  }
  if (lastActionStartTime_) {
    if (lastAdAction_ == OVAdAction::Store || lastAdAction_ == OVAdAction::Link) {
      sendBouncebackInfo(lastActionStartTime_, *lastAdAction_, adDataModel_ ? adDataModel_->requestId() : std::nullopt);
    }
    lastActionStartTime_.reset();
  }
}

bool OVAdCommandProcessor::isValidViewController(const std::shared_ptr<platform::ViewController>& viewController) const {
  auto view = viewController ? viewController->viewIfLoaded() : nullptr;
  if (view && view->window()) {
    return true;
  }
  OV_LOG(kOVAdLogLevelError, "%s", kInvalidPresenterMessage);
  return false;
}

bool OVAdCommandProcessor::shouldInvalidate(const std::shared_ptr<OVAdDataModel>& adDataModel) {
  return adDataModel == nullptr;
}

void OVAdCommandProcessor::sendBouncebackInfo(std::optional<double> startTime, OVAdAction action,
                                              const std::optional<std::string>& requestId) {
  if (!startTime) {
    return;
  }
  const double elapsedMs = (platform::Clock::current()->wallTime() - *startTime) * 1000.0;
  platform::Dictionary data{
      {kBouncebackActionKey, platform::numberText(static_cast<std::int64_t>(action))},
      {kBouncebackTimeKey, platform::numberText(elapsedMs)},
  };
  OVAdClientEventManager::addClientEvent(
      OVAdClientEventManager::createEventName(kBouncebackEventName, platform::Value(std::move(data)), requestId));
}

void OVAdCommandProcessor::productViewControllerDidFinish(
    const std::shared_ptr<OVStoreProductViewController>& controller) {
  if (!controller) {
    return;
  }
  controller->setDelegate({});
  std::weak_ptr<OVAdCommandProcessor> weakSelf = weak_from_this();
  const bool dismissing = controller->dismiss(true, [weakSelf] {
    if (auto self = weakSelf.lock()) self->doneCommandProcessing();
  });
  if (!dismissing) {
    doneCommandProcessing();
  }
}

void OVAdCommandProcessor::viewControllerCompleted(const std::shared_ptr<platform::ViewController>&) {
  callCompletionHandlerForCommand(OVAdCommand::Click, OVAdAction::Link);
}

void OVAdCommandProcessor::viewControllerDismissed(const std::shared_ptr<platform::ViewController>&) {
  doneCommandProcessing();
}

}  // namespace plexora
