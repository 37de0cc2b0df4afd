// Per-thread identity: numbers and descriptions.
//
// The main thread (the thread that started the process) is number 1; every
// other thread gets the next number the first time it asks, starting at 2.
// The description mimics the shape the library parses its thread identifier
// from: "<Thread: 0x...>{number = N, name = NAME}" ("(null)" for no name).
//
// Thread safety: all functions may be called from any thread; each describes
// the calling thread only.
#pragma once

#include <cstdint>
#include <string>

namespace plexora::platform {

std::int64_t currentThreadNumber();
std::string currentThreadDescription();
// Names the calling thread (also for the OS, truncated to its 15 bytes).
void setCurrentThreadName(const std::string& name);

}  // namespace plexora::platform
