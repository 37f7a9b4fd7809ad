#include "cache/cache_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fmt/format.h>

#include "cache/cache_file.h"
#include "driver/snapshot_layout.h"

namespace qmr4100::gateway {
namespace {

constexpr const char* kPrefix = "varnok_qmr4100-";
constexpr const char* kSnapshot = ".snapshot";
constexpr const char* kAlarms = ".alarms";
constexpr const char* kTemporary = ".tmp-";
// Far above the points of a 64-module device; a bigger file is not ours.
constexpr std::size_t kLargestAlarmsFile = 4 * 1024 * 1024;

std::string reason() { return std::strerror(errno); }

Block as_block(const unsigned char* data) {
  Block block;
  std::memcpy(block.data(), data, block.size());
  return block;
}

// Why `data` cannot be the cached block of device `data_id`; "" when it can.
std::string block_problem(unsigned int data_id, const unsigned char* data, std::size_t length) {
  if (length != layout::kBlockSize)
    return fmt::format("{} bytes, a snapshot block has {}", length, layout::kBlockSize);
  const std::uint32_t stored = get_u32le(as_block(data), layout::kDataId);
  if (stored != data_id) return fmt::format("holds data id {}, not {}", stored, data_id);
  return "";
}

std::string write_all(int fd, const unsigned char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return fmt::format("cannot write: {}", reason());
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return "";
}

std::string read_all(int fd, unsigned char* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::read(fd, data + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fmt::format("cannot read: {}", reason());
    if (got == 0) return fmt::format("ends after {} bytes", done);
    done += static_cast<std::size_t>(got);
  }
  return "";
}

// Writes the block into the open temporary file, syncs and closes it.
std::string fill_temp(int fd, const unsigned char* data, std::size_t length) {
  std::string failure = write_all(fd, data, length);
  if (failure.empty() && ::fsync(fd) != 0) failure = fmt::format("cannot sync: {}", reason());
  if (::close(fd) != 0 && failure.empty()) failure = fmt::format("cannot close: {}", reason());
  return failure;
}

// Makes the rename itself durable.
std::string sync_directory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fmt::format("cannot open the directory to sync it: {}", reason());
  const std::string failure =
      ::fsync(fd) == 0 ? "" : fmt::format("cannot sync the directory: {}", reason());
  ::close(fd);
  return failure;
}

// Reads the whole file, whose size `size_problem` must accept.
template <class SizeCheck>
std::string read_file(int fd, std::string& bytes, SizeCheck size_problem) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fmt::format("cannot stat: {}", reason());
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  const auto size = static_cast<std::size_t>(info.st_size);
  const std::string wrong_size = size_problem(size);
  if (!wrong_size.empty()) return wrong_size;
  bytes.resize(size);
  return read_all(fd, reinterpret_cast<unsigned char*>(bytes.data()), size);
}

// The whole file at `path`; nullopt with `problem` naming it, or with an
// empty `problem` when there is no file.
template <class SizeCheck>
std::optional<std::string> load_file(const std::string& path, SizeCheck size_problem,
                                     std::string& problem) {
  problem.clear();
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = fmt::format("{}: cannot open: {}", path, reason());
    return std::nullopt;
  }
  std::string bytes;
  const std::string failure = read_file(fd, bytes, size_problem);
  ::close(fd);
  if (!failure.empty()) {
    problem = fmt::format("{}: {}", path, failure);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

CacheStore::CacheStore(std::string directory) : m_directory(std::move(directory)) {
  std::error_code ignored;  // Save reports a directory that could not be made
  std::filesystem::create_directories(m_directory, ignored);
  RemoveLeftovers();
}

// A gateway killed between creating a temporary file and renaming it leaves
// the file behind; the cache file itself is intact, the leftover is not.
void CacheStore::RemoveLeftovers() const {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(m_directory, error)) {
    const std::string name = entry.path().filename().string();
    const bool temporary =
        name.find(std::string(kSnapshot) + kTemporary) != std::string::npos ||
        name.find(std::string(kAlarms) + kTemporary) != std::string::npos;
    if (name.rfind(kPrefix, 0) == 0 && temporary) std::filesystem::remove(entry.path(), error);
  }
}

std::string CacheStore::PathFor(unsigned int data_id) const {
  return (std::filesystem::path(m_directory) / cache_file::file_name(data_id)).string();
}

bool CacheStore::Save(unsigned int data_id, const unsigned char* data, std::size_t length,
                      std::string& error) {
  const std::string path = PathFor(data_id);
  const std::string problem = block_problem(data_id, data, length);
  if (!problem.empty()) {
    error = fmt::format("{}: not saved: {}", path, problem);
    return false;
  }
  return Replace(path, cache_file::encode(as_block(data)), error);
}

std::string CacheStore::AlarmsPathFor(unsigned int data_id) const {
  return (std::filesystem::path(m_directory) / fmt::format("{}{}{}", kPrefix, data_id, kAlarms))
      .string();
}

bool CacheStore::SaveAlarms(unsigned int data_id, const std::string& contents,
                            std::string& error) {
  return Replace(AlarmsPathFor(data_id), contents, error);
}

bool CacheStore::Replace(const std::string& path, const std::string& contents,
                         std::string& error) {
  std::string temp = path + kTemporary + "XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = fmt::format("{}: cannot create a temporary file: {}", path, reason());
    return false;
  }
  std::string failure =
      fill_temp(fd, reinterpret_cast<const unsigned char*>(contents.data()), contents.size());
  if (failure.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
    failure = fmt::format("cannot rename {} into place: {}", temp, reason());
  if (!failure.empty()) {
    ::unlink(temp.c_str());
    error = fmt::format("{}: {}", path, failure);
    return false;
  }
  failure = sync_directory(m_directory);
  if (!failure.empty()) {
    error = fmt::format("{}: written, but {}", path, failure);
    return false;
  }
  return true;
}

cache_file::Contents CacheStore::Read(const std::string& path,
                                      std::optional<unsigned int> data_id) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {std::nullopt, fmt::format("cannot open: {}", reason()), false};
  std::string bytes;
  const std::string failure = read_file(fd, bytes, cache_file::size_problem);
  ::close(fd);
  if (!failure.empty()) return {std::nullopt, failure, false};
  return cache_file::decode(bytes, data_id);
}

std::optional<std::string> CacheStore::Load(unsigned int data_id, std::string& problem) const {
  problem.clear();
  const std::string path = PathFor(data_id);
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return std::nullopt;
  const cache_file::Contents contents = Read(path, data_id);
  if (!contents.block) {
    problem = fmt::format("{}: {}", path, contents.problem);
    return std::nullopt;
  }
  return std::string(contents.block->begin(), contents.block->end());
}

std::optional<std::string> CacheStore::LoadAlarms(unsigned int data_id,
                                                  std::string& problem) const {
  const auto size_problem = [](std::size_t size) {
    return size <= kLargestAlarmsFile
               ? std::string()
               : fmt::format("{} bytes, more than an alarms file has", size);
  };
  return load_file(AlarmsPathFor(data_id), size_problem, problem);
}

}  // namespace qmr4100::gateway
