#include "platform/thread/ThreadInfo.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

namespace {

constexpr const char* kDescriptionFormat = "<Thread: 0x%llx>{number = %lld, name = %s}";
constexpr const char* kUnnamed = "(null)";
constexpr const char* kMainThreadName = "main";
// The kernel keeps 15 bytes of a thread's name plus the terminator.
constexpr std::size_t kOsThreadNameBytes = 15;
constexpr std::int64_t kMainThreadNumber = 1;

std::atomic<std::int64_t> nextThreadNumber{kMainThreadNumber + 1};

thread_local std::int64_t threadNumber = 0;

std::optional<std::string>& currentThreadName() {
  thread_local std::optional<std::string> name =
      DispatchQueue::isMainThread() ? std::optional<std::string>(kMainThreadName) : std::nullopt;
  return name;
}

}  // namespace

std::int64_t currentThreadNumber() {
  if (threadNumber == 0) {
    threadNumber = DispatchQueue::isMainThread() ? kMainThreadNumber : nextThreadNumber.fetch_add(1);
  }
  return threadNumber;
}

std::string currentThreadDescription() {
  const std::optional<std::string>& named = currentThreadName();
  const char* name = named ? named->c_str() : kUnnamed;
  auto address = static_cast<unsigned long long>(::pthread_self());
  auto number = static_cast<long long>(currentThreadNumber());
  int length = std::snprintf(nullptr, 0, kDescriptionFormat, address, number, name);
  std::string description(static_cast<std::size_t>(length), '\0');
  std::snprintf(description.data(), description.size() + 1, kDescriptionFormat, address, number, name);
  return description;
}

void setCurrentThreadName(const std::string& name) {
  currentThreadName() = name;
  ::pthread_setname_np(::pthread_self(), name.substr(0, kOsThreadNameBytes).c_str());
}

}  // namespace plexora::platform
