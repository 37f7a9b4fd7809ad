// Saves the cache files on a thread of its own: a save syncs the disk, which
// may take seconds, and polling must not wait for that. The io thread hands
// over the bytes and goes on; of each file only the newest contents wait. A
// file that cannot be saved is reported once, when saving it starts to fail,
// and again when it works once more, not at every cycle in between.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace qmr4100::gateway {

class CacheWriter {
 public:
  enum class Kind { Snapshot, Alarms };
  // Saves one file; false with `problem` naming it.
  using Save = std::function<bool(unsigned int data_id, Kind kind, const std::string& contents,
                                  std::string& problem)>;
  // Saving a file started to fail (`problem` says why) or works again
  // (`problem` empty). Called on the writer's thread.
  using Report =
      std::function<void(unsigned int data_id, Kind kind, const std::string& problem)>;

  CacheWriter(Save save, Report report);
  // Saves what still waits.
  ~CacheWriter();
  CacheWriter(const CacheWriter&) = delete;
  CacheWriter& operator=(const CacheWriter&) = delete;

  // Any thread; replaces contents of the same file that wait still.
  void Put(unsigned int data_id, Kind kind, std::string contents);
  // Returns once everything put before is saved, or has failed.
  void Flush();

 private:
  using File = std::pair<unsigned int, Kind>;

  void Run();
  void SaveOne(const File& file, const std::string& contents);

  Save m_save;
  Report m_report;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::map<File, std::string> m_waiting;
  bool m_busy = false;
  bool m_stopping = false;
  std::set<File> m_failing;  // the writer's thread only
  std::thread m_thread;      // last: starts once the rest is there
};

}  // namespace qmr4100::gateway
