#include "platform/web/WebPage.h"

#include <wayland-server.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <algorithm>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/web/ScriptResult.h"
#include "platform/web/SharedWebProcess.h"
#include "platform/web/WebEngineContext.h"
#include "platform/web/WebFrameBuffer.h"

namespace plexora::platform::detail {

namespace {

constexpr const char* kProcessEndedDescription = "The page's web process ended";
constexpr const char* kProcessOutOfMemoryDescription = "The page's web process ran out of memory";

// What the fdo backend needs beside the page: destroyed by the engine with the
// view backend, which may outlive the page while a script is still pending.
struct ViewBackend {
  wpe_view_backend_exportable_fdo* exportable = nullptr;
  WebFrameBuffer frames;
};

void exportShmBuffer(void* data, wpe_fdo_shm_exported_buffer* exported) {
  auto* backend = static_cast<ViewBackend*>(data);
  backend->frames.store(wpe_fdo_shm_exported_buffer_get_shm_buffer(exported));
  wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(backend->exportable, exported);
  wpe_view_backend_exportable_fdo_dispatch_frame_complete(backend->exportable);
}

const wpe_view_backend_exportable_fdo_client kExportClient = {
    nullptr, nullptr, exportShmBuffer, nullptr, nullptr,
};

void destroyViewBackend(gpointer data) {
  auto* backend = static_cast<ViewBackend*>(data);
  wpe_view_backend_exportable_fdo_destroy(backend->exportable);
  delete backend;
}

WebNavigationType navigationType(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
      return WebNavigationType::LinkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
      return WebNavigationType::FormSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
      return WebNavigationType::BackForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
      return WebNavigationType::Reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
      return WebNavigationType::FormResubmitted;
    case WEBKIT_NAVIGATION_TYPE_OTHER:
      break;
  }
  return WebNavigationType::Other;
}

// One navigation decision the engine waits for. It is answered once; one
// dropped unanswered cancels the navigation, so the engine never waits
// forever.
class PendingDecision final {
 public:
  explicit PendingDecision(WebKitPolicyDecision* decision) : decision_(WEBKIT_POLICY_DECISION(g_object_ref(decision))) {}
  ~PendingDecision() {
    answer(WebNavigationPolicy::Cancel);
    g_object_unref(decision_);
  }
  PendingDecision(const PendingDecision&) = delete;
  PendingDecision& operator=(const PendingDecision&) = delete;

  void answer(WebNavigationPolicy policy) {
    if (answered_) {
      return;
    }
    answered_ = true;
    if (policy == WebNavigationPolicy::Allow) {
      webkit_policy_decision_use(decision_);
    } else {
      webkit_policy_decision_ignore(decision_);
    }
  }

 private:
  WebKitPolicyDecision* decision_;
  bool answered_ = false;
};

const char* terminationDescription(WebKitWebProcessTerminationReason reason) {
  switch (reason) {
    case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
      return kProcessOutOfMemoryDescription;
    case WEBKIT_WEB_PROCESS_CRASHED:
    case WEBKIT_WEB_PROCESS_TERMINATED_BY_API:
      break;
  }
  return kProcessEndedDescription;
}

Error loadError(const GError* error, const char* failingURL) {
  Dictionary userInfo{{kLocalizedDescriptionKey, std::string(error->message ? error->message : "")}};
  if (failingURL) {
    userInfo.set(kWebViewFailingURLStringKey, std::string(failingURL));
  }
  return Error(g_quark_to_string(error->domain), error->code, std::move(userInfo));
}

}  // namespace

struct WebPage::Impl : std::enable_shared_from_this<WebPage::Impl> {
  WebPageEvents events;
  WebProcessSharing sharing = WebProcessSharing::Shared;
  WebKitWebView* view = nullptr;
  ViewBackend* backend = nullptr;
  std::uint32_t pixelWidth = 1;
  std::uint32_t pixelHeight = 1;
  // The current load failed: the engine still ends it with a "finished" event,
  // which must not reach the delegate as a success.
  bool currentLoadFailed = false;
  // The current load replaced the page before; failing later, it failed
  // after the new page began to show.
  bool currentLoadCommitted = false;
  // A load was ever asked of this page: only then has a dead process taken
  // anything of it.
  bool asked = false;
  // The web process died under the page, which shows nothing until its next
  // load.
  bool processGone = false;
  // The user's pointer holds the first button down over the page.
  bool buttonDown = false;

  ~Impl() { dropView(); }

  void makeView(WebKitSettings* settings) {
    backend = new ViewBackend;
    backend->exportable = wpe_view_backend_exportable_fdo_create(&kExportClient, backend, pixelWidth, pixelHeight);
    wpe_view_backend* wpeBackend = wpe_view_backend_exportable_fdo_get_view_backend(backend->exportable);
    // A hidden or unfocused view is throttled by the engine; ours is drawn
    // off screen and must keep drawing.
    wpe_view_backend_add_activity_state(wpeBackend, wpe_view_activity_state_visible |
                                                        wpe_view_activity_state_focused |
                                                        wpe_view_activity_state_in_window);
    WebKitWebViewBackend* viewBackend = webkit_web_view_backend_new(wpeBackend, destroyViewBackend, backend);
    // Each page has settings of its own (its user agent above all), also when
    // it shares its process: a related view would otherwise take its
    // relative's.
    WebKitSettings* ownSettings = settings ? WEBKIT_SETTINGS(g_object_ref(settings)) : webkit_settings_new();
    WebKitWebContext* context = webEngineContext();
    if (sharing == WebProcessSharing::Shared) {
      view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", viewBackend, "related-view",
                                          SharedWebProcess::join(), "settings", ownSettings, "is-ephemeral", TRUE,
                                          nullptr));
    } else {
      view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", viewBackend, "web-context", context,
                                          "settings", ownSettings, "is-ephemeral", TRUE, nullptr));
    }
    g_object_unref(ownSettings);
    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
    processGone = false;
  }

  void dropView() {
    g_signal_handlers_disconnect_by_data(view, this);
    webkit_web_view_stop_loading(view);
    g_object_unref(view);
    view = nullptr;
    backend = nullptr;
  }

  // A shared page whose process died joins the shared process again in a
  // new view (for the old one the engine would start a process of its own);
  // its settings stay. Called before each new load.
  void prepareLoad() {
    asked = true;
    if (!processGone || sharing != WebProcessSharing::Shared) {
      processGone = false;
      return;
    }
    WebKitSettings* settings = WEBKIT_SETTINGS(g_object_ref(webkit_web_view_get_settings(view)));
    dropView();
    makeView(settings);
    g_object_unref(settings);
  }

  // Delegates hear of the engine's events from the main queue, and only
  // while the page lives.
  template <class Action>
  void post(Action action) {
    DispatchQueue::main()->async([weakSelf = weak_from_this(), action = std::move(action)]() mutable {
      if (const auto self = weakSelf.lock()) {
        action(*self);
      }
    });
  }

  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      return FALSE;  // the engine shows what it can and refuses the rest
    }
    WebKitNavigationAction* navigation =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(navigation);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    WebNavigationAction action{uri ? uri : "", navigationType(webkit_navigation_action_get_navigation_type(navigation)),
                               type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION};
    auto pending = std::make_shared<PendingDecision>(decision);
    static_cast<Impl*>(data)->post([action = std::move(action), pending](Impl& self) {
      WebPolicyDecisionHandler decide = [pending](WebNavigationPolicy policy) { pending->answer(policy); };
      if (self.events.decidePolicy) {
        self.events.decidePolicy(action, std::move(decide));
      } else {
        decide(WebNavigationPolicy::Allow);
      }
    });
    return TRUE;
  }

  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    if (event == WEBKIT_LOAD_COMMITTED) {
      self->currentLoadCommitted = true;
    }
    if (event == WEBKIT_LOAD_STARTED) {
      self->currentLoadFailed = false;
      self->currentLoadCommitted = false;
      self->post([](Impl& page) {
        if (page.events.started) {
          page.events.started();
        }
      });
    } else if (event == WEBKIT_LOAD_FINISHED && !self->currentLoadFailed) {
      self->post([](Impl& page) {
        if (page.events.finished) {
          page.events.finished();
        }
      });
    }
  }

  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* failingURL, GError* error, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    self->currentLoadFailed = true;
    const bool provisional = event == WEBKIT_LOAD_STARTED || event == WEBKIT_LOAD_REDIRECTED;
    self->post([failure = loadError(error, failingURL), provisional](Impl& page) {
      if (page.events.failed) {
        page.events.failed(failure, provisional);
      }
    });
    return TRUE;  // no error page: the delegate decides what the user sees
  }

  // Every page of the process hears this. The engine ends no load of a page
  // whose process died, so the page's failure is told here, once.
  static void onWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    self->processGone = true;
    if (!self->asked) {
      return;
    }
    self->currentLoadFailed = true;
    const char* uri = webkit_web_view_get_uri(view);
    Dictionary userInfo{{kLocalizedDescriptionKey, std::string(terminationDescription(reason))}};
    if (uri) {
      userInfo.set(kWebViewFailingURLStringKey, std::string(uri));
    }
    const bool provisional = !self->currentLoadCommitted;
    self->post([failure = Error(kWebViewErrorDomain, kWebViewErrorWebProcessTerminated, std::move(userInfo)),
                provisional](Impl& page) {
      if (page.events.failed) {
        page.events.failed(failure, provisional);
      }
    });
  }
};

WebPage::WebPage(std::uint32_t pixelWidth, std::uint32_t pixelHeight, WebPageEvents events,
                 WebProcessSharing sharing)
    : impl_(std::make_shared<Impl>()) {
  impl_->events = std::move(events);
  impl_->sharing = sharing;
  impl_->pixelWidth = std::max(pixelWidth, 1u);
  impl_->pixelHeight = std::max(pixelHeight, 1u);
  impl_->makeView(nullptr);
}

WebPage::~WebPage() = default;

void WebPage::loadHTML(const std::string& html, const std::string& baseURL) {
  impl_->prepareLoad();
  webkit_web_view_load_html(impl_->view, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
}

void WebPage::loadURL(const std::string& url) {
  impl_->prepareLoad();
  webkit_web_view_load_uri(impl_->view, url.c_str());
}

namespace {

void finishScript(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptCompletion> completion(static_cast<ScriptCompletion*>(data));
  GError* error = nullptr;
  WebKitJavascriptResult* answer = webkit_web_view_run_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  ScriptResult converted;
  if (answer) {
    converted = scriptResultFromValue(webkit_javascript_result_get_js_value(answer));
    webkit_javascript_result_unref(answer);
  } else {
    converted = scriptResultFromError(error);
    g_clear_error(&error);
  }
  if (*completion) {
    (*completion)(std::move(converted.value), std::move(converted.error));
  }
}

}  // namespace

void WebPage::evaluate(const std::string& script, ScriptCompletion completion) {
  webkit_web_view_run_javascript(impl_->view, script.c_str(), nullptr, finishScript,
                                 new ScriptCompletion(std::move(completion)));
}

void WebPage::goBack() { webkit_web_view_go_back(impl_->view); }
void WebPage::goForward() { webkit_web_view_go_forward(impl_->view); }
void WebPage::reload() {
  // A page in a new view has nothing to reload: it loads its address again.
  const std::string address = url();
  const bool renewed = impl_->processGone && impl_->sharing == WebProcessSharing::Shared;
  impl_->prepareLoad();
  if (renewed && !address.empty()) {
    webkit_web_view_load_uri(impl_->view, address.c_str());
  } else {
    webkit_web_view_reload(impl_->view);
  }
}
void WebPage::stopLoading() { webkit_web_view_stop_loading(impl_->view); }
bool WebPage::canGoBack() const { return webkit_web_view_can_go_back(impl_->view); }
bool WebPage::canGoForward() const { return webkit_web_view_can_go_forward(impl_->view); }
bool WebPage::isLoading() const { return webkit_web_view_is_loading(impl_->view); }

std::string WebPage::url() const {
  const char* uri = webkit_web_view_get_uri(impl_->view);
  return uri ? uri : "";
}

std::string WebPage::userAgent() const {
  const char* agent = webkit_settings_get_user_agent(webkit_web_view_get_settings(impl_->view));
  return agent ? agent : "";
}

void WebPage::setCustomUserAgent(const std::string& userAgent) {
  webkit_settings_set_user_agent(webkit_web_view_get_settings(impl_->view),
                                 userAgent.empty() ? nullptr : userAgent.c_str());
}

void WebPage::setSize(std::uint32_t pixelWidth, std::uint32_t pixelHeight) {
  impl_->pixelWidth = std::max(pixelWidth, 1u);
  impl_->pixelHeight = std::max(pixelHeight, 1u);
  wpe_view_backend_dispatch_set_size(wpe_view_backend_exportable_fdo_get_view_backend(impl_->backend->exportable),
                                     impl_->pixelWidth, impl_->pixelHeight);
}

std::shared_ptr<Image> WebPage::snapshot() const { return impl_->backend->frames.image(); }

void WebPage::sendPointer(WebPointerPhase phase, std::int32_t x, std::int32_t y) {
  constexpr std::uint32_t kFirstButton = 1;
  const bool moved = phase == WebPointerPhase::Move;
  const bool pressed = phase == WebPointerPhase::Press;
  // A move while the button is down carries the button in its modifiers,
  // as a drag does.
  if (pressed) impl_->buttonDown = true;
  wpe_input_pointer_event event{};
  event.type = moved ? wpe_input_pointer_event_type_motion : wpe_input_pointer_event_type_button;
  event.time = static_cast<std::uint32_t>(g_get_monotonic_time() / 1000);
  event.x = x;
  event.y = y;
  event.button = moved ? 0 : kFirstButton;
  event.state = pressed ? 1 : 0;
  event.modifiers = moved && impl_->buttonDown ? wpe_input_pointer_modifier_button1 : 0;
  if (phase == WebPointerPhase::Release) impl_->buttonDown = false;
  wpe_view_backend_dispatch_pointer_event(
      wpe_view_backend_exportable_fdo_get_view_backend(impl_->backend->exportable), &event);
}

}  // namespace plexora::platform::detail
