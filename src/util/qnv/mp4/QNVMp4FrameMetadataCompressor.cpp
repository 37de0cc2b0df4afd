#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

#include <cstdint>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kAbsoluteBelowDts = "Absolute DTS(%llu) smaller than dts(%llu)";
constexpr const char* kAbsoluteTooFar = "Absolute DTS - frame->dts larger than max int";
constexpr const char* kGapInFrames = "Gap in frames";
constexpr uint64_t kGapTolerance = 500;

}  // namespace

void QNVMp4FrameMetadataCompressor::logAnomalies(const QNVMp4FrameRecord* previous, const QNVMp4FrameRecord& frame) {
  if (frame.absoluteDts < frame.dts) {
    OV_LOG(kOVAdLogLevelWarn, kAbsoluteBelowDts, static_cast<unsigned long long>(frame.absoluteDts),
           static_cast<unsigned long long>(frame.dts));
  } else if (frame.absoluteDts - frame.dts > INT32_MAX) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kAbsoluteTooFar);
  }
  if (previous != nullptr && frame.dts - previous->dts > uint64_t{previous->duration} + kGapTolerance) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kGapInFrames);
  }
}

}  // namespace plexora
