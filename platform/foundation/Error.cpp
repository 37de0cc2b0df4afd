#include "platform/foundation/Error.h"

namespace plexora::platform {
namespace {

// What an error without a description reads as: the domain and the code.
constexpr const char* kGenericDescriptionStart = "The operation couldn\u2019t be completed. (";
constexpr const char* kGenericDescriptionCode = " error ";
constexpr const char* kGenericDescriptionEnd = ".)";

}  // namespace

Error::Error(std::string domain, std::int64_t code, Dictionary userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

std::string Error::localizedDescription() const {
  const Value* description = userInfo_.find(kLocalizedDescriptionKey);
  if (description != nullptr && description->isString()) {
    return description->asString();
  }
  return kGenericDescriptionStart + domain_ + kGenericDescriptionCode + std::to_string(code_) +
         kGenericDescriptionEnd;
}

}  // namespace plexora::platform
