// JSON and property-list conversion that never throws, and the value
// conversions the encoders rely on.
#include "util/OVAdUtility.h"

#include <exception>

#include "util/OVAdLogger.h"

namespace plexora {

using platform::Value;

namespace {

constexpr const char* kInvalidJSONMessage = "Attempted to convert invalid JSON %s";
constexpr const char* kInvalidJSONObjectMessage = "Attempted to convert invalid object %s to JSON";
constexpr const char* kInvalidPlistMessage = "Attempted to convert invalid plist %s";
constexpr const char* kInvalidPlistObjectMessage = "Attempted to convert invalid object %s to plist";

constexpr double kColorComponentScale = 255.0;

std::string describeBytes(platform::ByteView bytes) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string text = "<";
  for (std::size_t index = 0; index < bytes.size(); ++index) {
    if (index > 0 && index % 4 == 0) {
      text += ' ';
    }
    text += kHexDigits[bytes[index] >> 4];
    text += kHexDigits[bytes[index] & 0x0F];
  }
  text += '>';
  return text;
}

// A readable rendering for diagnostics; not a wire format.
std::string describe(const Value& value) {
  if (auto text = value.text()) {
    return *text;
  }
  switch (value.kind()) {
    case Value::Kind::Data:
      return describeBytes(value.asData());
    case Value::Kind::Array: {
      std::string text = "(";
      for (const Value& element : value.asArray()) {
        text += text.size() > 1 ? ", " : "";
        text += describe(element);
      }
      return text + ")";
    }
    case Value::Kind::Dictionary: {
      std::string text = "{";
      for (const auto& [key, element] : value.asDictionary()) {
        text += key + " = " + describe(element) + "; ";
      }
      return text + "}";
    }
    default:
      return "(null)";
  }
}

}  // namespace

OVAdColor colorWithInteger(std::uint32_t argb) {
  const auto component = [argb](int shift) { return static_cast<double>((argb >> shift) & 0xFF) / kColorComponentScale; };
  return OVAdColor{.red = component(16), .green = component(8), .blue = component(0), .alpha = component(24)};
}

std::optional<Value> OVAdUtility::getObjectFromJSONString(std::string_view json) {
  try {
    return platform::parseJSON(json);
  } catch (const std::exception&) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidJSONMessage, std::string(json).c_str());
    return std::nullopt;
  }
}

std::optional<std::string> OVAdUtility::getJSONStringFromObject(const Value& object) {
  std::optional<std::string> json;
  try {
    json = platform::toJSON(object);
  } catch (const std::exception&) {
    json.reset();
  }
  // The serialiser refuses what JSON cannot hold (data, non-finite numbers).
  if (!json) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidJSONObjectMessage, describe(object).c_str());
  }
  return json;
}

std::optional<Value> OVAdUtility::getObjectFromPropertyList(platform::ByteView data) {
  try {
    return platform::parsePropertyList(data);
  } catch (const std::exception&) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidPlistMessage, describeBytes(data).c_str());
    return std::nullopt;
  }
}

std::optional<platform::Bytes> OVAdUtility::getPropertyListFromObject(const Value& object) {
  try {
    return platform::toBinaryPropertyList(object);
  } catch (const std::exception&) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidPlistObjectMessage, describe(object).c_str());
    return std::nullopt;
  }
}

std::optional<Value> OVAdUtility::attemptRecoveryOfObject(const Value& object, OVAdValueClass valueClass) {
  if (object.isNull()) {
    return std::nullopt;
  }
  if (valueClass == OVAdValueClass::String && object.isNumber()) {
    return Value(*object.text());
  }
  if (valueClass == OVAdValueClass::Number && object.isString()) {
    return safeNumberFromString(object);
  }
  if (isValueOfClass(object, valueClass)) {
    return object;
  }
  if (valueClass == OVAdValueClass::String && object.isDictionary()) {
    return Value(getJSONStringFromObject(object).value_or(""));
  }
  return std::nullopt;
}

bool OVAdUtility::isStringEmpty(const Value& value) {
  return !value.isString() || value.asString().empty();
}

}  // namespace plexora
