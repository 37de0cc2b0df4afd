#include "util/OVAdViewDebugging.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace plexora {

namespace {

constexpr std::size_t kDefaultScrollViewRecurseLimit = 4;
constexpr const char* kIndentation = "\t| ";

constexpr const char* kZeroSizeFinding = "The width or height is 0. Did you forget to set the frame?\n";
constexpr const char* kNegativeOriginFinding = "The x or y values are smaller than 0\n";
constexpr const char* kZeroAlphaFinding = "View's alpha property is 0\n";
constexpr const char* kNoSuperviewFinding = "View's superview is nil. Did you forget to call addSubview?\n";
constexpr const char* kNoWindowFinding = "View is not in the view hierarchy\n";
constexpr const char* kClearBackgroundFinding = "View has a clear background\n";
constexpr const char* kSameBackgroundFinding = "View's background color is equal to superview's background color\n";
constexpr const char* kHiddenBehindFinding = "View is hidden behind another view ";
constexpr const char* kLikelyVisible = "No issues found, view is likely visible.";

constexpr const char* kInteractionDisabledFinding = "userInteractionEnabled property is false\n";
constexpr const char* kControlDisabledFinding = "isEnabled property is false\n";
constexpr const char* kDisabledStateFinding = "state property contains UIControlStateDisabled\n";
constexpr const char* kNoActionsFinding = "No target/action pairs have been added to this control\n";
constexpr const char* kLikelyInteractible = "No issues found, view is likely interactible.";

std::string typeName(const platform::View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  return name;
}

}  // namespace

std::string ov_viewDescription(const platform::View& view) {
  const platform::Rect frame = view.frame();
  char geometry[160];
  std::snprintf(geometry, sizeof geometry, "; frame = (%g %g; %g %g)>", frame.origin.x, frame.origin.y,
                frame.size.width, frame.size.height);
  char address[32];
  std::snprintf(address, sizeof address, ": %p", static_cast<const void*>(&view));
  return "<" + typeName(view) + address + geometry;
}

std::string ov_ancestorHierarchyDescription(const platform::View& view) {
  std::vector<const platform::View*> chain{&view};
  std::vector<std::shared_ptr<platform::View>> keepAlive;
  for (auto ancestor = view.superview(); ancestor; ancestor = ancestor->superview()) {
    chain.push_back(ancestor.get());
    keepAlive.push_back(ancestor);
  }
  std::string text = "\n";
  std::string indentation;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    text += indentation + ov_viewDescription(**it) + "\n";
    indentation += kIndentation;
  }
  return text;
}

std::shared_ptr<platform::ScrollView> ov_firstDescendentScrollViewWithRecurseLimit(
    const std::shared_ptr<platform::View>& view, std::size_t limit) {
  if (!view) {
    return nullptr;
  }
  if (auto scrollView = std::dynamic_pointer_cast<platform::ScrollView>(view)) {
    return scrollView;
  }
  if (limit == 0) {
    return nullptr;
  }
  for (const auto& subview : view->subviews()) {
    if (auto found = ov_firstDescendentScrollViewWithRecurseLimit(subview, limit - 1)) {
      return found;
    }
  }
  return nullptr;
}

std::shared_ptr<platform::ScrollView> ov_firstDescendentScrollView(const std::shared_ptr<platform::View>& view) {
  return ov_firstDescendentScrollViewWithRecurseLimit(view, kDefaultScrollViewRecurseLimit);
}

std::string ov_whyIsThisViewNotVisible(const platform::View& view) {
  std::string findings;
  const platform::Rect frame = view.frame();
  if (frame.size.width == 0.0 || frame.size.height == 0.0) {
    findings += kZeroSizeFinding;
  }
  if (frame.origin.x < 0.0 || frame.origin.y < 0.0) {
    findings += kNegativeOriginFinding;
  }
  if (view.alpha() == 0.0) {
    findings += kZeroAlphaFinding;
  }
  const auto superview = view.superview();
  if (!superview) {
    findings += kNoSuperviewFinding;
  }
  if (!view.window()) {
    findings += kNoWindowFinding;
  }
  const auto& background = view.backgroundColor();
  if (!background || *background == platform::Color::clear()) {
    findings += kClearBackgroundFinding;
  }
  if (superview) {
    const auto& superBackground = superview->backgroundColor();
    if (background && superBackground && *background == *superBackground) {
      findings += kSameBackgroundFinding;
    }
    bool later = false;
    for (const auto& sibling : superview->subviews()) {
      if (sibling.get() == &view) {
        later = true;
        continue;
      }
      if (later && sibling->frame().containsRect(frame)) {
        findings += kHiddenBehindFinding + ov_viewDescription(*sibling) + "\n";
      }
    }
  }
  return "\n" + (findings.empty() ? std::string(kLikelyVisible) : findings);
}

std::string ov_whyIsThisViewNotInteractable(const platform::View& view) {
  std::string findings;
  if (!view.isUserInteractionEnabled()) {
    findings += kInteractionDisabledFinding;
  }
  if (const auto* control = dynamic_cast<const platform::Control*>(&view)) {
    if (!control->isEnabled()) {
      findings += kControlDisabledFinding;
    } else if ((control->state() & platform::kControlStateDisabled) != 0) {
      findings += kDisabledStateFinding;
    }
    if (control->allControlEvents() == 0) {
      findings += kNoActionsFinding;
    }
  }
  return "\n" + (findings.empty() ? std::string(kLikelyInteractible) : findings);
}

}  // namespace plexora
