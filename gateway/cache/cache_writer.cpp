#include "cache/cache_writer.h"

#include <pthread.h>

namespace qmr4100::gateway {

CacheWriter::CacheWriter(Save save, Report report)
    : m_save(std::move(save)), m_report(std::move(report)), m_thread([this] { Run(); }) {}

CacheWriter::~CacheWriter() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_one();
  m_thread.join();
}

void CacheWriter::Put(unsigned int data_id, Kind kind, std::string contents) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiting.insert_or_assign(File{data_id, kind}, std::move(contents));
  }
  m_wake.notify_one();
}

void CacheWriter::Flush() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_idle.wait(lock, [this] { return m_waiting.empty() && !m_busy; });
}

void CacheWriter::Run() {
  pthread_setname_np(pthread_self(), "cache-writer");  // for top -H and the like
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
    if (m_waiting.empty()) return;  // stopping, and everything is saved
    std::map<File, std::string> taken = std::exchange(m_waiting, {});
    m_busy = true;
    lock.unlock();
    for (const auto& [file, contents] : taken) SaveOne(file, contents);
    lock.lock();
    m_busy = false;
    m_idle.notify_all();
  }
}

void CacheWriter::SaveOne(const File& file, const std::string& contents) {
  std::string problem;
  const bool saved = m_save(file.first, file.second, contents, problem);
  const bool changed = saved ? m_failing.erase(file) != 0 : m_failing.insert(file).second;
  if (changed) m_report(file.first, file.second, saved ? std::string() : problem);
}

}  // namespace qmr4100::gateway
