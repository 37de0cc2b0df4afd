// Chooses the video representation (quality) of a DASH presentation: a
// quality whose bytes the fetcher already holds, or a choice by one of four
// rules over the representations' properties, optionally stepped down to
// the smallest representation that still covers the screen.
//
// Every walk follows the order it is given (the manifest's order), never a
// hash order, so one manifest always gives one choice; the random rule
// draws from a source that can be seeded.
//
// Thread safety: none; runs on its caller's thread (the playlist loader's
// or the asset's queue).
// Ownership: holds the bandwidth provider strongly (type 1 only).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVBufferSizeDecider.h"
#include "util/qnv/dash/QNVDashTrackMetadata.h"
#include "util/qnv/dash/QNVMediaPresentationDescription.h"

namespace plexora {

enum : int64_t {
  // The first id ending in "d".
  kQNVAbrSelectorTypeDefault = 0,
  // The highest bandwidth within a fraction of the estimate, else the lowest.
  kQNVAbrSelectorTypeBandwidth = 1,
  kQNVAbrSelectorTypeHighest = 2,
  kQNVAbrSelectorTypeRandom = 3,
};
inline constexpr int64_t kQNVAbrFilterScreenResolution = 1;

struct QNVAbrParameters {
  double fractionOfAvailableBandwidthToUse = 0;
};

// A configured type number as a selector type: 0 to 3 unchanged, anything
// else 0 (logged).
int64_t QNVValidatedSelectorType(uint32_t value);

using QNVRepresentationPropertiesById = std::map<std::string, QNVDashRepresentationProperties>;

class QNVAdaptiveBitrateSelector {
 public:
  // Type 1 without a provider becomes type 0; its fraction outside (0, 1]
  // becomes 0.5. The screen is read once, when the filter is on. Without a
  // seed the random rule seeds itself from the system.
  QNVAdaptiveBitrateSelector(int64_t type, int64_t filter, QNVAbrParameters parameters,
                             std::shared_ptr<QNVBandwidthProvider> bandwidthProvider,
                             std::optional<uint64_t> randomSeed = std::nullopt);

  std::string description() const;
  int64_t type() const { return type_; }
  double lastBandwidthEstimateInBitsPerSecond() const { return lastBandwidthEstimateInBitsPerSecond_; }

  // The first video track whose data the fetcher already holds; null when
  // none does.
  const QNVDashTrackMetadata* ifAvailableSelectPrefetchedVideoTrackFromMpd(
      const QNVMediaPresentationDescription& mpd, const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader);
  // The chosen track of the list; null for an empty list or a failed choice.
  const QNVDashTrackMetadata* selectVideoTrackFromList(const std::vector<QNVDashTrackMetadata>& tracks);
  // The chosen id among `available` (walked in its order); `defaultId` when
  // the rule finds none.
  std::optional<std::string> selectRepresentationIdFromMetadata(const QNVRepresentationPropertiesById& metadata,
                                                                const std::vector<std::string>& available,
                                                                const std::optional<std::string>& defaultId);

  void forTestingOverrideScreenWidth(double width, double height);
  void forTestingOverrideBandwidthProvider(std::shared_ptr<QNVBandwidthProvider> provider);

 private:
  std::optional<std::string> chooseByType(const QNVRepresentationPropertiesById& metadata,
                                          const std::vector<std::string>& available,
                                          const std::optional<std::string>& defaultId);
  std::optional<std::string> chooseByBandwidth(const QNVRepresentationPropertiesById& metadata,
                                               const std::vector<std::string>& available,
                                               const std::optional<std::string>& defaultId);
  std::string filterByScreen(const QNVRepresentationPropertiesById& metadata, const std::vector<std::string>& available,
                             std::string chosen) const;

  int64_t type_;
  int64_t filter_;
  std::shared_ptr<QNVBandwidthProvider> bandwidthProvider_;
  double fractionOfAvailableBandwidthToUse_ = 0;
  double screenWidth_ = 0;
  double screenHeight_ = 0;
  double lastBandwidthEstimateInBitsPerSecond_ = 0;
  std::mt19937_64 random_;
};

}  // namespace plexora
