#include "adapters/OVDisplayAdAdapter.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "platform/foundation/Exception.h"

namespace plexora {

namespace {

constexpr const char* kNotImplementedFormat = "[%s %s:] not implemented.";

std::string demangled(const std::type_info& type) {
  int status = 0;
  char* text = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  if (status != 0 || text == nullptr) {
    std::free(text);
    return type.name();
  }
  std::string name(text);
  std::free(text);
  return name;
}

// "plexora::OVPXBannerAdAdapter" -> "OVPXBannerAdAdapter": the run time's
// class names carry no namespaces.
std::string unqualified(const std::string& name) {
  const std::string::size_type templateStart = name.find('<');
  const std::string plain = name.substr(0, templateStart);
  const std::string::size_type separator = plain.rfind("::");
  return separator == std::string::npos ? plain : plain.substr(separator + 2);
}

std::string formatted(const std::string& className, const char* operation) {
  std::string reason(kNotImplementedFormat);
  reason.replace(reason.find("%s"), 2, className);
  reason.replace(reason.find("%s"), 2, operation);
  return reason;
}

}  // namespace

OVDisplayAdAdapter::OVDisplayAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : delegate_(std::move(delegate)) {}

std::string OVDisplayAdAdapter::className() const { return unqualified(demangled(typeid(*this))); }

std::optional<std::string> OVDisplayAdAdapter::getAdNetwork() { return std::nullopt; }

void OVDisplayAdAdapter::loadAdData(const platform::Dictionary& /*adData*/, OVAdSize /*size*/,
                                    std::int64_t /*orientation*/, const std::string& /*placement*/,
                                    const std::shared_ptr<OVAdPlacementDefinition>& /*placementDefinition*/,
                                    const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  raiseNotImplemented("loadAdData");
}

bool OVDisplayAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& /*rootViewController*/) {
  raiseNotImplemented("startAdFromRootViewController");
}

bool OVDisplayAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& /*rootViewController*/, bool /*animated*/) {
  raiseNotImplemented("startAdFromRootViewController");
}

void OVDisplayAdAdapter::registerViewForInteraction(
    const std::shared_ptr<platform::View>& /*view*/,
    const std::shared_ptr<platform::ViewController>& /*viewController*/) {}

void OVDisplayAdAdapter::unregisterView() {}

void OVDisplayAdAdapter::onImpressionWithExtraData(const platform::Dictionary& /*extraData*/,
                                                   const platform::Dictionary& /*postData*/) {
  raiseNotImplemented("onImpressionWithExtraData");
}

void OVDisplayAdAdapter::onImpressionMissWithExtraData(const platform::Dictionary& /*extraData*/,
                                                       const platform::Dictionary& /*postData*/) {}

void OVDisplayAdAdapter::onClickForViewController(
    const std::shared_ptr<platform::ViewController>& /*viewController*/, const platform::Dictionary& /*extraData*/) {
  raiseNotImplemented("onClickForViewController");
}

void OVDisplayAdAdapter::raiseNotImplemented(const char* operation) const {
  throw platform::Exception(platform::kInternalInconsistencyException, formatted(className(), operation));
}

}  // namespace plexora
