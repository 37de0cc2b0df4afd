// The base of the views that show one video ad with its controls: the
// in-stream content view and the video interstitial's content view. The
// owner hands it the ad's data model, starts it once presented, and hears
// every playback event through OVVideoAdContentViewDelegate.
//
// The base keeps the countdown settings of the data model and formats the
// countdown text; the playback properties answer the values of a view with
// no video (time zero, not autoplaying, not skippable, full volume) until a
// subclass answers for its video.
//
// Thread safety: main thread only.
// Ownership: the owner holds the content view; the view holds its delegate
// weakly and keeps the root view controller's proxy it was started from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"

namespace plexora {

class OVInstreamAdDataModel;
class OVAdViewControllerProxy;
class OVVideoAdContentView;

// The countdown format's placeholder for the time left.
inline constexpr const char* kOVVideoAdRemainingTimePlaceholder = "{{REMAINING_TIME}}";

// Each operation gets the content view that reports.
class OVVideoAdContentViewDelegate {
 public:
  virtual ~OVVideoAdContentViewDelegate() = default;

  virtual void contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>& contentView) = 0;
  virtual void contentView(const std::shared_ptr<OVVideoAdContentView>& contentView,
                           const platform::Error& didFailWithError) = 0;
};

class OVVideoAdContentView : public platform::View {
 public:
  // ---- Playback, as a subclass's video answers it ----

  virtual platform::MediaTime currentTime() const { return platform::MediaTime::zero(); }
  virtual platform::MediaTime duration() const { return platform::MediaTime::zero(); }
  virtual bool isAutoplay() const { return false; }
  virtual bool skippable() const { return false; }
  // Invalid while the ad cannot be skipped at all.
  virtual platform::MediaTime skipRemainingTime() const { return platform::MediaTime::invalid(); }
  // 0 to 1.
  virtual float volume() const { return 1.0F; }

  // ---- The owner's calls ----

  // Keeps the model's countdown switch and, when the model has one, its
  // countdown format. A subclass runs this first, then prepares the video
  // and tells the delegate that it loaded or failed.
  virtual void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel);
  // Starts playback once the view is on screen; nothing in the base.
  virtual void startFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {}
  // The user's pause and resume; nothing in the base.
  virtual void pause() {}
  virtual void resume() {}

  // ---- Countdown ----

  // The countdown format with every placeholder replaced by the time the
  // seconds read as (timeStringFromDate).
  std::string formattedCountdownFromRemainingSeconds(std::uint64_t seconds) const;
  // The clock time of `secondsSinceReferenceDate` (seconds since
  // 2001-01-01 00:00 UTC) as a span of `duration` seconds reads: "H:mm:ss"
  // from an hour, "mm:ss" from ten minutes, else "m:ss". A date a day or
  // more past the reference date reads from 0:00:00 again.
  static std::string timeStringFromDate(double secondsSinceReferenceDate, double duration);

  bool countdownEnabled() const { return countdownEnabled_; }
  void setCountdownEnabled(bool countdownEnabled) { countdownEnabled_ = countdownEnabled; }
  const std::string& countdownFormat() const { return countdownFormat_; }
  void setCountdownFormat(std::string countdownFormat) { countdownFormat_ = std::move(countdownFormat); }

  std::shared_ptr<OVVideoAdContentViewDelegate> delegate() const { return delegate_.lock(); }
  virtual void setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate> delegate) { delegate_ = std::move(delegate); }

 protected:
  OVVideoAdContentView() = default;

  // Our own reference to the receiver, for passing to the delegate.
  std::shared_ptr<OVVideoAdContentView> sharedContentView() {
    return std::static_pointer_cast<OVVideoAdContentView>(sharedView());
  }

 private:
  bool countdownEnabled_ = false;
  std::string countdownFormat_ = kOVVideoAdRemainingTimePlaceholder;
  std::weak_ptr<OVVideoAdContentViewDelegate> delegate_;
};

}  // namespace plexora
