#include "host/Worker.h"

#include <cstdio>
#include <exception>

Worker::Worker() : m_thread([this] { Run(); }) {}

Worker::~Worker() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void Worker::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.push_back(std::move(task));
  }
  m_wake.notify_one();
}

void Worker::WaitIdle() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_idle.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

void Worker::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
    if (m_tasks.empty()) return;  // stopping, and nothing left to run
    std::function<void()> task = std::move(m_tasks.front());
    m_tasks.pop_front();
    m_busy = true;
    lock.unlock();
    try {
      task();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "worker: task failed: %s\n", e.what());
    }
    task = nullptr;  // release what the task holds before reporting idle
    lock.lock();
    m_busy = false;
    if (m_tasks.empty()) m_idle.notify_all();
  }
}
