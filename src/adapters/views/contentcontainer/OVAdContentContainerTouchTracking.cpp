#include "adapters/views/contentcontainer/OVAdContentContainerTouchTracking.h"

#include "util/OVAdInlineHelpers.h"

namespace plexora {

void OVAdContentContainerTouchBegan(OVAdContentContainer& container, const platform::Touches& touches,
                                    const platform::Event& event) {
  // Only a new touch moves the start: the record must say where and when
  // the click began, not where it ended.
  if (!touches.empty()) {
    container.setLastTouchStartTimestamp(OVAdEventTimestampToEpoch(event.timestamp()));
    container.setLastTouchStartLocation(touches.front()->locationInView(touches.front()->view().get()));
  }
  OVAdContentContainerTouchChanged(container, touches, event);
}

void OVAdContentContainerTouchChanged(OVAdContentContainer& container, const platform::Touches& touches,
                                      const platform::Event& event) {
  if (touches.empty()) {
    return;
  }
  const platform::Touch& last = *touches.back();
  container.setLastTouchCurrentLocation(last.locationInView(last.view().get()));
  container.setLastTouchCurrentTimestamp(OVAdEventTimestampToEpoch(event.timestamp()));
  container.setLastTouchRadius(last.majorRadius());
  container.setLastTouchPressure(last.force());
}

}  // namespace plexora
