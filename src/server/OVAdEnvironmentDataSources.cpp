#include "server/OVAdEnvironmentDataSources.h"

#include <memory>
#include <mutex>
#include <utility>

#include "adapters/OVAdAdapterManager.h"
#include "tracking/OVAdEventManager.h"

namespace plexora {
namespace {

std::mutex& sourcesMutex() {
  static std::mutex mutex;
  return mutex;
}

OVAdEnvironmentData::SessionSource& installedSessionSource() {
  static OVAdEnvironmentData::SessionSource source;
  return source;
}

OVAdEnvironmentData::AdapterSource& installedAdapterSource() {
  static OVAdEnvironmentData::AdapterSource source;
  return source;
}

OVAdSessionFacts sharedManagerSession() {
  const std::shared_ptr<OVAdEventManager> manager = OVAdEventManager::sharedManager();
  return {manager->sessionId(), manager->sessionTime()};
}

template <typename Source>
Source installed(Source& slot) {
  std::lock_guard lock(sourcesMutex());
  return slot;
}

template <typename Source>
Source replace(Source& slot, Source source) {
  std::lock_guard lock(sourcesMutex());
  std::swap(slot, source);
  return source;
}

}  // namespace

OVAdEnvironmentData::SessionSource OVAdEnvironmentData::installSessionSource(SessionSource source) {
  return replace(installedSessionSource(), std::move(source));
}

OVAdEnvironmentData::AdapterSource OVAdEnvironmentData::installAdapterSource(AdapterSource source) {
  return replace(installedAdapterSource(), std::move(source));
}

OVAdSessionFacts currentSessionFacts() {
  const OVAdEnvironmentData::SessionSource source = installed(installedSessionSource());
  return source ? source() : sharedManagerSession();
}

std::vector<std::string> currentAvailableAdapters(OVAdPlacementType placementType) {
  const OVAdEnvironmentData::AdapterSource source = installed(installedAdapterSource());
  return source ? source(placementType) : OVAdAdapterManager::availableAdaptersForPlacementType(placementType);
}

}  // namespace plexora
