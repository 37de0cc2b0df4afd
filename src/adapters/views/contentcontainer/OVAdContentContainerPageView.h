// The view that stands for a container's page in the owner's view tree: the
// page follows its size, the view draws the page's last frame in its
// bounds, and a touch on it works the page as a pointer at the same spot.
//
// Thread safety: main thread only.
// Ownership: the container owns the view; the view shares the web view.
#pragma once

#include <memory>

#include "platform/ui/View.h"
#include "platform/web/WebContentView.h"

namespace plexora {

class OVAdContentContainerPageView : public platform::View {
 public:
  // The page draws `pixelsPerPoint` pixels a point of the view.
  explicit OVAdContentContainerPageView(std::shared_ptr<platform::WebContentView> page, double pixelsPerPoint = 1.0);

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // The page's last frame, or null before it drew anything.
  std::shared_ptr<platform::Image> snapshot() const;

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
  void touchesBegan(const platform::Touches& touches, const platform::Event& event) override;
  void touchesMoved(const platform::Touches& touches, const platform::Event& event) override;
  void touchesEnded(const platform::Touches& touches, const platform::Event& event) override;
  void touchesCancelled(const platform::Touches& touches, const platform::Event& event) override;

 private:
  void sizePage();
  void point(const platform::Touches& touches, platform::WebPointerPhase phase);

  std::shared_ptr<platform::WebContentView> page_;
  double pixelsPerPoint_;
};

}  // namespace plexora
