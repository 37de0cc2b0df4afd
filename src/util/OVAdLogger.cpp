#include "util/OVAdLogger.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "platform/foundation/Log.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdThreadIdentifier.h"

namespace plexora {

namespace {

constexpr const char kLineFormat[] = "[OVPlexoraLog/%s:%d thread:%ld%s] %s";
constexpr const char* kTestModeTag = " <testmode>";
constexpr const char* kLevelTags[] = {"", " <error>", " <warn>", " <log>", " <debug>", " <verbose>"};

void writeLine(const char* file, std::int32_t lineNumber, const std::string& tag, const std::string& message) {
  const std::string fileName = OVAdLogger::fileNameForPath(file);
  const long threadIdentifier = static_cast<long>(ov_threadIdentifier().value_or(0));
  const int length = std::snprintf(nullptr, 0, kLineFormat, fileName.c_str(), lineNumber, threadIdentifier,
                                   tag.c_str(), message.c_str());
  if (length <= 0) {
    return;
  }
  std::string line(static_cast<std::size_t>(length), '\0');
  std::snprintf(line.data(), line.size() + 1, kLineFormat, fileName.c_str(), lineNumber, threadIdentifier,
                tag.c_str(), message.c_str());
  platform::logLine(line);
}

}  // namespace

std::string OVAdFormatV(const char* format, std::va_list arguments) {
  std::va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) {
    return {};
  }
  std::string message(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(message.data(), message.size() + 1, format, arguments);
  return message;
}

void OVAdLogger::logAtLevel(std::int32_t level, const char* file, std::int32_t lineNumber, const char* format, ...) {
  if (level > OVAdSettings::getLogLevel()) {
    return;
  }
  std::va_list arguments;
  va_start(arguments, format);
  const std::string message = OVAdFormatV(format, arguments);
  va_end(arguments);
  writeLine(file, lineNumber, levelAsString(level), message);
}

void OVAdLogger::logInTestModeWithFile(const char* file, std::int32_t lineNumber, const char* format, ...) {
  if (!OVAdSettings::isTestMode()) {
    return;
  }
  std::va_list arguments;
  va_start(arguments, format);
  const std::string message = OVAdFormatV(format, arguments);
  va_end(arguments);
  writeLine(file, lineNumber, kTestModeTag, message);
}

std::string OVAdLogger::levelAsString(std::int32_t level) {
  constexpr std::int32_t levelCount = static_cast<std::int32_t>(std::size(kLevelTags));
  if (level < kOVAdLogLevelPlain || level > levelCount) {
    return "";
  }
  return kLevelTags[level - kOVAdLogLevelPlain];
}

std::string OVAdLogger::fileNameForPath(const char* path) {
  std::string_view name = path == nullptr ? std::string_view() : std::string_view(path);
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) {
    name = name.substr(0, dot);
  }
  return std::string(name);
}

}  // namespace plexora
