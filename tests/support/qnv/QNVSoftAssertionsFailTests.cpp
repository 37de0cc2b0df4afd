// Every test program that links the video engine runs with this handler: a
// broken engine invariant (a call on the wrong thread, a value the engine
// does not expect) fails the test that broke it, at the assertion's file and
// line, instead of passing silently as it would without a debugger.
#include <gtest/gtest.h>

#include "util/qnv/core/QNVSoftAssertion.h"

namespace plexora::testing {
namespace {

void failTheRunningTest(const QNVSoftAssertion& assertion) {
  ADD_FAILURE_AT(assertion.file, assertion.line)
      << "QNV soft assertion failed: " << assertion.check << ": " << assertion.reason;
}

// Installed before main runs, so that no engine code runs without it.
struct InstallOnStart {
  InstallOnStart() { QNVSetSoftAssertionHandler(&failTheRunningTest); }
} installOnStart;

}  // namespace
}  // namespace plexora::testing
