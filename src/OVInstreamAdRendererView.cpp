#include "OVInstreamAdRendererView.h"

#include <algorithm>
#include <cstdio>

#include "adapters/OVPXInstreamAdAdapter.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/value/Value.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

// The reader tells only that the text is no JSON, not where.
constexpr const char* kNotJSONDescription = "The text is not valid JSON";

std::string parseFailure(const platform::Error& error) {
  const std::string description = error.localizedDescription();
  const auto code = static_cast<long>(error.code());
  const int length = std::snprintf(nullptr, 0, kOVInstreamAdRendererParseFailedFormat, code, description.c_str());
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, kOVInstreamAdRendererParseFailedFormat, code, description.c_str());
  return text;
}

}  // namespace

std::shared_ptr<OVInstreamAdRendererView> OVInstreamAdRendererView::create() {
  return std::shared_ptr<OVInstreamAdRendererView>(new OVInstreamAdRendererView());
}

void OVInstreamAdRendererView::loadAdFromAdParameters(const std::optional<std::string>& adParameters) {
  if (instreamAdapter_) {
    OV_LOG(kOVAdLogLevelError, "%s", kOVInstreamAdRendererAlreadyLoadedMessage);
    return;
  }
  if (!adParameters) {
    failWithReason(kOVInstreamAdRendererNotDataMessage);
    return;
  }
  const std::optional<platform::Value> parsed = platform::parseJSON(*adParameters);
  if (!parsed) {
    const platform::Error parseError = OVAdError::getNSError(kOVAdErrorCodeInternalError, kNotJSONDescription);
    failWithReason(parseFailure(parseError));
    return;
  }
  if (!parsed->isDictionary()) {
    failWithReason(kOVInstreamAdRendererUnexpectedDataMessage);
    return;
  }
  instreamAdapter_ = std::make_shared<OVPXInstreamAdAdapter>(sharedRendererView());
  // The adapter may report before the call returns; hold it meanwhile.
  const auto adapter = instreamAdapter_;
  adapter->loadAdData(parsed->asDictionary());
}

bool OVInstreamAdRendererView::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  if (!isAdValid() || started_) return false;
  const std::shared_ptr<platform::View> adView = instreamAdapter_->adView();
  if (adView) {
    adView->setFrame(bounds());
    adView->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
    addSubview(adView);
  }
  // A valid ad whose video has not loaded yet does not start: the show
  // answers so and may be tried again, instead of claiming a start that
  // never comes.
  started_ = instreamAdapter_->startAdFromRootViewController(
      OVAdViewControllerProxy::proxyWithViewController(rootViewController));
  if (!started_ && adView) adView->removeFromSuperview();
  return started_;
}

bool OVInstreamAdRendererView::isAdValid() const { return instreamAdapter_ && instreamAdapter_->isAdValid(); }

void OVInstreamAdRendererView::failWithReason(const std::string& reason) {
  OV_LOG(kOVAdLogLevelError, "%s", reason.c_str());
  failedWithError(OVAdError::getNSError(kOVAdErrorCodeInternalError));
}

void OVInstreamAdRendererView::failedWithError(const platform::Error& error) {
  if (const auto target = delegate()) target->adRendererView(sharedRendererView(), error);
}

// ---- The adapter's reports ----

void OVInstreamAdRendererView::adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {
  if (const auto target = delegate()) target->adRendererViewDidLoad(sharedRendererView());
}

// A shown ad ends or fails once: a late failure of its video, a second
// unload or an unload after a failure is not news to the host. A failure
// before the start (a load, a show refused offline) leaves the ad to a
// later show.
void OVInstreamAdRendererView::adapter(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/,
                                       const platform::Error& error) {
  if (finished_) return;
  finished_ = started_;
  failedWithError(error);
}

void OVInstreamAdRendererView::adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {
  if (const auto target = delegate()) target->adRendererViewWillLogImpression(sharedRendererView());
}

void OVInstreamAdRendererView::adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/,
                                               const std::optional<platform::URL>& /*url*/, bool /*playerHandles*/) {
  if (const auto target = delegate()) target->adRendererViewDidClick(sharedRendererView());
}

void OVInstreamAdRendererView::adapterDidFinishHandlingClick(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {
  if (const auto target = delegate()) target->adRendererViewDidFinishHandlingClick(sharedRendererView());
}

void OVInstreamAdRendererView::adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {
  if (finished_) return;
  finished_ = true;
  if (const auto target = delegate()) target->adRendererViewDidEnd(sharedRendererView());
}

}  // namespace plexora
