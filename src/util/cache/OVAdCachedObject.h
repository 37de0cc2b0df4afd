// An entry of the resource cache that expires: the value and the moment after
// which the cache's sweep removes it.
//
// Thread safety: immutable after creation.
// Ownership: the cache holds the wrapper; the wrapper holds the value.
#pragma once

#include "util/cache/OVAdCacheValue.h"

namespace plexora {

class OVAdCachedObject final {
 public:
  // `expiration` in seconds since 1970.
  OVAdCachedObject(OVAdCacheValue object, double expiration) : object_(std::move(object)), expiration_(expiration) {}
  OVAdCachedObject(const OVAdCachedObject&) = delete;
  OVAdCachedObject& operator=(const OVAdCachedObject&) = delete;

  const OVAdCacheValue& object() const { return object_; }
  double expiration() const { return expiration_; }

 private:
  const OVAdCacheValue object_;
  const double expiration_;
};

}  // namespace plexora
