#include "platform/net/CurlMultiWorker.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/foundation/CryptoLibrary.h"
#include "platform/net/DataURL.h"
#include "platform/net/URLError.h"
#include "platform/thread/ThreadInfo.h"

namespace plexora::platform {

namespace {

constexpr const char* kThreadName = "plexora.urlsession";
// The longest the thread sleeps without a socket event or a command;
// libcurl's own timers (time-outs) shorten it as needed.
constexpr int kMaxPollMilliseconds = 1000;
constexpr long kDataURLStatus = 200;
constexpr const char* kContentTypeField = "Content-Type";
constexpr const char* kContentLengthField = "Content-Length";

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    initialiseCryptoLibrary();
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
}

}  // namespace

CurlMultiWorker::CurlMultiWorker(URLSessionConfiguration configuration) : configuration_(std::move(configuration)) {
  initialiseCurlOnce();
  multi_ = curl_multi_init();
  if (!multi_) throw std::runtime_error("curl_multi_init failed");
  thread_ = std::thread([this] { run(); });
}

CurlMultiWorker::~CurlMultiWorker() {
  shutdown();
  curl_multi_cleanup(multi_);
}

bool CurlMultiWorker::start(std::shared_ptr<DataTaskCore> task) { return post(Command{std::move(task), 0}); }

void CurlMultiWorker::cancel(std::uint64_t taskIdentifier) { post(Command{nullptr, taskIdentifier}); }

bool CurlMultiWorker::post(Command command) {
  bool wakeUp = false;
  {
    std::lock_guard lock(mutex_);
    if (shuttingDown_) return false;
    // A list that held commands already has its wake-up on the way.
    wakeUp = commands_.empty();
    commands_.push_back(std::move(command));
  }
  // Woken once the lock is free: woken inside it, the thread would only
  // block on the lock and need a second wake-up. The multi handle lives
  // until the destructor, which cannot run while a caller is in here.
  if (wakeUp) curl_multi_wakeup(multi_);
  return true;
}

void CurlMultiWorker::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (!shuttingDown_) {
      shuttingDown_ = true;
      curl_multi_wakeup(multi_);
    }
  }
  std::call_once(joined_, [this] { thread_.join(); });
}

void CurlMultiWorker::run() {
  setCurrentThreadName(kThreadName);
  for (;;) {
    std::vector<Command> commands;
    bool stopping;
    {
      std::lock_guard lock(mutex_);
      commands.swap(commands_);
      stopping = shuttingDown_;
    }
    // Commands that came before the shutdown are honoured first, so a task
    // started just before it still completes exactly once (as cancelled).
    for (auto& command : commands) runCommand(command);
    if (stopping) {
      cancelEverything();
      return;
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    collectFinishedTransfers();
    curl_multi_poll(multi_, nullptr, 0, kMaxPollMilliseconds, nullptr);
  }
}

void CurlMultiWorker::runCommand(Command& command) {
  if (!command.taskToStart) {
    auto found = transfers_.find(command.taskToCancel);
    if (found == transfers_.end()) return;  // not started yet, or already finished
    found->second->task().finishCancelled();
    remove(command.taskToCancel);
    return;
  }
  auto& task = command.taskToStart;
  if (task->isCanceling()) {
    task->finishCancelled();
    return;
  }
  if (isDataURL(task->request().url)) {
    answerDataURL(*task);
    return;
  }
  auto transfer = CurlTransfer::create(task, configuration_, handles_);
  if (!transfer) return;  // already finished with its error
  if (curl_multi_add_handle(multi_, transfer->handle()) != CURLM_OK) {
    transfer->task().finish({}, std::nullopt, makeURLError(kURLErrorUnknown));
    return;
  }
  transfers_.emplace(task->identifier(), std::move(transfer));
}

void CurlMultiWorker::answerDataURL(DataTaskCore& task) {
  std::optional<DataURLContents> contents = readDataURL(task.request().url);
  if (!contents) {
    task.finishOnTransferThread({}, std::nullopt, makeURLError(kURLErrorBadURL));
    return;
  }
  // Answered as a successful request would be, so callers that read a
  // response's status and type need no case of their own.
  HTTPURLResponse response;
  response.url = task.request().url;
  response.statusCode = kDataURLStatus;
  response.headers.set(kContentTypeField, contents->mediaType);
  response.headers.set(kContentLengthField, std::to_string(contents->bytes.size()));
  task.finishOnTransferThread(std::move(contents->bytes), std::move(response), std::nullopt);
}

void CurlMultiWorker::collectFinishedTransfers() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    CurlTransfer* transfer = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
    if (!transfer) continue;
    // The message points into the handle: read the result before removing it.
    CURLcode result = message->data.result;
    transfer->complete(result);
    remove(transfer->task().identifier());
  }
}

void CurlMultiWorker::cancelEverything() {
  for (auto& [identifier, transfer] : transfers_) {
    transfer->task().finishCancelled();
    curl_multi_remove_handle(multi_, transfer->handle());
  }
  transfers_.clear();
}

void CurlMultiWorker::remove(std::uint64_t taskIdentifier) {
  auto found = transfers_.find(taskIdentifier);
  if (found == transfers_.end()) return;
  curl_multi_remove_handle(multi_, found->second->handle());
  transfers_.erase(found);
}

}  // namespace plexora::platform
