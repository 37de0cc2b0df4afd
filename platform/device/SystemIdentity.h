// Pure conversions from what a Linux system reports to the shape of the
// device profile's fields. Kept apart from the reads so malformed input can
// be tested on its own.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plexora::platform {

// The dotted decimal head of a kernel release ("6.8.0-45-generic" gives
// "6.8.0"); the release unchanged when it does not start with a digit.
std::string systemVersionFromRelease(std::string_view release);

// The first word of a kernel version text ("#1 SMP PREEMPT" gives "#1").
std::string systemBuildFromVersion(std::string_view version);

// Language and region of a POSIX locale name ("de_DE.UTF-8@euro" gives
// "de_DE"); none for the "C" and "POSIX" locales and for empty text.
std::optional<std::string> localeIdentifierFromLocaleName(std::string_view name);

// A stable identifier for advertising derived from a machine id (32
// hexadecimal digits, as /etc/machine-id holds them, surrounding white space
// allowed): a name-based UUID of the id, so the machine id itself is never
// disclosed. None for text that is no machine id.
std::optional<std::string> advertisingIdentifierFromMachineId(std::string_view machineId);

}  // namespace plexora::platform
