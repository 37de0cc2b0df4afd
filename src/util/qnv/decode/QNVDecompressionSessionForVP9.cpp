#include "util/qnv/decode/QNVDecompressionSessionForVP9.h"

#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {
constexpr const char* kVP9NotSupported = "VP9 codec not yet supported in prod";
}  // namespace

std::shared_ptr<QNVDecompressionSessionForVP9> QNVDecompressionSessionForVP9::initWithDelegate(
    const std::weak_ptr<QNVDecompressionSessionDelegate>&, const platform::VideoFormatDescription&, platform::Size,
    bool, const std::shared_ptr<QNVTimerManager>&) {
  QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported);
  return nullptr;
}

void QNVDecompressionSessionForVP9::closeSession() { QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported); }

std::string QNVDecompressionSessionForVP9::description() const {
  QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported);
  return {};
}

void QNVDecompressionSessionForVP9::enqueueSampleBuffer(const platform::SampleBuffer&, uint64_t) {
  QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported);
}

bool QNVDecompressionSessionForVP9::canAcceptFormatDescription(const platform::VideoFormatDescription&) const {
  QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported);
  return false;
}

platform::Size QNVDecompressionSessionForVP9::inputSize() const {
  QNV_SOFT_ASSERT(false, "%s", kVP9NotSupported);
  return {};
}

}  // namespace plexora
