#include "adapters/views/video/OVInstreamLearnMoreView.h"

namespace plexora {

OVInstreamLearnMoreView::OVInstreamLearnMoreView(const std::string& text) {
  setText(text);
  sizeToFitText();
}

}  // namespace plexora
