// Operation queues: operations with dependencies, cancellation and a bound on
// how many run at once, executed on the dispatch pool (or, for the main
// operation queue, on the main queue).
//
// Thread safety: every member may be called from any thread.
// Ownership: a queue holds its operations until they finish; an operation
// holds its dependencies until it starts.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

class Operation : public std::enable_shared_from_this<Operation> {
 public:
  Operation();
  virtual ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // An operation that runs the task.
  static std::shared_ptr<Operation> fromTask(Task task);

  // Must be called before the operation is added to a queue (throws
  // std::logic_error after).
  void addDependency(const std::shared_ptr<Operation>& other);
  // A cancelled operation that has not started never runs its main(); it
  // still finishes (so operations depending on it run), and stops waiting
  // for its own dependencies.
  void cancel();
  bool isCancelled() const;
  bool isExecuting() const;
  bool isFinished() const;
  // All dependencies finished.
  bool isReady() const;
  // Runs on the operation's thread after main() (or after cancellation),
  // before the operation counts as finished.
  void setCompletionBlock(Task block);
  // Blocks until finished (real time; timeout < 0 forever).
  bool waitUntilFinished(double timeoutSeconds = -1.0);

 protected:
  // The work; subclasses override it. Check isCancelled() between steps.
  virtual void main() {}

 private:
  friend class OperationQueue;

  // Called by the queue the operation is added to; throws
  // std::invalid_argument when it is already enqueued or finished.
  void markEnqueued(std::function<void()> readinessChanged);
  std::vector<std::shared_ptr<Operation>> dependencies() const;
  // Runs `observer` once the operation has finished (at once if it has).
  void whenFinished(std::function<void()> observer);
  // main() unless cancelled, then the completion block, then finished.
  void run();

  struct State;
  std::shared_ptr<State> state_;
};

class OperationQueue final : public std::enable_shared_from_this<OperationQueue> {
 public:
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  // Runs its operations on the main queue, one at a time.
  static std::shared_ptr<OperationQueue> main();
  static std::shared_ptr<OperationQueue> create(std::string name = {});
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  const std::string& name() const;
  // -1 means as many as the pool allows; 1 makes the queue serial; 0 starts
  // nothing until raised. Below -1 throws std::invalid_argument.
  void setMaxConcurrentOperationCount(int count);
  int maxConcurrentOperationCount() const;

  // Throws std::invalid_argument for a null, enqueued or finished operation.
  void addOperation(std::shared_ptr<Operation> operation);
  void addOperation(Task task);
  void cancelAllOperations();
  // Operations added and not yet finished.
  std::size_t operationCount() const;
  // Blocks until every operation added so far has finished (real time).
  // Never on the main thread for the main operation queue.
  bool waitUntilAllOperationsAreFinished(double timeoutSeconds = -1.0);

 private:
  OperationQueue(std::string name, DispatchQueuePtr target);
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace plexora::platform
