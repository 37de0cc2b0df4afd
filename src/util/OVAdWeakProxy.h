// A stand-in that holds its target weakly, so that timers, display links and
// presenting controllers can call an object without keeping it alive. A call
// made once the target is gone is dropped: nothing runs, nothing fails.
//
// Thread safety: the target may be read and replaced from any thread; a call
// runs on the caller's thread and keeps the target alive for its duration.
// Ownership: the proxy never owns its target.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace plexora {

template <typename T>
class OVAdWeakProxy final {
 public:
  explicit OVAdWeakProxy(const std::shared_ptr<T>& object = nullptr) : object_(object) {}
  OVAdWeakProxy(const OVAdWeakProxy&) = delete;
  OVAdWeakProxy& operator=(const OVAdWeakProxy&) = delete;

  static std::shared_ptr<OVAdWeakProxy> proxyForObject(const std::shared_ptr<T>& object) {
    return std::make_shared<OVAdWeakProxy>(object);
  }

  std::shared_ptr<T> object() const {
    std::lock_guard lock(mutex_);
    return object_.lock();
  }

  void setObject(const std::shared_ptr<T>& object) {
    std::lock_guard lock(mutex_);
    object_ = object;
  }

  // Calls `call` with the target. Answers the call's result, or none when
  // the target is gone (nothing, for a call that answers nothing).
  template <typename Call>
  auto forward(Call&& call) const {
    using Result = std::invoke_result_t<Call, T&>;
    const std::shared_ptr<T> target = object();
    if constexpr (std::is_void_v<Result>) {
      if (target) {
        std::forward<Call>(call)(*target);
      }
    } else {
      return target ? std::optional<Result>(std::forward<Call>(call)(*target)) : std::optional<Result>();
    }
  }

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<T> object_;
};

}  // namespace plexora
