// Where a double's install() lists every object its maker made, in order.
#pragma once

#include <memory>
#include <vector>

namespace plexora::testing {

template <typename Fake>
using MadeList = std::shared_ptr<std::vector<std::shared_ptr<Fake>>>;

template <typename Fake>
MadeList<Fake> makeMadeList() {
  return std::make_shared<std::vector<std::shared_ptr<Fake>>>();
}

}  // namespace plexora::testing
