// What a fetch of the resource cache brings back, which also decides where
// its file lives on disk.
#pragma once

#include <cstdint>

namespace plexora {

enum class OVAdCacheFetchType : std::int64_t { None = 0, Data = 1, Image = 2, Video = 3 };

}  // namespace plexora
