#include "platform/web/WebEngine.h"

#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <atomic>
#include <stdexcept>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/web/WebEngineContext.h"

namespace plexora::platform {

namespace {

constexpr const char* kBackendLibrary = "libWPEBackend-fdo-1.0.so.1";
constexpr const char* kNotOnMainThreadMessage = "The web engine may only be used on the main thread";
constexpr const char* kBackendFailedMessage = "The web engine's fdo backend could not be loaded";

std::atomic<bool> started{false};

WebKitWebContext*& sharedContext() {
  static WebKitWebContext* context = nullptr;
  return context;
}

}  // namespace

void WebEngine::start() {
  if (!DispatchQueue::isMainThread()) {
    throw std::logic_error(kNotOnMainThreadMessage);
  }
  if (started) {
    return;
  }
  if (!wpe_loader_init(kBackendLibrary) || !wpe_fdo_initialize_shm()) {
    throw std::runtime_error(kBackendFailedMessage);
  }
  // Never released: pages may be made until the process ends.
  sharedContext() = webkit_web_context_new_ephemeral();
  MainLoop::instance().hostGLibContext();
  started = true;
}

bool WebEngine::isStarted() { return started; }

namespace detail {

WebKitWebContext* webEngineContext() {
  WebEngine::start();
  return sharedContext();
}

}  // namespace detail

}  // namespace plexora::platform
