// A process-wide function that another part of the library installs: how
// objects of an interface are made, or how a class-only service does its
// work, when the code that implements it is kept apart from the code that
// calls it. Tests install functions that answer doubles.
//
// Until a function is installed, a call does nothing and answers the empty
// result (null for a pointer).
//
// Thread safety: calls and installs may come from any thread; a call runs
// the function that was installed when it started, outside the lock.
// Ownership: the object keeps a copy of the installed function.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace plexora {

template <typename Signature>
class OVAdInstalledFunction;
template <typename Signature>
class OVAdScopedInstall;

template <typename Result, typename... Arguments>
class OVAdInstalledFunction<Result(Arguments...)> final {
 public:
  using Function = std::function<Result(Arguments...)>;
  using Scope = OVAdScopedInstall<Result(Arguments...)>;

  OVAdInstalledFunction() = default;
  OVAdInstalledFunction(const OVAdInstalledFunction&) = delete;
  OVAdInstalledFunction& operator=(const OVAdInstalledFunction&) = delete;

  Result operator()(Arguments... arguments) const {
    Function function = installed();
    if (!function) {
      return Result();
    }
    return function(std::forward<Arguments>(arguments)...);
  }

  // Installs `function` (an empty one uninstalls) and answers the function
  // it replaces.
  Function install(Function function) {
    std::lock_guard lock(mutex_);
    std::swap(function_, function);
    return function;
  }

  bool isInstalled() const { return static_cast<bool>(installed()); }

 private:
  Function installed() const {
    std::lock_guard lock(mutex_);
    return function_;
  }

  mutable std::mutex mutex_;
  Function function_;
};

// Installs a function for the life of the scope, then puts back the one it
// replaced.
template <typename Signature>
class OVAdScopedInstall final {
 public:
  OVAdScopedInstall(OVAdInstalledFunction<Signature>& target,
                    typename OVAdInstalledFunction<Signature>::Function function)
      : target_(target), previous_(target.install(std::move(function))) {}
  ~OVAdScopedInstall() { target_.install(std::move(previous_)); }
  OVAdScopedInstall(const OVAdScopedInstall&) = delete;
  OVAdScopedInstall& operator=(const OVAdScopedInstall&) = delete;

 private:
  OVAdInstalledFunction<Signature>& target_;
  typename OVAdInstalledFunction<Signature>::Function previous_;
};

}  // namespace plexora
