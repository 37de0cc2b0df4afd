// The number that log lines show for a thread.
//
// It is read from the thread's description ("<Thread: 0x...>{number = N,
// name = NAME}"): the first comma-separated field whose name contains "num".
// The main thread is 1.
//
// Thread safety: callable from any thread; each thread caches its own number
// the first time it finds one and never shares it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plexora {

// The calling thread's number. None when its number field does not read as a
// number; -1 when the description has no number field (not cached, so it is
// looked for again next time).
std::optional<std::int64_t> ov_threadIdentifier();

// The number a thread description names, by the same rules (without cache).
std::optional<std::int64_t> threadIdentifierFromDescription(std::string_view description);

}  // namespace plexora
