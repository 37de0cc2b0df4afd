// The decoder slot for VP9 streams, which the engine does not decode yet:
// every operation fails a soft assertion, and no session is ever made.
//
// Thread safety: as QNVDecompressionSession.
#pragma once

#include <memory>
#include <string>

#include "util/qnv/decode/QNVDecompressionSession.h"

namespace plexora {

class QNVDecompressionSessionForVP9 final : public QNVDecompressionSession {
 public:
  // Always none.
  static std::shared_ptr<QNVDecompressionSessionForVP9> initWithDelegate(
      const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate,
      const platform::VideoFormatDescription& sampleBufferFormatDescription, platform::Size videoSize, bool async,
      const std::shared_ptr<QNVTimerManager>& timerManager);

  void closeSession() override;
  std::string description() const;
  void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint64_t iFrame) override;
  bool canAcceptFormatDescription(const platform::VideoFormatDescription& formatDescription) const override;
  platform::Size inputSize() const override;

 private:
  QNVDecompressionSessionForVP9() = default;
};

}  // namespace plexora
