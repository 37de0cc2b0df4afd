#include "platform/web/WebPage.h"

#include <wayland-server.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <algorithm>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/web/ScriptResult.h"
#include "platform/web/WebEngineContext.h"
#include "platform/web/WebFrameBuffer.h"

namespace plexora::platform::detail {

namespace {

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
  WebKitWebView* view = nullptr;
  ViewBackend* backend = nullptr;
  // The current load failed: the engine still ends it with a "finished" event,
  // which must not reach the delegate as a success.
  bool currentLoadFailed = false;
  // The user's pointer holds the first button down over the page.
  bool buttonDown = false;

  ~Impl() {
    g_signal_handlers_disconnect_by_data(view, this);
    webkit_web_view_stop_loading(view);
    g_object_unref(view);
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
    if (event == WEBKIT_LOAD_STARTED) {
      self->currentLoadFailed = false;
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
};

WebPage::WebPage(std::uint32_t pixelWidth, std::uint32_t pixelHeight, WebPageEvents events)
    : impl_(std::make_shared<Impl>()) {
  WebKitWebContext* context = webEngineContext();
  impl_->events = std::move(events);
  auto* backend = new ViewBackend;
  backend->exportable = wpe_view_backend_exportable_fdo_create(&kExportClient, backend, std::max(pixelWidth, 1u),
                                                               std::max(pixelHeight, 1u));
  wpe_view_backend* wpeBackend = wpe_view_backend_exportable_fdo_get_view_backend(backend->exportable);
  // A hidden or unfocused view is throttled by the engine; ours is drawn
  // off screen and must keep drawing.
  wpe_view_backend_add_activity_state(
      wpeBackend, wpe_view_activity_state_visible | wpe_view_activity_state_focused | wpe_view_activity_state_in_window);
  impl_->backend = backend;
  impl_->view = webkit_web_view_new_with_context(webkit_web_view_backend_new(wpeBackend, destroyViewBackend, backend),
                                                 context);
  g_signal_connect(impl_->view, "decide-policy", G_CALLBACK(Impl::onDecidePolicy), impl_.get());
  g_signal_connect(impl_->view, "load-changed", G_CALLBACK(Impl::onLoadChanged), impl_.get());
  g_signal_connect(impl_->view, "load-failed", G_CALLBACK(Impl::onLoadFailed), impl_.get());
}

WebPage::~WebPage() = default;

void WebPage::loadHTML(const std::string& html, const std::string& baseURL) {
  webkit_web_view_load_html(impl_->view, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
}

void WebPage::loadURL(const std::string& url) { webkit_web_view_load_uri(impl_->view, url.c_str()); }

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
void WebPage::reload() { webkit_web_view_reload(impl_->view); }
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
  wpe_view_backend_dispatch_set_size(wpe_view_backend_exportable_fdo_get_view_backend(impl_->backend->exportable),
                                     std::max(pixelWidth, 1u), std::max(pixelHeight, 1u));
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
