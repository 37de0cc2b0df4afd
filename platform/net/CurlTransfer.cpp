#include "platform/net/CurlTransfer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <string_view>

#include "platform/net/CurlErrorMapping.h"

namespace plexora::platform {

namespace {

// Only the web's own schemes: a URL from an ad's markup or a server answer
// must never make the library read a local file or speak another protocol,
// neither directly nor through a redirect.
constexpr const char* kAllowedProtocols = "http,https";
// The platform session's redirect limit.
constexpr long kMaxRedirects = 16;
constexpr std::string_view kGetMethod = "GET";
constexpr std::string_view kHeadMethod = "HEAD";
constexpr std::string_view kPostMethod = "POST";
constexpr std::string_view kContentTypeField = "Content-Type";
// A header given without value stops libcurl from adding its own: it would
// otherwise label every body as a form and ask for 100-continue on large ones.
constexpr const char* kNoDefaultContentType = "Content-Type:";
constexpr const char* kNoExpectContinue = "Expect:";
constexpr std::string_view kStatusLinePrefix = "HTTP/";
// The most a body's announced length reserves up front: the length is the
// server's word, and a body larger than this grows as it arrives.
constexpr curl_off_t kLargestReservation = curl_off_t{64} * 1024 * 1024;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && HTTPHeaderFields::namesEqual(text.substr(0, prefix.size()), prefix);
}

// Absolute web URLs only: libcurl would otherwise guess a scheme for
// "example.com/x".
bool hasWebScheme(std::string_view url) {
  return startsWithIgnoringCase(url, "http://") || startsWithIgnoringCase(url, "https://");
}

bool isTokenCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!isTokenCharacter(c)) return false;
  }
  return true;
}

// Line breaks in a value would let it smuggle further header lines in.
bool isSafeFieldValue(std::string_view value) { return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::unique_ptr<CurlTransfer> CurlTransfer::create(std::shared_ptr<DataTaskCore> task,
                                                   const URLSessionConfiguration& configuration,
                                                   CurlHandlePool& handles) {
  CURL* easy = handles.take();
  if (!easy) {
    task->finish({}, std::nullopt, makeURLError(kURLErrorUnknown));
    return nullptr;
  }
  std::unique_ptr<CurlTransfer> transfer(new CurlTransfer(std::move(task), easy, handles));
  if (!transfer->configure(configuration)) {
    transfer->task_->finish({}, std::nullopt, makeURLError(kURLErrorUnsupportedURL));
    return nullptr;
  }
  return transfer;
}

CurlTransfer::CurlTransfer(std::shared_ptr<DataTaskCore> task, CURL* easy, CurlHandlePool& handles)
    : task_(std::move(task)), easy_(easy), handles_(handles) {}

CurlTransfer::~CurlTransfer() {
  // The handle forgets the header list before the list is freed.
  handles_.giveBack(easy_);
  curl_slist_free_all(headerList_);
}

bool CurlTransfer::configure(const URLSessionConfiguration& configuration) {
  const URLRequest& request = task_->request();
  if (!hasWebScheme(request.url) || !isToken(request.httpMethod)) return false;

  bool ok = curl_easy_setopt(easy_, CURLOPT_URL, request.url.c_str()) == CURLE_OK &&
            curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, kAllowedProtocols) == CURLE_OK &&
            curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols) == CURLE_OK;
  if (!ok) return false;
  curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, kMaxRedirects);
  // Every encoding libcurl can decode; bodies reach the caller decoded.
  curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeaderLine);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);

  double seconds = request.timeoutInterval.value_or(configuration.timeoutIntervalForRequest);
  if (std::isfinite(seconds) && seconds > 0) {
    double milliseconds = std::ceil(seconds * 1000.0);
    long limit = milliseconds >= static_cast<double>(LONG_MAX) ? LONG_MAX : static_cast<long>(milliseconds);
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, limit);
  }

  if (request.maximumBodyLength) {
    // libcurl refuses an announced length beyond the bound before any of
    // the body is read; onBody catches a body that announces none.
    const auto largest = static_cast<curl_off_t>(std::min<std::size_t>(
        *request.maximumBodyLength, static_cast<std::size_t>(std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE, largest);
  }

  if (configuration.tlsVerificationDisabled || task_->options().tlsVerificationDisabled) {
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (task_->options().tlsVerificationDisabled) {
    // The caller trusted this request's host, not wherever it redirects to:
    // the redirect comes back as the answer instead of being followed
    // without a certificate check.
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
  }

  const std::string& method = request.httpMethod;
  bool sendsBody = false;
  if (method == kGetMethod) {
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
  } else if (method == kHeadMethod) {
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  } else {
    sendsBody = method == kPostMethod || !request.httpBody.empty();
    if (sendsBody) {
      // The request lives in the task, which outlives the transfer.
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.httpBody.size()));
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, request.httpBody.empty()
                                                      ? ""
                                                      : reinterpret_cast<const char*>(request.httpBody.data()));
    }
    if (method != kPostMethod) curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  HTTPHeaderFields outgoing = request.headers;
  for (const auto& [name, value] : configuration.additionalHTTPHeaders) {
    if (!outgoing.contains(name)) outgoing.add(name, value);
  }
  for (const auto& [name, value] : outgoing) {
    if (!isToken(name) || !isSafeFieldValue(value)) continue;
    // "Name;" is libcurl's spelling of a field with an empty value.
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    headerList_ = curl_slist_append(headerList_, line.c_str());
  }
  if (sendsBody && !outgoing.contains(kContentTypeField)) {
    headerList_ = curl_slist_append(headerList_, kNoDefaultContentType);
  }
  headerList_ = curl_slist_append(headerList_, kNoExpectContinue);
  if (!headerList_) return false;
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
  return true;
}

size_t CurlTransfer::onBody(char* bytes, size_t size, size_t count, void* transfer) {
  size_t length = size * count;
  auto* self = static_cast<CurlTransfer*>(transfer);
  auto& body = self->body_;
  const std::optional<std::size_t>& largest = self->task_->request().maximumBodyLength;
  if (largest && length > *largest - body.size()) {
    self->bodyTooLarge_ = true;
    return 0;  // ends the transfer with a write error
  }
  if (body.empty()) {
    // A media file arrives in thousands of pieces: growing the buffer
    // piece by piece would copy it over and over.
    curl_off_t announced = -1;
    if (curl_easy_getinfo(self->easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced > 0) {
      body.reserve(static_cast<size_t>(std::min(announced, kLargestReservation)));
    }
  }
  body.insert(body.end(), reinterpret_cast<const std::uint8_t*>(bytes),
              reinterpret_cast<const std::uint8_t*>(bytes) + length);
  return length;
}

size_t CurlTransfer::onHeaderLine(char* bytes, size_t size, size_t count, void* transfer) {
  size_t length = size * count;
  auto& headers = static_cast<CurlTransfer*>(transfer)->receivedHeaders_;
  std::string_view line(bytes, length);
  if (line.starts_with(kStatusLinePrefix)) {
    // A new response begins (after an interim answer or a redirect): only
    // the final one's fields are reported.
    headers.clear();
    return length;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    // An obsolete continuation line belongs to the field before it.
    std::string_view more = trimmed(line);
    if (!headers.empty() && !more.empty()) headers.back().second += " " + std::string(more);
    return length;
  }
  auto colon = line.find(':');
  if (colon == std::string_view::npos) return length;  // the blank line ending the block
  std::string_view name = trimmed(line.substr(0, colon));
  if (!name.empty()) headers.emplace_back(std::string(name), std::string(trimmed(line.substr(colon + 1))));
  return length;
}

std::optional<HTTPURLResponse> CurlTransfer::takeReceivedResponse() {
  long status = 0;
  if (curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status == 0) return std::nullopt;
  HTTPURLResponse response;
  response.statusCode = status;
  char* url = nullptr;
  if (curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) {
    response.url = url;
  } else {
    response.url = task_->request().url;
  }
  response.headers = HTTPHeaderFields(std::move(receivedHeaders_));
  return response;
}

void CurlTransfer::complete(CURLcode result) {
  auto response = takeReceivedResponse();
  if (result == CURLE_OK && response) {
    task_->finishOnTransferThread(std::move(body_), std::move(response), std::nullopt);
    return;
  }
  URLErrorCode code = result == CURLE_OK ? kURLErrorBadServerResponse : urlErrorCodeForCurlCode(result);
  if (bodyTooLarge_) {
    code = kURLErrorDataLengthExceedsMaximum;
  }
  task_->finishOnTransferThread({}, std::move(response), makeURLError(code));
}

}  // namespace plexora::platform
