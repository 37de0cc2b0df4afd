// The parsed answer for one placement: the server's code and message, the
// placement definition and the ordered candidates of the waterfall.
//
// Thread safety: immutable after construction; any thread may read it (the
// candidates bring their own locking for the trackers they fire).
// Ownership: shared by the ads response, the response cache and the load
// controller; it shares its definition and candidates.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacementDefinition.h"

namespace plexora {

class OVAdPlacement final {
 public:
  // `definition` may be null; the candidates may not.
  OVAdPlacement(std::int64_t code, std::string message, std::shared_ptr<OVAdPlacementDefinition> definition,
                std::vector<std::shared_ptr<OVAdCandidate>> adCandidates);
  OVAdPlacement(const OVAdPlacement&) = delete;
  OVAdPlacement& operator=(const OVAdPlacement&) = delete;

  // The same answer with copies of the candidates that have fired nothing
  // yet; the definition is shared.
  std::shared_ptr<OVAdPlacement> copy() const;

  // 0 when ads were served.
  std::int64_t code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::shared_ptr<OVAdPlacementDefinition>& definition() const { return definition_; }
  // The waterfall, tried in order.
  const std::vector<std::shared_ptr<OVAdCandidate>>& adCandidates() const { return adCandidates_; }

 private:
  const std::int64_t code_;
  const std::string message_;
  const std::shared_ptr<OVAdPlacementDefinition> definition_;
  const std::vector<std::shared_ptr<OVAdCandidate>> adCandidates_;
};

}  // namespace plexora
