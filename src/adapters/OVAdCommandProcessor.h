// Runs the command links an ad fires: URLs of the scheme "ovad" whose host
// names the command and whose query holds its arguments. Every command is
// logged as an event against the ad's client token; "store" opens the
// advertised application (a deep link), else its store page, else a store
// or web URL outside the application; "open_link" opens the in-app browser
// or, for a link it cannot show, the link outside the application; "close"
// tells the owner to close the ad. The owner hears through the completion
// whether a command was a click or a close, and the time the user spent
// away from a store page or link is reported as a "bounceback" client
// event once the user is back.
//
// Thread safety: main thread only.
// Ownership: each ad view or full-screen internal owns one processor (made
// with create()); the processor holds its delegate weakly, the data model
// and completion of the command in progress strongly, and the store page
// it presents weakly (the presenter owns it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVStoreProductViewController.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"

namespace plexora {

class OVAdDataModel;
class OVAdEventManager;
class OVAdViewControllerProxy;
class OVAdCommandProcessor;
struct OVAdCommandLink;

// What a command meant to the ad's owner.
enum class OVAdCommand : std::int64_t { Click = 0, Close = 1 };
// What a command did.
enum class OVAdAction : std::int64_t { Store = 0, Link = 1, Close = 2, DeepLink = 3 };

inline constexpr const char* kOVAdCommandScheme = "ovad";
inline constexpr const char* kOVAdCommandStore = "store";
inline constexpr const char* kOVAdCommandOpenLink = "open_link";
inline constexpr const char* kOVAdCommandClose = "close";
inline constexpr const char* kOVAdCommandPassthrough = "passthrough";
inline constexpr const char* kOVAdCommandOffTargetClick = "off_target_click";
// The store page's parameter naming the advertised application.
inline constexpr const char* kOVAdStoreProductParameterItemIdentifier = "id";

// The ad view that owns a processor.
class OVAdCommandProcessorDelegate {
 public:
  virtual ~OVAdCommandProcessorDelegate() = default;

  // The user is back from what the last command opened. The base does
  // nothing.
  virtual void viewControllerDismissed(OVAdCommandProcessor& processor) {}
  // The touch dictionary of the click being processed (a dictionary), or
  // none. The base has none.
  virtual std::optional<platform::Value> commandProcessorTouchInformation(OVAdCommandProcessor& processor) {
    return std::nullopt;
  }
  // What store pages and the in-app browser are presented from.
  virtual std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() = 0;
};

class OVAdCommandProcessor final : public OVStoreProductViewControllerDelegate,
                                   public OVAdSafariViewControllerDelegate,
                                   public std::enable_shared_from_this<OVAdCommandProcessor> {
 public:
  // Called at most once per command: the command, the action taken and the
  // data model the command ran for.
  using CompletionHandler =
      std::function<void(OVAdCommand command, OVAdAction action, const std::shared_ptr<OVAdDataModel>& adDataModel)>;

  static std::shared_ptr<OVAdCommandProcessor> create();
  ~OVAdCommandProcessor() override;
  OVAdCommandProcessor(const OVAdCommandProcessor&) = delete;
  OVAdCommandProcessor& operator=(const OVAdCommandProcessor&) = delete;

  std::shared_ptr<OVAdCommandProcessorDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdCommandProcessorDelegate> delegate) { delegate_ = std::move(delegate); }
  // Where events are logged; the process's event manager unless set.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager) { eventManager_ = std::move(eventManager); }

  // Logs and runs the command link. `extraData` (a dictionary, or null for
  // none) goes into the event's data. True when the command was handled:
  // the caller then cancels the navigation that brought the link. A link
  // that is not an "ovad" link with a command is refused (logged, no
  // event, false).
  bool processCommand(const platform::URL& url, const platform::Value& extraData,
                      std::shared_ptr<OVAdDataModel> adDataModel, CompletionHandler completionHandler);
  bool processCommand(const platform::URL& url, std::shared_ptr<OVAdDataModel> adDataModel,
                      CompletionHandler completionHandler);

  // True for no model: an ad without data cannot run commands.
  static bool shouldInvalidate(const std::shared_ptr<OVAdDataModel>& adDataModel);
  // Adds the "bounceback" client event: the action and the milliseconds
  // since `startTime` (seconds since 1970). Nothing without a start time.
  static void sendBouncebackInfo(std::optional<double> startTime, OVAdAction action,
                                 const std::optional<std::string>& requestId);

  // ---- Reports from what a command opened ----

  void productViewControllerDidFinish(const std::shared_ptr<OVStoreProductViewController>& controller) override;
  void viewControllerCompleted(const std::shared_ptr<platform::ViewController>& viewController) override;
  void viewControllerDismissed(const std::shared_ptr<platform::ViewController>& viewController) override;

  // The store page being shown, if any.
  std::shared_ptr<OVStoreProductViewController> productViewController() const { return productViewController_.lock(); }

 private:
  OVAdCommandProcessor() = default;

  bool launchAppForEngagement(const platform::Value& arguments);
  bool preloadProductViewControllerIfAvailable(const platform::Value& arguments);
  bool openLinkInApp(const platform::Value& arguments);
  bool launchURLOutOfApp(const std::optional<std::string>& link, OVAdAction action);
  void callCompletionHandlerForCommand(OVAdCommand command, OVAdAction action);
  void doneCommandProcessing();
  bool isValidViewController(const std::shared_ptr<platform::ViewController>& viewController) const;
  void logCommand(const OVAdCommandLink& link, const platform::Value& extraData);
  // False when no store page can be made or presented.
  bool presentStorePage(const std::shared_ptr<platform::ViewController>& presenter, platform::Dictionary parameters,
                        const std::string& storeId, const std::optional<std::string>& fallbackURL);

  std::weak_ptr<OVAdCommandProcessorDelegate> delegate_;
  std::shared_ptr<OVAdEventManager> eventManager_;
  std::shared_ptr<OVAdDataModel> adDataModel_;
  CompletionHandler completionHandler_;
  // Seconds since 1970.
  std::optional<double> lastActionStartTime_;
  std::optional<OVAdAction> lastAdAction_;
  std::weak_ptr<OVStoreProductViewController> productViewController_;
};

}  // namespace plexora
