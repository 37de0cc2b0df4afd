#include "util/qnv/dash/QNVDashDownloadTracker.h"

#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr const char* kDescriptionFormat = "<%s %p total:%llu/%llu cur:%llu,%llu/%llu-%s prev:%llu-%s>";
constexpr const char* kClassName = "QNVDashDownloadTracker";
constexpr const char* kNil = "(null)";
constexpr const char* kLengthUpdateFormat = "Updating request length for non-zero value: %llu, %s";
constexpr const char* kOverrunFormat = "Received more bytes than expected: %llu, %s";

using ULL = unsigned long long;

const char* shown(const std::optional<std::string>& text) { return text ? text->c_str() : kNil; }

}  // namespace

std::string QNVDashDownloadTracker::description() const {
  const int size =
      std::snprintf(nullptr, 0, kDescriptionFormat, kClassName, static_cast<const void*>(this),
                    static_cast<ULL>(bytesReceived), static_cast<ULL>(bytesRequested),
                    static_cast<ULL>(currentRequestOffset_), static_cast<ULL>(currentRequestBytesReceived_),
                    static_cast<ULL>(currentRequestLength_), shown(currentRequestRepresentationId_),
                    static_cast<ULL>(lastRequestReceiveOffset_), shown(lastRequestRepresentationId_));
  std::string text(static_cast<size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, kDescriptionFormat, kClassName, static_cast<const void*>(this),
                static_cast<ULL>(bytesReceived), static_cast<ULL>(bytesRequested),
                static_cast<ULL>(currentRequestOffset_), static_cast<ULL>(currentRequestBytesReceived_),
                static_cast<ULL>(currentRequestLength_), shown(currentRequestRepresentationId_),
                static_cast<ULL>(lastRequestReceiveOffset_), shown(lastRequestRepresentationId_));
  return text;
}

void QNVDashDownloadTracker::setRequest(std::shared_ptr<QNVAssetResourceLoadingRequest> request, uint64_t offset,
                                        uint64_t length, std::string representation) {
  QNV_SOFT_ASSERT(!fetchInProgress(), "request reset before finish/cancel");
  resourceLoaderRequest_ = std::move(request);
  currentRequestOffset_ = offset;
  currentRequestLength_ = length;
  currentRequestRepresentationId_ = std::move(representation);
  currentRequestBytesReceived_ = 0;
}

void QNVDashDownloadTracker::markRequestAsFinishedWithRequestLength(uint64_t length) {
  QNV_SOFT_ASSERT(fetchInProgress(), "nil request marked as finished");
  if (currentRequestLength_ < length) {
    if (currentRequestLength_ != 0) {
      OV_LOG(kOVAdLogLevelWarn, kLengthUpdateFormat, static_cast<ULL>(length), description().c_str());
    }
    currentRequestLength_ = length;
  }
  recordStop();
}

void QNVDashDownloadTracker::markRequestAsCanceled() {
  QNV_SOFT_ASSERT(fetchInProgress(), "nil request marked as canceled");
  recordStop();
}

void QNVDashDownloadTracker::recordStop() {
  lastRequestReceiveOffset_ = currentRequestOffset_ + currentRequestBytesReceived_;
  lastRequestRepresentationId_ = currentRequestRepresentationId_;
  clearCurrentRequestData();
}

void QNVDashDownloadTracker::clearDataForSeek() {
  lastRequestReceiveOffset_ = 0;
  lastRequestRepresentationId_.reset();
  clearCurrentRequestData();
  bytesRequested = 0;
  bytesReceived = 0;
}

void QNVDashDownloadTracker::markBytesReceived(uint64_t count) {
  bytesReceived += count;
  currentRequestBytesReceived_ += count;
  if (currentRequestLength_ != 0 && currentRequestBytesReceived_ > currentRequestLength_) {
    OV_LOG(kOVAdLogLevelWarn, kOverrunFormat, static_cast<ULL>(count), description().c_str());
  }
}

void QNVDashDownloadTracker::clearCurrentRequestData() {
  resourceLoaderRequest_.reset();
  currentRequestOffset_ = 0;
  currentRequestLength_ = 0;
  currentRequestBytesReceived_ = 0;
  currentRequestRepresentationId_.reset();
}

}  // namespace plexora
