// For a test that feeds the engine what it warns about (a malformed
// manifest, a rate it ignores): while one of these lives, failed soft
// assertions are collected here rather than failing the test, so the test
// can check that the engine noticed.
//
// Thread safety: assertions may fail on any thread while it lives; read it
// from the test's thread. One at a time.
// Ownership: it installs its handler on creation and puts the previous one
// back when destroyed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/qnv/core/QNVSoftAssertion.h"

namespace plexora::testing {

class QNVExpectedSoftAssertions {
 public:
  QNVExpectedSoftAssertions();
  ~QNVExpectedSoftAssertions();
  QNVExpectedSoftAssertions(const QNVExpectedSoftAssertions&) = delete;
  QNVExpectedSoftAssertions& operator=(const QNVExpectedSoftAssertions&) = delete;

  // The reasons of the assertions that failed so far, in order.
  std::vector<std::string> reasons() const;
  // Whether one of them contains `part`.
  bool sawReason(std::string_view part) const;

 private:
  QNVSoftAssertionHandler previous_;
};

}  // namespace plexora::testing
