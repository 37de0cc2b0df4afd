#include "support/qnv/QNVExpectedSoftAssertions.h"

#include <algorithm>
#include <mutex>

namespace plexora::testing {
namespace {

std::mutex collectedMutex;
std::vector<std::string> collected;

void collect(const QNVSoftAssertion& assertion) {
  std::lock_guard lock(collectedMutex);
  collected.push_back(assertion.reason);
}

}  // namespace

QNVExpectedSoftAssertions::QNVExpectedSoftAssertions() {
  {
    std::lock_guard lock(collectedMutex);
    collected.clear();
  }
  previous_ = QNVSetSoftAssertionHandler(&collect);
}

QNVExpectedSoftAssertions::~QNVExpectedSoftAssertions() { QNVSetSoftAssertionHandler(previous_); }

std::vector<std::string> QNVExpectedSoftAssertions::reasons() const {
  std::lock_guard lock(collectedMutex);
  return collected;
}

bool QNVExpectedSoftAssertions::sawReason(std::string_view part) const {
  std::lock_guard lock(collectedMutex);
  return std::any_of(collected.begin(), collected.end(),
                     [part](const std::string& reason) { return reason.find(part) != std::string::npos; });
}

}  // namespace plexora::testing
