#include "adapters/views/video/OVAdVideoView.h"

namespace plexora {

OVAdVideoView::OVAdVideoView() { setBackgroundColor(platform::Color::black()); }

std::shared_ptr<OVAdVideoView> OVAdVideoView::self() {
  return std::static_pointer_cast<OVAdVideoView>(sharedView());
}

void OVAdVideoView::videoDidChangeVolume() {
  if (const auto listener = delegate()) listener->videoViewDidChangeVolume(self());
}

void OVAdVideoView::videoDidLoad() {
  if (const auto listener = delegate()) listener->videoViewDidLoad(self());
}

void OVAdVideoView::videoDidPause() {
  if (const auto listener = delegate()) listener->videoViewDidPause(self());
}

void OVAdVideoView::videoDidPlay() {
  if (const auto listener = delegate()) listener->videoViewDidPlay(self());
}

void OVAdVideoView::videoDidEngageSeek() {
  if (const auto listener = delegate()) listener->videoViewDidEngageSeek(self());
}

void OVAdVideoView::videoDidSeek() {
  if (const auto listener = delegate()) listener->videoViewDidSeek(self());
}

void OVAdVideoView::videoDidDisengageSeek() {
  if (const auto listener = delegate()) listener->videoViewDidDisengageSeek(self());
}

void OVAdVideoView::videoDidEnd() {
  if (const auto listener = delegate()) listener->videoViewDidEnd(self());
}

void OVAdVideoView::videoDidFailWithError(const platform::Error& error) {
  if (const auto listener = delegate()) listener->videoView(self(), error);
}

}  // namespace plexora
