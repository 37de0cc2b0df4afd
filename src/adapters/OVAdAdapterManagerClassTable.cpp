#include "adapters/OVAdAdapterManagerClassTable.h"

#include <map>
#include <mutex>

namespace plexora {

namespace {

struct Table {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const OVAdAdapterClass>> classes;
};

// Never destroyed, so lookups from threads still running at exit stay safe.
Table& table() {
  static Table* instance = new Table;
  return *instance;
}

}  // namespace

OVAdAdapterClass::OVAdAdapterClass(std::string name, Maker maker) : name_(std::move(name)), maker_(std::move(maker)) {}

OVAdAdapterClass::OVAdAdapterClass(std::string name) : name_(std::move(name)) {}

std::shared_ptr<OVDisplayAdAdapter> OVAdAdapterClass::newInstance() const { return initWithDelegate({}); }

std::shared_ptr<OVDisplayAdAdapter> OVAdAdapterClass::initWithDelegate(
    std::weak_ptr<OVDisplayAdAdapterDelegate> delegate) const {
  if (!maker_) {
    return nullptr;
  }
  return maker_(std::move(delegate));
}

void OVAdAdapterClassTable::unregisterClass(const std::string& name) {
  std::lock_guard lock(table().mutex);
  table().classes.erase(name);
}

std::shared_ptr<const OVAdAdapterClass> OVAdAdapterClassTable::classNamed(const std::string& name) {
  std::lock_guard lock(table().mutex);
  const auto found = table().classes.find(name);
  return found == table().classes.end() ? nullptr : found->second;
}

std::shared_ptr<const OVAdAdapterClass> OVAdAdapterClassTable::registerClass(
    std::shared_ptr<const OVAdAdapterClass> adapterClass) {
  std::lock_guard lock(table().mutex);
  auto& entry = table().classes[adapterClass->name()];
  std::swap(entry, adapterClass);
  return adapterClass;
}

}  // namespace plexora
