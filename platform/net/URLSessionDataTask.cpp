#include "platform/net/URLSessionDataTask.h"

#include "platform/net/CurlMultiWorker.h"
#include "platform/net/DataTaskCore.h"

namespace plexora::platform {

URLSessionDataTask::URLSessionDataTask(std::shared_ptr<DataTaskCore> core, std::weak_ptr<CurlMultiWorker> worker)
    : core_(std::move(core)), worker_(std::move(worker)) {}

URLSessionDataTask::~URLSessionDataTask() = default;

void URLSessionDataTask::resume() {
  if (!core_->markRunning()) return;
  auto worker = worker_.lock();
  if (!worker || !worker->start(core_)) core_->finishCancelled();
}

void URLSessionDataTask::cancel() {
  switch (core_->markCanceling()) {
    case DataTaskCore::CancelStep::FinishNow:
      core_->finishCancelled();
      break;
    case DataTaskCore::CancelStep::TellTransferThread:
      // A session that is gone has already finished all of its tasks.
      if (auto worker = worker_.lock()) worker->cancel(core_->identifier());
      break;
    case DataTaskCore::CancelStep::Nothing:
      break;
  }
}

URLSessionTaskState URLSessionDataTask::state() const { return core_->state(); }

std::uint64_t URLSessionDataTask::taskIdentifier() const { return core_->identifier(); }

const URLRequest& URLSessionDataTask::originalRequest() const { return core_->request(); }

}  // namespace plexora::platform
