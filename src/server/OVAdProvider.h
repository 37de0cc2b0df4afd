// Runs one ad load for its delegate: applies the load throttle, answers a
// bidding load from the bid payload's creative without a request, and
// otherwise posts the environment's parameters to the ad server, parses the
// answer and hands the delegate an ads response or an error.
//
// Every result, fresh, cached or canned, and every error reaches the
// delegate on the main queue, one turn after the load has finished with the
// provider's state emptied (destroy). The server's answer is parsed where
// it arrives, on the URL session's queue, and then hops to the main queue
// once; a bid payload's creative is parsed on the parsing queue. Nothing
// off the main queue touches the provider's state: whether the answer still
// belongs to the running load is decided on the main queue. Nothing of a
// load reaches the delegate once the provider has been released or cancel()
// was called. An answer beyond a few megabytes is refused before it is read
// whole, as a server error; an error's detail shows only the start of an
// answer that was not understood.
//
// Thread safety: main thread only (every member, and the delegate's calls).
// Ownership: the owner (the display-ad controller or the native ads
// manager) holds the provider strongly; the provider holds its delegate
// weakly and its environment, parser and parsing queue strongly for the
// length of one load. The session's and the parser's handlers hold it
// weakly and the parser strongly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/dispatch/OperationQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/value/Value.h"
#include "server/OVAdProviderResponse.h"
#include "server/OVAdProviderResponseParser.h"

namespace plexora {

class OVAdBidPayload;
class OVAdEnvironmentData;
class OVAdURLSession;
class OVAdURLSessionTaskContainer;

// Both operations are called on the main queue.
class OVAdProviderDelegate {
 public:
  virtual ~OVAdProviderDelegate() = default;
  virtual void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) = 0;
  // An error of the library's domain (OVAdError).
  virtual void onAdRequestError(const platform::Error& error) = 0;
};

class OVAdProvider : public std::enable_shared_from_this<OVAdProvider> {
 public:
  // No delegate yet; posts through the shared URL session.
  static std::shared_ptr<OVAdProvider> init();
  static std::shared_ptr<OVAdProvider> initWithDelegate(std::weak_ptr<OVAdProviderDelegate> delegate);
  // Posts through `session` instead of the shared one (null: the shared).
  static std::shared_ptr<OVAdProvider> initWithDelegate(std::weak_ptr<OVAdProviderDelegate> delegate,
                                                        std::shared_ptr<OVAdURLSession> session);

  virtual ~OVAdProvider();
  OVAdProvider(const OVAdProvider&) = delete;
  OVAdProvider& operator=(const OVAdProvider&) = delete;

  std::shared_ptr<OVAdProviderDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdProviderDelegate> delegate) { delegate_ = std::move(delegate); }

  // Starts one load; nothing happens without an environment. Throws
  // platform::Exception, as the load throttle does, for a placement type of
  // 6 or more.
  virtual void loadAdWithEnvironmentData(std::shared_ptr<OVAdEnvironmentData> environmentData);
  // Cancels the parse and the running request of this load, then destroy.
  void cancel();
  // Empties the parser, the parsing queue, the task list and the
  // environment; keeps the delegate. An answer still on its way to a
  // destroyed load is dropped.
  void destroy();
  // Logs the error and reports it to the delegate on the main queue.
  void dispatchError(platform::Error error);

  // The running load's environment; null between loads.
  const std::shared_ptr<OVAdEnvironmentData>& environmentData() const { return environmentData_; }

 protected:
  OVAdProvider(std::weak_ptr<OVAdProviderDelegate> delegate, std::shared_ptr<OVAdURLSession> session);

  // Posts the parameters to the delivery endpoint.
  void makeFirstAdRequestWithParameters(platform::Dictionary parameters);
  // Parses the payload's creative as the server's answer; answers whether
  // there was one.
  bool maybeHandleBidPayload(const std::shared_ptr<const OVAdBidPayload>& bidPayload);
  // What a parse came to: the response, or the parser's message.
  using ParseOutcome = std::variant<std::shared_ptr<OVAdProviderResponse>, std::string>;
  // The most of an answer an error's detail carries: enough to recognise a
  // proxy's page or a cut-off document, while the error stays small enough
  // to log and keep.
  static constexpr std::size_t kLargestResponseExcerpt = 4096;

  // Judges the HTTP outcome of the request to `deliveryUrl` when the answer
  // was not parsed where it arrived: a successful answer's body is parsed on
  // the parsing queue.
  void handleAdResponse(const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
                        const std::optional<platform::Error>& error, const std::string& deliveryUrl);
  // Parses on the parsing queue and dispatches the result.
  void parseResponseFromData(platform::Bytes data);

 private:
  // Whether the transport brought a body worth parsing: no error, status 200.
  static bool isSuccessfulAnswer(const std::optional<platform::HTTPURLResponse>& response,
                                 const std::optional<platform::Error>& error);
  // Whether handling `parsed` describes the answer in the error: it does
  // unless the parse came to ads or an error response.
  static bool needsResponseText(const ParseOutcome& parsed);
  // Runs the parser on any thread.
  static ParseOutcome parse(const OVAdProviderResponseParser& parser, platform::ByteView data);
  // What an error's detail shows of the answer: its start, at most
  // kLargestResponseExcerpt bytes; none when the answer is not UTF-8. Made
  // off the main thread, where the answer is parsed, as its cost grows with
  // the answer.
  static std::optional<std::string> responseExcerpt(platform::ByteView data);
  // A successful answer's parse that arrived with it: the load time is
  // noted, then the outcome handled. `responseText` is the answer's
  // excerpt when needsResponseText.
  void handleParsedAnswer(ParseOutcome parsed, std::optional<std::string> responseText);
  void handleParseOutcome(ParseOutcome outcome, std::optional<std::string> responseText);
  void handleParsedResponse(const std::shared_ptr<OVAdProviderResponse>& response,
                            std::optional<std::string> responseText);
  void handleParseError(const std::string& message, std::optional<std::string> responseText);
  // Calls the delegate with the response one main-queue turn later, unless
  // the provider is released or cancelled meanwhile.
  void dispatchSuccess(std::shared_ptr<OVAdProviderResponseAds> response);
  void logRequestParameters(const platform::Dictionary& parameters) const;

  std::weak_ptr<OVAdProviderDelegate> delegate_;
  // Null: the shared session, looked up at the first request.
  std::shared_ptr<OVAdURLSession> session_;
  std::shared_ptr<OVAdProviderResponseParser> adParser_;
  std::shared_ptr<platform::OperationQueue> parsingQueue_;
  std::vector<std::shared_ptr<OVAdURLSessionTaskContainer>> requestQueue_;
  std::shared_ptr<OVAdEnvironmentData> environmentData_;
  // Moves on at each load and each destroy: answers of an older load are
  // dropped.
  std::uint64_t loadGeneration_ = 0;
  // Moves on at each cancel: deliveries queued before it are dropped.
  std::uint64_t cancelGeneration_ = 0;
};

// A provider that answers every load with one candidate of a response
// received earlier, for a native ad of the native ads manager.
class OVAdProviderWithResponse final : public OVAdProvider {
 public:
  // No delegate (the user sets one); null when `index` does not lie within
  // the response's candidates.
  static std::shared_ptr<OVAdProviderWithResponse> initWithResponse(const OVAdProviderResponseAds& response,
                                                                    std::int64_t index);

  const std::shared_ptr<OVAdProviderResponseAds>& response() const { return response_; }

  // Ignores the environment and calls the delegate's onAdRequestSuccess at
  // once, on this thread.
  void loadAdWithEnvironmentData(std::shared_ptr<OVAdEnvironmentData> environmentData) override;

 private:
  explicit OVAdProviderWithResponse(std::shared_ptr<OVAdProviderResponseAds> response);

  const std::shared_ptr<OVAdProviderResponseAds> response_;
};

}  // namespace plexora
