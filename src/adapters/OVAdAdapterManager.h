// The adapter registry: turns a network identifier and a placement type into
// the adapter class that serves it. The network's own adapters are known
// under fixed class names; any other identifier names its class by pattern
// ("OV<identifier>BannerAdAdapter" and the like), found among the classes
// registered with OVAdAdapterClassTable. A class is answered only when it is
// registered and derives from OVDisplayAdAdapter.
//
// Placement types: 1 banner, 2 interstitial, 3 native, 4 rewarded video,
// 5 in-stream.
//
// Thread safety: every member may be called from any thread.
// Ownership: class operations only, no state of its own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVDisplayAdAdapter.h"

namespace plexora {

// The network's own identifier.
inline constexpr const char* kOVAdAdapterIdPX = "PX";

class OVAdAdapterManager final {
 public:
  OVAdAdapterManager() = delete;

  // "PX", "ADMOB", "INMOBI", "YAHOO": the identifiers the registry offers,
  // in its order.
  static std::vector<std::string> registeredAdapters();

  // The class name the identifier's adapter has for the placement type,
  // the identifier taken as it stands; none for a type outside 1 to 5.
  static std::optional<std::string> classNameForId(const std::string& adapterId, std::int64_t placementType);

  // The network's own adapter class names for the placement type: the single
  // entry "PX" -> its class name for types 1 to 5, and no entry for any
  // other type.
  static std::map<std::string, std::string> builtInClassesForPlacementType(std::int64_t placementType);

  // The built-in class when the identifier has one for the type, else the
  // class named by classNameForId; none unless that class is registered and
  // derives from OVDisplayAdAdapter.
  static std::shared_ptr<const OVAdAdapterClass> classForId(const std::string& adapterId,
                                                            std::int64_t placementType);

  // The registered identifiers, in registry order, whose class is found for
  // the type.
  static std::vector<std::string> availableAdaptersForPlacementType(std::int64_t placementType);

  // A new instance, without a delegate, of the class classForId answers;
  // none when there is no class.
  static std::shared_ptr<OVDisplayAdAdapter> adapterInstanceForId(const std::string& adapterId,
                                                                  std::int64_t placementType);
};

}  // namespace plexora
