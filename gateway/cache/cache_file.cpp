#include "cache/cache_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include <boost/crc.hpp>
#include <fmt/format.h>

namespace qmr4100::gateway::cache_file {
namespace {

constexpr std::size_t kMarkerSize = sizeof kMarker - 1;
constexpr std::string_view kPrefix = "varnok_qmr4100-";
constexpr std::string_view kSuffix = ".snapshot";
constexpr std::size_t kMaxDigits = 10;  // 4294967295

const unsigned char* bytes_of(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

void put_le(std::string& out, std::size_t at, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    out[at + i] = static_cast<char>(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint32_t get_le(const std::string& in, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint32_t{bytes_of(in)[at + i]} << (8 * i);
  return value;
}

std::uint32_t crc_of(const unsigned char* block) {
  boost::crc_32_type crc;
  crc.process_bytes(block, layout::kBlockSize);
  return crc.checksum();
}

Block block_at(const std::string& bytes, std::size_t at) {
  Block block;
  std::memcpy(block.data(), bytes.data() + at, block.size());
  return block;
}

// A bare block as gateways before the header wrote it.
Contents decode_old(const std::string& bytes, std::optional<unsigned int> data_id) {
  constexpr const char* kNoMarker = "not a cache file: no format marker";
  if (!data_id) return {std::nullopt, kNoMarker, false};
  const Block block = block_at(bytes, 0);
  const std::uint32_t held = get_u32le(block, layout::kDataId);
  if (held != *data_id)
    return {std::nullopt,
            fmt::format("{}, and as a bare block it holds data id {}, not {}", kNoMarker, held,
                        *data_id),
            false};
  if (block[layout::kModuleCount] > layout::kMaxModules)
    return {std::nullopt,
            fmt::format("{}, and as a bare block its module count {} is above {}", kNoMarker,
                        block[layout::kModuleCount], layout::kMaxModules),
            false};
  return {block, "", true};
}

std::string header_problem(const std::string& bytes, std::optional<unsigned int> data_id) {
  const std::uint32_t version = get_le(bytes, offset::kVersion, 2);
  if (version != kVersion)
    return fmt::format("cache file format version {}; this gateway reads version {}", version,
                       kVersion);
  const std::uint32_t header = get_le(bytes, offset::kHeaderLength, 2);
  const std::uint32_t length = get_le(bytes, offset::kBlockLength, 4);
  if (header != kHeaderSize || length != layout::kBlockSize)
    return fmt::format("header says {} header bytes and a {}-byte block, not {} and {}", header,
                       length, kHeaderSize, layout::kBlockSize);
  const std::uint32_t crc = crc_of(bytes_of(bytes) + offset::kBlock);
  if (crc != get_le(bytes, offset::kCrc, 4))
    return fmt::format("CRC mismatch (stored {:08x}, block has {:08x}): the block is damaged",
                       get_le(bytes, offset::kCrc, 4), crc);
  const std::uint32_t held = get_le(bytes, offset::kDataId, 4);
  if (data_id && held != *data_id) return fmt::format("holds data id {}, not {}", held, *data_id);
  if (get_u32le(block_at(bytes, offset::kBlock), layout::kDataId) != held)
    return fmt::format("header data id {} differs from the block's", held);
  return "";
}

}  // namespace

std::string file_name(unsigned int data_id) {
  return fmt::format("{}{}{}", kPrefix, data_id, kSuffix);
}

std::optional<unsigned int> data_id_of(const std::string& name) {
  const std::size_t digits = name.size() - std::min(name.size(), kPrefix.size() + kSuffix.size());
  if (digits == 0 || digits > kMaxDigits || name.compare(0, kPrefix.size(), kPrefix) != 0 ||
      name.compare(kPrefix.size() + digits, std::string::npos, kSuffix) != 0)
    return std::nullopt;
  std::uint64_t id = 0;
  for (std::size_t i = kPrefix.size(); i < kPrefix.size() + digits; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    id = id * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  if (id > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<unsigned int>(id);
}

std::string size_problem(std::size_t size) {
  if (size == kFileSize || size == layout::kBlockSize) return "";
  return fmt::format("{} bytes, a cache file has {} ({} in the old format)", size, kFileSize,
                     layout::kBlockSize);
}

std::string encode(const Block& block) {
  std::string file(kFileSize, '\0');
  std::copy_n(kMarker, kMarkerSize, file.begin() + offset::kMarker);
  put_le(file, offset::kVersion, kVersion, 2);
  put_le(file, offset::kHeaderLength, kHeaderSize, 2);
  put_le(file, offset::kDataId, get_u32le(block, layout::kDataId), 4);
  put_le(file, offset::kBlockLength, layout::kBlockSize, 4);
  put_le(file, offset::kCrc, crc_of(block.data()), 4);
  std::copy(block.begin(), block.end(), file.begin() + offset::kBlock);
  return file;
}

Contents decode(const std::string& bytes, std::optional<unsigned int> data_id) {
  const std::string wrong_size = size_problem(bytes.size());
  if (!wrong_size.empty()) return {std::nullopt, wrong_size, false};
  if (bytes.size() == layout::kBlockSize) return decode_old(bytes, data_id);
  if (bytes.compare(offset::kMarker, kMarkerSize, kMarker) != 0)
    return {std::nullopt, "not a cache file: no format marker", false};
  const std::string problem = header_problem(bytes, data_id);
  if (!problem.empty()) return {std::nullopt, problem, false};
  return {block_at(bytes, offset::kBlock), "", false};
}

}  // namespace qmr4100::gateway::cache_file
