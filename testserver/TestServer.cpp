#include "testserver/TestServer.h"

// The library's default queue of five pending connections turns a burst of
// simultaneous requests (hundreds of media fetches at once, a machine busy
// with a whole parallel suite) into dropped connections before the handler
// threads ever see them; a real server keeps a far longer queue. Only this
// file includes the library.
#define CPPHTTPLIB_LISTEN_BACKLOG 1024
#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

#include "testserver/ConnectionDropper.h"
#include "testserver/SelfSignedCertificate.h"

namespace plexora::testserver {

namespace {

constexpr const char* kLoopbackAddress = "127.0.0.1";
constexpr const char* kAnyPath = ".*";
constexpr const char* kDefaultContentType = "application/octet-stream";
constexpr std::string_view kContentTypeField = "Content-Type";
// Enough handler threads that every request of a burst (tests send 50 at
// once, many of them delayed) is answered without queueing behind others.
constexpr std::size_t kHandlerThreads = 96;
// Idle kept-alive connections hold a handler thread; a short limit keeps
// stop() quick.
constexpr time_t kKeepAliveSeconds = 1;
constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kStartPoll = std::chrono::microseconds(200);
// Pseudo-fields the HTTP library adds to every request it parsed.
constexpr std::array<std::string_view, 4> kLibraryFields = {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"};

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

RecordedRequest recordOf(const httplib::Request& request, const std::string& body) {
  RecordedRequest recorded;
  recorded.arrival = std::chrono::steady_clock::now();
  recorded.method = request.method;
  const std::string& target = request.target;
  auto question = target.find('?');
  recorded.path = target.substr(0, question);
  if (question != std::string::npos) recorded.query = target.substr(question + 1);
  for (const auto& [name, value] : request.headers) {
    bool added = std::find(kLibraryFields.begin(), kLibraryFields.end(), name) != kLibraryFields.end();
    if (!added) recorded.headers.emplace_back(name, value);
  }
  recorded.body = body;
  return recorded;
}

// How often a held body looks whether more of it may go out.
constexpr std::chrono::milliseconds kHeldBodyPoll{5};

bool isPaced(const Response& answer) {
  return answer.chunkBytes > 0 || answer.chunkDelay.count() > 0 || answer.dropAfterBytes || answer.declaredLength ||
         answer.sendableBytes != nullptr;
}

}  // namespace

TestServer::TestServer(TestServerOptions options) : options_(options) {}

TestServer::~TestServer() { stop(); }

void TestServer::start() {
  if (server_) throw std::runtime_error("test server already started");
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = false;
  }
  if (options_.tls) {
    auto identity = SelfSignedCertificate::create();
    // The server takes its own references to both.
    server_ = std::make_unique<httplib::SSLServer>(identity.certificate(), identity.privateKey());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  if (!server_->is_valid()) throw std::runtime_error("test server could not be set up");
  server_->new_task_queue = [] { return new httplib::ThreadPool(kHandlerThreads); };
  int listeningSocket = -1;
  server_->set_socket_options([&listeningSocket](socket_t socket) {
    listeningSocket = socket;
    httplib::default_socket_options(socket);
  });
  server_->set_keep_alive_timeout(kKeepAliveSeconds);
  // Headers and body go out in separate writes; with Nagle on, the body
  // waits for the client's delayed acknowledgement (tens of milliseconds).
  server_->set_tcp_nodelay(true);

  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    handle(request, request.body, response);
  };
  // Bodies are read through a content reader: the library refuses form
  // bodies above 8 KiB with 413 before a plain handler sees them, and an
  // event batch is often larger than that.
  auto bodyHandler = [this](const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& content) {
    std::string body;
    content([&body](const char* data, std::size_t length) {
      body.append(data, length);
      return true;
    });
    handle(request, body, response);
  };
  server_->Get(kAnyPath, handler);
  server_->Post(kAnyPath, bodyHandler);
  server_->Put(kAnyPath, bodyHandler);
  server_->Patch(kAnyPath, bodyHandler);
  server_->Delete(kAnyPath, handler);
  server_->Options(kAnyPath, handler);

  port_ = server_->bind_to_any_port(kLoopbackAddress);
  // The library listens with a backlog of 5; a burst of connections beyond
  // that would wait for the client's SYN retransmission (a second or more).
  if (port_ <= 0 || listeningSocket < 0 || ::listen(listeningSocket, SOMAXCONN) != 0) {
    server_.reset();
    throw std::runtime_error("test server could not listen on the loopback address");
  }
  listeningSocket_ = listeningSocket;
  listener_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
  // The library's stop() does nothing until its loop has begun, so a
  // server stopped right after starting would never end: wait for the loop.
  auto giveUp = std::chrono::steady_clock::now() + kStartLimit;
  while (!server_->is_running()) {
    if (std::chrono::steady_clock::now() > giveUp) {
      throw std::runtime_error("test server did not start serving");
    }
    std::this_thread::sleep_for(kStartPoll);
  }
}

void TestServer::stop() {
  if (!server_) return;
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
  }
  stopping_.notify_all();
  // The library's own stop() closes the listening socket under a thread that
  // may be about to call accept() on it; if the descriptor number is reused
  // meanwhile (another server, a client connection), that accept() blocks
  // forever. Shutting the socket down instead wakes the accept() with an
  // error, the loop then closes the socket itself and ends, and stop() finds
  // nothing left to do.
  ::shutdown(listeningSocket_, SHUT_RDWR);
  if (listener_.joinable()) listener_.join();
  server_->stop();
  server_.reset();
  listeningSocket_ = -1;
}

std::string TestServer::baseURL() const {
  return std::string(options_.tls ? "https" : "http") + "://" + kLoopbackAddress + ":" + std::to_string(port_) + "/";
}

std::string TestServer::url(std::string_view path) const {
  if (path.starts_with('/')) path.remove_prefix(1);
  return baseURL() + std::string(path);
}

void TestServer::on(std::string path, Response response, Match match) {
  script_.setRule(
      std::move(path), [response = std::move(response)](const RecordedRequest&) { return response; }, match);
}

void TestServer::on(std::string path, AnswerFunction answer, Match match) {
  script_.setRule(std::move(path), std::move(answer), match);
}

void TestServer::enqueue(std::string path, Response response, Match match) {
  script_.enqueue(std::move(path), std::move(response), match);
}

bool TestServer::waitOut(std::chrono::milliseconds delay) {
  std::unique_lock lock(stopMutex_);
  return !stopping_.wait_for(lock, delay, [this] { return stopRequested_; });
}

void TestServer::providePaced(Response answer, const std::string& contentType, httplib::Response& response) {
  auto body = std::make_shared<const std::string>(std::move(answer.body));
  const std::size_t length = answer.declaredLength.value_or(body->size());
  response.set_content_provider(
      length, contentType,
      [this, body, chunk = answer.chunkBytes, delay = answer.chunkDelay, drop = answer.dropAfterBytes,
       sendable = answer.sendableBytes](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
        // Ending the provider early closes the connection mid-body.
        const std::size_t limit = std::min(body->size(), drop.value_or(body->size()));
        if (offset >= limit) return false;
        if (delay.count() > 0 && !waitOut(delay)) return false;
        std::size_t released = limit;
        if (sendable) {
          while ((released = std::min(limit, sendable())) <= offset) {
            if (!waitOut(kHeldBodyPoll)) return false;
          }
        }
        std::size_t count = std::min(wanted, released - offset);
        if (chunk > 0) count = std::min(count, chunk);
        return sink.write(body->data() + offset, count);
      });
}

void TestServer::handle(const httplib::Request& request, const std::string& body, httplib::Response& response) {
  // Range answers are the script's to make: the library would otherwise
  // slice the scripted body a second time. The request object is the
  // library's own, not a constant.
  const_cast<httplib::Request&>(request).ranges.clear();
  RecordedRequest recorded = recordOf(request, body);
  log_.record(recorded);
  Response answer = script_.answerFor(recorded);

  if (answer.delay.count() > 0 && !waitOut(answer.delay)) return;
  if (answer.dropConnection) {
    dropConnection(port_, request.remote_port);
    return;
  }
  response.status = answer.status;
  std::optional<std::string> contentType;
  for (const auto& [name, value] : answer.headers) {
    if (sameName(name, kContentTypeField)) {
      contentType = value;
    } else {
      response.set_header(name, value);
    }
  }
  // set_content() writes the Content-Type field itself; setting it twice
  // would send it twice.
  if (isPaced(answer)) {
    providePaced(std::move(answer), contentType.value_or(kDefaultContentType), response);
  } else if (!answer.body.empty()) {
    response.set_content(answer.body, contentType.value_or(kDefaultContentType));
  } else if (contentType) {
    response.set_header(std::string(kContentTypeField), *contentType);
  }
}

}  // namespace plexora::testserver
