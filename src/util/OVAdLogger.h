// The library's one diagnostic line writer.
//
// A line reads "[OVPlexoraLog/FILE:LINE thread:ID TAG] MESSAGE" and goes to
// the platform log. It is written only when the configured log level
// (OVAdSettings::getLogLevel) is at least the call's level; level 0, the
// default, writes nothing. The test-mode entry ignores the level and writes
// only while this device is a registered test device.
//
// Formats are printf formats: pass std::string arguments as `.c_str()`.
// Callers go through OV_LOG / OV_LOG_TESTMODE so every line names the source
// file and line it came from.
//
// Thread safety: every member may be called from any thread; the logger keeps
// no state of its own.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace plexora {

// The levels callers log at; the configured level 6 writes everything.
inline constexpr std::int32_t kOVAdLogLevelPlain = 1;
inline constexpr std::int32_t kOVAdLogLevelError = 2;
inline constexpr std::int32_t kOVAdLogLevelWarn = 3;
inline constexpr std::int32_t kOVAdLogLevelLog = 4;
inline constexpr std::int32_t kOVAdLogLevelDebug = 5;
inline constexpr std::int32_t kOVAdLogLevelVerbose = 6;

// The printf-style format filled with the arguments.
std::string OVAdFormatV(const char* format, std::va_list arguments) __attribute__((format(printf, 1, 0)));

class OVAdLogger final {
 public:
  OVAdLogger() = delete;

  // Writes one line when the configured level is at least `level`; the
  // message is not even formatted otherwise. `file` is the caller's source
  // path; only its file name without extension is written.
  static void logAtLevel(std::int32_t level, const char* file, std::int32_t lineNumber, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  // Writes one line tagged " <testmode>" while this device is a test device,
  // whatever the configured level.
  static void logInTestModeWithFile(const char* file, std::int32_t lineNumber, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  // The tag a level adds to a line: "" for 1 and unknown levels, " <error>"
  // for 2 up to " <verbose>" for 6.
  static std::string levelAsString(std::int32_t level);

  // The file name a line shows for a source path: the last path component
  // without its extension.
  static std::string fileNameForPath(const char* path);
};

}  // namespace plexora

#define OV_LOG(level, ...) ::plexora::OVAdLogger::logAtLevel((level), __FILE__, __LINE__, __VA_ARGS__)
#define OV_LOG_TESTMODE(...) ::plexora::OVAdLogger::logInTestModeWithFile(__FILE__, __LINE__, __VA_ARGS__)
