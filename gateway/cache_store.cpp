#include "gateway/cache_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fmt/format.h>

#include "driver/snapshot_layout.h"
#include "gateway/cache_file.h"

namespace qmr4100::gateway {
namespace {

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

// Reads the whole file, which must have the size of a cache file.
std::string read_file(int fd, std::string& bytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fmt::format("cannot stat: {}", reason());
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  const auto size = static_cast<std::size_t>(info.st_size);
  const std::string wrong_size = cache_file::size_problem(size);
  if (!wrong_size.empty()) return wrong_size;
  bytes.resize(size);
  return read_all(fd, reinterpret_cast<unsigned char*>(bytes.data()), size);
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
    if (name.rfind("varnok_qmr4100-", 0) == 0 && name.find(".snapshot.tmp-") != std::string::npos)
      std::filesystem::remove(entry.path(), error);
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
  std::string temp = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = fmt::format("{}: cannot create a temporary file: {}", path, reason());
    return false;
  }
  const std::string file = cache_file::encode(as_block(data));
  std::string failure =
      fill_temp(fd, reinterpret_cast<const unsigned char*>(file.data()), file.size());
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
  const std::string failure = read_file(fd, bytes);
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

}  // namespace qmr4100::gateway
