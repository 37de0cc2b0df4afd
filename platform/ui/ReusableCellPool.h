// What table and collection views share: the cells (the cell class
// registered for each reuse identifier, the cells that scrolled out waiting
// to be reused, the cells on screen by index path) and the telling of a tap
// on one of them.
//
// `Cell` is a ReusableCell.
//
// Thread safety: main thread only, like the view that owns the pool.
// Ownership: the pool owns the waiting cells and its cell classes; the
// cells on screen are owned by the view they are subviews of and also
// held here.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/ReusableCell.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace plexora::platform {

inline constexpr const char* kUnregisteredCellReason = "no cell class is registered for the reuse identifier";
inline constexpr const char* kNoCellReason = "the data source answered no cell";

template <class Cell>
class ReusableCellPool {
 public:
  // Makes a cell of one kind for the reuse identifier it is given.
  using CellClass = std::function<std::shared_ptr<Cell>(const std::string& reuseIdentifier)>;
  // A position and its frame in the view's content.
  struct Slot {
    IndexPath indexPath;
    Rect frame;
  };

  // Replaces any class registered for the identifier; cells of the old
  // class waiting for reuse are dropped.
  void registerClass(CellClass cellClass, const std::string& identifier) {
    classes_[identifier] = std::move(cellClass);
    waiting_.erase(identifier);
  }

  // A cell that scrolled out, else a new one of the registered class.
  // Throws Exception (kInternalInconsistencyException) for an identifier
  // nothing was registered for.
  std::shared_ptr<Cell> dequeue(const std::string& identifier) {
    if (auto found = waiting_.find(identifier); found != waiting_.end() && !found->second.empty()) {
      auto cell = std::move(found->second.back());
      found->second.pop_back();
      return cell;
    }
    const auto cellClass = classes_.find(identifier);
    if (cellClass == classes_.end()) {
      throw Exception(kInternalInconsistencyException,
                      std::string(kUnregisteredCellReason) + " \"" + identifier + "\"");
    }
    return cellClass->second(identifier);
  }

  // Shows the cells of the slots that share area with `visible` (content
  // coordinates) as subviews of `container`. Cells whose slot left go back
  // to the pool before `cellFor` is asked for the newly visible slots, so
  // its dequeues reuse them; cells that stay keep their position and only
  // follow their slot's frame. Throws Exception
  // (kInternalInconsistencyException) when `cellFor` answers none.
  void layout(View& container, const std::vector<Slot>& slots, Rect visible,
              const std::function<std::shared_ptr<Cell>(const IndexPath&)>& cellFor) {
    std::vector<const Slot*> shown;
    for (const Slot& slot : slots) {
      if (slot.frame.intersects(visible)) shown.push_back(&slot);
    }
    for (auto it = visible_.begin(); it != visible_.end();) {
      const bool stays = std::any_of(shown.begin(), shown.end(),
                                     [&](const Slot* slot) { return slot->indexPath == it->first; });
      if (stays) {
        ++it;
      } else {
        recycle(it->second);
        it = visible_.erase(it);
      }
    }
    for (const Slot* slot : shown) {
      auto found = visible_.find(slot->indexPath);
      if (found == visible_.end()) {
        auto cell = cellFor(slot->indexPath);
        if (!cell) throw Exception(kInternalInconsistencyException, kNoCellReason);
        container.addSubview(cell);
        found = visible_.emplace(slot->indexPath, std::move(cell)).first;
      }
      found->second->setFrame(slot->frame);
    }
  }

  // Every cell on screen back to the pool, as a reload does before it asks
  // the data source again.
  void recycleAll() {
    for (auto& [path, cell] : visible_) recycle(cell);
    visible_.clear();
  }

  std::shared_ptr<Cell> cellAt(const IndexPath& path) const {
    const auto found = visible_.find(path);
    return found == visible_.end() ? nullptr : found->second;
  }
  std::optional<IndexPath> indexPathOf(const Cell& cell) const {
    for (const auto& [path, shown] : visible_) {
      if (shown.get() == &cell) return path;
    }
    return std::nullopt;
  }
  // In index path order.
  std::vector<std::shared_ptr<Cell>> visibleCells() const {
    std::vector<std::shared_ptr<Cell>> cells;
    for (const auto& [path, cell] : visible_) cells.push_back(cell);
    return cells;
  }
  std::vector<IndexPath> visibleIndexPaths() const {
    std::vector<IndexPath> paths;
    for (const auto& [path, cell] : visible_) paths.push_back(path);
    return paths;
  }

 private:
  void recycle(const std::shared_ptr<Cell>& cell) {
    cell->removeFromSuperview();
    cell->prepareForReuse();
    waiting_[cell->reuseIdentifier()].push_back(cell);
  }

  std::map<std::string, CellClass> classes_;
  std::map<std::string, std::vector<std::shared_ptr<Cell>>> waiting_;
  std::map<IndexPath, std::shared_ptr<Cell>> visible_;
};

// Follows the touches a table or collection view receives itself: a touch
// that ends having moved at most kTapAllowableMovement points is a tap.
// Locations are in the view's content coordinates.
class PLEXORA_EXPORT CellTapTracker {
 public:
  void began(const Touches& touches, const View& view) {
    start_ = touches.empty() ? std::nullopt : std::optional<Point>(touches.front()->locationInView(&view));
  }
  void moved(const Touches& touches, const View& view) {
    if (!start_ || touches.empty()) return;
    const Point now = touches.front()->locationInView(&view);
    if (std::hypot(now.x - start_->x, now.y - start_->y) > kTapAllowableMovement) start_.reset();
  }
  // Where the tap began and ended; none when the touch was no tap.
  std::optional<std::pair<Point, Point>> ended(const Touches& touches, const View& view) {
    moved(touches, view);
    const auto start = std::exchange(start_, std::nullopt);
    if (!start || touches.empty()) return std::nullopt;
    return std::make_pair(*start, touches.front()->locationInView(&view));
  }
  void cancelled() { start_.reset(); }

 private:
  std::optional<Point> start_;
};

}  // namespace plexora::platform
