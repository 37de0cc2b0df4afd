#include "util/OVAdKVOController.h"

#include <algorithm>
#include <cstdio>

namespace plexora {

namespace {

constexpr const char* kOptionNames[] = {"NSKeyValueObservingOptionNew", "NSKeyValueObservingOptionOld",
                                        "NSKeyValueObservingOptionInitial", "NSKeyValueObservingOptionPrior"};

std::string format(const char* pattern, const void* pointer) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, pointer);
  return buffer;
}

// The one observer that observed objects see: it finds the observation a
// change belongs to by its context and calls that observation's observer.
class OVAdKVOSharedController final : public OVAdKeyValueObserver,
                                      public std::enable_shared_from_this<OVAdKVOSharedController> {
 public:
  // Lives for the process.
  static const std::shared_ptr<OVAdKVOSharedController>& sharedController() {
    static const auto* const shared = new std::shared_ptr<OVAdKVOSharedController>(new OVAdKVOSharedController());
    return *shared;
  }

  void observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::shared_ptr<OVAdKVOInfo>& info) {
    {
      std::lock_guard lock(mutex_);
      infos_[info.get()] = info;
    }
    object->addObserver(shared_from_this(), info->keyPath, info->options, info.get());
    uint8_t expected = OVAdKVOInfo::kInitial;
    if (!info->state.compare_exchange_strong(expected, OVAdKVOInfo::kObserving) &&
        expected == OVAdKVOInfo::kNotObserving) {
      // Unobserved while it was being registered.
      object->removeObserver(this, info->keyPath, info.get());
    }
  }

  // `object` is null when it is already gone, and its registrations with it.
  void unobserve(const std::shared_ptr<OVAdKeyValueObservable>& object,
                 const std::vector<std::shared_ptr<OVAdKVOInfo>>& infos) {
    if (infos.empty()) return;
    {
      std::lock_guard lock(mutex_);
      for (const auto& info : infos) infos_.erase(info.get());
    }
    for (const auto& info : infos) {
      if (info->state.exchange(OVAdKVOInfo::kNotObserving) == OVAdKVOInfo::kObserving && object) {
        object->removeObserver(this, info->keyPath, info.get());
      }
    }
  }

  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable* object,
                              const platform::Dictionary& change, void* context) override {
    std::shared_ptr<OVAdKVOInfo> info;
    {
      std::lock_guard lock(mutex_);
      const auto found = infos_.find(static_cast<const OVAdKVOInfo*>(context));
      if (found != infos_.end()) info = found->second.lock();
    }
    if (!info) return;
    const auto controller = info->controller.lock();
    const auto observer = controller ? controller->observer() : nullptr;
    if (!observer) return;
    if (info->block) {
      platform::Dictionary withKeyPath{{kOVAdKVONotificationKeyPathKey, keyPath}};
      for (const auto& [key, value] : change) withKeyPath.set(key, value);
      info->block(observer, object, withKeyPath);
    } else if (info->action) {
      info->action->send(*observer, change, object);
    } else {
      observer->observeValueForKeyPath(keyPath, object, change, info->context);
    }
  }

 private:
  OVAdKVOSharedController() = default;

  std::mutex mutex_;
  // The registered observations, held weakly and found by identity.
  std::map<const OVAdKVOInfo*, std::weak_ptr<OVAdKVOInfo>> infos_;
};

}  // namespace

std::string OVAdKVOOptionDescription(uint64_t options) {
  std::string names;
  for (size_t bit = 0; bit < std::size(kOptionNames); ++bit) {
    if ((options & (uint64_t{1} << bit)) == 0) continue;
    if (!names.empty()) names += "|";
    names += kOptionNames[bit];
  }
  return names;
}

OVAdKVOInfo::OVAdKVOInfo(std::weak_ptr<OVAdKVOController> controller, std::string keyPath, uint64_t options,
                         OVAdKVOBlock block, std::optional<OVAdKVOAction> action, void* context)
    : controller(std::move(controller)),
      keyPath(std::move(keyPath)),
      options(options),
      block(std::move(block)),
      action(std::move(action)),
      context(context) {}

OVAdKVOInfo::OVAdKVOInfo(std::weak_ptr<OVAdKVOController> controller, std::string keyPath)
    : OVAdKVOInfo(std::move(controller), std::move(keyPath), 0, nullptr, std::nullopt, nullptr) {}

std::string OVAdKVOInfo::debugDescription() const {
  std::string text = format("<OVAdKVOInfo:%p", this) + " keyPath:" + keyPath;
  text += " options:" + OVAdKVOOptionDescription(options);
  if (action) text += " action:" + action->name;
  if (context != nullptr) text += format(" context:%p", context);
  if (block) text += format(" block:%p", &block);
  return text + ">";
}

std::shared_ptr<OVAdKVOController> OVAdKVOController::controllerWithObserver(
    const std::shared_ptr<OVAdKeyValueObserver>& observer) {
  return initWithObserver(observer, true);
}

std::shared_ptr<OVAdKVOController> OVAdKVOController::initWithObserver(
    const std::shared_ptr<OVAdKeyValueObserver>& observer, bool retainObserved) {
  return std::shared_ptr<OVAdKVOController>(new OVAdKVOController(observer, retainObserved));
}

OVAdKVOController::~OVAdKVOController() { unobserveAll(); }

std::string OVAdKVOController::debugDescription() const {
  std::string text =
      format("<OVAdKVOController:%p", this) + format(" observer:<OVAdKeyValueObserver:%p>", observer_.lock().get());
  std::lock_guard lock(mutex_);
  if (!objectInfosMap_.empty()) text += "\n  ";
  for (const auto& [object, observed] : objectInfosMap_) {
    text += format("<OVAdKeyValueObservable:%p> -> (", object);
    for (size_t index = 0; index < observed.infos.size(); ++index) {
      if (index > 0) text += ", ";
      text += observed.infos[index]->debugDescription();
    }
    text += ")";
  }
  return text + ">";
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath,
                                uint64_t options, OVAdKVOBlock block) {
  if (!object || keyPath.empty() || !block) return;
  observeWithInfo(object, std::make_shared<OVAdKVOInfo>(weak_from_this(), keyPath, options, std::move(block),
                                                        std::nullopt, nullptr));
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath,
                                uint64_t options, OVAdKVOAction action) {
  if (!object || keyPath.empty() || !action.send) return;
  observeWithInfo(
      object, std::make_shared<OVAdKVOInfo>(weak_from_this(), keyPath, options, nullptr, std::move(action), nullptr));
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object, const std::string& keyPath,
                                uint64_t options, void* context) {
  if (!object || keyPath.empty()) return;
  observeWithInfo(object,
                  std::make_shared<OVAdKVOInfo>(weak_from_this(), keyPath, options, nullptr, std::nullopt, context));
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object,
                                const std::vector<std::string>& keyPaths, uint64_t options, const OVAdKVOBlock& block) {
  for (const auto& keyPath : keyPaths) observe(object, keyPath, options, block);
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object,
                                const std::vector<std::string>& keyPaths, uint64_t options,
                                const OVAdKVOAction& action) {
  for (const auto& keyPath : keyPaths) observe(object, keyPath, options, action);
}

void OVAdKVOController::observe(const std::shared_ptr<OVAdKeyValueObservable>& object,
                                const std::vector<std::string>& keyPaths, uint64_t options, void* context) {
  for (const auto& keyPath : keyPaths) observe(object, keyPath, options, context);
}

void OVAdKVOController::observeWithInfo(const std::shared_ptr<OVAdKeyValueObservable>& object,
                                        std::shared_ptr<OVAdKVOInfo> info) {
  {
    std::lock_guard lock(mutex_);
    ObservedObject& observed = objectInfosMap_[object.get()];
    const bool known = std::any_of(observed.infos.begin(), observed.infos.end(),
                                   [&](const std::shared_ptr<OVAdKVOInfo>& entry) { return *entry == *info; });
    if (known) return;
    if (retainObserved_) {
      observed.strong = object;
    } else {
      observed.weak = object;
    }
    observed.infos.push_back(info);
  }
  OVAdKVOSharedController::sharedController()->observe(object, info);
}

void OVAdKVOController::unobserve(const OVAdKeyValueObservable* object, const std::string& keyPath) {
  std::shared_ptr<OVAdKeyValueObservable> target;
  std::shared_ptr<OVAdKVOInfo> registered;
  {
    std::lock_guard lock(mutex_);
    const auto found = objectInfosMap_.find(object);
    if (found == objectInfosMap_.end()) return;
    auto& infos = found->second.infos;
    const auto info = std::find_if(infos.begin(), infos.end(), [&](const std::shared_ptr<OVAdKVOInfo>& entry) {
      return entry->keyPath == keyPath;
    });
    if (info == infos.end()) return;
    registered = *info;
    infos.erase(info);
    target = found->second.strong ? found->second.strong : found->second.weak.lock();
    if (infos.empty()) objectInfosMap_.erase(found);
  }
  OVAdKVOSharedController::sharedController()->unobserve(target, {registered});
}

void OVAdKVOController::unobserve(const OVAdKeyValueObservable* object) {
  ObservedObject observed;
  {
    std::lock_guard lock(mutex_);
    const auto found = objectInfosMap_.find(object);
    if (found == objectInfosMap_.end()) return;
    observed = std::move(found->second);
    objectInfosMap_.erase(found);
  }
  OVAdKVOSharedController::sharedController()->unobserve(observed.strong ? observed.strong : observed.weak.lock(),
                                                         observed.infos);
}

void OVAdKVOController::unobserveAll() {
  std::map<const OVAdKeyValueObservable*, ObservedObject> observed;
  {
    std::lock_guard lock(mutex_);
    observed.swap(objectInfosMap_);
  }
  for (auto& [object, entry] : observed) {
    OVAdKVOSharedController::sharedController()->unobserve(entry.strong ? entry.strong : entry.weak.lock(),
                                                           entry.infos);
  }
}

}  // namespace plexora
