#include "internal/browser/OVAdBrowserViewController.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Color.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr platform::Color kToolbarTintColor{0.4235, 0.5176, 0.6941, 1.0};
constexpr const char* kBackTitle = "Back";
constexpr const char* kForwardTitle = "Forward";
constexpr const char* kRefreshTitle = "Refresh";
constexpr const char* kDoneTitle = "Done";

// Schemes are case-insensitive (RFC 3986), so "HTTPS://..." is a web page
// like any other rather than a link for the system.
bool isWebScheme(const std::string& url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string::npos) {
    return false;
  }
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme == "http" || scheme == "https";
}

std::shared_ptr<platform::Button> makeToolbarButton(const char* title, std::function<void()> action) {
  auto button = std::make_shared<platform::Button>();
  button->setTitle(std::string(title), platform::kControlStateNormal);
  button->setTitleColor(kToolbarTintColor, platform::kControlStateNormal);
  button->addAction(platform::kControlEventTouchUpInside,
                    [action = std::move(action)](platform::Control&, const platform::Event*) { action(); });
  return button;
}

}  // namespace

OVAdBrowserViewController::~OVAdBrowserViewController() { stopDOMContentLoadedTimer(); }

std::shared_ptr<OVAdBrowserViewController> OVAdBrowserViewController::sharedBrowser() {
  return std::static_pointer_cast<OVAdBrowserViewController>(shared_from_this());
}

void OVAdBrowserViewController::viewDidLoad() {
  const auto root = std::make_shared<platform::View>(platform::Screen::main()->bounds());
  // The browser covers the host's content while its page loads.
  root->setBackgroundColor(platform::Color::white());
  setView(root);

  page_ = makePage();

  toolBar_ = std::make_shared<platform::View>();
  const std::weak_ptr<OVAdBrowserViewController> weakSelf = sharedBrowser();
  auto on = [weakSelf](void (OVAdBrowserViewController::*action)()) {
    return [weakSelf, action] {
      if (const auto self = weakSelf.lock()) ((*self).*action)();
    };
  };
  backButton_ = makeToolbarButton(kBackTitle, on(&OVAdBrowserViewController::backButtonClicked));
  forwardButton_ = makeToolbarButton(kForwardTitle, on(&OVAdBrowserViewController::forwardButtonClicked));
  refreshButton_ = makeToolbarButton(kRefreshTitle, on(&OVAdBrowserViewController::refreshButtonClicked));
  doneButton_ = makeToolbarButton(kDoneTitle, on(&OVAdBrowserViewController::doneButtonClicked));
  // The spinner's place: shown while the page loads, in place of refresh.
  spinnerButton_ = std::make_shared<platform::View>();
  toolbarItems_ = {ToolbarItem::Back,          ToolbarItem::FlexibleSpace, ToolbarItem::Forward,
                   ToolbarItem::FlexibleSpace, ToolbarItem::Refresh,       ToolbarItem::Spinner,
                   ToolbarItem::FlexibleSpace, ToolbarItem::Done};
  for (const auto& item : std::vector<std::shared_ptr<platform::View>>{backButton_, forwardButton_, refreshButton_,
                                                                       spinnerButton_, doneButton_}) {
    toolBar_->addSubview(item);
  }
  root->addSubview(toolBar_);
}

void OVAdBrowserViewController::viewWillLayoutSubviews() {
  const auto root = viewIfLoaded();
  if (!root) {
    return;
  }
  const platform::Rect bounds = root->bounds();
  const double pageHeight = std::max(0.0, bounds.height() - kOVAdBrowserToolbarHeight);
  toolBar_->setFrame({bounds.origin.x, bounds.origin.y + pageHeight, bounds.width(),
                      std::min(kOVAdBrowserToolbarHeight, bounds.height())});
  // The toolbar's items share its width in their order.
  const double itemWidth = bounds.width() / static_cast<double>(toolbarItems_.size());
  for (std::size_t index = 0; index < toolbarItems_.size(); ++index) {
    std::shared_ptr<platform::View> itemView;
    switch (toolbarItems_[index]) {
      case ToolbarItem::Back:
        itemView = backButton_;
        break;
      case ToolbarItem::Forward:
        itemView = forwardButton_;
        break;
      case ToolbarItem::Refresh:
        itemView = refreshButton_;
        break;
      case ToolbarItem::Spinner:
        itemView = spinnerButton_;
        break;
      case ToolbarItem::Done:
        itemView = doneButton_;
        break;
      case ToolbarItem::FlexibleSpace:
        break;
    }
    if (itemView) {
      itemView->setFrame({itemWidth * static_cast<double>(index), 0, itemWidth, kOVAdBrowserToolbarHeight});
    }
  }
  refreshButton_->setHidden(std::find(toolbarItems_.begin(), toolbarItems_.end(), ToolbarItem::Refresh) ==
                            toolbarItems_.end());
  spinnerButton_->setHidden(std::find(toolbarItems_.begin(), toolbarItems_.end(), ToolbarItem::Spinner) ==
                            toolbarItems_.end());
  if (page_) {
    // The page's view sizes the page at the screen's scale, shows it in the
    // window's picture and passes touches on to it.
    const auto pageView = std::make_shared<OVAdContentContainerPageView>(page_, platform::Screen::main()->scale());
    pageView->setFrame({bounds.origin, {bounds.width(), pageHeight}});
    root->addSubview(pageView);
  }
}

void OVAdBrowserViewController::viewWillAppear(bool) {
  statusBarHidden_ = platform::Application::shared()->isStatusBarHidden();
  OVAdUtility::setApplicationStatusBarHidden(true);
  viewWillLayoutSubviews();
}

void OVAdBrowserViewController::viewWillDisappear(bool) {
  if (page_ && page_->isLoading()) {
    page_->stopLoading();
  }
  OVAdUtility::setApplicationStatusBarHidden(statusBarHidden_);
}

void OVAdBrowserViewController::viewDidDisappear(bool) {
  // The browser never presents over itself, so disappearing means it is
  // gone: when that was not through done (the ad closed it, the host
  // dismissed everything) it is still one visit, reported once, and the
  // delegate still hears of it.
  endSession(true);
  notifyDismissed();
}

void OVAdBrowserViewController::loadURL(const platform::URL& url) {
  setIfUnset(loadStartMs_);
  url_ = url;
  view();
  if (page_) {
    page_->loadURL(url.absoluteString());
  }
  updateButtons();
}

void OVAdBrowserViewController::backButtonClicked() {
  if (page_) page_->goBack();
}

void OVAdBrowserViewController::forwardButtonClicked() {
  if (page_) page_->goForward();
}

void OVAdBrowserViewController::refreshButtonClicked() {
  if (page_) page_->reload();
}

void OVAdBrowserViewController::doneButtonClicked() {
  endSession(true);
  const std::weak_ptr<OVAdBrowserViewController> weakSelf = sharedBrowser();
  dismiss(true, [weakSelf] {
    if (const auto self = weakSelf.lock()) self->notifyDismissed();
  });
}

void OVAdBrowserViewController::updateButtons() {
  if (!page_ || !backButton_) {
    return;
  }
  backButton_->setEnabled(page_->canGoBack());
  forwardButton_->setEnabled(page_->canGoForward());
  const bool loading = page_->isLoading();
  const ToolbarItem shown = loading ? ToolbarItem::Spinner : ToolbarItem::Refresh;
  const ToolbarItem hidden = loading ? ToolbarItem::Refresh : ToolbarItem::Spinner;
  std::vector<ToolbarItem> items = toolbarItems_;
  if (const auto found = std::find(items.begin(), items.end(), hidden); found != items.end()) {
    items.erase(found);
  }
  if (std::find(items.begin(), items.end(), shown) == items.end()) {
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(std::min(kLoadingItemIndex, items.size())), shown);
  }
  if (items != toolbarItems_) {
    toolbarItems_ = std::move(items);
    viewWillLayoutSubviews();
  }
}

bool OVAdBrowserViewController::allowsLink(const std::string& link) {
  if (isWebScheme(link)) {
    return true;
  }
  const std::optional<platform::URL> url = platform::URL::parse(link);
  if (!url || !platform::Application::shared()->openURL(*url)) {
    return false;
  }
  // The user went on to another application: not a browsing session.
  endSession(false);
  const std::weak_ptr<OVAdBrowserViewController> weakSelf = sharedBrowser();
  dismiss(true, [weakSelf] {
    if (const auto self = weakSelf.lock()) self->notifyDismissed();
  });
  return false;
}

void OVAdBrowserViewController::loadStarted() {
  updateButtons();
  setIfUnset(responseEndMs_);
  startDOMContentLoadedTimer();
}

void OVAdBrowserViewController::loadFinished() {
  updateButtons();
  setIfUnset(loadFinishMs_);
  // A page that finishes before the poll's first tick was never asked for
  // its ready state, and would report its content-loaded and scroll-ready
  // times as 0 though it plainly reached them: ask it once more now.
  const bool wasPolling = domContentLoadedTimer_ != nullptr;
  stopDOMContentLoadedTimer();
  if (wasPolling && domContentLoadedMs_ < 1) {
    checkReadyState();
  }
}

void OVAdBrowserViewController::loadFailed() {
  updateButtons();
  stopDOMContentLoadedTimer();
}

void OVAdBrowserViewController::startDOMContentLoadedTimer() {
  if (domContentLoadedMs_ >= 1 || domContentLoadedTimer_) {
    return;
  }
  const std::weak_ptr<OVAdBrowserViewController> weakSelf = sharedBrowser();
  domContentLoadedTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(kOVAdBrowserReadyStatePollInterval, true,
                                                                     [weakSelf](const std::shared_ptr<OVAdTimer>&) {
                                                                       if (const auto self = weakSelf.lock())
                                                                         self->checkReadyState();
                                                                     });
}

void OVAdBrowserViewController::stopDOMContentLoadedTimer() {
  if (domContentLoadedTimer_) {
    domContentLoadedTimer_->invalidate();
    domContentLoadedTimer_.reset();
  }
}

void OVAdBrowserViewController::readyStateAnswered(const std::string& readyState) {
  if (readyState == kOVAdBrowserReadyStateComplete) {
    setIfUnset(scrollReadyMs_);
    setIfUnset(domContentLoadedMs_);
    stopDOMContentLoadedTimer();
  }
}

void OVAdBrowserViewController::endSession(bool report) {
  if (sessionEnded_) {
    return;
  }
  sessionEnded_ = true;
  stopDOMContentLoadedTimer();
  if (report) {
    OVAdLogBrowserSessionData(*this);
  }
}

void OVAdBrowserViewController::notifyDismissed() {
  if (delegateToldDismissed_) {
    return;
  }
  delegateToldDismissed_ = true;
  if (const auto delegate = delegate_.lock()) {
    delegate->viewControllerDismissed(sharedBrowser());
  }
}

void OVAdBrowserViewController::setIfUnset(std::int64_t& field) {
  // The first occurrence counts: later pages in the same browser keep it.
  if (field < 1) {
    field = OVAdSafariViewController::currentTimeMs();
  }
}

}  // namespace plexora
