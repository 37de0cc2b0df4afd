// A list shared by several threads: every operation runs under one recursive
// lock, so each is atomic with respect to the others.
//
// Thread safety: every member may be called from any thread. The lock is
// recursive, so code running inside forEach may call back into the same
// array. A loop that must not see concurrent changes takes a snapshot with
// nonConcurrentCopy (or takeAll) and loops over that.
// Ownership: the array owns copies of its elements (for shared objects, store
// std::shared_ptr). Elements are handed out by value, never by reference,
// because a reference would outlive the lock.
//
// Indexes must be in range (index <= count where an append is allowed);
// an index out of range throws std::out_of_range and leaves the array as it
// was.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace plexora {

template <typename T>
class OVAdConcurrentArray {
 public:
  OVAdConcurrentArray() = default;
  // The capacity is a hint.
  explicit OVAdConcurrentArray(std::size_t capacity) { storage_.reserve(capacity); }
  virtual ~OVAdConcurrentArray() = default;
  OVAdConcurrentArray(const OVAdConcurrentArray&) = delete;
  OVAdConcurrentArray& operator=(const OVAdConcurrentArray&) = delete;

  std::size_t count() const {
    Lock lock(mutex_);
    return storage_.size();
  }

  T objectAtIndex(std::size_t index) const {
    Lock lock(mutex_);
    checkIndex(index, storage_.size());
    return storage_[index];
  }

  void addObject(T object) {
    Lock lock(mutex_);
    storage_.push_back(std::move(object));
  }

  // `index` may equal the count (append).
  void insertObject(T object, std::size_t index) {
    Lock lock(mutex_);
    checkIndex(index, storage_.size() + 1);
    storage_.insert(storage_.begin() + static_cast<std::ptrdiff_t>(index), std::move(object));
  }

  // Does nothing on an empty array.
  void removeLastObject() {
    Lock lock(mutex_);
    if (!storage_.empty()) {
      storage_.pop_back();
    }
  }

  void removeObjectAtIndex(std::size_t index) {
    Lock lock(mutex_);
    checkIndex(index, storage_.size());
    storage_.erase(storage_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  // Removes every element equal to `object` (for std::shared_ptr elements,
  // every occurrence of that very object).
  void removeObject(const T& object)
    requires std::equality_comparable<T>
  {
    Lock lock(mutex_);
    std::erase(storage_, object);
  }

  // Replaces the element at `index`; an index equal to the count appends.
  void replaceObjectAtIndex(std::size_t index, T object) {
    Lock lock(mutex_);
    checkIndex(index, storage_.size() + 1);
    if (index == storage_.size()) {
      storage_.push_back(std::move(object));
    } else {
      storage_[index] = std::move(object);
    }
  }

  // Subscript assignment: the same as replaceObjectAtIndex.
  void setObject(T object, std::size_t index) { replaceObjectAtIndex(index, std::move(object)); }

  void removeAllObjects() {
    Lock lock(mutex_);
    storage_.clear();
  }

  // Calls `visit` with each element in order while holding the lock for the
  // whole walk. `visit` gets its own copy of the element, so it may change
  // the array: elements added during the walk are visited, a removal shifts
  // the ones that follow.
  void forEach(const std::function<void(const T&)>& visit) const {
    Lock lock(mutex_);
    for (std::size_t index = 0; index < storage_.size(); ++index) {
      const T element = storage_[index];
      visit(element);
    }
  }

  // A plain copy of the elements; later changes do not reach it.
  std::vector<T> nonConcurrentCopy() const {
    Lock lock(mutex_);
    return storage_;
  }

  // Takes every element out in one step and leaves the array empty. An
  // element added concurrently is either in the result or stays in the
  // array, never lost, which a copy followed by a clear cannot promise.
  std::vector<T> takeAll() {
    Lock lock(mutex_);
    std::vector<T> taken;
    taken.swap(storage_);
    return taken;
  }

 private:
  using Lock = std::lock_guard<std::recursive_mutex>;

  static void checkIndex(std::size_t index, std::size_t limit) {
    if (index >= limit) {
      throw std::out_of_range("OVAdConcurrentArray index out of range");
    }
  }

  mutable std::recursive_mutex mutex_;
  std::vector<T> storage_;
};

}  // namespace plexora
