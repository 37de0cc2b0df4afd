// The library's view-controller proxy: it holds the host's controller and,
// optionally, a view weakly, and on every resolution checks the controller
// it holds. A controller that is gone, or that already presents another
// one, is replaced by the application's top view controller, else by the
// controller that owns the held view; the replacement is then held (weakly)
// in its place.
//
// Every proxy is made by this class unless another maker is installed.
//
// Thread safety: main thread only.
// Ownership: holds its controller and view weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "internal/browser/OVAdViewControllerProxy.h"

namespace plexora {

class OVAdWeakViewControllerProxy final : public OVAdViewControllerProxy {
 public:
  // What a check found in the held controller.
  enum class State : std::int64_t {
    Unknown = 0,
    Missing = 1,
    Presenting = 2,
    OK = std::numeric_limits<std::int64_t>::max(),
  };
  using Condition = std::function<State(const std::shared_ptr<platform::ViewController>& viewController)>;

  OVAdWeakViewControllerProxy(const std::shared_ptr<platform::ViewController>& viewController,
                              const std::shared_ptr<platform::View>& view);

  // Runs the missing check, then the presenting check, and answers the
  // controller held afterwards.
  std::shared_ptr<platform::ViewController> currentViewController() override;

  std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
  std::shared_ptr<platform::View> view() const { return view_.lock(); }

  // "Unknown", "Missing", "Presenting", "OK"; "" for any other code.
  static std::string nameOfState(State state);

 private:
  // Keeps the held controller when the condition finds it OK, else holds
  // the top view controller or the held view's controller instead.
  void checkAndUpdateCurrentViewControllerWithCondition(const Condition& condition);

  std::weak_ptr<platform::ViewController> viewController_;
  std::weak_ptr<platform::View> view_;
};

}  // namespace plexora
