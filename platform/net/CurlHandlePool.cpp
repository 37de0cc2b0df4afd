#include "platform/net/CurlHandlePool.h"

namespace plexora::platform {

CurlHandlePool::~CurlHandlePool() {
  for (CURL* handle : idle_) curl_easy_cleanup(handle);
}

CURL* CurlHandlePool::take() {
  if (idle_.empty()) return curl_easy_init();
  CURL* handle = idle_.back();
  idle_.pop_back();
  return handle;
}

void CurlHandlePool::giveBack(CURL* handle) {
  if (!handle) return;
  if (idle_.size() >= kMaxIdleHandles) {
    curl_easy_cleanup(handle);
    return;
  }
  // Reset keeps the handle's caches (DNS, TLS sessions), which libcurl only
  // reuses for a transfer whose TLS settings match; every option, pointer
  // and callback is gone.
  curl_easy_reset(handle);
  idle_.push_back(handle);
}

}  // namespace plexora::platform
