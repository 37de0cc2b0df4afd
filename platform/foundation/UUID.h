// Random (version 4) UUIDs in their text form.
//
// Thread safety: callable from any thread.
#pragma once

#include <string>

namespace plexora::platform {

// 36 characters: upper-case hexadecimal digits in groups of 8-4-4-4-12
// joined by hyphens, from a cryptographically strong generator.
std::string makeUUIDString();

}  // namespace plexora::platform
