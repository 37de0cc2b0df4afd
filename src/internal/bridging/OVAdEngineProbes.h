// Probes for the game engines a host application may be built with, whose
// answers the ad request reports.
//
// A class is looked up by its name at run time: a view is of the named
// class when its dynamic type's name (without namespaces) is that name, so
// an application without such a class never matches.
//
// Thread safety: main thread only (the probes walk view controllers and
// views).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plexora::platform {
class View;
class ViewController;
}  // namespace plexora::platform

namespace plexora {

// What the Cocos2d probe answers when it finds the engine's view.
inline constexpr std::int64_t kOVAdCocos2dDetected = 2;

using OVAdViewClass = std::function<bool(const platform::View& view)>;

// The view class named `className`.
OVAdViewClass OVAdViewClassNamed(std::string className);

// The first view of the class in the view's tree: the view itself, then
// depth first through the subviews in order. None without a match.
std::shared_ptr<platform::View> OVAdFindSubviewOfClass(const std::shared_ptr<platform::View>& view,
                                                       const OVAdViewClass& viewClass);

// kOVAdCocos2dDetected when the top view controller's view holds the
// engine's view (then stored in `viewController` when given); else 0, with
// a line at level 2 when there was a top view controller to search.
std::int64_t OVAdDetectCocos2d(std::shared_ptr<platform::ViewController>* viewController = nullptr);

// The engine's view controller: the probe never finds one.
std::shared_ptr<platform::ViewController> OVAdDetectUnity();

}  // namespace plexora
