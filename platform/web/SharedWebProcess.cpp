#include "platform/web/SharedWebProcess.h"

#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <cstdint>

#include "platform/web/WebEngineContext.h"

namespace plexora::platform::detail {

namespace {

constexpr std::uint32_t kAnchorPixels = 1;
constexpr const char* kAnchorPage = "about:blank";

// The anchor's fdo backend, destroyed by the engine with its view.
struct AnchorBackend {
  wpe_view_backend_exportable_fdo* exportable = nullptr;
};

// The anchor shows only a blank page, and any frame it exports goes straight
// back, so it never holds one of the engine's buffers.
void releaseShmBuffer(void* data, wpe_fdo_shm_exported_buffer* exported) {
  auto* backend = static_cast<AnchorBackend*>(data);
  wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(backend->exportable, exported);
  wpe_view_backend_exportable_fdo_dispatch_frame_complete(backend->exportable);
}

const wpe_view_backend_exportable_fdo_client kAnchorExportClient = {
    nullptr, nullptr, releaseShmBuffer, nullptr, nullptr,
};

void destroyAnchorBackend(gpointer data) {
  auto* backend = static_cast<AnchorBackend*>(data);
  wpe_view_backend_exportable_fdo_destroy(backend->exportable);
  delete backend;
}

struct Anchor {
  WebKitWebView* view = nullptr;
  bool processGone = false;
};

Anchor& anchor() {
  // Never destroyed: pages may go while the process exits.
  static auto* const shared = new Anchor;
  return *shared;
}

void onAnchorProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer) {
  anchor().processGone = true;
}

void dropAnchorView() {
  Anchor& shared = anchor();
  if (!shared.view) {
    return;
  }
  g_signal_handlers_disconnect_by_func(shared.view, reinterpret_cast<gpointer>(onAnchorProcessTerminated), nullptr);
  g_object_unref(shared.view);
  shared.view = nullptr;
  shared.processGone = false;
}

void makeAnchorView() {
  auto* backend = new AnchorBackend;
  backend->exportable =
      wpe_view_backend_exportable_fdo_create(&kAnchorExportClient, backend, kAnchorPixels, kAnchorPixels);
  WebKitWebViewBackend* viewBackend = webkit_web_view_backend_new(
      wpe_view_backend_exportable_fdo_get_view_backend(backend->exportable), destroyAnchorBackend, backend);
  Anchor& shared = anchor();
  shared.view = webkit_web_view_new_with_context(viewBackend, webEngineContext());
  g_signal_connect(shared.view, "web-process-terminated", G_CALLBACK(onAnchorProcessTerminated), nullptr);
  webkit_web_view_load_uri(shared.view, kAnchorPage);
}

}  // namespace

WebKitWebView* SharedWebProcess::join() {
  Anchor& shared = anchor();
  if (shared.processGone) {
    dropAnchorView();
  }
  if (!shared.view) {
    makeAnchorView();
  }
  return shared.view;
}

}  // namespace plexora::platform::detail
