#include "internal/bridging/OVAdEngineProbes.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr const char* kCocos2dViewClassName = "CCEAGLView";
constexpr const char* kNoCocos2dViewMessage = "No Cocos2d view was found.";

// The unqualified name of the view's dynamic type.
std::string dynamicClassName(const platform::View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  const auto scope = name.rfind("::");
  return scope == std::string::npos ? name : name.substr(scope + 2);
}

}  // namespace

OVAdViewClass OVAdViewClassNamed(std::string className) {
  return [className = std::move(className)](const platform::View& view) { return dynamicClassName(view) == className; };
}

std::shared_ptr<platform::View> OVAdFindSubviewOfClass(const std::shared_ptr<platform::View>& view,
                                                       const OVAdViewClass& viewClass) {
  if (!view || !viewClass) return nullptr;
  if (viewClass(*view)) return view;
  for (const auto& subview : view->subviews()) {
    if (auto found = OVAdFindSubviewOfClass(subview, viewClass)) return found;
  }
  return nullptr;
}

std::int64_t OVAdDetectCocos2d(std::shared_ptr<platform::ViewController>* viewController) {
  const auto top = OVAdUtility::topViewController();
  if (!top) return 0;
  if (OVAdFindSubviewOfClass(top->view(), OVAdViewClassNamed(kCocos2dViewClassName))) {
    if (viewController != nullptr) *viewController = top;
    return kOVAdCocos2dDetected;
  }
  OV_LOG(kOVAdLogLevelError, "%s", kNoCocos2dViewMessage);
  return 0;
}

std::shared_ptr<platform::ViewController> OVAdDetectUnity() { return nullptr; }

}  // namespace plexora
