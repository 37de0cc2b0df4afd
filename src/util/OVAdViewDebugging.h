// Diagnostics for developers who wonder why an ad view is not seen or not
// tapped: descriptions of a view's ancestry and the findings that make a
// view invisible or deaf to touches. The library itself never calls them.
//
// Thread safety: main thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace plexora::platform {
class ScrollView;
class View;
}  // namespace plexora::platform

namespace plexora {

// "<Type: 0x...; frame = (x y; width height)>".
std::string ov_viewDescription(const platform::View& view);

// The view's ancestors from the root down to the view itself, one per line,
// each indented by one more "\t| " than its parent; starts with "\n".
std::string ov_ancestorHierarchyDescription(const platform::View& view);

// The view when it is a scroll view; otherwise, while the limit is above 0,
// the first scroll view found below each subview in order with the limit
// one less; none when there is none.
std::shared_ptr<platform::ScrollView> ov_firstDescendentScrollViewWithRecurseLimit(
    const std::shared_ptr<platform::View>& view, std::size_t limit);
std::shared_ptr<platform::ScrollView> ov_firstDescendentScrollView(const std::shared_ptr<platform::View>& view);

// Every reason found why the view may not be visible, one per line after a
// leading "\n", or that none was found.
std::string ov_whyIsThisViewNotVisible(const platform::View& view);
// The same for why it may not take touches.
std::string ov_whyIsThisViewNotInteractable(const platform::View& view);

}  // namespace plexora
