#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One background thread running posted tasks in order. Destruction runs what
// is queued, then joins.
class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Post(std::function<void()> task);
  // Returns when every task posted before the call has run.
  void WaitIdle();

 private:
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::deque<std::function<void()>> m_tasks;
  bool m_busy = false;
  bool m_stopping = false;
  std::thread m_thread;
};
