#include "platform/web/WebEngine.h"

#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/web/WebEngineContext.h"

namespace plexora::platform {

namespace {

constexpr const char* kBackendLibrary = "libWPEBackend-fdo-1.0.so.1";
constexpr const char* kNotOnMainThreadMessage = "The web engine may only be used on the main thread";
constexpr const char* kBackendFailedMessage = "The web engine's fdo backend could not be loaded";
// The engine's own address of its accessibility bus, and the one the
// accessibility stack hands every process.
constexpr const char* kEngineAccessibilityBusVariable = "WEBKIT_A11Y_BUS_ADDRESS";
constexpr const char* kAccessibilityBusVariable = "AT_SPI_BUS_ADDRESS";

std::atomic<bool> started{false};

WebKitWebContext*& sharedContext() {
  static WebKitWebContext* context = nullptr;
  return context;
}

// A headless engine has no accessibility bridge to serve, yet without a bus
// address it asks the session bus for one and, where there is none (every
// server and CI machine), prints "Could not determine the accessibility bus
// address" into the host's output. An empty address switches the bridge off
// before it is looked for. A host that runs an accessibility bus itself has
// one of the two variables set, and is left alone.
void switchOffAccessibilityBridge() {
  if (std::getenv(kEngineAccessibilityBusVariable) == nullptr && std::getenv(kAccessibilityBusVariable) == nullptr) {
    ::setenv(kEngineAccessibilityBusVariable, "", 0);
  }
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
  switchOffAccessibilityBridge();
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
