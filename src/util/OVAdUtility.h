// Process-wide helpers shared by the whole library: the wire encoding of
// parameters (query strings and form bodies), conversion between values and
// JSON text or property-list data that never throws, and small conversions.
//
// Thread safety: every member may be called from any thread unless its
// comment says otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"
#include "plexora/Version.h"
#include "util/OVAdDictionary.h"

namespace plexora::platform {
class DispatchQueue;
class Image;
class Responder;
class View;
class ViewController;
class Window;
struct URLRequest;
}  // namespace plexora::platform

namespace plexora {

class QNVAssetForCache;

// A colour with components from 0.0 to 1.0.
struct OVAdColor {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 0.0;

  bool operator==(const OVAdColor&) const = default;
};

// The colour of a 0xAARRGGBB integer.
OVAdColor colorWithInteger(std::uint32_t argb);

// Percent-encoding of every UTF-8 byte except A-Z, a-z, 0-9, "-", ".", "_"
// and "~"; a space becomes "+".
std::string ov_URLEncodedString(std::string_view text);

// Total bytes that the regular files below `directory` occupy on disk (the
// whole tree, hidden entries included); 0 for an empty directory. None when
// any entry cannot be read: `error` (when given) then names it.
std::optional<std::uint64_t> ov_getSizeOfDirectory(const std::string& directory,
                                                   platform::FileError* error = nullptr);

// A curl command line that repeats the request, for diagnostics only.
std::string ov_CURLCommand(const platform::URLRequest& request);

// The orientation the server asks an ad to be shown in.
using OVAdServerOrientation = std::int64_t;
inline constexpr OVAdServerOrientation kOVAdServerOrientationAny = 0;
inline constexpr OVAdServerOrientation kOVAdServerOrientationPortrait = 1;
inline constexpr OVAdServerOrientation kOVAdServerOrientationLandscape = 2;

// The library's version string, as its user agent reports it.
inline constexpr const char* kOVAdLibraryVersion = kPlexoraVersion;

// What the library's user agent says besides the web view's own agent. A
// missing entry is written "(null)".
struct OVAdUserAgentFacts {
  std::optional<std::string> machine;
  std::optional<std::string> model;
  std::string systemName;
  std::string systemVersion;
  std::string locale;
  std::string libraryVersion;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> bundleShortVersion;
  std::optional<std::string> bundleVersion;
};

class OVAdUtility final {
 public:
  OVAdUtility() = delete;

  // ---- Query strings and form bodies ----

  // The URL's query parsed by parseQuery; empty for a URL without a query.
  static platform::Value parseQueryString(const platform::URL& url);
  // A dictionary of the "key=value" pairs of `query`. Keys are kept as
  // written; values have "+" turned into spaces and percent-escapes decoded.
  // A pair without exactly one "=", or whose value does not decode to UTF-8,
  // is skipped.
  static platform::Value parseQuery(std::string_view query);
  // "key=value" with both sides URL-encoded; a value without text (null,
  // data, arrays) is written as the unencoded "(null)".
  static std::string createQueryParameterFromKey(std::string_view key, const platform::Value& object);
  // The pairs of a parameter dictionary joined by "&", in the dictionary's
  // order. An array value gives one "key[]" pair per element; a dictionary
  // value travels as its JSON text. "" for no dictionary.
  static std::string createQueryStringFromParameters(const platform::Value& parameters);

  // ---- JSON and property lists; none on failure, never throws ----

  static std::optional<platform::Value> getObjectFromJSONString(std::string_view json);
  static std::optional<std::string> getJSONStringFromObject(const platform::Value& object);
  static std::optional<platform::Value> getObjectFromPropertyList(platform::ByteView data);
  // Binary property list, format 1.0.
  static std::optional<platform::Bytes> getPropertyListFromObject(const platform::Value& object);

  // ---- Conversions ----

  // The value as the wanted class: a number as its text, a text as its
  // number, a dictionary wanted as text as its JSON text ("" when it has
  // none), a value already of the class as it is; none otherwise.
  static std::optional<platform::Value> attemptRecoveryOfObject(const platform::Value& object,
                                                                OVAdValueClass valueClass);
  // True for a value that is no string and for the empty string.
  static bool isStringEmpty(const platform::Value& value);

  // ---- Application life cycle (main thread) ----

  // Runs `backgroundBlock` on the main queue whenever the application enters
  // the background and `foregroundBlock` whenever it becomes active, through
  // the observer's own notification centre: the blocks stop with the
  // observer.
  static void startObservingBackgroundNotifications(const std::shared_ptr<const void>& observer,
                                                    std::function<void()> backgroundBlock,
                                                    std::function<void()> foregroundBlock);
  // Removes every observer registered through the observer's notification
  // centre, not only these two. Callable from the observer's destructor.
  static void stopObservingBackgroundNotifications(const void* observer);

  // ---- Misuse of the public interface ----

  // Reports the exception to the server as a client event, then throws it as
  // a platform::Exception.
  [[noreturn]] static void throwExceptionWithName(const std::string& name, const std::string& reason,
                                                  platform::Value userInfo = {});

  // ---- Messages for developers testing on a test device (any thread) ----

  // On a test device only: the message with " (displayed for test ads only)"
  // at log level 1 (displayDebugMessage) or 6 (displayVerboseDebugMessage).
  static void displayDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void displayVerboseDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

  // ---- User agent (any thread) ----

  // The text with every "/" and ";" replaced by "-".
  static std::string cleanUserAgentString(std::string_view text);
  // The device's locale identifier as it is now ("de_CH"), "en_US" when it
  // has none.
  static std::string currentLocale();

  // Answers the library's user agent, or none when the web view gave no
  // text. Known already, or readable from the started web engine: `block`
  // runs at once on the calling thread. Otherwise the first call of the process starts the one fetch from a
  // hidden web view on the main thread (a caller on another thread waits for
  // that start, so the main loop must run) and `block` later gets the answer
  // on the main thread. A call while the fetch runs, or after it failed, is
  // never answered: callers ask again later.
  using UserAgentBlock = std::function<void(const std::optional<std::string>& userAgent)>;
  static void currentUserAgentWithBlock(UserAgentBlock block);
  // The web view's raw agent followed by the bracketed facts of this device
  // and application; none for none.
  static std::optional<std::string> generateUserAgentStringFromRawString(
      const std::optional<std::string>& rawUserAgent);
  // The facts as they are now. The platform has no application bundle yet,
  // so the bundle entries stay none.
  static OVAdUserAgentFacts currentUserAgentFacts();
  // "RAW [OVPX/PlexoraForiOS;OVDV/machine;...;OVBV/bundle version]"; the
  // device entries and the locale cleaned by cleanUserAgentString.
  static std::string userAgentStringWithFacts(std::string_view rawUserAgent, const OVAdUserAgentFacts& facts);
  // Forgets the fetched agent and lets the next call fetch again. Tests
  // only, with no fetch running.
  static void resetUserAgentForTesting();

  // ---- Library start (main thread) ----

  // Creates the configuration manager, then the event manager, once per
  // process.
  static void initializePlexora();

  // ---- Ad sizes and orientation (main thread: the answers read the screen) ----

  // The template identifier a request names for an ad of this size: 4 for
  // 320x50, 5, 6 and 7 for the flexible-width 50, 90 and 250 heights; for
  // the interstitial size 103 on a pad, else 102 in a portrait-shaped screen
  // and 101 in a landscape one; 200 for anything else.
  static std::int64_t getTemplateID(OVAdSize adSize);
  static bool isAdSizeType(OVAdSize adSize, OVAdSize otherAdSize);
  // The size an ad view reports: a flexible ad takes the fitting width but
  // never less than 320; a fixed one its own width. The height is always the
  // ad size's.
  static platform::Size sizeThatFits(platform::Size fittingSize, bool isFlexibleAdSize, OVAdSize actualAdSize);
  // Portrait or landscape left for the server's codes, Unknown otherwise.
  static platform::InterfaceOrientation interfaceOrientationFromServerOrientation(
      OVAdServerOrientation serverOrientation);
  static bool interfaceOrientationMaskSupportsPortrait(platform::InterfaceOrientationMask mask);
  static bool interfaceOrientationMaskSupportsLandscape(platform::InterfaceOrientationMask mask);
  // Portrait or landscape when the mask allows only that one; Any when it
  // allows both or neither.
  static OVAdServerOrientation serverOrientationFromInterfaceOrientationMask(platform::InterfaceOrientationMask mask);

  // ---- Ad views and view controllers (main thread) ----

  // The orientations the window may take: the application delegate's
  // answer when it gives one, else the application's own declaration.
  static platform::InterfaceOrientationMask supportedInterfaceOrientationsForWindow(
      const std::shared_ptr<platform::Window>& window);
  // Marks the view as an ad view for as long as it lives.
  static void markView(const std::shared_ptr<platform::View>& view);
  static bool isViewMarked(const std::shared_ptr<platform::View>& view);
  // The marked view among the controller's view and its direct subviews
  // (the last one when several are); none otherwise. Loads the view.
  static std::shared_ptr<platform::View> findAdInViewController(
      const std::shared_ptr<platform::ViewController>& viewController);
  // An ad view of the top view controller, else of its children in order.
  static std::shared_ptr<platform::View> findAdOnScreen();
  using ViewBlock = std::function<void(const std::shared_ptr<platform::View>& view)>;
  // Calls the block with the view, then with each direct subview in order;
  // one level only.
  static void traverseView(const std::shared_ptr<platform::View>& view, const ViewBlock& block);
  // One process-wide controller that topViewController answers instead of
  // looking; none by default.
  static std::shared_ptr<platform::ViewController> topViewControllerOverride();
  static void setTopViewControllerOverride(std::shared_ptr<platform::ViewController> viewController);
  static std::shared_ptr<platform::ViewController> topViewController();
  // With a view: the first view controller on its responder chain, else
  // topViewController. Without one: the current window's root controller
  // followed up its chain of presented controllers to the last, else the
  // root controller of the application delegate's window.
  static std::shared_ptr<platform::ViewController> viewControllerFromView(const std::shared_ptr<platform::View>& view);
  // The responder itself when it is a view controller, else the first view
  // controller on its chain of next responders.
  static std::shared_ptr<platform::ViewController> traverseResponderChainForViewController(
      const std::shared_ptr<platform::Responder>& responder);
  // The key window when it is at the normal level, else the first window of
  // the application's list at that level.
  static std::shared_ptr<platform::Window> currentWindow();
  static void setApplicationStatusBarHidden(bool hidden);

  // ---- Images and video through the shared resource cache ----

  using ImageBlock = std::function<void(const std::shared_ptr<platform::Image>& image)>;
  // Images by their URL's text.
  using ImagesByURL = std::map<std::string, std::shared_ptr<platform::Image>>;
  using ImagesBlock = std::function<void(const ImagesByURL& images)>;
  using VideoBlock = std::function<void(const std::shared_ptr<QNVAssetForCache>& asset)>;

  // The cache's image for the URL, fetched when it does not hold it; the
  // block runs as the cache answers. `queue` and `retry` change nothing.
  static void loadRemoteImageWithURL(const std::optional<platform::URL>& url, ImageBlock block, bool retry = true);
  static void loadRemoteImageWithURL(const std::optional<platform::URL>& url, ImageBlock block,
                                     const std::shared_ptr<platform::DispatchQueue>& queue, bool retry);
  // Loads every image; once all have answered, the block gets those that
  // loaded, on the main queue. `retry` changes nothing.
  static void loadRemoteImagesWithURLs(const std::vector<platform::URL>& urls, ImagesBlock block, bool retry);
  static void loadRemoteVideoWithURL(const std::optional<platform::URL>& url, VideoBlock block);

  // ---- Animations, snapshots and blur (main thread) ----

  using Views = std::vector<std::shared_ptr<platform::View>>;
  using Animations = std::function<void()>;
  using AnimationCompletion = std::function<void(bool finished)>;
  using TransactionCompletion = std::function<void()>;
  static constexpr double kStandardAnimationDuration = 0.5;

  // Fades the views in (alpha 0 to 1) or out (1 to 0) with the standard
  // animations, running the custom animations in the same animation; the
  // completion gets the animation's finished flag.
  static void animateWithFadeIn(const Views& views, AnimationCompletion completion);
  static void animateWithFadeOut(const Views& views, AnimationCompletion completion);
  static void animateWithFadeIn(const Views& views, Animations customAnimations, AnimationCompletion completion);
  static void animateWithFadeOut(const Views& views, Animations customAnimations, AnimationCompletion completion);
  static void animateWithFade(bool fadeOut, const Views& views, Animations animations, AnimationCompletion completion);
  static void animateWithFadeIn(const Views& views, double duration, AnimationCompletion completion);
  static void animateWithFadeOut(const Views& views, double duration, AnimationCompletion completion);
  static void animateWithFadeIn(const Views& views, Animations customAnimations, double duration,
                                AnimationCompletion completion);
  static void animateWithFadeOut(const Views& views, Animations customAnimations, double duration,
                                 AnimationCompletion completion);
  static void animateWithFade(bool fadeOut, double duration, const Views& views, Animations animations,
                              AnimationCompletion completion);
  static void animateWithStandardAnimations(Animations animations, AnimationCompletion completion);
  static void animateWithStandardAnimations(Animations animations, double duration, AnimationCompletion completion);
  // Enabled: a view animation of `duration` that begins from the current
  // state and allows animated content. Not enabled: the animations run at
  // once, then the completion with true, before this returns.
  static void animateEnabled(bool enabled, Animations animations, double duration, AnimationCompletion completion);
  // Runs the (required) block as one animation transaction of `duration`
  // whose changes apply at once when not enabled; the completion runs when
  // the transaction has finished.
  static void animateEnabledWithTransactionBlock(bool enabled, const Animations& transactionBlock, double duration,
                                                 TransactionCompletion completion);

  // A picture of the rectangle of the view (in its bounds coordinates) and
  // its subviews, laid out, at the scale of the view's screen, opaque over
  // black. The block, when given, is called with the view before the
  // picture is taken. None for an empty rectangle.
  using SnapshotBlock = std::function<void(const std::shared_ptr<platform::View>& view)>;
  static std::shared_ptr<platform::Image> snapshotOfView(const std::shared_ptr<platform::View>& view,
                                                         const SnapshotBlock& block);
  static std::shared_ptr<platform::Image> snapshotOfView(const std::shared_ptr<platform::View>& view,
                                                         platform::Rect rect, const SnapshotBlock& block);

  // The image blurred with a radius of its width in points over 30.
  static std::shared_ptr<platform::Image> addGaussianBlurToImage(const std::shared_ptr<platform::Image>& image);
  // The image blurred with edges that keep their colour, cut back to the
  // image's own size; none for no image.
  static std::shared_ptr<platform::Image> blurImage(const std::shared_ptr<platform::Image>& image, double radius);
  // Each image's blur, taken from the shared resource cache or made on the
  // main queue and stored there; the block then gets them on the main queue.
  static void addGaussianBlurToImages(const ImagesByURL& images, ImagesBlock block);

  // ---- Touch targets (main thread) ----

  using WeakViews = std::vector<std::weak_ptr<platform::View>>;
  // The view, when it takes touches, and every view below it that does,
  // except inside views that play video or carousels (and, for the direct
  // subviews only, those `excluding` names).
  static WeakViews allInteractableTargets(const std::shared_ptr<platform::View>& view);
  static WeakViews allInteractableTargets(const std::shared_ptr<platform::View>& view, const Views& excluding);

  // ---- Tracker requests ----

  // sendRequestInternal without post data: always a GET.
  static void logTracker(const std::string& url, const platform::Value& extraData);
  // Fires the URL through the shared URL session: a POST with the extra data
  // and the post data (whose entries win) as a form body when the post data
  // is a non-empty dictionary, else a GET with the extra data in the query.
  // Nothing for an empty URL. The outcome is only logged.
  static void sendRequestInternal(const std::string& url, const platform::Value& extraData,
                                  const platform::Value& postData);
};

}  // namespace plexora
