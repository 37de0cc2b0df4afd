// A loopback HTTP server for the event logging endpoint ("plxo_logging/"),
// whose answer to each request a function computes from that request.
//
// A logging batch must be answered by the identifiers of the events it
// carries, which nobody knows before the batch is sent; the scripted
// TestServer answers by path only, so it cannot say them.
//
//   LoggingServer server([](const RecordedRequest& request) {
//     return Response::text(200, answerNaming(request.formFields()));
//   });
//   server.start();
//   ... point the event manager at server.baseURL() ...
//
// Thread safety: every member may be called from any thread. The answer
// function runs on the server's handler threads, several at once, so it
// guards what it shares.
// Ownership: the server owns its listening and handler threads; stop() (or
// the destructor) cuts pending delays short and joins them. The answer
// function must stay callable until then.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "testserver/Exchange.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace plexora::testserver {

class LoggingServer final {
 public:
  using AnswerFunction = std::function<Response(const RecordedRequest& request)>;

  explicit LoggingServer(AnswerFunction answer);
  ~LoggingServer();
  LoggingServer(const LoggingServer&) = delete;
  LoggingServer& operator=(const LoggingServer&) = delete;

  // Binds 127.0.0.1 on a port of the system's choosing and starts serving;
  // throws std::runtime_error when it cannot.
  void start();
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/".
  std::string baseURL() const;

 private:
  void handle(const httplib::Request& request, std::string body, httplib::Response& response);
  // Answers false when the server began stopping during the wait.
  bool waitOut(std::chrono::milliseconds delay);

  const AnswerFunction answer_;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  int port_ = 0;

  std::mutex stopMutex_;
  std::condition_variable stopping_;
  bool stopRequested_ = false;
};

}  // namespace plexora::testserver
