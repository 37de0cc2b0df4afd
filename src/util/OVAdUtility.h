// Process-wide helpers shared by the whole library: the wire encoding of
// parameters (query strings and form bodies), conversion between values and
// JSON text or property-list data that never throws, and small conversions.
//
// Thread safety: every member may be called from any thread unless its
// comment says otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "util/OVAdDictionary.h"

namespace plexora {

// A colour with components from 0.0 to 1.0.
struct OVAdColor {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 0.0;

  bool operator==(const OVAdColor&) const = default;
};

// The colour of a 0xAARRGGBB integer.
OVAdColor colorWithInteger(std::uint32_t argb);

// Percent-encoding of every UTF-8 byte except A-Z, a-z, 0-9, "-", ".", "_"
// and "~"; a space becomes "+".
std::string ov_URLEncodedString(std::string_view text);

class OVAdUtility final {
 public:
  OVAdUtility() = delete;

  // ---- Query strings and form bodies ----

  // The URL's query parsed by parseQuery; empty for a URL without a query.
  static platform::Value parseQueryString(const platform::URL& url);
  // A dictionary of the "key=value" pairs of `query`. Keys are kept as
  // written; values have "+" turned into spaces and percent-escapes decoded.
  // A pair without exactly one "=", or whose value does not decode to UTF-8,
  // is skipped.
  static platform::Value parseQuery(std::string_view query);
  // "key=value" with both sides URL-encoded; a value without text (null,
  // data, arrays) is written as the unencoded "(null)".
  static std::string createQueryParameterFromKey(std::string_view key, const platform::Value& object);
  // The pairs of a parameter dictionary joined by "&", in the dictionary's
  // order. An array value gives one "key[]" pair per element; a dictionary
  // value travels as its JSON text. "" for no dictionary.
  static std::string createQueryStringFromParameters(const platform::Value& parameters);

  // ---- JSON and property lists; none on failure, never throws ----

  static std::optional<platform::Value> getObjectFromJSONString(std::string_view json);
  static std::optional<std::string> getJSONStringFromObject(const platform::Value& object);
  static std::optional<platform::Value> getObjectFromPropertyList(platform::ByteView data);
  // Binary property list, format 1.0.
  static std::optional<platform::Bytes> getPropertyListFromObject(const platform::Value& object);

  // ---- Conversions ----

  // The value as the wanted class: a number as its text, a text as its
  // number, a dictionary wanted as text as its JSON text ("" when it has
  // none), a value already of the class as it is; none otherwise.
  static std::optional<platform::Value> attemptRecoveryOfObject(const platform::Value& object,
                                                                OVAdValueClass valueClass);
  // True for a value that is no string and for the empty string.
  static bool isStringEmpty(const platform::Value& value);
};

}  // namespace plexora
