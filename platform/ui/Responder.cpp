#include "platform/ui/Responder.h"

namespace plexora::platform {

void Responder::touchesBegan(const Touches& touches, const Event& event) {
  if (auto next = nextResponder()) {
    next->touchesBegan(touches, event);
  }
}

void Responder::touchesMoved(const Touches& touches, const Event& event) {
  if (auto next = nextResponder()) {
    next->touchesMoved(touches, event);
  }
}

void Responder::touchesEnded(const Touches& touches, const Event& event) {
  if (auto next = nextResponder()) {
    next->touchesEnded(touches, event);
  }
}

void Responder::touchesCancelled(const Touches& touches, const Event& event) {
  if (auto next = nextResponder()) {
    next->touchesCancelled(touches, event);
  }
}

}  // namespace plexora::platform
