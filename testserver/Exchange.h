// What the test server saw and what it answers with.
//
// Thread safety: plain values.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "testserver/FormDecoding.h"

namespace plexora::testserver {

struct RecordedRequest {
  std::string method;
  std::string path;   // as sent, still percent-encoded
  std::string query;  // the text after "?", as sent; empty without one
  Fields headers;     // as received (names compare case-insensitively)
  std::string body;
  std::chrono::steady_clock::time_point arrival;

  // The first header of that name, compared case-insensitively.
  std::optional<std::string> header(std::string_view name) const;
  Fields formFields() const { return decodeForm(body); }
  Fields queryItems() const { return decodeForm(query); }
};

struct Response {
  int status = 200;
  Fields headers;
  std::string body;
  // Waited before answering (or dropping); cut short when the server stops.
  std::chrono::milliseconds delay{0};
  // Close the connection without sending anything.
  bool dropConnection = false;
  // A body that goes out slowly or badly, as a file download may: in
  // pieces of `chunkBytes` (0: one piece), each after `chunkDelay`; the
  // connection closed once `dropAfterBytes` body bytes are out; and
  // `declaredLength` sent as the Content-Length in place of the body's own
  // (a longer one ends the connection after the body, a shorter one sends
  // only that much).
  std::size_t chunkBytes = 0;
  std::chrono::milliseconds chunkDelay{0};
  std::optional<std::size_t> dropAfterBytes;
  std::optional<std::size_t> declaredLength;
  // How many body bytes may go out so far; the rest waits until it grows
  // (a download a test holds and releases, whatever the machine's speed).
  std::function<std::size_t()> sendableBytes{};

  // A text/plain answer, optionally after a delay.
  static Response text(int status, std::string body, std::chrono::milliseconds delay = {});
  static Response dropped(std::chrono::milliseconds delay = {});
};

enum class Match { Exact, Prefix };

}  // namespace plexora::testserver
