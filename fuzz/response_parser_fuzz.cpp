// Feeds arbitrary bytes to the ad response parser, as a broken or hostile ad
// server could. It must never crash, call exactly one handler, and hand out
// only consistent responses: an ads response's candidates carry the
// placement's feature configuration, narrow to canned responses at every
// index and copy with nothing fired; the cookie script of its definition
// never leaves its string.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "server/OVAdProviderResponseParser.h"

using plexora::OVAdCandidate;
using plexora::OVAdProviderCannedResponse;
using plexora::OVAdProviderResponse;
using plexora::OVAdProviderResponseAds;
using plexora::OVAdProviderResponseParser;
using plexora::OVAdProviderResponseType;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "response_parser_fuzz: %s\n", what);
  std::abort();
}

void checkCookieScript(const plexora::OVAdPlacementDefinition& definition) {
  const std::string script = plexora::OVAdCookieData::cookieStringForCookies(definition.cookieData());
  require(script.find("</") == std::string::npos, "the cookie script can close its element");
  require(script.find('\n') == std::string::npos, "the cookie script holds a raw line break");
}

void checkAds(const OVAdProviderResponseAds& response) {
  const auto& placement = response.adPlacement();
  require(placement != nullptr, "an ads response without placement");
  const auto& candidates = placement->adCandidates();
  require(placement->code() == 0 || candidates.empty(), "candidates served with a non-zero code");
  if (placement->definition()) {
    checkCookieScript(*placement->definition());
  }
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    const auto canned = OVAdProviderCannedResponse::initWithResponse(response, static_cast<std::int64_t>(index));
    require(canned && canned->cannedPlacement()->adCandidates().size() == 1, "a candidate cannot be canned");
    require(canned->cannedPlacement()->adCandidates()[0] == candidates[index], "a canned response lost its candidate");
  }
  require(!OVAdProviderCannedResponse::initWithResponse(response, static_cast<std::int64_t>(candidates.size())),
          "a canned response past the last candidate");
  const auto copy = response.copy();
  require(copy->adPlacement()->adCandidates().size() == candidates.size(), "a copy lost candidates");
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const auto& copied = *copy->adPlacement()->adCandidates()[i];
    require(!copied.hasFiredTrackers(plexora::OVAdTrackerType::Request), "a copy starts fired");
    require(copied.trackerURLs(plexora::OVAdTrackerType::Unknown).empty(), "URLs kept for an unknown tracker type");
    for (const auto type : {plexora::OVAdTrackerType::Request, plexora::OVAdTrackerType::Impression,
                            plexora::OVAdTrackerType::Click}) {
      require(copied.trackerURLs(type) == candidates[i]->trackerURLs(type), "a copy changed its tracker URLs");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int calls = 0;
  std::shared_ptr<OVAdProviderResponse> response;
  OVAdProviderResponseParser().parseResponseFromData(
      plexora::platform::ByteView(data, size),
      [&](std::shared_ptr<OVAdProviderResponse> parsed) {
        ++calls;
        response = std::move(parsed);
      },
      [&](const std::string& message) {
        ++calls;
        require(!message.empty(), "an empty error message");
      });
  require(calls == 1, "not exactly one handler ran");
  if (response && response->type() == OVAdProviderResponseType::Ads) {
    const auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(response);
    require(ads != nullptr, "an ads type on another response");
    checkAds(*ads);
  }
  // Local cookies are installed on the main queue: run that work now so it
  // does not pile up across inputs.
  plexora::platform::DispatchQueue::settle(1.0);
  return 0;
}
