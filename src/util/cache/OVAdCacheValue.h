// A value held by the resource cache: a shared object of any type, read back
// only as the type it was stored as. A value of another type reads as null,
// never as a mistaken cast.
//
// Thread safety: a plain value (copies share the object, as std::shared_ptr
// does).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace plexora {

class OVAdCacheValue {
 public:
  OVAdCacheValue() = default;
  // Also converts null pointers, which make an empty value.
  template <class T>
  OVAdCacheValue(std::shared_ptr<T> object)  // NOLINT(google-explicit-constructor): stores read naturally
      : object_(std::move(object)), type_(object_ ? typeTag<T>() : nullptr) {}

  // The object when it was stored as a std::shared_ptr<T> (same constness),
  // else null.
  template <class T>
  std::shared_ptr<T> as() const {
    if (type_ != typeTag<T>()) {
      return nullptr;
    }
    return std::static_pointer_cast<T>(std::const_pointer_cast<void>(object_));
  }

  explicit operator bool() const { return object_ != nullptr; }
  // The same object, not merely an equal one.
  bool isSameObject(const OVAdCacheValue& other) const { return object_ == other.object_; }
  // For log lines: the object's address, or "(null)".
  std::string description() const {
    if (!object_) {
      return "(null)";
    }
    char text[2 + 2 * sizeof(void*) + 3];
    std::snprintf(text, sizeof(text), "<%p>", object_.get());
    return text;
  }

 private:
  // One distinct address per type (constness included).
  template <class T>
  static const void* typeTag() {
    static const char tag = 0;
    return &tag;
  }

  std::shared_ptr<const void> object_;
  const void* type_ = nullptr;
};

}  // namespace plexora
