// The system log stand-in: one line per call on standard error, prefixed
// like a system log entry ("2026-12-09 20:11:35.123 app[pid:tid] line").
//
// Thread safety: both functions may be called from any thread. Lines are
// handed to the sink one at a time (never concurrently), so a sink needs
// no lock of its own; once setLogSink returns, the previous sink is neither
// running nor called again. A line logged from inside the sink goes to
// standard error instead of recursing; the sink must not call setLogSink.
#pragma once

#include <functional>
#include <string_view>

namespace plexora::platform {

using LogSink = std::function<void(std::string_view line)>;

void logLine(std::string_view line);

// Sends every later line (without the prefix) to `sink`; nullptr restores
// standard error.
void setLogSink(LogSink sink);

}  // namespace plexora::platform
