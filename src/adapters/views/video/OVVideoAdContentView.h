// The base of the views that show one video ad with its controls: the
// in-stream content view and the video interstitial's content view. The
// owner hands it the ad's data model, starts it once presented, and hears
// every playback event through OVVideoAdContentViewDelegate.
//
// Thread safety: main thread only.
// Ownership: the owner holds the content view; the view holds its delegate
// weakly and keeps the root view controller's proxy it was started from.
#pragma once

#include <memory>

#include "platform/foundation/Error.h"
#include "platform/ui/View.h"

namespace plexora {

class OVInstreamAdDataModel;
class OVAdViewControllerProxy;
class OVVideoAdContentView;

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
  virtual void setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate> delegate) = 0;
  // Prepares the video; the delegate then hears that it loaded or failed.
  virtual void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) = 0;
  // Starts playback once the view is on screen.
  virtual void startFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) = 0;

 protected:
  OVVideoAdContentView() = default;
};

}  // namespace plexora
