// The library's one HTTP client. Every request carries the library's user
// agent, so the session only starts working once that agent is known: until
// then requests wait in a queue, and a poll on the background queue asks
// for the agent at once and then every 0.1 s. When the web view cannot tell within 5 s of the
// first poll, the session goes on with a built-in agent instead of holding
// every request back for good.
//
// Requests start in the order they were handed over: those that waited go
// out, in order, before any later one. A request cancelled while it waits is
// never sent; its handler hears kURLErrorCancelled (-999), once.
//
// Certificates are always validated, except those of the network's sandbox
// hosts while SSL validation is disabled (the settings' URL prefix).
//
// Thread safety: every member may be called from any thread. Response
// handlers run on the session's own serial delegate queue (or, when the
// request asks, on the transfer thread), never on the caller's thread: a
// handler that touches main-thread state hops there.
// Ownership: the shared session lives for the process. A session made with
// create() is owned by its caller; requests still waiting when it goes away
// are dropped, and its tasks complete as cancelled.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/value/Value.h"
#include "server/OVAdURLSessionTaskContainer.h"
#include "util/OVAdConcurrentQueue.h"

namespace plexora {

class OVAdTimer;

// Domain suffixes of the sandbox test (isSandboxHost).
inline constexpr const char* kOVAdSandboxDomainSuffix = ".sb.plexora.example";
inline constexpr const char* kOVAdNetworkDomainSuffix = ".plexora.example";
inline constexpr const char* kOVAdDataCentreMarker = ".dc";

class OVAdURLSession final : public std::enable_shared_from_this<OVAdURLSession> {
 public:
  // The container, the response (absent when the transport produced none),
  // the body, the error (absent on success) and the seconds since the
  // request was handed over (never negative). Status codes are not judged
  // here.
  using ResponseHandler = std::function<void(
      const std::shared_ptr<OVAdURLSessionTaskContainer>& container,
      const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
      const std::optional<platform::Error>& error, double duration)>;
  using RequestBlock = std::function<void()>;
  // Where a response handler runs. TransferThread spares the answer one
  // thread hand-off; it suits a short handler that passes its result on
  // itself (every other transfer waits while it runs) and holds no strong
  // reference to the session. A cancelled request's handler always runs on
  // the delegate queue.
  enum class HandlerThread { DelegateQueue, TransferThread };
  // Asked for the user agent; may answer at once, later on another thread,
  // or never.
  using UserAgentSource =
      std::function<void(std::function<void(const std::optional<std::string>& userAgent)> answer)>;

  static constexpr double kUserAgentPollInterval = 0.1;
  static constexpr double kUserAgentWaitLimit = 5.0;
  static constexpr double kRequestTimeout = 10.0;

  // The process's session, asking OVAdUtility for the user agent and
  // following the settings' URL prefix.
  static std::shared_ptr<OVAdURLSession> sharedSession();
  // A session of its own, asking `userAgentSource`; its poll has started.
  static std::shared_ptr<OVAdURLSession> create(UserAgentSource userAgentSource);

  ~OVAdURLSession();
  OVAdURLSession(const OVAdURLSession&) = delete;
  OVAdURLSession& operator=(const OVAdURLSession&) = delete;

  // The platform's defaults with a 10 s request time-out.
  static platform::URLSessionConfiguration defaultConfiguration();
  // Starts the user-agent poll unless it runs already or the session works:
  // one ask at once, then one every kUserAgentPollInterval.
  static void updateSession(const std::shared_ptr<OVAdURLSession>& session);
  // Starts the user-agent poll again on the clock of the moment, unless the
  // session works. Tests install a clock of their own for each test: a poll
  // left on the clock of a test that ended would never tick again.
  static void restartUserAgentPollForTesting(const std::shared_ptr<OVAdURLSession>& session);
  // Keeps `session`'s SSL validation switch in step with the settings' URL
  // prefix from now on (sharedSession does this for itself).
  static void followSettings(const std::shared_ptr<OVAdURLSession>& session);

  // Whether the user agent is known and the session works.
  bool valid() const;
  // The user agent the session sends; none while it waits.
  std::optional<std::string> userAgent() const;
  // Runs the block at once when the session works and nothing waits;
  // otherwise queues it behind the waiting ones. A null block is ignored.
  void enqueueOrExecuteRequest(RequestBlock block);
  // Starts the waiting blocks, in order, one after the other on the
  // queue's serial queue; restarts the poll while the session cannot work.
  void emptyQueue();

  // Sends the request (at once, or once the session works) and answers its
  // container at once.
  std::shared_ptr<OVAdURLSessionTaskContainer> requestWithURLRequest(
      platform::URLRequest request, ResponseHandler handler, HandlerThread handlerThread = HandlerThread::DelegateQueue);
  std::shared_ptr<OVAdURLSessionTaskContainer> requestWithURL(
      const std::string& url, const std::optional<std::string>& httpMethod, const platform::Value& queryParameters,
      ResponseHandler handler, HandlerThread handlerThread = HandlerThread::DelegateQueue);
  // A POST carries the form-encoded parameters as its body with the form
  // content type, even when empty; a GET (also for no method) carries them
  // in the query, joined to an existing query with "&".
  static platform::URLRequest urlRequestWithURL(const std::string& url, const std::optional<std::string>& httpMethod,
                                                const platform::Value& queryParameters);

  // "" and "#".
  static bool isEmptyURL(std::string_view url);
  // A host under the sandbox domain, or one holding the data-centre marker
  // under the network's domain (letter case aside). Empty is none.
  static bool isSandboxHost(std::string_view host);

  void setSSLValidationDisabled(bool disabled);
  bool isSSLValidationDisabled() const;
  // The trust decision: a server certificate goes unvalidated only for a
  // sandbox host while validation is disabled.
  bool acceptsServerTrustWithoutValidation(std::string_view host) const;

  // Writes the completion's log line: level 2 "HTTP error" for a response
  // with an error (unless the URL is empty by isEmptyURL), else level 5
  // "HTTP complete"; nothing without a response.
  static void logCompletion(const std::string& requestURL, const std::optional<platform::HTTPURLResponse>& response,
                            const platform::Bytes& data, const std::optional<platform::Error>& error,
                            double duration);

 private:
  explicit OVAdURLSession(UserAgentSource userAgentSource);

  void pollUserAgent();
  // Answers false when the session was built already.
  bool buildSession(const std::string& userAgent);
  void startTask(platform::URLRequest request, const std::shared_ptr<OVAdURLSessionTaskContainer>& container,
                 std::shared_ptr<const ResponseHandler> handler, HandlerThread handlerThread);

  const UserAgentSource userAgentSource_;
  const platform::DispatchQueuePtr delegateQueue_;
  OVAdConcurrentQueue<RequestBlock> queue_;

  mutable std::mutex mutex_;
  std::shared_ptr<platform::URLSession> session_;
  std::optional<std::string> userAgent_;
  std::shared_ptr<OVAdTimer> userAgentTimer_;
  // Monotonic time of the first poll; the built-in agent takes over
  // kUserAgentWaitLimit after it.
  std::optional<double> firstPoll_;
  // A poll is inside the user-agent source (which may wait for the main
  // thread); later ticks do not ask again meanwhile.
  bool askingForUserAgent_ = false;
  // Blocks pushed onto queue_ and not yet run.
  std::size_t waitingBlocks_ = 0;
  bool sslValidationDisabled_ = false;
};

}  // namespace plexora
