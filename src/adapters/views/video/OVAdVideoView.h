// A media-view video renderer that tells a delegate of its playback: each
// hook of the renderer goes to the delegate's operation of the same event,
// with the view as first argument. The interstitial's video content view
// plays its video through one.
//
// Thread safety: main thread only.
// Ownership: whoever shows the view owns it; it holds its delegate weakly.
#pragma once

#include <memory>

#include "platform/foundation/Error.h"
#include "plexora/OVMediaViewVideoRenderer.h"

namespace plexora {

class OVAdVideoView;

class OVAdVideoViewDelegate {
 public:
  virtual ~OVAdVideoViewDelegate() = default;

  virtual void videoViewDidLoad(const std::shared_ptr<OVAdVideoView>& videoView) = 0;
  // The others are optional: a delegate overrides those it wants.
  virtual void videoViewDidChangeVolume(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidPause(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidPlay(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidEngageSeek(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidSeek(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidDisengageSeek(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoViewDidEnd(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {}
  virtual void videoView(const std::shared_ptr<OVAdVideoView>& /*videoView*/, const platform::Error& /*didFailWithError*/) {}
};

class OVAdVideoView : public OVMediaViewVideoRenderer {
 public:
  static std::shared_ptr<OVAdVideoView> init() { return std::make_shared<OVAdVideoView>(); }
  // Black behind the picture.
  OVAdVideoView();

  // Loads take no blocks here (loadVideoURL(url, token, autoplay)): the
  // delegate hears of the outcome.

  std::shared_ptr<OVAdVideoViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdVideoViewDelegate> delegate) { delegate_ = std::move(delegate); }

 protected:
  void videoDidChangeVolume() override;
  void videoDidLoad() override;
  void videoDidPause() override;
  void videoDidPlay() override;
  void videoDidEngageSeek() override;
  void videoDidSeek() override;
  void videoDidDisengageSeek() override;
  void videoDidEnd() override;
  void videoDidFailWithError(const platform::Error& error) override;

 private:
  std::shared_ptr<OVAdVideoView> self();

  std::weak_ptr<OVAdVideoViewDelegate> delegate_;
};

}  // namespace plexora
