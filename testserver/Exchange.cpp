#include "testserver/Exchange.h"

#include <algorithm>
#include <cctype>

namespace plexora::testserver {

namespace {

constexpr const char* kPlainTextType = "text/plain";

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& [fieldName, value] : headers) {
    if (sameName(fieldName, name)) return value;
  }
  return std::nullopt;
}

Response Response::text(int status, std::string body, std::chrono::milliseconds delay) {
  Response response;
  response.delay = delay;
  response.status = status;
  response.headers = {{"Content-Type", kPlainTextType}};
  response.body = std::move(body);
  return response;
}

Response Response::dropped(std::chrono::milliseconds delay) {
  Response response;
  response.delay = delay;
  response.dropConnection = true;
  return response;
}

}  // namespace plexora::testserver
