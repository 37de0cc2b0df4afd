// The base of table and collection view cells. What a cell shows goes into
// its content view, which fills the cell and follows its size. A table or
// collection view makes cells from the cell class registered for a reuse
// identifier and hands a cell that scrolled out to the next position that
// asks for the same identifier, after prepareForReuse().
//
// Thread safety: main thread only.
// Ownership: the cell owns its content view through its view tree.
#pragma once

#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/ui/View.h"

namespace plexora::platform {

class PLEXORA_EXPORT ReusableCell : public View {
 public:
  explicit ReusableCell(std::string reuseIdentifier = {});

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  // Made at the first call; the cell must be owned by a shared_ptr by then.
  std::shared_ptr<View> contentView();
  // Called before the cell is handed out again; the base does nothing.
  virtual void prepareForReuse() {}

 private:
  std::string reuseIdentifier_;
  std::weak_ptr<View> contentView_;
};

}  // namespace plexora::platform
