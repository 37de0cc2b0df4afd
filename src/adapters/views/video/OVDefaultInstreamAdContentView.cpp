#include "adapters/views/video/OVDefaultInstreamAdContentView.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/video/OVInstreamAdChoicesIcon.h"
#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "adapters/views/video/OVInstreamSkipButtonView.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "server/OVAdConnectionInfo.h"
#include "util/OVAdError.h"

namespace plexora {

namespace {

using platform::MediaTime;

// OVAdConnectionInfo's status of a reachable network that is not cellular.
constexpr std::uint64_t kReachableViaWiFi = 1;
constexpr std::int64_t kNetworkErrorCode = 1000;
// The skip time is kept in milliseconds.
constexpr std::int32_t kSkippableTimescale = 1000;
// Far beyond any ad, and still a whole number of milliseconds that fits.
constexpr double kLongestSkippableSeconds = 1e12;
constexpr double kCountdownMargin = 7.5;
constexpr double kCountdownBottomMargin = 5.0;

MediaTime skippableTimeFromSeconds(double seconds) {
  // A skip time that is not a number lets the ad be skipped at once.
  if (std::isnan(seconds)) seconds = 0.0;
  seconds = std::clamp(seconds, -kLongestSkippableSeconds, kLongestSkippableSeconds);
  return MediaTime::make(static_cast<std::int64_t>(seconds * kSkippableTimescale), kSkippableTimescale);
}

// Whole seconds of `time` rounded up, at least `floor`; a time that is no
// number counts as `floor`.
std::uint64_t ceilingSeconds(const MediaTime& time, std::uint64_t floor) {
  const double seconds = std::ceil(time.seconds());
  if (!(seconds >= static_cast<double>(floor))) return floor;
  if (!std::isfinite(seconds)) return floor;
  return static_cast<std::uint64_t>(seconds);
}

}  // namespace

OVInstreamAdContentView::Maker& OVInstreamAdContentView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install(
        []() -> std::shared_ptr<OVInstreamAdContentView> { return OVDefaultInstreamAdContentView::create(); });
  });
  return instance;
}

std::shared_ptr<OVDefaultInstreamAdContentView> OVDefaultInstreamAdContentView::create() {
  return std::make_shared<OVDefaultInstreamAdContentView>();
}

OVDefaultInstreamAdContentView::OVDefaultInstreamAdContentView() { setBackgroundColor(platform::Color::black()); }

OVDefaultInstreamAdContentView::~OVDefaultInstreamAdContentView() { removeObservers(); }

std::shared_ptr<OVDefaultInstreamAdContentView> OVDefaultInstreamAdContentView::sharedSelf() {
  return std::static_pointer_cast<OVDefaultInstreamAdContentView>(sharedContentView());
}

MediaTime OVDefaultInstreamAdContentView::currentTime() const {
  return videoView_ ? videoView_->currentTime() : MediaTime::zero();
}

MediaTime OVDefaultInstreamAdContentView::duration() const {
  return videoView_ ? videoView_->duration() : MediaTime::zero();
}

MediaTime OVDefaultInstreamAdContentView::skipRemainingTime() const {
  if (!skippable()) return MediaTime::invalid();
  const MediaTime remaining = platform::subtract(skippableTime_, currentTime());
  return remaining > MediaTime::zero() ? remaining : MediaTime::zero();
}

float OVDefaultInstreamAdContentView::volume() const { return videoView_ ? videoView_->volume() : 1.0F; }

std::uint64_t OVDefaultInstreamAdContentView::skipRemainingSeconds() const {
  return ceilingSeconds(skipRemainingTime(), 0);
}

void OVDefaultInstreamAdContentView::loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) {
  OVVideoAdContentView::loadAdFromDataModel(dataModel);
  if (!dataModel) return;
  inlineClientToken_ = dataModel->inlineClientToken().value_or("");
  if (dataModel->destinationURL()) destinationAvailable_ = true;
  if (const auto seconds = dataModel->skippableSeconds()) skippableTime_ = skippableTimeFromSeconds(*seconds);

  videoView_ = OVInstreamAdVideoView::init();
  videoView_->setDelegate(sharedSelf());

  std::optional<platform::URL> url = dataModel->videoURL();
  if (dataModel->videoHDURL() && OVAdConnectionInfo::currentReachabilityStatus() == kReachableViaWiFi) {
    url = dataModel->videoHDURL();
  }
  if (!url) {
    // Nothing to play: the ad fails as an unplayable video would, later.
    const std::weak_ptr<OVDefaultInstreamAdContentView> weakSelf = sharedSelf();
    platform::DispatchQueue::main()->async([weakSelf] {
      if (const auto self = weakSelf.lock()) self->failWithNetworkError();
    });
    return;
  }
  videoView_->loadMovieWithURL(*url);
}

void OVDefaultInstreamAdContentView::startFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  rootViewController_ = rootViewController;
  if (videoView_) addSubview(videoView_);
  addSkipButton();
  addCountdownView();
  addLearnMoreView();
  addAdChoicesView();
  addObservers();
  setNeedsLayout();
  if (videoView_) videoView_->start();
}

void OVDefaultInstreamAdContentView::pause() {
  if (!videoView_ || !videoView_->isPlaying()) return;
  paused_ = true;
  videoView_->stop();
  if (const auto delegate = this->delegate()) delegate->contentViewDidPause(sharedSelf());
}

void OVDefaultInstreamAdContentView::resume() {
  if (!videoView_ || videoView_->isPlaying()) return;
  paused_ = false;
  videoView_->start();
  if (const auto delegate = this->delegate()) delegate->contentViewDidResume(sharedSelf());
}

void OVDefaultInstreamAdContentView::layoutSubviews() {
  const platform::Rect area = bounds();
  const double width = area.width();
  const double height = area.height();
  if (learnMoreView_) {
    const platform::Size size = learnMoreView_->frame().size;
    learnMoreView_->setFrame({{width - size.width, 0.0}, size});
  }
  if (skipButtonView_) {
    const platform::Size size = skipButtonView_->frame().size;
    skipButtonView_->setFrame({{width - size.width, height - size.height - size.height / 2.0}, size});
  }
  if (countdownView_) {
    const platform::Size size = countdownView_->frame().size;
    countdownView_->setFrame({{kCountdownMargin, height - size.height - kCountdownBottomMargin}, size});
  }
  if (videoView_) videoView_->setFrame(area);
  if (adChoicesView_ && adChoicesView_->superview()) adChoicesView_->updateFrameFromSuperview(adChoicesView_->corner());
}

void OVDefaultInstreamAdContentView::addSkipButton() {
  if (!skippable()) return;
  if (skipButtonView_) skipButtonView_->removeFromSuperview();
  skipButtonView_ = OVInstreamSkipButtonView::initWithRemainingSeconds(skipRemainingSeconds());
  const std::weak_ptr<OVDefaultInstreamAdContentView> weakSelf = sharedSelf();
  skipButtonView_->addGestureRecognizer(
      std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer&) {
        if (const auto self = weakSelf.lock()) self->skipButtonViewTapped();
      }));
  addSubview(skipButtonView_);
}

void OVDefaultInstreamAdContentView::addCountdownView() {
  if (countdownView_) countdownView_->removeFromSuperview();
  countdownView_.reset();
  if (!countdownEnabled()) return;
  countdownView_ = std::make_shared<OVVideoAdLabel>();
  countdownView_->setNumberOfLines(1);
  countdownView_->setLineBreakMode(platform::LineBreakMode::Clipping);
  countdownView_->setTextAlignment(platform::TextAlignment::Left);
  countdownView_->setBackgroundColor(platform::Color::clear());
  countdownView_->setTextColor(platform::Color::white());
  updateCountdownText();
  // Fitted once, to the text at the start; a longer later text is clipped.
  const platform::Size size = countdownView_->sizeThatFits({0.0, 0.0});
  countdownView_->setFrame({0.0, 0.0, size.width + kCountdownMargin, size.height});
  addSubview(countdownView_);
}

void OVDefaultInstreamAdContentView::addLearnMoreView() {
  if (!destinationAvailable_) return;
  if (learnMoreView_) learnMoreView_->removeFromSuperview();
  learnMoreView_ = OVInstreamLearnMoreView::init();
  const std::weak_ptr<OVDefaultInstreamAdContentView> weakSelf = sharedSelf();
  learnMoreView_->addGestureRecognizer(
      std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer&) {
        if (const auto self = weakSelf.lock()) self->learnMoreViewTapped();
      }));
  addSubview(learnMoreView_);
}

void OVDefaultInstreamAdContentView::addAdChoicesView() {
  if (adChoicesView_) adChoicesView_->removeFromSuperview();
  adChoicesIcon_ = OVInstreamAdChoicesIcon::init();
  const auto viewController = rootViewController_ ? rootViewController_->currentViewController() : nullptr;
  adChoicesView_ = OVAdChoicesView::initWithViewController(viewController, inlineClientToken_, adChoicesIcon_,
                                                           platform::URL::parse(kOVInstreamAdChoicesLinkURL),
                                                           std::nullopt, nullptr, true);
  adChoicesView_->setDelegate(sharedSelf());
  adChoicesView_->setCorner(platform::kRectCornerTopLeft);
  addSubview(adChoicesView_);
}

void OVDefaultInstreamAdContentView::addObservers() {
  removeObservers();
  auto& centre = platform::NotificationCenter::defaultCenter();
  const std::weak_ptr<OVDefaultInstreamAdContentView> weakSelf = sharedSelf();
  applicationObservers_.push_back(centre.addObserver(platform::kApplicationWillResignActiveNotification, nullptr,
                                                     platform::DispatchQueue::main(),
                                                     [weakSelf](const platform::Notification&) {
                                                       if (const auto self = weakSelf.lock())
                                                         self->applicationWillResignActive();
                                                     }));
  applicationObservers_.push_back(centre.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr,
                                                     platform::DispatchQueue::main(),
                                                     [weakSelf](const platform::Notification&) {
                                                       if (const auto self = weakSelf.lock())
                                                         self->applicationDidBecomeActive();
                                                     }));
}

void OVDefaultInstreamAdContentView::removeObservers() {
  auto& centre = platform::NotificationCenter::defaultCenter();
  for (const auto token : applicationObservers_) centre.removeObserver(token);
  applicationObservers_.clear();
}

void OVDefaultInstreamAdContentView::applicationWillResignActive() {
  if (videoView_) videoView_->stop();
}

void OVDefaultInstreamAdContentView::applicationDidBecomeActive() {
  if (videoView_ && !paused_) videoView_->start();
}

void OVDefaultInstreamAdContentView::cleanLayout() {
  // Stopping also gives up a stall timeout that would otherwise fail the
  // ad after it is over.
  if (videoView_) videoView_->stop();
  removeObservers();
  if (adChoicesView_) adChoicesView_->removeFromSuperview();
  if (learnMoreView_) learnMoreView_->removeFromSuperview();
  if (skipButtonView_) skipButtonView_->removeFromSuperview();
  if (videoView_) videoView_->removeFromSuperview();
}

void OVDefaultInstreamAdContentView::skipButtonViewTapped() {
  const MediaTime remaining = skipRemainingTime();
  if (!remaining.isValid() || remaining > MediaTime::zero()) return;
  cleanLayout();
  if (const auto delegate = this->delegate()) delegate->contentViewDidSkip(sharedSelf());
}

void OVDefaultInstreamAdContentView::learnMoreViewTapped() {
  if (const auto delegate = this->delegate()) delegate->contentViewDidClickthrough(sharedSelf());
}

void OVDefaultInstreamAdContentView::updateCountdownText() {
  if (countdownView_) countdownView_->setText(formattedCountdownFromRemainingSeconds(lastRemainingTimeSeconds_));
}

void OVDefaultInstreamAdContentView::updateSkipButtonRemainingTime() {
  if (skipButtonView_) skipButtonView_->setRemainingSeconds(skipRemainingSeconds());
}

void OVDefaultInstreamAdContentView::failWithNetworkError() {
  cleanLayout();
  if (const auto delegate = this->delegate()) {
    delegate->contentView(sharedSelf(), OVAdError::getNSError(kNetworkErrorCode));
  }
}

void OVDefaultInstreamAdContentView::videoViewDidLoad(const std::shared_ptr<OVInstreamAdVideoView>&) {
  if (const auto delegate = this->delegate()) delegate->contentViewDidLoad(sharedSelf());
}

void OVDefaultInstreamAdContentView::videoViewTapped(const std::shared_ptr<OVInstreamAdVideoView>& videoView) {
  if (videoView->isPlaying()) {
    pause();
  } else {
    resume();
  }
}

void OVDefaultInstreamAdContentView::videoViewDidProgress(const std::shared_ptr<OVInstreamAdVideoView>& videoView) {
  const auto self = sharedSelf();
  if (const auto delegate = this->delegate()) delegate->contentViewDidProgress(self);
  // The skip button follows its own time, so it turns to "Skip Ad" at the
  // tick the skip time is reached rather than at the video's next second.
  updateSkipButtonRemainingTime();
  const std::uint64_t remaining =
      ceilingSeconds(platform::subtract(videoView->duration(), videoView->currentTime()), 1);
  if (remaining == lastRemainingTimeSeconds_) return;
  lastRemainingTimeSeconds_ = remaining;
  updateCountdownText();
}

void OVDefaultInstreamAdContentView::videoViewDidEnd(const std::shared_ptr<OVInstreamAdVideoView>&) {
  cleanLayout();
  const auto self = sharedSelf();
  if (const auto delegate = this->delegate()) {
    delegate->contentViewDidEnd(self);
    delegate->contentViewDidUnload(self);
  }
}

void OVDefaultInstreamAdContentView::videoView(const std::shared_ptr<OVInstreamAdVideoView>&,
                                               const std::optional<platform::Error>&) {
  // Whatever went wrong with the video, the ad reports it as the network's.
  failWithNetworkError();
}

void OVDefaultInstreamAdContentView::adChoicesViewWillPresentViewController(
    const std::shared_ptr<OVAdChoicesView>&, const std::shared_ptr<platform::ViewController>&) {
  if (videoView_) videoView_->stop();
}

void OVDefaultInstreamAdContentView::adChoicesViewViewControllerDismissed(
    const std::shared_ptr<OVAdChoicesView>&, const std::shared_ptr<platform::ViewController>&) {
  if (videoView_ && !paused_) videoView_->start();
}

}  // namespace plexora
