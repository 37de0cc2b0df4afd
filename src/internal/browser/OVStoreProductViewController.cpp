#include "internal/browser/OVStoreProductViewController.h"

#include <mutex>

#include "adapters/views/storepage/OVReliableStoreProductViewController.h"

namespace plexora {

OVStoreProductViewController::Maker& OVStoreProductViewController::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install(
        []() -> std::shared_ptr<OVStoreProductViewController> {
          return std::make_shared<OVReliableStoreProductViewController>();
        });
  });
  return instance;
}

}  // namespace plexora
