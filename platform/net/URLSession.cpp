#include "platform/net/URLSession.h"

#include "platform/net/CurlMultiWorker.h"
#include "platform/net/DataTaskCore.h"

namespace plexora::platform {

namespace {

constexpr const char* kDelegateQueueLabel = "plexora.urlsession.delegate";

}  // namespace

URLSession::URLSession(URLSessionConfiguration configuration, DispatchQueuePtr delegateQueue)
    : configuration_(std::move(configuration)),
      delegateQueue_(delegateQueue ? std::move(delegateQueue) : DispatchQueue::createSerial(kDelegateQueueLabel)),
      worker_(std::make_shared<CurlMultiWorker>(configuration_)) {}

URLSession::~URLSession() { worker_->shutdown(); }

URLSessionDataTaskPtr URLSession::dataTask(URLRequest request, DataTaskCompletion completion,
                                           DataTaskOptions options) {
  auto core = std::make_shared<DataTaskCore>(++lastTaskIdentifier_, std::move(request), options,
                                             std::move(completion), delegateQueue_);
  return std::make_shared<URLSessionDataTask>(std::move(core), worker_);
}

}  // namespace plexora::platform
