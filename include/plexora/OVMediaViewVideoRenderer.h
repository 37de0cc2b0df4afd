// The view that plays a native ad's video inside its media view. The media
// view makes its own renderer; a host may hand it a subclass instead.
//
// Views of this class take no part in an ad's own touch targets.
//
// Thread safety: main thread only.
// Ownership: the media view owns its renderer; the renderer keeps both
// blocks of a load until it has used them.
#pragma once

#include <functional>
#include <string>

#include "platform/Export.h"
#include "platform/foundation/URL.h"
#include "platform/ui/View.h"

namespace plexora {

class PLEXORA_EXPORT OVMediaViewVideoRenderer : public platform::View {
 public:
  using Block = std::function<void()>;

  // Loads the video through the resource cache and starts logging its
  // playback against the client token. `loadedBlock` runs when the video is
  // ready; `failureBlock` when it cannot be loaded or its playback is
  // interrupted.
  virtual void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled,
                            Block loadedBlock, Block failureBlock) = 0;
  // Width over height of the video.
  virtual double aspectRatio() const = 0;
  virtual float volume() const = 0;
  virtual void playVideo() = 0;

 protected:
  OVMediaViewVideoRenderer() = default;
};

}  // namespace plexora
