// The library's tests draw no real page: their content containers and web
// views are doubles, and the engine's own tests run in programs of their
// own. Making an ad here must not start the web engine and its processes,
// so the warm-up is switched off for the whole program before any test runs.
#include "util/OVAdWebProcessWarmUp.h"

namespace plexora::testing {
namespace {

[[maybe_unused]] const bool kWarmUpSwitchedOff = [] {
  OVAdWebProcessWarmer().install({});
  return true;
}();

}  // namespace
}  // namespace plexora::testing
