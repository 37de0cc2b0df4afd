#include "platform/web/WebEngine.h"

#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/web/SharedWebProcess.h"
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

struct EngineUserAgent {
  std::mutex mutex;
  std::optional<std::string> text;
};

EngineUserAgent& engineUserAgent() {
  // Never destroyed: the URL session may ask while the process exits.
  static auto* const shared = new EngineUserAgent;
  return *shared;
}

// What a page made with new settings reports: read from the settings, it is
// known without a page, and so without waiting for a web process.
std::string defaultUserAgent() {
  WebKitSettings* settings = webkit_settings_new();
  const char* agent = webkit_settings_get_user_agent(settings);
  std::string text = agent ? agent : "";
  g_object_unref(settings);
  return text;
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
  {
    std::string agent = defaultUserAgent();
    std::lock_guard lock(engineUserAgent().mutex);
    engineUserAgent().text = std::move(agent);
  }
  MainLoop::instance().hostGLibContext();
  started = true;
}

bool WebEngine::isStarted() { return started; }

void WebEngine::warmUp() {
  start();
  detail::SharedWebProcess::join();
}

std::optional<std::string> WebEngine::userAgent() {
  std::lock_guard lock(engineUserAgent().mutex);
  return engineUserAgent().text;
}

namespace detail {

WebKitWebContext* webEngineContext() {
  WebEngine::start();
  return sharedContext();
}

}  // namespace detail

}  // namespace plexora::platform
