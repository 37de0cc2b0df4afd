// What the ad server answers a load of one placement with: a fixture file,
// a document given by the test, one of the server's error shapes, or a
// transport-level fault (a status other than 200, a dropped connection, a
// body cut short), each optionally after a delay.
//
// Thread safety: a plain value.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace plexora::testserver {

class AdAnswer final {
 public:
  enum class Source { Fixture, Document };

  // The fixture file "<name>.json" of the server's fixture directory.
  static AdAnswer fixture(std::string name);
  // This text as the body ("{{BASE_URL}}" is still replaced); need not be
  // JSON.
  static AdAnswer document(std::string text);
  // {"type": "error", "code": code, "message": message}; without a code the
  // key is left out.
  static AdAnswer error(std::optional<std::int64_t> code, std::string message);
  // An ads answer with code 0 whose placement holds no ads.
  static AdAnswer noFill();
  // A body that is no JSON at all.
  static AdAnswer notJSON();
  // The first half of a fixture's text: JSON that ends too early.
  static AdAnswer truncated(std::string fixtureName);

  // The same answer sent with another HTTP status.
  AdAnswer withStatus(int status) const;
  // The same answer sent after `delay`.
  AdAnswer delayed(std::chrono::milliseconds delay) const;
  // No answer: the connection is closed (after the delay, if any).
  AdAnswer dropped() const;

  Source source() const { return source_; }
  // The fixture name or the document text.
  const std::string& text() const { return text_; }
  bool isTruncated() const { return truncated_; }
  int status() const { return status_; }
  std::chrono::milliseconds delay() const { return delay_; }
  bool dropsConnection() const { return dropsConnection_; }

 private:
  AdAnswer(Source source, std::string text) : source_(source), text_(std::move(text)) {}

  Source source_;
  std::string text_;
  bool truncated_ = false;
  int status_ = 200;
  std::chrono::milliseconds delay_{0};
  bool dropsConnection_ = false;
};

}  // namespace plexora::testserver
