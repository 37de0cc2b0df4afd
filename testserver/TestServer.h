// An HTTP server on 127.0.0.1 with a port of the system's choosing, for
// tests and the demo: it records every request and answers from a script
// (see ResponseScript.h).
//
//   TestServer server;
//   server.start();
//   server.on("/ads/", Response::text(200, "{}"), Match::Prefix);
//   server.enqueue("/log", Response::dropped());
//   server.on("/echo", [](const RecordedRequest& r) { return Response::text(200, r.body); });
//   ... send requests to server.url("ads/x") ...
//   server.waitForRequests(2, 1s);
//   server.requests();
//
// Thread safety: every member may be called from any thread; the script and
// the log may change while requests are being served.
// Ownership: the server owns its listening thread and handler threads;
// stop() (or the destructor) cuts pending delays short and joins them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "testserver/Exchange.h"
#include "testserver/RequestLog.h"
#include "testserver/ResponseScript.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace plexora::testserver {

struct TestServerOptions {
  // Serve HTTPS with a self-signed certificate for 127.0.0.1.
  bool tls = false;
};

class TestServer final {
 public:
  explicit TestServer(TestServerOptions options = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Binds and starts serving; throws std::runtime_error when it cannot.
  void start();
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/" (https with TLS).
  std::string baseURL() const;
  // The base URL followed by `path` (a leading "/" is dropped).
  std::string url(std::string_view path) const;

  // The answer for a path (or every path under a prefix) from now on.
  void on(std::string path, Response response, Match match = Match::Exact);
  // An answer computed from each request (one that must echo what the
  // request carried, say).
  void on(std::string path, AnswerFunction answer, Match match = Match::Exact);
  // A one-shot answer, used before the path's fixed answer.
  void enqueue(std::string path, Response response, Match match = Match::Exact);
  void clearScript() { script_.clear(); }

  std::vector<RecordedRequest> requests() const { return log_.snapshot(); }
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return log_.waitFor(count, timeout);
  }
  void clearRequests() { log_.clear(); }

 private:
  void handle(const httplib::Request& request, const std::string& body, httplib::Response& response);
  // Sends a paced or faulty body (see Response) through the library's
  // content provider, on the handler thread.
  void providePaced(Response answer, const std::string& contentType, httplib::Response& response);
  // Answers false when the server began stopping during the wait.
  bool waitOut(std::chrono::milliseconds delay);

  const TestServerOptions options_;
  ResponseScript script_;
  RequestLog log_;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  int port_ = 0;
  int listeningSocket_ = -1;

  std::mutex stopMutex_;
  std::condition_variable stopping_;
  bool stopRequested_ = false;
};

}  // namespace plexora::testserver
