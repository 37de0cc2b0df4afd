// The classes an adapter may be looked up by, by name: the library's own
// adapters and those of outside networks that the host links register here
// under their class names, the way a run time lists the classes linked into
// a process. A registered class need not be an adapter; the registry refuses
// one that does not derive from OVDisplayAdAdapter.
//
// Thread safety: every member may be called from any thread.
// Ownership: the table keeps each class it was given; callers share them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "adapters/OVDisplayAdAdapter.h"

namespace plexora {

// One class known by name. Immutable once made.
class OVAdAdapterClass final {
 public:
  // Makes an instance with the given delegate (which may be none).
  using Maker = std::function<std::shared_ptr<OVDisplayAdAdapter>(std::weak_ptr<OVDisplayAdAdapterDelegate>)>;

  // An adapter class, made by `maker`.
  OVAdAdapterClass(std::string name, Maker maker);
  // A class that is no adapter.
  explicit OVAdAdapterClass(std::string name);
  OVAdAdapterClass(const OVAdAdapterClass&) = delete;
  OVAdAdapterClass& operator=(const OVAdAdapterClass&) = delete;

  const std::string& name() const { return name_; }
  bool isSubclassOfDisplayAdAdapter() const { return static_cast<bool>(maker_); }

  // A new instance without a delegate; none for a class that is no adapter.
  std::shared_ptr<OVDisplayAdAdapter> newInstance() const;
  // A new instance holding `delegate` weakly; none for a class that is no
  // adapter.
  std::shared_ptr<OVDisplayAdAdapter> initWithDelegate(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate) const;

 private:
  const std::string name_;
  const Maker maker_;
};

class OVAdAdapterClassTable final {
 public:
  OVAdAdapterClassTable() = delete;

  // Registers `T` under `name`, replacing any class registered under it
  // before, and answers the class it replaced (none when there was none).
  // An adapter class (deriving from OVDisplayAdAdapter) must be
  // constructible from its delegate, a
  // std::weak_ptr<OVDisplayAdAdapterDelegate>; any other class is recorded
  // as a class that is no adapter.
  template <typename T>
  static std::shared_ptr<const OVAdAdapterClass> registerClass(const std::string& name) {
    if constexpr (std::is_base_of_v<OVDisplayAdAdapter, T>) {
      static_assert(std::is_constructible_v<T, std::weak_ptr<OVDisplayAdAdapterDelegate>>,
                    "an adapter class is constructed from its delegate");
      return registerClass(std::make_shared<const OVAdAdapterClass>(
          name, [](std::weak_ptr<OVDisplayAdAdapterDelegate> delegate) -> std::shared_ptr<OVDisplayAdAdapter> {
            return std::make_shared<T>(std::move(delegate));
          }));
    } else {
      return registerClass(std::make_shared<const OVAdAdapterClass>(name));
    }
  }

  // Registers a class made elsewhere under its own name, as above.
  static std::shared_ptr<const OVAdAdapterClass> registerClass(std::shared_ptr<const OVAdAdapterClass> adapterClass);

  // Forgets the class registered under `name`, if any.
  static void unregisterClass(const std::string& name);

  // The class registered under `name`; none when there is none.
  static std::shared_ptr<const OVAdAdapterClass> classNamed(const std::string& name);
};

}  // namespace plexora
