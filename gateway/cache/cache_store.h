// The gateway's cache of published snapshot blocks: one file per device, so
// that a restarted gateway can hand each driver its last block; beside it the
// device's active alarm points (see alarm_file.h), so that it goes on with them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "cache/cache_file.h"

namespace qmr4100::gateway {

class CacheStore {
 public:
  // Creates the directory if missing (one that cannot be made shows up as a
  // failing Save) and removes temporary files an interrupted Save left there.
  // One gateway per cache directory.
  explicit CacheStore(std::string directory);

  // DIR/varnok_qmr4100-<data id>.snapshot
  std::string PathFor(unsigned int data_id) const;

  // Replaces the device's file (see cache_file.h) atomically: a temporary file in the same
  // directory is written and synced, renamed over the old file, and the
  // directory is synced. Refuses a block that Load would refuse. On failure
  // returns false with `error` naming the file; the previous file is kept.
  bool Save(unsigned int data_id, const unsigned char* data, std::size_t length,
            std::string& error);

  // The cached 895 bytes. nullopt with an empty `problem` when there is no
  // file; nullopt with `problem` naming the file when it cannot be read, is
  // no cache file, fails its check or carries another device's data id.
  std::optional<std::string> Load(unsigned int data_id, std::string& problem) const;

  // DIR/varnok_qmr4100-<data id>.alarms
  std::string AlarmsPathFor(unsigned int data_id) const;
  // Replaces the device's alarms file atomically, as Save does.
  bool SaveAlarms(unsigned int data_id, const std::string& contents, std::string& error);
  // Its contents; nullopt as for Load. The contents are not checked here.
  std::optional<std::string> LoadAlarms(unsigned int data_id, std::string& problem) const;

  // Reads and checks any cache file; `data_id` as for cache_file::decode.
  static cache_file::Contents Read(const std::string& path, std::optional<unsigned int> data_id);

 private:
  void RemoveLeftovers() const;
  bool Replace(const std::string& path, const std::string& contents, std::string& error);

  std::string m_directory;
};

}  // namespace qmr4100::gateway
