// The responder chain: views, view controllers, windows and the application
// each know the next object that may handle what they leave alone. A view's
// next responder is its view controller when it is one's view, else its
// superview; see each class for the rest of the chain.
//
// Thread safety: main thread only.
// Ownership: responders are owned through shared_ptr; nextResponder() hands
// out a strong reference for the caller's use only.
#pragma once

#include <memory>

#include "platform/Export.h"
#include "platform/ui/Touch.h"

namespace plexora::platform {

class PLEXORA_EXPORT Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;

  virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }

  // Touches of the view the touch began in. Unless overridden, each hands
  // the touches on to the next responder.
  virtual void touchesBegan(const Touches& touches, const Event& event);
  virtual void touchesMoved(const Touches& touches, const Event& event);
  virtual void touchesEnded(const Touches& touches, const Event& event);
  virtual void touchesCancelled(const Touches& touches, const Event& event);

 protected:
  Responder() = default;
};

}  // namespace plexora::platform
