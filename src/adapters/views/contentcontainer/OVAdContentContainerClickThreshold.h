// Whether a click comes too soon after the impression to be the user's
// own: within the configuration's clickability threshold.
//
// Thread safety: main thread only (reads the configuration and logs).
#pragma once

namespace plexora {

// `firstImpressionTime` in seconds since 2001, -1 before the impression
// (never premature then). A premature click is logged as a warning.
bool OVAdIsPrematureClick(double firstImpressionTime);

}  // namespace plexora
