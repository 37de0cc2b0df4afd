// One step of the demo's run, as both ad units print it.
// Main thread only.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace plexora::demo {

// Runs the main loop until `done` answers true or the host heard an error
// (`errors`, filled by its delegate), then prints the step's line with the
// time since `start`. False when the step failed or was not reached in time.
bool runDemoStep(std::chrono::steady_clock::time_point start, const std::vector<std::string>& errors,
                 const std::string& name, const std::function<bool()>& done, const std::string& detail);

}  // namespace plexora::demo
