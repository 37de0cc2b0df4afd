// The pieces of the library's user agent.
#include "util/OVAdUtility.h"

#include "platform/device/DeviceProvider.h"

namespace plexora {

namespace {

constexpr const char* kFallbackLocale = "en_US";

}  // namespace

std::string OVAdUtility::cleanUserAgentString(std::string_view text) {
  std::string cleaned(text);
  for (char& character : cleaned) {
    if (character == '/' || character == ';') {
      character = '-';
    }
  }
  return cleaned;
}

std::string OVAdUtility::currentLocale() {
  std::string locale = platform::DeviceProvider::current()->profile().localeIdentifier;
  return locale.empty() ? kFallbackLocale : locale;
}

}  // namespace plexora
