#include "testserver/LoggingServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string_view>

#include "testserver/ConnectionDropper.h"

namespace plexora::testserver {

namespace {

constexpr const char* kLoopbackAddress = "127.0.0.1";
constexpr const char* kAnyPath = ".*";
constexpr const char* kDefaultContentType = "application/octet-stream";
// Batches come one or a few at a time; a few spare threads let a delayed
// answer and the next batch overlap.
constexpr std::size_t kHandlerThreads = 16;
constexpr time_t kKeepAliveSeconds = 1;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

RecordedRequest recordOf(const httplib::Request& request, std::string body) {
  RecordedRequest recorded;
  recorded.arrival = std::chrono::steady_clock::now();
  recorded.method = request.method;
  const auto question = request.target.find('?');
  recorded.path = request.target.substr(0, question);
  if (question != std::string::npos) recorded.query = request.target.substr(question + 1);
  for (const auto& [name, value] : request.headers) recorded.headers.emplace_back(name, value);
  recorded.body = std::move(body);
  return recorded;
}

}  // namespace

LoggingServer::LoggingServer(AnswerFunction answer) : answer_(std::move(answer)) {}

LoggingServer::~LoggingServer() { stop(); }

void LoggingServer::start() {
  if (server_) throw std::runtime_error("logging server already started");
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = false;
  }
  server_ = std::make_unique<httplib::Server>();
  server_->new_task_queue = [] { return new httplib::ThreadPool(kHandlerThreads); };
  int listeningSocket = -1;
  server_->set_socket_options([&listeningSocket](socket_t socket) {
    listeningSocket = socket;
    httplib::default_socket_options(socket);
  });
  server_->set_keep_alive_timeout(kKeepAliveSeconds);
  // Read through a content reader: the library refuses form bodies above
  // 8 KiB with 413 before a plain handler sees them, and a batch of a few
  // dozen events is larger than that.
  server_->Post(kAnyPath, [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& content) {
    std::string body;
    content([&body](const char* data, std::size_t length) {
      body.append(data, length);
      return true;
    });
    handle(request, std::move(body), response);
  });

  port_ = server_->bind_to_any_port(kLoopbackAddress);
  // The library's backlog of 5 would make a burst of connections wait for
  // the client's SYN retransmission.
  if (port_ <= 0 || listeningSocket < 0 || ::listen(listeningSocket, SOMAXCONN) != 0) {
    server_.reset();
    throw std::runtime_error("logging server could not listen on the loopback address");
  }
  listener_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
}

void LoggingServer::stop() {
  if (!server_) return;
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
  }
  stopping_.notify_all();
  server_->stop();
  if (listener_.joinable()) listener_.join();
  server_.reset();
}

std::string LoggingServer::baseURL() const {
  return std::string("http://") + kLoopbackAddress + ":" + std::to_string(port_) + "/";
}

bool LoggingServer::waitOut(std::chrono::milliseconds delay) {
  std::unique_lock lock(stopMutex_);
  return !stopping_.wait_for(lock, delay, [this] { return stopRequested_; });
}

void LoggingServer::handle(const httplib::Request& request, std::string body, httplib::Response& response) {
  const Response answer = answer_(recordOf(request, std::move(body)));
  if (answer.delay.count() > 0 && !waitOut(answer.delay)) return;
  if (answer.dropConnection) {
    dropConnection(port_, request.remote_port);
    return;
  }
  response.status = answer.status;
  std::string contentType = kDefaultContentType;
  for (const auto& [name, value] : answer.headers) {
    if (sameName(name, "Content-Type")) {
      contentType = value;
    } else {
      response.set_header(name, value);
    }
  }
  response.set_content(answer.body, contentType);
}

}  // namespace plexora::testserver
