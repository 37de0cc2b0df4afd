// What the resource cache's and resource loader's tests share: a fixture with
// a caches directory of its own, a loopback server, a URL session that works
// (on a manual clock) and a resource loader with small limits; PNG bytes; a
// listing of the files left on disk; and a server that sends one fixed answer
// byte for byte (one that breaks off early, or ignores a Range header).
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Image.h"
#include "server/OVAdURLSession.h"
#include "support/TempDir.h"
#include "testserver/TestServer.h"
#include "util/cache/OVAdCacheFileURL.h"
#include "util/OVAdResourceLoader.h"

namespace plexora::testing {

inline constexpr std::size_t kTestMaximumResourceBytes = 64 * 1024;
inline constexpr double kTestDownloadTimeout = 1.0;

// A PNG of the size, all one colour.
inline std::string pngBytes(std::uint32_t width, std::uint32_t height) {
  const auto image = platform::Image::create(width, height, 1.0, platform::Color{0.2, 0.4, 0.6, 1.0});
  const platform::Bytes bytes = image->encodePNG();
  return std::string(bytes.begin(), bytes.end());
}

inline platform::URL parsedURL(const std::string& text) {
  auto url = platform::URL::parse(text);
  if (!url) {
    throw std::invalid_argument("not a URL: " + text);
  }
  return *url;
}

// Every regular file below the directory (none when it does not exist).
inline std::vector<std::string> filesBelow(const std::filesystem::path& directory) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto entry = std::filesystem::recursive_directory_iterator(directory, error);
       !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
    if (entry->is_regular_file()) {
      files.push_back(entry->path().string());
    }
  }
  return files;
}

class ResourceFixture : public ::testing::Test {
 protected:
  ResourceFixture() {
    platform::setCachesDirectory(caches_.path().string());
    server_.start();
    session_ = OVAdURLSession::create([](auto answer) { answer(std::string("cache-test-agent")); });
    clock_->advance(OVAdURLSession::kUserAgentPollInterval);
    loader_ = OVAdResourceLoader::create(session_, {kTestMaximumResourceBytes, kTestDownloadTimeout});
  }
  ~ResourceFixture() override {
    platform::DispatchQueue::settle();
    platform::setCachesDirectory("");
  }

  void SetUp() override { ASSERT_TRUE(session_->valid()); }

  platform::URL url(const std::string& path) const { return parsedURL(server_.url(path)); }
  std::filesystem::path cacheRoot() const { return OVAdCacheRootPath(); }
  platform::URL cacheFileURL(OVAdCacheFetchType fetchType, const std::string& path) const {
    return *OVAdCacheFileURL(fetchType, url(path));
  }
  std::size_t requestsFor(const std::string& path) const {
    std::size_t count = 0;
    for (const auto& request : server_.requests()) {
      count += request.path == path ? 1 : 0;
    }
    return count;
  }
  // Runs the main queue until `done` answers true (at most 5 s).
  static bool runMainUntil(const std::function<bool()>& done) {
    return platform::MainLoop::instance().runUntil(done, 5.0);
  }

  TempDir caches_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  testserver::TestServer server_;
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdResourceLoader> loader_;
};

// Answers every request with the same bytes, exactly as given, and closes
// the connection.
class RawHTTPServer {
 public:
  // A 200 answer with a Content-Length of `promisedLength` and `body`, which
  // may be shorter (a download cut short).
  static std::string answer(std::size_t promisedLength, const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(promisedLength) + "\r\nConnection: close\r\n\r\n" + body;
  }
  // A 206 answer carrying `body` as the bytes FIRST-LAST of TOTAL.
  static std::string partialAnswer(const std::string& contentRange, const std::string& body) {
    return "HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Range: " + contentRange +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

  explicit RawHTTPServer(std::string answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("raw server could not listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawHTTPServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
  }
  RawHTTPServer(const RawHTTPServer&) = delete;
  RawHTTPServer& operator=(const RawHTTPServer&) = delete;

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  int connections() const { return connections_; }
  // The request heads received, oldest first.
  std::vector<std::string> requestHeads() const {
    std::lock_guard lock(mutex_);
    return requestHeads_;
  }

 private:
  void serve() {
    while (!stopping_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 20) <= 0) {
        continue;
      }
      const int connection = ::accept(listener_, nullptr, nullptr);
      if (connection < 0) {
        continue;
      }
      ++connections_;
      std::string head = readRequestHead(connection);
      {
        std::lock_guard lock(mutex_);
        requestHeads_.push_back(std::move(head));
      }
      std::size_t sent = 0;
      while (sent < answer_.size()) {
        const ssize_t written = ::send(connection, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
        if (written <= 0) {
          break;
        }
        sent += static_cast<std::size_t>(written);
      }
      ::shutdown(connection, SHUT_RDWR);
      ::close(connection);
    }
  }
  static std::string readRequestHead(int connection) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 1000) <= 0) {
        break;
      }
      const ssize_t received = ::recv(connection, buffer, sizeof(buffer), 0);
      if (received <= 0) {
        break;
      }
      head.append(buffer, static_cast<std::size_t>(received));
    }
    return head;
  }

  int listener_ = -1;
  int port_ = 0;
  std::string answer_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requestHeads_;
  std::thread thread_;
};

}  // namespace plexora::testing
