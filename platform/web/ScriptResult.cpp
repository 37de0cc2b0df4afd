#include "platform/web/ScriptResult.h"

#include <jsc/jsc.h>

#include <string>

#include "platform/web/WebNavigation.h"

namespace plexora::platform::detail {

namespace {

constexpr const char* kResultTooLargeDescription = "The JavaScript result is too large";
constexpr const char* kResultUnsupportedDescription = "JavaScript execution returned a result of an unsupported type";
constexpr const char* kScriptFailedDescription = "A JavaScript exception occurred";

ScriptResult failure(std::int64_t code, std::string description) {
  return {Value(), Error(kWebViewErrorDomain, code, Dictionary{{kLocalizedDescriptionKey, std::move(description)}})};
}

// Takes ownership of the engine's string.
std::optional<std::string> adopt(char* text) {
  if (!text) {
    return std::nullopt;
  }
  std::string copy(text);
  g_free(text);
  return copy;
}

}  // namespace

ScriptResult scriptResultFromValue(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) {
    return {};
  }
  if (jsc_value_is_boolean(value)) {
    return {Value(static_cast<bool>(jsc_value_to_boolean(value))), std::nullopt};
  }
  if (jsc_value_is_number(value)) {
    return {Value(jsc_value_to_double(value)), std::nullopt};
  }
  if (jsc_value_is_string(value)) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    ScriptResult result = size > kMaxScriptResultBytes
                              ? failure(kWebViewErrorJavaScriptResultUnsupported, kResultTooLargeDescription)
                              : ScriptResult{Value(std::string(data ? data : "", size)), std::nullopt};
    g_bytes_unref(bytes);
    return result;
  }
  if (jsc_value_is_array(value) || jsc_value_is_object(value)) {
    const std::optional<std::string> json = adopt(jsc_value_to_json(value, 0));
    if (!json) {
      return failure(kWebViewErrorJavaScriptResultUnsupported, kResultUnsupportedDescription);
    }
    if (json->size() > kMaxScriptResultBytes) {
      return failure(kWebViewErrorJavaScriptResultUnsupported, kResultTooLargeDescription);
    }
    if (std::optional<Value> parsed = parseJSON(*json)) {
      return {std::move(*parsed), std::nullopt};
    }
  }
  return failure(kWebViewErrorJavaScriptResultUnsupported, kResultUnsupportedDescription);
}

ScriptResult scriptResultFromError(const GError* error) {
  return failure(kWebViewErrorJavaScriptFailed,
                 error && error->message && *error->message ? error->message : kScriptFailedDescription);
}

}  // namespace plexora::platform::detail
