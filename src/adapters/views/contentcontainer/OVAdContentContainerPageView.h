// The view that stands for a container's page in the owner's view tree: the
// page follows its size, and it hands out the page's last drawn frame.
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
  explicit OVAdContentContainerPageView(std::shared_ptr<platform::WebContentView> page);

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // The page's last frame, or null before it drew anything.
  std::shared_ptr<platform::Image> snapshot() const;

 private:
  void sizePage();

  std::shared_ptr<platform::WebContentView> page_;
};

}  // namespace plexora
