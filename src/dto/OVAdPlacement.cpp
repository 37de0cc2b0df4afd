#include "dto/OVAdPlacement.h"

#include <utility>

namespace plexora {

OVAdPlacement::OVAdPlacement(std::int64_t code, std::string message,
                             std::shared_ptr<OVAdPlacementDefinition> definition,
                             std::vector<std::shared_ptr<OVAdCandidate>> adCandidates)
    : code_(code),
      message_(std::move(message)),
      definition_(std::move(definition)),
      adCandidates_(std::move(adCandidates)) {}

std::shared_ptr<OVAdPlacement> OVAdPlacement::copy() const {
  std::vector<std::shared_ptr<OVAdCandidate>> candidates;
  candidates.reserve(adCandidates_.size());
  for (const auto& candidate : adCandidates_) {
    candidates.push_back(candidate->copy());
  }
  return std::make_shared<OVAdPlacement>(code_, message_, definition_, std::move(candidates));
}

}  // namespace plexora
