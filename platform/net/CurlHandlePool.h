// The easy handles a session's transfer thread keeps between transfers: a
// handle that served one transfer is reset and serves the next, sparing a
// fresh handle's set-up for every request. Internal to platform/net.
//
// Thread safety: used only on the session's transfer thread.
// Ownership: owns the idle handles; a handle that was taken belongs to the
// taker until it is given back. Outlives every transfer of its worker.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <vector>

namespace plexora::platform {

class CurlHandlePool final {
 public:
  // Idle handles kept beyond this many are freed: a burst of concurrent
  // transfers does not pin its handles for the life of the session.
  static constexpr std::size_t kMaxIdleHandles = 8;

  CurlHandlePool() = default;
  ~CurlHandlePool();
  CurlHandlePool(const CurlHandlePool&) = delete;
  CurlHandlePool& operator=(const CurlHandlePool&) = delete;

  // A handle with libcurl's default options: an idle one, or a new one.
  // Null when libcurl cannot make one.
  CURL* take();
  // Takes back a handle that is in no multi handle. Its options are reset at
  // once, so it keeps no pointer into the transfer that used it.
  void giveBack(CURL* handle);

  std::size_t idleCount() const { return idle_.size(); }

 private:
  std::vector<CURL*> idle_;
};

}  // namespace plexora::platform
